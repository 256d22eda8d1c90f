// MIDI foot switches on the options page: the switch "MIDI-Steuerung:", the input list with its
// refresh button, the channel, and the key mappings, one chosen at a time: its message kind,
// number and key, and "Lernen", which takes the next pedal message for it. Also the settings
// section "MidiKeys".
#pragma once

#include "core/Form.h"
#include "persistence/SettingsFile.h"
#include "shell/MidiKeys.h"

namespace kreisel {

class MidiOptions {
  public:
    MidiOptions(Form& form, MidiKeys& midi);

    Control& SBMidiKeys;
    Control& CBMidiPorts;
    Control& ButtonMidiPorts;
    Control& CBMidiChannel;
    Control& CBMidiMapping;
    Control& CBMidiKind;
    Control& SEMidiNumber;
    Control& SEMidiKey;
    Control& ButtonMidiLearn;
    Control& LabelMidiState;

    // Fills the input list with the inputs present now and selects the saved name.
    void RefreshPorts();
    // After loading settings: the controls follow the settings and the input is opened while
    // MIDI control is on.
    void Apply();
    // Shows a mapping's text in the list and its fields (after a learn, say).
    void ShowMappings();
    void ShowState(const std::string& text, bool red);

    // The section "MidiKeys" of the settings file.
    void LoadSaveSection(SettingsPass& p);

  private:
    void SwitchChange();
    void MappingEdited();
    void SelectName(const std::string& name);
    int Selected() const;

    MidiKeys& midi_;
};

// "2: Controller 64 = Taste 13 (RETURN)"
std::string MidiMappingText(int index, const MidiMapping& m);

} // namespace kreisel

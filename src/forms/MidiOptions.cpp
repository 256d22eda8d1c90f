// The switch opens the chosen input and a missing one puts the switch up again; the mapping
// fields edit the mapping chosen in the list.
#include "forms/MidiOptions.h"

#include "core/ControlFactory.h"
#include "macros/MacroText.h"
#include "transport/MainControls.h"

#include <algorithm>

namespace kreisel {

using make::Button;
using make::Label;
using make::Make;
using make::Number;
using make::Switch;

std::string MidiMappingText(int index, const MidiMapping& m) {
    std::string text = std::to_string(index + 1) + ": ";
    switch (m.Kind) {
    case MidiKind::None:
        return text + "aus";
    case MidiKind::Note:
        text += "Note ";
        break;
    case MidiKind::Controller:
        text += "Controller ";
        break;
    }
    text += std::to_string(m.Number) + " = Taste " + std::to_string(m.Key);
    const int key = VirtualKeyToIndex(m.Key);
    if (key > 0) {
        std::string word = KeyIndexToName(key);
        if (word.rfind("Key_", 0) == 0) word.erase(0, 4);
        text += " (" + word + ")";
    }
    return text;
}

MidiOptions::MidiOptions(Form& f, MidiKeys& midi)
    : SBMidiKeys(Switch(f, "SBMidiKeys", "MIDI-Steuerung:", "Fußschalter über MIDI (Noten oder Controller)")),
      CBMidiPorts(Make(f, "CBMidiPorts", ControlKind::ComboBox, "", "MIDI-Eingang (JACK oder ALSA)")),
      ButtonMidiPorts(Button(f, "ButtonMidiPorts", "Suchen", "Liste der MIDI-Eingänge neu einlesen")),
      CBMidiChannel(Make(f, "CBMidiChannel", ControlKind::ComboBox, "", "MIDI-Kanal der Fußschalter")),
      CBMidiMapping(Make(f, "CBMidiMapping", ControlKind::ComboBox, "", "Zuordnung MIDI-Nachricht zu Taste")),
      CBMidiKind(Make(f, "CBMidiKind", ControlKind::ComboBox, "", "Art der MIDI-Nachricht")),
      SEMidiNumber(Number(f, "SEMidiNumber", 0, 127, 0)), SEMidiKey(Number(f, "SEMidiKey", 0, 255, 0)),
      ButtonMidiLearn(Button(f, "ButtonMidiLearn", "Lernen",
                             "Die nächste MIDI-Nachricht wird der gewählten Zuordnung zugewiesen")),
      LabelMidiState(Label(f, "LabelMidiState")), midi_(midi) {
    SEMidiNumber.SetHint("Noten- oder Controller-Nummer (0..127)");
    SEMidiKey.SetHint("Tasten-Code, den der Fußschalter sendet (z.B. 13 = Return, 32 = Leertaste)");
    std::vector<std::string> channels{"Omni"};
    for (int c = 1; c <= 16; ++c)
        channels.push_back(std::to_string(c));
    CBMidiChannel.SetItems(std::move(channels));
    CBMidiChannel.SetItemIndex(0);
    CBMidiKind.SetItems({"aus", "Note", "Controller"});
    ShowMappings();
    CBMidiMapping.SetItemIndex(0);
    ShowMappings();

    SBMidiKeys.SetOnClick([this](Control&) {
        midi_.MidiEnabled = SBMidiKeys.Down();
        if (midi_.MidiEnabled) RefreshPorts(); // a pedal plugged in since is found
        SwitchChange();
    });
    CBMidiPorts.SetOnChange([this](Control&) { SwitchChange(); });
    ButtonMidiPorts.SetOnClick([this](Control&) { RefreshPorts(); });
    CBMidiChannel.SetOnChange([this](Control& c) { midi_.MidiChannel = std::max(0, c.ItemIndex()); });
    CBMidiMapping.SetOnChange([this](Control&) { ShowMappings(); });
    CBMidiKind.SetOnChange([this](Control&) { MappingEdited(); });
    SEMidiNumber.SetOnChange([this](Control&) { MappingEdited(); });
    SEMidiKey.SetOnChange([this](Control&) { MappingEdited(); });
    ButtonMidiLearn.SetOnClick([this](Control&) {
        if (midi_.Learning() >= 0) {
            midi_.Learn(-1);
            ShowState("", false);
        } else if (!midi_.IsOpen()) {
            ShowState("Erst die MIDI-Steuerung einschalten", true);
        } else {
            midi_.Learn(Selected());
            ShowState("Warte auf MIDI-Nachricht für " + std::to_string(Selected() + 1) + " ...", false);
        }
    });
    midi_.Learned = [this](int index) {
        ShowMappings();
        ShowState("Gelernt: " + MidiMappingText(index, midi_.Mappings[static_cast<std::size_t>(index)]), false);
    };
}

int MidiOptions::Selected() const { return std::clamp(CBMidiMapping.ItemIndex(), 0, MidiKeys::kMappings - 1); }

void MidiOptions::ShowState(const std::string& text, bool red) {
    LabelMidiState.SetFontColor(red ? std::optional<Rgb>(Colors::Red) : std::nullopt);
    LabelMidiState.SetText(text);
}

void MidiOptions::ShowMappings() {
    std::vector<std::string> items;
    for (int i = 0; i < MidiKeys::kMappings; ++i)
        items.push_back(MidiMappingText(i, midi_.Mappings[static_cast<std::size_t>(i)]));
    const int selected = Selected();
    SuppressActions a(CBMidiMapping), b(CBMidiKind), c(SEMidiNumber), d(SEMidiKey), e(CBMidiChannel);
    CBMidiMapping.SetItems(std::move(items));
    CBMidiMapping.SetItemIndex(selected);
    const MidiMapping& m = midi_.Mappings[static_cast<std::size_t>(selected)];
    CBMidiKind.SetItemIndex(static_cast<int>(m.Kind));
    SEMidiNumber.SetValue(m.Number);
    SEMidiKey.SetValue(m.Key);
    CBMidiChannel.SetItemIndex(midi_.MidiChannel);
}

void MidiOptions::MappingEdited() {
    MidiMapping& m = midi_.Mappings[static_cast<std::size_t>(Selected())];
    m.Kind = static_cast<MidiKind>(std::clamp(CBMidiKind.ItemIndex(), 0, 2));
    m.Number = SEMidiNumber.Value();
    m.Key = SEMidiKey.Value();
    ShowMappings();
}

void MidiOptions::SelectName(const std::string& name) {
    const auto& items = CBMidiPorts.Items();
    const auto it = std::find(items.begin(), items.end(), name);
    SuppressActions quiet(CBMidiPorts);
    CBMidiPorts.SetItemIndex(it == items.end() ? -1 : static_cast<int>(it - items.begin()));
}

void MidiOptions::RefreshPorts() {
    const int index = CBMidiPorts.ItemIndex();
    const std::string keep =
        index >= 0 ? CBMidiPorts.Items()[static_cast<std::size_t>(index)] : midi_.MidiPortName;
    {
        SuppressActions quiet(CBMidiPorts);
        CBMidiPorts.SetItems(midi_.Inputs().List());
    }
    SelectName(keep);
    // Nothing chosen yet: the first input is the likely pedal.
    if (keep.empty() && !CBMidiPorts.Items().empty()) {
        SuppressActions quiet(CBMidiPorts);
        CBMidiPorts.SetItemIndex(0);
    }
}

void MidiOptions::Apply() {
    // The systems are asked for their inputs only while MIDI control is on: a looper without a
    // pedal opens no MIDI client at all.
    if (midi_.MidiEnabled) {
        RefreshPorts();
    } else {
        SuppressActions quiet(CBMidiPorts);
        CBMidiPorts.SetItems(midi_.MidiPortName.empty() ? std::vector<std::string>{}
                                                        : std::vector<std::string>{midi_.MidiPortName});
        CBMidiPorts.SetItemIndex(midi_.MidiPortName.empty() ? -1 : 0);
    }
    ShowMappings();
    ShowState("", false);
    SwitchChange();
}

void MidiOptions::SwitchChange() {
    const int index = CBMidiPorts.ItemIndex();
    const std::string name =
        index >= 0 ? CBMidiPorts.Items()[static_cast<std::size_t>(index)] : midi_.MidiPortName;
    if (midi_.Reopen(name))
        ShowState(midi_.IsOpen() ? "MIDI-Eingang offen" : "", false);
    else
        SelectName(midi_.MidiPortName);
    SuppressActions quiet(SBMidiKeys);
    SBMidiKeys.SetDown(midi_.MidiEnabled);
}

void MidiOptions::LoadSaveSection(SettingsPass& p) {
    p.Section("MidiKeys");
    p.Bool("DoMidiKeys", midi_.MidiEnabled);
    p.String("MidiPortName", midi_.MidiPortName);
    p.Int("MidiChannel", midi_.MidiChannel);
    if (p.Loading()) midi_.MidiChannel = std::clamp(midi_.MidiChannel, 0, 16);
    for (std::size_t i = 0; i < midi_.Mappings.size(); ++i) {
        MidiMapping& m = midi_.Mappings[i];
        const std::string n = "Map" + std::to_string(i + 1);
        int kind = static_cast<int>(m.Kind);
        p.Int(n + "Kind", kind);
        p.Int(n + "Number", m.Number);
        p.Int(n + "Key", m.Key);
        if (p.Loading()) {
            m.Kind = static_cast<MidiKind>(std::clamp(kind, 0, 2));
            m.Number = std::clamp(m.Number, 0, 127);
            m.Key = std::clamp(m.Key, 0, 255);
        }
    }
}

} // namespace kreisel

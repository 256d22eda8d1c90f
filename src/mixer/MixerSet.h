// Mixer set files ("Kreisel.mix", "Take.mix"): the loop mixer's options and, per row, the mark
// and the four slider positions, in the ini conventions of the settings file. Sections are named
// by row number ("Loop0" is the live input), so a set applies to slots whatever their groups.
#pragma once

#include "core/HostServices.h"
#include "core/IniFile.h"
#include "engine/Engine.h"
#include "mixer/LoopMixer.h"
#include "mixer/MixerControls.h"

#include <filesystem>

namespace kreisel {

class MixerSet {
  public:
    static constexpr const char* kFilter = "Mixer-Dateien (*.mix)|*.mix|alle Dateien (*.*)|*.*";

    // Wires ButtonLoadSet, ButtonSaveSet and the mixer's "Startwerte".
    MixerSet(Engine& engine, MixerControls& controls, LoopMixer& mixer, Dialogs& dialogs);
    MixerSet(const MixerSet&) = delete;
    MixerSet& operator=(const MixerSet&) = delete;

    // Loads or saves a set; valuesOnly leaves out section Options and the marks. A missing file
    // on loading is reported and everything stays as it is. Saving keeps whatever else the file
    // holds and replaces it only once the new text is complete. False when the file could not be
    // read or written (reported in German).
    bool LoadSave(const std::filesystem::path& file, bool save, bool valuesOnly);
    // The same on file content already in memory.
    void LoadSaveSections(IniFile& ini, bool save, bool valuesOnly);

    // The set that belongs to a settings or session file: its extension, whatever it is,
    // becomes ".mix".
    static std::filesystem::path ForSettingsFile(const std::filesystem::path& settingsFile);

    // The file dialogs of "Set laden" and "Set speichern".
    void ButtonLoadSetClick();
    void ButtonSaveSetClick();

    // The default set, the source of "Startwerte".
    std::filesystem::path DefaultFile = "Kreisel.mix";
    // Where the file dialogs open; empty: where they were last.
    std::string Folder;

  private:
    Engine& e_;
    MixerControls& c_;
    LoopMixer& mixer_;
    Dialogs& dialogs_;
};

} // namespace kreisel

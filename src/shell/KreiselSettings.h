// The settings file of the whole program: every section and key of every window that exists, in
// file order, for loading and for saving; the apply-after-load step; the tool button that saves
// the settings (and, on request, the mixer set) and the menu entry that makes the settings be
// saved at shutdown.
#pragma once

#include "core/Control.h"
#include "core/HostServices.h"
#include "core/IniFile.h"

#include <filesystem>
#include <optional>
#include <string>

namespace kreisel {

class KreiselCore;
class SettingsPass;

class KreiselSettings {
  public:
    // Creates ButtonSaveInis on the main window and wires it and "Allgemeine Einstellungen bei
    // Beenden immer speichern".
    KreiselSettings(KreiselCore& core, Dialogs& dialogs);
    KreiselSettings(const KreiselSettings&) = delete;
    KreiselSettings& operator=(const KreiselSettings&) = delete;

    // Loads or saves the settings file. A missing file on loading is reported and every value
    // stays; a file that cannot be read is reported and neither applied nor saved over. Saving
    // rewrites the file with everything it held that the program does not know, and replaces it
    // only once the new text is complete. False when nothing was loaded or the save failed.
    bool LoadSave(const std::filesystem::path& file, bool save);
    // The walk itself on file content in memory.
    void LoadSaveSections(IniFile& ini, bool save);
    // What a load leaves to be applied once all windows have their values (the mixer's
    // symmetric switch and input mode, the options page, the display menus).
    void ApplyAfterLoad();

    // "Einstellungen speichern?" (5 s), then the mixer set unless it is always saved along.
    void ButtonSaveInisClick();
    // Writes only Controls/AutoSavePreferences into the default settings file.
    bool AutoSavePreferencesChanged(bool on);

    Control& ButtonSaveInis;

    std::filesystem::path DefaultSettingsFile = "xxx.LPS";
    // The memory share came from the command line: the file neither gives nor takes it.
    bool MemSizeFromParameter = false;
    // Start folder of the file dialogs (InitDirData), and the load-only command that shows a
    // folder (CmdExplorer).
    std::string InitDirData;
    std::string CmdExplorer = "Explorer /e,";
    std::string ProgramTitle = "Kreisel";
    std::string ProgramVersion = "0.1";
    // The tone generator's panel shown (kept for the file; the tuner window shows it always).
    bool GeneratorVisible = true;

  private:
    void WindowSections(SettingsPass& p);
    void ControlsSection(SettingsPass& p);
    void OptionsSection(SettingsPass& p);
    void SpecialSection(SettingsPass& p);
    void ScrollStepsPerMixer(SettingsPass& p);
    void GeneratorKeys(SettingsPass& p);
    void TunerKeys(SettingsPass& p);

    KreiselCore& core_;
    Dialogs& dialogs_;
    // Held from a load until ApplyAfterLoad.
    std::optional<bool> pendingMixSymm_;
    std::optional<int> pendingInputMode_;
    std::optional<int> pendingLastOption_;
    // The channel count of the input mode the file names first: the default of AddOffsetSmps.
    int loadChannelCount_ = 2;
};

} // namespace kreisel

// The main window's load and save: the tool buttons and menu entries that open the load/save
// dialog, and what each of its choices then does (mixer set, session, export of the output,
// import of audio files, the standard settings, a settings file) with the file dialogs, the
// overwrite questions and the file names remembered for the next time.
#pragma once

#include "core/Form.h"
#include "core/HostServices.h"
#include "forms/TFormLoadSaveDlg.h"
#include "persistence/Session.h"
#include "persistence/WavExport.h"
#include "persistence/WavImport.h"
#include "transport/Transport.h"

#include <filesystem>
#include <functional>
#include <string>

namespace kreisel {

class LoadSaveDialog {
  public:
    // The buttons and menu entries are made in the main window's form.
    LoadSaveDialog(Form& main, TFormLoadSaveDlg& form, Session& session, Transport& transport,
                   WavExport& exporter, WavImport& importer, Dialogs& dialogs);
    LoadSaveDialog(const LoadSaveDialog&) = delete;
    LoadSaveDialog& operator=(const LoadSaveDialog&) = delete;

    Control& ButtonLoad;
    Control& ButtonSave;
    Control& PMLoad;
    Control& PMSave;
    // Session files open in this program (ticked) or not; the click is the owner's business.
    Control& PMIniFileLinkToApp;

    // The loop mixer's own set dialog ("Set laden" / "Set speichern").
    std::function<void(bool save)> MixerSetDialog;
    // The standard settings file beside the program or in the configuration folder.
    std::function<std::filesystem::path()> DefaultSettingsFile;

    // Remembered while the program runs; each file dialog opens there.
    std::string LastSessionFile;
    std::string LastSettingsFile;
    std::string LastExportFile;
    std::string LastImportFile;

    // Runs the dialog in one direction and then the chosen operation. True when a session was
    // saved or loaded (the reset question goes on only after a save).
    bool ButtonLoadSaveClick(bool save);

    static constexpr const char* Filter =
        "Einstellungen (*.lps)|*.lps|Sound-Dateien (*.wav)|*.wav|alle Dateien (*.*)|*.*";

  private:
    FileDialogOptions Options(const char* title, const std::string& remembered, bool save, bool wav) const;
    bool SessionChoice(bool save);
    void SettingsChoice(bool save, bool defaults);
    bool OverwriteAllowed(const std::filesystem::path& file, const std::string& question);

    TFormLoadSaveDlg& form_;
    Session& session_;
    Transport& transport_;
    WavExport& exporter_;
    WavImport& importer_;
    Dialogs& dialogs_;
};

} // namespace kreisel

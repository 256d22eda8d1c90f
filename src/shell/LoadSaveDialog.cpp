// The choices of the load/save dialog.
#include "shell/LoadSaveDialog.h"

#include "core/ControlFactory.h"

namespace kreisel {

namespace fs = std::filesystem;

LoadSaveDialog::LoadSaveDialog(Form& main, TFormLoadSaveDlg& form, Session& session, Transport& transport,
                               WavExport& exporter, WavImport& importer, Dialogs& dialogs)
    : ButtonLoad(
          make::Button(main, "ButtonLoad", "Laden", "Laden: Session, Einstellungen, Mixer-Set, Import")),
      ButtonSave(make::Button(main, "ButtonSave", "Speichern",
                              "Speichern: Session, Einstellungen, Mixer-Set, Export")),
      PMLoad(make::Make(main, "PMLoad", ControlKind::MenuEntry, "Laden ...")),
      PMSave(make::Make(main, "PMSave", ControlKind::MenuEntry, "Speichern ...")),
      PMIniFileLinkToApp(
          make::Menu(main, "PMIniFileLinkToApp", "Session-Dateien (*.lps) mit Kreisel öffnen", false)),
      form_(form), session_(session), transport_(transport), exporter_(exporter), importer_(importer),
      dialogs_(dialogs) {
    ButtonLoad.SetOnClick([this](Control&) { ButtonLoadSaveClick(false); });
    PMLoad.SetOnClick([this](Control&) { ButtonLoadSaveClick(false); });
    ButtonSave.SetOnClick([this](Control&) { ButtonLoadSaveClick(true); });
    PMSave.SetOnClick([this](Control&) { ButtonLoadSaveClick(true); });
}

FileDialogOptions LoadSaveDialog::Options(const char* title, const std::string& remembered, bool save,
                                          bool wav) const {
    FileDialogOptions o;
    o.title = title;
    o.filter = Filter;
    o.filterIndex = wav ? 1 : 0;
    o.defaultExtension = wav ? "WAV" : "lps";
    if (!remembered.empty()) {
        const fs::path p(remembered);
        o.folder = p.parent_path().string();
        o.fileName = p.filename().string();
    }
    o.okCaption = save ? "Speichern" : "Laden";
    o.mustExist = !save;
    return o;
}

bool LoadSaveDialog::OverwriteAllowed(const fs::path& file, const std::string& question) {
    std::error_code ec;
    if (!fs::exists(file, ec)) return true;
    Question q;
    q.caption = "Kreisel";
    q.text = question;
    q.buttons = DialogButtons::OkCancel;
    q.defaultResult = DialogResult::Cancel;
    q.icon = DialogIcon::Question;
    return dialogs_.Ask(q) == DialogResult::Ok;
}

bool LoadSaveDialog::ButtonLoadSaveClick(bool save) {
    form_.Prepare(save);
    if (!form_.Run()) return false;
    form_.AnyLoadSaveDlgClick();
    const Control* choice = form_.Selected();

    if (choice == &form_.RBMixers) {
        if (MixerSetDialog) MixerSetDialog(save);
    } else if (choice == &form_.RBLoops) {
        return SessionChoice(save);
    } else if (choice == &form_.RBExportOutput) {
        const auto file = dialogs_.SaveFile(Options("Exportieren aller Loops", LastExportFile, true, true));
        if (!file) return false;
        LastExportFile = *file;
        exporter_.Start(*file);
    } else if (choice == &form_.RBImportLoop) {
        FileDialogOptions o = Options("Importieren von (mehreren) Loops", LastImportFile, false, true);
        o.allowMultiple = true;
        const std::vector<std::string> files = dialogs_.OpenFiles(o);
        if (files.empty()) return false;
        LastImportFile = files.back();
        importer_.ImportLoops(files);
    } else if (choice == &form_.RBPrefsAndMixers_Defaults) {
        SettingsChoice(save, true);
    } else if (choice == &form_.RBPrefs) {
        SettingsChoice(save, false);
    }
    return false;
}

bool LoadSaveDialog::SessionChoice(bool save) {
    std::string chosen;
    if (save) {
        const auto file = dialogs_.SaveFile(Options("Session speichern", LastSessionFile, true, false));
        if (!file) return false;
        chosen = *file;
        if (!OverwriteAllowed(Session::Complete(chosen, session_.ProgramFolder), "überschreiben?"))
            return false;
    } else {
        // Loading replaces every recording: they may be saved first, or the load is called off.
        transport_.ButtonResetAllClick();
        if (transport_.UnsavedRecordings) return false;
        const auto files = dialogs_.OpenFiles(Options("Session laden", LastSessionFile, false, false));
        if (files.empty()) return false;
        chosen = files.front();
    }
    const bool done = session_.LoadSave(chosen, save);
    LastSessionFile = chosen;
    return done;
}

void LoadSaveDialog::SettingsChoice(bool save, bool defaults) {
    fs::path file;
    if (defaults) {
        if (!DefaultSettingsFile) return;
        file = DefaultSettingsFile();
    } else {
        std::optional<std::string> chosen;
        if (save) {
            chosen = dialogs_.SaveFile(Options("Einstellungen speichern", LastSettingsFile, true, false));
            if (chosen && !OverwriteAllowed(*chosen, *chosen + " überschreiben?")) return;
        } else {
            const auto files =
                dialogs_.OpenFiles(Options("Einstellungen laden", LastSettingsFile, false, false));
            if (!files.empty()) chosen = files.front();
        }
        if (!chosen) return;
        file = *chosen;
        LastSettingsFile = *chosen;
    }
    if (session_.LoadSaveSettings) session_.LoadSaveSettings(file, save);
    if (!save && session_.ApplyAfterLoad) session_.ApplyAfterLoad();
    // Loaded sound-card settings take effect with a restart; a save leaves the sound alone.
    if (!save && session_.RestartSoundCard) session_.RestartSoundCard();
    if (defaults && session_.LoadSaveMixerSet) {
        fs::path mix = file;
        mix.replace_extension(".mix");
        session_.LoadSaveMixerSet(mix, save);
    }
}

} // namespace kreisel

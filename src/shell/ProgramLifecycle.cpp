// The start-up sequence and the shutdown.
#include "shell/ProgramLifecycle.h"

#include "shell/KreiselCore.h"

#include <system_error>

#ifndef KREISEL_VERSION
#define KREISEL_VERSION "0"
#endif
#ifndef KREISEL_BUILD
#define KREISEL_BUILD "-"
#endif

namespace kreisel {

namespace fs = std::filesystem;

ProgramLifecycle::ProgramLifecycle(KreiselCore& core, Dialogs& dialogs, DataFolders folders, CommandLine commandLine)
    : core_(core), dialogs_(dialogs), folders_(std::move(folders)), commandLine_(std::move(commandLine)) {
    // Decided before anything is written: a folder with either file has seen the program
    // before, and a file missing there is reported.
    std::error_code ec;
    firstStart_ = !fs::exists(folders_.SettingsFile(), ec) && !fs::exists(folders_.MixerSetFile(), ec);
}

std::string ProgramLifecycle::Title() { return std::string("Kreisel V.") + KREISEL_VERSION; }

void ProgramLifecycle::Loading(const std::string& text) {
    if (LoadingMessage) LoadingMessage(text);
}

void ProgramLifecycle::Wait(const std::string& text) {
    if (WaitMessage) WaitMessage(text);
}

void ProgramLifecycle::FormCreate() {
    Loading("Kreisel wird geladen ...");
    core_.Main().SetCaption(Title() + "  (Build " + KREISEL_BUILD + ")");
    core_.ProgramFolder = folders_.data;
    core_.ProgramFile = folders_.programFile;
    core_.SetDefaultFiles(folders_.SettingsFile(), folders_.MixerSetFile());
    core_.SetMacroFolder(folders_.data);
    // "multiple Loop-Längen" is offered only where its marker file lies beside the program.
    std::error_code ec;
    core_.Loops().SBAllowMultipleLoopLength.SetVisible(fs::exists(folders_.program / "_version11.txt", ec));
    core_.Macros().LoadDefaultMacros(folders_.UserOrShipped("Kreisel.mak"));
    core_.LoadKeyFile(folders_.UserOrShipped("Kreisel.tas"));
    // The loop mixer comes up with the default mixer set; the settings loaded later win over it.
    if (!firstStart_) core_.LoadSaveMixerSet(folders_.MixerSetFile(), false, false);
}

bool ProgramLifecycle::FormActivate() {
    if (started_) return true;
    if (commandLine_.memSizePercent) {
        core_.T().MemPercent = *commandLine_.memSizePercent;
        core_.Settings().MemSizeFromParameter = true;
    }
    for (const std::string& warning : commandLine_.warnings)
        dialogs_.ShowMessage(warning);
    inStartUp_ = true;

    Loading("Hilfetexte werden geladen ...");
    core_.CheckFileTypeLink();
    std::error_code ec;
    const fs::path components = folders_.UserOrShipped(folders_.ComponentsFile().filename().string());
    if (!fs::exists(components, ec))
        dialogs_.ShowMessage("Komponenten-Datei \"" + folders_.ComponentsFile().string() +
                             "\" (Texte,Maus-Hilfe,usw.) nicht gefunden!!");

    Loading("Soundkarte wird initialisiert ...");
    Wait("Moment bitte - Programm wird vorbereitet ...");
    core_.SoundCardForm().ButtonClose.SetText("Schließen"); // the window only hides from now on

    Loading("Einstellungen werden geladen ...");
    if (!firstStart_) core_.LoadSaveSettings(folders_.SettingsFile(), false);
    core_.ApplyAfterLoad();
    core_.Start();
    core_.FadersForm().SetVisible(true);
    core_.Card().ResetCounters();

    if (StartSoundCard) StartSoundCard();
    if (Sleep) Sleep(100);
    core_.T().ResetAll();

    Wait("");
    started_ = true;
    if (firstStart_) WriteDefaults();

    bool fileLoaded = true;
    if (!commandLine_.file.empty()) {
        commandLineFile_ = CompleteFileArgument(commandLine_.file, folders_.data);
        core_.StartFile = commandLineFile_;
        if (fs::exists(commandLineFile_, ec)) {
            if (ProcessPendingEvents) ProcessPendingEvents();
            fileLoaded = core_.LoadSaveSession(commandLineFile_, false);
        } else {
            Question q;
            q.caption = "Meldung";
            q.text = "Aufruf-Parameter:  Datei \"" + commandLine_.file + "\" nicht gefunden !!";
            q.buttons = DialogButtons::Ok;
            q.timeoutMs = 4000;
            dialogs_.Ask(q);
            fileLoaded = false;
        }
    }

    Loading("");
    inStartUp_ = false;
    return fileLoaded;
}

void ProgramLifecycle::WriteDefaults() {
    // A failed save has told the user itself.
    if (!core_.LoadSaveSettings(folders_.SettingsFile(), true) ||
        !core_.LoadSaveMixerSet(folders_.MixerSetFile(), true, false))
        return;
    firstStartNote_ = "Erster Start: Einstellungen und Mixer-Set mit Standardwerten in \"" +
                      folders_.data.string() + "\" angelegt.";
    core_.Main().LabelStatus.SetColor(std::nullopt);
    core_.Main().LabelStatus.SetText(firstStartNote_);
}

bool ProgramLifecycle::FormCloseQuery() {
    Transport& t = core_.T();
    t.ButtonStopClick();
    // The reset asks about unsaved recordings: OK saves them first, No drops them, Cancel (or the
    // question timing out) keeps everything and the program running.
    t.ButtonResetAllClick();
    if (t.UnsavedRecordings) return false;

    closing_ = true;
    WindowSwitches& sw = core_.Switches();
    if (sw.PMAutoSavePreferences.Checked()) {
        core_.LoadSaveSettings(folders_.SettingsFile(), true);
        if (sw.PMAndSaveMixers.Checked()) core_.LoadSaveMixerSet(folders_.MixerSetFile(), true, false);
    }
    Wait("Moment bitte - Programm wird beendet ...");
    core_.Card().SetClosing(true);
    if (CloseDevices) CloseDevices();
    return true;
}

} // namespace kreisel

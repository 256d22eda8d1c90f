// The load/save dialog on the whole core: the choices each direction offers, and what each choice
// asks and does, with scripted file dialogs and questions.
#include "persistence/SessionCalls.h"
#include "persistence/SoundFiles.h"
#include "scenarios/Stage.h"
#include "shell/FileTypeLink.h"

#include <cstdlib>

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

class LoadSaveDialogTest : public Stage {
  protected:
    LoadSaveDialogTest() {
        Session& s = core->Sessions();
        LogSessionCalls(s, calls);
        s.ApplyAfterLoad = [this] { calls.push_back("apply"); };
        core->LoadSave().DefaultSettingsFile = [this] { return fs::path(dir / "Kreisel.LPS"); };
        core->LoadSave().MixerSetDialog = [this](bool save) {
            calls.push_back(save ? "set dialog save" : "set dialog load");
        };
        StartPlain();
    }

    // The user picks `choice` and presses OK (or Cancel).
    bool Run(bool save, Control* choice, bool ok = true) {
        TFormLoadSaveDlg& f = core->LoadSaveForm();
        f.ShowModal = [choice, ok, &f] {
            EXPECT_TRUE(f.Visible());
            if (choice != nullptr) choice->UserClick();
            return ok;
        };
        return core->ButtonLoadSaveClick(save);
    }
    std::string Loop(const std::string& name, int frames) {
        WriteSound(dir / name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, StereoRamp(frames));
        return dir / name;
    }
    const ScriptedDialogs::Request& Last() const { return dialogs.Requests().back(); }
    TFormLoadSaveDlg& F() { return core->LoadSaveForm(); }

    ScratchFolder dir;
    std::vector<std::string> calls;
};

TEST_F(LoadSaveDialogTest, EachDirectionOffersItsChoices) {
    TFormLoadSaveDlg& f = F();
    EXPECT_EQ(f.Selected(), &f.RBLoops);
    EXPECT_FALSE(Run(true, &f.RBExportOutput, false)); // cancelled: nothing asked, nothing done
    EXPECT_EQ(f.Caption(), " Speichern ");
    EXPECT_TRUE(f.RBExportOutput.Visible() && !f.RBImportLoop.Visible());
    EXPECT_TRUE(dialogs.Requests().empty());

    // Loading: the export choice made last time gives way to the session.
    f.Prepare(false);
    EXPECT_EQ(f.GBLoadSaveDlg.Text(), " Laden ");
    EXPECT_TRUE(!f.RBExportOutput.Visible() && f.RBImportLoop.Visible());
    EXPECT_EQ(f.Selected(), &f.RBLoops);
    f.RBImportLoop.UserClick();
    f.Prepare(true);
    EXPECT_EQ(f.Selected(), &f.RBLoops);
}

TEST_F(LoadSaveDialogTest, SessionSaveAsksBeforeOverwritingAndLoadAsksToKeepRecordings) {
    core->Importer().ImportLoops({Loop("a.wav", 480)});
    T().UnsavedRecordings = true;
    const std::string take = dir / "Take.lps";
    WriteBytes(take, "old");

    // "überschreiben?" refused: nothing written.
    dialogs.AnswerSave(take);
    dialogs.Answer(DialogResult::Cancel);
    EXPECT_FALSE(Run(true, &F().RBLoops));
    const FileDialogOptions& o = dialogs.Requests()[0].options;
    EXPECT_EQ(o.title, "Session speichern");
    EXPECT_EQ(o.filter, "Einstellungen (*.lps)|*.lps|Sound-Dateien (*.wav)|*.wav|alle Dateien (*.*)|*.*");
    EXPECT_EQ(o.defaultExtension, "lps");
    EXPECT_EQ(Last().Text(), "überschreiben?");
    EXPECT_FALSE(fs::exists(dir / "Take_A1.wav"));
    EXPECT_EQ(ReadBytes(take), "old");

    dialogs.AnswerSave(take);
    dialogs.Answer(DialogResult::Ok);
    EXPECT_TRUE(Run(true, &F().RBLoops));
    EXPECT_TRUE(fs::exists(dir / "Take_A1.wav"));
    EXPECT_EQ(core->LoadSave().LastSessionFile, take);

    // Loading over unsaved recordings: the reset question; Cancel keeps everything.
    T().UnsavedRecordings = true;
    dialogs.AnswerTimeout();
    EXPECT_FALSE(Run(false, &F().RBLoops));
    EXPECT_EQ(Last().Text(), "Bisherige Aufnahmen speichern?");
    EXPECT_EQ(E().LoopCount, 1);

    // "No" drops them; the open dialog starts at the remembered session.
    const size_t asked = dialogs.Requests().size();
    dialogs.Answer(DialogResult::No);
    dialogs.AnswerOpen({take});
    EXPECT_TRUE(Run(false, &F().RBLoops));
    const FileDialogOptions& open = dialogs.Requests()[asked + 1].options;
    EXPECT_EQ(open.title, "Session laden");
    EXPECT_EQ(open.folder, dir.Path());
    EXPECT_EQ(open.fileName, "Take.lps");
    EXPECT_TRUE(open.mustExist);
    EXPECT_EQ(M().LabelStatus.Text(), "Session \"Take.lps\" geladen.");

    // The reset question's OK saves through the dialog first; a cancelled save keeps the loops.
    T().UnsavedRecordings = true;
    dialogs.Answer(DialogResult::Ok);
    F().ShowModal = [] { return false; };
    core->Main().ButtonResetAll.UserClick();
    EXPECT_EQ(E().LoopCount, 1);
}

TEST_F(LoadSaveDialogTest, ExportImportAndSettingsChoices) {
    // Export: the WAV filter, and the export runs into the chosen file.
    dialogs.AnswerSave(dir / "out.wav");
    Run(true, &F().RBExportOutput);
    EXPECT_EQ(Last().options.title, "Exportieren aller Loops");
    EXPECT_EQ(Last().options.defaultExtension, "WAV");
    EXPECT_TRUE(core->Exporter().Running() && core->Exporter().FileName() == dir / "out.wav");
    core->Exporter().Finish();

    // Import of several files.
    dialogs.AnswerOpen({Loop("a.wav", 480), Loop("b.wav", 960)});
    Run(false, &F().RBImportLoop);
    EXPECT_EQ(Last().options.title, "Importieren von (mehreren) Loops");
    EXPECT_TRUE(Last().options.allowMultiple);
    EXPECT_EQ(E().LoopCount, 2);
    EXPECT_EQ(core->LoadSave().LastImportFile, dir / "b.wav");

    // A settings file: its own question, no mixer set.
    const std::string prefs = dir / "Mein.lps";
    WriteBytes(prefs, "old");
    dialogs.AnswerSave(prefs);
    dialogs.Answer(DialogResult::Ok);
    Run(true, &F().RBPrefs);
    EXPECT_EQ(Last().Text(), prefs + " überschreiben?");
    dialogs.AnswerOpen({prefs});
    Run(false, &F().RBPrefs);
    EXPECT_EQ(Last().options.title, "Einstellungen laden");
    EXPECT_EQ(calls, (std::vector<std::string>{"save Mein.lps", "load Mein.lps", "apply", "restart"}));

    // The standard files and the mixer set choice need no file dialog.
    calls.clear();
    const size_t asked = dialogs.Requests().size();
    Run(false, &F().RBPrefsAndMixers_Defaults);
    Run(true, &F().RBMixers);
    EXPECT_EQ(calls, (std::vector<std::string>{"load Kreisel.LPS", "apply", "restart", "load Kreisel.mix",
                                               "set dialog save"}));
    EXPECT_EQ(dialogs.Requests().size(), asked);
}

TEST(FileTypeLinkTest, RegistersChecksAndRemovesTheLinkForOneProgram) {
    ScratchFolder dir;
    const fs::path home = dir.Path();
    FileTypeLink link(home, "/opt/Mein Kreisel/kreisel");
    EXPECT_FALSE(link.IsRegistered());
    std::string error;
    ASSERT_TRUE(link.Register(&error)) << error;
    EXPECT_TRUE(link.IsRegistered());
    EXPECT_NE(ReadBytes(link.MimeFile()).find("<glob pattern=\"*.lps\"/>"), std::string::npos);
    EXPECT_NE(ReadBytes(link.DesktopFile()).find("MimeType=application/x-kreisel-session;"),
              std::string::npos);
    // Another program's link is not ours.
    EXPECT_FALSE(FileTypeLink(home, "/usr/bin/kreisel").IsRegistered());
    EXPECT_EQ(FileTypeLink(home, "/a/$x\\y").ExecLine(), "Exec=\"/a/\\\\$x\\\\\\\\y\" %f");

    ASSERT_TRUE(link.Unregister(&error));
    EXPECT_FALSE(fs::exists(link.DesktopFile()) || fs::exists(link.MimeFile()) || link.IsRegistered());

    ::setenv("XDG_DATA_HOME", dir.Path().c_str(), 1);
    EXPECT_EQ(FileTypeLink::DataHome(), home);
    ::unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace kreisel::test

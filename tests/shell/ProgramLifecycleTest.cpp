// Start-up and shutdown of the whole core: which file wins, what a missing file says, and that
// the end never throws recordings away against the performer's answer.
#include "shell/ProgramLifecycle.h"

#include "scenarios/Stage.h"
#include "support/ScratchFiles.h"

#include <fstream>

#include <unistd.h>

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

class Lifecycle : public Stage {
  protected:
    // The sound-card settings a saved settings file carries say the stage's rate and block.
    Lifecycle() {
        folders.program = folders.data = dir;
        core->SoundCardForm().SEFreq.SetValue(kRate);
        core->SoundCardForm().SEMemBlockFrames.SetValue(kFrames);
    }

    void Write(const std::string& name, const std::string& text) { std::ofstream(dir / name) << text; }

    std::unique_ptr<ProgramLifecycle> Make(std::vector<std::string> args = {}) {
        return std::make_unique<ProgramLifecycle>(*core, dialogs, folders, ParseCommandLine(args));
    }
    std::unique_ptr<ProgramLifecycle> StartUp(std::vector<std::string> args = {}) {
        auto life = Make(std::move(args));
        life->FormCreate();
        life->FormActivate();
        return life;
    }
    void RecordOneLoop() {
        M().CBUsePrepareTime.SetChecked(false);
        M().CBUseFixedLoopTime.SetChecked(false);
        M().CBContinuousRecordingLoops.SetChecked(false);
        Press(M().SBRecord);
        Blocks(10, 1000, 1000);
        Press(M().SBRecord);
        Blocks(2, 0, 0);
        ASSERT_EQ(E().LoopCount, 1);
        ASSERT_TRUE(T().UnsavedRecordings);
    }

    ScratchFolder scratch{"life"};
    const fs::path dir = scratch.Dir();
    DataFolders folders;
};

TEST_F(Lifecycle, SettingsWinOverTheMixerSetAndTheCommandLineFileComesLast) {
    Write("Kreisel.CTR", "FormKreisel;;;\n");
    Write("Kreisel.mix", "[Options]\nMixSymm=1\n");
    Write("Kreisel.tas", "[Keys]\n");
    Write("Kreisel.LPS", "[Options]\nMixSymm=0\nMetronomBPM=100\n");
    Write("Take.lps", "[Options]\nMetronomBPM=90\n");
    Write("Take.mix", "[Options]\n");
    auto life = StartUp({"Take"});
    EXPECT_TRUE(life->Started() && !life->InStartUp());
    EXPECT_FALSE(core->Loops().CBMixSymm.Checked());
    EXPECT_EQ(M().TBMetronomBPM.Position(), 90);
    EXPECT_EQ(life->CommandLineFile(), dir / "Take.lps");
    EXPECT_FALSE(dialogs.WasShown("nicht gefunden"));
    EXPECT_FALSE(core->Loops().SBAllowMultipleLoopLength.Visible());

    // "multiple Loop-Längen" comes with its marker file beside the program.
    Write("_version11.txt", "");
    StartUp();
    EXPECT_TRUE(core->Loops().SBAllowMultipleLoopLength.Visible());
}

// A folder without either file is a new user's: the defaults are written and the status line
// says so, without a message box. Later a file gone missing is reported again.
TEST_F(Lifecycle, TheFirstStartWritesTheDefaultsInsteadOfReportingMissingFiles) {
    auto life = StartUp();
    EXPECT_TRUE(life->FirstStart());
    EXPECT_FALSE(dialogs.WasShown("Ini-Datei"));
    EXPECT_TRUE(fs::exists(dir / "Kreisel.LPS"));
    EXPECT_TRUE(fs::exists(dir / "Kreisel.mix"));
    EXPECT_EQ(M().LabelStatus.Text(), life->FirstStartNote());
    EXPECT_NE(life->FirstStartNote().find("Erster Start"), std::string::npos);

    fs::remove(dir / "Kreisel.mix");
    auto later = StartUp();
    EXPECT_FALSE(later->FirstStart());
    EXPECT_TRUE(later->FirstStartNote().empty());
    EXPECT_TRUE(dialogs.WasShown("Ini-Datei \"" + (dir / "Kreisel.mix").string() + "\" nicht gefunden!!"));
    EXPECT_FALSE(dialogs.WasShown("Kreisel.LPS"));
}

TEST_F(Lifecycle, MissingFilesAreReportedAndTheProgramRuns) {
    Write("Kreisel.mix", "[Options]\n"); // the program has run here before
    dialogs.AnswerTimeout();             // the timed message about the command-line file
    auto life = Make({"Gone"});
    life->FormCreate();
    EXPECT_FALSE(life->FormActivate());
    EXPECT_TRUE(life->Started());
    EXPECT_TRUE(dialogs.WasShown("Ini-Datei \"" + (dir / "Kreisel.LPS").string() + "\" nicht gefunden!!"));
    EXPECT_TRUE(dialogs.WasShown("Komponenten-Datei \"" + (dir / "Kreisel.CTR").string() +
                                 "\" (Texte,Maus-Hilfe,usw.) nicht gefunden!!"));
    EXPECT_TRUE(dialogs.WasShown("Aufruf-Parameter:  Datei \"Gone\" nicht gefunden !!"));
    for (const auto& r : dialogs.Requests())
        EXPECT_TRUE(r.Text().find("Aufruf-Parameter") == std::string::npos ||
                    r.question.caption == "Meldung");
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);

    // The memory switch is no file, and a bad one is only reported.
    auto withSwitch = Make({"INI_MEMSIZE_PERCENT=30"});
    withSwitch->FormCreate();
    EXPECT_TRUE(withSwitch->FormActivate());
    EXPECT_EQ(T().MemPercent, 30);
    EXPECT_TRUE(withSwitch->CommandLineFile().empty());
}

TEST_F(Lifecycle, CancelOrTimeOutAtTheEndKeepsTheRecordings) {
    Write("Kreisel.mix", "[Options]\n"); // not a first start, which would write the settings
    auto life = StartUp();
    RecordOneLoop();
    const std::vector<uint8_t> before(E().Slots[1].Buffer.Data(), E().Slots[1].Buffer.Data() + 400);

    dialogs.Answer(DialogResult::Cancel);
    EXPECT_FALSE(life->FormCloseQuery());
    dialogs.AnswerTimeout();
    EXPECT_FALSE(life->FormCloseQuery() || life->Closing());
    EXPECT_EQ(E().LoopCount, 1);
    EXPECT_EQ(std::vector<uint8_t>(E().Slots[1].Buffer.Data(), E().Slots[1].Buffer.Data() + 400), before);

    dialogs.Answer(DialogResult::No);
    EXPECT_TRUE(life->FormCloseQuery() && life->Closing());
    EXPECT_FALSE(fs::exists(dir / "Kreisel.LPS")); // settings are only written when asked for
}

TEST_F(Lifecycle, OkSavesTheSessionBeforeTheEndAndAutoSaveWritesTheSettings) {
    auto life = StartUp();
    core->Switches().PMAutoSavePreferences.UserClick();
    core->Switches().PMAndSaveMixers.UserClick();
    fs::remove(dir / "Kreisel.LPS"); // ticking the entry wrote its key at once
    RecordOneLoop();
    const int bytes = E().Slots[1].LoopLenBytes;
    const std::vector<uint8_t> recorded(E().Slots[1].Buffer.Data(), E().Slots[1].Buffer.Data() + bytes);

    dialogs.Answer(DialogResult::Ok);
    core->LoadSaveForm().ShowModal = [] { return true; }; // the session choice, as it opens
    dialogs.AnswerSave((dir / "End.lps").string());
    EXPECT_TRUE(life->FormCloseQuery());
    for (const char* file : {"End_A1.wav", "Kreisel.LPS", "Kreisel.mix"})
        EXPECT_TRUE(fs::exists(dir / file)) << file;

    // The program starts again with the session on its command line: the loop is the same to the byte.
    life.reset();
    core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
    E().SampleRate = 44100; // whatever the new start had, the settings file brings the rate back
    life = StartUp({"End"});
    EXPECT_EQ(E().SampleRate, kRate);
    ASSERT_EQ(E().LoopCount, 1);
    ASSERT_EQ(E().Slots[1].LoopLenBytes, bytes);
    EXPECT_EQ(std::vector<uint8_t>(E().Slots[1].Buffer.Data(), E().Slots[1].Buffer.Data() + bytes), recorded);
    EXPECT_TRUE(E().Rows[1].LoopOn);
}

} // namespace
} // namespace kreisel::test

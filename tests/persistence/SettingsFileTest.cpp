// The settings file on the whole core: a round trip through a second program, partial files,
// keys that are only read, the slider mappings, saves that fail, and the save button.
#include "persistence/SettingsFile.h"

#include "persistence/SoundFiles.h"
#include "scenarios/Stage.h"

#include <cerrno>
#include <sys/stat.h>

namespace kreisel::test {
namespace {

struct SettingsFileTest : Stage {
    ScratchFolder dir;

    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir / name;
        WriteBytes(path, text);
        return path;
    }
    std::string SaveText(KreiselCore& c, const std::string& name) {
        const std::string path = dir / name;
        EXPECT_TRUE(c.LoadSaveSettings(path, true));
        return ReadBytes(path);
    }
    static bool Has(const std::string& text, const std::string& line) {
        return text.find("\n" + line + "\n") != std::string::npos;
    }
};

TEST_F(SettingsFileTest, ASecondProgramLoadsWhatTheFirstSaved) {
    StartPlain();
    WindowSwitches& s = core->Switches();
    M().CBUsePrepareTime.SetChecked(true);
    M().CBHoldLoopLength.SetChecked(false);
    M().TBMetronomBPM.SetPosition(97);
    M().SEFixMaxLoopNrOfGroup.SetValue(9);
    M().CBTapStartPlay.SetChecked(false);
    M().SBMetronom.UserClick();
    s.PMControlsStayOnTop.SetChecked(true);
    s.PMShowAddedDisplays.SetChecked(false);
    s.ToolShowFaders.UserClick();
    s.TBScrollStepsPerMixer.SetPosition(3);
    core->Loops().TBOutLevel.SetPosition(50);
    core->Loops().CBMixSymm.SetChecked(true);
    core->Loops().ComboBoxInputMode.SetItemIndex(1);
    core->Latency().SEOptOutblocksDelay.SetValue(7);
    core->Latency().CBManualAddOffsetFrms.SetChecked(true);
    core->Latency().SEAddOffsetFrms.SetValue(1234);
    core->Options().PageControlOptions.SetItemIndex(TFormOptions::PageLatency);
    core->Main().Geometry() = {10, 20, 800, 600};
    core->LoadSaveForm().Geometry() = {130, 140, 0, 0}; // the dialog keeps its place, not its size
    core->Keys().Settings.PunchingKey = 80;
    T().MemPercent = 30;
    core->Compensation().UpTolerance = 3;
    TunerControls& t = core->TunerC();
    t.EditBaseFrequency.SetText("442");
    t.TBGenFreqTon.SetPosition(0);
    t.EditGenFreq.SetText("123.5");
    t.SBGenerator.UserClick();
    t.TBIFMeastime.SetPosition(-1);
    t.CBControlGenFreq.SetChecked(true);
    core->TunerPanel().SetShares(55, 20);
    const std::string changed = SaveText(*core, "changed.lps");
    for (const char* line : {"GeneratorFreq=123.5", "FFTFirstPeakMinProz=55", "UsePrepareTime=1",
                             "HoldLoopLength=0", "[WindowLoadSaveDlg]\nLeft=130\nTop=140"})
        EXPECT_TRUE(Has(changed, line)) << line;
    EXPECT_EQ(core->Main().Caption(), "Kreisel V.0.1    changed.lps");

    ScriptedDialogs otherDialogs;
    KreiselCore other(Host{clock, clock, pump, otherDialogs, system});
    other.Start();
    EXPECT_NE(SaveText(other, "fresh.lps"), changed);
    ASSERT_TRUE(other.LoadSaveSettings(dir / "changed.lps", false));
    other.ApplyAfterLoad();
    EXPECT_EQ(other.E().InputMode, 1);
    EXPECT_TRUE(other.Mixer().MixSymm());
    EXPECT_TRUE(other.E().MetroOn);
    EXPECT_TRUE(other.FadersForm().Visible());
    EXPECT_EQ(other.Switches().ScrollStepsPerMixer(), 8);
    EXPECT_EQ(other.Options().PageControlOptions.ItemIndex(), TFormOptions::PageLatency);
    EXPECT_EQ(other.E().OffsetSmps, 1234);
    EXPECT_NEAR(other.Generator().GenFreq(), 123.5, 0.01);
    EXPECT_TRUE(other.E().Switches.GeneratorOn);
    EXPECT_EQ(other.TunerPanel().Meter().Params().WindowLen, other.E().SampleRate / 2);
    // Every key the first program wrote comes back the same from the second.
    EXPECT_EQ(SaveText(other, "again.lps"), changed);
}

TEST_F(SettingsFileTest, APartialFileChangesOnlyWhatItNames) {
    StartPlain();
    M().TBMetronomBPM.SetPosition(140);
    const std::string file = Write("mono.lps", "[Options]\nInputMode=3\n");
    ASSERT_TRUE(core->LoadSaveSettings(file, false));
    core->ApplyAfterLoad();
    EXPECT_EQ(E().InputMode, 3);
    EXPECT_EQ(core->Loops().ComboBoxInputMode.ItemIndex(), 3);
    EXPECT_EQ(M().TBMetronomBPM.Position(), 140);
    EXPECT_TRUE(M().CBContinuousRecordingLoops.Checked());
    // The offset's default is one block of the file's mode.
    EXPECT_EQ(core->Latency().SEAddOffsetFrms.Value(), E().BlockBytes / 2 / 1);

    Write("block.lps", "[Soundkarte]\nMemBlockLength=4002\n[Special]\nScrollStepsPerMixer=3\n");
    ASSERT_TRUE(core->LoadSaveSettings(dir / "block.lps", false));
    EXPECT_EQ(core->SoundCardForm().SEMemBlockFrames.Value(), 1000);
    EXPECT_EQ(core->Switches().TBScrollStepsPerMixer.Position(), 4);
    EXPECT_EQ(core->Switches().ScrollStepsPerMixer(), 4);

    EXPECT_FALSE(core->LoadSaveSettings(dir / "none.lps", false));
    EXPECT_TRUE(dialogs.WasShown("Ini-Datei \"" + dir / "none.lps" + "\" nicht gefunden!!"));
}

TEST_F(SettingsFileTest, KeysThatAreOnlyReadSurviveSaves) {
    const std::string file = Write("hand.lps", "[Special]\nLimit_ExportFilesize_MB=7\nCmdExplorer=nautilus\n"
                                               "Ini_MemSize_Percent=20\n[Tuner]\nXZoom=5\n");
    core->Settings().MemSizeFromParameter = true;
    ASSERT_TRUE(core->LoadSaveSettings(file, false));
    EXPECT_EQ(core->Exporter().LimitExportFilesizeMB, 7);
    EXPECT_EQ(core->Settings().CmdExplorer, "nautilus");
    EXPECT_EQ(T().MemPercent, 50);
    T().MemPercent = 60;
    ASSERT_TRUE(core->LoadSaveSettings(file, true));
    const std::string text = ReadBytes(file);
    for (const char* line :
         {"Limit_ExportFilesize_MB=7", "CmdExplorer=nautilus", "Ini_MemSize_Percent=20", "XZoom=5"})
        EXPECT_TRUE(Has(text, line)) << line;
    const std::string fresh = SaveText(*core, "fresh.lps");
    for (const char* key : {"Limit_ExportFilesize_MB", "CmdExplorer", "Ini_MemSize_Percent"})
        EXPECT_EQ(fresh.find(key), std::string::npos) << key;
}

TEST_F(SettingsFileTest, AFailedSaveIsReportedAndKeepsTheOldFile) {
    const std::string file = Write("Kreisel.LPS", "[Controls]\nDebugMode=0\n");
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    bool ok = true; // the size limit for root, whom a read-only folder does not stop
    WithFileSizeLimit(256, [&] { ok = core->LoadSaveSettings(file, true); });
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(dialogs.WasShown("Einstellungen nicht gespeichert!"));
    EXPECT_EQ(ReadBytes(file), "[Controls]\nDebugMode=0\n");
}

TEST_F(SettingsFileTest, AReadOnlyFileAndAFifoAreNeitherSavedOverNorMisreported) {
    const std::string file = Write("Fest.LPS", "[Controls]\nDebugMode=0\n");
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_FALSE(core->LoadSaveSettings(file, true));
    EXPECT_TRUE(dialogs.WasShown("Datei \"" + file + "\" kann nicht geschrieben werden: schreibgeschützt"));
    EXPECT_EQ(ReadBytes(file), "[Controls]\nDebugMode=0\n");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);

    const std::string fifo = dir / "Rohr.LPS";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const bool save : {false, true}) {
        errno = ENOSPC; // what an earlier call left behind must not show
        EXPECT_FALSE(core->LoadSaveSettings(fifo, save));
        EXPECT_EQ(dialogs.Requests().back().Text(),
                  "Datei \"" + fifo + "\" kann nicht gelesen werden: keine normale Datei");
    }
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(SettingsFileTest, SaveButtonAsksAndTheAutoSaveSwitchWritesAtOnce) {
    core->SetDefaultFiles(dir / "Kreisel.LPS", dir / "Kreisel.mix");
    Write("Kreisel.LPS", "[Controls]\nAutoSavePreferences=0\nMine=1\n");
    WindowSwitches& s = core->Switches();
    s.PMAutoSavePreferences.UserClick();
    EXPECT_TRUE(Has(ReadBytes(dir / "Kreisel.LPS"), "AutoSavePreferences=1"));
    EXPECT_TRUE(Has(ReadBytes(dir / "Kreisel.LPS"), "Mine=1"));
    EXPECT_TRUE(s.PMAndSaveMixers.Enabled());

    dialogs.AnswerTimeout();
    dialogs.Answer(DialogResult::Yes);
    core->Settings().ButtonSaveInis.UserClick();
    EXPECT_EQ(dialogs.Requests()[0].question.text, "Einstellungen speichern?");
    EXPECT_EQ(dialogs.Requests()[0].question.timeoutMs, 5000);
    EXPECT_EQ(dialogs.Requests()[1].question.text, "Auch Mixer-Einstellungen speichern?");
    EXPECT_TRUE(Has(ReadBytes(dir / "Kreisel.LPS"), "[Soundkarte]"));
    EXPECT_TRUE(Has(ReadBytes(dir / "Kreisel.mix"), "[Loop0]"));

    // Mixers always saved along: no second question.
    s.PMAndSaveMixers.UserClick();
    dialogs.Answer(DialogResult::Ok);
    core->Settings().ButtonSaveInis.UserClick();
    EXPECT_EQ(dialogs.Requests().size(), 3u);
}

TEST(SettingsFraction, UsesTheSystemSeparator) {
    EXPECT_EQ(FractionText(440.5, ','), "440,5");
    EXPECT_EQ(ParseFraction(" 440,5", ','), 440.5);
    EXPECT_EQ(ParseFraction("-1e2", ','), -100.0);
    for (const char* bad : {"440.5", "4,4,0", "", "440 Hz"})
        EXPECT_EQ(ParseFraction(bad, ','), std::nullopt) << bad;
    EXPECT_EQ(ParseFraction("440.5", '.'), 440.5);
}

} // namespace
} // namespace kreisel::test

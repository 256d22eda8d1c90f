// Sessions on the whole core: the files of a save, loading them back loop for loop, the numbering
// gaps on loading and saving, marks deciding what plays, and a save that fails half-way.
#include "persistence/Session.h"

#include "persistence/LoopStage.h"
#include "persistence/SessionCalls.h"
#include "persistence/WavFile.h"

#include <sys/stat.h>

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

class SessionStage : public LoopStage {
  protected:
    SessionStage() { StartPlain(); }
    // A1, A2 and B1.
    void ThreeLoops() {
        AddLoop(4800, 1);
        AddLoop(9600, 2);
        Press(M().SBGroupNext);
        AddLoop(960, 3);
    }
    void Wav(const std::string& name, int frames, int channels = 2, int rate = kRate) {
        WriteSound(dir / name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, channels, rate, StereoRamp(frames));
    }
    const fs::path take = dir / "Take.lps";
};

// Settings and mixer set are followed by their calls; the mixer set keeps the marks as the real
// set does.
class SessionTest : public SessionStage {
  protected:
    SessionTest() {
        Session& s = core->Sessions();
        LogSessionCalls(s, calls);
        s.LoadSaveMixerSet = [this](const fs::path& file, bool save) {
            calls.push_back(SessionCall(file, save));
            for (int n = 1; n <= LoopSlotCapacity; ++n)
                save ? void(marks[file][n] = Mark(n).Down()) : Mark(n).SetDown(marks[file][n]);
            if (save) WriteBytes(file.string(), "[Options]\n");
            return true;
        };
    }

    std::vector<std::string> calls;
    std::map<fs::path, std::map<int, bool>> marks;
};

TEST_F(SessionTest, ASavedSessionComesBackLoopForLoopWithItsMarks) {
    ThreeLoops();
    Press(Mark(2)); // A2 unmarked: it stays silent after loading
    const std::string a1 = Audio(1), a2 = Audio(2), b1 = Audio(3);

    // A bare name lies in the program folder and gets ".lps".
    core->ProgramFolder = dir.Path();
    ASSERT_TRUE(core->LoadSaveSession("Take", true));
    EXPECT_EQ(Names(),
              (std::set<std::string>{"Take.lps", "Take.mix", "Take_A1.wav", "Take_A2.wav", "Take_B1.wav"}));
    EXPECT_EQ(calls, (std::vector<std::string>{"save Take.lps", "save Take.mix"})); // the sound goes on
    EXPECT_EQ(M().LabelStatus.Text(), "Session \"Take.lps\" gespeichert.");
    EXPECT_FALSE(T().UnsavedRecordings);

    Press(M().SBPlay);
    Blocks(3);
    calls.clear();
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(calls, (std::vector<std::string>{"load Take.lps", "restart", "load Take.mix"}));
    EXPECT_FALSE(E().Playing);
    EXPECT_EQ(List(),
              (std::vector<std::string>{"3 Loops / Akt.Gr.: A", "* A1: 0.100 Sek.(4800 Smp.)",
                                        "* A2: 0.200 Sek.(9600 Smp.)", "   B1: 0.020 Sek.(960 Smp.)"}));
    EXPECT_EQ(E().GroupFirstLoop(1), 3);
    EXPECT_EQ(E().LastGroupIdx, 1);
    EXPECT_EQ(E().ActGroupIdx, 0);
    EXPECT_EQ(E().PlayLoopEnd, 9600 * 2); // the longest loop of group A
    EXPECT_EQ(E().Slots[1].LoopLastBlock, 9);
    EXPECT_TRUE(Audio(1) == a1 && Audio(2) == a2 && Audio(3) == b1);
    EXPECT_EQ(Mark(3).Text(), "B1");
    EXPECT_EQ(M().LabelStatus.Text(), "Session \"Take.lps\" geladen.");
    // Marked A1 plays, unmarked A2 does not, B1 waits for its group.
    EXPECT_TRUE(Play(1).Down() && E().Rows[1].LoopOn);
    EXPECT_FALSE(Play(2).Down() || E().Rows[2].LoopOn || Play(3).Down());
    EXPECT_TRUE(M().SBPlay.Enabled());
}

TEST_F(SessionTest, NumberingGapsEndTheLoadAndBoundTheRemovalOfOldFiles) {
    ThreeLoops();
    WriteBytes(dir / "Take_A4.wav", "after a gap");
    ASSERT_TRUE(core->LoadSaveSession(take, true));

    // A smaller session under the same name: the old A2 and B1 go, A4 after the gap stays.
    T().ResetAll();
    AddLoop(480, 7);
    const std::string small = Audio(1);
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    EXPECT_EQ(Names(), (std::set<std::string>{"Take.lps", "Take.mix", "Take_A1.wav", "Take_A4.wav"}));
    EXPECT_EQ(ReadBytes(dir / "Take_A4.wav"), "after a gap");

    // A1, A2 and C1: neither A3 nor B1 follows A2, so C1 is not loaded.
    fs::remove(dir / "Take_A4.wav");
    fs::copy_file(dir / "Take_A1.wav", dir / "Take_A2.wav");
    fs::copy_file(dir / "Take_A1.wav", dir / "Take_C1.wav");
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    EXPECT_EQ(E().LoopCount, 2);
    EXPECT_EQ(E().LastGroupIdx, 0);
    EXPECT_TRUE(Audio(2) == small);

    // Nothing to load: an empty looper, with the settings applied all the same.
    calls.clear();
    ASSERT_FALSE(core->LoadSaveSession(dir / "Leer", false));
    EXPECT_EQ(E().LoopCount, 0);
    EXPECT_EQ(E().LastGroupIdx, -1);
    EXPECT_EQ(calls.front(), "load Leer.lps");
}

TEST_F(SessionTest, DamagedAndForeignLoopFilesAreReportedNeverReadPastTheirEnd) {
    WriteBytes(take.string(), "[Kreisel]\n");
    Wav("Take_A1.wav", 480);
    // A header that claims far more data than the file holds.
    std::string claims = ReadBytes(dir / "Take_A1.wav").substr(0, 44);
    claims.replace(40, 4, Le(100000000, 4));
    WriteBytes(dir / "Take_A2.wav", claims + std::string(400, '\x11'));
    WriteBytes(dir / "Take_A3.wav", "kein Klang");
    WriteSound(dir / "Take_A4.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, kRate / 2, StereoRamp(240));

    ASSERT_TRUE(core->LoadSaveSession(take, false));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const std::string text = dialogs.Requests()[0].Text();
    for (const char* told :
         {"Take_A3.wav\" ist keine lesbare Audio-Datei. Nicht geladen.",
          "Take_A4.wav\" ist keine 16-Bit-Stereo-WAV-Datei mit 48000 Hz und wurde umgerechnet."})
        EXPECT_NE(text.find(told), std::string::npos) << text;
    // A1, the 400 bytes A2 really holds, and A4 converted to stereo at twice its rate.
    ASSERT_EQ(E().LoopCount, 3);
    EXPECT_EQ(E().Slots[1].LoopLenBytes, 480 * 4);
    EXPECT_EQ(E().Slots[2].LoopLenBytes, 400);
    EXPECT_NEAR(E().Slots[3].LoopLenBytes, 960 * 4, 64);
    EXPECT_EQ(Mark(3).Text(), "A3");
}

// The audio of every loop file of the folder.
std::map<std::string, std::vector<int16_t>> LoopAudio(const ScratchFolder& dir) {
    std::map<std::string, std::vector<int16_t>> audio;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        if (entry.path().extension() == ".wav")
            audio[entry.path().filename().string()] = ReadSound(entry.path().string()).values;
    return audio;
}

TEST_F(SessionTest, EveryLoopFileComesInWholeOrIsRefusedByNameAndSavesKeepWhatDidNotCome) {
    for (int k = 1; k <= 28; ++k) {
        if (k <= 5) Wav("Take_A" + std::to_string(k) + ".wav", 48 * k);
        WriteSound(dir / ("Take_B" + std::to_string(k) + ".wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate,
                   std::vector<int16_t>(192, static_cast<int16_t>(k * 100)));
    }
    const auto audio = LoopAudio(dir);
    const std::string b28 = ReadBytes(dir / "Take_B28.wav");
    ASSERT_EQ(M().SEFixMaxLoopNr.Value(), 3);

    // Five loops with "Max.Anz. Loops" at 3 all come: it rises up to the 32 slots; the 33rd
    // file has no slot and is named.
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    EXPECT_EQ(E().LoopCount, 32);
    EXPECT_EQ(M().SEFixMaxLoopNr.Value(), 32);
    EXPECT_EQ(E().Slots[5].LoopLenBytes, 5 * 48 * 4);
    EXPECT_EQ(Mark(32).Text(), "B27");
    EXPECT_TRUE(dialogs.WasShown("Take_B28.wav\" nicht geladen")) << dialogs.Requests().at(0).Text();
    // A save brings back the same audio and leaves the file that did not come as it was.
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    EXPECT_TRUE(LoopAudio(dir) == audio);
    EXPECT_EQ(ReadBytes(dir / "Take_B28.wav"), b28);
}

TEST_F(SessionTest, ALoopLongerThanItsShareComesWholeAndOneBeyondTheBudgetIsKeptOnDisk) {
    // About 2.6 MB for all loops: 4.7 s a slot with three slots.
    T().MemPercent = 1;
    T().AnyChange_FixMaxLoopNr(false);
    ASSERT_LT(E().MaxLoopBytes, 6 * kRate * 4);
    Wav("Take_A1.wav", 6 * kRate);
    Wav("Take_A2.wav", 12 * kRate);
    const std::string a1 = ReadBytes(dir / "Take_A1.wav"), a2 = ReadBytes(dir / "Take_A2.wav");

    ASSERT_TRUE(core->LoadSaveSession(take, false));
    ASSERT_EQ(E().LoopCount, 1);
    EXPECT_TRUE(dialogs.WasShown("Take_A2.wav\" nicht geladen: der Loop-Speicher reicht nicht"))
        << dialogs.Requests().at(0).Text();
    // More slots later shrink the share, never the loop.
    M().SEFixMaxLoopNr.SetValue(8);
    EXPECT_EQ(E().Slots[1].LoopLenBytes, 6 * kRate * 4);
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    EXPECT_EQ(ReadBytes(dir / "Take_A1.wav"), a1);
    EXPECT_EQ(ReadBytes(dir / "Take_A2.wav"), a2);

    // With A3 after the refused A2, A3 comes as the group's second loop, named A2: a save under
    // this name would overwrite the file that did not come, so it is refused.
    Wav("Take_A3.wav", 480);
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    ASSERT_EQ(E().LoopCount, 2);
    T().UnsavedRecordings = true;
    EXPECT_FALSE(core->LoadSaveSession(take, true));
    EXPECT_TRUE(dialogs.WasShown("Take_A2.wav\" wurde beim Laden nicht übernommen"));
    EXPECT_TRUE(T().UnsavedRecordings);
    EXPECT_EQ(ReadBytes(dir / "Take_A2.wav"), a2);
    ASSERT_TRUE(core->LoadSaveSession(dir / "Neu.lps", true));
    EXPECT_EQ(ReadSound(dir / "Neu_A2.wav").values.size(), 2u * 480);
}

TEST_F(SessionTest, AFailedSaveLeavesTheEarlierSessionCompleteAndLoadable) {
    ThreeLoops();
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    const std::string a1 = Audio(1), b1 = Audio(3);
    const auto before = Files();

    // New recordings; the disk fills up at the second loop file, after writing part of it.
    T().ResetAll();
    AddLoop(2400, 4);
    AddLoop(2400, 5);
    T().UnsavedRecordings = true;
    int writes = 0;
    core->Sessions().WriteLoopFile = [&](int loop, const std::string& path, std::string* error) {
        if (++writes == 1) return WriteLoopWav(E(), loop, path, error);
        WriteBytes(path, "RIFF halb");
        *error = "Datei \"" + path + "\" kann nicht geschrieben werden: Datenträger voll";
        return false;
    };
    calls.clear();
    EXPECT_FALSE(core->LoadSaveSession(take, true));
    EXPECT_EQ(writes, 2);
    EXPECT_TRUE(calls.empty()); // settings and mixer set are not touched either
    EXPECT_TRUE(dialogs.WasShown("Datenträger voll"));
    EXPECT_TRUE(dialogs.WasShown("Die zuvor gespeicherte Session bleibt unverändert."));
    EXPECT_EQ(M().LabelStatus.Text(), "Session \"Take.lps\" nicht gespeichert!");
    EXPECT_TRUE(T().UnsavedRecordings);
    EXPECT_TRUE(Files() == before);

    // A folder that refuses writes (not for root, whom permissions do not stop).
    core->Sessions().WriteLoopFile = [&](int loop, const std::string& path, std::string* error) {
        return WriteLoopWav(E(), loop, path, error);
    };
    if (::geteuid() != 0) {
        ::chmod(dir.Path().c_str(), 0555);
        EXPECT_FALSE(core->LoadSaveSession(take, true));
        ::chmod(dir.Path().c_str(), 0755);
        EXPECT_TRUE(dialogs.WasShown("keine Berechtigung"));
    }
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    ASSERT_EQ(E().LoopCount, 3);
    EXPECT_TRUE(Audio(1) == a1 && Audio(3) == b1);
}

TEST_F(SessionTest, ASaveStoppedHalfWaySaysWhichFilesAreNewAndWhichAreOld) {
    ThreeLoops();
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    const std::string oldA2 = ReadBytes(dir / "Take_A2.wav");

    // A1, B1, B2, where B2's name is taken by a folder: the renames stop there.
    T().ResetAll();
    AddLoop(480, 4);
    Press(M().SBGroupNext);
    AddLoop(480, 5);
    AddLoop(480, 6);
    fs::create_directories(fs::path(dir / "Take_B2.wav") / "inhalt");
    EXPECT_FALSE(core->LoadSaveSession(take, true));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const std::string text = dialogs.Requests()[0].Text();
    EXPECT_EQ(text.find("bleibt unverändert"), std::string::npos) << text;
    EXPECT_NE(text.find("Neu gespeichert: Take.lps, Take.mix, Take_A1.wav, Take_B1.wav\n"
                        "Vom vorigen Speichern: Take_A2.wav"),
              std::string::npos)
        << text;
    EXPECT_EQ(M().LabelStatus.Text(), "Session \"Take.lps\" nur teilweise gespeichert!");
    EXPECT_TRUE(T().UnsavedRecordings);
    EXPECT_EQ(ReadBytes(dir / "Take_A2.wav"), oldA2);
}

TEST_F(SessionStage, TheSettingsAndTheMixerSetTravelWithTheLoops) {
    ThreeLoops();
    Press(Mark(1)); // A1 unmarked
    M().CBMetronomRecord.SetChecked(true);
    ASSERT_TRUE(core->LoadSaveSession(take, true));

    T().ResetAll();
    M().CBMetronomRecord.SetChecked(false);
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    EXPECT_EQ(E().LoopCount, 3);
    EXPECT_TRUE(M().CBMetronomRecord.Checked());
    EXPECT_FALSE(Play(1).Down());
    EXPECT_TRUE(Play(2).Down() && Mark(3).Down());
}

TEST_F(SessionStage, AMixerSetOnlyShowsItsInputModeAndTheSettingsModeWinsInASession) {
    ThreeLoops();
    EXPECT_TRUE(T().UnsavedRecordings); // imported loops are in no file of a session yet
    Control& mode = core->Loops().ComboBoxInputMode;

    // The set's mode waits in the box; the loops stay and play on in stereo.
    WriteBytes(dir / "Mono.mix", "[Options]\nInputMode=2\n");
    EXPECT_TRUE(core->LoadSaveMixerSet(dir / "Mono.mix", false, false));
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(E().LoopCount, 3);
    EXPECT_EQ(E().InputMode, 0);
    EXPECT_EQ(mode.ItemIndex(), 2);
    // The reset discards the loops only after the question, and then the waiting mode applies.
    dialogs.Answer(DialogResult::No);
    Press(M().ButtonResetAll);
    EXPECT_TRUE(dialogs.WasShown("Bisherige Aufnahmen speichern?"));
    EXPECT_EQ(E().LoopCount, 0);
    EXPECT_EQ(E().InputMode, 2);

    // A session whose settings say stereo and whose mixer set says mono "nur R".
    WriteBytes(take.string(), "[Options]\nInputMode=0\n");
    WriteBytes(dir / "Take.mix", "[Options]\nInputMode=3\n");
    Wav("Take_A1.wav", 480);
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    EXPECT_EQ(mode.ItemIndex(), 0);
    EXPECT_EQ(E().ChannelCount(), 2);
    EXPECT_EQ(E().LoopCount, 1);
    EXPECT_FALSE(T().UnsavedRecordings);
}

} // namespace
} // namespace kreisel::test

// Sessions on the whole core: the files of a save, loading them back loop for loop, the numbering
// gaps on loading and saving, marks deciding what plays, and a save that fails half-way.
#include "persistence/Session.h"

#include "persistence/SessionCalls.h"
#include "persistence/SoundFiles.h"
#include "persistence/WavFile.h"
#include "scenarios/Stage.h"

#include <cerrno>
#include <map>
#include <set>
#include <sys/stat.h>

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

// The whole core as the program wires it.
class SessionStage : public Stage {
  protected:
    SessionStage() { StartPlain(); }

    // A loop of `frames` stereo frames, different in every loop and every frame.
    void AddLoop(int frames, int seed) {
        std::vector<int16_t> v;
        for (int i = 0; i < 2 * frames; ++i)
            v.push_back(static_cast<int16_t>((i * 37 + seed * 1013) % 65536 - 32768));
        const std::string file = dir / ("in" + std::to_string(seed) + ".wav");
        WriteSound(file, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, v);
        ASSERT_EQ(core->Importer().ImportLoops({file}), 1);
    }
    // A1, A2 and B1.
    void ThreeLoops() {
        AddLoop(4800, 1);
        AddLoop(9600, 2);
        Press(M().SBGroupNext);
        AddLoop(960, 3);
    }
    std::string Audio(int n) {
        const LoopSlot& s = E().Slots[static_cast<size_t>(n)];
        return std::string(reinterpret_cast<const char*>(s.Buffer.Data()),
                           static_cast<size_t>(s.LoopLenBytes));
    }
    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            if (entry.path().filename().string().rfind("in", 0) != 0)
                names.insert(entry.path().filename().string());
        return names;
    }
    Control& Mark(int n) { return *core->Loops().Rows.Mark[static_cast<size_t>(n)]; }
    Control& Play(int n) { return *core->Loops().Rows.Play[static_cast<size_t>(n)]; }

    ScratchFolder dir;
};

// Settings and mixer set stand in for their routines, so that their calls can be followed.
class SessionTest : public SessionStage {
  protected:
    SessionTest() {
        // The settings file is a marker, the mixer set keeps the marks as the real set does.
        Session& s = core->Sessions();
        LogSessionCalls(s, calls);
        s.LoadSaveMixerSet = [this](const fs::path& file, bool save) {
            calls.push_back(SessionCall(file, save));
            for (int n = 1; n <= LoopSlotCapacity; ++n) {
                Control& mark = Mark(n);
                if (save)
                    marks[file][n] = mark.Down();
                else
                    mark.SetDown(marks[file][n]);
            }
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
    EXPECT_EQ(Files(),
              (std::set<std::string>{"Take.lps", "Take.mix", "Take_A1.wav", "Take_A2.wav", "Take_B1.wav"}));
    EXPECT_EQ(calls, (std::vector<std::string>{"save Take.lps", "save Take.mix"})); // the sound goes on
    EXPECT_EQ(M().LabelStatus.Text(), "Session \"Take.lps\" gespeichert.");
    EXPECT_EQ(M().LabelStatus.Color(), Colors::Aqua);
    EXPECT_FALSE(T().UnsavedRecordings);
    const SoundRead written = ReadSound(dir / "Take_A2.wav");
    EXPECT_EQ(written.info.channels, 2);
    EXPECT_EQ(written.info.samplerate, kRate);
    EXPECT_EQ(written.values.size() * 2, a2.size());

    Press(M().SBPlay);
    Blocks(3);
    calls.clear();
    ASSERT_TRUE(core->LoadSaveSession(dir / "Take.lps", false));
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(calls, (std::vector<std::string>{"load Take.lps", "restart", "load Take.mix"}));
    EXPECT_FALSE(E().Playing);
    ASSERT_EQ(E().LoopCount, 3);
    EXPECT_EQ(E().Slots[1].LoopGroup, 0);
    EXPECT_EQ(E().Slots[2].LoopGroup, 0);
    EXPECT_EQ(E().Slots[3].LoopGroup, 1);
    EXPECT_EQ(E().GroupFirstLoop(0), 1);
    EXPECT_EQ(E().GroupFirstLoop(1), 3);
    EXPECT_EQ(E().Slots[1].LoopPosInGroup, 1);
    EXPECT_EQ(E().Slots[2].LoopPosInGroup, 2);
    EXPECT_EQ(E().Slots[3].LoopPosInGroup, 1);
    EXPECT_EQ(E().LastGroupIdx, 1);
    EXPECT_EQ(E().ActGroupIdx, 0);
    EXPECT_EQ(E().PlayLoopEnd, 9600 * 2); // the longest loop of group A
    EXPECT_EQ(E().Slots[1].LoopLastBlock, 9);
    EXPECT_TRUE(Audio(1) == a1);
    EXPECT_TRUE(Audio(2) == a2);
    EXPECT_TRUE(Audio(3) == b1);
    EXPECT_EQ(Mark(3).Text(), "B1");
    EXPECT_EQ(List().at(3), "   B1: 0.020 Sek.(960 Smp.)");
    EXPECT_EQ(M().LabelStatus.Text(), "Session \"Take.lps\" geladen.");

    // Marked A1 plays, unmarked A2 does not, B1 waits for its group.
    EXPECT_TRUE(Play(1).Down());
    EXPECT_FALSE(Play(2).Down());
    EXPECT_FALSE(Play(3).Down());
    EXPECT_TRUE(E().Rows[1].LoopOn);
    EXPECT_FALSE(E().Rows[2].LoopOn);
    EXPECT_TRUE(M().SBPlay.Enabled());
}

TEST_F(SessionTest, NumberingGapsEndTheLoadAndBoundTheRemovalOfOldFiles) {
    ThreeLoops();
    const fs::path take = dir / "Take.lps";
    WriteBytes(dir / "Take_A4.wav", "after a gap");
    ASSERT_TRUE(core->LoadSaveSession(take, true));

    // A smaller session under the same name: the old A2 and B1 go, A4 after the gap stays.
    T().ResetAll();
    AddLoop(480, 7);
    const std::string small = Audio(1);
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    EXPECT_EQ(Files(), (std::set<std::string>{"Take.lps", "Take.mix", "Take_A1.wav", "Take_A4.wav"}));
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
    const fs::path take = dir / "Take.lps";
    WriteBytes(take.string(), "[Kreisel]\n");
    WriteSound(dir / "Take_A1.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, StereoRamp(480));
    // A header that claims far more data than the file holds.
    std::string claims = ReadBytes(dir / "Take_A1.wav").substr(0, 44);
    claims.replace(40, 4, Le(100000000, 4));
    WriteBytes(dir / "Take_A2.wav", claims + std::string(400, '\x11'));
    WriteBytes(dir / "Take_A3.wav", "kein Klang");
    WriteSound(dir / "Take_A4.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, kRate / 2, StereoRamp(240));

    ASSERT_TRUE(core->LoadSaveSession(take, false));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const std::string text = dialogs.Requests()[0].Text();
    EXPECT_NE(text.find("Take_A3.wav\" ist keine lesbare Audio-Datei. Nicht geladen."), std::string::npos)
        << text;
    EXPECT_NE(
        text.find("Take_A4.wav\" ist keine 16-Bit-Stereo-WAV-Datei mit 48000 Hz und wurde umgerechnet."),
        std::string::npos)
        << text;
    // A1, the 400 bytes A2 really holds, and A4 converted to stereo at twice its rate.
    ASSERT_EQ(E().LoopCount, 3);
    EXPECT_EQ(E().Slots[1].LoopLenBytes, 480 * 4);
    EXPECT_EQ(E().Slots[2].LoopLenBytes, 400);
    EXPECT_NEAR(E().Slots[3].LoopLenBytes, 960 * 4, 64);
    EXPECT_EQ(Mark(3).Text(), "A3");
}

TEST_F(SessionTest, AFailedSaveLeavesTheEarlierSessionCompleteAndLoadable) {
    ThreeLoops();
    const fs::path take = dir / "Take.lps";
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    const std::string a1 = Audio(1), b1 = Audio(3);
    std::map<std::string, std::string> before;
    for (const std::string& name : Files())
        before[name] = ReadBytes(dir / name);

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
    std::map<std::string, std::string> after;
    for (const std::string& name : Files())
        after[name] = ReadBytes(dir / name);
    EXPECT_TRUE(after == before) << "files left: " << after.size();

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
    EXPECT_TRUE(Audio(1) == a1);
    EXPECT_TRUE(Audio(3) == b1);
}

TEST_F(SessionStage, TheSettingsAndTheMixerSetTravelWithTheLoops) {
    ThreeLoops();
    Press(Mark(1)); // A1 unmarked
    M().CBMetronomRecord.SetChecked(true);
    const fs::path take = dir / "Take.lps";
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    EXPECT_NE(ReadBytes(dir / "Take.mix").find("[Loop1]"), std::string::npos);

    T().ResetAll();
    M().CBMetronomRecord.SetChecked(false);
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    EXPECT_EQ(E().LoopCount, 3);
    EXPECT_TRUE(M().CBMetronomRecord.Checked());
    EXPECT_FALSE(Play(1).Down());
    EXPECT_TRUE(Play(2).Down());
    EXPECT_TRUE(Mark(3).Down());
}

TEST(SessionNames, CompletionAndLoopFiles) {
    EXPECT_EQ(Session::Complete("Take", "/prog"), fs::path("/prog/Take.lps"));
    EXPECT_EQ(Session::Complete("/a/Take.v2", "/prog"), fs::path("/a/Take.v2"));
    EXPECT_EQ(Session::LoopFile("/a/Take.v2", "B12"), fs::path("/a/Take_B12.wav"));
}

} // namespace
} // namespace kreisel::test

// The key handler on the macro rig: press timing into sequences, key-file commands against key
// macros, the all-keys macros and the keyboard lock, all on the manual clock.
#include "forms/KeyOptions.h"
#include "macros/KeyHandler.h"
#include "macros/MacroRig.h"
#include "shell/PortControl.h"
#include "support/FakePorts.h"

#include <array>
#include <fstream>

namespace kreisel::test {
namespace {

class KeyRig : public MacroRig {
  protected:
    KeyRig() {
        keys.ShowStatus = [this](const std::string& text, bool red) {
            if (!text.empty()) status.push_back(text + (red ? " [rot]" : ""));
        };
    }
    // Holds a key for `ms` and then waits `gapMs` before the next press.
    void Press(int code, int ms, int gapMs = 0) {
        keys.KeyDown(code);
        clock.Advance(ms);
        keys.KeyUp(code);
        clock.Advance(gapMs);
    }
    int Memo(int n) { return macros.GetMemoVariable("MEMO_" + std::to_string(n)); }
    std::string LastStatus() const { return status.empty() ? "" : status.back(); }

    KeyHandler keys{macros, clock, clock};
    std::vector<std::string> status;
};

TEST_F(KeyRig, PressLengthsAtTheLongThresholdMakeSequences) {
    struct Case { std::vector<int> heldMs; const char* expected; };
    const Case cases[] = {{{399}, "Sequenz: 1 ungültig [rot]"},          {{400}, "Sequenz: 2 ungültig [rot]"},
                          {{450}, "Sequenz: 2 ungültig [rot]"},          {{100, 500, 100}, "Sequenz: 121 ungültig [rot]"},
                          {{100, 100, 100, 900}, "Sequenz: 1112 ungültig [rot]"}};
    for (const Case& c : cases) {
        status.clear();
        for (int held : c.heldMs)
            Press(13, held, 399); // a pause just below the sequence end
        if (c.heldMs.size() < 4) {
            EXPECT_TRUE(status.empty()) << c.expected; // still collecting
            clock.Advance(1);
        }
        EXPECT_EQ(LastStatus(), c.expected);
        EXPECT_EQ(keys.SequenceString(), "");
    }
}

TEST_F(KeyRig, FourthReleaseEndsTheSequenceAtOnceAndACommandHandlesIt) {
    keys.KeyCommand[static_cast<std::size_t>(KeyNameToIndex("KeySequ_121"))] = "SET MEMO_1 MEMO_1 + 1";
    keys.KeyCommand[static_cast<std::size_t>(KeyNameToIndex("KeySequ_2111"))] = "SET MEMO_2 MEMO_2 + 1";
    EXPECT_EQ(KeyNameToIndex("KeySequ_121"), 80);
    Press(32, 50, 100);
    Press(32, 600, 100);
    Press(32, 50, 400);
    EXPECT_EQ(Memo(1), 1);
    EXPECT_EQ(LastStatus(), "Sequenz: 121");

    for (int held : {500, 10, 10})
        Press(65, held, 10);
    keys.KeyDown(65);
    clock.Advance(10);
    keys.KeyUp(65);
    EXPECT_EQ(Memo(2), 1); // no waiting for the timer
    EXPECT_EQ(clock.ActiveCount(), 0u);
    // A sequencing key set to 0 is no sequencing key: the next press of "A" is no sequence.
    keys.Settings.SequencingKey[2] = 0;
    Press(65, 10, 1000);
    EXPECT_EQ(LastStatus(), "Sequenz: 2111");
}

TEST_F(KeyRig, MacrosTakePrecedenceOverKeyFileCommandsOnlyWhileRunning) {
    keys.KeyCommand[38] = "SET MEMO_1 MEMO_1 + 1"; // Key_A
    keys.KeyCommand[39] = "SET MEMO_3 MEMO_3 + 1"; // Key_B
    // Stopped macros: the key-file command runs once however long the key is held.
    keys.KeyDown('A'); // held: the key repeats
    keys.KeyDown('A');
    keys.KeyUp('A');
    EXPECT_EQ(Memo(1), 1);

    ASSERT_TRUE(Start("ON ALLKEYS_INIT\nSET MEMO_4 MEMO_4 + 1\nRETURN\n"
                      "ON KEY_A\nSET MEMO_2 MEMO_2 + 1\nRETURN\n"
                      "ON KEY_C\nWAIT KEY_D\nSET MEMO_5 1\nRETURN"));
    Press('A', 10);
    EXPECT_EQ(Memo(1), 1); // the macro ran instead
    EXPECT_EQ(Memo(2), 1);
    Press('B', 10); // no macro: its command runs, the all-keys macro around it
    EXPECT_EQ(Memo(3), 1);
    EXPECT_EQ(Memo(4), 2);
    Press('C', 10);
    Press('E', 10); // a key with nothing at all still runs the all-keys macro
    EXPECT_EQ(Memo(4), 4);
    Press('D', 10); // resumes the waiting macro without the all-keys macro
    EXPECT_EQ(Memo(5), 1);
    EXPECT_EQ(Memo(4), 4);

    macros.TogglePause();
    ASSERT_FALSE(macros.MacrosRunning());
    Press('A', 10);
    EXPECT_EQ(Memo(1), 2); // paused: the key-file command again
    EXPECT_EQ(Memo(2), 1);
}

TEST_F(KeyRig, KeyboardLockSwallowsEverythingButPauseF1AndAltF4) {
    int helps = 0, closes = 0;
    keys.Help = [&] { ++helps; };
    keys.Close = [&](bool) { ++closes; };
    std::string message;
    keys.ShowMessage = [&](const std::string& text, bool) { message = text; };
    keys.KeyCommand[38] = "SET MEMO_1 MEMO_1 + 1";
    Press(KeyHandler::kPauseBreak, 10);
    EXPECT_TRUE(keys.KeyboardLocked());
    Press('A', 10);
    EXPECT_EQ(Memo(1), 0);
    EXPECT_EQ(message, "Keyboard locked !!  (Press \"Break/Pause\")");
    Press(13, 500, 1000); // no sequence either
    EXPECT_TRUE(status.empty());
    Press(KeyHandler::kF1, 10);
    keys.KeyDown(KeyHandler::kF4, false, false, true);
    keys.KeyUp(KeyHandler::kF4);
    EXPECT_EQ(helps, 1);
    EXPECT_EQ(closes, 1);
    Press(KeyHandler::kPauseBreak, 10);
    EXPECT_FALSE(keys.KeyboardLocked());
    EXPECT_EQ(message, "Keyboard unlocked ...");
    Press('A', 10);
    EXPECT_EQ(Memo(1), 1);
}

TEST_F(KeyRig, KeyFileFillsCommandsAndTheOverviewListsThem) {
    const auto file = std::filesystem::temp_directory_path() / "kreisel_keyhandler_test.tas";
    std::ofstream(file) << "[Keys]\nKey_F5=SET SBRecord\nKey_A=SET ButtonStop\n[KeySequences]\nKeySequ_12=SET SBPlay 1\n";
    ASSERT_TRUE(keys.LoadKeyFile(file));
    std::filesystem::remove(file);
    EXPECT_EQ((std::array{keys.KeyCommand[5], keys.KeyCommand[38],
                          keys.KeyCommand[static_cast<std::size_t>(71 + SequenceToNumber("12"))]}),
              (std::array<std::string, 3>{"SET SBRecord", "SET ButtonStop", "SET SBPlay 1"}));
    ASSERT_TRUE(Start("ON KEY_A\nSET MEMO_1 1\nRETURN"));
    const std::string overview = keys.Overview(false, {13, 32, 80, 0});
    for (const char* line : {"F5        : 'SET SBRecord'\n", "A         : 'SET ButtonStop'\t\t\t(Steuert Makro, s.u.)\n",
                             "RLSD:\t P         (ascii=80)\n", "KeySequ_12   (=KL):   \"SET SBPlay 1\"\n",
                             "Z.1+:   ON KEY_A\n"})
        EXPECT_NE(overview.find(line), std::string::npos) << line << overview;
    EXPECT_EQ(overview.find("RING:"), std::string::npos);
    EXPECT_EQ(overview.find("Key_B"), std::string::npos);
    EXPECT_NE(keys.Overview(true, {}).find("B         : ''\n"), std::string::npos);

    Form form("FormMakros2");
    const std::array<int, 4> portKeys{13, 0, 0, 0};
    KeyOverviewControls view(form, keys, portKeys);
    EXPECT_FALSE(view.CBKeysAll.Visible());
    view.SBShowKeys.SetDown(true);
    view.SBShowKeys.Click();
    EXPECT_TRUE(view.MemoKeys.Visible());
    const std::size_t few = view.MemoKeys.Lines().size();
    EXPECT_EQ(view.MemoKeys.Lines().front(), " <<< Einzelbefehls-Tasten: >>> ");
    view.CBKeysAll.SetChecked(true);
    EXPECT_GT(view.MemoKeys.Lines().size(), few + 60);

    EXPECT_FALSE(keys.LoadKeyFile(file)); // gone: every command empty again
    EXPECT_EQ(keys.KeyCommand[5], "");
}

TEST_F(KeyRig, TimingSlidersMoveOntoStepsOf50AndSetTheTiming) {
    Form form("FormKreisel2");
    KeyOptions options(form, keys.Settings);
    EXPECT_EQ(options.LabelKeyLongMinMSec.Text(), "400 mSek.");
    const std::pair<int, int> cases[] = {{433, 450}, {424, 400}, {1000, 1000}, {90, 100}};
    for (const auto& [position, stepped] : cases) {
        options.TBKeyDistMaxMSec.SetPosition(position);
        EXPECT_EQ(options.TBKeyDistMaxMSec.Position(), stepped);
        EXPECT_EQ(keys.Settings.KeyDistMaxMSec, stepped);
        EXPECT_EQ(options.LabelKeyDistMaxMSec.Text(), std::to_string(stepped) + " mSek.");
    }
    options.TBKeyLongMinMSec.SetPosition(600);
    Press(13, 599, 100); // the pause now ends the sequence
    EXPECT_EQ(LastStatus(), "Sequenz: 1 ungültig [rot]");
}

TEST_F(KeyRig, AFootSwitchOnCtsIsALongPressOfTheReturnSequenceKey) {
    FakePorts ports;
    PortControl port(ports);
    port.SendKey = [this](int key, bool down) { down ? keys.KeyDown(key) : keys.KeyUp(key); };
    port.PortEnabled = true;
    ASSERT_TRUE(port.Reopen("/dev/ttyUSB0"));
    keys.KeyCommand[static_cast<std::size_t>(KeyNameToIndex("KeySequ_21"))] = "SET MEMO_1 7";
    auto block = [&](unsigned bits, int ms) {
        ports.lines["/dev/ttyUSB0"].bits = bits;
        port.PortActions();
        port.Deliver();
        clock.Advance(ms);
    };
    for (const auto& [bits, ms] : {std::pair{unsigned{kModemCTS}, 600}, {0u, 100}, {kModemCTS, 100}, {0u, 400}})
        block(bits, ms);
    EXPECT_EQ(Memo(1), 7);
    EXPECT_EQ(LastStatus(), "Sequenz: 21");
}

} // namespace
} // namespace kreisel::test

// Macros driving the whole looper: the transport through its buttons, waits resumed by the
// block, the loop end and the metronome, keys, and the per-loop controls under their loop names.
#include "scenarios/Stage.h"
#include "core/Text.h"
#include "support/ScratchFiles.h"

namespace kreisel::test {
namespace {

class MacroPerformance : public Stage {
  protected:
    MacroInterpreter& Macros() { return core->Interpreter(); }
    void StartMacros(const std::string& text) {
        core->Macros().MemoMacros.SetLines(SplitLines(text));
        core->Macros().ButtonStartStopMacros.Click();
        ASSERT_TRUE(Macros().MacrosActive());
    }
    // Blocks until the macro variable `memo` reaches `value`; the number of blocks it took.
    int BlocksUntil(int memo, int value, int16_t left = 0, int16_t right = 0, int limit = 500) {
        int n = 0;
        while (Macros().Memo[static_cast<std::size_t>(memo)] != value && n < limit) {
            Blocks(1, left, right);
            ++n;
        }
        return n;
    }
};

TEST_F(MacroPerformance, AStartUpSectionRecordsOverdubsAndSwitchesGroups) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    StartMacros("SET SBRecord          # A1 at once\n"
                "SET MEMO_1 1\n"
                "WAIT 100 MS\n"
                "SET SBRecord          # closes A1 on the next block boundary\n"
                "SET MEMO_1 2\n"
                "WAIT LOOPEND\n"
                "DISPLAY A1 fertig, Loops: MAXLOOP\n"
                "SET SBRecord          # arms A2 for the next cycle\n"
                "SET MEMO_1 3\n"
                "WAIT LOOPEND\n"
                "SET ACTGROUP B\n"
                "SET MEMO_1 4\n");
    EXPECT_TRUE(E().Recording);
    EXPECT_EQ(Macros().Memo[1], 1);
    EXPECT_EQ(M().LabelMacroDisp.FontColor(), Colors::Red); // a timed wait is pending

    // The timed wait ends with the first block after its deadline.
    EXPECT_EQ(BlocksUntil(1, 2, 1000, 0), 11);
    EXPECT_EQ(E().PlayLoopEnd, 11 * 2 * kFrames);
    // The loop end while recording resumes the macro: A1 is done and A2 armed.
    EXPECT_EQ(BlocksUntil(1, 3), 1);
    EXPECT_EQ(E().LoopCount, 1);
    EXPECT_EQ(E().Slots[1].LoopLenBytes, 11 * 4 * kFrames);
    EXPECT_TRUE(E().RecordArmed);
    EXPECT_EQ(M().LabelStatus.Text(), "A1 fertig, Loops: 1");
    // A2 runs one cycle from the next cycle start; its end resumes the macro.
    EXPECT_EQ(BlocksUntil(1, 4, 0, 500), 2 * 11);
    EXPECT_EQ(E().LoopCount, 2);
    EXPECT_EQ(E().ToGroupIdx, 1); // B requested; the running transport switches at the cycle end
    EXPECT_EQ(M().LabelMacroDisp.FontColor(), Colors::Black);
    Blocks(3);
    EXPECT_EQ(OutL(100), 1000);
    EXPECT_EQ(lastOut[2 * 100 + 1], 500);
    EXPECT_TRUE(Macros().Errors().empty());

    // Engine values set directly stay within the recorded loops.
    struct Case {
        const char* statement;
        int loopCount;
        int recLoop;
    };
    const int rec = E().RecLoopNr;
    for (const Case c : {Case{"SET RECLOOP 9", 2, rec}, Case{"SET RECLOOP 1", 2, 1}, Case{"SET MAXLOOP 7", 2, 1},
                         Case{"SET MAXLOOP 1", 1, 1}}) {
        EXPECT_TRUE(Macros().ExecLine(c.statement));
        EXPECT_EQ(E().LoopCount, c.loopCount) << c.statement;
        EXPECT_EQ(E().RecLoopNr, c.recLoop) << c.statement;
    }
}

TEST_F(MacroPerformance, KeysTicksAndLoopNamedControls) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    StartMacros("ON Key_M\n"
                "SET SBMetronom ON\n"
                "WAIT METRONOMTICK\n"
                "SET MEMO_1 MEMO_1 + 1\n"
                "RETURN\n"
                "ON Key_L\n"
                "SET TBAmpLeft_A1 MIN\n"
                "SET SBLoopMarker_@1 OFF\n"
                "RETURN\n"
                "ON Key_R\n"
                "SET SBRecord\n"
                "RETURN\n");
    EXPECT_EQ(Macros().AutoStartLine, -1);
    // The start checks every SET: A1 has no row of that name before it is recorded.
    ASSERT_EQ(Macros().Errors().size(), 1u);
    EXPECT_EQ(Macros().Errors()[0], "Fehler in Zeile \"SET TBAmpLeft_A1 MIN\" !");

    EXPECT_TRUE(core->KeyDown('M'));
    core->KeyUp('M');
    EXPECT_TRUE(E().MetroOn);
    int blocks = 0;
    bool ticked = false;
    while (Macros().Memo[1] == 0 && blocks < 200) {
        const int32_t before = core->Metro().NextTickFrame();
        Blocks(1);
        ++blocks;
        ticked = core->Metro().NextTickFrame() != before;
    }
    EXPECT_EQ(Macros().Memo[1], 1);
    EXPECT_TRUE(ticked) << "resumed in the block of a tick";

    // Record A1 by key; the record key's own meaning is replaced by the macro.
    EXPECT_TRUE(core->KeyDown('R'));
    core->KeyUp('R');
    Blocks(5, 2000, 2000);
    EXPECT_TRUE(core->KeyDown('R'));
    core->KeyUp('R');
    Blocks(2);
    ASSERT_EQ(E().LoopCount, 1);
    // The row of slot 1 now answers to the loop's name only.
    EXPECT_EQ(core->Forms().FindControlByName("TBAmpLeft_1"), nullptr);
    ASSERT_NE(core->Forms().FindControlByName("TBAmpLeft_A1"), nullptr);
    EXPECT_TRUE(core->KeyDown('L'));
    core->KeyUp('L');
    const Control& amp = *core->Forms().FindControlByName("TBAmpLeft_A1");
    EXPECT_EQ(GetControlValue(amp, PropValue), GetControlValue(amp, PropMin));
    EXPECT_LE(E().Rows[1].LoopLevelL, -960); // the row's action ran: silence
    EXPECT_FALSE(core->Forms().FindControlByName("SBLoopMarker_A1")->Down());
    EXPECT_EQ(Macros().Errors().size(), 1u);

    // Paused macros leave the keys to the looper.
    core->Macros().SBDoMacrosPause.UserClick();
    EXPECT_FALSE(Macros().MacrosRunning());
    EXPECT_FALSE(core->KeyDown('L'));
}

TEST_F(MacroPerformance, TheSettingsFileKeepsWhetherMacrosRun) {
    StartPlain();
    ScratchFolder dir("domacros");
    const std::string file = dir / "Kreisel.LPS";
    WriteBytes(file, "[Options]\nDoMacros=1\nShowMacrosErrors=0\n");
    core->Macros().MemoMacros.SetLines({"SET MEMO_1 3"});
    ASSERT_TRUE(core->LoadSaveSettings(file, false));
    EXPECT_TRUE(Macros().MacrosActive());
    EXPECT_EQ(Macros().Memo[1], 3);
    EXPECT_FALSE(M().CBShowMacrosErrors.Checked());

    auto saved = [&] {
        EXPECT_TRUE(core->LoadSaveSettings(file, true));
        return ReadBytes(file);
    };
    EXPECT_NE(saved().find("DoMacros=1"), std::string::npos);
    core->Macros().SBDoMacrosPause.UserClick(); // paused macros are not "on"
    EXPECT_NE(saved().find("DoMacros=0"), std::string::npos);
    core->Macros().ButtonStartStopMacros.UserClick();
    EXPECT_FALSE(Macros().MacrosActive());
    const std::string text = saved();
    EXPECT_NE(text.find("DoMacros=0"), std::string::npos);
    EXPECT_NE(text.find("ShowMacrosErrors=0"), std::string::npos);
}

} // namespace
} // namespace kreisel::test

// Loop lengths from the fixed-length rule and from closing a free length, loop names and the
// marked-loop display, and the timed starts: count-in and tapping.
#include "scenarios/Stage.h"

namespace kreisel::test {
namespace {

// 100 frames per second in blocks of 20 frames: a block adds 40 stereo values.
class SlowStage : public Stage {
  protected:
    void StartSlow() {
        E().SampleRate = 100;
        E().BlockBytes = 20 * 4;
        M().TBMetronomBPM.SetPosition(120);
        StartPlain();
    }
};

TEST_F(SlowStage, FixedLengthInHalfSecondsAndHalfBeats) {
    StartSlow();
    M().TBFixedLoopTime.SetPosition(3);
    M().CBUseFixedLoopTime.SetChecked(true);
    EXPECT_EQ(E().PlayLoopEnd, 280); // 100 × 3 × 2 / 2 = 300, rounded down to whole blocks
    M().CBFixedLoopUseBPM.SetChecked(true);
    M().TBFixedLoopTime.SetPosition(4);
    EXPECT_EQ(E().PlayLoopEnd, 200); // 4 half-beats of 25 frames
    M().TBFixedLoopTime.SetPosition(0);
    EXPECT_EQ(E().PlayLoopEnd, 40); // position 0 counts as 1: 50 values, one block
}

TEST_F(SlowStage, ClosingAFreeLengthOnTheBlockOrAfterTheOffset) {
    StartSlow();
    Press(M().SBRecord);
    E().PlayPos = 500;
    T().CloseFreeLengthLoop();
    EXPECT_EQ(E().PlayLoopEnd, 520);
    EXPECT_TRUE(E().LoopTailFadePending);
    M().CBFirstRecLoopEnd_AfterOffset.SetChecked(true);
    E().OffsetSmps = 100;
    T().CloseFreeLengthLoop();
    EXPECT_EQ(E().PlayLoopEnd, 600);
}

TEST_F(Stage, LoopNamesCountPerGroupAndTheMarkWraps) {
    M().CBContinuousRecordingLoops.SetChecked(true);
    M().SEFixMaxLoopNr.SetValue(8);
    M().SEFixMaxLoopNrOfGroup.SetValue(3);
    M().CBUseFixedLoopTime.SetChecked(true);
    M().TBFixedLoopTime.SetPosition(1);
    M().CBUsePrepareTime.SetChecked(false);
    core->Start();
    EXPECT_EQ(M().SEFixMaxLoopNrOfGroup.Value(), 3);
    Press(M().SBRecord);
    // A1, A2, A3 one after another; then recording stops at the group's last place.
    for (int b = 0; b < 3 * 50 + 2; ++b)
        Blocks(1);
    EXPECT_FALSE(E().Recording);
    EXPECT_EQ(E().LoopCount, 3);
    EXPECT_EQ(T().LoopName(3), "A3");
    EXPECT_EQ(M().LabelDisp2.Text(), "A1-"); // the mark went round to the full group's first loop
    M().CBReRecordCyclic.SetChecked(true);
    T().UpdateControls();
    EXPECT_EQ(M().LabelDisp2.Text(), "A1+");

    // Names count per group: a loop added to A after B1 is A4, whatever its number.
    E().Slots[4].LoopGroup = 1;
    E().Slots[5].LoopGroup = 0;
    E().LoopCount = 5;
    EXPECT_EQ(T().LoopName(4), "B1");
    EXPECT_EQ(T().LoopName(5), "A4");
    EXPECT_EQ(T().LoopName(0), "A1");
}

TEST_F(Stage, SecondRecordPressAbortsTheCountIn) {
    M().CBUsePrepareTime.SetChecked(true);
    M().CBPrepareTimeUseBPM.SetChecked(true);
    M().TBPrepareTime.SetPosition(4);
    M().TBMetronomBPM.SetPosition(120);
    core->Start();
    ASSERT_EQ(core->Prepare().PrepareTimeMs(), 2000);
    int fed = 0;
    pump.SetFeed([&] {
        Send();
        if (++fed == 50) Press(M().SBRecord);
    });
    Press(M().SBRecord);
    EXPECT_FALSE(E().Recording);
    EXPECT_EQ(E().LoopCount, 0);
    EXPECT_LT(fed, 200);
    EXPECT_EQ(M().LabelDisp1.Text(), "-");
}

TEST_F(Stage, TwoTapsStartTheRecordingOneBeatLater) {
    M().CBUsePrepareTime.SetChecked(false);
    M().TBTapCount.SetPosition(2);
    core->Start();
    M().TBMetronomBPM.SetPosition(90);
    Press(M().SBTap);
    Blocks(30); // taps within 200 ms of switching on do not count
    EXPECT_TRUE(core->Tap().KeyTap());
    Blocks(50);
    EXPECT_TRUE(core->Tap().KeyTap()); // 500 ms later
    const int64_t second = clock.TickCount();
    EXPECT_EQ(M().TBMetronomBPM.Position(), 120);
    EXPECT_TRUE(E().MetroOn);
    int64_t started = 0;
    for (int b = 0; b < 80 && started == 0; ++b) {
        Blocks(1);
        if (E().Recording) started = clock.TickCount();
    }
    EXPECT_GE(started - second, 500);
    EXPECT_LE(started - second, 500 + kBlockMs);
}

TEST_F(Stage, KeysRecordPunchAndLockTheKeyboard) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    EXPECT_TRUE(core->KeyDown(13)); // Enter records A1 when nothing exists yet
    EXPECT_TRUE(E().Recording);
    EXPECT_TRUE(core->KeyDown(13)); // held: auto-repeat is swallowed, nothing changes
    EXPECT_TRUE(E().Recording);
    core->KeyUp(13);
    Blocks(3, 700);
    core->KeyDown(65); // "A" closes the free length
    core->KeyUp(65);
    Blocks(1);
    EXPECT_FALSE(E().Recording);

    // Punch-in on the space bar while it is held.
    Press(M().SBPunch);
    ASSERT_TRUE(E().PunchOn);
    core->KeyDown(32);
    EXPECT_TRUE(E().PunchActive);
    core->KeyUp(32);
    EXPECT_TRUE(E().PunchFadeOut);

    // Pause/Break locks every key until it is pressed again.
    core->KeyDown(19);
    EXPECT_TRUE(core->KeyboardLocked());
    EXPECT_EQ(M().LabelStatus.Text(), "Keyboard locked !!  (Press \"Break/Pause\")");
    core->KeyUp(19);
    EXPECT_TRUE(core->KeyDown(13));
    core->KeyUp(13);
    EXPECT_FALSE(E().RecordArmed);
    core->KeyDown(19);
    core->KeyUp(19);
    EXPECT_FALSE(core->KeyboardLocked());
    EXPECT_EQ(M().LabelStatus.Text(), "Keyboard unlocked ...");
}

} // namespace
} // namespace kreisel::test

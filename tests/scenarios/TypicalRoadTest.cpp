// Performances of the transport: the first loops, groups, stops and the limits.
#include "scenarios/Stage.h"

#include <algorithm>

namespace kreisel::test {
namespace {

class Performance : public Stage {};

TEST_F(Performance, FirstLoopsOfTheTypicalRoad) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    EXPECT_EQ(M().LabelDisp2.Text(), "A1");

    // Record with nothing recorded starts A1 at once at the cycle start.
    Press(M().SBRecord);
    EXPECT_TRUE(E().Recording);
    EXPECT_EQ(E().RecLoopNr, 1);
    EXPECT_TRUE(E().FreeLengthRecording);
    EXPECT_EQ(M().LabelDisp1.Text(), "A1");
    EXPECT_EQ(M().LabelDisp1.Color(), Colors::Red);
    EXPECT_EQ(List().at(1), "* A1: (Aufnahme)(0 Smp.)");
    Blocks(10, 1000, 0);

    // The second press closes the free length on the block boundary.
    Press(M().SBRecord);
    EXPECT_EQ(E().PlayLoopEnd, 10 * 2 * kFrames);
    Blocks(1, 0, 0); // the cycle end: A1 is finished and plays
    EXPECT_FALSE(E().Recording);
    EXPECT_TRUE(E().Playing);
    EXPECT_EQ(E().Slots[1].LoopLenBytes, 10 * 4 * kFrames);
    EXPECT_EQ(List().at(1), "* A1: 0.100 Sek.(4800 Smp.)");
    EXPECT_EQ(List().at(0), "1 Loops / Akt.Gr.: A");
    EXPECT_EQ(OutL(0), 0);      // the output fades in after the loop is closed ...
    EXPECT_EQ(OutL(460), 1000); // ... and A1 is heard in the new cycle
    EXPECT_EQ(M().LabelDisp2.Text(), "A2");

    // Record while playing arms A2; it starts at the next cycle start and, with the group's
    // first loop setting the length, ends by itself after one cycle.
    Press(M().SBRecord);
    EXPECT_TRUE(E().RecordArmed);
    EXPECT_EQ(M().LabelDisp1.Color(), Colors::Yellow);
    Blocks(9, 0, 0);
    EXPECT_FALSE(E().Recording);
    Blocks(1, 0, 500);
    EXPECT_TRUE(E().Recording);
    EXPECT_EQ(E().RecLoopNr, 2);
    EXPECT_EQ(M().LabelDisp1.Text(), "A2");
    EXPECT_EQ(E().PlayLoopEnd, 10 * 2 * kFrames);
    Blocks(9, 0, 500);
    Blocks(1, 0, 0);
    EXPECT_FALSE(E().Recording);
    EXPECT_TRUE(E().Playing);
    EXPECT_EQ(E().LoopCount, 2);
    Blocks(5, 0, 0);
    // Both loops, each side where it was recorded with the mixer rows at their start values.
    EXPECT_EQ(OutL(100), 1000);
    EXPECT_EQ(lastOut[2 * 100 + 1], 500);
    EXPECT_EQ(List().at(2), "* A2: 0.100 Sek.(4800 Smp.)");
}

TEST_F(Performance, FreeLengthWithoutTimingCorrectionAddsTheOffset) {
    M().CBFirstRecLoopEnd_AfterOffset.SetChecked(true);
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    E().OffsetSmps = 2 * 600;
    Press(M().SBRecord);
    Blocks(4);
    Press(M().SBRecord);
    // 4 blocks of 960 values plus the 1200-value offset, rounded down to whole blocks.
    EXPECT_EQ(E().PlayLoopEnd, 5 * 960);
    Blocks(1);
    EXPECT_TRUE(E().Recording); // recording runs on for the offset
    Blocks(1);
    EXPECT_FALSE(E().Recording);
    EXPECT_EQ(E().Slots[1].LoopLenBytes, 2 * 5 * 960);
}

TEST_F(Performance, ContinuousRecordingStopsAfterTheLastAllowedLoopOrCycles) {
    for (bool cyclic : {false, true}) {
        SCOPED_TRACE(cyclic ? "cyclic" : "not cyclic");
        TearDown();
        core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
        E().SampleRate = kRate;
        E().BlockBytes = kFrames * 4;
        M().CBReRecordCyclic.SetChecked(cyclic);
        M().CBUseFixedLoopTime.SetChecked(true); // 1.5 s loops from the slider's 3 half-seconds
        M().TBFixedLoopTime.SetPosition(1);      // 0.5 s
        M().CBUsePrepareTime.SetChecked(false);
        core->Start();
        ASSERT_EQ(M().SEFixMaxLoopNr.Value(), 3);
        EXPECT_EQ(E().PlayLoopEnd, 48000); // half a second of stereo values, 50 blocks
        Press(M().SBRecord);
        std::vector<int> recorded;
        for (int b = 0; b < 4 * 51; ++b) {
            if (E().Recording && (recorded.empty() || recorded.back() != E().RecLoopNr))
                recorded.push_back(E().RecLoopNr);
            Blocks(1);
        }
        if (cyclic)
            EXPECT_EQ(
                std::vector<int>(recorded.begin(), recorded.begin() + std::min<size_t>(4, recorded.size())),
                (std::vector<int>{1, 2, 3, 1}));
        else
            EXPECT_EQ(recorded, (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(E().LoopCount, 3);
    }
}

TEST_F(Performance, GroupRequestedWhilePlayingSwitchesAtTheWrap) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    M().SEFixMaxLoopNr.SetValue(6);
    StartPlain();
    // A1 of 8 blocks, then B1 of 4 blocks.
    Press(M().SBRecord);
    Blocks(8, 100);
    Press(M().SBRecord);
    Blocks(1);
    Press(M().SBGroupNext);
    EXPECT_EQ(E().ToGroupIdx, 1);
    EXPECT_TRUE(M().SBGroupNext.Down());
    EXPECT_EQ(M().LabelDisp2.Text(), "B1");
    Press(M().SBRecord); // arms B1
    Blocks(7);
    EXPECT_FALSE(E().Recording);
    Blocks(1); // the cycle end starts B1 (its first block is silent)
    EXPECT_TRUE(E().Recording);
    EXPECT_EQ(E().RecLoopNr, 2);
    EXPECT_EQ(E().ActGroupIdx, 1);
    EXPECT_EQ(T().LoopName(2), "B1");
    EXPECT_EQ(E().GroupFirstLoop(1), 2);
    Blocks(3, 200);
    Press(M().SBRecord);
    Blocks(1);
    EXPECT_FALSE(E().Recording);
    EXPECT_EQ(E().PlayLoopEnd, 4 * 960);
    EXPECT_FALSE(E().Rows[1].LoopOn); // A1 is not in the playing group

    // Back to A while B plays: the switch waits for the wrap and keeps the distance to the end.
    Press(M().SBGroupBack);
    EXPECT_EQ(E().ToGroupIdx, 0);
    EXPECT_EQ(E().ActGroupIdx, 1);
    Blocks(1);
    EXPECT_EQ(E().ActGroupIdx, 1);
    Blocks(3);
    EXPECT_EQ(E().ActGroupIdx, 0);
    EXPECT_EQ(E().PlayLoopEnd, 8 * 960);
    EXPECT_TRUE(E().Rows[1].LoopOn);
    EXPECT_FALSE(E().Rows[2].LoopOn);
    EXPECT_EQ(OutL(10), 100);

    // A2 joins group A while B exists: the panels stand group by group (A1, A2, B1), the
    // slots beyond "Max.Anz. Loops" are thin, and an empty slot's mark shows its number.
    Press(M().SBRecord);
    ASSERT_TRUE(BlocksUntil([this] { return E().Recording; }));
    ASSERT_TRUE(BlocksUntil([this] { return !E().Recording; }));
    ASSERT_EQ(T().LoopName(3), "A2");
    const LoopMixer& mixer = core->Mixer();
    EXPECT_EQ(mixer.RowAt(2), 3);
    EXPECT_EQ(mixer.RowAt(3), 2);
    EXPECT_EQ(mixer.PlaceOf(4), 4);
    EXPECT_EQ(mixer.PanelHeight(6), LoopMixer::RowHeight);
    EXPECT_EQ(mixer.PanelHeight(7), 2);
    EXPECT_EQ(core->Loops().MixerRows[3].Marker->Text(), "A2");
    EXPECT_EQ(core->Loops().MixerRows[4].Marker->Text(), "4:");

    // Taking the marks over at once reaches the loops of every group.
    core->Loops().MixerRows[1].Marker->SetDown(false);
    core->Loops().MixerRows[2].Marker->SetDown(true);
    core->Mixer().TakeOverMarks();
    EXPECT_FALSE(E().Rows[1].LoopOn);
    EXPECT_TRUE(E().Rows[2].LoopOn);

    // A reset puts the panels back in slot order.
    Press(M().ButtonStop);
    dialogs.Answer(DialogResult::No);
    Press(M().ButtonResetAll);
    EXPECT_EQ(mixer.RowAt(2), 2);
}

TEST_F(Performance, GroupAskedForDuringSeriesRecordingSwitchesAtTheCycleEnd) {
    // With or without an offset the switch comes at the cycle end, and the series goes on in the
    // new group.
    for (const int offsetFrames : {0, 240}) {
        SCOPED_TRACE(offsetFrames);
        core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
        E().SampleRate = kRate;
        E().BlockBytes = kFrames * 4;
        M().CBContinuousRecordingLoops.SetChecked(false);
        M().SEFixMaxLoopNr.SetValue(6);
        StartPlain();
        E().OffsetSmps = 2 * offsetFrames;
        // A1 of 8 blocks, B1 of 4 blocks, then back to A.
        Press(M().SBRecord);
        Blocks(8, 100);
        Press(M().SBRecord);
        ASSERT_TRUE(BlocksUntil([&] { return !E().Recording; }));
        Press(M().SBGroupNext);
        Press(M().SBRecord);
        ASSERT_TRUE(BlocksUntil([&] { return E().Recording; }));
        Blocks(4, 200);
        Press(M().SBRecord);
        ASSERT_TRUE(BlocksUntil([&] { return !E().Recording; }));
        Press(M().SBGroupBack);
        ASSERT_TRUE(BlocksUntil([&] { return E().ActGroupIdx == 0; }));

        // A series from A2 on; B is asked for while A2 records.
        Press(M().ToolContinuousRecordingLoops);
        Press(M().SBRecord);
        ASSERT_TRUE(BlocksUntil([&] { return E().Recording; }));
        ASSERT_EQ(T().LoopName(E().RecLoopNr), "A2");
        Press(M().SBGroupNext);
        EXPECT_EQ(E().ToGroupIdx, 1);
        ASSERT_TRUE(BlocksUntil([&] { return E().RecLoopNr != 3; }));
        EXPECT_EQ(E().ActGroupIdx, 1);
        EXPECT_TRUE(E().Recording);
        EXPECT_EQ(T().LoopName(E().RecLoopNr), "B2");
        EXPECT_EQ(E().PlayLoopEnd, E().Slots[2].LoopLenBytes / 2); // B1 sets the length
        Press(M().ButtonStop);
    }
}

TEST_F(Performance, StopAtLoopEndAfterAStart) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    Press(M().SBRecord);
    Blocks(5, 300);
    Press(M().SBRecord);
    Blocks(1);
    Press(M().ButtonStop);
    EXPECT_FALSE(E().Playing);
    Press(M().SBPlay);
    EXPECT_TRUE(E().Playing);
    Press(M().SBStopAtLoopEnd); // right after the start: the first wrap stops
    Blocks(1);
    EXPECT_FALSE(E().Playing);
    EXPECT_FALSE(M().SBStopAtLoopEnd.Down());

    // Without the press the first wrap only clears the start mark and playing goes on.
    Press(M().SBPlay);
    Blocks(12);
    EXPECT_TRUE(E().Playing);
    EXPECT_EQ(OutL(3), 300);
    // Play pressed twice toggles the pause; Play while recording does nothing.
    Press(M().SBPlay);
    EXPECT_TRUE(E().Paused);
    Press(M().SBPlay);
    EXPECT_FALSE(E().Paused);
}

TEST_F(Performance, ResetWithUnsavedRecordingsAsksFirst) {
    StartPlain();
    Press(M().SBRecord);
    Blocks(3);
    Press(M().ButtonStop);
    dialogs.AnswerTimeout(); // nobody answers within 6 s: Cancel is the focused answer
    Press(M().ButtonResetAll);
    EXPECT_TRUE(dialogs.WasShown("Bisherige Aufnahmen speichern?"));
    EXPECT_EQ(dialogs.Requests().back().question.caption, "Meldung");
    EXPECT_EQ(E().LoopCount, 1);
    dialogs.Answer(DialogResult::No);
    Press(M().ButtonResetAll);
    EXPECT_EQ(E().LoopCount, 0);
    EXPECT_EQ(E().LastGroupIdx, -1);
    EXPECT_EQ(List(), std::vector<std::string>{"Loops:"});
    EXPECT_EQ(M().LabelDisp2.Text(), "A1");
}

TEST_F(Performance, TheThirtyThirdLoopIsRefused) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    M().SEFixMaxLoopNr.SetValue(32);
    M().SEFixMaxLoopNrOfGroup.SetValue(32);
    M().CBUseFixedLoopTime.SetChecked(true);
    M().TBFixedLoopTime.SetPosition(1);
    M().CBUsePrepareTime.SetChecked(false);
    M().CBContinuousRecordingLoops.SetChecked(true);
    core->Start();
    Press(M().SBRecord);
    for (int b = 0; b < 32 * 52 && E().Recording; ++b)
        Blocks(1);
    EXPECT_EQ(E().LoopCount, 32);
    // The buttons refuse a new group now; a key asking for one gets as far as loop 33.
    EXPECT_FALSE(M().SBGroupNext.Enabled());
    T().SBGroupClick(&M().SBGroupNext);
    T().SBRecordClick(true); // armed for the next cycle start
    Blocks(52);
    EXPECT_TRUE(dialogs.WasShown("Maximalzahl der Loops erreicht !!"));
    EXPECT_FALSE(E().Recording);
    EXPECT_EQ(E().LoopCount, 32);
}

TEST_F(Performance, EnterThatStartedTheCountInClosesTheFirstLoopNext) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    M().CBUsePrepareTime.SetChecked(true);
    M().TBPrepareTime.SetPosition(1); // a second
    // The key comes up while the count-in waits.
    bool released = false;
    pump.SetFeed([&] {
        Send();
        if (!released) released = core->KeyUp(13) || true;
    });
    EXPECT_TRUE(core->KeyDown(13));
    ASSERT_TRUE(released);
    ASSERT_TRUE(E().Recording);
    ASSERT_TRUE(E().FreeLengthRecording);
    pump.SetFeed([this] { Send(); });
    Blocks(5, 100);
    EXPECT_TRUE(core->KeyDown(13));
    core->KeyUp(13);
    EXPECT_FALSE(E().FreeLengthRecording);
    EXPECT_EQ(E().PlayLoopEnd, 5 * 2 * kFrames);
}

TEST_F(Performance, TappedStartDoesNothingWhileRecordIsRefused) {
    // A1 to A3 fill the group; without cyclic overwrite Record is disabled.
    M().CBContinuousRecordingLoops.SetChecked(true);
    StartPlain();
    Press(M().SBRecord);
    Blocks(4, 100);
    Press(M().SBRecord);
    for (int b = 0; b < 40 && (E().Recording || E().LoopCount < 3); ++b)
        Blocks(1, 100);
    ASSERT_EQ(E().LoopCount, 3);
    ASSERT_FALSE(E().Recording);
    ASSERT_FALSE(M().SBRecord.Enabled());
    ASSERT_EQ(M().LabelDisp2.Text(), "A1-");

    // Four key taps half a second apart; the start is due a beat after the last.
    Press(M().SBTap);
    for (int tap = 0; tap < 4; ++tap) {
        Blocks(50);
        core->KeyDown(32);
        core->KeyUp(32);
    }
    Blocks(70);
    EXPECT_EQ(core->Tap().TapsToGo(), 0);
    EXPECT_FALSE(E().RecordArmed);
    EXPECT_FALSE(E().Recording);
    EXPECT_EQ(E().Slots[1].Buffer.ValueAt(400), 100); // A1 as it was recorded
    EXPECT_EQ(E().LoopCount, 3);
}

TEST_F(Performance, DisplaysFollowLimitsAndSoundingLoops) {
    // A loop memory of 8 GiB: its time needs more than 32 bits of values.
    system.memory.physicalBytes = 16ull << 30;
    M().CBContinuousRecordingLoops.SetChecked(false);
    M().SEFixMaxLoopNr.SetValue(5);
    M().CBUseLowerOutput.SetChecked(true);
    M().TBLowerOutputPerLoop.SetPosition(40);
    StartPlain();
    EXPECT_EQ(M().LabelTotalMem.Text(), "Ges. 44739.24 Sek. (8388608 KB)");

    // The input row, A1 and A2 sound: each lowers the output by 2 dB.
    ASSERT_TRUE(E().Rows[0].LoopOn);
    Press(M().SBRecord);
    Blocks(4, 100);
    Press(M().SBRecord);
    Blocks(1);
    Press(M().SBRecord);
    ASSERT_TRUE(BlocksUntil([&] { return E().LoopCount == 2 && !E().Recording; }));
    Blocks(4);
    EXPECT_EQ(M().LabelLowerOutput.Text(), "-6 dB");
    EXPECT_EQ(M().LabelLowerOutputPerLoop.Text(), "-2 dB pro Loop");
    // A2's mark taken off: from the next wrap A2 is silent.
    core->Loops().Rows.Mark[2]->UserClick();
    Blocks(4);
    ASSERT_FALSE(E().Rows[2].LoopOn);
    EXPECT_EQ(M().LabelLowerOutput.Text(), "-4 dB");

    // "Max.Anz. Loops" 2 takes "Loops pro Gruppe" to 2: group A is full, the mark wraps to A1.
    M().SEFixMaxLoopNr.SetValue(2);
    EXPECT_EQ(M().SEFixMaxLoopNrOfGroup.Value(), 2);
    EXPECT_EQ(M().LabelDisp2.Text(), "A1-");
}

TEST_F(Performance, NewGroupWithoutAFreeLoopNumberIsRefused) {
    // "Max.Anz. Loops" 3: A1, A2, B1, back to A, then a new group asked for while A plays.
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    Press(M().SBRecord);
    Blocks(4, 100);
    Press(M().SBRecord);
    ASSERT_TRUE(BlocksUntil([&] { return !E().Recording; }));
    Press(M().SBRecord);
    ASSERT_TRUE(BlocksUntil([&] { return E().Recording; }));
    ASSERT_TRUE(BlocksUntil([&] { return !E().Recording; }));
    Press(M().SBGroupNext);
    Press(M().SBRecord);
    ASSERT_TRUE(BlocksUntil([&] { return E().Recording; }));
    Blocks(2, 200);
    Press(M().SBRecord);
    ASSERT_TRUE(BlocksUntil([&] { return !E().Recording; }));
    Press(M().SBGroupBack);
    ASSERT_TRUE(BlocksUntil([&] { return E().ActGroupIdx == 0; }));
    Press(M().SBGroupNext);
    Press(M().SBGroupNext);
    ASSERT_EQ(E().ToGroupIdx, 2);
    Press(M().SBRecord);
    ASSERT_TRUE(BlocksUntil([&] { return !E().Playing; }));
    EXPECT_TRUE(dialogs.WasShown("Maximalzahl der Loops erreicht !!"));
    EXPECT_FALSE(E().Recording);
    EXPECT_EQ(E().LoopCount, 3);
    EXPECT_EQ(E().LastGroupIdx, 1);
    EXPECT_EQ(E().ToGroupIdx, E().ActGroupIdx);
}

TEST_F(Performance, GroupButtonsStayInsideTheGroupsWhenEveryLoopIsAGroup) {
    M().SEFixMaxLoopNr.SetValue(32);
    M().SEFixMaxLoopNrOfGroup.SetValue(1);
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    for (int g = 0; g < 32; ++g) {
        if (g > 0) Press(M().SBGroupNext);
        Press(M().SBRecord);
        ASSERT_TRUE(E().Recording) << g;
        Blocks(2, 100);
        Press(M().ButtonStop);
    }
    ASSERT_EQ(E().LastGroupIdx, 31);
    // From the next to last group the buttons ask past the last one; Record; then the buttons
    // again, stopped.
    Press(M().SBGroupBack);
    Press(M().SBPlay);
    Blocks(1);
    for (int i = 0; i < 3; ++i)
        Press(M().SBGroupNext);
    EXPECT_LE(E().ToGroupIdx, 31);
    Press(M().SBRecord);
    Blocks(6);
    Press(M().ButtonStop);
    for (int i = 0; i < 3; ++i) {
        Press(M().SBGroupBack);
        Press(M().SBGroupNext);
        Press(M().SBGroupNext);
        EXPECT_LE(E().ToGroupIdx, 31);
    }
    EXPECT_EQ(E().LastGroupIdx, 31);
    EXPECT_EQ(E().LoopCount, 32);
    for (int g = 0; g <= 31; ++g) {
        EXPECT_EQ(E().GroupFirstLoop(g), g + 1) << g;
        EXPECT_EQ(E().GroupFixMaxLoopNr(g), 1) << g;
    }
}

} // namespace
} // namespace kreisel::test

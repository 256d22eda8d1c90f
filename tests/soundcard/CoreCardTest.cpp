// The wired core on its sound card: a block that fails, the main window's sound-card switch and
// counter reset, the per-block labels of hidden windows, the output queue after a restart while playing, and the deepest target queue.
#include "soundcard/CoreRig.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kreisel::test {
namespace {

struct CoreCardTest : ::testing::Test, CoreRig {
    // A1 recorded from the input for `blocks` blocks and playing.
    void RecordAndPlay(int blocks) {
        M().CBContinuousRecordingLoops.SetChecked(false);
        M().CBUseFixedLoopTime.SetChecked(false);
        M().SBRecord.UserClick();
        Cycle(blocks);
        M().SBRecord.UserClick();
        Cycle(2);
        ASSERT_TRUE(E().Playing && !E().Recording) << E().LoopCount;
    }
};

TEST_F(CoreCardTest, FailedBlockIsReportedAndLaterBlocksArePlayed) {
    Start();
    Cycle(3);
    bool fail = true;
    core->OutputSink = [&](const int16_t*, int) {
        if (fail) throw std::runtime_error("Testfehler");
    };
    Cycle(1);
    EXPECT_FALSE(E().InPrcBlock);
    EXPECT_TRUE(ErrorListHas("Fehler bei der Verarbeitung eines Blocks: Testfehler"));
    EXPECT_EQ(Card().Counters().FailedBlocks, 1);
    fail = false;
    const int64_t before = E().BlockCounter;
    Cycle(5);
    EXPECT_EQ(E().BlockCounter, before + 5);
}

TEST_F(CoreCardTest, MainSoundCardSwitchReleasesAStuckBlockProcessor) {
    Start();
    EXPECT_EQ(M().ButtonStartSoundKarte.Text(), "Stop");
    E().InPrcBlock = true; // as a block that never finished leaves it
    Cycle(2);
    const int64_t stuck = E().BlockCounter;
    M().ButtonStartSoundKarte.UserClick();
    EXPECT_TRUE(Card().Stopped());
    EXPECT_EQ(M().ButtonStartSoundKarte.Text(), "Start");
    EXPECT_FALSE(E().InPrcBlock);
    M().ButtonStartSoundKarte.UserClick();
    EXPECT_FALSE(Card().Stopped());
    EXPECT_EQ(M().ButtonStartSoundKarte.Text(), "Stop");
    Cycle(3);
    EXPECT_EQ(E().BlockCounter, stuck + 3);
}

TEST_F(CoreCardTest, PerBlockLabelsAreWrittenOnlyWhileTheirWindowShows) {
    Start();
    M().CBCorrectDCDrift.SetChecked(true);
    Control& dc = M().LabelDCDriftL;
    Control& queued = core->Latency().LabelOutCount;
    dc.SetText("-");
    queued.SetText("-");
    Cycle(3);
    EXPECT_EQ(dc.Text(), "-");
    EXPECT_EQ(queued.Text(), "-");
    M().SetVisible(true);
    core->Options().SetVisible(true);
    Cycle(1);
    EXPECT_EQ(dc.Text().rfind("L=", 0), 0u) << dc.Text();
    EXPECT_NE(queued.Text(), "-");
}

TEST_F(CoreCardTest, CounterResetStartsTimeBaseBeatAndCycleOver) {
    M().PMDebugMode.SetChecked(true);
    Start();
    M().SBMetronom.UserClick();
    RecordAndPlay(30);
    Cycle(7);
    ASSERT_GT(E().PlayPos, 0);
    const int64_t blocks = E().BlockCounter;
    EXPECT_EQ(M().LabelCounterIn.Text(),
              std::to_string(blocks) + " / " + std::to_string(E().InputFrameCounter * 4) + " (4000 B.)");

    M().ButtonResetCounters.UserClick();
    EXPECT_EQ(E().BlockCounter, 0);
    EXPECT_EQ(E().InputFrameCounter, 0);
    EXPECT_EQ(E().PlayPos, 0);
    EXPECT_TRUE(E().FirstPassAfterStart);
    EXPECT_EQ(M().LabelCounterIn.Text(), "0 / 0");
    EXPECT_EQ(core->Latency().LabelKorrSmps.Text(), "0/0");
    // The beat starts over: the very next block ticks, and the grid counts from there.
    EXPECT_NE(M().LabelMetronom.Color(), Colors::White);
    Cycle(1);
    EXPECT_EQ(M().LabelMetronom.Color(), Colors::White);
    EXPECT_EQ(core->Metro().NextTickFrame(), 0);
    EXPECT_EQ(E().PlayPos, 2 * Frames());
}

TEST_F(CoreCardTest, RestartWhilePlayingRefillsTheQueueBeforeTheOutputRunsDry) {
    Start();
    RecordAndPlay(20);
    const int depth = core->Latency().SEOptOutblocksDelay.Value();
    Card().Restart();
    ASSERT_FALSE(Card().Stopped());
    EXPECT_EQ(Card().QueuedOutBlocks(), depth);
    // The core thread comes late by two blocks: the queue holds what the output needs.
    Cycle(1, 1, 3);
    Cycle(20);
    EXPECT_EQ(Card().Queue().Underruns(), 0);
    EXPECT_FALSE(ErrorListHas("Ausgabe-Unterlauf"));
    EXPECT_TRUE(E().Playing);
}

TEST_F(CoreCardTest, TargetDepthStopsWhereTheQueueStillTakesInput) {
    Control& depth = core->Latency().SEOptOutblocksDelay;
    depth.SetValue(1000);
    EXPECT_EQ(depth.Value(), LatencyCompensation::kMaxTargetDepth);
    Start();
    Cycle(3);
    M().SBPlay.UserClick(); // a transport action fills the queue up to the target
    // The output comes a block late now and then.
    for (int i = 0; i < 20; ++i) {
        Cycle(3);
        Cycle(1, 2, 1);
        Cycle(1, 0, 1);
    }
    EXPECT_EQ(Card().Counters().DroppedInBlocks, 0);
    EXPECT_EQ(core->SoundCardForm().MemoErrors.Lines().size(), 0u)
        << core->SoundCardForm().MemoErrors.Lines().front();
    EXPECT_GE(Card().QueuedOutBlocks(), LatencyCompensation::kMaxTargetDepth - 1);
}

} // namespace
} // namespace kreisel::test

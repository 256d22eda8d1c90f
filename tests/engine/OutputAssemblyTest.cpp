// The output mix at the play position: cycle ends, group switches, stops at the loop end,
// short loops, async rings, lowering and fades.
#include "engine/Gain.h"
#include "support/EngineHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>

namespace kreisel::test {
namespace {

// Stereo loops with a silent right channel: with the mixer rows at their centre, a source
// channel reaches both outputs, so the output's left and right both carry the left values.
// Frame i holds base + i (a ramp) or, with step 0, base throughout.
std::vector<int16_t> Ramp(int frames, int base = 0, int step = 1) {
    std::vector<int16_t> v(2 * static_cast<size_t>(frames), 0);
    for (int i = 0; i < frames; ++i)
        v[2 * static_cast<size_t>(i)] = static_cast<int16_t>(base + step * i);
    return v;
}
std::vector<int16_t> Constant(int frames, int16_t value) { return Ramp(frames, value, 0); }

struct OutputAssembly : ::testing::Test {
    EngineHarness h{44100, 1000};
    Engine& e = h.E();

    OutputAssembly() {
        e.Switches.CorrectDCDrift = false;
        e.ActGroupIdx = e.ToGroupIdx = 0;
        e.Playing = true;
    }
    int16_t OutL(int frame) const { return h.Hooks().Written.back()[2 * static_cast<size_t>(frame)]; }
    int16_t OutR(int frame) const { return h.Hooks().Written.back()[2 * static_cast<size_t>(frame) + 1]; }
    bool Logged(const std::string& entry) const {
        const auto& log = h.Hooks().Log;
        return std::find(log.begin(), log.end(), entry) != log.end();
    }
};

TEST_F(OutputAssembly, NothingSoundingEndsTheCycleAtOnce) {
    h.PlaceLoop(1, 0, Constant(1000, 500), /*on=*/false);
    e.ActGroupIdx = 1; // the switched-off loop is not in the active group either
    e.PlayLoopEnd = 2000;
    e.PlayPos = 600;
    h.FeedSilence();
    EXPECT_TRUE(Logged("SetPlayLoopEnd@600"));
    EXPECT_TRUE(std::all_of(h.LastOut().begin(), h.LastOut().end(), [](int16_t v) { return v == 0; }));
    EXPECT_EQ(e.PlayPos, 2000); // set back to 0, then advanced by the block
}

TEST_F(OutputAssembly, ShortLoopIsSilentAfterItsEndUnlessLengthsMayDiffer) {
    h.PlaceLoop(1, 0, Constant(1000, 0)); // keeps the cycle alive
    h.PlaceLoop(2, 0, Ramp(300));
    e.PlayLoopEnd = 2000;
    h.FeedSilence();
    EXPECT_EQ((std::array{OutL(299), OutR(299), OutL(300), OutL(999)}), (std::array<int16_t, 4>{299, 299, 0, 0}));

    e.AllowMultipleLoopLength = true;
    e.PlayPos = 0;
    h.FeedSilence();
    EXPECT_EQ((std::array{OutL(299), OutL(300), OutL(301), OutL(999)}), (std::array<int16_t, 4>{299, 0, 1, 99}));
}

TEST_F(OutputAssembly, OffsetReadsAheadAndWrapsInsideTheBlock) {
    h.PlaceLoop(1, 0, Ramp(1000));
    e.PlayLoopEnd = 2000;
    e.OffsetSmps = 2 * 300;
    e.FirstPassAfterStart = true;
    h.FeedSilence();
    // the read position wraps at frame 700
    EXPECT_EQ((std::array{OutL(0), OutL(699), OutL(700), OutL(999)}), (std::array<int16_t, 4>{300, 999, 0, 299}));
    EXPECT_FALSE(e.FirstPassAfterStart); // the first wrap after a start only clears the flag
}

TEST(OutputAssemblyGroupSwitch, NewGroupPlaysWholeFromItsStartWithAnyOffset) {
    // A of 1000 frames plays, B of 1500 frames is asked for; blocks of 500 frames. Whether the
    // wrap falls on a block boundary (no offset) or inside a block, the output goes on from A's
    // end straight into B's first frame and through all of B.
    for (const int offsetFrames : {0, 200, 300, 700}) {
        SCOPED_TRACE(offsetFrames);
        EngineHarness h(44100, 500);
        Engine& e = h.E();
        e.Switches.CorrectDCDrift = false;
        h.PlaceLoop(1, 0, Ramp(1000));
        h.PlaceLoop(2, 1, Ramp(1500, 10000), /*on=*/false);
        e.ActGroupIdx = 0;
        e.ToGroupIdx = 1;
        e.Playing = e.FirstPassAfterStart = true;
        e.PlayLoopEnd = 2000;
        e.OffsetSmps = 2 * offsetFrames;
        e.Switches.GraphsShown = true;
        std::vector<int> heard;
        // The cursor shows where the play position is: A's blocks to A's end (the play position
        // lags the output by the offset), then B's from its start.
        std::vector<std::pair<int, int>> cursors;
        for (int block = 0; block < 10; ++block) {
            h.FeedSilence();
            for (int f = 0; f < 500; ++f)
                heard.push_back(h.LastOut()[2 * static_cast<size_t>(f)]);
            cursors.emplace_back(block < 2 ? std::pair{0, block} : std::pair{1, (block - 2) % 3});
        }
        EXPECT_EQ(h.Hooks().Cursors, cursors);
        std::vector<int> want;
        for (int k = 0; k < 5000; ++k) {
            const int read = k + offsetFrames;
            want.push_back(read < 1000 ? read : 10000 + (read - 1000) % 1500);
        }
        EXPECT_EQ(heard, want);
        EXPECT_EQ(e.ActGroupIdx, 1);
        EXPECT_EQ(e.PlayLoopEnd, 3000);
    }
}

TEST_F(OutputAssembly, NewGroupRequestReleasesTheActiveGroupWhenArmed) {
    h.PlaceLoop(1, 0, Constant(1000, 100));
    e.PlayLoopEnd = 2000;
    e.PlayPos = 1000;
    e.ToGroupIdx = 1; // beyond the last group
    e.RecordArmed = true;
    e.Recording = true; // keeps the block going without loops
    h.FeedSilence();
    EXPECT_TRUE(Logged("LoopSwitchesChanged"));
    EXPECT_FALSE(e.Rows[1].LoopOn);
    EXPECT_EQ(OutL(499), 100);
    EXPECT_EQ(OutL(500), 0);
}

TEST_F(OutputAssembly, MarksApplyAtEveryWrapOfTheActiveGroup) {
    h.PlaceLoop(1, 0, Constant(500, 100));
    e.PlayLoopEnd = 1000;
    e.FirstPassAfterStart = true;
    h.FeedSilence();
    // 1000 frames over a 500-frame cycle: wraps at frame 0 (a start, not a subtraction) and 500.
    EXPECT_EQ(std::count(h.Hooks().Log.begin(), h.Hooks().Log.end(), "SetSBLoopsFromMarkers"), 1);
}

TEST_F(OutputAssembly, StopAtLoopEndAfterTheFirstPass) {
    h.PlaceLoop(1, 0, Constant(1000, 100));
    e.PlayLoopEnd = 2000;
    e.FirstPassAfterStart = true;
    e.Switches.StopAtLoopEnd = true;
    h.FeedSilence(); // first wrap at frame 0 only clears the flag
    EXPECT_FALSE(Logged("ButtonStopClick"));
    EXPECT_EQ(OutL(10), 100);
    h.FeedSilence(); // next block starts at the cycle end: SetPlayLoopEnd, then the wrap stops
    EXPECT_TRUE(Logged("ButtonStopClick"));
    EXPECT_FALSE(e.Playing);
    EXPECT_EQ(OutL(10), 0);
    EXPECT_EQ(h.Hooks().Written.size(), 2u); // still exactly one block per input block
}

TEST_F(OutputAssembly, LoopEndMacroThatStopsEndsTheBlock) {
    h.PlaceLoop(1, 0, Constant(1000, 100));
    e.PlayLoopEnd = 2000;
    e.PlayPos = 2000;
    h.Hooks().MacrosAreRunning = true;
    h.Hooks().MacroStopsTransport = true;
    h.FeedSilence();
    EXPECT_TRUE(Logged("ContinueWaitingMacrosForLoopend"));
    EXPECT_EQ(OutL(10), 0);
    // A macro that leaves the transport running lets the block play.
    e.Playing = true;
    e.PlayPos = 2000;
    h.Hooks().MacroStopsTransport = false;
    h.FeedSilence();
    EXPECT_EQ(OutL(10), 100);
}

TEST_F(OutputAssembly, AsyncRingKeepsEachLoopOnItsOwnPosition) {
    h.PlaceLoop(1, 0, Ramp(700));
    e.PlayLoopEnd = 2000;
    e.SetAsyncRingMode(true);
    std::vector<int16_t> heard;
    for (int b = 0; b < 3; ++b) {
        h.FeedSilence();
        for (int f = 0; f < 1000; ++f)
            heard.push_back(OutL(f));
    }
    // The position moves before it is read, so the first frame heard is frame 1.
    for (int j = 0; j < 3000; ++j)
        ASSERT_EQ(heard[static_cast<size_t>(j)], (j + 1) % 700) << j;
}

TEST_F(OutputAssembly, LoweringPerLoopCountsTheSwitchedRows) {
    e.Switches.UseLowerOutput = true;
    e.Switches.LowerOutputPerLoop = 40;
    h.PlaceLoop(1, 0, Constant(1000, 0));
    h.PlaceLoop(2, 0, Constant(1000, 0));
    e.Rows[0].LoopOn = true;
    e.Recording = true;
    e.AnyChange_LowerOutput();
    EXPECT_EQ(e.LowerOutputLevel, 40); // three rows, one of them the recording
    e.Switches.UseLowerOutput = false;
    e.AnyChange_LowerOutput();
    EXPECT_EQ(e.LowerOutputLevel, 0);
}

TEST_F(OutputAssembly, MasterLevelLowersAnOverdrivenSum) {
    h.PlaceLoop(1, 0, Constant(1000, 30000));
    h.PlaceLoop(2, 0, Constant(1000, 30000));
    e.PlayLoopEnd = 2000;
    // Summed in 32 bits and clamped once, after the master level.
    for (const auto& [level, want] : {std::pair{0, 32767}, {-80, 30000}, {-160, 15000}}) {
        e.OutputLevel = level;
        e.PlayPos = 0;
        h.FeedSilence();
        EXPECT_EQ(OutL(5), want) << level;
        EXPECT_EQ(e.OutPeakL, want) << level;
    }
}

TEST_F(OutputAssembly, OutputFadesInOnceAfterAStart) {
    e.SetFadeLen(100);
    h.PlaceLoop(1, 0, Constant(1000, 1000));
    e.PlayLoopEnd = 2000;
    e.OutputFadeIn = true;
    h.FeedSilence();
    EXPECT_EQ((std::array{OutL(0), OutL(50), OutL(100)}), (std::array<int16_t, 3>{0, 500, 1000}));
    EXPECT_FALSE(e.OutputFadeIn);
    e.PlayPos = 0;
    h.FeedSilence();
    EXPECT_EQ(OutL(0), 1000);
}

TEST_F(OutputAssembly, TailOfAFinishedLoopFadesToZero) {
    e.SetFadeLen(1000);
    h.PlaceLoop(3, 0, Constant(2500, 8000));
    e.FadeLoopTail(3);
    const auto v = h.LoopValues(3);
    EXPECT_EQ(v[2 * 1499], 8000);  // before the last block
    EXPECT_EQ(v[2 * 1500], 7992);  // the fade starts with the last block ...
    EXPECT_EQ(v[2 * 2499 + 1], 0); // ... and ends on 0
    EXPECT_EQ(e.Slots[3].LoopLenBytes, 10000);
}

TEST_F(OutputAssembly, LoopAboutToBeReRecordedIsMutedAtTheCycleEnd) {
    h.PlaceLoop(1, 0, Constant(1000, 100));
    h.PlaceLoop(2, 0, Constant(1000, 50));
    e.PlayLoopEnd = 2000;
    e.PlayPos = 2000; // at the end: the first block of the next cycle
    e.MuteNextRecLoop = true;
    e.NextToRecLoopNr = 2;
    e.RecordArmed = true;
    e.Recording = true; // the block-start loop end is the transport's, not ours
    h.FeedSilence();
    EXPECT_EQ(OutL(10), 100);
}

} // namespace
} // namespace kreisel::test

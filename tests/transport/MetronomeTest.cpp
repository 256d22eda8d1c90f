// The metronome's beat grid on the input frame count and its click, driven through the engine.
#include "transport/TempoRig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kreisel::test {
namespace {

struct MetronomeTest : ::testing::Test, TempoRig {
    int ticks = 0;

    MetronomeTest() {
        m.OnTick = [this] { ++ticks; };
        EXPECT_EQ(m.HalfBeatFrames(), 22050);
        m.AnyChange_MetronomBPM(&c.TBMetronomBPM);
        m.AnyChange_MetronomBPM(&c.SBMetronom);
    }
    bool White() const { return c.LabelMetronom.Color() == Colors::White; }
    // Steps the grid as the block processor does, without audio; returns whether the beat flipped.
    bool Step(int frames) {
        const bool was = White();
        e.InputFrameCounter += frames;
        m.HalfBeatStep(frames);
        EXPECT_EQ(c.PanelMetronomDisp.Color() == Colors::White, White());
        return was != White();
    }
};

TEST_F(MetronomeTest, BeatFlashesOnTheFrameGrid) {
    ASSERT_EQ(m.HalfBeatFrames(), 11025);
    EXPECT_EQ(c.PanelMetronomDisp.Text(), "120 BpM");
    std::vector<int> flips;
    for (int block = 0; block < 400; ++block) // 4 seconds of 441-frame blocks
        if (Step(441)) flips.push_back(e.InputFrameCounter);
    ASSERT_EQ(flips.size(), 16u);
    for (size_t i = 0; i < flips.size(); ++i)
        EXPECT_EQ(flips[i], 11025 * static_cast<int>(i + 1)) << i; // white at odd, neutral at even
    EXPECT_EQ(ticks, 8);

    // 300 BpM: a 1000-frame block holds at most one half-beat, and it flips in the block holding it.
    c.TBMetronomBPM.SetPosition(300);
    m.AnyChange_MetronomBPM(&c.TBMetronomBPM);
    ASSERT_EQ(m.HalfBeatFrames(), 4410);
    int flipCount = 0;
    for (int block = 0; block < 100; ++block) {
        if (!Step(1000)) continue;
        ++flipCount;
        EXPECT_EQ(m.NextTickFrame() % 4410, 0);
        EXPECT_GT(m.NextTickFrame(), e.InputFrameCounter - 1000);
    }
    EXPECT_EQ(flipCount, 100000 / 4410);
}

TEST_F(MetronomeTest, GapShowsOneTickAndKeepsTheGridUntilResync) {
    EXPECT_TRUE(Step(5 * 22050 + 300));
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(m.NextTickFrame(), 10 * 11025);
    Step(11025);
    EXPECT_EQ(m.NextTickFrame(), 11 * 11025);
    m.ResyncMetronom(); // the very next block ticks
    EXPECT_FALSE(White());
    EXPECT_TRUE(Step(10));
    EXPECT_EQ(ticks, 2);
}

// Hours of input: past 2^31 frames (13.5 hours at 44.1 kHz) the beat and its click stay on the grid.
TEST_F(MetronomeTest, GridAndClickHoldPastTwoToTheThirtyOneFrames) {
    e.Switches.CorrectDCDrift = false;
    const int64_t start = (int64_t{1} << 31) - 50000;
    e.InputFrameCounter = start;
    m.ResyncMetronom();
    std::vector<int64_t> tickFrames;
    m.OnTick = [&] { tickFrames.push_back(m.NextTickFrame()); };
    h.FeedSilence(250); // 250000 frames, about 11 beats
    ASSERT_EQ(e.InputFrameCounter, start + 250000);
    ASSERT_GE(tickFrames.size(), 11u);
    for (size_t i = 1; i < tickFrames.size(); ++i)
        EXPECT_EQ(tickFrames[i] - tickFrames[i - 1], 22050) << i;
    EXPECT_GT(tickFrames.back(), start + 250000 - 22050);
    // Every beat but the last is heard: one click per beat in the output.
    int clicks = 0;
    for (const std::vector<int16_t>& block : hooks.Written)
        if (std::find(block.begin(), block.end(), m.ClickLevel()) != block.end()) ++clicks;
    EXPECT_GE(clicks, static_cast<int>(tickFrames.size()) - 1);
}

struct MetronomeClick : MetronomeTest, ::testing::WithParamInterface<bool> {};

TEST_P(MetronomeClick, InOutputAndOnlyOnRequestInRecording) {
    const bool record = GetParam();
    c.CBMetronomRecord.SetChecked(record);
    ASSERT_EQ(m.ClickLenFrames(), 21);
    ASSERT_EQ(m.ClickLevel(), 12288);
    e.Switches.CorrectDCDrift = false;
    e.RecLoopNr = 1;
    e.Recording = true;
    h.FeedSilence(33); // ticks at frame 11025 (block 12); its output click lands in block 33
    ASSERT_EQ(m.NextClickFrame(), 11025 + 22050 - 1000);
    EXPECT_FALSE(m.OutputClickPending());

    auto pulse = [](int f, int start) -> int {
        const int off = f - start;
        return off < 0 || off > 21 ? 0 : (off <= 10 ? 12288 : -12288);
    };
    const std::vector<int16_t>& out = hooks.Written.back(); // frame i is input frame 32001 + i
    const std::vector<int16_t> rec = h.LoopValues(1);
    ASSERT_EQ(rec.size(), 66000u);
    for (size_t v = 0; v < 2000; ++v)
        ASSERT_EQ(out[v], pulse(32001 + static_cast<int>(v / 2), m.NextClickFrame())) << v;
    for (size_t v = 0; v < rec.size(); ++v)
        ASSERT_EQ(rec[v], record ? pulse(1 + static_cast<int>(v / 2), 11025) : 0) << v;

    c.TBMetroLevel.SetPosition(16);
    EXPECT_EQ(m.ClickLevel(), 0);
}

INSTANTIATE_TEST_SUITE_P(Recorded, MetronomeClick, ::testing::Bool());

TEST_F(MetronomeTest, SwitchesAndStopOptions) {
    EXPECT_TRUE(e.MetroOn && c.SBMetronom.Down() && c.SBMetronomOpt.Down() && c.PanelMetronomDisp.Visible());
    m.StopMetronom();
    EXPECT_FALSE(e.MetroOn || c.SBMetronom.Down() || c.SBMetronomOpt.Down() || c.PanelMetronomDisp.Visible());

    // "Stop an Loop-Ende" is fixed while "Stop an Vorlauf-Ende" is on.
    c.CBMetroStopAtLoopEnd.UserClick();
    EXPECT_TRUE(c.CBMetroStopAtLoopEnd.Checked());
    c.CBMetroStopAtPrepareTimeEnd.UserClick();
    c.CBMetroStopAtLoopEnd.UserClick();
    EXPECT_FALSE(c.CBMetroStopAtLoopEnd.Checked());
}

} // namespace
} // namespace kreisel::test

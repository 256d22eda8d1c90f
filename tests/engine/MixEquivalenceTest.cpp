// The run-based output mix against the frame-by-frame reading, on random material and random
// mixer settings, across sample rates, block sizes and every playing mode.
#include "engine/Gain.h"
#include "support/EngineHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

namespace kreisel::test {
namespace {

struct Case { int BlockFrames; int InputMode; bool Multiple; bool Async; };

class MixEquivalence : public ::testing::TestWithParam<Case> {};

// Sets up one engine from a seed; the same seed gives the same engine.
void ArrangeStage(EngineHarness& h, uint32_t seed, const Case& c) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Engine& e = h.E();
    e.InputMode = c.InputMode;
    e.AllowMultipleLoopLength = c.Multiple;
    e.PlayAsyncRingMode = c.Async;
    const int cc = e.ChannelCount();
    const int loops = pick(1, 32);
    const int groups = pick(1, 3);
    // A cycle of whole blocks ends on a block boundary, where the cycle end and the wrap meet.
    const bool wholeBlocks = pick(0, 2) == 0;
    const int cycleFrames = wholeBlocks ? c.BlockFrames * pick(1, 4) : pick(50, 5 * c.BlockFrames);
    static const int levels[] = {0, 0, 0, -30, -60, 180, 120, -1200, -960, -959, 1200, 60, -450};
    for (int m = 1; m <= loops; ++m) {
        // Lengths around the cycle: shorter, equal, longer, odd frames, tiny.
        int frames = pick(0, 4) == 0 ? pick(0, 6) : pick(cycleFrames / 3, cycleFrames + 200);
        std::vector<int16_t> values(static_cast<size_t>(frames * cc));
        for (auto& v : values)
            v = static_cast<int16_t>(pick(-32768, 32767));
        h.PlaceLoop(m, pick(0, groups - 1), values, pick(0, 5) != 0);
        MixerRow& row = e.Rows[static_cast<size_t>(m)];
        row.LoopLevelL = levels[pick(0, 12)];
        row.LoopLevelR = levels[pick(0, 12)];
        row.LoopLL = levels[pick(0, 6)];
        row.LoopLR = levels[pick(0, 6)];
        row.LoopRL = levels[pick(0, 6)];
        row.LoopRR = levels[pick(0, 6)];
        e.Slots[static_cast<size_t>(m)].AsyncPos = 2 * cc * pick(0, frames);
    }
    e.ActGroupIdx = 0;
    e.ToGroupIdx = pick(0, 4) == 0 ? pick(0, groups) : 0;
    e.PlayLoopEnd = cycleFrames * cc;
    e.PlayPos = wholeBlocks ? cc * c.BlockFrames * pick(0, cycleFrames / c.BlockFrames) : cc * pick(0, cycleFrames);
    e.OffsetSmps = pick(0, 2) == 0 ? 0 : cc * pick(0, 3 * c.BlockFrames);
    e.Playing = true;
    e.Recording = pick(0, 3) == 0;
    e.RecLoopNr = pick(1, loops);
    e.RecordArmed = pick(0, 1) == 1;
    e.MuteNextRecLoop = pick(0, 1) == 1;
    e.NextToRecLoopNr = pick(1, loops);
    e.OutputLevel = levels[pick(0, 12)];
    e.OutputLevelL = levels[pick(0, 6)];
    e.LowerOutputLevel = pick(0, 60);
    e.OutputFadeIn = pick(0, 3) == 0;
    e.FirstPassAfterStart = pick(0, 1) == 1;
}

TEST_P(MixEquivalence, RunsMatchTheFrameByFrameReading) {
    const Case c = GetParam();
    long sounded = 0;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        EngineHarness fast(44100, c.BlockFrames), slow(44100, c.BlockFrames);
        ArrangeStage(fast, seed, c);
        ArrangeStage(slow, seed, c);
        for (int block = 0; block < 12; ++block) {
            fast.E().LoopEndAtBlockStart();
            ReferenceLoopEndAtBlockStart(slow.E());
            fast.E().Create_OutLoopSegs();
            ReferenceCreateOutLoopSegs(slow.E());
            const int bytes = fast.E().OutBlockBytes();
            ASSERT_EQ(bytes, slow.E().OutBlockBytes());
            sounded += std::count_if(fast.E().OutBlock(), fast.E().OutBlock() + bytes / 2,
                                     [](int16_t v) { return v != 0; });
            for (int i = 0; i < bytes / 2; ++i)
                ASSERT_EQ(fast.E().OutBlock()[i], slow.E().OutBlock()[i])
                    << "seed " << seed << " block " << block << " value " << i;
            ASSERT_EQ(fast.Hooks().Log, slow.Hooks().Log) << "seed " << seed;
            auto state = [](Engine& e) {
                return std::array<int64_t, 5>{e.OutPeakL, e.OutPeakR, e.PlayPos, e.PlayLoopEnd, e.ActGroupIdx};
            };
            ASSERT_EQ(state(fast.E()), state(slow.E())) << "seed " << seed;
            for (int m = 1; m <= 32; ++m)
                ASSERT_EQ(fast.E().Slots[static_cast<size_t>(m)].AsyncPos,
                          slow.E().Slots[static_cast<size_t>(m)].AsyncPos);
            // Advance as the block processor does.
            for (EngineHarness* h : {&fast, &slow})
                h->E().PlayPos += h->BlockFrames() * h->E().ChannelCount();
        }
    }
    // Most of the material must actually have been heard for the comparison to mean anything.
    EXPECT_GT(sounded, 60L * 12 * c.BlockFrames / 2);
}

INSTANTIATE_TEST_SUITE_P(RatesBlocksModes, MixEquivalence,
                         ::testing::Values(Case{1000, 0, false, false}, Case{441, 0, true, false},
                                           Case{1000, 1, false, false}, Case{64, 2, true, false},
                                           Case{1000, 0, false, true}, Case{256, 3, false, true},
                                           Case{4800, 0, true, false}, Case{10000, 1, true, false}));

} // namespace
} // namespace kreisel::test

// The block processor on its own: input conditioning, recording, punch-in, monitoring and the
// play position, driven block by block through the harness.
#include "engine/Gain.h"
#include "support/EngineHarness.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace kreisel::test {
namespace {

// An engine recording slot 1 from the start, without DC correction or fades.
Engine& Recorder(EngineHarness& h) {
    Engine& e = h.E();
    e.Switches.CorrectDCDrift = e.Switches.FadeFirstLastBlock = false;
    e.RecLoopNr = 1;
    e.Recording = true;
    return e;
}

struct BlockProcessor : ::testing::Test {
    EngineHarness h{44100, 1000};
    Engine& e = h.E();

    BlockProcessor() { e.Switches.CorrectDCDrift = false; }

    void StartRecording(int slot, int group = 0) {
        e.RecLoopNr = slot;
        e.Recording = true;
        e.LoopCount = std::max(e.LoopCount, slot);
        e.Slots[static_cast<size_t>(slot)].LoopGroup = group;
        e.PlayPos = 0;
    }
};

TEST_F(BlockProcessor, EmptyOrNestedBlocksChangeNothing) {
    int16_t frame[2] = {1, 1};
    e.SndInputEvent(frame, 0);
    EXPECT_EQ(e.BlockCounter + e.InputFrameCounter + e.InputBytesTotal, 0);
    EXPECT_TRUE(h.Hooks().Written.empty());

    e.InPrcBlock = true; // a block arriving while one is being processed
    h.FeedConstant(100, 100);
    EXPECT_EQ(e.BlockCounter, 0);
    EXPECT_TRUE(h.Hooks().Written.empty());
    e.InPrcBlock = false;
    h.FeedConstant(100, 100);
    EXPECT_EQ(e.BlockCounter, 1);
    EXPECT_EQ(e.InputFrameCounter, 1000);
    ASSERT_EQ(h.Hooks().Written.size(), 1u);
    EXPECT_EQ(h.LastOut().size(), 2000u);
}

TEST_F(BlockProcessor, DCOffsetConvergesOverTheRing) {
    e.Switches.CorrectDCDrift = true;
    e.MonitorMode = true;
    for (int block = 1; block <= 95; ++block) {
        h.FeedConstant(100, -50);
        // Block k subtracts the mean of the ring, which holds the means of blocks 1..k-1.
        const int filled = std::min(block - 1, 89);
        const int expectL = filled * 100 / 89;
        const int expectR = filled * -50 / 89;
        ASSERT_EQ(e.DCOffsetL, expectL) << block;
        ASSERT_EQ(e.DCOffsetR, expectR) << block;
        ASSERT_EQ(h.LastOut()[0], 100 - expectL) << block;
        ASSERT_EQ(h.LastOut()[1], -50 - expectR) << block;
    }
    EXPECT_EQ(e.DCOffsetL, 100);
}

TEST_F(BlockProcessor, FirstAndLastRecordedBlocksAreFaded) {
    e.SetFadeLen(1000);
    e.PlayLoopEnd = 3 * 2000;
    StartRecording(1);
    e.Playing = true;
    h.FeedConstant(10000, -10000, 3);
    const auto v = h.LoopValues(1);
    ASSERT_EQ(v.size(), 6000u);
    // First block rises linearly from 0 over the whole block, the middle block is untouched, the
    // last starts falling at once and reaches 0 at its last frame.
    const std::pair<size_t, int16_t> at[] = {{0, 0},        {1, 0},           {1000, 5000}, {1001, -5000},
                                             {1998, 9990},  {2000, 10000},    {3999, -10000}, {4000, 9990},
                                             {2 * 2999, 0}, {2 * 2500, 4990}};
    for (const auto& [i, want] : at)
        EXPECT_EQ(v[i], want) << i;
    EXPECT_EQ(e.PlayPos, 6000);

    // With no fade length nothing is faded.
    EngineHarness plain(44100, 1000);
    Recorder(plain).SetFadeLen(0);
    plain.E().PlayLoopEnd = 2000;
    plain.FeedConstant(1234, 1234);
    EXPECT_EQ(plain.LoopValues(1).front(), 1234);
    EXPECT_EQ(plain.LoopValues(1).back(), 1234);
}

TEST_F(BlockProcessor, InputModesStoreTheRightChannel) {
    struct Expect {
        int Mode;
        std::vector<int16_t> Stored; // first stored frame for input (1000, 3000)
    };
    for (const Expect& x : {Expect{0, {1000, 3000}}, Expect{1, {ApplyGainSat(4000, -2)}}, Expect{2, {1000}},
                            Expect{3, {3000}}}) {
        EngineHarness m(48000, 480);
        Recorder(m).InputMode = x.Mode;
        m.FeedConstant(1000, 3000);
        const auto v = m.LoopValues(1);
        ASSERT_EQ(v.size(), 480u * x.Stored.size()) << x.Mode;
        for (size_t i = 0; i < x.Stored.size(); ++i)
            EXPECT_EQ(v[i], x.Stored[i]) << x.Mode;
        EXPECT_EQ(m.E().PlayPos, 480 * static_cast<int>(x.Stored.size())) << x.Mode;
    }
    // L+R takes the -2 level on the 32-bit sum and saturates only after that.
    EngineHarness sum(44100, 100);
    Recorder(sum).InputMode = 1;
    sum.FeedConstant(30000, 30000);
    EXPECT_EQ(sum.LoopValues(1)[5], 32767);
    sum.FeedConstant(-20000, 10000);
    EXPECT_EQ(sum.LoopValues(1)[105], ApplyGainSat(-10000, -2));
}

TEST_F(BlockProcessor, MonoRightIsFadedBeforeItMovesLeft) {
    e.InputMode = 3;
    e.SetFadeLen(1000);
    e.PlayLoopEnd = 100000;
    StartRecording(1);
    h.FeedConstant(8000, 4000);
    const auto v = h.LoopValues(1);
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[500], 2000);
}

TEST_F(BlockProcessor, MonitorAndInputRowReachTheOutput) {
    e.InputMode = 2; // mono left: the monitor puts it on both sides
    e.MonitorMode = true;
    h.FeedConstant(1200, 5000);
    EXPECT_EQ(h.LastOut()[0], 1200);
    EXPECT_EQ(h.LastOut()[1], 1200);

    e.InputMode = 0;
    e.MonitorMode = false;
    MixerRow& in = e.Rows[0];
    in.LoopOn = true;
    in.LoopLevelL = -80; // left source at half
    in.LoopRR = -1200;   // right source not into the right output
    h.FeedConstant(1000, 600);
    EXPECT_EQ(h.LastOut()[0], 500 + 600);
    EXPECT_EQ(h.LastOut()[1], 500);

    // The monitored sum saturates in the output block rather than wrapping.
    e.MonitorMode = true;
    in.LoopLevelL = 0;
    in.LoopRR = 0;
    h.FeedConstant(30000, 30000);
    EXPECT_EQ(h.LastOut()[0], 32767);
    e.Switches.InMute = true;
    h.FeedConstant(30000, 30000);
    EXPECT_EQ(h.LastOut()[0], 0);
}

TEST_F(BlockProcessor, AddInSmpSaturatesAndLevelsWhenAsked) {
    e.BeginOutBlock();
    e.AddInSmpLRToOutBlock(0, 20000, -20000);
    e.AddInSmpLRToOutBlock(0, 20000, -20000);
    EXPECT_EQ((std::pair{e.OutBlock()[0], e.OutBlock()[1]}), (std::pair<int16_t, int16_t>{32767, -32768}));
    e.AddInSmpLRToOutBlock(4 * 999, 1, 1);
    e.AddInSmpLRToOutBlock(4 * 1000, 1, 1); // past the block: ignored
    EXPECT_EQ(e.OutBlock()[2 * 999], 1);
    e.Switches.AddSigsOutLevelCtrl = true;
    e.OutputLevel = -80;
    e.AddInSmpLRToOutBlock(4, 1000, 1000);
    EXPECT_EQ(e.OutBlock()[2], 500);
}

TEST_F(BlockProcessor, PunchOverwritesOrMixesInPlace) {
    std::vector<int16_t> loop(4000, 1000);
    for (bool mix : {false, true}) {
        for (bool reFade : {false, true}) {
            EngineHarness p(44100, 1000);
            Engine& pe = Recorder(p);
            pe.Recording = false;
            pe.Switches.PunchMixMode = mix;
            pe.Switches.PunchMixReFadeAll = reFade;
            pe.InputLevel = -80;
            p.PlaceLoop(1, 0, loop);
            pe.Playing = pe.PunchActive = true;
            pe.PlayLoopEnd = 4000;
            pe.PlayPos = 2000;
            p.FeedConstant(3000, 3000);
            const auto v = p.LoopValues(1);
            ASSERT_EQ(v.size(), 4000u); // the length never changes in a punch
            EXPECT_EQ(v[1999], 1000);
            const int16_t expect = !mix ? 1500 : (reFade ? 2000 : 2500);
            EXPECT_EQ(v[2000], expect) << mix << reFade;
            EXPECT_EQ(v[3999], expect) << mix << reFade;
        }
    }
}

TEST_F(BlockProcessor, PunchFadesAreOneShot) {
    e.SetFadeLen(1000);
    h.PlaceLoop(1, 0, std::vector<int16_t>(8000, 0));
    e.RecLoopNr = 1;
    e.PlayLoopEnd = 8000;
    e.PlayPos = 2000;
    e.Playing = e.PunchActive = e.PunchFadeIn = true;
    h.FeedConstant(4000, 4000);
    EXPECT_FALSE(e.PunchFadeIn);
    h.FeedConstant(4000, 4000);
    e.PunchFadeOut = true;
    h.FeedConstant(4000, 4000);
    EXPECT_FALSE(e.PunchActive);
    const auto v = h.LoopValues(1);
    // faded in, full, fading out to zero
    EXPECT_EQ((std::array{v[2000], v[3000], v[4000], v[6000], v[7998]}),
              (std::array<int16_t, 5>{0, 2000, 4000, 3996, 0}));
}

TEST_F(BlockProcessor, PauseHoldsPositionAndBuffers) {
    e.PlayLoopEnd = 100000;
    StartRecording(1);
    h.FeedConstant(500, 500, 2);
    const int32_t len = e.Slots[1].LoopLenBytes;
    e.Paused = true;
    h.FeedConstant(900, 900, 3);
    EXPECT_EQ((std::array<int64_t, 3>{e.PlayPos, e.Slots[1].LoopLenBytes, e.BlockCounter}),
              (std::array<int64_t, 3>{4000, len, 5}));
    EXPECT_EQ(h.Hooks().Written.size(), 5u);
}

TEST_F(BlockProcessor, RecordingStopsAtTheCapacityInsteadOfGrowing) {
    e.SizeLoopBuffers(32 * 4000, 32); // one block per loop
    e.PlayLoopEnd = 1000000;
    StartRecording(2);
    h.FeedConstant(1, 1, 3);
    EXPECT_EQ(e.Slots[2].LoopLenBytes, 4000);
    EXPECT_EQ(e.Slots[2].Buffer.Capacity(), 4000u);
}

TEST_F(BlockProcessor, ToneGeneratorFollowsTheFadeEvenWhenMuted) {
    e.Switches.GeneratorOn = true;
    e.Switches.GeneratorRecord = true;
    e.Switches.InMute = true;
    e.GenPeriod = 4;
    h.Hooks().Wave = [](int phase) { return static_cast<int16_t>(1000 * (phase + 1)); };
    e.SetFadeLen(1000);
    e.PlayLoopEnd = 100000;
    StartRecording(1);
    h.FeedSilence();
    const auto v = h.LoopValues(1);
    EXPECT_EQ(v[2 * 0], 0);                                  // phase 0, factor 0
    EXPECT_EQ(v[2 * 500], static_cast<int16_t>(1000 * 0.5)); // phase 0 at frame 501
    EXPECT_EQ(v[2 * 503], static_cast<int16_t>(std::nearbyint(4000 * 0.503)));
    EXPECT_EQ(h.LastOut()[2 * 503], v[2 * 503]); // heard as well
    EXPECT_EQ(e.GenPhase, 1000 % 4 == 0 ? 4 : 1000 % 4);
}

} // namespace
} // namespace kreisel::test

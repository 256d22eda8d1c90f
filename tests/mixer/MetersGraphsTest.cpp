// Level meters and loop graphs: the scale and meter arithmetic at its ends, clip lamps, and the
// graph points and cursors of recorded and loaded loops in whole performances.
#include "mixer/LevelMeters.h"
#include "mixer/LoopGraphs.h"
#include "scenarios/Stage.h"

#include <gtest/gtest.h>

#include <array>

namespace kreisel::test {
namespace {

TEST(LevelScale, SpansSevenOctavesFrom256AndFallsAtLeastOnePixel) {
    const std::pair<int32_t, int32_t> cases[] = {{-1, 0},     {0, 0},        {255, 0},       {256, 0},
                                                 {512, 4681}, {2048, 14043}, {32767, 32767}, {40000, 32767}};
    for (const auto& [peak, height] : cases)
        EXPECT_EQ(LevelScale(peak), height) << peak;
    EXPECT_EQ(MeterFallStep(16, 4000, 44100), 23); // 16 × 8 × 4000 × 2 / 44100
    EXPECT_EQ(MeterFallStep(255, 40000, 8000), 20400);
    EXPECT_EQ(MeterFallStep(1, 400, 48000), 1); // 6400 / 48000 rounds to 0
    EXPECT_EQ(MeterFallStep(16, 4000, 0), 1);
}

class Meters : public ::testing::Test {
  protected:
    Meters() {
        m.WindowVisible = true;
        m.SideOn = {true, false};
        m.FallStep = 10;
        m.RefreshInterval = 0; // every block updates
        m.SetPanelHeight(102); // 100 pixels of scale
    }
    const Meter& L() const { return m.State(LevelMeters::Input).Meters[0]; }
    const Meter& R() const { return m.State(LevelMeters::Input).Meters[1]; }
    LevelMeters m;
};

TEST_F(Meters, FullScaleLightsTheLampUntilReset) {
    EXPECT_EQ(L().CoverHeight, 100); // dark after a reset
    m.Feed(LevelMeters::Input, 32767, 100);
    EXPECT_EQ(L().CoverHeight, 0);
    EXPECT_EQ(L().MarkerTop, 0);
    EXPECT_EQ(R().CoverHeight, 99); // below 256: empty
    EXPECT_TRUE(m.State(LevelMeters::Input).Clipped[0]);
    EXPECT_FALSE(m.State(LevelMeters::Input).Clipped[1]);
    m.Feed(LevelMeters::Input, 0, 0);
    EXPECT_TRUE(m.State(LevelMeters::Input).Clipped[0]);
    m.Reset(LevelMeters::Input);
    EXPECT_FALSE(m.State(LevelMeters::Input).Clipped[0]);
    EXPECT_EQ(L().CoverHeight, 100);
    EXPECT_EQ(L().ShownPeak, 0);
}

// The marker sinks by the fall step while the cover drops at once; smoothed, the cover falls a
// step per update and rises at once.
TEST_F(Meters, MarkerAndSmoothCoverFallByTheStep) {
    for (const bool smooth : {false, true}) {
        m.Smooth = smooth;
        m.Reset(LevelMeters::Input);
        std::vector<int> seen;
        for (const int peak : {32767, 0, 0, 32767}) {
            m.Feed(LevelMeters::Input, peak, peak);
            seen.push_back(smooth ? L().CoverHeight : L().MarkerTop);
        }
        EXPECT_EQ(seen, (std::vector{0, 10, 20, 0})) << smooth;
        EXPECT_TRUE(smooth || L().CoverHeight == 0);
    }
    m.Smooth = false;
    m.Feed(LevelMeters::Input, 0, 0);
    EXPECT_EQ(L().CoverHeight, 99);
}

TEST_F(Meters, FallingLevelsWaitForTheRefreshIntervalRisingOnesDoNot) {
    m.RefreshInterval = 3;
    m.Feed(LevelMeters::Input, 8192, 8192); // shown, countdown reloaded with 3
    const int shown = L().CoverHeight;
    for (int i = 0; i < 3; ++i) {
        m.Feed(LevelMeters::Input, 300, 300);
        EXPECT_EQ(L().CoverHeight, shown) << i;
    }
    m.Feed(LevelMeters::Input, 300, 300);
    EXPECT_GT(L().CoverHeight, shown);
    m.Feed(LevelMeters::Input, 32767, 0);
    EXPECT_EQ(L().CoverHeight, 0);
}

TEST_F(Meters, NothingMovesWithTheSideOffOrTheWindowHidden) {
    const uint32_t before = m.Generation();
    m.Feed(LevelMeters::Output, 32767, 32767);
    m.WindowVisible = false;
    m.Feed(LevelMeters::Input, 32767, 32767);
    EXPECT_EQ(m.Generation(), before);
    EXPECT_FALSE(m.State(LevelMeters::Output).Clipped[0]);
    EXPECT_EQ(L().CoverHeight, 100);
}

TEST(GraphGeometry, EndsOfThePaintBox) {
    // the last of a loop of one block is at the start
    EXPECT_EQ((std::array{LoopGraphs::X(0, 100, 208), LoopGraphs::X(100, 100, 208), LoopGraphs::X(5, 0, 208),
                          LoopGraphs::Y(0, 48), LoopGraphs::Y(32767, 48)}),
              (std::array{4, 204, 4, 44, 4}));
    EXPECT_EQ(LoopGraphs::HeightOfPoint(LoopGraphs::PointOfPeak(32767)), 32767);
    EXPECT_EQ(LoopGraphs::HeightOfPoint(LoopGraphs::PointOfPeak(100)), 0);
    EXPECT_NE(LoopGraphs::PointOfPeak(100), 0); // a silent block still has its point
}

class Graphs : public Stage {
  protected:
    LoopGraphs& G() { return core->MetersGraphs().Graphs; }
    // A1 of ten blocks whose left peaks rise block by block, the right ones fall.
    void RecordA1() {
        M().CBContinuousRecordingLoops.SetChecked(false);
        StartPlain();
        Press(M().SBRecord);
        for (int b = 0; b < 10; ++b)
            Blocks(1, static_cast<int16_t>(300 * (b + 1) * (b + 1)), static_cast<int16_t>(32000 - 3000 * b));
        Press(M().SBRecord);
        Blocks(1);
        ASSERT_FALSE(E().Recording);
        ASSERT_EQ(E().Slots[1].LoopLastBlock, 9);
    }
};

TEST_F(Graphs, RecordedAndLoadedLoopsHaveTheirBlockPeaksAsPoints) {
    ASSERT_TRUE(G().Shown); // graphs are on by default
    RecordA1();
    for (int b = 0; b < 10; ++b) {
        EXPECT_EQ(G().Point(1, 0, b), LoopGraphs::PointOfPeak(300 * (b + 1) * (b + 1))) << b;
        EXPECT_EQ(G().Point(1, 1, b), LoopGraphs::PointOfPeak(32000 - 3000 * b)) << b;
    }
    EXPECT_EQ(G().Point(1, 0, 10), 0);
    const auto recorded = E().Slots[1].GraphPeaks;

    // The same loop drawn from its audio, as after a load, gives the same points.
    for (auto& channel : E().Slots[1].GraphPeaks)
        channel.fill(0);
    const uint32_t before = G().PointsGeneration(1);
    G().DrawLoadedLoop(1);
    EXPECT_EQ(E().Slots[1].GraphPeaks, recorded);
    EXPECT_NE(G().PointsGeneration(1), before);
    EXPECT_EQ(E().Slots[1].Buffer.Position(), 0u);
}

TEST_F(Graphs, PlayCursorFollowsSeeksAndStandsAtTheLastBlockAfterAStop) {
    RecordA1();
    Blocks(3);
    const int bsv = E().BlockStoredValues();
    const int32_t before = E().PlayPos;
    Blocks(1);
    EXPECT_EQ(G().PlayCursorAt(1), before / bsv);

    T().SeekMouseDown(700, 1000); // 70 % into the cycle
    T().SeekMouseUp();
    const int32_t sought = E().PlayPos;
    ASSERT_NE(sought / bsv, G().PlayCursorAt(1));
    Blocks(1);
    EXPECT_EQ(G().PlayCursorAt(1), sought / bsv);

    Press(M().ButtonStop);
    EXPECT_EQ(G().PlayCursorAt(1), 9);
    EXPECT_EQ(G().RecordCursorAt(1), -1);
}

TEST_F(Graphs, GroupCursorsMoveTheGroupAndTheLoopsSwitchedOn) {
    StartPlain();
    Engine& e = E();
    // A1 of 4 blocks and A2 in group A, B1 in group B; A2 is switched on.
    for (int m = 1; m <= 3; ++m) {
        e.Slots[static_cast<size_t>(m)].LoopLastBlock = std::array{3, 7, 5}[static_cast<size_t>(m - 1)];
        e.Slots[static_cast<size_t>(m)].LoopGroup = m / 3;
        e.Rows[static_cast<size_t>(m)].LoopOn = m == 2;
    }
    e.GroupFirstLoop(0) = 1;
    e.GroupFirstLoop(1) = 3;
    G().GroupCursors(1, 5);
    EXPECT_EQ(G().PlayCursorAt(1), -1);
    EXPECT_EQ(G().PlayCursorAt(2), 5);
    EXPECT_EQ(G().PlayCursorAt(3), 5);
    EXPECT_TRUE(G().PlayCursorMarked(3)); // 5 + 1 is a multiple of B1's six blocks
    G().GroupCursors(0, 2);
    EXPECT_EQ(G().PlayCursorAt(1), 2);
    EXPECT_FALSE(G().PlayCursorMarked(1));
    G().GroupCursors(0, 3);
    EXPECT_TRUE(G().PlayCursorMarked(1));
    EXPECT_EQ(G().PlayCursorAt(3), 5); // B1 stays where it was
}

} // namespace
} // namespace kreisel::test

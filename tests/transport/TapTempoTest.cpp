// Tap tempo: counting taps by key and by input peaks, the tempo they give and the start after them.
#include "transport/TapTempo.h"

#include "support/ManualHost.h"
#include "transport/TempoRig.h"

#include <gtest/gtest.h>

namespace kreisel::test {
namespace {

struct TapTempoTest : ::testing::Test, TempoRig {
    ManualClock clock{10000};
    TapTempo tap{e, c, clock, m};
    int records = 0, plays = 0;

    TapTempoTest() {
        tap.PressRecord = [this] { ++records; };
        tap.PressPlay = [this] { ++plays; };
        c.TBTapCount.SetPosition(2);
    }
    void TapTwice(int apartMs) {
        tap.AnyChange_Tap(&c.SBTap);
        clock.Advance(1000);
        EXPECT_TRUE(tap.KeyTap());
        clock.Advance(apartMs);
        EXPECT_TRUE(tap.KeyTap());
    }
};

TEST_F(TapTempoTest, TwoTapsSetTheTempoAndStartOneBeatLater) {
    c.TBMetronomBPM.SetPosition(90);
    TapTwice(500);
    const int64_t lastTap = clock.TickCount();
    EXPECT_EQ(c.LabelTapFreq.Text(), "120 BpM (Akt.:120)");
    EXPECT_EQ(m.HalfBeatFrames(), 11025);
    EXPECT_TRUE(e.MetroOn);
    EXPECT_FALSE(tap.TapMode() || c.SBTap.Down());
    EXPECT_EQ(c.LabelDisp1.Text(), "1 b");
    for (int block = 1; block <= 40; ++block) { // a block every 23 ms
        clock.Advance(23);
        tap.CheckTappedStart();
        EXPECT_EQ(records, clock.TickCount() - lastTap >= 500 ? 1 : 0) << block;
    }

    // Already recording: Play instead, and nothing while playing.
    e.Recording = true;
    for (bool playing : {false, true}) {
        e.Playing = playing;
        TapTwice(500);
        clock.Advance(500);
        tap.CheckTappedStart();
    }
    EXPECT_EQ(records, 1);
    EXPECT_EQ(plays, 1);

    // Taps more than a minute apart would give 0 BpM.
    TapTwice(70000);
    EXPECT_EQ(c.TBMetronomBPM.Position(), 1);
    EXPECT_EQ(tap.TappedStartTime(), clock.TickCount() + 60000);
}

TEST_F(TapTempoTest, InputPeaksCountOncePerQuietGap) {
    c.TBTapCount.SetPosition(4);
    EXPECT_EQ(c.PanelTapLevelPercent.Text(), "75%");
    tap.AnyChange_Tap(&c.SBTap);
    tap.InputPeak(9000); // loud from the start: not armed yet
    // a quiet gap arms, a tap within 200 ms of the last one does not count
    for (const auto& [ms, toGo] : {std::pair{300, 3}, {100, 3}}) {
        clock.Advance(ms);
        tap.InputPeak(100);
        tap.InputPeak(9000);
        EXPECT_EQ(tap.TapsToGo(), toGo) << ms;
    }
    clock.Advance(300);
    tap.InputPeak(100);
    for (int block = 0; block < 40; ++block) { // ringing that never falls below two thirds of 8192
        clock.Advance(23);
        tap.InputPeak(block % 2 == 0 ? 9000 : 5470);
    }
    EXPECT_EQ(tap.TapsToGo(), 2);

    c.TBTapLevel.SetPosition(c.TBTapLevel.Max());
    tap.AnyChange_Tap(&c.TBTapLevel); // restarts the count
    EXPECT_EQ(tap.Threshold(), 32767);
    EXPECT_EQ(c.PanelTapLevelPercent.Text(), "0%");
    clock.Advance(300);
    tap.InputPeak(0);
    tap.InputPeak(32767);
    EXPECT_EQ(tap.TapsToGo(), 4);
}

TEST_F(TapTempoTest, SwitchingOffStopsCountingAndStart) {
    EXPECT_FALSE(c.CBTapStartPlay.Enabled());
    c.CBTapStartRecord.SetChecked(false);
    EXPECT_TRUE(c.CBTapStartPlay.Enabled());

    tap.AnyChange_Tap(&c.SBTapOpt);
    EXPECT_TRUE(c.SBTap.Down() && c.PanelTapFreqMean.Visible());
    clock.Advance(1000);
    EXPECT_TRUE(tap.KeyTap());
    tap.AnyChange_Tap(&c.SBTap);
    EXPECT_EQ(tap.TapsToGo(), 0);
    EXPECT_FALSE(tap.KeyTap());

    c.CBTapCtrlKeys.SetChecked(false);
    tap.AnyChange_Tap(&c.SBTap);
    clock.Advance(1000);
    EXPECT_FALSE(tap.KeyTap());
    c.CBTapCtrlKeys.SetChecked(true);
    tap.AnyChange_Tap(&c.SBTap);

    TapTwice(500); // a reset drops the start that is due
    tap.SwitchOff();
    clock.Advance(10000);
    tap.CheckTappedStart();
    EXPECT_EQ(records + plays, 0);
}

} // namespace
} // namespace kreisel::test

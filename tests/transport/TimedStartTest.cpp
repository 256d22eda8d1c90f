// Prepare time, the count-in (with time and audio supplied by the manual pump) and the time texts.
#include "transport/TimedStart.h"

#include "support/ManualHost.h"
#include "transport/TempoRig.h"

#include <gtest/gtest.h>

namespace kreisel::test {
namespace {

// Counts how the count-in asks for events and notes each new text of the main display.
class WatchingPump : public EventPump {
  public:
    WatchingPump(ManualClock& clock, const Control& display) : inner(clock, 23), display_(display) {}
    void ProcessPendingEvents() override {
        ++spins;
        inner.ProcessPendingEvents();
    }
    void WaitForEvents(int maxMs) override {
        if (texts.empty() || texts.back() != display_.Text()) texts.push_back(display_.Text());
        ++waits;
        longestWaitMs = std::max(longestWaitMs, maxMs);
        inner.WaitForEvents(maxMs);
        if (during) during();
    }

    ManualEventPump inner;
    int spins = 0, waits = 0, longestWaitMs = 0;
    std::vector<std::string> texts;
    std::function<void()> during;

  private:
    const Control& display_;
};

struct TimedStartTest : ::testing::Test, TempoRig {
    ManualClock clock{5000};
    WatchingPump pump{clock, c.LabelDisp1};
    TimedStart ts{e, c, clock, pump, m};

    TimedStartTest() { m.AnyChange_MetronomBPM(&c.TBMetronomBPM); }
    void SetPrepare(bool use, bool beats, int position) {
        c.CBUsePrepareTime.SetChecked(use);
        c.CBPrepareTimeUseBPM.SetChecked(beats);
        c.TBPrepareTime.SetPosition(position);
        ts.AnyChange_PrepareTime();
    }
};

TEST_F(TimedStartTest, CountInSleepsAndCountsDown) {
    SetPrepare(false, false, 5);
    EXPECT_EQ(ts.PrepareTimeMs(), 0);
    EXPECT_EQ(c.LabelPrepareTimeVal.Text(), "(-)");
    for (bool beats : {false, true}) {
        SCOPED_TRACE(beats);
        SetPrepare(true, beats, beats ? 4 : 5);
        EXPECT_EQ(c.LabelPrepareTimeVal.Text(), beats ? "4 beats" : "5 Sek.");
        ASSERT_EQ(ts.PrepareTimeMs(), beats ? 2000 : 5000);
        pump.texts.clear();
        pump.during = [&] { EXPECT_TRUE(ts.Running()); };
        const int64_t start = clock.TickCount();
        EXPECT_TRUE(ts.Run(ts.PrepareTimeMs()));
        EXPECT_EQ(clock.TickCount() - start, ts.PrepareTimeMs());
        std::vector<std::string> want{"-"};
        for (int n = beats ? 4 : 5; n >= 1; --n)
            want.push_back("-" + std::to_string(n) + (beats ? " b" : " sec"));
        EXPECT_EQ(pump.texts, want);
        EXPECT_FALSE(ts.Running());
        EXPECT_EQ(c.LabelDisp1.Text(), "-");
    }
    EXPECT_EQ(pump.spins, 0);
    EXPECT_GE(pump.waits, 7000 / TimedStart::kCountInWaitMs);
    EXPECT_LE(pump.longestWaitMs, TimedStart::kCountInWaitMs);
}

TEST_F(TimedStartTest, AbortEndsTheCountInEarly) {
    const int64_t start = clock.TickCount();
    pump.during = [&] {
        EXPECT_FALSE(ts.Run(1000)); // no second count-in inside the first
        if (clock.TickCount() - start >= 1500) ts.Abort();
    };
    EXPECT_FALSE(ts.Run(5000));
    EXPECT_FALSE(ts.Running());
    EXPECT_LT(clock.TickCount() - start, 1600);
}

TEST_F(TimedStartTest, MetronomeBeatsWithTheCountInAndStopsAtItsEnd) {
    pump.inner.SetFeed([&] { h.FeedSilence(); });
    std::vector<int32_t> tickFrames;
    m.OnTick = [&] { tickFrames.push_back(m.NextTickFrame()); };
    h.FeedSilence(7); // the count-in starts off the beat grid
    m.AnyChange_MetronomBPM(&c.SBMetronom);
    EXPECT_TRUE(ts.Run(2000));
    EXPECT_EQ(tickFrames, (std::vector<int32_t>{7000, 29050, 51100, 73150}));
    EXPECT_FALSE(e.MetroOn);
}

TEST_F(TimedStartTest, TimeTextsAndLabels) {
    e.MaxLoopBytes = 44100 * 4 * 10; // ten seconds
    e.PlayLoopEnd = 882000;
    c.CBUseFixedLoopTime.SetChecked(false);
    ts.UpdateTimeLabels();
    EXPECT_EQ(c.LabelMaxLoopTime.Text() + " | " + c.LabelLoopTimeVal.Text(), "max. 10.0 Sek. | max. 10.0 Sek.");

    h.PlaceLoop(1, 0, std::vector<int16_t>(176400)); // the group's first loop: two seconds
    e.ActGroupIdx = 0;
    ts.UpdateTimeLabels();
    EXPECT_EQ(c.LabelMaxLoopTime.Text() + " | " + c.LabelLoopTimeVal.Text(), "2.0 Sek. | 2.0 Sek.");

    c.CBMaxTimeLikeFirstLoop.SetChecked(false);
    c.PMDebugMode.SetChecked(true);
    ts.DecimalSeparator = ',';
    e.InputMode = 1; // mono: a block stores 1000 values
    e.PlayLoopEnd = 88000;
    ts.UpdateTimeLabels();
    EXPECT_EQ(c.LabelLoopTimeVal.Text(), "max. 1,995 Sek. (88 Bl. / 176000 B.)");

    e.InputMode = 0;
    ts.DecimalSeparator = '.';
    c.PMDebugMode.SetChecked(false);
    c.CBUseFixedLoopTime.SetChecked(true);
    c.CBFixedLoopUseBPM.SetChecked(true);
    e.PlayLoopEnd = 264000;
    ts.UpdateTimeLabels();
    EXPECT_EQ(c.LabelMaxLoopTime.Text() + " | " + c.LabelLoopTimeVal.Text(), "fix 6.0 beats | 3.0 Sek. = 6.0 beats");
}

} // namespace
} // namespace kreisel::test

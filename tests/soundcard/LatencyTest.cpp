// The acoustic latency measurement: its start and end, the detection on the input time base,
// the hold-off, the threshold, and the metronome it switches on and off.
#include "soundcard/SoundRig.h"
#include "transport/LatencyLink.h"
#include "transport/TempoRig.h"

#include <gtest/gtest.h>

#include <vector>

namespace kreisel::test {
namespace {

struct LatencyTest : ::testing::Test, SoundRig {
    std::vector<int16_t> block = std::vector<int16_t>(2 * 1000);

    // One input block of silence with a left peak at frame `at` (0-based), straight into the
    // engine, as the card hands it over.
    void Feed(int at = -1, int16_t value = 2000) {
        std::fill(block.begin(), block.end(), int16_t{0});
        if (at >= 0) block[2 * static_cast<size_t>(at)] = value;
        engine->SndInputEvent(block.data(), 4000);
    }
};

TEST_F(LatencyTest, DetectionShowsTheTimeSinceTheScheduledClick) {
    latency.ButtonCalcLatencyClick();
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const std::string& instructions = dialogs.Requests()[0].question.text;
    EXPECT_EQ(instructions.substr(0, 73),
              "Halten Sie jetzt das Mikrofon (linker Kanal) direkt an den Lautsprecher !");
    EXPECT_NE(instructions.find("Der Aufnahme-Peak-Level muß etwa 90% der Anzeige erreichen\n"),
              std::string::npos);
    EXPECT_NE(instructions.find("\n\nZum Beenden klicken Sie auf die rote Anzeige !"), std::string::npos);
    EXPECT_TRUE(lc.LabelLatency.Visible());
    EXPECT_TRUE(engine->Switches.LatencyMeasuring);

    nextClickFrame = 5000;
    for (int i = 0; i < 5; ++i)
        Feed();
    // Frame 99 of the sixth block is input frame 5100: 100 frames after the click's start.
    Feed(99);
    EXPECT_EQ(lc.LabelLatency.Text(),
              "Gemessene Latenz:\r\n2.268 mSek.  =  100 Frames\r\n(Peak-Diff.: 5100)");
    EXPECT_EQ(lc.LabelLatencyCounter.Text(), " 1 ");
    EXPECT_EQ(latency.LastPeakFrame(), 5100);

    // Ten blocks of hold-off: the peaks of the next nine blocks are not taken.
    for (int i = 0; i < 9; ++i)
        Feed(10);
    EXPECT_EQ(latency.LatencyCount(), 1);
    // Block 16 (frames 15001..16000): the peak at 15011 comes before the next click at 15061,
    // so it belongs to the previous one, a beat (22050 frames) earlier.
    nextClickFrame = 15061;
    Feed(10);
    EXPECT_EQ(latency.LatencyCount(), 2);
    EXPECT_EQ(lc.LabelLatency.Text(),
              "Gemessene Latenz:\r\n498.866 mSek.  =  22000 Frames\r\n(Peak-Diff.: 9911)");
    EXPECT_EQ(lc.LabelLatencyCounter.Text(), " 2 ");

    lc.PanelLatency.UserClick();
    EXPECT_FALSE(lc.LabelLatency.Visible());
    EXPECT_FALSE(engine->Switches.LatencyMeasuring);
    for (int i = 0; i < 12; ++i)
        Feed(10, 30000);
    EXPECT_EQ(latency.LatencyCount(), 2);
}

TEST_F(LatencyTest, OnlyPeaksAboveTheSliderThresholdCount) {
    latency.ButtonCalcLatencyClick();
    Feed(0, 1024); // 1 shl 10 is not exceeded
    EXPECT_EQ(latency.LatencyCount(), 0);
    Feed(0, -30000);
    EXPECT_EQ(latency.LatencyCount(), 0);
    Feed(0, 1025);
    EXPECT_EQ(latency.LatencyCount(), 1);

    lc.TBLatencyLevel.UserSetValue(5);
    EXPECT_EQ(lc.PanelLatencyLevel.Text(), "5");
    for (int i = 0; i < 10; ++i)
        Feed();
    Feed(0, 32);
    EXPECT_EQ(latency.LatencyCount(), 1);
    Feed(0, 33);
    EXPECT_EQ(latency.LatencyCount(), 2);
}

TEST_F(LatencyTest, NoMeasurementWhilePlayingOrRecording) {
    for (bool* flag : {&engine->Playing, &engine->Recording}) {
        *flag = true;
        lc.ButtonCalcLatency.UserClick();
        *flag = false;
    }
    ASSERT_EQ(dialogs.Requests().size(), 2u);
    EXPECT_EQ(dialogs.Requests()[0].question.text, "Stoppen Sie erst die Wiedergabe/Aufnahme!");
    EXPECT_EQ(dialogs.Requests()[1].question.text, "Stoppen Sie erst die Wiedergabe/Aufnahme!");
    EXPECT_FALSE(lc.LabelLatency.Visible());
}

class NoQueue : public OutputQueueView {
  public:
    int QueuedOutBlocks() const override { return 0; }
    bool WriteOutBlock(const int16_t*, int) override { return true; }
    void ShortenNextOutBlock(int) override {}
    double AverageLatencyMs() const override { return 0; }
    double AverageLatencyBlocks() const override { return 0; }
    int DeviceLatencyFrames() const override { return 0; }
};

struct MetronomeLinkTest : ::testing::Test, TempoRig {
    ScriptedDialogs dialogs;
    Form options{"FormOptions"};
    LatencyControls lc{options};
    NoQueue queue;
    LatencyCompensation latency{e, lc, queue, dialogs, MetronomeForLatency(e, m, c)};
};

TEST_F(MetronomeLinkTest, MeasurementRunsTheMetronomeUnrecordedAndStopsIt) {
    c.CBMetronomRecord.SetChecked(true);
    c.TBMetroLevel.SetPosition(9);
    const int16_t before = m.ClickLevel();
    lc.ButtonCalcLatency.UserClick();
    EXPECT_TRUE(e.MetroOn);
    EXPECT_TRUE(c.SBMetronom.Down());
    EXPECT_FALSE(c.CBMetronomRecord.Checked());
    EXPECT_EQ(c.TBMetroLevel.Position(), 2);
    EXPECT_NE(m.ClickLevel(), before); // the slider's handler ran

    lc.LabelLatency.UserClick();
    EXPECT_FALSE(e.MetroOn);
    EXPECT_FALSE(c.SBMetronom.Down());
}

} // namespace
} // namespace kreisel::test

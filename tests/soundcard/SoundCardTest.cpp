// The sound card's queue rules with the built-in device in lock-step and a real engine: blocks
// in and out, the 60-block bound, drift correction and filling up, the offset, counters, the
// error list and the start checks.
#include "soundcard/SoundRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace kreisel::test {
namespace {

struct SoundCardTest : ::testing::Test, SoundRig {};

TEST_F(SoundCardTest, EveryProcessedInputBlockLeavesOneOutputBlock) {
    Start();
    EXPECT_EQ(window.ButtonStartStop.Text(), "Stop");
    EXPECT_EQ(window.LabelWaveFormat.Text(), "Format: 16 Bit Stereo - 44100 Hz");
    std::vector<int> sizes;
    Card().InputDataEvent = [&](const int16_t* block, int bytes) {
        sizes.push_back(bytes);
        engine->SndInputEvent(block, bytes);
    };
    // Device periods that never match the block: 20 blocks of 1000 frames in odd pieces.
    int64_t fed = 0;
    const int periods[] = {333, 1000, 7, 4093, 567};
    for (int i = 0; fed < 20000; ++i) {
        const int n = static_cast<int>(std::min<int64_t>(periods[i % 5], 20000 - fed));
        device.Step(n);
        Card().ServeInput();
        fed += n;
    }
    EXPECT_EQ(sizes, std::vector<int>(20, 4000));
    EXPECT_EQ(engine->BlockCounter, 20);
    EXPECT_EQ(engine->InputFrameCounter, 20000);
    EXPECT_EQ(Card().Counters().WriteCounter, 20u);
    EXPECT_EQ(Card().Counters().InSamples, 20 * 2000);
    device.StepOutput(30000);
    Card().ServeOutput();
    EXPECT_EQ(Q().PlayedBlockFrames(), 20000);
    EXPECT_EQ(Card().Counters().OutBlocks, 20);
}

TEST_F(SoundCardTest, SixtyQueuedOutputBlocksDropFurtherInput) {
    lc.CBKorrOutSmps.SetChecked(false);
    Start();
    InBlock(70); // nothing plays: the output queue only grows
    EXPECT_EQ(engine->BlockCounter, 60);
    EXPECT_EQ(Card().QueuedOutBlocks(), 60);
    EXPECT_EQ(Card().Counters().InBlocks, 70);
    EXPECT_EQ(Card().Counters().DroppedInBlocks, 10);
    ASSERT_EQ(window.MemoErrors.Lines().size(), 1u); // one line for the whole episode
    EXPECT_TRUE(ErrorListHas("Eingabeblock verworfen: 60 Ausgabeblöcke warten"));

    device.StepOutput(5 * Frames());
    InBlock(1);
    EXPECT_EQ(engine->BlockCounter, 61);
}

TEST_F(SoundCardTest, ExcessQueueShortensTheNextBlockByAtMostHalf) {
    Start();
    ASSERT_EQ(lc.SEOptOutblocksDelay.Value(), 5);
    // Block k begins with k - 1 blocks queued: six leave block 7 whole, seven take 400 values
    // (200 frames) off block 8.
    InBlock(8);
    EXPECT_EQ(latency.KorrRemoved(), 400);
    EXPECT_EQ(lc.LabelKorrSmps.Text(), "400/0");
    EXPECT_EQ(Card().PendingShortening(), 0);
    device.StepOutput(20 * Frames());
    EXPECT_EQ(Q().PlayedBlockFrames(), 7 * 1000 + 800);

    // Target 0: block k (k >= 3) is asked for (k - 1) x 200 values, but gives at most 1000
    // values (half a block); the counter keeps what was asked.
    latency.ResetKorrCounters();
    lc.SEOptOutblocksDelay.SetValue(0);
    const int64_t before = Q().PlayedBlockFrames();
    InBlock(12);
    device.StepOutput(20 * Frames());
    EXPECT_EQ(Q().PlayedBlockFrames() - before, 2000 + 800 + 700 + 600 + 500 + 6 * 500);
    EXPECT_EQ(latency.KorrRemoved(), 200 * (2 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10 + 11));

    // Switched off, the queue is left alone.
    lc.CBKorrOutSmps.SetChecked(false);
    latency.ResetKorrCounters();
    InBlock(12);
    latency.FillUp(0);
    EXPECT_EQ(latency.KorrRemoved(), 0);
    EXPECT_EQ(latency.KorrAdded(), 0);
    EXPECT_EQ(Card().QueuedOutBlocks(), 12);
}

TEST_F(SoundCardTest, FillingUpAddsSilentBlocksBeyondTheTolerance) {
    Start();
    auto drain = [this] { device.StepOutput(100 * Frames()); };
    InBlock(2);
    latency.FillUp(0); // 5 - 2 = 3 missing, more than 0
    EXPECT_EQ(Card().QueuedOutBlocks(), 5);
    EXPECT_EQ(latency.KorrAdded(), 3 * engine->BlockValues());
    EXPECT_EQ(lc.LabelKorrSmps.Text(), "0/6000");

    drain();
    InBlock(2);
    latency.FillUp(1); // 1 < 3
    EXPECT_EQ(Card().QueuedOutBlocks(), 5);
    EXPECT_EQ(latency.KorrAdded(), 6 * engine->BlockValues());

    drain();
    InBlock(4);
    latency.FillUp(1); // 1 is not below 1
    EXPECT_EQ(Card().QueuedOutBlocks(), 4);
    drain();
    latency.FillUp(0); // an empty queue is not filled: there is no stream to keep up
    EXPECT_EQ(Card().QueuedOutBlocks(), 0);
    EXPECT_EQ(latency.KorrAdded(), 6 * engine->BlockValues());
}

// The built-in device with a route latency of its own and a hand on its error callback.
class RouteDevice : public FileDevice {
  public:
    ErrorCallback Report;
    RouteDevice() { SetPacing(FileDevice::Pacing::LockStep); }
    int InputLatencyFrames() const override { return 256; }
    int OutputLatencyFrames() const override { return 512; }
    void SetErrorCallback(ErrorCallback callback) override {
        Report = callback;
        FileDevice::SetErrorCallback(std::move(callback));
    }
};

TEST_F(SoundCardTest, AutomaticOffsetIsTheQueueDepthPlusTheDeviceLatency) {
    Start(); // the start recomputes the offset
    EXPECT_EQ(lc.SEAddOffsetFrms.Value(), 5000);
    EXPECT_FALSE(lc.SEAddOffsetFrms.Enabled());
    EXPECT_EQ(engine->OffsetSmps, 10000);
    EXPECT_EQ(lc.LabelOffsetmSec.Text(), "0.113379 Sek.");

    lc.SEOptOutblocksDelay.SetValue(2);
    EXPECT_EQ(engine->OffsetSmps, 4000);

    lc.CBManualAddOffsetFrms.SetChecked(true);
    EXPECT_TRUE(lc.SEAddOffsetFrms.Enabled());
    lc.SEOptOutblocksDelay.SetValue(7);
    EXPECT_EQ(lc.SEAddOffsetFrms.Value(), 2000); // set by hand: the depth leaves it alone
    lc.SEAddOffsetFrms.UserSetValue(1234);
    EXPECT_EQ(engine->OffsetSmps, 2468);
    lc.CBManualAddOffsetFrms.SetChecked(false);
    RouteDevice latent;
    DeviceSwap swap(Card(), latent);
    Start();
    EXPECT_EQ(lc.SEAddOffsetFrms.Value(), 7 * 1000 + 256 + 512);
    EXPECT_EQ(engine->OffsetSmps, 2 * (7000 + 768));
}

TEST_F(SoundCardTest, QueueLatencyIsMeasuredFromTheReturnedBlocks) {
    Start();
    InBlock(5);
    Cycle(200); // each block now waits behind five others
    EXPECT_DOUBLE_EQ(Card().AverageLatencyBlocks(), 5.0);
    EXPECT_NEAR(Card().AverageLatencyMs(), 6000 * 1000.0 / 44100, 1e-9);
    EXPECT_EQ(lc.Label_Calc_Out_Count.Text(), "136 ms = 5997 Frames  (~ 5.0 Bl.)");
    latency.ShowOutCount();
    EXPECT_EQ(lc.LabelOutCount.Text(), "4"); // five queued, one of them playing
    EXPECT_EQ(Q().Underruns(), 0);

    // Three blocks more from now on: while the newest returns still show five, the deeper
    // ones count as outliers; once they are all the newest show, they are the latency.
    lc.CBKorrOutSmps.SetChecked(false);
    InBlock(3);
    Cycle(20);
    EXPECT_NEAR(Card().AverageLatencyBlocks(), 5.0, 0.05);
    Cycle(200);
    EXPECT_DOUBLE_EQ(Card().AverageLatencyBlocks(), 8.0);
    EXPECT_NEAR(Card().AverageLatencyMs(), 9000 * 1000.0 / 44100, 1e-9);
}

TEST_F(SoundCardTest, CountersPerSecondAndMeasuredRate) {
    window.SetVisible(true);
    Start();
    Cycle(10);
    EXPECT_EQ(window.LabelInPerSec.Text(), "(-)");
    clock.Advance(1000);
    Cycle(1);
    EXPECT_EQ(window.LabelInPerSec.Text(), "11");
    EXPECT_EQ(window.LabelOutPerSec.Text(), "10"); // the 11th block has not come back yet
    EXPECT_EQ(window.LabelCalcRate.Text(), "11000.0000");
    EXPECT_EQ(window.LabelInTotal.Text(), "11");
    EXPECT_EQ(window.LabelOutTotal.Text(), "10");
    EXPECT_EQ(window.LabelSamplesTotal.Text(), "22000");
    EXPECT_EQ(window.LabelBytesReceived.Text(), "4000");
    EXPECT_EQ(window.LabelWavePos.Text(), "11000/10000 //1.0 Bl. = 1000 Frames");
    EXPECT_NE(window.LabelUsedTime.Text(), "(-)");
    EXPECT_EQ(Card().Counters().InBlocksPerSecond, 0);

    window.ButtonResetCounters.UserClick();
    EXPECT_EQ(Card().Counters().InBlocks, 0);
    EXPECT_EQ(Card().Counters().InSamples, 0);
    Cycle(1);
    EXPECT_EQ(window.LabelWavePos.Text(), "1000/0 //1.0 Bl. = 1000 Frames");
    clock.Advance(2000);
    Cycle(1);
    EXPECT_EQ(window.LabelCalcRate.Text(), "1000.0000"); // 2000 frames in two seconds
}

// With the window closed the counters go on, but no label is written; the first block after it
// opens shows them all (the per-second figures at the next second).
TEST_F(SoundCardTest, CountersGoOnWhileTheWindowIsClosedAndShowWhenItOpens) {
    Start();
    Cycle(10);
    clock.Advance(1000);
    Cycle(1);
    for (Control* label : {&window.LabelSamplesTotal, &window.LabelWavePos, &window.LabelInPerSec,
                           &window.LabelCalcRate, &window.LabelUsedTime})
        EXPECT_EQ(label->Text(), "(-)") << label->Name();
    EXPECT_EQ(window.LabelInQueued.Text(), "wiOpen done ..."); // what the start left there
    EXPECT_EQ(Card().Counters().InBlocks, 11);
    EXPECT_EQ(Card().Counters().InBlocksPerSecond, 0); // the second was counted all the same

    window.SetVisible(true);
    Cycle(1);
    EXPECT_EQ(window.LabelSamplesTotal.Text(), "24000");
    EXPECT_EQ(window.LabelWavePos.Text(), "12000/11000 //1.0 Bl. = 1000 Frames");
    EXPECT_EQ(window.LabelInQueued.Text(), "63"); // shown while the block is taken
    EXPECT_NE(window.LabelUsedTime.Text(), "(-)");
    clock.Advance(1000);
    Cycle(1);
    EXPECT_EQ(window.LabelInPerSec.Text(), "2");
    EXPECT_EQ(window.LabelInTotal.Text(), "13");
}

TEST_F(SoundCardTest, ErrorListKeepsTheNewestHundredLines) {
    clock.Advance(3723456); // 1 h 2 min 3.456 s
    for (int i = 1; i <= 105; ++i)
        Card().ReportError("Fehler " + std::to_string(i));
    const auto& lines = window.MemoErrors.Lines();
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines.front(), "(6)  1:02:03.456 :  Fehler 6");
    EXPECT_EQ(lines.back(), "(105)  1:02:03.456 :  Fehler 105");
    EXPECT_EQ(Card().ErrorCount(), 105);
    EXPECT_TRUE(dialogs.Requests().empty());

    window.CBShowWaveErrors.SetChecked(true);
    Card().TimeText = [] { return std::string("12:00:00"); };
    Card().ReportError("laut");
    EXPECT_EQ(window.MemoErrors.Lines().back(), "(106)  12:00:00 :  laut");
    EXPECT_TRUE(dialogs.WasShown("laut"));

    window.MemoErrorsDblClick();
    EXPECT_TRUE(window.MemoErrors.Lines().empty());
}

TEST_F(SoundCardTest, RunningDryIsReportedAsAnUnderrun) {
    Start();
    Cycle(3);
    Card().Poll();
    EXPECT_TRUE(window.MemoErrors.Lines().empty());
    device.StepOutput(3 * Frames()); // nothing queued: silence
    device.StepInput(Frames());
    device.StepOutput(Frames()); // still dry: the same episode
    Card().Poll();
    ASSERT_EQ(window.MemoErrors.Lines().size(), 1u);
    EXPECT_TRUE(ErrorListHas("Ausgabe-Unterlauf (Stille gespielt)"));
    // The poll timer finds later episodes without any input block.
    Card().ServeInput();
    device.StepOutput(2 * Frames());
    clock.Advance(SoundCard::kPollMs);
    EXPECT_EQ(window.MemoErrors.Lines().size(), 2u);
}

TEST_F(SoundCardTest, StartAsksForAUsableBlockLength) {
    window.SEMemBlockFrames.SetValue(20000); // 80000 bytes: more than a block may hold
    dialogs.AnswerInput("viel");
    dialogs.AnswerInput("3"); // not one whole frame
    dialogs.AnswerInput(" 4003 ");
    window.ButtonStartStop.UserClick();
    ASSERT_FALSE(Card().Stopped());
    ASSERT_EQ(dialogs.Requests().size(), 3u);
    EXPECT_EQ(dialogs.Requests()[0].question.caption, "Blockgrößen-Eingabe");
    EXPECT_EQ(dialogs.Requests()[0].question.text, "Geben Sie eine Blockgröße [1-40000] ein !");
    EXPECT_EQ(dialogs.Requests()[0].options.fileName, "80000");
    EXPECT_EQ(engine->BlockBytes, 4000); // whole frames
    EXPECT_EQ(window.SEMemBlockFrames.Value(), 1000);
    EXPECT_FALSE(window.LabelInfoRestart.Visible());
    Card().Stop();

    // Nobody answers (a headless run): the start gives up instead of asking forever.
    window.SEMemBlockFrames.SetValue(20000);
    for (int i = 0; i < 5; ++i)
        dialogs.AnswerInput(std::nullopt);
    EXPECT_FALSE(Card().Start());
    EXPECT_TRUE(Card().Stopped());
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(ErrorListHas("Start abgebrochen: keine gültige Blockgröße"));
}

TEST_F(SoundCardTest, OpenFailuresLeaveTheCardStopped) {
    device.SetInputFile("/nonexistent/eingabe.wav");
    EXPECT_FALSE(Card().Start());
    EXPECT_TRUE(Card().Stopped());
    ASSERT_EQ(window.MemoErrors.Lines().size(), 1u);
    EXPECT_TRUE(
        ErrorListHas(" :  Problem creating record handle:  Datei-Fehler: \"/nonexistent/eingabe.wav\""));

    device.SetInputSilence();
    window.SEOutFreqDeviation.SetValue(-44100); // an output rate of 0
    EXPECT_FALSE(Card().Start());
    EXPECT_TRUE(ErrorListHas("Fehler 32 in \"WaveOutOpen\"! (Play format not supported)"));
    EXPECT_FALSE(device.IsOpen());

    window.SEOutFreqDeviation.SetValue(0);
    Card().SetDeviceIds(3, 0);
    EXPECT_FALSE(Card().Start());
    EXPECT_TRUE(ErrorListHas("Record format not supported"));
    EXPECT_EQ(window.ButtonStartStop.Text(), "Start");
}

TEST_F(SoundCardTest, DeviceErrorsReachTheErrorListAndARestartRecovers) {
    RouteDevice failing;
    DeviceSwap swap(Card(), failing);
    Start();
    ASSERT_TRUE(failing.Report);
    // The device reports from its own thread; the list is written by the next poll.
    std::thread([&failing] { failing.Report(AudioDeviceLost); }).join();
    EXPECT_TRUE(window.MemoErrors.Lines().empty());
    clock.Advance(SoundCard::kPollMs);
    ASSERT_EQ(window.MemoErrors.Lines().size(), 1u);
    EXPECT_TRUE(ErrorListHas("Fehler 1001 der Soundkarte: unbekannter Fehler"));

    window.ButtonStartStop.UserClick();
    EXPECT_TRUE(Card().Stopped());
    window.ButtonStartStop.UserClick();
    EXPECT_FALSE(Card().Stopped());
    failing.StepInput(Frames());
    EXPECT_EQ(Card().ServeInput(), 1);
}

} // namespace
} // namespace kreisel::test

// The whole looper against a real JACK server (dummy driver, real time): the wired core with its
// sound card on the RtAudio device, the program's output ports connected to its own input ports,
// and the core thread served from the queue's eventfd as the application serves it. The acoustic
// latency measurement then hears the metronome's own clicks come back through the loopback.
#include "persistence/SoundFiles.h"
#include "soundcard/rtaudio/LoopbackRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kreisel {
namespace {

using namespace std::chrono_literals;

constexpr int Rate = kLoopbackRate;
// A real-time run that a loaded machine disturbed is taken again, up to this often.
constexpr int kTakes = 3;

// The frame figure of the measurement's label ("... = 5432 Frames ..."); nullopt without one.
std::optional<long long> FramesIn(const std::string& label) {
    const auto end = label.find(" Frames");
    if (end == std::string::npos) return std::nullopt;
    const auto begin = label.rfind(' ', end - 1);
    if (begin == std::string::npos) return std::nullopt;
    try {
        return std::stoll(label.substr(begin + 1, end - begin - 1));
    } catch (...) {
        return std::nullopt;
    }
}

// The input frames since the detection before ("(Peak-Diff.: 22050)"); nullopt without them.
std::optional<long long> PeakDiffIn(const std::string& label) {
    const std::string key = "Peak-Diff.: ";
    const auto begin = label.find(key);
    if (begin == std::string::npos) return std::nullopt;
    try {
        return std::stoll(label.substr(begin + key.size()));
    } catch (...) {
        return std::nullopt;
    }
}

// The acoustic measurement run for a while: every detection's frames and spacing, the queue.
struct RoundTrips {
    std::vector<long long> measured; // frames, one per detection
    std::vector<long long> spacings; // input frames since the detection before
    int minQueued = 1000;            // output blocks queued, the playing one included
    int maxQueued = 0;
    bool enough = false;  // four detections or more
    long long median = 0; // of the detections after the first
    std::string all;
    // The automatic offset less each detection after the first, smallest and largest.
    long long offsetErrorLow = 0;
    long long offsetErrorHigh = 0;
};

::testing::AssertionResult MeasureRoundTrips(LoopbackLooper& rig, SteadyClock::duration time, RoundTrips& r) {
    KreiselCore& core = *rig.core;
    core.Compensation().ButtonCalcLatencyClick();
    if (!core.Compensation().Measuring() || !core.E().MetroOn)
        return ::testing::AssertionFailure() << "the measurement did not start the metronome";
    int seen = 0;
    const auto until = SteadyClock::now() + time;
    while (SteadyClock::now() < until) {
        rig.pump.WaitForEvents(20);
        r.minQueued = std::min(r.minQueued, core.Card().QueuedOutBlocks());
        r.maxQueued = std::max(r.maxQueued, core.Card().QueuedOutBlocks());
        const int count = core.Compensation().LatencyCount();
        if (count == seen) continue;
        seen = count;
        const std::string label = core.Latency().LabelLatency.Text();
        const auto frames = FramesIn(label);
        const auto spacing = PeakDiffIn(label);
        if (!frames || !spacing) return ::testing::AssertionFailure() << label;
        if (!r.measured.empty()) {
            const long long error = core.Latency().SEAddOffsetFrms.Value() - *frames;
            r.offsetErrorLow = r.measured.size() == 1 ? error : std::min(r.offsetErrorLow, error);
            r.offsetErrorHigh = r.measured.size() == 1 ? error : std::max(r.offsetErrorHigh, error);
        }
        r.measured.push_back(*frames);
        r.spacings.push_back(*spacing);
        r.all += " " + std::to_string(*frames);
    }
    core.Compensation().LabelLatencyClick();
    // Fewer detections are a verdict for the caller: a disturbance may have eaten the clicks.
    r.enough = r.measured.size() >= 4;
    if (!r.enough) return ::testing::AssertionSuccess();
    // The first detection may come from a click scheduled before the measurement began.
    std::vector<long long> steady(r.measured.begin() + 1, r.measured.end());
    std::sort(steady.begin(), steady.end());
    r.median = steady[steady.size() / 2];
    return ::testing::AssertionSuccess();
}

class JackLoopbackLooper : public ::testing::TestWithParam<int> {};

TEST_P(JackLoopbackLooper, AcousticMeasurementHearsEveryTickWithTheAutomaticOffset) {
    SKIP_WITHOUT_JACKD();
    const int period = GetParam();
    constexpr int BlockFrames = 1000;
    LoopbackLooper rig(period);
    Watchdog watchdog(60s); // started once the server is ours
    std::string why;
    ASSERT_TRUE(rig.server.Start(&why)) << why;

    ASSERT_TRUE(StartLooper(rig, BlockFrames));
    KreiselCore& core = *rig.core;
    const int depth = core.Latency().SEOptOutblocksDelay.Value();
    rig.Serve(500ms); // blocks have played: the queue's delay is known
    // One steady figure, and every tick heard: from the second detection on, each follows the
    // one before by the metronome's beat (a missed tick would double it, an echo or noise
    // shorten it); and the automatic offset is that figure.
    auto steady = [&](const RoundTrips& r) {
        if (!r.enough) return false;
        const auto [low, high] = std::minmax_element(r.measured.begin() + 1, r.measured.end());
        const auto [shortest, longest] = std::minmax_element(r.spacings.begin() + 2, r.spacings.end());
        return *high - *low <= period && *longest - *shortest <= period &&
               std::abs(*shortest - 2 * core.Metro().HalfBeatFrames()) <= period &&
               std::abs(core.Latency().SEAddOffsetFrms.Value() - r.median) <= 64;
    };
    // A measurement that is off and that a disturbance ran through is taken again.
    RoundTrips r;
    bool clean = true;
    for (int take = 0; take < kTakes; ++take) {
        const int64_t before = rig.Disturbances();
        r = RoundTrips{};
        ASSERT_TRUE(MeasureRoundTrips(rig, 3500ms, r));
        clean = rig.Disturbances() == before;
        if (clean || steady(r)) break;
    }
    const bool wasSteady = steady(r);
    const int offset = core.Latency().SEAddOffsetFrms.Value();
    const int64_t queueDelay = core.Card().QueueDelayFrames();
    const int deviceLatency = core.Card().DeviceLatencyFrames();
    const int errors = core.Card().ErrorCount();
    const bool undisturbed = rig.Disturbances() == 0;
    core.Card().Stop();
    // One duplex client feeding itself: what a callback plays comes back at the start of the
    // next one's input, which the queue's delay already counts; the route adds nothing.
    EXPECT_EQ(deviceLatency, 0);
    EXPECT_EQ(offset, queueDelay + deviceLatency);
    // Every take disturbed and off: what a late server moves is not checked.
    if (!clean && !wasSteady)
        GTEST_SKIP() << kTakes << " measurements, each off and with xruns or a queue that ran dry";

    ASSERT_TRUE(r.enough) << "detections:" << r.all;
    const auto [low, high] = std::minmax_element(r.measured.begin() + 1, r.measured.end());
    EXPECT_LE(*high - *low, period) << "detections:" << r.all;
    const auto [shortest, longest] = std::minmax_element(r.spacings.begin() + 2, r.spacings.end());
    EXPECT_LE(*longest - *shortest, period) << "detections:" << r.all;
    EXPECT_NEAR(static_cast<double>(*shortest), 2.0 * core.Metro().HalfBeatFrames(), period)
        << "detections:" << r.all;

    // The round trip is what the automatic offset compensates: the queue's measured delay and
    // the route through the server.
    EXPECT_NEAR(offset, r.median, 64) << "detections:" << r.all;
    // The queue holds about the target depth: it starts a block or two off it, and the filling
    // up and drift correction act on whole blocks only. (An output that ran dry or input that
    // was lost since the start moved it.)
    if (undisturbed) {
        EXPECT_NEAR(static_cast<double>(queueDelay), depth * BlockFrames, 2.0 * BlockFrames);
    }
    std::printf("Looper through the JACK loopback at %d Hz, period %d, blocks of %d frames, depth %d: "
                "round trip %lld frames = %.1f ms (queue %lld + route %d; automatic offset %d); "
                "%zu detections:%s; %d..%d blocks queued; %d error lines\n",
                Rate, period, BlockFrames, depth, r.median, 1000.0 * static_cast<double>(r.median) / Rate,
                static_cast<long long>(queueDelay), deviceLatency, offset, r.measured.size(), r.all.c_str(),
                r.minQueued, r.maxQueued, errors);
}

// A click track: a short pulse every `spacing` frames, the first at `first`; left up, right down.
// (The first and last block of a recording are faded: clicks are kept out of them.)
std::vector<int16_t> ClickTrack(int frames, int first, int spacing) {
    std::vector<int16_t> values(2 * static_cast<size_t>(frames), 0);
    for (int at = first; at + 8 <= frames; at += spacing)
        for (int i = 0; i < 8; ++i) {
            values[2 * static_cast<size_t>(at + i)] = 20000;
            values[2 * static_cast<size_t>(at + i) + 1] = -20000;
        }
    return values;
}

// The looper started with a click track of `loopFrames` imported as A1, to be played without
// series recording or a fixed length.
::testing::AssertionResult StartWithClickTrack(LoopbackLooper& rig, const std::string& clicks,
                                               int blockFrames, int loopFrames) {
    test::WriteSound(clicks, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, Rate, ClickTrack(loopFrames, 1700, 3900));
    int imported = 0;
    const ::testing::AssertionResult started = StartLooper(rig, blockFrames, [&](KreiselCore& core) {
        core.Main().CBContinuousRecordingLoops.SetChecked(false);
        core.Main().CBUseFixedLoopTime.SetChecked(false);
        imported = core.Importer().ImportLoops({clicks});
    });
    if (!started) return started;
    if (imported != 1) return ::testing::AssertionFailure() << "the click track was not imported";
    return ::testing::AssertionSuccess();
}

// Where a loop's left channel rises above `threshold`, one position per pulse.
std::vector<int> Pulses(const LoopSlot& slot, int threshold) {
    std::vector<int> at;
    const auto* values = reinterpret_cast<const int16_t*>(slot.Buffer.Data());
    const int frames = slot.LoopLenBytes / 4;
    for (int f = 0; f < frames; ++f)
        if (values[2 * f] > threshold && (at.empty() || f - at.back() > 100)) at.push_back(f);
    return at;
}

std::string Joined(const std::vector<int>& values) {
    std::string text;
    for (const int v : values)
        text += " " + std::to_string(v);
    return text;
}

// One take on a fresh looper: the click track imported as A1 plays, and A2 is armed and
// recorded from what comes back through the loopback. `clean` tells whether no disturbance ran
// through A2's recording.
::testing::AssertionResult RecordTheEcho(LoopbackLooper& rig, const std::string& clicks, int blockFrames,
                                         int loopFrames, bool& clean) {
    std::string why;
    if (!rig.server.Start(&why)) return ::testing::AssertionFailure() << why;
    const ::testing::AssertionResult started = StartWithClickTrack(rig, clicks, blockFrames, loopFrames);
    if (!started) return started;
    KreiselCore& core = *rig.core;
    rig.Serve(300ms);
    core.Main().SBPlay.UserClick();
    if (!core.E().Playing) return ::testing::AssertionFailure() << "A1 does not play";
    rig.Serve(300ms);
    const int64_t before = rig.Disturbances();
    // The queue's delay moving while A2 is recorded is a late cycle too: the streams slipped
    // against each other, and the offset with them.
    bool slipped = false;
    const std::function<void()> follow = core.Card().OnLatencyChanged;
    core.Card().OnLatencyChanged = [&core, &slipped, follow] {
        slipped = slipped || core.E().Recording;
        if (follow) follow();
    };
    core.Main().SBRecord.UserClick(); // arms A2 for the next cycle, one cycle long
    if (!core.E().RecordArmed) return ::testing::AssertionFailure() << "A2 is not armed";
    const auto until = SteadyClock::now() + 5s;
    while (core.E().LoopCount < 2 || core.E().Recording) {
        if (SteadyClock::now() > until)
            return ::testing::AssertionFailure() << "A2 was not recorded; " << LastError(core);
        rig.pump.WaitForEvents(20);
    }
    core.Card().OnLatencyChanged = follow;
    clean = rig.Disturbances() == before && !slipped;
    return ::testing::AssertionSuccess();
}

// A loop recorded from the loopback while a click track plays lines up with it: the offset
// reads the playing loop ahead by exactly what the queue and the route delay it.
TEST_P(JackLoopbackLooper, OverdubFromTheLoopbackLinesUpWithThePlayingLoop) {
    SKIP_WITHOUT_JACKD();
    const int period = GetParam();
    constexpr int BlockFrames = 1000;
    constexpr int LoopFrames = 40 * BlockFrames;
    Watchdog watchdog(kTakes * 30s);
    test::ScratchFolder dir;
    // A take whose clicks are off and that a disturbance ran through is taken again.
    std::unique_ptr<LoopbackLooper> rig;
    std::vector<int> played, heard;
    bool clean = true;
    int worst = 0;
    int takes = 0;
    while (takes < kTakes) {
        ++takes;
        rig.reset(); // one server at a time
        rig = std::make_unique<LoopbackLooper>(period);
        ASSERT_TRUE(RecordTheEcho(*rig, dir / "clicks.wav", BlockFrames, LoopFrames, clean));
        played = Pulses(rig->core->E().Slots[1], 10000);
        heard = Pulses(rig->core->E().Slots[2], 5000);
        worst = heard.size() == played.size() ? 0 : INT_MAX;
        for (size_t i = 0; i < played.size() && i < heard.size(); ++i)
            worst = std::max(worst, std::abs(heard[i] - played[i]));
        if (clean || worst <= 64) break;
    }
    KreiselCore& core = *rig->core;
    const int offset = core.Latency().SEAddOffsetFrms.Value();
    const int errors = core.Card().ErrorCount();
    core.Card().Stop();

    ASSERT_EQ(core.E().Slots[2].LoopLenBytes, 4 * LoopFrames);
    ASSERT_EQ(played.size(), 10u);
    // Every take off and disturbed: what a late server skips or moves is not checked.
    if (!clean && worst > 64)
        GTEST_SKIP() << takes << " takes, each off and with xruns or a queue that ran dry";
    ASSERT_EQ(heard.size(), played.size()) << "A1:" << Joined(played) << "; A2:" << Joined(heard);
    EXPECT_LE(worst, 64) << "A1:" << Joined(played) << "; A2:" << Joined(heard) << "; offset " << offset;
    std::printf("Overdub through the JACK loopback, period %d: A2's clicks at most %d frames from A1's "
                "(offset %d); %d error lines; %d take(s)\n",
                period, worst, offset, errors, takes);
}

INSTANTIATE_TEST_SUITE_P(Jack, JackLoopbackLooper, ::testing::Values(256, 1024),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Period" + std::to_string(info.param);
                         });

// The server dies under the playing looper: the error list says so, nothing hangs, the loops
// stay as they were, and after the server is back a restart of the sound card plays them again,
// from its first block on without the output running dry.
TEST(JackLooperFault, ServerLossIsReportedLoopsSurviveAndARestartPlaysThemAgain) {
    SKIP_WITHOUT_JACKD();
    constexpr int BlockFrames = 1000;
    constexpr int LoopFrames = 20 * BlockFrames;
    Watchdog watchdog(kTakes * 30s);
    test::ScratchFolder dir;
    // A1 plays and A2 is recorded from what comes back, again when a disturbance ran through it.
    std::unique_ptr<LoopbackLooper> rig;
    bool clean = true;
    size_t echoed = 0;
    for (int take = 0; take < kTakes; ++take) {
        rig.reset();
        rig = std::make_unique<LoopbackLooper>(256);
        ASSERT_TRUE(RecordTheEcho(*rig, dir / "clicks.wav", BlockFrames, LoopFrames, clean));
        echoed = Pulses(rig->core->E().Slots[2], 5000).size();
        if (clean || echoed == 5) break;
    }
    KreiselCore& core = *rig->core;
    int16_t peak = 0; // the loudest input since the test last looked
    core.Card().InputDataEvent = [&](const int16_t* block, int bytes) {
        for (int i = 0; i < bytes / 2; ++i)
            peak = std::max(peak, block[i]);
        core.SndInputEvent(block, bytes);
    };
    auto audio = [&core](int loop) {
        const LoopSlot& slot = core.E().Slots[static_cast<size_t>(loop)];
        return std::string(reinterpret_cast<const char*>(slot.Buffer.Data()),
                           static_cast<size_t>(slot.LoopLenBytes));
    };
    const std::string a1 = audio(1);
    const std::string a2 = audio(2);
    ASSERT_EQ(a2.size(), 4u * LoopFrames);
    // A disturbed take may have skipped a click, but never all of them.
    if (clean) {
        ASSERT_EQ(echoed, 5u) << "A2 holds what came back";
    } else {
        ASSERT_GE(echoed, 1u) << "A2 holds what came back";
    }
    rig->Serve(300ms);
    ASSERT_TRUE(core.E().Playing);
    const int errorsBefore = core.Card().ErrorCount();

    rig->server.Kill();
    auto lossReported = [&core] {
        for (const std::string& line : core.SoundCardForm().MemoErrors.Lines())
            if (line.find("Fehler 1001 der Soundkarte: Audiogerät verloren") != std::string::npos)
                return true;
        return false;
    };
    for (const auto until = SteadyClock::now() + 5s; !lossReported();) {
        ASSERT_LT(SteadyClock::now(), until) << "no report of the lost server; " << LastError(core);
        rig->pump.WaitForEvents(20);
    }
    const int64_t blocksAfterLoss = core.Card().Counters().InBlocks;
    rig->Serve(300ms); // nothing hangs, and the core goes on without blocks
    EXPECT_EQ(core.Card().Counters().InBlocks, blocksAfterLoss) << "blocks from a server that is gone";
    EXPECT_EQ(core.E().LoopCount, 2);
    EXPECT_TRUE(audio(1) == a1) << "A1 changed";
    EXPECT_TRUE(audio(2) == a2) << "A2 changed";

    std::string why;
    ASSERT_TRUE(rig->server.Start(&why)) << why;
    const int errorsBeforeRestart = core.Card().ErrorCount();
    core.Card().Restart();
    ASSERT_FALSE(core.Card().Stopped()) << LastError(core);
    // The ports are connected while the core goes on serving blocks, as when a patchbay does it.
    auto wired = std::async(std::launch::async, [&rig] { return WireLoopback(*rig); });
    while (wired.wait_for(0ms) != std::future_status::ready)
        rig->pump.WaitForEvents(20);
    ASSERT_TRUE(wired.get());
    const int errorsAfterRestart = errorsBeforeRestart;
    peak = 0;
    rig->Serve(1500ms);
    // The start zeroed the counters.
    EXPECT_GE(core.Card().Counters().InBlocks, 40) << "blocks flow again";
    EXPECT_TRUE(core.E().Playing);
    EXPECT_GT(peak, 10000) << "A1's clicks come round the loopback again";
    // The queue was filled when the card started: without a disturbance, nothing ran dry.
    const bool disturbed = rig->Disturbances() > core.Card().Queue().Underruns();
    const auto& lines = core.SoundCardForm().MemoErrors.Lines();
    for (size_t i = lines.size() - static_cast<size_t>(core.Card().ErrorCount() - errorsAfterRestart);
         i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].find("Fehler"), std::string::npos) << lines[i];
        if (!disturbed) {
            EXPECT_EQ(lines[i].find("Unterlauf"), std::string::npos) << lines[i];
        }
    }
    EXPECT_TRUE(audio(1) == a1);
    EXPECT_TRUE(audio(2) == a2);
    std::string lossLine;
    for (const std::string& line : lines)
        if (line.find("verloren") != std::string::npos) lossLine = line;
    std::printf("Server loss under the playing looper: %d error line(s) until the restart: \"%s\"\n",
                errorsAfterRestart - errorsBefore, lossLine.c_str());
    core.Card().Stop();
}

// Figures, not a check of them: the round trip through the loopback for a block size and queue
// depth, how the queue's delay came about, and whether the output ran dry. The run lasts
// KREISEL_JACK_SECONDS (default 4); KREISEL_JACK_DEPTH overrides the depth of the small blocks.
struct MeasureCase {
    int Period;
    int BlockFrames;
    int Depth;
};

class JackLooperMeasure : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(JackLooperMeasure, RoundTripAndUnderruns) {
    SKIP_WITHOUT_JACKD();
    const MeasureCase c = GetParam();
    const char* secondsText = std::getenv("KREISEL_JACK_SECONDS");
    const int seconds = secondsText != nullptr ? std::max(4, std::atoi(secondsText)) : 4;
    const char* depthText = std::getenv("KREISEL_JACK_DEPTH");
    const int depth = depthText != nullptr && c.BlockFrames < 1000 ? std::atoi(depthText) : c.Depth;
    LoopbackLooper rig(c.Period);
    Watchdog watchdog(std::chrono::seconds(seconds + 30));
    std::string why;
    ASSERT_TRUE(rig.server.Start(&why)) << why;
    ASSERT_TRUE(StartLooper(rig, c.BlockFrames, [depth](KreiselCore& core) {
        core.Latency().SEOptOutblocksDelay.SetValue(depth);
    }));
    KreiselCore& core = *rig.core;
    rig.Serve(300ms);
    const int64_t started = core.Card().QueueDelayFrames();
    const int counted = core.Card().QueuedOutBlocks();
    // What starting the playback or a reset does: silent blocks up to the depth.
    core.Compensation().FillUp(0);
    rig.Serve(300ms);
    const int64_t filled = core.Card().QueueDelayFrames();
    const int64_t underrunsBefore = core.Card().Queue().Underruns();
    const int64_t xrunsBefore = rig.device->OutputUnderflows() + rig.device->InputOverflows();
    const int64_t disturbancesBefore = rig.Disturbances();
    RoundTrips r;
    ASSERT_TRUE(MeasureRoundTrips(rig, std::chrono::seconds(seconds), r));
    const int64_t underruns = core.Card().Queue().Underruns() - underrunsBefore;
    const int64_t xruns = rig.device->OutputUnderflows() + rig.device->InputOverflows() - xrunsBefore;
    const bool disturbed = rig.Disturbances() != disturbancesBefore;
    if (disturbed && !r.enough) GTEST_SKIP() << "disturbed, detections:" << r.all;
    ASSERT_TRUE(r.enough) << "detections:" << r.all;
    const int offset = core.Latency().SEAddOffsetFrms.Value();
    core.Card().Stop();
    // A server that ran late skipped the clients for a cycle, which moves input and output
    // against each other: the figures before and after differ then.
    if (!disturbed) {
        EXPECT_NEAR(offset, r.median, 64) << "detections:" << r.all;
    }
    std::printf("Round trip through the JACK loopback at %d Hz, period %d, blocks of %d frames, depth %d: "
                "%lld frames = %.2f ms (automatic offset %d); queue delay %lld after the start with %d "
                "block(s) queued, %lld after filling up; %d s: %lld underruns, %lld JACK xruns; offset less "
                "round trip %lld..%lld; detections:%s\n",
                Rate, c.Period, c.BlockFrames, depth, r.median, 1000.0 * static_cast<double>(r.median) / Rate,
                offset, static_cast<long long>(started), counted, static_cast<long long>(filled), seconds,
                static_cast<long long>(underruns), static_cast<long long>(xruns), r.offsetErrorLow,
                r.offsetErrorHigh, r.all.c_str());
}

INSTANTIATE_TEST_SUITE_P(Jack, JackLooperMeasure,
                         ::testing::Values(MeasureCase{256, 1000, 5}, MeasureCase{1024, 1000, 5},
                                           MeasureCase{64, 64, 32}),
                         [](const ::testing::TestParamInfo<MeasureCase>& info) {
                             return "Period" + std::to_string(info.param.Period) + "Blocks" +
                                    std::to_string(info.param.BlockFrames);
                         });

} // namespace
} // namespace kreisel

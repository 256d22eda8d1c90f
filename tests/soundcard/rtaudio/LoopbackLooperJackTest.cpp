// The whole looper against a real JACK server (dummy driver, real time): the wired core with its
// sound card on the RtAudio device, the program's output ports connected to its own input ports,
// and the core thread served from the queue's eventfd as the application serves it. The acoustic
// latency measurement then hears the metronome's own clicks come back through the loopback.
#include "persistence/SoundFiles.h"
#include "soundcard/rtaudio/LoopbackRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <future>
#include <optional>

namespace kreisel {
namespace {

using namespace std::chrono_literals;

constexpr int Rate = kLoopbackRate;
// A real-time run that a loaded machine disturbed is taken again, up to this often.
constexpr int kTakes = 3;

// The number after `key` in the measurement's label ("... = 5432 Frames\r\n(Peak-Diff.: 22050)"):
// the frames before " Frames", the input frames since the detection before after "Peak-Diff.: ".
std::optional<long long> NumberIn(const std::string& label, const std::string& key, bool before) {
    auto at = label.find(key);
    if (at == std::string::npos || (before && at == 0)) return std::nullopt;
    if (before) at = label.rfind(' ', at - 1);
    if (at == std::string::npos) return std::nullopt;
    try {
        return std::stoll(label.substr(before ? at + 1 : at + key.size()));
    } catch (...) {
        return std::nullopt;
    }
}

// The acoustic measurement run for a while: every detection's frames and spacing.
struct RoundTrips {
    std::vector<long long> measured; // frames, one per detection
    std::vector<long long> spacings; // input frames since the detection before
    bool enough = false;             // four detections or more
    long long median = 0;            // of the detections after the first
    std::string all;
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
        const int count = core.Compensation().LatencyCount();
        if (count == seen) continue;
        seen = count;
        const std::string label = core.Latency().LabelLatency.Text();
        const auto frames = NumberIn(label, " Frames", true);
        const auto spacing = NumberIn(label, "Peak-Diff.: ", false);
        if (!frames || !spacing) return ::testing::AssertionFailure() << label;
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
    // shorten it); and the automatic offset is that figure. A measurement that is off and that
    // a disturbance ran through is taken again.
    RoundTrips r;
    auto check = [&](bool expect) {
        if (!r.enough) return false;
        const auto [low, high] = std::minmax_element(r.measured.begin() + 1, r.measured.end());
        const auto [shortest, longest] = std::minmax_element(r.spacings.begin() + 2, r.spacings.end());
        const int offset = core.Latency().SEAddOffsetFrms.Value();
        if (expect) {
            EXPECT_LE(*high - *low, period) << "detections:" << r.all;
            EXPECT_LE(*longest - *shortest, period) << "detections:" << r.all;
            EXPECT_NEAR(static_cast<double>(*shortest), 2.0 * core.Metro().HalfBeatFrames(), period)
                << "detections:" << r.all;
            EXPECT_NEAR(offset, r.median, 64) << "detections:" << r.all;
        }
        return *high - *low <= period && *longest - *shortest <= period &&
               std::abs(*shortest - 2 * core.Metro().HalfBeatFrames()) <= period && std::abs(offset - r.median) <= 64;
    };
    bool clean = true;
    for (int take = 0; take < kTakes; ++take) {
        const int64_t before = rig.Disturbances();
        r = RoundTrips{};
        ASSERT_TRUE(MeasureRoundTrips(rig, 3500ms, r));
        clean = rig.Disturbances() == before;
        if (clean || check(false)) break;
    }
    const bool steady = check(false);
    const int offset = core.Latency().SEAddOffsetFrms.Value();
    const int64_t queueDelay = core.Card().QueueDelayFrames();
    const int deviceLatency = core.Card().DeviceLatencyFrames();
    const bool undisturbed = rig.Disturbances() == 0;
    core.Card().Stop();
    // One duplex client feeding itself: what a callback plays comes back at the start of the
    // next one's input, which the queue's delay already counts; the route adds nothing.
    EXPECT_EQ(deviceLatency, 0);
    EXPECT_EQ(offset, queueDelay + deviceLatency);
    // Every take disturbed and off: what a late server moves is not checked.
    if (!clean && !steady) GTEST_SKIP() << kTakes << " measurements, each off and with xruns or a queue that ran dry";
    ASSERT_TRUE(r.enough) << "detections:" << r.all;
    check(true);
    // The queue holds about the target depth: it starts a block or two off it, and the filling
    // up and drift correction act on whole blocks only. (An output that ran dry or input that
    // was lost since the start moved it.)
    if (undisturbed) {
        EXPECT_NEAR(static_cast<double>(queueDelay), depth * BlockFrames, 2.0 * BlockFrames);
    }
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

// A fresh server and looper with a click track of `loopFrames` imported as A1 (without series
// recording or a fixed length), playing.
::testing::AssertionResult PlayClickTrack(LoopbackLooper& rig, const std::string& clicks, int loopFrames) {
    std::string why;
    if (!rig.server.Start(&why)) return ::testing::AssertionFailure() << why;
    test::WriteSound(clicks, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, Rate, ClickTrack(loopFrames, 1700, 3900));
    int imported = 0;
    const ::testing::AssertionResult started = StartLooper(rig, 1000, [&](KreiselCore& core) {
        core.Main().CBContinuousRecordingLoops.SetChecked(false);
        core.Main().CBUseFixedLoopTime.SetChecked(false);
        imported = core.Importer().ImportLoops({clicks});
    });
    if (!started) return started;
    if (imported != 1) return ::testing::AssertionFailure() << "the click track was not imported";
    rig.Serve(300ms);
    rig.core->Main().SBPlay.UserClick();
    if (!rig.core->E().Playing) return ::testing::AssertionFailure() << "A1 does not play";
    rig.Serve(300ms);
    return ::testing::AssertionSuccess();
}

// Where a loop's left channel rises above `threshold`, one position per pulse.
std::vector<int> Pulses(const LoopSlot& slot, int threshold) {
    std::vector<int> at;
    const auto* values = reinterpret_cast<const int16_t*>(slot.Buffer.Data());
    for (int f = 0; f < slot.LoopLenBytes / 4; ++f)
        if (values[2 * f] > threshold && (at.empty() || f - at.back() > 100)) at.push_back(f);
    return at;
}

std::string Joined(const std::vector<int>& values) {
    std::string text;
    for (const int v : values)
        text += " " + std::to_string(v);
    return text;
}

// One take: the click track imported as A1 plays, and A2 is armed and recorded from what comes
// back through the loopback. `clean` tells whether no disturbance ran through A2's recording.
::testing::AssertionResult RecordTheEcho(LoopbackLooper& rig, const std::string& clicks, int loopFrames,
                                         bool& clean) {
    if (auto playing = PlayClickTrack(rig, clicks, loopFrames); !playing) return playing;
    KreiselCore& core = *rig.core;
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
    constexpr int LoopFrames = 40000;
    Watchdog watchdog(kTakes * 30s);
    test::ScratchFolder dir;
    // A take whose clicks are off and that a disturbance ran through is taken again.
    std::unique_ptr<LoopbackLooper> rig;
    std::vector<int> played, heard;
    bool clean = true;
    int worst = 0;
    for (int take = 0; take < kTakes; ++take) {
        rig.reset(); // one server at a time
        rig = std::make_unique<LoopbackLooper>(GetParam());
        ASSERT_TRUE(RecordTheEcho(*rig, dir / "clicks.wav", LoopFrames, clean));
        played = Pulses(rig->core->E().Slots[1], 10000);
        heard = Pulses(rig->core->E().Slots[2], 5000);
        worst = heard.size() == played.size() ? 0 : INT_MAX;
        for (size_t i = 0; i < played.size() && i < heard.size(); ++i)
            worst = std::max(worst, std::abs(heard[i] - played[i]));
        if (clean || worst <= 64) break;
    }
    rig->core->Card().Stop();
    ASSERT_EQ(rig->core->E().Slots[2].LoopLenBytes, 4 * LoopFrames);
    ASSERT_EQ(played.size(), 10u);
    // Every take off and disturbed: what a late server skips or moves is not checked.
    if (!clean && worst > 64) GTEST_SKIP() << kTakes << " takes, each off and with xruns or a queue that ran dry";
    ASSERT_EQ(heard.size(), played.size()) << "A1:" << Joined(played) << "; A2:" << Joined(heard);
    EXPECT_LE(worst, 64) << "A1:" << Joined(played) << "; A2:" << Joined(heard);
}

INSTANTIATE_TEST_SUITE_P(Jack, JackLoopbackLooper, ::testing::Values(256, 1024),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Period" + std::to_string(info.param);
                         });

// The server dies under the playing looper: the error list says so once, nothing hangs, the loop
// stays as it was, and without a server nothing opens. After the server is back a restart of
// the sound card plays the loop again, from its first block on without the output running dry.
// A card stopped at once when the server dies (before the loss was noticed) starts again too.
TEST(JackLooperFault, ServerLossIsReportedLoopsSurviveAndARestartPlaysThemAgain) {
    SKIP_WITHOUT_JACKD();
    Watchdog watchdog(60s);
    test::ScratchFolder dir;
    LoopbackLooper rig(256);
    ASSERT_TRUE(PlayClickTrack(rig, dir / "clicks.wav", 20000));
    KreiselCore& core = *rig.core;
    int16_t peak = 0; // the loudest input since the test last looked
    core.Card().InputDataEvent = [&](const int16_t* block, int bytes) {
        for (int i = 0; i < bytes / 2; ++i)
            peak = std::max(peak, block[i]);
        core.SndInputEvent(block, bytes);
    };
    const LoopSlot& a1 = core.E().Slots[1];
    const std::string played(reinterpret_cast<const char*>(a1.Buffer.Data()), static_cast<size_t>(a1.LoopLenBytes));
    auto unchanged = [&] {
        return a1.LoopLenBytes == 80000 && std::equal(played.begin(), played.end(), reinterpret_cast<const char*>(a1.Buffer.Data()));
    };
    const auto& lines = core.SoundCardForm().MemoErrors.Lines();
    auto losses = [&lines] {
        return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("Fehler 1001 der Soundkarte: Audiogerät verloren") != std::string::npos;
        });
    };

    rig.server.Kill();
    for (const auto until = SteadyClock::now() + 5s; losses() == 0;) {
        ASSERT_LT(SteadyClock::now(), until) << "no report of the lost server; " << LastError(core);
        rig.pump.WaitForEvents(20);
    }
    const int64_t blocksAfterLoss = core.Card().Counters().InBlocks;
    rig.Serve(300ms); // nothing hangs, and the core goes on without blocks
    EXPECT_EQ(core.Card().Counters().InBlocks, blocksAfterLoss) << "blocks from a server that is gone";
    EXPECT_EQ(losses(), 1);
    EXPECT_FALSE(rig.device->IsOpen()) << "the card keeps a lost device open";
    EXPECT_EQ(core.E().LoopCount, 1);
    EXPECT_TRUE(unchanged()) << "A1 changed";
    core.Card().Stop();
    // Without a server there is nothing to open.
    EXPECT_TRUE(rig.device->OutputDevices().empty());
    EXPECT_EQ(rig.device->OpenOutput(0, {kLoopbackRate, 2, 256}, [](int16_t*, int) {}), AudioNoDriver);

    // The lines since a start: no error, and without a disturbance no output that ran dry (the
    // queue was filled when the card started).
    auto cleanSince = [&](int errorsBefore) {
        const bool disturbed = rig.Disturbances() > core.Card().Queue().Underruns();
        for (size_t i = lines.size() - static_cast<size_t>(core.Card().ErrorCount() - errorsBefore); i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].find("Fehler"), std::string::npos) << lines[i];
            if (!disturbed) {
                EXPECT_EQ(lines[i].find("Unterlauf"), std::string::npos) << lines[i];
            }
        }
    };
    std::string why;
    ASSERT_TRUE(rig.server.Start(&why)) << why;
    int errorsBeforeStart = core.Card().ErrorCount();
    ASSERT_TRUE(core.Card().Start()) << LastError(core);
    // The ports are connected while the core goes on serving blocks, as when a patchbay does it.
    auto wired = std::async(std::launch::async, [&rig] { return WireLoopback(rig); });
    while (wired.wait_for(0ms) != std::future_status::ready)
        rig.pump.WaitForEvents(20);
    ASSERT_TRUE(wired.get());
    peak = 0;
    rig.Serve(1500ms);
    // The start zeroed the counters.
    EXPECT_GE(core.Card().Counters().InBlocks, 40) << "blocks flow again";
    EXPECT_TRUE(core.E().Playing);
    EXPECT_GT(peak, 10000) << "A1's clicks come round the loopback again";
    cleanSince(errorsBeforeStart);
    EXPECT_TRUE(unchanged());

    // Stopped at once: RtAudio's own closing of the JACK stream and the device's must not meet.
    rig.server.Kill();
    const auto closing = SteadyClock::now();
    core.Card().Stop();
    EXPECT_LT(SteadyClock::now() - closing, 5s);
    EXPECT_FALSE(rig.device->IsOpen());
    ASSERT_TRUE(rig.server.Start(&why)) << why;
    errorsBeforeStart = core.Card().ErrorCount();
    ASSERT_TRUE(core.Card().Start()) << LastError(core);
    rig.Serve(500ms);
    EXPECT_GE(core.Card().Counters().InBlocks, 10) << "blocks flow again";
    cleanSince(errorsBeforeStart);
    core.Card().Stop();
}

} // namespace
} // namespace kreisel

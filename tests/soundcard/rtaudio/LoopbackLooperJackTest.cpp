// The whole looper against a real JACK server (dummy driver, real time): the wired core with its
// sound card on the RtAudio device, the program's output ports connected to its own input ports,
// and the core thread served from the queue's eventfd as the application serves it. The acoustic
// latency measurement then hears the metronome's own clicks come back through the loopback.
#include "shell/KreiselCore.h"
#include "soundcard/rtaudio/RtAudioDevice.h"
#include "support/JackServer.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kreisel {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr int Rate = 44100;

// Wall-clock time and timers that fire when the pump comes round and finds them due.
class RealClock : public Clock, public Timers {
  public:
    std::int64_t TickCount() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start_).count();
    }
    int Start(int intervalMs, bool periodic, std::function<void()> callback) override {
        const int id = nextId_++;
        const int interval = std::max(intervalMs, 1);
        timers_[id] = {TickCount() + interval, interval, periodic,
                       std::make_shared<std::function<void()>>(std::move(callback))};
        return id;
    }
    void Stop(int id) override { timers_.erase(id); }

    void FireDue() {
        const std::int64_t now = TickCount();
        std::vector<int> due;
        for (const auto& [id, timer] : timers_)
            if (timer.due <= now) due.push_back(id);
        for (const int id : due) {
            auto it = timers_.find(id);
            if (it == timers_.end()) continue; // stopped by an earlier callback
            auto callback = it->second.callback;
            if (it->second.periodic)
                it->second.due = now + it->second.intervalMs;
            else
                timers_.erase(it);
            (*callback)();
        }
    }

  private:
    struct Timer {
        std::int64_t due;
        int intervalMs;
        bool periodic;
        std::shared_ptr<std::function<void()>> callback;
    };
    SteadyClock::time_point start_ = SteadyClock::now();
    int nextId_ = 1;
    std::map<int, Timer> timers_;
};

// Waits on the card's eventfd, serves the complete input blocks, then the due timers.
class RealPump : public EventPump {
  public:
    explicit RealPump(RealClock& clock) : clock_(clock) {}
    void Attach(SoundCard* card) { card_ = card; }
    void ProcessPendingEvents() override { WaitForEvents(0); }
    void WaitForEvents(int maxMs) override {
        if (card_ != nullptr && card_->Queue().WakeFd() >= 0) {
            pollfd fd{card_->Queue().WakeFd(), POLLIN, 0};
            ::poll(&fd, 1, maxMs);
            card_->ServeInput();
        } else if (maxMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(maxMs));
        }
        clock_.FireDue();
    }

  private:
    RealClock& clock_;
    SoundCard* card_ = nullptr;
};

// Nobody to ask: every box is answered with its default, every message is kept.
class DefaultDialogs : public Dialogs {
  public:
    DialogResult Ask(const Question& question) override { return question.defaultResult; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> OpenFiles(const FileDialogOptions&) override { return {}; }
    std::optional<std::string> SaveFile(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> SelectFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::vector<std::string> messages;
};

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

// The looper on the RtAudio device of a private JACK server, with its output fed back into its
// input. The card is stopped, the device closed and the server ended however the test leaves.
struct LoopbackLooper {
    JackServer server;
    RealClock clock;
    RealPump pump{clock};
    DefaultDialogs dialogs;
    FakeSystemInfo system;
    std::unique_ptr<KreiselCore> core;
    std::unique_ptr<RtAudioDevice> device;

    LoopbackLooper(int period) : server(Rate, period) { system.memory = {256ull << 20, 128ull << 20}; }
    ~LoopbackLooper() {
        if (core) {
            core->Card().Stop();
            core->Card().SetDevice(nullptr);
        }
        core.reset();
        device.reset();
        server.Stop();
    }

    // Serves the core thread for the given wall-clock time.
    void Serve(SteadyClock::duration time) {
        const auto until = SteadyClock::now() + time;
        while (SteadyClock::now() < until)
            pump.WaitForEvents(20);
    }
};

// The program's output ports into its own input ports.
::testing::AssertionResult WireLoopback(LoopbackLooper& rig) {
    std::string why;
    for (const char* channel : {"0", "1"})
        if (!rig.server.Connect(std::string("kreisel-looper out:outport ") + channel,
                                std::string("kreisel-looper in:inport ") + channel, &why))
            return ::testing::AssertionFailure() << why;
    return ::testing::AssertionSuccess();
}

int SystemDevice(const std::vector<AudioDeviceInfo>& devices) {
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].Name == "system") return static_cast<int>(i);
    return -1;
}

// The last line of the sound card's error list, for failure messages.
std::string LastError(KreiselCore& core) {
    const auto& lines = core.SoundCardForm().MemoErrors.Lines();
    return lines.empty() ? std::string() : lines.back();
}

// The core with the input row off (through the loopback it would feed every click back again
// and again), then its sound card started on the private server's own ports with its outputs
// wired to its inputs. `prepare` runs on the core before the card starts.
::testing::AssertionResult StartLooper(LoopbackLooper& rig, int blockFrames,
                                       const std::function<void(KreiselCore&)>& prepare = {}) {
    rig.core = std::make_unique<KreiselCore>(Host{rig.clock, rig.clock, rig.pump, rig.dialogs, rig.system});
    KreiselCore& core = *rig.core;
    rig.pump.Attach(&core.Card());
    core.Main().CBUsePrepareTime.SetChecked(false);
    core.Start();
    if (core.E().Rows[0].LoopOn) core.Loops().MixerRows[0].Play->UserClick();
    if (core.E().Rows[0].LoopOn || core.E().MonitorMode)
        return ::testing::AssertionFailure() << "the input still reaches the output";
    if (prepare) prepare(core);

    if (!rig.device) rig.device = std::make_unique<RtAudioDevice>(AudioApi::Jack, "kreisel-looper");
    const int in = SystemDevice(rig.device->InputDevices());
    const int out = SystemDevice(rig.device->OutputDevices());
    if (in < 0 || out < 0) return ::testing::AssertionFailure() << "no system ports";
    core.Card().SetDevice(rig.device.get());
    core.Card().SetDeviceIds(in, out);
    core.SoundCardForm().SEFreq.SetValue(Rate);
    core.SoundCardForm().SEMemBlockFrames.SetValue(blockFrames);
    if (!core.Card().Start()) return ::testing::AssertionFailure() << "start: " << LastError(core);
    return WireLoopback(rig);
}

// The acoustic measurement run for a while: every detection's frames and spacing, the queue.
struct RoundTrips {
    std::vector<long long> measured; // frames, one per detection
    std::vector<long long> spacings; // input frames since the detection before
    int minQueued = 1000;            // output blocks queued, the playing one included
    int maxQueued = 0;
    long long median = 0; // of the detections after the first
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
        r.minQueued = std::min(r.minQueued, core.Card().QueuedOutBlocks());
        r.maxQueued = std::max(r.maxQueued, core.Card().QueuedOutBlocks());
        const int count = core.Compensation().LatencyCount();
        if (count == seen) continue;
        seen = count;
        const std::string label = core.Latency().LabelLatency.Text();
        const auto frames = FramesIn(label);
        const auto spacing = PeakDiffIn(label);
        if (!frames || !spacing) return ::testing::AssertionFailure() << label;
        r.measured.push_back(*frames);
        r.spacings.push_back(*spacing);
        r.all += " " + std::to_string(*frames);
    }
    core.Compensation().LabelLatencyClick();
    if (r.measured.size() < 4) return ::testing::AssertionFailure() << "detections:" << r.all;
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
    RoundTrips r;
    ASSERT_TRUE(MeasureRoundTrips(rig, 3500ms, r));
    const int offset = core.Latency().SEAddOffsetFrms.Value();
    const int64_t queueDelay = core.Card().QueueDelayFrames();
    const int deviceLatency = core.Card().DeviceLatencyFrames();
    const int errors = core.Card().ErrorCount();
    core.Card().Stop();

    // One steady figure, and every tick heard: from the second detection on, each follows the
    // one before by the metronome's beat (a missed tick would double it, an echo or noise
    // shorten it).
    const auto [low, high] = std::minmax_element(r.measured.begin() + 1, r.measured.end());
    EXPECT_LE(*high - *low, period) << "detections:" << r.all;
    const auto [shortest, longest] = std::minmax_element(r.spacings.begin() + 2, r.spacings.end());
    EXPECT_LE(*longest - *shortest, period) << "detections:" << r.all;
    EXPECT_NEAR(static_cast<double>(*shortest), 2.0 * core.Metro().HalfBeatFrames(), period)
        << "detections:" << r.all;

    // The round trip is what the automatic offset compensates: the queue's measured delay and
    // the route through the server, which feeds the output back to the input a cycle later.
    EXPECT_NEAR(offset, r.median, 64) << "detections:" << r.all;
    EXPECT_EQ(deviceLatency, period);
    EXPECT_EQ(offset, queueDelay + deviceLatency);
    // The queue holds about the target depth: it starts a block or two off it, and the filling
    // up and drift correction act on whole blocks only.
    EXPECT_NEAR(static_cast<double>(queueDelay), depth * BlockFrames, 2.0 * BlockFrames);
    std::printf("Looper through the JACK loopback at %d Hz, period %d, blocks of %d frames, depth %d: "
                "round trip %lld frames = %.1f ms (queue %lld + route %d; automatic offset %d); "
                "%zu detections:%s; %d..%d blocks queued; %d error lines\n",
                Rate, period, BlockFrames, depth, r.median, 1000.0 * static_cast<double>(r.median) / Rate,
                static_cast<long long>(queueDelay), deviceLatency, offset, r.measured.size(), r.all.c_str(),
                r.minQueued, r.maxQueued, errors);
}

INSTANTIATE_TEST_SUITE_P(Jack, JackLoopbackLooper, ::testing::Values(256, 1024),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Period" + std::to_string(info.param);
                         });

} // namespace
} // namespace kreisel

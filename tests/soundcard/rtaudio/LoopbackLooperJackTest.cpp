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

int SystemDevice(const std::vector<AudioDeviceInfo>& devices) {
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].Name == "system") return static_cast<int>(i);
    return -1;
}

class JackLoopbackLooper : public ::testing::TestWithParam<int> {};

TEST_P(JackLoopbackLooper, AcousticMeasurementHearsEveryTickWithTheQueueDelay) {
    SKIP_WITHOUT_JACKD();
    const int period = GetParam();
    constexpr int BlockFrames = 1000;
    LoopbackLooper rig(period);
    Watchdog watchdog(60s); // started once the server is ours
    std::string why;
    ASSERT_TRUE(rig.server.Start(&why)) << why;

    rig.core = std::make_unique<KreiselCore>(Host{rig.clock, rig.clock, rig.pump, rig.dialogs, rig.system});
    KreiselCore& core = *rig.core;
    rig.pump.Attach(&core.Card());
    core.Main().CBUsePrepareTime.SetChecked(false);
    core.Start();
    // The input row plays what comes in; through the loopback every click would then come back
    // again and again, as with a microphone next to a loudspeaker that plays the input.
    if (core.E().Rows[0].LoopOn) core.Loops().MixerRows[0].Play->UserClick();
    ASSERT_FALSE(core.E().Rows[0].LoopOn);
    ASSERT_FALSE(core.E().MonitorMode);

    rig.device = std::make_unique<RtAudioDevice>(AudioApi::Jack, "kreisel-looper");
    const int in = SystemDevice(rig.device->InputDevices());
    const int out = SystemDevice(rig.device->OutputDevices());
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    core.Card().SetDevice(rig.device.get());
    core.Card().SetDeviceIds(in, out);
    core.SoundCardForm().SEFreq.SetValue(Rate);
    core.SoundCardForm().SEMemBlockFrames.SetValue(BlockFrames);
    const int depth = core.Latency().SEOptOutblocksDelay.Value();
    ASSERT_TRUE(core.Card().Start()) << (core.SoundCardForm().MemoErrors.Lines().empty()
                                             ? std::string()
                                             : core.SoundCardForm().MemoErrors.Lines().back());
    ASSERT_TRUE(rig.server.Connect("kreisel-looper out:outport 0", "kreisel-looper in:inport 0", &why))
        << why;
    ASSERT_TRUE(rig.server.Connect("kreisel-looper out:outport 1", "kreisel-looper in:inport 1", &why))
        << why;
    rig.Serve(500ms); // the queue settles at its depth

    core.Compensation().ButtonCalcLatencyClick();
    ASSERT_TRUE(core.Compensation().Measuring());
    EXPECT_TRUE(core.E().MetroOn) << "the measurement switches the metronome on";

    std::vector<long long> measured;     // frames, one per detection
    int minQueued = 1000, maxQueued = 0; // output blocks queued, the playing one included
    std::vector<long long> spacings;     // input frames since the detection before
    int seen = 0;
    const auto until = SteadyClock::now() + 3500ms;
    while (SteadyClock::now() < until) {
        rig.pump.WaitForEvents(20);
        minQueued = std::min(minQueued, core.Card().QueuedOutBlocks());
        maxQueued = std::max(maxQueued, core.Card().QueuedOutBlocks());
        const int count = core.Compensation().LatencyCount();
        if (count != seen) {
            seen = count;
            const auto frames = FramesIn(core.Latency().LabelLatency.Text());
            ASSERT_TRUE(frames.has_value()) << core.Latency().LabelLatency.Text();
            measured.push_back(*frames);
            const auto spacing = PeakDiffIn(core.Latency().LabelLatency.Text());
            ASSERT_TRUE(spacing.has_value()) << core.Latency().LabelLatency.Text();
            spacings.push_back(*spacing);
        }
    }
    const int errors = core.Card().ErrorCount();
    core.Compensation().LabelLatencyClick();
    core.Card().Stop();

    EXPECT_GE(std::stoi(core.Latency().LabelLatencyCounter.Text()), 4);
    ASSERT_GE(measured.size(), 4u);
    // The first detection may come from a click scheduled before the measurement began; the rest
    // must agree within one device period.
    const std::vector<long long> steady(measured.begin() + 1, measured.end());
    const auto [low, high] = std::minmax_element(steady.begin(), steady.end());
    std::string all;
    for (const long long m : measured)
        all += " " + std::to_string(m);
    EXPECT_LE(*high - *low, period) << "detections:" << all;

    // Every tick is heard: from the second detection on, each follows the one before by the
    // metronome's beat (a missed tick would double it, an echo or noise shorten it).
    const std::vector<long long> beats(spacings.begin() + 2, spacings.end());
    const auto [shortest, longest] = std::minmax_element(beats.begin(), beats.end());
    EXPECT_LE(*longest - *shortest, period) << "detections:" << all;
    EXPECT_NEAR(static_cast<double>(*shortest), 2.0 * core.Metro().HalfBeatFrames(), period)
        << "detections:" << all;

    // The click is scheduled as the block that carries it is written and waits behind the other
    // queued blocks: the target depth. The queue is only held near it: the filling up tolerates
    // a block short, the drift correction acts when it grows, and the blocks are counted when
    // the core thread looks, between device periods; in these runs it settled anywhere from two
    // blocks below to two above from one start to the next, but stays put within a run. The
    // loopback adds JACK's own buffering, at most four periods in the dummy driver (see the
    // device's loopback test).
    const long long median = steady[steady.size() / 2];
    const long long predicted = static_cast<long long>(depth) * BlockFrames;
    EXPECT_GE(median, predicted - 2 * BlockFrames) << "detections:" << all;
    EXPECT_LE(median, predicted + 2 * BlockFrames + 4LL * period) << "detections:" << all;
    // The same against the blocks that were really queued while the clicks went round.
    EXPECT_GE(median, static_cast<long long>(minQueued - 1) * BlockFrames) << "detections:" << all;
    EXPECT_LE(median, static_cast<long long>(maxQueued + 1) * BlockFrames + 4LL * period)
        << "detections:" << all;
    std::printf("Looper through the JACK loopback at %d Hz, period %d, blocks of %d frames, depth %d: "
                "measured latency %lld frames = %.1f ms (depth x block: %lld frames); "
                "%zu detections:%s; %d..%d blocks queued; %d error lines\n",
                Rate, period, BlockFrames, depth, median, 1000.0 * static_cast<double>(median) / Rate,
                predicted, measured.size(), all.c_str(), minQueued, maxQueued, errors);
}

INSTANTIATE_TEST_SUITE_P(Jack, JackLoopbackLooper, ::testing::Values(256, 1024),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Period" + std::to_string(info.param);
                         });

} // namespace
} // namespace kreisel

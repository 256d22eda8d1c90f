// The RtAudio device against a real JACK server (dummy driver, real time): device lists and
// open errors, and a loopback of the program's output into its own input. (A server that dies
// under running streams: the looper's own JACK tests.)
#include "soundcard/rtaudio/LoopbackRig.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <map>
#include <thread>

namespace kreisel {
namespace {

using namespace std::chrono_literals;
constexpr int Rate = kLoopbackRate;

template <typename Condition> bool WaitFor(Condition condition, SteadyClock::duration timeout) {
    const auto until = SteadyClock::now() + timeout;
    while (!condition()) {
        if (SteadyClock::now() >= until) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

StreamFormat Format(int period) {
    return StreamFormat{Rate, 2, period};
}

void Silence(int16_t* frames, int count) {
    std::fill_n(frames, 2 * count, int16_t{0});
}

TEST(JackRtAudioDevice, ListsDevicesAndRefusesWhatItCannotOpen) {
    SKIP_WITHOUT_JACKD();
    JackServer server(Rate, 256);
    Watchdog watchdog(60s); // started once the server is ours
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;

    RtAudioDevice device(AudioApi::Jack, "kreisel-list");
    EXPECT_EQ(device.ApiName(), "JACK");
    const auto inputs = device.InputDevices();
    const auto outputs = device.OutputDevices();
    ASSERT_FALSE(inputs.empty());
    ASSERT_FALSE(outputs.empty());
    const int in = SystemDevice(inputs);
    const int out = SystemDevice(outputs);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    EXPECT_EQ(inputs[in].InputChannels, 2);
    EXPECT_EQ(outputs[out].OutputChannels, 2);
    EXPECT_EQ(inputs[in].SampleRates, std::vector<int>{Rate});

    auto ignoreInput = [](const int16_t*, int) {};
    EXPECT_EQ(device.QueryInput(in, Format(256)), AudioOk) << device.LastErrorDetail();
    EXPECT_EQ(device.QueryOutput(out, Format(256)), AudioOk) << device.LastErrorDetail();
    EXPECT_EQ(device.OpenInput(static_cast<int>(inputs.size()), Format(256), ignoreInput), AudioBadDeviceId);
    EXPECT_EQ(device.OpenOutput(-1, Format(256), Silence), AudioBadDeviceId);
    // JACK runs at the server's rate only.
    EXPECT_EQ(device.QueryOutput(out, StreamFormat{48000, 2, 256}), AudioBadFormat)
        << device.LastErrorDetail();
    EXPECT_EQ(device.OpenInput(in, StreamFormat{Rate, 1, 256}, ignoreInput), AudioBadFormat);
    EXPECT_EQ(device.OpenInput(in, StreamFormat{0, 2, 256}, ignoreInput), AudioInvalidParameter);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Start(), 5); // "device handle is invalid": nothing is open

    // The server's period wins over the one asked for.
    ASSERT_EQ(device.OpenInput(in, Format(1000), ignoreInput), AudioOk);
    EXPECT_EQ(device.InputPeriodFrames(), 256);
    EXPECT_EQ(device.OpenInput(in, Format(256), ignoreInput), AudioAllocated);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
}

// The looper's own path in small: each time the input passes a multiple of 4410 frames, the
// input callback asks for a click and the next output callback plays it at the start of its
// buffer, left up and right down. The round trip runs from the end of the input buffer that
// asked to the input frame where the click comes back.
struct ClickEcho {
    static constexpr int Spacing = 4410;
    static constexpr int Height = 16000;
    static constexpr int MaxClicks = 256;

    std::atomic<int64_t> firstClick{MaxClicks}; // none until the loop is closed
    std::atomic<int64_t> asked{-1};
    std::array<int64_t, MaxClicks> askedAt{}; // input position at the end of the asking buffer
    std::array<int64_t, MaxClicks> sentAt{};  // output position of the click
    std::array<int64_t, MaxClicks> hitAt{};   // input position of a returning click
    std::atomic<int64_t> recorded{0}, played{0};
    int64_t lastSent = -1;
    std::atomic<int> sent{0}, hits{0}, crossedChannels{0}, noise{0};

    void Record(const int16_t* frames, int count) {
        const int64_t base = recorded.load();
        for (int i = 0; i < count; ++i) {
            const int left = frames[2 * i];
            const int right = frames[2 * i + 1];
            if (left > Height / 2) {
                if (right > -Height / 2) ++crossedChannels;
                if (hits < MaxClicks) hitAt[static_cast<size_t>(hits++)] = base + i;
            } else if (std::abs(left) > 64 || std::abs(right) > 64) {
                ++noise;
            }
        }
        const int64_t end = base + count;
        recorded.store(end);
        const int64_t click = (end - 1) / Spacing;
        if (click * Spacing >= base && click >= firstClick.load() && click < MaxClicks) {
            askedAt[static_cast<size_t>(click)] = end;
            asked.store(click, std::memory_order_release);
        }
    }

    void Play(int16_t* frames, int count) {
        std::fill_n(frames, 2 * count, int16_t{0});
        if (const int64_t click = asked.load(std::memory_order_acquire); click > lastSent) {
            lastSent = click;
            frames[0] = Height;
            frames[1] = -Height;
            sentAt[static_cast<size_t>(click)] = played.load();
            ++sent;
        }
        played.store(played.load() + count);
    }

    // The click a returning one was: the last asked for before it; -1 for none.
    int64_t Source(int hit) const {
        for (int64_t click = lastSent; click >= firstClick.load(); --click)
            if (askedAt[static_cast<size_t>(click)] <= hitAt[static_cast<size_t>(hit)]) return click;
        return -1;
    }
};

class JackLoopback : public ::testing::TestWithParam<int> {};

TEST_P(JackLoopback, RoundTripIsConstantAndWithinTheBuffering) {
    SKIP_WITHOUT_JACKD();
    const int period = GetParam();
    JackServer server(Rate, period);
    Watchdog watchdog(60s); // started once the server is ours
    std::string why;
    ASSERT_TRUE(server.Start(&why)) << why;

    RtAudioDevice device(AudioApi::Jack, "kreisel-loop");
    const int in = SystemDevice(device.InputDevices());
    const int out = SystemDevice(device.OutputDevices());
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    ClickEcho echo;
    std::atomic<int> errors{0};
    device.SetErrorCallback([&](int) { errors.fetch_add(1); });
    ASSERT_EQ(device.OpenInput(in, Format(period), [&](const int16_t* f, int n) { echo.Record(f, n); }),
              AudioOk);
    ASSERT_EQ(device.OpenOutput(out, Format(period), [&](int16_t* f, int n) { echo.Play(f, n); }), AudioOk);
    ASSERT_EQ(device.Start(), AudioOk);
    // Both directions run in one JACK client.
    ASSERT_TRUE(device.Duplex());
    EXPECT_EQ(device.JackPortName(true, 1), "kreisel-loop:inport 1");
    for (int channel : {0, 1})
        ASSERT_TRUE(server.Connect(device.JackPortName(false, channel), device.JackPortName(true, channel), &why))
            << why;
    // The first click is asked for at least one spacing after both connections stand.
    echo.firstClick.store(device.InputPosition() / ClickEcho::Spacing + 2);

    const int64_t from = device.InputPosition();
    const bool ran = WaitFor([&] { return device.InputPosition() >= from + 2 * Rate; }, 6s);
    const int inLatency = device.InputLatencyFrames();
    const int outLatency = device.OutputLatencyFrames();
    const int64_t xruns = device.InputOverflows() + device.OutputUnderflows();
    device.Close(); // no callback runs after this: the records can be read
    ASSERT_TRUE(ran) << "the input stood still at " << device.InputPosition();

    EXPECT_EQ(errors.load(), 0);
    EXPECT_EQ(echo.crossedChannels.load(), 0);
    EXPECT_EQ(echo.noise.load(), 0);

    const int hits = echo.hits.load();
    const int sent = echo.sent.load();
    ASSERT_GE(hits, 10) << "2 s of clicks every 0.1 s";
    std::map<int64_t, int> roundTrips; // frames -> clicks
    std::map<int64_t, int> positionDelays;
    for (int i = 0; i < hits; ++i) {
        const int64_t click = echo.Source(i);
        ASSERT_GE(click, 0) << "a click that was never sent, at input frame " << echo.hitAt[i];
        ++roundTrips[echo.hitAt[i] - echo.askedAt[click]];
        ++positionDelays[echo.hitAt[i] - echo.sentAt[click]];
    }
    const auto mostCommon = [](const std::map<int64_t, int>& counts) {
        return std::max_element(counts.begin(), counts.end(),
                                [](const auto& a, const auto& b) { return a.second < b.second; });
    };
    const auto [roundTrip, steadyClicks] = *mostCommon(roundTrips);
    const int64_t positionDelay = mostCommon(positionDelays)->first;
    if (xruns == 0) {
        // Every click comes back but the last, which may still have been under way, and all
        // with the same delay.
        EXPECT_GE(hits, sent - 1);
        EXPECT_EQ(roundTrips.size(), 1u);
        EXPECT_EQ(positionDelays.size(), 1u);
    } else {
        // A server that ran late skips clients for a cycle, which loses audio and moves the
        // streams against each other; the delay must still hold for most clicks.
        EXPECT_GE(steadyClicks * 4, hits * 3) << xruns << " xruns";
    }
    // One duplex callback takes the input, then plays; RtAudio reads the input ports after the
    // output was written. So a click asked for at the end of one call's input is played in that
    // call and comes back as the first frame of the next call's input: on the input's count, no
    // delay at all, and the route figures say the same.
    EXPECT_EQ(roundTrip, 0);
    EXPECT_EQ(positionDelay, period);
    EXPECT_EQ(inLatency + outLatency, 0);
}

INSTANTIATE_TEST_SUITE_P(Jack, JackLoopback, ::testing::Values(256, 1024),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Period" + std::to_string(info.param);
                         });

} // namespace
} // namespace kreisel

// The built-in device: WAV files in any format and rate in, 16-bit stereo WAV out, silence after
// the end, the test tone, the format checks, and one short run of the paced mode.
#include "soundcard/filedevice/FileDevice.h"
#include "persistence/SoundFiles.h"
#include "support/ScratchFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

namespace kreisel {
namespace {

struct FileDeviceTest : ::testing::Test {
    test::ScratchFolder dir{"filedevice"};
    std::vector<int16_t> got; // what the input delivered
    FileDevice d;

    FileDeviceTest() { d.SetPacing(FileDevice::Pacing::LockStep); }
    int OpenInput(const StreamFormat& format) {
        return d.OpenInput(0, format, [this](const int16_t* frames, int count) {
            got.insert(got.end(), frames, frames + 2 * count);
        });
    }
};

// Upward zero crossings of the left channel in [from, to).
int Crossings(const std::vector<int16_t>& stereo, size_t from, size_t to) {
    int n = 0;
    for (size_t i = from + 1; i < to; ++i)
        n += stereo[2 * (i - 1)] < 0 && stereo[2 * i] >= 0;
    return n;
}

TEST_F(FileDeviceTest, MonoFileAtAnotherRateRoundTripsToAStereoWav) {
    // One second of a 1000 Hz tone at 48 kHz, mono, 24-bit.
    std::vector<int16_t> tone(48000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(std::lround(0.3 * 32768 * std::sin(2 * std::numbers::pi * 1000 * i / 48000.0)));
    test::WriteSound(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000, tone);
    d.SetInputFile(dir / "in.wav");
    d.SetOutputFile(dir / "out.wav");
    const StreamFormat format{44100, 2, 1000};
    ASSERT_EQ(OpenInput(format), AudioOk);
    ASSERT_EQ(d.OpenOutput(0, format,
                           [&](int16_t* frames, int count) { // what came in goes out again
                               std::copy(got.begin(), got.begin() + 2 * count, frames);
                               got.erase(got.begin(), got.begin() + 2 * count);
                           }),
              AudioOk);
    ASSERT_EQ(d.Start(), AudioOk);
    int steps = 0;
    for (; !d.InputFinished() && steps < 100; ++steps)
        d.Pump();
    d.Step(1000); // a block of the silence after the end
    d.Close();
    EXPECT_EQ(d.InputPosition(), int64_t{steps + 1} * 1000);

    SF_INFO info{};
    SNDFILE* f = sf_open((dir / "out.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ASSERT_EQ(info.frames, d.InputPosition());
    std::vector<int16_t> played(static_cast<size_t>(info.frames) * 2);
    sf_readf_short(f, played.data(), info.frames);
    sf_close(f);

    // The tone lasts one second at the new rate, on both channels; then silence.
    size_t last = 0;
    int peak = 0;
    for (size_t i = 0; i < played.size() / 2; ++i) {
        if (std::abs(played[2 * i]) > 300) last = i;
        peak = std::max(peak, std::abs(int{played[2 * i]}));
        ASSERT_EQ(played[2 * i], played[2 * i + 1]) << i;
    }
    EXPECT_NEAR(static_cast<double>(last), 44100, 50);
    EXPECT_NEAR(Crossings(played, 1000, 43100), 42100 * 1000.0 / 44100, 1.5); // 1000 Hz
    EXPECT_NEAR(peak, 0.3 * 32768, 200);
}

TEST_F(FileDeviceTest, SameRateKeepsValuesAndTakesTheFirstTwoChannels) {
    std::vector<int16_t> values(3 * 2500);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<int16_t>((i % 3 + 1) * 100 + i / 3 % 7);
    test::WriteSound(dir / "three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, 44100, values);
    d.SetInputFile(dir / "three.wav");
    ASSERT_EQ(OpenInput({44100, 2, 1000}), AudioOk);
    ASSERT_EQ(d.Start(), AudioOk);
    d.Step(2000);
    EXPECT_FALSE(d.InputFinished());
    d.Step(1000);
    EXPECT_TRUE(d.InputFinished());
    ASSERT_EQ(got.size(), 2u * 3000);
    for (int i = 0; i < 2500; ++i) {
        ASSERT_EQ(got[2 * static_cast<size_t>(i)], 100 + i % 7) << i;
        ASSERT_EQ(got[2 * static_cast<size_t>(i) + 1], 200 + i % 7) << i;
    }
    EXPECT_TRUE(std::all_of(got.begin() + 5000, got.end(), [](int16_t v) { return v == 0; }));
    d.Close();
}

TEST_F(FileDeviceTest, ToneSourceAndDiscardedOutputAtItsOwnRate) {
    d.SetInputTone(441.0, 10000);
    EXPECT_EQ(d.InputDevices().at(0).Name, "Testton 441 Hz");
    EXPECT_EQ(d.OutputDevices().at(0).Name, "keine Ausgabe");
    int outFrames = 0;
    ASSERT_EQ(OpenInput({44100, 2, 441}), AudioOk);
    // The output runs 1 % faster, as a drift correction of the output rate asks.
    ASSERT_EQ(d.OpenOutput(0, {44541, 2, 441}, [&](int16_t*, int count) { outFrames += count; }), AudioOk);
    ASSERT_EQ(d.Start(), AudioOk);
    for (int i = 0; i < 100; ++i)
        d.Pump();
    EXPECT_NEAR(Crossings(got, 0, 44100), 440, 1);
    EXPECT_EQ(*std::max_element(got.begin(), got.end()), 10000);
    EXPECT_EQ(outFrames, 44541);
    EXPECT_EQ(d.OutputPosition(), 44541);
    d.Close();
    d.Step(1000); // closed: nothing moves
    EXPECT_EQ(d.InputPosition(), 44100);
}

TEST_F(FileDeviceTest, RefusesWhatItCannotOpen) {
    EXPECT_EQ(d.QueryInput(1, {}), AudioBadDeviceId);
    EXPECT_EQ(d.QueryOutput(0, {0, 2, 1000}), AudioBadFormat);
    EXPECT_EQ(d.QueryInput(0, {44100, 1, 1000}), AudioBadFormat);
    d.SetInputFile(dir / "fehlt.wav");
    EXPECT_EQ(d.OpenInput(0, {}, {}), AudioFileError);
    EXPECT_NE(d.ErrorText(AudioFileError).find("fehlt.wav"), std::string::npos);
    EXPECT_FALSE(d.IsOpen());
    d.SetOutputFile(dir / "kein/ordner.wav");
    EXPECT_EQ(d.OpenOutput(0, {}, {}), AudioFileError);
    EXPECT_EQ(d.Start(), AudioUnspecified);
    // A rate libsamplerate cannot reach from the file's.
    test::WriteSound(dir / "low.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 100, std::vector<int16_t>(10));
    d.SetInputFile(dir / "low.wav");
    EXPECT_EQ(d.OpenInput(0, {100000, 2, 1000}, {}), AudioFileError);
    EXPECT_NE(d.ErrorText(AudioFileError).find("100 Hz lässt sich nicht umrechnen"), std::string::npos);
    EXPECT_EQ(d.OpenInput(0, {8000, 2, 1000}, {}), AudioOk);
    d.Close();
}

// The one test that runs in real time: the pacing thread delivers periods on its own and stops
// when closed.
TEST(FileDevicePaced, RunsOnItsOwnThread) {
    FileDevice d;
    d.SetInputSilence();
    std::atomic<bool> otherThread{false};
    const auto self = std::this_thread::get_id();
    ASSERT_EQ(d.OpenInput(0, {44100, 2, 441},
                          [&](const int16_t*, int) { otherThread = std::this_thread::get_id() != self; }),
              AudioOk);
    ASSERT_EQ(d.OpenOutput(0, {44100, 2, 441}, [](int16_t*, int) {}), AudioOk);
    ASSERT_EQ(d.Start(), AudioOk);
    d.Step(100000); // lock-step calls do nothing in this mode
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (d.InputPosition() < 441 * 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    d.Close();
    EXPECT_GE(d.InputPosition(), 441 * 5);
    EXPECT_EQ(d.InputPosition() % 441, 0);
    EXPECT_TRUE(otherThread);
    const int64_t stopped = d.InputPosition();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(d.InputPosition(), stopped);
}

} // namespace
} // namespace kreisel

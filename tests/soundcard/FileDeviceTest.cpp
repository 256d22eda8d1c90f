// The built-in device: WAV files in any format and rate in, 16-bit stereo WAV out, silence after
// the end, the test tone, the format checks, and one short run of the paced mode.
#include "soundcard/filedevice/FileDevice.h"
#include "support/ScratchFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <numbers>
#include <thread>
#include <vector>

namespace kreisel {
namespace {

namespace fs = std::filesystem;

struct FileDeviceTest : ::testing::Test {
    test::ScratchFolder scratch{"filedevice"};
    const fs::path dir = scratch.Dir();

    // A WAV file of `frames` frames whose sample (frame, channel) the function gives.
    fs::path WriteWav(const std::string& name, int rate, int channels, int frames, int format,
                      const std::function<double(int, int)>& sample) {
        const fs::path path = dir / name;
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
        std::vector<double> data(static_cast<size_t>(frames) * channels);
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                data[static_cast<size_t>(i) * channels + c] = sample(i, c);
        sf_writef_double(f, data.data(), frames);
        sf_close(f);
        return path;
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
    const fs::path in = WriteWav("in.wav", 48000, 1, 48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24, [](int i, int) {
        return 0.3 * std::sin(2 * std::numbers::pi * 1000 * i / 48000.0);
    });
    const fs::path out = dir / "out.wav";
    FileDevice d;
    d.SetPacing(FileDevice::Pacing::LockStep);
    d.SetInputFile(in);
    d.SetOutputFile(out);
    std::vector<int16_t> loop; // what came in goes out again
    int64_t received = 0;
    const StreamFormat format{44100, 2, 1000};
    ASSERT_EQ(d.OpenInput(0, format,
                          [&](const int16_t* frames, int count) {
                              loop.insert(loop.end(), frames, frames + 2 * count);
                              received += count;
                          }),
              AudioOk);
    ASSERT_EQ(d.OpenOutput(0, format,
                           [&](int16_t* frames, int count) {
                               std::copy(loop.begin(), loop.begin() + 2 * count, frames);
                               loop.erase(loop.begin(), loop.begin() + 2 * count);
                           }),
              AudioOk);
    ASSERT_EQ(d.Start(), AudioOk);
    int steps = 0;
    while (!d.InputFinished() && steps < 100) {
        d.Pump();
        ++steps;
    }
    d.Step(1000); // a block of the silence after the end
    d.Close();
    EXPECT_EQ(d.InputPosition(), int64_t{steps + 1} * 1000);
    EXPECT_EQ(received, d.InputPosition());

    SF_INFO info{};
    SNDFILE* f = sf_open(out.c_str(), SFM_READ, &info);
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
    for (size_t i = 0; i < played.size() / 2; ++i)
        if (std::abs(played[2 * i]) > 300) last = i;
    EXPECT_NEAR(static_cast<double>(last), 44100, 50);
    EXPECT_NEAR(Crossings(played, 1000, 43100), 42100 * 1000.0 / 44100, 1.5); // 1000 Hz
    bool equal = true;
    for (size_t i = 0; i < played.size() / 2; ++i)
        equal = equal && played[2 * i] == played[2 * i + 1];
    EXPECT_TRUE(equal);
    int peak = 0;
    for (int16_t v : played)
        peak = std::max(peak, std::abs(int{v}));
    EXPECT_NEAR(peak, 0.3 * 32768, 200);
}

TEST_F(FileDeviceTest, SameRateKeepsValuesAndTakesTheFirstTwoChannels) {
    const fs::path in = WriteWav("three.wav", 44100, 3, 2500, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                 [](int i, int c) { return ((c + 1) * 100 + i % 7) / 32768.0; });
    FileDevice d;
    d.SetPacing(FileDevice::Pacing::LockStep);
    d.SetInputFile(in);
    std::vector<int16_t> got;
    ASSERT_EQ(d.OpenInput(0, {44100, 2, 1000},
                          [&](const int16_t* frames, int count) {
                              got.insert(got.end(), frames, frames + 2 * count);
                          }),
              AudioOk);
    ASSERT_EQ(d.Start(), AudioOk);
    d.Step(1000);
    d.Step(1000);
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
    FileDevice d;
    d.SetPacing(FileDevice::Pacing::LockStep);
    d.SetInputTone(441.0, 10000);
    EXPECT_EQ(d.InputDevices().at(0).Name, "Testton 441 Hz");
    EXPECT_EQ(d.OutputDevices().at(0).Name, "keine Ausgabe");
    std::vector<int16_t> got;
    int outFrames = 0;
    ASSERT_EQ(d.OpenInput(0, {44100, 2, 441},
                          [&](const int16_t* frames, int count) {
                              got.insert(got.end(), frames, frames + 2 * count);
                          }),
              AudioOk);
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
    FileDevice d;
    EXPECT_EQ(d.QueryInput(1, {}), AudioBadDeviceId);
    EXPECT_EQ(d.QueryOutput(0, {0, 2, 1000}), AudioBadFormat);
    EXPECT_EQ(d.QueryInput(0, {44100, 1, 1000}), AudioBadFormat);
    d.SetInputFile(dir / "fehlt.wav");
    EXPECT_EQ(d.OpenInput(0, {}, {}), AudioFileError);
    EXPECT_NE(d.ErrorText(AudioFileError).find("fehlt.wav"), std::string::npos);
    EXPECT_FALSE(d.IsOpen());
    d.SetOutputFile(dir / "kein" / "ordner.wav");
    EXPECT_EQ(d.OpenOutput(0, {}, {}), AudioFileError);
    EXPECT_EQ(d.Start(), AudioUnspecified);
    // A rate libsamplerate cannot reach from the file's.
    const fs::path low =
        WriteWav("low.wav", 100, 1, 10, SF_FORMAT_WAV | SF_FORMAT_PCM_16, [](int, int) { return 0.0; });
    d.SetInputFile(low);
    EXPECT_EQ(d.OpenInput(0, {100000, 2, 1000}, {}), AudioFileError);
    EXPECT_NE(d.ErrorText(AudioFileError).find("100 Hz lässt sich nicht umrechnen"), std::string::npos);
    EXPECT_EQ(d.OpenInput(0, {8000, 2, 1000}, {}), AudioOk);
    d.Close();
}

// The one test that runs in real time: the pacing thread delivers periods on its own and stops
// when closed.
TEST_F(FileDeviceTest, PacedModeRunsOnItsOwnThread) {
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

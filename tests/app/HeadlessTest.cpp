// Runs without windows: a session written by the test is played on the free-running built-in
// device and its output exported; a file that is not there ends the run with a message, a
// settings file without loops is loaded and played.
#include "app/HeadlessRun.h"

#include "macros/MacroText.h"
#include "persistence/SoundFiles.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace kreisel {
namespace {

namespace fs = std::filesystem;

// A loop of one constant stereo frame at 44100 Hz.
void WriteLoop(const fs::path& file, int16_t left, int16_t right, int frames) {
    std::vector<int16_t> v;
    for (int i = 0; i < frames; ++i)
        v.insert(v.end(), {left, right});
    test::WriteSound(file.string(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, v);
}

class Headless : public HeadlessRun {
  protected:
    Headless() : HeadlessRun("kreisel-headless") {}
};

TEST_F(Headless, PlaysASessionAndExportsTheLoopsMixAtTheirLevels) {
    std::ofstream(dir / "Take.lps")
        << "[Soundkarte]\nFreq=44100\nMemBlockLength=4000\n[Options]\nInputMode=0\nUseFixedLoopTime=0\n";
    // A1 at unity; A2 at position 8, 120 level units down (80 units halve).
    std::ofstream(dir / "Take.mix")
        << "[Options]\nInputMode=0\n"
           "[Loop1]\nSBLoopMarker=1\nAmpLeft=4\nAmpRight=4\nPanLeft=0\nPanRight=16\n"
           "[Loop2]\nSBLoopMarker=1\nAmpLeft=8\nAmpRight=8\nPanLeft=0\nPanRight=16\n";
    WriteLoop(dir / "Take_A1.wav", 8000, 8000, 44000);
    WriteLoop(dir / "Take_A2.wav", 4000, -4000, 44000);

    const fs::path exported = dir / "mix.wav";
    ASSERT_EQ(Run({"--headless", "--audio", "silence", "--fast", "Take", "--export", exported.string(),
                   "--seconds", "2"}),
              0)
        << err.str();
    EXPECT_NE(out.str().find(exported.string()), std::string::npos) << out.str();

    const test::SoundRead read = test::ReadSound(exported.string());
    const std::vector<int16_t>& mix = read.values;
    EXPECT_EQ(read.info.samplerate, 44100);
    const std::size_t frames = mix.size() / 2;
    ASSERT_TRUE(frames >= 2u * 44100 - 1000 && frames <= 2u * 44100 + 2000) << frames;
    const double a2 = 4000 * std::pow(2.0, -120.0 / 80.0);
    for (std::size_t frame : {frames / 4, frames / 2, 3 * frames / 4}) {
        EXPECT_NEAR(mix[2 * frame], 8000 + a2, 3) << frame;
        EXPECT_NEAR(mix[2 * frame + 1], 8000 - a2, 3) << frame;
    }
}

TEST_F(Headless, AFileThatIsNotThereEndsTheRunWithAMessageASettingsFileAloneRuns) {
    EXPECT_NE(Run({"--headless", "--audio", "silence", "--fast", "Nope", "--seconds", "1"}), 0);
    EXPECT_NE(err.str().find("Nope"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("nicht gefunden"), std::string::npos) << err.str();
    std::ofstream(dir / "Only.lps") << "[Options]\nUseFixedLoopTime=0\n";
    EXPECT_EQ(Run({"--headless", "--audio", "silence", "--fast", "Only.lps", "--seconds", "0.1"}), 0)
        << err.str();
    EXPECT_NE(
        Run({"--headless", "--audio", "file:" + (dir / "none.wav").string(), "--fast", "--seconds", "1"}), 0)
        << err.str();
}

// A new user's first run says once where the defaults went; the settings file deleted later is
// reported once.
TEST_F(Headless, TheFirstRunNamesItsDefaultsOnceAndAMissingFileIsReportedOnce) {
    auto count = [this](const std::string& what) {
        size_t n = 0;
        for (size_t at = err.str().find(what); at != std::string::npos; at = err.str().find(what, at + 1), ++n) {}
        return n;
    };
    EXPECT_EQ(Run({"--headless", "--audio", "silence", "--fast", "--seconds", "1"}), 0) << err.str();
    EXPECT_EQ(count("Erster Start"), 1u) << err.str();
    EXPECT_EQ(count("Ini-Datei"), 0u) << err.str();
    fs::remove(dir / "Kreisel.LPS");
    EXPECT_EQ(Run({"--headless", "--audio", "silence", "--fast", "--seconds", "1"}), 0) << err.str();
    EXPECT_EQ(count("Erster Start"), 0u) << err.str();
    EXPECT_EQ(count("Kreisel.LPS\" nicht gefunden!!"), 1u) << err.str();
}

// A 440 Hz tone from a file: every steady note goes into the log as the list shows it.
TEST_F(Headless, TheTunerLogListsEverySteadyNote) {
    std::vector<int16_t> v(2 * 44100 * 6);
    for (size_t i = 0; i < v.size() / 2; ++i)
        v[2 * i] = v[2 * i + 1] =
            static_cast<int16_t>(std::lround(9000 * std::sin(2 * M_PI * 440 * i / 44100.0)));
    test::WriteSound((dir / "a.wav").string(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, v);
    const fs::path log = dir / "noten.txt";
    ASSERT_EQ(Run({"--headless", "--audio", "file:" + (dir / "a.wav").string(), "--fast", "--tuner-log",
                   log.string()}),
              0)
        << err.str();
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadTextLines(log, lines));
    ASSERT_GE(lines.size(), 2u);
    double last = 0;
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        const double t = std::stod(line);
        EXPECT_TRUE(t > last && t <= 6.1) << last;
        last = t;
        EXPECT_NE(line.find(" Sek.\ta1: \t+-0.0 Cent; \tFFT:    440.00"), std::string::npos);
    }
    EXPECT_FALSE(ParseCommandLine({"--tuner-log", "x.txt"}).errors.empty());
}

} // namespace
} // namespace kreisel

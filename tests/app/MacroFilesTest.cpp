// Macro files run without windows: the shipped example performance on a synthetic input, whose
// exported mix must hold the recorded loops where they were played, and the examples of the
// user guide.
#include "app/HeadlessRun.h"

#include "macros/MacroText.h"
#include "persistence/SoundFiles.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <fstream>
#include <vector>

namespace kreisel {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;

// Left: a slow ramp (a new value every 4 frames) up to 2.5 s, then silence, then -7000 from 7 s
// to 10 s. Right: 5000 from 3 s to 7 s. So each loop's content tells where it was recorded.
int16_t InputLeft(int n) {
    if (n < kRate * 5 / 2) return static_cast<int16_t>(1 + n / 4);
    if (n >= 7 * kRate && n < 10 * kRate) return -7000;
    return 0;
}
int16_t InputRight(int n) {
    return n >= 3 * kRate && n < 7 * kRate ? 5000 : 0;
}

class MacroFiles : public HeadlessRun {
  protected:
    MacroFiles() : HeadlessRun("kreisel-macrofiles") {
        std::ofstream(dir / "Kreisel.LPS") << "[Soundkarte]\nFreq=44100\nMemBlockLength=4000\n"
                                              "[Options]\nInputMode=0\nFadeFirstLastBlock=0\n";
        // Unity levels, left to left and right to right.
        std::ofstream mix(dir / "Kreisel.mix");
        mix << "[Options]\nInputMode=0\n";
        for (int n = 1; n <= 4; ++n)
            mix << "[Loop" << n << "]\nAmpLeft=4\nAmpRight=4\nPanLeft=0\nPanRight=16\n";
    }
    void WriteInput(const fs::path& file, int seconds) {
        std::vector<int16_t> v;
        for (int n = 0; n < seconds * kRate; ++n)
            v.insert(v.end(), {InputLeft(n), InputRight(n)});
        test::WriteSound(file.string(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, v);
    }
};

TEST_F(MacroFiles, TheExamplePerformanceRecordsOverdubsAndSwitchesGroups) {
    WriteInput(dir / "in.wav", 16);
    const fs::path exported = dir / "mix.wav";
    ASSERT_EQ(Run({"--headless", "--fast", "--macro", std::string(KREISEL_SOURCE_DIR) + "/data/demo/Auftritt.mak",
                   "--audio", "file:" + (dir / "in.wav").string(), "--export", exported.string()}),
              0)
        << err.str();
    const std::string said = out.str();
    for (const char* line : {"] Aufnahme A1 (2 Sek.)", "] A1 spielt, A2 vorgemerkt", "] 2 Loops, neue Gruppe",
                             "] Gruppe 2 spielt B1", "] Ende"})
        EXPECT_NE(said.find(line), std::string::npos) << line << "\n" << said;

    const test::SoundRead read = test::ReadSound(exported.string());
    ASSERT_EQ(read.info.channels, 2);
    const std::vector<int16_t>& mix = read.values;
    const auto frames = static_cast<int>(read.info.frames);
    auto L = [&](int k) { return mix[2 * static_cast<size_t>(k)]; };
    auto R = [&](int k) { return mix[2 * static_cast<size_t>(k) + 1]; };

    // A1 alone: the ramp, sample for sample as it came in, one fixed distance behind.
    int k1 = 0;
    while (k1 < frames && !(L(k1) > 0 && R(k1) == 0))
        ++k1;
    k1 += 2000; // past the output's fade-in
    ASSERT_LT(k1 + kRate, frames);
    const int delta = k1 - 4 * (L(k1) - 1);
    int cycle = 0; // A1's length: the first lag at which the mix repeats
    for (int lag = kRate; lag < 3 * kRate && cycle == 0; ++lag) {
        bool same = true;
        for (int j = 0; j < 3000 && same; j += 7)
            same = L(k1 + j) == L(k1 + j + lag);
        if (same) cycle = lag;
    }
    ASSERT_TRUE(cycle > 2 * kRate - 2000 && cycle < 2 * kRate + 3000) << cycle << ": two seconds, give or take a block";
    // A1 holds the input from its first recorded frame on and plays it round and round; only at
    // its seam (the loop's end fading into its start) may the mix differ from the input.
    int aloneChecked = 0;
    for (int k = k1; k < k1 + cycle && R(k) == 0; ++k, ++aloneChecked) {
        const int in = (k - delta) % cycle;
        if (in > cycle - 2000) continue;
        ASSERT_NEAR(L(k), InputLeft(in), 1) << k << " k1=" << k1 << " delta=" << delta << " cycle=" << cycle;
    }
    EXPECT_GT(aloneChecked, kRate);

    // A1 + A2: A2 holds the right channel's 5000, A1 goes on at the same place in its cycle.
    int a2 = k1;
    while (a2 < frames && R(a2) != 5000)
        ++a2;
    a2 += 2000;
    int overdubChecked = 0;
    for (int k = a2; k < frames && R(k) == 5000; ++k, ++overdubChecked)
        ASSERT_EQ(L(k), L(k1 + (k - k1) % cycle)) << k;
    EXPECT_GT(overdubChecked, cycle - 5000); // a cycle of both loops, up to the seam

    // Group B alone: B1 holds -7000 on the left and nothing on the right.
    int b = a2 + overdubChecked;
    while (b < frames && L(b) != -7000)
        ++b;
    int groupB = 0;
    for (int k = b; k < frames && L(k) == -7000; ++k)
        groupB += R(k) == 0 ? 1 : 0;
    EXPECT_GT(groupB, kRate / 2);

    // Back to A at the end of B's cycle: A1 and A2 again, until the stop.
    int back = b + groupB;
    while (back < frames && R(back) != 5000)
        ++back;
    EXPECT_LT(back, frames) << "group A comes back";
}

TEST_F(MacroFiles, ParserAndRunTimeErrorsGoToTheErrorOutputAndFailTheRun) {
    WriteInput(dir / "in.wav", 1);
    std::ofstream(dir / "bad.mak") << "SET SBRecord\nSPRING hoch\nSET Niemand 1\n";
    EXPECT_NE(Run({"--headless", "--fast", "--macro", (dir / "bad.mak").string(), "--audio",
                   "file:" + (dir / "in.wav").string()}),
              0);
    EXPECT_NE(err.str().find("\"SPRING hoch\":\r\nFalsches Schlüsselwort \"SPRING\" ! (wird ignoriert)"),
              std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("Fehler in Zeile \"SET Niemand 1\" !"), std::string::npos) << err.str();
    EXPECT_NE(Run({"--headless", "--fast", "--macro", (dir / "fehlt.mak").string(), "--audio", "silence",
                   "--seconds", "1"}),
              0);
    EXPECT_NE(err.str().find("Makro-Datei \"" + (dir / "fehlt.mak").string() + "\" nicht gefunden!"),
              std::string::npos)
        << err.str();
    // A macro text longer than the macros can hold does not start, and the run says which and
    // ends before it plays.
    const std::string tooLong = (dir / "lang.mak").string();
    std::ofstream(tooLong) << std::string(kMacroLines + 1, '\n');
    EXPECT_NE(Run({"--headless", "--fast", "--macro", tooLong, "--audio", "silence", "--seconds", "1"}), 0);
    EXPECT_NE(err.str().find("die Makros aus \"" + tooLong + "\" starten nicht."), std::string::npos)
        << err.str();
    EXPECT_EQ(out.str().find("spielt"), std::string::npos) << out.str();
}

// Every macro example of the user guide starts without a message, runs without an error and
// shows what its "# erwartet:" lines say.
TEST_F(MacroFiles, TheUserGuideExamplesRunAsDescribed) {
    std::ifstream guide(std::string(KREISEL_SOURCE_DIR) + "/docs/Benutzerhandbuch.md");
    ASSERT_TRUE(guide);
    std::vector<std::vector<std::string>> examples;
    bool inside = false;
    for (std::string line; std::getline(guide, line);) {
        if (line == "```makro") examples.emplace_back();
        if (inside && line != "```") examples.back().push_back(line);
        inside = line == "```makro" || (inside && line != "```");
    }
    ASSERT_GE(examples.size(), 3u);
    for (std::size_t i = 0; i < examples.size(); ++i) {
        const fs::path file = dir / ("beispiel" + std::to_string(i) + ".mak");
        ASSERT_TRUE(WriteTextLines(file, examples[i]));
        EXPECT_EQ(Run({"--headless", "--fast", "--audio", "silence", "--seconds", "8", "--macro", file.string()}), 0)
            << "example " << i << ":\n" << err.str();
        for (const std::string& line : examples[i]) {
            const std::string mark = "# erwartet: ";
            if (line.rfind(mark, 0) != 0) continue;
            EXPECT_NE(out.str().find("] " + line.substr(mark.size()) + "\n"), std::string::npos)
                << "example " << i << ":\n" << out.str();
        }
    }
}

} // namespace
} // namespace kreisel

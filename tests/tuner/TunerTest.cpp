// The tuner panel on the wired core: the generator's tone through a software loopback, notes of
// a real instrument, silence and noise, and the calibration scan.
#include "tuner/CalibrationScan.h"
#include "tuner/ToneFixtures.h"
#include "tuner/TunerRig.h"

#include "persistence/SoundFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kreisel::test {
namespace {

class TunerTest : public TunerRig {
  protected:
    void SetUp() override {
        core->TunerPanel().OnSteady = [this](const SteadyNote& s) { steady.push_back(s); };
        ShowTuner();
    }
    std::vector<SteadyNote> steady;
};

// The generator's tone comes back and is named, for both methods, with the lamp of its cents.
TEST_F(TunerTest, GeneratorToneThroughTheLoopbackIsNamedWithItsCents) {
    struct Case { const char* freq; const char* note; double cents; };
    for (bool fft : {true, false})
        for (const Case& c : {Case{"440", "a1", 0}, Case{"466.16", "a#1", 0}, Case{"261.63", "c1", 0},
                              Case{"98", "G", 0}, Case{"1234", "d#3", -14.7}}) {
            SCOPED_TRACE(testing::Message() << (fft ? "FFT " : "ATr ") << c.freq);
            C().CBUseFFT.SetChecked(fft);
            C().EditGenFreq.SetText(c.freq);
            if (!C().SBGenerator.Down()) C().SBGenerator.UserClick();
            steady.clear();
            C().ButtonMemoMeasClear.Click();
            for (int i = 0; i < 3000 && steady.size() < 2; ++i)
                LoopbackBlocks(1);
            ASSERT_GE(steady.size(), 2u);
            const SteadyNote& s = steady.back();
            EXPECT_EQ(s.Note, c.note);
            // The spectrum's accuracy with the 1/4 s window: 5 cents below 160 Hz, 2 above.
            EXPECT_NEAR(s.Cents, c.cents, fft ? (std::atof(c.freq) < 160 ? 5 : 2) : 0.3);
            EXPECT_EQ(C().LabelInputFreqAsNote.Text(), c.note);
            ASSERT_FALSE(C().MemoMeas.Lines().empty());
            EXPECT_EQ(C().MemoMeas.Lines().back().rfind(std::string(c.note) + ": \t", 0), 0u);
            EXPECT_EQ(core->TunerPanel().Lamp(), (static_cast<int>(std::lround(s.Cents)) + 50) / 2);
        }
}

// Silence names nothing; noise gives no steady note.
TEST_F(TunerTest, SilenceAndNoiseGiveNoNote) {
    for (bool fft : {true, false}) {
        C().CBUseFFT.SetChecked(fft);
        C().CBShowInputFreq.SetChecked(false);
        C().CBShowInputFreq.SetChecked(true);
        Play(std::vector<int16_t>(kRate * 3, 0));
        EXPECT_EQ(C().LabelInputFreqAsNote.Text() + C().LabelMeasNr.Text(), "(-)(-)");
        EXPECT_EQ(core->TunerPanel().Lamp(), -1);
        Play(Noise(kRate * 6, 8000, fft ? 3 : 4));
        EXPECT_TRUE(steady.empty());
        EXPECT_TRUE(C().MemoMeas.Lines().empty());
    }
}

// Notes of a piano and other General MIDI instruments, rendered at test time.
TEST_F(TunerTest, InstrumentNotesAreNamedWithTheirOctave) {
    const std::filesystem::path font = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
    if (std::system("command -v fluidsynth >/dev/null 2>&1") != 0 || !std::filesystem::exists(font))
        GTEST_SKIP() << "fluidsynth or the General MIDI sound font (fluid-soundfont-gm) is not installed";
    struct Case {
        int program, key;
        const char* note;
        bool crossings = true; // the crossings settle too: the note sounds steadily long enough
    };
    const auto dir = std::filesystem::temp_directory_path() / ("kreisel-notes-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (bool fft : {true, false})
        for (const Case& c :
             {Case{0, 57, "a"}, Case{0, 69, "a1", false}, Case{42, 48, "c"}, Case{24, 52, "e"},
              Case{40, 76, "e2", false}, Case{56, 67, "g1"}, Case{73, 84, "c3"}, Case{32, 40, "E"}}) {
            if (!fft && !c.crossings) continue;
            SCOPED_TRACE(testing::Message()
                         << (fft ? "FFT " : "ATr ") << "program " << c.program << " key " << c.key);
            // A six-second note as a one-track MIDI file, rendered to a WAV file.
            const auto mid = dir / "n.mid", wav = dir / "n.wav";
            const uint8_t k = static_cast<uint8_t>(c.key), prog = static_cast<uint8_t>(c.program);
            const std::vector<uint8_t> track{0x00, 0xC0, prog, 0x00, 0x90, k,    100,  0x89,
                                             0x00, 0x80, k,    0,    0x00, 0xFF, 0x2F, 0x00};
            std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0,   0,   0,   6, 0, 0, 0, 1, 0, 96,
                                      'M', 'T', 'r', 'k', 0,   0,   0,   static_cast<uint8_t>(track.size())};
            file.insert(file.end(), track.begin(), track.end());
            std::ofstream(mid, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                       static_cast<std::streamsize>(file.size()));
            const std::string cmd = "fluidsynth -ni -q -g 1.0 -r 44100 -F '" + wav.string() + "' '" +
                                    font.string() + "' '" + mid.string() + "' >/dev/null 2>&1";
            ASSERT_EQ(std::system(cmd.c_str()), 0);
            const SoundRead sound = ReadSound(wav.string());
            ASSERT_EQ(sound.info.samplerate, kRate);
            // The player turns the input up: the note peaks at about -4 dB.
            int peak = 1;
            for (int16_t v : sound.values)
                peak = std::max(peak, std::abs(static_cast<int>(v)));
            std::vector<int16_t> mono;
            for (size_t i = 0; i < sound.values.size(); i += static_cast<size_t>(sound.info.channels))
                mono.push_back(static_cast<int16_t>(sound.values[i] * 20000 / peak));

            C().CBUseFFT.SetChecked(fft);
            C().CBShowInputFreq.SetChecked(false);
            C().CBShowInputFreq.SetChecked(true);
            // Every reading while the note sounds (the first five seconds) after the first.
            std::vector<std::string> readings;
            for (size_t at = 0; at + kFrames <= std::min(mono.size(), size_t{kRate} * 5); at += kFrames) {
                const std::string before = C().LabelMeasNr.Text();
                Play(std::vector<int16_t>(mono.begin() + static_cast<std::ptrdiff_t>(at),
                                          mono.begin() + static_cast<std::ptrdiff_t>(at + kFrames)));
                if (C().LabelMeasNr.Text() != before && C().LabelMeasNr.Text() != "1")
                    readings.push_back(C().LabelInputFreqAsNote.Text());
            }
            EXPECT_GE(readings.size(), 4u);
            const auto right = std::count(readings.begin(), readings.end(), std::string(c.note));
            EXPECT_GE(right * 4, static_cast<long>(readings.size()) * 3) << testing::PrintToString(readings);
        }
    std::filesystem::remove_all(dir);
}

// The list's buttons put its text on the desktop's clipboard: "Copy All" every line (and selects
// them), "Copy Sel" only what is selected, also across lines; a selection the list has since
// shrunk under is cut to what is left, and an empty one copies nothing.
TEST_F(TunerTest, CopyButtonsPutTheListOrItsSelectionOnTheClipboard) {
    FakeDesktop desktop;
    core->TunerPanel().desktop = &desktop;
    C().MemoMeas.SetLines({"a1: \t +0.5 Cent; \tFFT:    440.127 Hz", "e2: \t -1.0 Cent; \tFFT:    657.364 Hz"});
    C().ButtonMemoMeasCopyAll.UserClick();
    EXPECT_EQ(desktop.clipboard, C().MemoMeas.Lines()[0] + "\n" + C().MemoMeas.Lines()[1] + "\n");
    EXPECT_EQ(core->TunerPanel().MemoSelEnd() - core->TunerPanel().MemoSelStart(),
              core->TunerPanel().MemoText().size());

    const std::string text = core->TunerPanel().MemoText();
    const size_t from = text.find("+0.5"), to = text.find("e2:") + 3;
    core->TunerPanel().SetMemoSelection(to, from); // selected upwards
    C().ButtonMemoMeasCopySel.UserClick();
    EXPECT_EQ(desktop.clipboard, "+0.5 Cent; \tFFT:    440.127 Hz\ne2:");

    core->TunerPanel().SetMemoSelection(text.find("440"), text.size());
    C().MemoMeas.SetLines({C().MemoMeas.Lines()[0]});
    C().ButtonMemoMeasCopySel.UserClick();
    EXPECT_EQ(desktop.clipboard, "440.127 Hz");

    desktop.clipboard = "before";
    C().ButtonMemoMeasClear.UserClick();
    C().ButtonMemoMeasCopySel.UserClick();
    EXPECT_EQ(desktop.clipboard, "before");
}

} // namespace
} // namespace kreisel::test

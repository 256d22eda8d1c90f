// The reference tone: its period and played frequency, the note sliders, stepping, and its way
// into the output and the recording.
#include "tuner/TunerRig.h"

#include <cmath>
#include <numbers>

namespace kreisel::test {
namespace {

TEST(GeneratorTuning, WholeSinePeriodsInOnePeriodAndTheLimits) {
    struct Case { double requested; int cycles, period; double played; };
    for (const Case& c : {Case{440, 997, 99927, 439.998}, Case{20000, 45351, 99999, 19999.991},
                          Case{25000, 45351, 99999, 19999.991}, Case{0.2, 2, 88200, 1.0}}) {
        SCOPED_TRACE(c.requested);
        const GeneratorTuning t = TuneGenerator(c.requested, 44100);
        EXPECT_EQ((std::pair{t.Cycles, t.Period}), (std::pair{c.cycles, c.period}));
        EXPECT_NEAR(t.Frequency, c.played, 0.001);
    }
}

TEST(NoteNames, GermanNamesWithTheOctave) {
    struct Case { double f; const char* name; double cents; };
    for (const Case& c : {Case{440, "a1", 0}, Case{466.16, "a#1", 0}, Case{261.63, "c1", 0},
                          Case{110, "A", 0}, Case{55, "A1", 0}, Case{220, "a", 0}, Case{246.94, "h", 0},
                          Case{880, "a2", 0}, Case{452.89, "a1", 50 - 0.1}, Case{16.35, "C2", 0}}) {
        SCOPED_TRACE(c.f);
        const NoteReading r = ReadNote(c.f, 440);
        EXPECT_EQ(r.Name, c.name);
        EXPECT_NEAR(r.Cents, c.cents, 0.2);
    }
    EXPECT_TRUE(ReadNote(4, 440).Underflow);
}

class ToneGeneratorTest : public TunerRig {};

TEST_F(ToneGeneratorTest, NoteSlidersStepsAndTheDeviationFromStandardPitch) {
    ToneGenerator& g = core->Generator();
    C().TBGenFreqOctave.SetPosition(5);
    C().TBGenFreqTon.SetPosition(12);
    EXPECT_EQ(C().EditGenFreq.Text(), "261.626");
    EXPECT_EQ(C().LabelFreqOrNote.Text(), "261.63 Hz (c1)");
    EXPECT_EQ(C().LabelDiffCent.Text(), "+-0");
    g.StepGenFreq(1, true);
    EXPECT_NEAR(g.GenFreq(), 261.726, 0.01);
    EXPECT_EQ(C().LabelFreqOrNote.Text(), "261.73 Hz (c1)");
    g.EditGenFreqEnter();
    EXPECT_EQ(C().LabelFreqOrNote.Text(), "261.73 Hz");
    g.StepGenFreq(-1, false);
    EXPECT_NEAR(g.GenFreq(), 260.726, 0.01);
    // A base frequency of 442 moves the note and shows its distance from 440.
    C().TBGenFreqOctave.SetPosition(6);
    C().TBGenFreqTon.SetPosition(9);
    g.StepBaseFreq(1, false);
    EXPECT_EQ(C().EditBaseFrequency.Text(), "440.25");
    C().EditBaseFrequency.SetText("442");
    EXPECT_NEAR(g.GenFreq(), 442, 0.003);
    EXPECT_EQ(C().LabelDiffCent.Text(), "+7.9");
}

TEST_F(ToneGeneratorTest, TheToneGoesOutAtItsLevelAndIntoTheRecordingOnlyWhenAsked) {
    core->Main().CBCorrectDCDrift.SetChecked(false);
    C().EditGenFreq.SetText("441");
    C().SBGenerator.UserClick();
    EXPECT_TRUE(C().SBGeneratorOpt.Down());
    ASSERT_TRUE(core->E().Switches.GeneratorOn);
    const GeneratorTuning t = core->Generator().Tuning();
    LoopbackBlocks(1);
    // Output frame i holds the sample of phase i; the next block takes it back in.
    for (int i : {0, 1, 17, 999}) {
        const auto want = static_cast<int16_t>(std::lround(std::sin(i * t.Omega) * 2048));
        EXPECT_NEAR(lastOut[2 * static_cast<size_t>(i)], want, 1) << i;
        EXPECT_EQ(lastOut[2 * static_cast<size_t>(i)], lastOut[2 * static_cast<size_t>(i) + 1]);
    }
    EXPECT_FALSE(core->E().Switches.GeneratorRecord);
    C().CBGeneratorRecord.SetChecked(true);
    EXPECT_TRUE(core->E().Switches.GeneratorRecord);
    // 120 level units down: a factor of 2^-1.5.
    C().TBGenerLevel.SetPosition(8);
    EXPECT_EQ(C().PanelGenerLevel.Text(), "-12 dB");
    LoopbackBlocks(1);
    int peak = 0;
    for (int16_t v : lastOut)
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_NEAR(peak, 724, 2);
    C().SBGeneratorOpt.UserClick();
    EXPECT_FALSE(C().SBGenerator.Down());
    LoopbackBlocks(1);
    EXPECT_EQ(*std::max_element(lastOut.begin(), lastOut.end()), 0);
}

TEST_F(ToneGeneratorTest, MixerButtonsStartTheDesktopMixerOrSaySoInGerman) {
    FakeDesktop desktop;
    core->Generator().desktop = &desktop;
    C().ButtonWinMixerPlay.UserClick();
    EXPECT_EQ(desktop.calls, std::vector<std::string>{"StartSystemMixer"});
    desktop.succeed = false;
    C().ButtonWinMixerRecord.UserClick();
    EXPECT_TRUE(dialogs.WasShown("Kein System-Mixer gefunden"));
}

} // namespace
} // namespace kreisel::test

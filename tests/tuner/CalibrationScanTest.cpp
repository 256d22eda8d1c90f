// The calibration scan end to end: the generator's tone goes out of the core and comes back as
// its input (a software loopback on the manual clock), the tuner measures it, one line per step.
#include "tuner/CalibrationScan.h"
#include "tuner/TunerRig.h"

#include <cstdio>

namespace kreisel::test {
namespace {

TEST(CalibrationStep, FineAround440And880) {
    const std::pair<double, double> cases[] = {
        {20, 10}, {399.9, 10}, {400, 1},     {439, 1}, {440, 0.1}, {449.9, 0.1}, {450, 1},    {480, 10},
        {800, 2}, {880, 0.2},  {899.8, 0.2}, {900, 2}, {960, 10},  {1600, 100},  {19900, 100}};
    for (const auto& [f, step] : cases)
        EXPECT_DOUBLE_EQ(CalibrationStep(f), step) << f;
    EXPECT_EQ(CalibrationLine(440, 440.5), "    440.0;     440.500;     0.500;   0.001136;     1.97;");
}

class CalibrationScanTest : public TunerRig {
  protected:
    struct Line { double f, g, abs, rel, cents; };
    // The scan's lines after the header.
    std::vector<Line> Lines() {
        std::vector<Line> out;
        bool header = false;
        for (const std::string& s : C().MemoMeas.Lines()) {
            Line l{};
            if (header &&
                std::sscanf(s.c_str(), "%lf; %lf; %lf; %lf; %lf;", &l.f, &l.g, &l.abs, &l.rel, &l.cents) == 5)
                out.push_back(l);
            header = header || s.rfind("# Gen.[Hz]", 0) == 0;
        }
        return out;
    }
    // Runs the scan from `start`; the button is released once `stopAfter` lines are written.
    void Scan(const char* start, size_t stopAfter) {
        C().CBShowInputFreq.SetChecked(true);
        C().SBGenerator.UserClick();
        C().EditCalibStartFreq.SetText(start);
        pump.SetFeed([this, stopAfter] {
            Loopback();
            if (stopAfter > 0 && Lines().size() >= stopAfter && C().SBCalibration.Down())
                C().SBCalibration.UserClick();
        });
        C().SBCalibration.UserClick();
    }
};

// Steps of 1 Hz up to 440, then 0.1 Hz; every deviation within the spectrum's accuracy there.
// The button comes up as the thirteenth step begins: that step still writes its line, with the
// frequency measured last.
TEST_F(CalibrationScanTest, AroundTheBaseFrequencyInFineSteps) {
    Scan("435", 12);
    const std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_DOUBLE_EQ(lines[12].f, 440.7);
    EXPECT_DOUBLE_EQ(lines[12].g, lines[11].g);
    const double want[] = {435, 436, 437, 438, 439, 440, 440.1, 440.2, 440.3, 440.4, 440.5, 440.6};
    for (size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(lines[i].f);
        EXPECT_DOUBLE_EQ(lines[i].f, want[i]);
        // The generator plays its period's frequency, a few thousandths of a hertz off.
        EXPECT_LE(std::abs(lines[i].cents), 0.5);
        EXPECT_NEAR(lines[i].abs, lines[i].g - lines[i].f, 0.002);
    }
    EXPECT_FALSE(C().SBCalibration.Down() || C().CBIntegration.Checked() || C().CBMaxIFAuto.Checked());
    EXPECT_EQ(C().SBCalibration.Text(), "Calibration-Scan");
}

// The top of the range: 100 Hz steps, and the scan ends by itself below 20000 Hz.
TEST_F(CalibrationScanTest, TheTopOfTheRangeEndsBelow20000) {
    Scan("19000", 0);
    const std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_DOUBLE_EQ(lines.front().f, 19000);
    EXPECT_DOUBLE_EQ(lines.back().f, 19900);
    for (const Line& l : lines)
        EXPECT_LE(std::abs(l.cents), 0.5) << l.f;
    EXPECT_FALSE(C().SBCalibration.Down());
}

// Without a way back from output to input the scan waits at its first frequency; a start
// outside the range begins at 20 Hz, and releasing the button still writes the line.
TEST_F(CalibrationScanTest, WithoutLoopbackItWaitsUntilReleased) {
    C().CBShowInputFreq.SetChecked(true);
    C().EditCalibStartFreq.SetText("25000");
    int blocks = 0;
    pump.SetFeed([this, &blocks] {
        const std::vector<int16_t> silence(2 * kFrames, 0);
        core->SndInputEvent(silence.data(), kFrames * 4);
        if (++blocks == 200) C().SBCalibration.UserClick();
    });
    C().SBCalibration.UserClick();
    EXPECT_EQ(blocks, 200);
    const std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_DOUBLE_EQ(lines[0].f, 20);
}

} // namespace
} // namespace kreisel::test

#include "tuner/CalibrationScan.h"

#include "core/Text.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace kreisel {

double CalibrationStep(double f) {
    struct Band {
        double upTo, step;
    };
    static constexpr Band bands[] = {{400, 10}, {440, 1},   {450, 0.1}, {480, 1},   {800, 10},
                                     {880, 2},  {900, 0.2}, {960, 2},   {1600, 10}, {20000, 100}};
    for (const Band& b : bands)
        if (f < b.upTo) return b.step;
    return 100;
}

std::string CalibrationLine(double f, double g) {
    const double a = g - f;
    const double r = a / f;
    const double c = g > 0 ? std::log(g / f) / (std::numbers::ln2 / 12) * 100 : 0;
    char line[160];
    std::snprintf(line, sizeof line, "%9.1f; %11.3f; %9.3f; %10.6f; %8.2f;", f, g, a, r, c);
    return line;
}

CalibrationScan::CalibrationScan(TunerControls& controls, Tuner& tuner, ToneGenerator& generator,
                                 EventPump& pump)
    : c_(controls), tuner_(tuner), gen_(generator), pump_(pump) {
    c_.SBCalibration.SetAllowAllUp(true);
    c_.SBCalibration.SetGroupIndex(0);
    c_.SBCalibration.SetOnClick([this](Control&) { SBCalibrationClick(); });
    c_.EditCalibStartFreq.SetOnChange([this](Control&) { gen_.EditGenFreqEnter(); });
}

void CalibrationScan::SBCalibrationClick() {
    if (!c_.SBCalibration.Down()) {
        // The running scan sees the button up after its current wait.
        c_.SBCalibration.SetText("Calibration-Scan");
        return;
    }
    if (running_) return;
    running_ = true;
    Scan();
    running_ = false;
    {
        SuppressActions quiet(c_.SBCalibration);
        c_.SBCalibration.SetDown(false);
    }
    c_.SBCalibration.SetText("Calibration-Scan");
}

void CalibrationScan::Scan() {
    // The automatics would chase the tone; the spectrum measures it.
    for (Control* c : {&c_.CBIntegration, &c_.CBMaxIFAuto, &c_.CBIFTrigLevelAuto, &c_.CBXZoomAuto,
                       &c_.CBYZoomAuto, &c_.CBAutoMeasToMemo, &c_.CBControlGenFreq})
        c->SetChecked(false);
    c_.CBShowFFT.SetChecked(true);
    c_.CBUseFFT.SetChecked(true);
    if (!c_.CBShowMemoMeas.Checked()) c_.CBShowMemoMeas.SetChecked(true);
    c_.MemoMeas.AddLine("# Gen.[Hz]     FFT [Hz]   Abs.Abw.    Rel.Abw.     Cent");

    double f = ParseNumber(c_.EditCalibStartFreq.Text()).value_or(20);
    if (f < 20 || f > 20000) f = 20;
    while (c_.SBCalibration.Down()) {
        pump_.ProcessPendingEvents();
        if (f >= 20000) break;
        c_.EditGenFreq.SetText(FormatFloat("0.##########", f));
        c_.PanelLeds.SetColor(TunerColors::Silver);
        while (c_.SBCalibration.Down() && c_.PanelLeds.Color() == std::optional<Rgb>(TunerColors::Silver))
            pump_.WaitForEvents(WaitSliceMs);
        const double g = tuner_.Meter().FFTFreq;
        c_.MemoMeas.AddLine(CalibrationLine(f, g));
        if (c_.SBCalibration.Down()) c_.SBCalibration.SetText("Abbr.b. " + FormatFloat("0.0", f) + " Hz");
        // Steps of a tenth add up; the scan's frequencies stay on their decimal grid.
        f = std::round((f + CalibrationStep(f)) * 1000) / 1000;
    }
}

} // namespace kreisel

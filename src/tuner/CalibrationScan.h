// The calibration scan: the tone generator steps through the audible range, finely around 440
// and 880 Hz; at each frequency the scan waits for a steady note from the tuner's spectrum and
// lists the deviation of the measured frequency from the played one. The sound goes out of the
// output and back into the input by cable or through the air.
#pragma once

#include "core/HostServices.h"
#include "tuner/ToneGenerator.h"
#include "tuner/Tuner.h"
#include "tuner/TunerControls.h"

#include <string>

namespace kreisel {

// The step of the scan in the band of f.
double CalibrationStep(double f);

// One line of the scan for played frequency f and measured g.
std::string CalibrationLine(double f, double g);

class CalibrationScan {
  public:
    CalibrationScan(TunerControls& controls, Tuner& tuner, ToneGenerator& generator, EventPump& pump);
    CalibrationScan(const CalibrationScan&) = delete;
    CalibrationScan& operator=(const CalibrationScan&) = delete;

    // Down: runs the whole scan, serving events while it waits; up: the running scan ends after
    // its current step.
    void SBCalibrationClick();
    bool Running() const { return running_; }

    // How long one wait serves events before it looks again (ms).
    int WaitSliceMs = 5;

  private:
    void Scan();

    TunerControls& c_;
    Tuner& tuner_;
    ToneGenerator& gen_;
    EventPump& pump_;
    bool running_ = false;
};

} // namespace kreisel

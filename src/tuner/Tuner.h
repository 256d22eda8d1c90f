// The tuner panel: its parameters from the controls, the results of the measurement shown as
// frequency, note and cents, the lamp bar, the stability test, the measurement list and the
// automatic settings. The block processor feeds it; it steers the tone generator when asked.
#pragma once

#include "engine/Engine.h"
#include "tuner/FrequencyMeter.h"
#include "tuner/ToneGenerator.h"
#include "tuner/TunerControls.h"

#include <functional>
#include <optional>
#include <string>

namespace kreisel {

// A steady note as the measurement list shows it.
struct SteadyNote {
    double Seconds = 0; // input time of the window's end
    double Frequency = 0;
    std::string Note; // "a1"
    int Octave = 0;
    double Cents = 0;
    std::string ListLine;
};

class Tuner : private MeterEvents {
  public:
    static constexpr int kLampCount = 51;

    Tuner(Engine& engine, TunerControls& controls, ToneGenerator& generator);
    Tuner(const Tuner&) = delete;
    Tuner& operator=(const Tuner&) = delete;

    // Any tuner control changed (nullptr: the panel was shown): the parameters anew.
    void AnyIFMeasParamsChange(const Control* sender);
    void CBShowInputFreqClick();
    void ClearShowInputFreq();
    void CBUseFFTClick();
    void CBShowMemoMeasClick();
    void ButtonMeasToMemoClick();
    void ButtonMemoMeasClearClick();
    // The extra settings-file values: first-peak share and minimum share over the level.
    void SetShares(int firstPeakPercent, int minSharePercent);
    int FirstPeakPercent() const { return meter_.Params().FirstPeakPercent; }
    int MinSharePercent() const { return meter_.Params().MinSharePercent; }

    // Block processor: the samples; after the block: what they gave (spectra, results).
    void Feed(const int16_t* l, int frames) { meter_.FeedBlock(l, frames); }
    void DeliverResults() { meter_.Deliver(); }
    void AutoSettings();

    // A window's result.
    void ShowResult(double f);

    FrequencyMeter& Meter() { return meter_; }
    const FrequencyMeter& Meter() const { return meter_; }
    // Lit lamp 0..50, -1 none; its colour (yellow, lime at 0 cents; silver when no result).
    int Lamp() const { return lamp_; }
    Rgb LampColor() const { return lampColor_; }
    int MeasurementNumber() const { return measNr_; }
    int SteadyCount() const { return steadyCount_; }
    // Wave box size in pixels, as the view last reported it (the zoom automatics use it).
    int BoxWidth = 400;
    int BoxHeight = 160;
    double XZoom() const { return xZoom_; }
    double YZoom() const { return yZoom_; }
    int HoldOff() const { return meter_.Params().HoldOff; }

    // Every steady note, whether or not it is listed (the headless log).
    std::function<void(const SteadyNote&)> OnSteady;
    // The measurement list's text as its view shows it (lines joined by line feeds), and the
    // selection the view reports in it (character offsets, end excluded).
    std::string MemoText() const;
    void SetMemoSelection(size_t start, size_t end);
    size_t MemoSelStart() const { return selStart_; }
    size_t MemoSelEnd() const { return selEnd_; }
    // "Copy All" selects the whole list and copies it, "Copy Sel" copies the selection.
    void ButtonMemoMeasCopyAllClick();
    void ButtonMemoMeasCopySelClick();
    // The clipboard of "Copy All" and "Copy Sel".
    Desktop* desktop = nullptr;
    char DecimalSeparator = '.';

  private:
    void WindowStarted() override;
    void WindowTimedOut() override;
    void WindowEnded(const WindowEnd& end) override;
    void ShowInactive();
    void SetMaxIFFrom(double g);
    void MoveSlider(Control& slider, int position, int minDifference);
    MeterParams ParamsFromControls() const;
    std::string ListLine() const;
    void AppendLine(const std::string& line);

    Engine& e_;
    TunerControls& c_;
    ToneGenerator& gen_;
    FrequencyMeter meter_;
    int measNr_ = 0;
    int steadyCount_ = 0;
    double lastCents_ = -888.8;
    std::string lastListLine_;
    int lamp_ = -1;
    Rgb lampColor_ = TunerColors::Silver;
    bool measuringBlink_ = false;
    bool stabilityBlink_ = false;
    int maxIFAutoCounter_ = 0;
    double lastFrequency_ = 0;
    double xZoom_ = 1, yZoom_ = 1;
    int waveCount_ = 2;
    int firstPeakPercent_ = 40;
    int minSharePercent_ = 20;
    bool inParams_ = false;
    size_t selStart_ = 0, selEnd_ = 0;
};

} // namespace kreisel

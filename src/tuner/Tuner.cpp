#include "tuner/Tuner.h"

#include "core/Text.h"
#include "tuner/Notes.h"

#include <algorithm>
#include <cmath>

namespace kreisel {

namespace {

constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kLime{0, 255, 0};
constexpr Rgb kAqua{0, 255, 255};
constexpr Rgb kRed{255, 0, 0};

// 10^(p/25) to two significant digits: the zoom steps.
double ZoomOf(int p) {
    const double v = std::pow(10.0, p / 25.0);
    const double scale = std::pow(10.0, 1 - std::floor(std::log10(v)));
    return std::round(v * scale) / scale;
}

} // namespace

Tuner::Tuner(Engine& engine, TunerControls& controls, ToneGenerator& generator)
    : e_(engine), c_(controls), gen_(generator) {
    meter_.SetEvents(this);
    for (Control* c : {&c_.TBIFMeastime,
                       &c_.TBIFSensitivity,
                       &c_.TBIFTrigLevel,
                       &c_.TBMaxIF,
                       &c_.SEMaxSiNr,
                       &c_.CBIntegration,
                       &c_.CBIntegAutoSmps,
                       &c_.SEIFWaveCount,
                       &c_.TBXZoom,
                       &c_.TBYZoom,
                       &c_.SEFreqDec,
                       &c_.SECentDec,
                       &c_.SEMinStabilityCount,
                       &c_.TBStabilityTolerance,
                       &c_.CBShowFFT,
                       &c_.CBPaintWave,
                       &c_.CBIFTrigLevelAuto,
                       &c_.CBMaxIFAuto,
                       &c_.CBXZoomAuto,
                       &c_.CBYZoomAuto,
                       &c_.CBFFTxyZoom})
        c->SetOnChange([this](Control& sender) { AnyIFMeasParamsChange(&sender); });
    c_.CBShowInputFreq.SetOnChange([this](Control&) { CBShowInputFreqClick(); });
    c_.CBUseFFT.SetOnChange([this](Control&) { CBUseFFTClick(); });
    c_.SBIFMeasPause.SetOnClick([this](Control&) {
        e_.Switches.TunerFeed = c_.CBShowInputFreq.Checked() && !c_.SBIFMeasPause.Down();
    });
    for (Control* c : {&c_.CBShowMemoMeas, &c_.CBAutoMeasToMemo})
        c->SetOnChange([this](Control& sender) {
            if (&sender == &c_.CBAutoMeasToMemo && sender.Checked() && !c_.CBShowMemoMeas.Checked())
                c_.CBShowMemoMeas.SetChecked(true); // runs CBShowMemoMeasClick
            else
                CBShowMemoMeasClick();
        });
    c_.ButtonMeasToMemo.SetOnClick([this](Control&) { ButtonMeasToMemoClick(); });
    c_.ButtonMemoMeasClear.SetOnClick([this](Control&) { ButtonMemoMeasClearClick(); });
    c_.ButtonMemoMeasCopyAll.SetOnClick([this](Control&) { ButtonMemoMeasCopyAllClick(); });
    c_.ButtonMemoMeasCopySel.SetOnClick([this](Control&) { ButtonMemoMeasCopySelClick(); });
    AnyIFMeasParamsChange(nullptr);
    ClearShowInputFreq();
}

MeterParams Tuner::ParamsFromControls() const {
    MeterParams p = meter_.Params();
    const int rate = e_.SampleRate;
    p.SampleRate = rate;
    p.WindowLen = std::max(1, RoundHalfEven(rate * std::pow(2.0, c_.TBIFMeastime.Position())));
    p.MinLevel = RoundHalfEven(32767 / std::pow(2.0, c_.TBIFSensitivity.Position() / 3.0));
    p.TrigLevel = 32767 / std::pow(2.0, c_.TBIFTrigLevel.Position() / 3.0);
    const double maxIF = std::pow(10.0, c_.TBMaxIF.Position() / 25.0);
    p.HoldOff = RoundHalfEven(rate * 0.75 / maxIF);
    p.Smoothing = c_.CBIntegration.Checked();
    p.SmoothLen =
        c_.CBIntegAutoSmps.Checked() ? std::max(1, RoundHalfEven(p.HoldOff / 3.0)) : c_.SEMaxSiNr.Value();
    p.UseFFT = c_.CBUseFFT.Checked();
    p.DrawFFT = c_.CBShowFFT.Checked();
    p.PaintWave = c_.CBPaintWave.Checked();
    p.WavesDrawn = waveCount_;
    p.FirstPeakPercent = firstPeakPercent_;
    p.MinSharePercent = minSharePercent_;
    return p;
}

void Tuner::AnyIFMeasParamsChange(const Control* sender) {
    if (inParams_) return;
    inParams_ = true;
    // Smoothing off takes the automatic length with it; the automatic length turns smoothing on.
    if (sender == &c_.CBIntegration && !c_.CBIntegration.Checked()) {
        SuppressActions quiet(c_.CBIntegAutoSmps);
        c_.CBIntegAutoSmps.SetChecked(false);
    } else if (sender == &c_.CBIntegAutoSmps && c_.CBIntegAutoSmps.Checked()) {
        SuppressActions quiet(c_.CBIntegration);
        c_.CBIntegration.SetChecked(true);
    }
    if (sender == &c_.SEIFWaveCount || sender == nullptr) waveCount_ = c_.SEIFWaveCount.Value();

    const char sep = DecimalSeparator;
    const int pTime = c_.TBIFMeastime.Position();
    c_.LabelIFMeastime.SetText(FormatFloat("0.#####", std::pow(2.0, pTime), sep) + " Sek.");
    c_.LabelIFSensitivity.SetText(std::to_string(-c_.TBIFSensitivity.Position()) + " dB");
    c_.LabelTrigLevel.SetText(std::to_string(-c_.TBIFTrigLevel.Position()) + " dB");
    c_.LabelMaxIF.SetText(FormatFloat("0", std::pow(10.0, c_.TBMaxIF.Position() / 25.0), sep) + " Hz");
    xZoom_ = ZoomOf(c_.TBXZoom.Position());
    yZoom_ = ZoomOf(c_.TBYZoom.Position());
    c_.LabelXZoom.SetText(FormatFloat("0.####", xZoom_, sep));
    c_.LabelYZoom.SetText(FormatFloat("0.####", yZoom_, sep));
    c_.LabelPBXZoom.SetText("X-Zoom: " + c_.LabelXZoom.Text());
    c_.LabelPBYZoom.SetText("Y-Zoom: " + c_.LabelYZoom.Text());
    c_.LabelStabilityCentTolerance.SetText(
        FormatFloat("0.0", c_.TBStabilityTolerance.Position() / 10.0, sep) + " Cent");

    const MeterParams p = ParamsFromControls();
    c_.SEMaxSiNr.SetEnabled(!c_.CBIntegAutoSmps.Checked());
    // Zooms, decimals and the stability test only change what is shown: the window goes on.
    const bool keepWindow =
        sender == &c_.TBMaxIF || sender == &c_.SEMaxSiNr || sender == &c_.TBXZoom || sender == &c_.TBYZoom ||
        sender == &c_.CBXZoomAuto || sender == &c_.CBYZoomAuto || sender == &c_.SEFreqDec ||
        sender == &c_.SECentDec || sender == &c_.SEMinStabilityCount || sender == &c_.TBStabilityTolerance ||
        sender == &c_.CBFFTxyZoom ||
        // The spectrum does not look at the trigger level.
        (c_.CBUseFFT.Checked() && (sender == &c_.TBIFTrigLevel || sender == &c_.CBIFTrigLevelAuto));
    const bool restartSmoothing =
        p.SmoothLen != meter_.Params().SmoothLen || p.Smoothing != meter_.Params().Smoothing;
    meter_.SetParams(p, !keepWindow, restartSmoothing, !keepWindow && p.PaintWave);
    inParams_ = false;
}

void Tuner::SetShares(int firstPeakPercent, int minSharePercent) {
    firstPeakPercent_ = firstPeakPercent;
    minSharePercent_ = minSharePercent;
    c_.LabelFFTFirstPeak.SetText("FFT bei: 1.Peak mind. " + std::to_string(firstPeakPercent) + "%");
    c_.LabelMinSmpsOverMin.SetText("Anz. Sig.ü.Schwelle mind. " + std::to_string(minSharePercent) + "%)");
    AnyIFMeasParamsChange(nullptr);
}

void Tuner::CBShowInputFreqClick() {
    const bool shown = c_.CBShowInputFreq.Checked();
    e_.Switches.TunerFeed = shown && !c_.SBIFMeasPause.Down();
    if (!shown) return;
    CBShowMemoMeasClick();
    AnyIFMeasParamsChange(nullptr);
    ClearShowInputFreq();
}

void Tuner::ClearShowInputFreq() {
    measNr_ = 0;
    const std::string prefix = c_.CBUseFFT.Checked() ? "FFT:    " : "ATr:    ";
    c_.LabelMeasNr.SetText("(-)");
    c_.LabelInputFreqHz.SetText(prefix + "(-)");
    c_.LabelInputFreqAsNote.SetText("(-)");
    c_.LabelInputFreqDevCent.SetText("(-)");
    meter_.ResetWindow();
}

void Tuner::CBUseFFTClick() {
    const std::string prefix = c_.CBUseFFT.Checked() ? "FFT:    " : "ATr:    ";
    c_.LabelInputFreqHz.SetText(prefix + "(-)");
    meter_.ClearSpectrumBuffers();
    AnyIFMeasParamsChange(&c_.CBUseFFT);
}

void Tuner::CBShowMemoMeasClick() {
    if (!c_.CBShowMemoMeas.Checked() && c_.CBAutoMeasToMemo.Checked()) {
        SuppressActions quiet(c_.CBAutoMeasToMemo);
        c_.CBAutoMeasToMemo.SetChecked(false);
    }
    c_.MemoMeas.SetVisible(c_.CBShowMemoMeas.Checked());
    steadyCount_ = 0;
    lastCents_ = -888.8;
    lastListLine_.clear();
}

std::string Tuner::ListLine() const {
    return c_.LabelInputFreqAsNote.Text() + ": \t" + c_.LabelInputFreqDevCent.Text() + "; \t" +
           c_.LabelInputFreqHz.Text();
}

void Tuner::AppendLine(const std::string& line) {
    c_.MemoMeas.AddLine(line);
}

void Tuner::ButtonMeasToMemoClick() {
    if (!c_.CBShowMemoMeas.Checked()) c_.CBShowMemoMeas.SetChecked(true);
    AppendLine(ListLine());
}

std::string Tuner::MemoText() const {
    std::string text;
    const std::vector<std::string>& lines = c_.MemoMeas.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

void Tuner::SetMemoSelection(size_t start, size_t end) {
    selStart_ = std::min(start, end);
    selEnd_ = std::max(start, end);
}

void Tuner::ButtonMemoMeasCopyAllClick() {
    std::string text;
    for (const std::string& line : c_.MemoMeas.Lines())
        text += line + "\n";
    SetMemoSelection(0, text.empty() ? 0 : text.size() - 1);
    if (desktop != nullptr) desktop->SetClipboardText(text);
}

void Tuner::ButtonMemoMeasCopySelClick() {
    // The list may have changed under a selection made before: what is left of it counts.
    const std::string text = MemoText();
    const size_t start = std::min(selStart_, text.size());
    const size_t end = std::min(selEnd_, text.size());
    if (end > start && desktop != nullptr) desktop->SetClipboardText(text.substr(start, end - start));
}

void Tuner::ButtonMemoMeasClearClick() {
    c_.MemoMeas.SetLines({});
    lastListLine_.clear();
    selStart_ = selEnd_ = 0;
}

void Tuner::ShowInactive() {
    for (Control* c : {&c_.LabelInputFreqHz, &c_.LabelInputFreqAsNote, &c_.LabelInputFreqDevCent})
        c->SetFontColor(TunerColors::Grey);
}

void Tuner::WindowStarted() {
    if (c_.CBXZoomAuto.Checked() && c_.CBPaintWave.Checked() && meter_.Params().WavesDrawn > 0) {
        const double period = measNr_ > 0 && lastFrequency_ > 0 ? e_.SampleRate / lastFrequency_ : 0;
        if (period > 0)
            MoveSlider(c_.TBXZoom,
                       RoundHalfEven(25 * std::log10(BoxWidth / (meter_.Params().WavesDrawn * period))) - 2,
                       3);
    }
}

void Tuner::WindowTimedOut() {
    ShowInactive();
}

void Tuner::WindowEnded(const WindowEnd& end) {
    c_.LabelIFSensitivity.SetColor(end.TooQuiet ? std::optional<Rgb>(kYellow) : std::nullopt);
    if (end.Valid) {
        ShowResult(end.Frequency);
        if (c_.CBMaxIFAuto.Checked()) {
            maxIFAutoCounter_ = 0;
            SetMaxIFFrom(2 * end.Frequency);
        }
        return;
    }
    ShowInactive();
    lamp_ = -1;
    lampColor_ = TunerColors::Silver;
    // Windows without a result raise the highest frequency step by step, with the spectrum too: a
    // smoothing made for a lower note would otherwise keep a higher one below the minimum level
    // for good.
    if (!end.Unchecked && c_.CBMaxIFAuto.Checked() && ++maxIFAutoCounter_ >= c_.SEMinStabilityCount.Value()) {
        maxIFAutoCounter_ = 0;
        c_.TBMaxIF.SetPosition(c_.TBMaxIF.Position() + 3);
    }
}

void Tuner::MoveSlider(Control& slider, int position, int minDifference) {
    position = std::clamp(position, slider.Min(), slider.Max());
    if (std::abs(position - slider.Position()) >= minDifference) slider.SetPosition(position);
}

void Tuner::SetMaxIFFrom(double g) {
    MoveSlider(c_.TBMaxIF, g >= 2 ? RoundHalfEven(25 * std::log10(g)) : c_.TBMaxIF.Min(), 1);
}

void Tuner::AutoSettings() {
    const int peak = meter_.WindowPeak();
    if (c_.CBIFTrigLevelAuto.Checked()) {
        const int p = peak >= 1 ? RoundHalfEven(std::log(32767.0 / peak) * 3 / std::log(2.0)) + 3
                                : c_.TBIFTrigLevel.Max();
        MoveSlider(c_.TBIFTrigLevel, p, 2);
    }
    if (c_.CBYZoomAuto.Checked()) {
        const double v = std::max({static_cast<double>(peak), meter_.Params().TrigLevel,
                                   static_cast<double>(meter_.Params().MinLevel)});
        const int p = v >= 1 ? RoundHalfEven(25 * std::log10(32767 / v)) - 5 : c_.TBYZoom.Max();
        MoveSlider(c_.TBYZoom, p, 5);
    }
}

namespace {
// The cent pattern " +f; -f;+-f" with `decimals` decimals, built in place.
void AppendCents(FixedText& text, double cents, int decimals, char sep) {
    FixedText magnitude;
    magnitude.AppendFixed(std::abs(cents), decimals, sep);
    // The zero section when the value rounds to zero at these decimals.
    const bool zero = magnitude.View().find_first_of("123456789") == std::string_view::npos;
    text.Append(zero ? "+-" : cents > 0 ? " +" : " -").Append(magnitude.View());
}
} // namespace

// Between blocks, after every window with a result: nothing here allocates once the texts have
// been as long as they get, unless the result is listed.
void Tuner::ShowResult(double f) {
    for (Control* c : {&c_.LabelInputFreqHz, &c_.LabelInputFreqAsNote, &c_.LabelInputFreqDevCent})
        c->SetFontColor(TunerColors::Blue);
    ++measNr_;
    lastFrequency_ = f;
    FixedText hz;
    hz.Append(c_.CBUseFFT.Checked() ? "FFT:    " : "ATr:    ")
        .AppendFixed(f, c_.SEFreqDec.Value(), DecimalSeparator)
        .Append(" Hz");
    c_.LabelInputFreqHz.AssignText(hz.View());
    if (f < 2) return;
    const NoteReading note = ReadNote(f, gen_.BaseFrequency());
    if (note.Underflow) {
        c_.LabelInputFreqAsNote.AssignText("Unterlauf!");
        return;
    }
    c_.LabelInputFreqAsNote.AssignText(note.Name);
    if (c_.CBControlGenFreq.Checked()) gen_.FollowNote(note.NameIndex, note.Octave);

    FixedText cents;
    AppendCents(cents, note.Cents, c_.SECentDec.Value(), DecimalSeparator);
    const std::string_view centText = cents.View(); // the text stays in place as more is appended
    cents.Append(" Cent");
    c_.LabelInputFreqDevCent.AssignText(cents.View());
    FixedText number;
    number.Append(int64_t{measNr_});
    c_.LabelMeasNr.AssignText(number.View());
    measuringBlink_ = !measuringBlink_;
    c_.LabelMeasuring.SetColor(measuringBlink_ ? std::optional<Rgb>(kAqua)
                                               : std::optional<Rgb>(TunerColors::Grey));

    const int j = RoundHalfEven(note.Cents);
    if (j >= -50 && j <= 50) {
        lamp_ = (j + 50) / 2;
        lampColor_ = j == 0 ? kLime : kYellow;
    } else {
        lamp_ = -1;
    }
    c_.PanelLeds.SetColor(TunerColors::Silver);
    c_.CBSupressSameLines.SetColor(std::nullopt);
    c_.MemoMeas.SetColor(TunerColors::InfoBk);

    // Stability: S results in a row within the tolerance of the one before.
    const int needed = c_.SEMinStabilityCount.Value();
    if (steadyCount_ < needed) {
        if (std::abs(note.Cents - lastCents_) > c_.TBStabilityTolerance.Position() / 10.0) {
            steadyCount_ = 1;
            c_.LabelStability.SetColor(std::nullopt);
        } else {
            ++steadyCount_;
        }
    }
    if (steadyCount_ >= needed) {
        steadyCount_ = 1;
        stabilityBlink_ = !stabilityBlink_;
        const Rgb colour = stabilityBlink_ ? kAqua : kLime;
        c_.LabelStability.SetColor(colour);
        c_.PanelLeds.SetColor(colour);
        if (OnSteady) {
            SteadyNote s;
            s.Seconds = static_cast<double>(e_.InputFrameCounter) / e_.SampleRate;
            s.Frequency = f;
            s.Note = note.Name;
            s.Octave = note.Octave;
            s.Cents = note.Cents;
            s.ListLine = ListLine();
            OnSteady(s);
        }
        if (c_.CBAutoMeasToMemo.Checked()) {
            const std::string key = note.Name + "/" + std::string(centText);
            if (key == lastListLine_ && c_.CBSupressSameLines.Checked()) {
                c_.CBSupressSameLines.SetColor(kRed);
            } else {
                AppendLine(ListLine());
                lastListLine_ = key;
                c_.MemoMeas.SetColor(colour);
                c_.CBSupressSameLines.SetColor(kYellow);
            }
            if (c_.CBAutoMeasToMemoOnlyOnce.Checked()) c_.CBAutoMeasToMemo.SetChecked(false);
        }
    }
    lastCents_ = note.Cents;
}

} // namespace kreisel

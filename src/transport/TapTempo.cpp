// Counting taps, their tempo and the start that follows them.
#include "transport/TapTempo.h"

#include "core/Text.h"

#include <algorithm>
#include <string>

namespace kreisel {

TapTempo::TapTempo(Engine& engine, MainControls& controls, Clock& clock, Metronome& metronome)
    : e_(engine), c_(controls), clock_(clock), metronome_(metronome) {
    AnyChange_Tap(nullptr);
    c_.CBTapStartRecord.SetOnChange([this](Control&) { AnyChange_TapStartOptions(); });
}

void TapTempo::ShowSwitches() {
    SuppressActions quietA(c_.SBTap);
    SuppressActions quietB(c_.SBTapOpt);
    c_.SBTap.SetDown(tapMode_);
    c_.SBTapOpt.SetDown(tapMode_);
}

void TapTempo::AnyChange_TapStartOptions() {
    c_.CBTapStartPlay.SetEnabled(!c_.CBTapStartRecord.Checked());
}

void TapTempo::AnyChange_Tap(const Control* sender) {
    if (sender == &c_.SBTap || sender == &c_.SBTapOpt) {
        tapMode_ = !tapMode_;
        meanTempo_ = 0;
        c_.PanelTapFreqMean.SetVisible(tapMode_);
        c_.LabelTapFreq.SetText("? BpM");
        armed_ = false;
    }
    ShowSwitches();

    const int position = c_.TBTapLevel.Position();
    const int maximum = std::max(1, c_.TBTapLevel.Max());
    threshold_ = position - maximum + 32767;
    reArmLevel_ = DivTrunc(threshold_, 3) * 2;
    c_.PanelTapLevelPercent.SetText(std::to_string(100 - DivTrunc(position * 100, maximum)) + "%");

    AnyChange_TapStartOptions();

    firstTapMs_ = lastTapMs_ = clock_.TickCount();
    tapCount_ = c_.TBTapCount.Position();
    c_.LabelToTapCount.SetText(std::to_string(tapCount_) + " taps");
    c_.LabelToTapCount.SetColor(tapMode_ ? std::optional<Rgb>(Colors::Red) : std::nullopt);
    tapsToGo_ = tapMode_ ? tapCount_ : 0;
}

void TapTempo::InputPeak(int16_t peakL) {
    if (!armed_ && peakL < reArmLevel_) armed_ = true;
    if (armed_ && peakL > threshold_) {
        if (tapsToGo_ > 0) CountATap();
        armed_ = false;
    }
}

bool TapTempo::KeyTap() {
    if (!c_.CBTapCtrlKeys.Checked() || tapsToGo_ <= 0) return false;
    CountATap();
    return true;
}

void TapTempo::CountATap() {
    const int64_t now = clock_.TickCount();
    if (now - lastTapMs_ < kMinTapIntervalMs) return;

    c_.LabelToTapCount.SetColor(c_.LabelToTapCount.Color() == Colors::Red ? Colors::White : Colors::Red);

    if (tapsToGo_ < tapCount_) {
        const int64_t intervals = tapCount_ - tapsToGo_;
        // Taps more than a minute apart would give 0 BpM; the slowest tempo is 1.
        meanTempo_ = static_cast<int>(std::max<int64_t>(1, intervals * 60000 / (now - firstTapMs_)));
        const int64_t current = 60000 / (now - lastTapMs_);
        c_.LabelTapFreq.SetText(std::to_string(meanTempo_) + " BpM (Akt.:" + std::to_string(current) + ")");
    } else {
        firstTapMs_ = now;
    }

    lastTapMs_ = now;
    --tapsToGo_;
    c_.LabelToTapCount.SetText(std::to_string(tapsToGo_));

    if (c_.CBTapStartRecord.Checked()) {
        c_.LabelDisp1.SetText(std::to_string(tapsToGo_ + 1) + " b");
        c_.LabelDisp1.SetColor(tapsToGo_ == 0 ? Colors::Red : Colors::Black);
        c_.LabelDisp1.SetFontColor(tapsToGo_ == 0 ? Colors::Black : Colors::White);
    }

    if (tapsToGo_ > 0) return;
    tapMode_ = false;
    AnyChange_Tap(nullptr);
    if (meanTempo_ < 1) return; // a single tap gives no tempo to start on
    if (c_.CBTapSetMetronom.Checked()) {
        {
            SuppressActions quiet(c_.TBMetronomBPM);
            c_.TBMetronomBPM.SetPosition(meanTempo_);
        }
        metronome_.AnyChange_MetronomBPM(&c_.TBMetronomBPM);
    }
    if (c_.CBTapStartMetronom.Checked() && !e_.MetroOn) metronome_.AnyChange_MetronomBPM(&c_.SBMetronom);
    startTime_ = now + 60000 / meanTempo_;
    startPending_ = true;
}

void TapTempo::CheckTappedStart() {
    if (!startPending_ || clock_.TickCount() < startTime_) return;
    startPending_ = false;
    if (c_.CBTapStartRecord.Checked() && !e_.Recording) {
        if (PressRecord) PressRecord();
    } else if (c_.CBTapStartPlay.Checked() && !(e_.Playing && !e_.Paused)) {
        if (PressPlay) PressPlay();
    }
}

void TapTempo::SwitchOff() {
    tapMode_ = false;
    startPending_ = false;
    AnyChange_Tap(nullptr);
    c_.PanelTapFreqMean.SetVisible(false);
}

} // namespace kreisel

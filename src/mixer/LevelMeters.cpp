// Meter arithmetic: scale, fall step, the hold marker and the refresh countdown.
#include "mixer/LevelMeters.h"

#include "core/Text.h"

#include <algorithm>
#include <cmath>

namespace kreisel {

int32_t LevelScale(int32_t peak) {
    if (peak < 256) return 0;
    const double p = static_cast<double>(std::min<int32_t>(peak, 32767));
    return std::clamp(RoundHalfEven(32767.0 * (std::log2(p) - 8.0) / 7.0), 0, 32767);
}

int MeterFallStep(int delayStep, int blockBytes, int sampleRate) {
    if (sampleRate <= 0) return 1;
    const int64_t step = int64_t{delayStep} * 8 * blockBytes * 2 / sampleRate;
    return static_cast<int>(std::clamp<int64_t>(step, 1, 1 << 20));
}

LevelMeters::LevelMeters() {
    Reset(Input);
    Reset(Output);
}

void LevelMeters::SetPanelHeight(int height) {
    panelHeight_ = std::max(height, 2);
    Reset(Input);
    Reset(Output);
}

void LevelMeters::ResetMeter(Meter& m) const {
    m.MarkerTop = panelHeight_ - 2;
    m.CoverHeight = m.MarkerTop;
    m.ShownPeak = 0;
}

void LevelMeters::Reset(Side side) {
    SideState& s = sides_[side];
    for (Meter& m : s.Meters)
        ResetMeter(m);
    s.Clipped = {false, false};
    ++generation_;
}

void LevelMeters::Show(Meter& m, int32_t peak) {
    m.ShownPeak = peak;
    // (32767 - s) × (height - 2) / 32768 with the remainder dropped.
    int h = static_cast<int>((int64_t{32767 - LevelScale(peak)} * (panelHeight_ - 2)) >> 15);
    if (Smooth)
        h = std::min(h, m.CoverHeight + FallStep); // rises at once, falls one step per update
    else
        m.MarkerTop = std::min(h, m.MarkerTop + FallStep); // the hold marker sinks slowly
    m.CoverHeight = h;
}

void LevelMeters::Feed(Side side, int32_t peakL, int32_t peakR) {
    if (!WindowVisible || !SideOn[side]) return;
    SideState& s = sides_[side];
    peakL = std::clamp<int32_t>(peakL, 0, 32767);
    peakR = std::clamp<int32_t>(peakR, 0, 32767);
    if (s.Countdown >= 1 && peakL <= s.Meters[0].ShownPeak && peakR <= s.Meters[1].ShownPeak) {
        --s.Countdown;
        return;
    }
    if (s.Countdown < 1) s.Countdown = RefreshInterval;
    Show(s.Meters[0], peakL);
    Show(s.Meters[1], peakR);
    if (peakL >= 32767) s.Clipped[0] = true;
    if (peakR >= 32767) s.Clipped[1] = true;
    ++generation_;
}

} // namespace kreisel

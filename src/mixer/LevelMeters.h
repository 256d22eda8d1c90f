// The level meters of the faders window: the log scale shared with the loop graphs, the fall
// step, and per side (input, output) two meters with their cover, hold marker and clip lamp.
// The block processor feeds the block peaks; the views only read the state, so a block costs
// a few integer operations and never a paint.
#pragma once

#include <array>
#include <cstdint>

namespace kreisel {

// Height value 0..32767 of a peak: the 7 octaves from 256 to 32767 spread over the range,
// anything below 256 is 0.
int32_t LevelScale(int32_t peak);

// Pixels a meter may fall per update: `delayStep` × 8 × block bytes × 2 / rate, at least 1.
int MeterFallStep(int delayStep, int blockBytes, int sampleRate);

// One meter. Heights are in pixels of the meter panel, counted from its top.
struct Meter {
    int32_t ShownPeak = 0;
    int CoverHeight = 0; // the black cover hanging from the top: the larger, the lower the level
    int MarkerTop = 0;   // top of the 4-pixel hold marker
};

class LevelMeters {
  public:
    enum Side { Input = 0, Output = 1 };
    struct SideState {
        std::array<Meter, 2> Meters{}; // left, right
        std::array<bool, 2> Clipped{}; // clip lamps: red until reset
        int Countdown = 0;
    };

    LevelMeters();

    // Settings: FaderRefreshInterval, the fall step (see MeterFallStep), FaderSmooth.
    int RefreshInterval = 1;
    int FallStep = 1;
    bool Smooth = false;
    // The faders window is shown; each side runs only while its "VU" button is down.
    bool WindowVisible = false;
    std::array<bool, 2> SideOn{};

    // Height of the meter panels in pixels; the view sets it, and the meters restart dark.
    void SetPanelHeight(int height);
    int PanelHeight() const { return panelHeight_; }

    // The block's peaks of a side (the per-block update).
    void Feed(Side side, int32_t peakL, int32_t peakR);
    // Both meters dark and both clip lamps green (the "VU" buttons, a stop, a click on a lamp).
    void Reset(Side side);

    const SideState& State(Side side) const { return sides_[side]; }
    // Changes whenever anything shown changed; a view repaints when it moved on.
    uint32_t Generation() const { return generation_; }

  private:
    void Show(Meter& m, int32_t peak);
    void ResetMeter(Meter& m) const;

    std::array<SideState, 2> sides_{};
    int panelHeight_ = 100;
    uint32_t generation_ = 0;
};

} // namespace kreisel

// The four master faders: input level and balance, output level and balance. They belong to the
// loop mixer window (macros find them there) and are shown in the faders window "Haupt-Regler".
// The block processor reads the six levels they set in the engine.
#pragma once

#include "core/Control.h"
#include "core/Form.h"
#include "engine/Engine.h"

#include <array>
#include <cstdint>

namespace kreisel {

// Level units of a fader position (0 at the top of the vertical fader); 38 is unity, 120 silence.
inline constexpr std::array<int32_t, 121> FaderLevelTable{
    480,  420,  360,  330,  300,  270,  240,  210,  180,  160,  140,  120,  110,  100,  90,   80,
    70,   60,   56,   52,   48,   44,   40,   36,   33,   30,   27,   24,   21,   18,   16,   14,
    12,   10,   8,    6,    4,    2,    0,    -2,   -4,   -6,   -8,   -10,  -12,  -14,  -16,  -18,
    -20,  -22,  -24,  -26,  -28,  -30,  -32,  -34,  -36,  -38,  -40,  -42,  -44,  -46,  -48,  -51,
    -54,  -57,  -60,  -65,  -70,  -75,  -80,  -85,  -90,  -95,  -100, -105, -110, -115, -120, -125,
    -130, -135, -140, -145, -150, -155, -160, -165, -170, -175, -180, -185, -190, -195, -200, -210,
    -220, -230, -240, -250, -260, -270, -280, -290, -300, -320, -340, -360, -380, -400, -420, -450,
    -480, -520, -560, -600, -650, -700, -800, -900, -1200};

inline constexpr int kFaderUnity = 38;

struct FaderControls {
    explicit FaderControls(Form& form);
    FaderControls(const FaderControls&) = delete;
    FaderControls& operator=(const FaderControls&) = delete;

    Control& TBInpLevel;    // vertical 0..120, unity at 38
    Control& TBInpLevelPan; // horizontal 0..16, middle at 8
    Control& TBOutLevel;
    Control& TBOutLevelPan;
    Control& LabelInpLevelVal; // level text; a click sets the fader back to unity
    Control& LabelOutLevelVal;
    Control& PanelInpLevelLR; // "left  /  right" of the balance, in dB
    Control& PanelOutLevelLR;
    Control& SBLevelMeterInp; // "VU": at most one side's meters run
    Control& SBLevelMeterOut;
};

class Faders {
  public:
    // Wires the faders and their labels and sets the engine's levels from them.
    Faders(Engine& engine, FaderControls& controls);

    char DecimalSeparator = '.';

    // Recomputes the six levels from the fader positions and rewrites the labels.
    void TBLevelsChange();
    // The level label's click (and double click): the fader back to unity.
    void LevelLabelClick(Control& label);

  private:
    Engine& engine_;
    FaderControls& c_;
};

} // namespace kreisel

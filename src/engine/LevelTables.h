// Slider positions to level units: the 17-step amplitude and panorama sliders of the loop mixer,
// the input and output rows and the metronome and generator levels all share these steps.
#pragma once

#include <array>
#include <cstdint>

namespace kreisel {

// Position 4 is unity; position 16 is silence.
constexpr std::array<int32_t, 17> AmpLevelTable{180,  120,  60,   30,   0,    -30,  -60,  -90,  -120,
                                                -150, -180, -210, -240, -300, -360, -450, -1200};

// Positions 0..8 leave a side alone; the other side of a pair reads the table at 16 - position.
constexpr std::array<int32_t, 17> PanLevelTable{0,   0,   0,   0,    0,    0,    0,    0,    0,
                                                -30, -60, -90, -120, -180, -240, -360, -1200};

// The level of a 17-step slider position; positions outside the slider are taken at its ends.
inline int32_t LevelOfPosition(const std::array<int32_t, 17>& table, int position) {
    if (position < 0) position = 0;
    if (position > 16) position = 16;
    return table[static_cast<std::size_t>(position)];
}

} // namespace kreisel

// The JACK client's conversions between float port buffers and the program's 16-bit frames.
#include "soundcard/rtaudio/JackDuplex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace kreisel {
namespace {

TEST(SampleConversion, EveryValueSurvivesTheWayOutAndBackAndStrayFloatsAreClipped) {
    // Every 16-bit value on the left, in reverse on the right; an odd count leaves a tail that the
    // vector loops do not take.
    constexpr int kCount = 65536 + 3;
    std::vector<int16_t> frames(2 * kCount);
    for (int i = 0; i < kCount; ++i) {
        frames[2 * i] = static_cast<int16_t>(i - 32768);
        frames[2 * i + 1] = static_cast<int16_t>(32767 - i);
    }
    std::vector<float> left(kCount), right(kCount);
    JackDuplex::ToPorts(frames.data(), left.data(), right.data(), kCount);
    EXPECT_LE(std::fabs(left[65535]), 1.0f);
    std::vector<int16_t> back(2 * kCount, 7);
    JackDuplex::FromPorts(left.data(), right.data(), back.data(), kCount);
    EXPECT_EQ(back, frames);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> stray{2.0f, -2.0f, inf, -inf, nan, 0.0f, -0.0f, 1.0f, -1.0f};
    // Silence sits half a step below zero (the scale is offset by one half), so 0.0 is -1.
    const std::vector<int16_t> clipped{32767, -32768, 32767, -32768, -32768, -1, -1, 32767, -32768};
    std::vector<int16_t> got(2 * stray.size());
    JackDuplex::FromPorts(stray.data(), stray.data(), got.data(), static_cast<int>(stray.size()));
    for (size_t i = 0; i < stray.size(); ++i) {
        EXPECT_EQ(got[2 * i], clipped[i]) << stray[i];
        EXPECT_EQ(got[2 * i + 1], clipped[i]) << stray[i];
    }
}

} // namespace
} // namespace kreisel

#include "engine/Gain.h"

#include <gtest/gtest.h>

#include <array>

namespace kreisel {
namespace {

TEST(GainTable, AnchorsAndOctaves) {
    const GainTable& t = GainTable::Instance();
    // 80 units are a factor of two, built by repeated multiplication; one unit is 32768^(1/1200).
    EXPECT_EQ((std::array{t[0], t[-1200], t[1200], t[80], t[-80], t[-160], t[1]}),
              (std::array<int32_t, 7>{65536, 0, 2147483647, 131072, 32768, 16384, 66106}));
    for (int level = -1199; level < 1200; ++level)
        ASSERT_LE(t[level], t[level + 1]) << level;
    for (int level = -600; level < 1200; ++level)
        ASSERT_LT(t[level], t[level + 1]) << level;
}

// ApplyGain truncates toward zero and silences; levels above the table are clamped to its top, the
// result is not clamped to 16 bits. ApplyGainSat clamps once, after the level.
TEST(ApplyGain, TruncatesTowardZeroAndSaturatesOnceAfterTheLevel) {
    struct Case { int32_t value; int level; int32_t plain, sat; }; // plain only for 16-bit values
    const Case cases[] = {{12345, 0, 12345, 12345},     {-32768, 0, -32768, -32768}, {12345, -960, 0, 0},
                          {12345, -5000, 0, 0},         {-3, -80, -1, -1},           {3, -80, 1, 1},
                          {-32768, 80, -65536, -32768}, {2, 5000, 65535, 32767},     {40000, 0, 0, 32767},
                          {-40000, 0, 0, -32768},       {100000, -80, 0, 32767},     {60000, -80, 0, 30000},
                          {1, 1200, 32767, 32767},      {-1, 1200, -32767, -32767},  {2000000000, -960, 0, 0}};
    for (const Case& c : cases) {
        if (c.value == static_cast<int16_t>(c.value)) {
            EXPECT_EQ(ApplyGain(static_cast<int16_t>(c.value), c.level), c.plain) << c.value << " " << c.level;
        }
        EXPECT_EQ(ApplyGainSat(c.value, c.level), c.sat) << c.value << " " << c.level;
    }
    // A sum beyond 32 bits saturates instead of wrapping.
    EXPECT_EQ(ApplyGainSat64(int64_t{5} << 32, -900), 32767);
    EXPECT_EQ(ApplyGainSat64(-(int64_t{5} << 32), 0), -32768);
}

} // namespace
} // namespace kreisel

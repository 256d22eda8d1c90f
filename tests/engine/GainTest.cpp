#include "engine/Gain.h"

#include <gtest/gtest.h>

namespace kreisel {
namespace {

TEST(GainTable, AnchorsAndOctaves) {
    const GainTable& t = GainTable::Instance();
    EXPECT_EQ(t[0], 65536);
    EXPECT_EQ(t[-1200], 0);
    EXPECT_EQ(t[1200], 2147483647);
    // 80 units are a factor of two, built by repeated multiplication.
    EXPECT_EQ(t[80], 131072);
    EXPECT_EQ(t[-80], 32768);
    EXPECT_EQ(t[-160], 16384);
    // One unit is 32768^(1/1200).
    EXPECT_EQ(t[1], 66106);
    for (int level = -1199; level < 1200; ++level)
        ASSERT_LE(t[level], t[level + 1]) << level;
    for (int level = -600; level < 1200; ++level)
        ASSERT_LT(t[level], t[level + 1]) << level;
}

TEST(ApplyGain, TruncatesTowardZeroAndSilences) {
    EXPECT_EQ(ApplyGain(12345, 0), 12345);
    EXPECT_EQ(ApplyGain(-32768, 0), -32768);
    EXPECT_EQ(ApplyGain(12345, -960), 0);
    EXPECT_EQ(ApplyGain(12345, -5000), 0);
    EXPECT_EQ(ApplyGain(-3, -80), -1);
    EXPECT_EQ(ApplyGain(3, -80), 1);
    EXPECT_EQ(ApplyGain(-32768, 80), -65536);
    // Levels above the table are clamped to its top: not clamped to 16 bits.
    EXPECT_EQ(ApplyGain(2, 5000), 65535);
}

TEST(ApplyGainSat, ClampsOnceAfterTheLevel) {
    EXPECT_EQ(ApplyGainSat(40000, 0), 32767);
    EXPECT_EQ(ApplyGainSat(-40000, 0), -32768);
    EXPECT_EQ(ApplyGainSat(100000, -80), 32767);
    EXPECT_EQ(ApplyGainSat(60000, -80), 30000);
    EXPECT_EQ(ApplyGainSat(-3, -80), -1);
    EXPECT_EQ(ApplyGainSat(1, 1200), 32767);
    EXPECT_EQ(ApplyGainSat(-1, 1200), -32767);
    EXPECT_EQ(ApplyGainSat(2000000000, -960), 0);
    // A sum beyond 32 bits saturates instead of wrapping.
    EXPECT_EQ(ApplyGainSat64(int64_t{5} << 32, -900), 32767);
    EXPECT_EQ(ApplyGainSat64(-(int64_t{5} << 32), 0), -32768);
}

} // namespace
} // namespace kreisel

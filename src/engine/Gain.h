// Level arithmetic: every gain, level and balance in the looper is an integer in level units.
// 1200 units span a factor of 32768, so 80 units are exactly a factor of two; a level of -960
// or below is silence.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kreisel {

constexpr int kLevelMin = -1200;
constexpr int kLevelMax = 1200;
constexpr int kLevelSilent = -960;

// 16.16 fixed-point factors for levels -1200..+1200, built once.
class GainTable {
  public:
    static const GainTable& Instance();
    int32_t operator[](int level) const { return factors_[static_cast<std::size_t>(level - kLevelMin)]; }

  private:
    GainTable();
    std::array<int32_t, kLevelMax - kLevelMin + 1> factors_{};
};

// The factor a level multiplies with, 0 for silence; clamps the level into the table.
inline int32_t GainFactor(int level) {
    if (level <= kLevelSilent) return 0;
    if (level > kLevelMax) level = kLevelMax;
    return GainTable::Instance()[level];
}

// value × factor / 65536, truncated toward zero, formed at full width.
inline int64_t ScaleByFactor(int64_t value, int32_t factor) {
    return value * factor / 65536;
}

inline int16_t Clamp16(int64_t v) {
    return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

// A level applied to a 16-bit sample; the result is not clamped.
inline int32_t ApplyGain(int16_t sample, int level) {
    if (level == 0) return sample;
    return static_cast<int32_t>(ScaleByFactor(sample, GainFactor(level)));
}

// A level applied to a 32-bit sum and clamped to 16 bits.
inline int16_t ApplyGainSat(int32_t value, int level) {
    if (level == 0) return Clamp16(value);
    return Clamp16(ScaleByFactor(value, GainFactor(level)));
}

// Sums of many loops can leave the 32-bit range; such a sum saturates the output anyway, so it
// is brought back into range before the level is applied instead of wrapping around.
inline int16_t ApplyGainSat64(int64_t value, int level) {
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    return ApplyGainSat(static_cast<int32_t>(value), level);
}

} // namespace kreisel

// Number texts of the looper: the engine's rounding and division, Delphi-style number patterns
// ("0.##0", "+0.0;-0.0;+-0") and the level, time and beat texts shown in the windows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kreisel {

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// Independent of the floating-point rounding mode. Results beyond the int range clamp to
// INT_MIN / INT_MAX; NaN gives 0.
int RoundHalfEven(double value);
std::int64_t RoundHalfEven64(double value);

// Integer division truncating toward zero (the engine's "div"). b must not be 0; a zero divisor
// yields 0 instead of trapping. INT_MIN div -1 saturates to INT_MAX.
int DivTrunc(int a, int b);
std::int64_t DivTrunc64(std::int64_t a, std::int64_t b);

// Formats value with a Delphi FormatFloat pattern.
// - Up to three sections split by ';': positive;negative;zero. With a negative section the value
//   is formatted without sign, the section's own text supplies it. The zero section is used when
//   the value rounds to zero at the pattern's decimals. An empty section falls back to the first.
// - '0' is a mandatory digit, '#' an optional one. The number of placeholders after the first '.'
//   gives the decimals; decimals up to the rightmost '0' are always shown, trailing zeros beyond
//   it are dropped, and the separator only appears when a decimal follows it.
// - Text in single or double quotes and any other character is copied in place.
// - Rounding is half away from zero on the exact decimal value of the double.
// Thousands separators and exponent formats are not supported (',' and 'E' are copied as text).
std::string FormatFloat(std::string_view pattern, double value, char decimalSeparator = '.');

// A short text built in place, for the displays refreshed on every block: nothing is allocated.
// What does not fit is cut off.
class FixedText {
  public:
    static constexpr std::size_t kCapacity = 120;

    FixedText& Append(std::string_view text);
    FixedText& Append(std::int64_t value);
    // The value with exactly `decimals` decimals, rounded as FormatFloat rounds, as the patterns
    // "0.000" (or "#.000" without `leadingZero`) show it.
    FixedText& AppendFixed(double value, int decimals, char decimalSeparator, bool leadingZero = true);
    std::string_view View() const { return {data_.data(), size_}; }
    std::string Str() const { return std::string(View()); }

  private:
    std::array<char, kCapacity> data_{};
    std::size_t size_ = 0;
};

// "0." followed by `decimals` zeros (no decimals for 0): the pattern of the time and frequency
// texts.
std::string DecimalsPattern(int decimals);
// The tuner's cent pattern " +f; -f;+-f" with f = DecimalsPattern(decimals).
std::string CentPattern(int decimals);

// A level in level units as shown to the user: "AUS" below -960, otherwise level x 0.1 followed
// by " dB", with a leading '+' for positive levels ("+1.5 dB", "0 dB", "-96 dB").
std::string LevelText(int level, char decimalSeparator = '.');

// Seconds of a length in stored values with `digits` decimals, followed by " Sek."
// (88200 values, 2 channels, 44100 Hz, 3 digits: "1.000 Sek."). A channel count or sample rate
// below 1 gives the text of length zero.
std::string TimeText(std::int64_t lengthValues, int channelCount, int sampleRate, int digits,
                     char decimalSeparator = '.');
void AppendTimeText(FixedText& text, std::int64_t lengthValues, int channelCount, int sampleRate, int digits,
                    char decimalSeparator = '.');

// Beats of a length in stored values, counted in whole half-beats, in the "0.0" pattern followed
// by " beats". A half-beat length below 1 gives the text of zero beats.
std::string BeatText(int lengthValues, int channelCount, int halfBeatFrames, char decimalSeparator = '.');

// Length of a recorded loop, in the "0.##0" pattern followed by " Sek.".
std::string LoopTimeText(int loopLenBytes, int channelCount, int sampleRate, char decimalSeparator = '.');
void AppendLoopTimeText(FixedText& text, int loopLenBytes, int channelCount, int sampleRate,
                        char decimalSeparator = '.');

// The lines of a text, split at LF with a CR before it dropped; a last line without LF counts.
std::vector<std::string> SplitLines(std::string_view text);

} // namespace kreisel

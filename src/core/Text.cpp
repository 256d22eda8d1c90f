// Number texts: rounding, Delphi-style number patterns and the level, time and beat texts.
#include "core/Text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

namespace kreisel {

namespace {

// Half-even rounding done by hand so that a changed floating-point rounding mode cannot alter
// the engine's results. v - floor(v) is exact for every double.
double RoundHalfEvenDouble(double value) {
    const double floorValue = std::floor(value);
    const double fraction = value - floorValue;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floorValue, 2.0) != 0.0)) return floorValue + 1.0;
    return floorValue;
}

// One section of a pattern and the shape of its digit placeholders.
struct Layout {
    std::string_view text;
    int intPlaceholders = 0;
    int mandatoryInt = 0; // placeholders from the leftmost '0' before the point up to the point
    int fracPlaceholders = 0;
    int mandatoryFrac = 0; // placeholders after the point up to the rightmost '0'
};

// The value's digits after rounding: integer digits without leading zeros ("" for zero) and
// exactly as many decimals as the layout has placeholders after the point.
struct Digits {
    std::string intPart;
    std::string frac;
    bool zero = true;
};

bool IsQuote(char c) {
    return c == '\'' || c == '"';
}

// Index just past the quoted text that starts at `start` (or the end of the text).
std::size_t SkipQuoted(std::string_view text, std::size_t start) {
    const std::size_t close = text.find(text[start], start + 1);
    return close == std::string_view::npos ? text.size() : close + 1;
}

std::vector<std::string_view> SplitSections(std::string_view pattern) {
    std::vector<std::string_view> sections;
    std::size_t begin = 0;
    std::size_t i = 0;
    while (i < pattern.size() && sections.size() < 2) {
        if (IsQuote(pattern[i])) {
            i = SkipQuoted(pattern, i);
        } else if (pattern[i] == ';') {
            sections.push_back(pattern.substr(begin, i - begin));
            begin = ++i;
        } else {
            ++i;
        }
    }
    // A third section ends at the next ';' like the others; anything after it is ignored.
    std::size_t end = begin;
    while (end < pattern.size() && pattern[end] != ';')
        end = IsQuote(pattern[end]) ? SkipQuoted(pattern, end) : end + 1;
    sections.push_back(pattern.substr(begin, end - begin));
    return sections;
}

Layout ParseLayout(std::string_view text) {
    Layout layout;
    layout.text = text;
    bool afterPoint = false;
    int leftmostZero = -1;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (IsQuote(c)) {
            i = SkipQuoted(text, i);
            continue;
        }
        if (c == '.') {
            afterPoint = true;
        } else if (c == '0' || c == '#') {
            if (afterPoint) {
                ++layout.fracPlaceholders;
                if (c == '0') layout.mandatoryFrac = layout.fracPlaceholders;
            } else {
                if (c == '0' && leftmostZero < 0) leftmostZero = layout.intPlaceholders;
                ++layout.intPlaceholders;
            }
        }
        ++i;
    }
    if (leftmostZero >= 0) layout.mandatoryInt = layout.intPlaceholders - leftmostZero;
    return layout;
}

// Rounds |value| half away from zero to `decimals` decimals, working on the exact decimal
// expansion so that a double just below a half (2.675 is 2.67499...) rounds down and one just
// above it (0.0005 is 0.000500000000000000010...) rounds up.
Digits RoundedDigits(double magnitude, int decimals) {
    // A double m * 2^e with a 53-bit m has at most 53 - exponent decimals, so this precision
    // prints it exactly and snprintf does no rounding of its own.
    int exponent = 0;
    std::frexp(magnitude, &exponent);
    const int precision = std::max(std::clamp(53 - exponent, 0, 1200), decimals + 1);
    std::vector<char> buffer(static_cast<std::size_t>(precision) + 400);
    std::snprintf(buffer.data(), buffer.size(), "%.*f", precision, magnitude);
    const std::string_view text(buffer.data());
    const std::size_t point = text.find('.');
    std::string digits(text.substr(0, point));
    const std::string_view frac = text.substr(point + 1);
    digits.append(frac.substr(0, static_cast<std::size_t>(decimals)));
    if (frac[static_cast<std::size_t>(decimals)] >= '5') {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0) {
            digits.insert(digits.begin(), '1');
        } else {
            ++digits[i - 1];
        }
    }
    Digits result;
    const std::size_t intLength = digits.size() - static_cast<std::size_t>(decimals);
    result.intPart = digits.substr(0, intLength);
    result.frac = digits.substr(intLength);
    result.intPart.erase(0, result.intPart.find_first_not_of('0'));
    result.zero = digits.find_first_not_of('0') == std::string::npos;
    return result;
}

Digits ZeroDigits(const Layout& layout) {
    Digits digits;
    digits.frac.assign(static_cast<std::size_t>(layout.fracPlaceholders), '0');
    return digits;
}

std::string Render(const Layout& layout, const Digits& digits, char decimalSeparator) {
    std::string intDigits = digits.intPart;
    if (static_cast<int>(intDigits.size()) < layout.mandatoryInt)
        intDigits.insert(0, static_cast<std::size_t>(layout.mandatoryInt) - intDigits.size(), '0');
    std::string frac = digits.frac;
    while (static_cast<int>(frac.size()) > layout.mandatoryFrac && frac.back() == '0')
        frac.pop_back();

    const int placeholders = layout.intPlaceholders;
    const int count = static_cast<int>(intDigits.size());
    std::string out;
    int intSeen = 0;
    std::size_t fracSeen = 0;
    bool afterPoint = false;
    const std::string_view text = layout.text;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (IsQuote(c)) {
            const std::size_t close = text.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? text.size() : close;
            out.append(text.substr(i + 1, end - i - 1));
            i = std::min(end + 1, text.size());
            continue;
        }
        if (c == '0' || c == '#') {
            if (!afterPoint) {
                // Surplus integer digits all go to the first placeholder, missing ones leave the
                // leading placeholders empty.
                if (count > placeholders) {
                    if (intSeen == 0) {
                        out.append(intDigits, 0, static_cast<std::size_t>(count - placeholders + 1));
                    } else {
                        out += intDigits[static_cast<std::size_t>(intSeen + count - placeholders)];
                    }
                } else if (intSeen >= placeholders - count) {
                    out += intDigits[static_cast<std::size_t>(intSeen - (placeholders - count))];
                }
                ++intSeen;
            } else {
                if (fracSeen < frac.size()) out += frac[fracSeen];
                ++fracSeen;
            }
        } else if (c == '.') {
            if (!afterPoint) {
                afterPoint = true;
                if (placeholders == 0) out += intDigits;
                if (!frac.empty()) out += decimalSeparator;
            }
        } else {
            out += c;
        }
        ++i;
    }
    return out;
}

} // namespace

int RoundHalfEven(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = RoundHalfEvenDouble(value);
    if (rounded >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (rounded <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(rounded);
}

std::int64_t RoundHalfEven64(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = RoundHalfEvenDouble(value);
    constexpr double twoTo63 = 9223372036854775808.0;
    if (rounded >= twoTo63) return INT64_MAX;
    if (rounded <= -twoTo63) return INT64_MIN;
    return static_cast<std::int64_t>(rounded);
}

int DivTrunc(int a, int b) {
    if (b == 0) return 0;
    if (a == INT_MIN && b == -1) return INT_MAX;
    return a / b;
}

std::int64_t DivTrunc64(std::int64_t a, std::int64_t b) {
    if (b == 0) return 0;
    if (a == INT64_MIN && b == -1) return INT64_MAX;
    return a / b;
}

std::string FormatFloat(std::string_view pattern, double value, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";

    const std::vector<std::string_view> sections = SplitSections(pattern);
    if (sections[0].empty()) {
        // No pattern at all: general format with 15 significant digits.
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15g", value);
        std::string out(buffer);
        std::replace(out.begin(), out.end(), '.', decimalSeparator);
        return out;
    }

    const bool negative = value < 0;
    const bool useNegativeSection = negative && sections.size() > 1 && !sections[1].empty();
    const Layout layout = ParseLayout(useNegativeSection ? sections[1] : sections[0]);
    const Digits digits = RoundedDigits(std::fabs(value), layout.fracPlaceholders);

    if (digits.zero) {
        // Zero carries no sign: the zero section, or else the positive one.
        const bool useZeroSection = sections.size() > 2 && !sections[2].empty();
        const Layout zeroLayout = ParseLayout(useZeroSection ? sections[2] : sections[0]);
        return Render(zeroLayout, ZeroDigits(zeroLayout), decimalSeparator);
    }
    std::string out;
    if (negative && !useNegativeSection) out += '-';
    out += Render(layout, digits, decimalSeparator);
    return out;
}

std::string DecimalsPattern(int decimals) {
    return "0." + std::string(static_cast<std::size_t>(std::clamp(decimals, 0, 20)), '0');
}

std::string CentPattern(int decimals) {
    const std::string f = DecimalsPattern(decimals);
    return " +" + f + "; -" + f + ";+-" + f;
}

std::string LevelText(int level, char decimalSeparator) {
    if (level < -960) return "AUS";
    // level x 0.1 with integer arithmetic: one decimal at most, no binary rounding noise.
    const long long magnitude = level < 0 ? -static_cast<long long>(level) : level;
    std::string text = level > 0 ? "+" : (level < 0 ? "-" : "");
    text += std::to_string(magnitude / 10);
    if (magnitude % 10 != 0) {
        text += decimalSeparator;
        text += static_cast<char>('0' + magnitude % 10);
    }
    return text + " dB";
}

namespace {

double Seconds(std::int64_t values, int channelCount, int sampleRate) {
    if (channelCount < 1 || sampleRate < 1) return 0.0;
    return static_cast<double>(DivTrunc64(values, channelCount)) / sampleRate;
}

} // namespace

FixedText& FixedText::Append(std::string_view text) {
    const std::size_t n = std::min(text.size(), kCapacity - size_);
    std::copy_n(text.data(), n, data_.data() + size_);
    size_ += n;
    return *this;
}

FixedText& FixedText::Append(std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    return Append(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

FixedText& FixedText::AppendFixed(double value, int decimals, char decimalSeparator, bool leadingZero) {
    if (std::isnan(value)) return Append("NAN");
    if (std::isinf(value)) return Append(value > 0 ? "INF" : "-INF");
    decimals = std::clamp(decimals, 0, 20);
    // As RoundedDigits does, on a buffer of the stack: the exact decimal expansion, then half
    // away from zero.
    const double magnitude = std::fabs(value);
    int exponent = 0;
    std::frexp(magnitude, &exponent);
    const int precision = std::max(std::clamp(53 - exponent, 0, 1200), decimals + 1);
    char expansion[1700];
    std::snprintf(expansion, sizeof expansion, "%.*f", precision, magnitude);
    const std::string_view text(expansion);
    const std::size_t point = text.find('.');
    // Integer digits and decimals, with room for a carry in front.
    char digits[400];
    std::size_t count = 1;
    digits[0] = '0';
    for (const char c : text.substr(0, std::min(point, sizeof digits - 30)))
        digits[count++] = c;
    const std::size_t intLength = count;
    for (int i = 0; i < decimals; ++i)
        digits[count++] = text[point + 1 + static_cast<std::size_t>(i)];
    if (text[point + 1 + static_cast<std::size_t>(decimals)] >= '5') {
        std::size_t i = count;
        while (digits[i - 1] == '9')
            digits[--i] = '0';
        ++digits[i - 1];
    }
    const std::string_view all(digits, count);
    const bool zero = all.find_first_not_of('0') == std::string_view::npos;
    if (value < 0 && !zero) Append("-");
    std::string_view integer = all.substr(0, intLength);
    integer.remove_prefix(std::min(integer.find_first_not_of('0'), integer.size()));
    if (integer.empty() && leadingZero) integer = "0";
    Append(integer);
    if (decimals > 0) {
        Append(std::string_view(&decimalSeparator, 1));
        Append(all.substr(intLength));
    }
    return *this;
}

void AppendTimeText(FixedText& text, std::int64_t lengthValues, int channelCount, int sampleRate, int digits,
                    char decimalSeparator) {
    text.AppendFixed(Seconds(lengthValues, channelCount, sampleRate), digits, decimalSeparator)
        .Append(" Sek.");
}

std::string TimeText(std::int64_t lengthValues, int channelCount, int sampleRate, int digits,
                     char decimalSeparator) {
    FixedText text;
    AppendTimeText(text, lengthValues, channelCount, sampleRate, digits, decimalSeparator);
    return text.Str();
}

std::string BeatText(int lengthValues, int channelCount, int halfBeatFrames, char decimalSeparator) {
    double beats = 0.0;
    if (channelCount >= 1 && halfBeatFrames >= 1) {
        const int frames = DivTrunc(lengthValues, channelCount);
        const int halfBeats = RoundHalfEven(static_cast<double>(frames) / (2.0 * halfBeatFrames) * 2.0);
        beats = halfBeats * 0.5;
    }
    return FormatFloat("0.0", beats, decimalSeparator) + " beats";
}

void AppendLoopTimeText(FixedText& text, int loopLenBytes, int channelCount, int sampleRate,
                        char decimalSeparator) {
    // "0.##0": the last decimal place is mandatory, so all three always show.
    text.AppendFixed(Seconds(loopLenBytes / 2, channelCount, sampleRate), 3, decimalSeparator)
        .Append(" Sek.");
}

std::string LoopTimeText(int loopLenBytes, int channelCount, int sampleRate, char decimalSeparator) {
    FixedText text;
    AppendLoopTimeText(text, loopLenBytes, channelCount, sampleRate, decimalSeparator);
    return text.Str();
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace kreisel

#include "tuner/Notes.h"

#include "core/Text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <numbers>

namespace kreisel {

namespace {
constexpr std::array<const char*, 12> kNames{"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "h"};
} // namespace

std::string NoteName(int nameIndex, int octave) {
    std::string name = kNames[static_cast<size_t>(((nameIndex % 12) + 12) % 12)];
    if (octave >= 5) {
        if (octave > 5) name += std::to_string(octave - 5);
    } else {
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        if (octave < 4) name += std::to_string(4 - octave);
    }
    return name;
}

NoteReading ReadNote(double f, double baseFrequency) {
    NoteReading r;
    const double s = std::log(f / baseFrequency) / (std::numbers::ln2 / 12);
    const int n = RoundHalfEven(s);
    if (n < -80) {
        r.Underflow = true;
        return r;
    }
    const int v = n + 81;
    r.NameIndex = v % 12;
    r.Octave = v / 12;
    r.Cents = (s - n) * 100;
    r.Name = NoteName(r.NameIndex, r.Octave);
    return r;
}

GeneratorTuning TuneGenerator(double requested, int sampleRate) {
    const double f = std::clamp(requested, 1.0, 20000.0);
    const double rate = sampleRate;
    GeneratorTuning t;
    t.Cycles = std::max(1, static_cast<int>(std::trunc(100000 * f / rate)));
    t.Period = std::clamp(RoundHalfEven(rate * t.Cycles / f), 2, 100000);
    t.Frequency = rate * t.Cycles / t.Period;
    t.Omega = t.Cycles * 2 * std::numbers::pi / t.Period;
    return t;
}

double NoteSliderFrequency(int note, int octave, double baseFrequency) {
    const int n = (octave - 6) * 12 + (note - 9);
    return std::clamp(std::pow(2.0, n / 12.0) * baseFrequency, 1.0, 20000.0);
}

} // namespace kreisel

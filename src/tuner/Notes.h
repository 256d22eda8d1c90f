// Note names of the tuner and the tone generator: German names (h for B) with the octave written
// the old way, "A" for 110 Hz, "a" for 220 Hz, "a1" for the base frequency, "A1" below "A".
#pragma once

#include <string>

namespace kreisel {

// Name index 0..11 ("c" .. "h") and octave 0.. (octave 5 holds the base frequency's note).
std::string NoteName(int nameIndex, int octave);

struct NoteReading {
    bool Underflow = false; // more than 80 semitones below the base frequency
    int NameIndex = 0;
    int Octave = 0;
    double Cents = 0; // deviation from the equal-tempered note
    std::string Name;
};

// The nearest equal-tempered note of f (f >= 2) against the base frequency.
NoteReading ReadNote(double f, double baseFrequency);

// The tone generator's period: a whole number of sine periods in one generator period of at
// most 100000 samples, so the phase wraps without a jump.
struct GeneratorTuning {
    double Frequency = 440; // played
    int Cycles = 0;
    int Period = 2;
    double Omega = 0;
};
GeneratorTuning TuneGenerator(double requested, int sampleRate);

// The frequency of note slider `note` (0..12) and octave slider `octave` against the base.
double NoteSliderFrequency(int note, int octave, double baseFrequency);

} // namespace kreisel

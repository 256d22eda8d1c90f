// Test signals for the tuner: pure and harmonic-rich tones, noise, and notes rendered by a
// General MIDI synthesizer.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace kreisel::test {

enum class Wave { Sine, Square, Saw };

inline std::vector<int16_t> Tone(Wave wave, double f, int rate, int samples, double amp = 12000,
                                 double phase = 0.3) {
    std::vector<int16_t> v(static_cast<size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        const double t = phase + f * i / rate;
        const double frac = t - std::floor(t);
        double s = 0;
        switch (wave) {
        case Wave::Sine:
            s = std::sin(2 * std::numbers::pi * t);
            break;
        case Wave::Square:
            s = frac < 0.5 ? 1 : -1;
            break;
        case Wave::Saw:
            s = 2 * frac - 1;
            break;
        }
        v[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(amp * s));
    }
    return v;
}

inline std::vector<int16_t> Noise(int samples, double amp, unsigned seed = 7) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(-amp, amp);
    std::vector<int16_t> v(static_cast<size_t>(samples));
    for (auto& x : v)
        x = static_cast<int16_t>(std::lround(d(gen)));
    return v;
}

inline double CentsBetween(double measured, double truth) {
    return 1200 * std::log2(measured / truth);
}

} // namespace kreisel::test

// The per-frame input steps of the block processor as passes over the whole block, each a
// plain loop over arrays that the compiler vectorises. Steps that call other parts of the
// looper per frame (metronome, tone generator, tuner) stay frame-by-frame loops of their own in
// the block processor, in frame order.
#pragma once

#include "engine/LoopMix.h"

#include <cstdint>

namespace kreisel {

// Splits interleaved stereo input into left and right, adding the raw values to the DC sums and
// subtracting the offsets (16-bit, wrapping).
void SplitAndCorrectDC(const int16_t* in, int frames, int16_t* l, int16_t* r, int16_t offL, int16_t offR,
                       int32_t& sumL, int32_t& sumR);
void SplitInput(const int16_t* in, int frames, int16_t* l, int16_t* r);

// ApplyGainSat of a 16-bit value: the level's factor applied exactly, then clamped.
inline int16_t ScaleSat16(int32_t v, SplitFactor f) {
    const int32_t s = ScaleSplit(v, f);
    return static_cast<int16_t>(s > 32767 ? 32767 : (s < -32768 ? -32768 : s));
}

// What the monitor and the input row add to the output: mon = (monitor ? own channel : 0) +
// input row terms. `monoOut` puts the left value on both sides (the mono input modes).
struct InputRowWeights {
    bool Monitor = false;
    bool RowOn = false;
    bool Stereo = true;
    SplitFactor LL, RL, RR, LR;
};
void MonitorPass(const int16_t* l, const int16_t* r, int frames, int32_t* monL, int32_t* monR,
                 const InputRowWeights& w);

// out := clamp(out + mon) for every frame of the interleaved output block.
void AddMonitorToOut(int16_t* out, const int32_t* monL, const int32_t* monR, int frames);

// The recording level on a channel, in place.
void LevelPass(int16_t* v, int frames, SplitFactor f);

// The largest value of a channel, at least 0.
int16_t PeakOf(const int16_t* v, int frames);

// Interleaves left and right into dest (stereo store).
void Interleave(const int16_t* l, const int16_t* r, int frames, int16_t* dest);

} // namespace kreisel

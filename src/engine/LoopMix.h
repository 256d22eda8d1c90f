// The inner loops of the output mix: one loop's run of consecutive frames added into the
// block's left and right sums through its four weights. Kept apart so that they can be built
// for the vector units the processor has.
#pragma once

#include <cstdint>

namespace kreisel {

// A 16.16 gain factor split so that sample × factor / 65536, truncated toward zero, can be
// formed in 32 bits: sample × high + (sample × low) / 65536 gives the same value, because both
// parts carry the sign of the sample.
struct SplitFactor {
    int32_t High = 0;
    int32_t Low = 0;
    static SplitFactor From(int32_t factor) { return {factor >> 16, factor & 0xFFFF}; }
};

struct RunWeights {
    SplitFactor LL, LR, RL, RR; // source channel into output channel
};

inline int32_t ScaleSplit(int32_t sample, SplitFactor f) {
    return sample * f.High + (sample * f.Low) / 65536;
}

// Stereo source (interleaved values) or mono source, `frames` frames, added into the sums.
// The 32-bit forms expect the caller to have made sure that the sums cannot overflow.
void MixStereoRun(const int16_t* src, int frames, int32_t* sumL, int32_t* sumR, const RunWeights& w);
void MixStereoRun(const int16_t* src, int frames, int64_t* sumL, int64_t* sumR, const RunWeights& w);
// A mono source goes left through LL and right through LR.
void MixMonoRun(const int16_t* src, int frames, int32_t* sumL, int32_t* sumR, const RunWeights& w);
void MixMonoRun(const int16_t* src, int frames, int64_t* sumL, int64_t* sumR, const RunWeights& w);

} // namespace kreisel

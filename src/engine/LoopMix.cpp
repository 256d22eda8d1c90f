// Mixing kernels, written so that the compiler vectorises them; built for AVX2 where the
// processor has it and for the plain instruction set otherwise.
#include "engine/LoopMix.h"

namespace kreisel {

namespace {

template <typename Acc>
inline void StereoRun(const int16_t* __restrict src, int frames, Acc* __restrict sums, const RunWeights& w) {
    const SplitFactor ll = w.LL, lr = w.LR, rl = w.RL, rr = w.RR;
    for (int i = 0; i < frames; ++i) {
        const int32_t sl = src[2 * i];
        const int32_t sr = src[2 * i + 1];
        sums[2 * i] += Acc(ScaleSplit(sl, ll)) + Acc(ScaleSplit(sr, rl));
        sums[2 * i + 1] += Acc(ScaleSplit(sl, lr)) + Acc(ScaleSplit(sr, rr));
    }
}

template <typename Acc>
inline void MonoRun(const int16_t* __restrict src, int frames, Acc* __restrict sums, const RunWeights& w) {
    const SplitFactor ll = w.LL, lr = w.LR;
    for (int i = 0; i < frames; ++i) {
        const int32_t s = src[i];
        sums[2 * i] += ScaleSplit(s, ll);
        sums[2 * i + 1] += ScaleSplit(s, lr);
    }
}

} // namespace

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define KREISEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KREISEL_CLONES
#endif

KREISEL_CLONES void MixStereoRun(const int16_t* src, int frames, int32_t* sums, const RunWeights& w) {
    StereoRun(src, frames, sums, w);
}
KREISEL_CLONES void MixStereoRun(const int16_t* src, int frames, int64_t* sums, const RunWeights& w) {
    StereoRun(src, frames, sums, w);
}
KREISEL_CLONES void MixMonoRun(const int16_t* src, int frames, int32_t* sums, const RunWeights& w) {
    MonoRun(src, frames, sums, w);
}
KREISEL_CLONES void MixMonoRun(const int16_t* src, int frames, int64_t* sums, const RunWeights& w) {
    MonoRun(src, frames, sums, w);
}

} // namespace kreisel

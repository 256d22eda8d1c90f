// Mixing kernels. The AVX2 forms work on 16-bit lanes: the low part of the factor is applied
// with 16-bit multiplies (high half corrected for the unsigned factor, then truncated toward
// zero), and pmaddwd adds sample × high part and the low-part terms into 32-bit sums. They give
// exactly the values of the scalar forms, which serve processors without AVX2 and the tails.
#include "engine/LoopMix.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define KREISEL_HAVE_AVX2_PATH 1
#endif

namespace kreisel {

namespace {

template <typename Acc>
void StereoScalar(const int16_t* __restrict src, int frames, Acc* __restrict sumL, Acc* __restrict sumR,
                  const RunWeights& w) {
    for (int i = 0; i < frames; ++i) {
        const int32_t sl = src[2 * i];
        const int32_t sr = src[2 * i + 1];
        sumL[i] += Acc(ScaleSplit(sl, w.LL)) + Acc(ScaleSplit(sr, w.RL));
        sumR[i] += Acc(ScaleSplit(sl, w.LR)) + Acc(ScaleSplit(sr, w.RR));
    }
}

template <typename Acc>
void MonoScalar(const int16_t* __restrict src, int frames, Acc* __restrict sumL, Acc* __restrict sumR,
                const RunWeights& w) {
    for (int i = 0; i < frames; ++i) {
        const int32_t s = src[i];
        sumL[i] += ScaleSplit(s, w.LL);
        sumR[i] += ScaleSplit(s, w.LR);
    }
}

#ifdef KREISEL_HAVE_AVX2_PATH

// Thirty-odd loops are read as as many streams at once, more than the hardware prefetcher
// follows; fetching about one and a half blocks ahead keeps the next block's audio in cache.
// A prefetch past the end of a mapping is only a hint and never faults.
constexpr int kPrefetchBytes = 6144;

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Two 16-bit values packed into one 32-bit lane: `first` in the low half.
inline int32_t Pack(int32_t first, int32_t second) {
    return static_cast<int32_t>((static_cast<uint32_t>(second) << 16) |
                                (static_cast<uint32_t>(first) & 0xFFFFu));
}

// trunc(x × low / 65536) per 16-bit lane, for unsigned 16-bit `low` (given bitwise in `low`,
// with `wide` all ones in the lanes whose low part is 32768 or more).
__attribute__((target("avx2"))) inline __m256i LowTerm(__m256i x, __m256i low, __m256i wide) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i floor = _mm256_add_epi16(_mm256_mulhi_epi16(x, low), _mm256_and_si256(x, wide));
    const __m256i lo = _mm256_mullo_epi16(x, low);
    const __m256i negative = _mm256_cmpgt_epi16(zero, x);
    const __m256i inexact = _mm256_andnot_si256(_mm256_cmpeq_epi16(lo, zero), negative);
    return _mm256_sub_epi16(floor, inexact);
}

inline int32_t WideMask(int32_t low) {
    return low >= 32768 ? 0xFFFF : 0;
}

__attribute__((target("avx2"))) int StereoAvx2(const int16_t* src, int frames, int32_t* sumL, int32_t* sumR,
                                               const RunWeights& w) {
    const __m256i highL = _mm256_set1_epi32(Pack(w.LL.High, w.RL.High));
    const __m256i highR = _mm256_set1_epi32(Pack(w.LR.High, w.RR.High));
    const __m256i lowL = _mm256_set1_epi32(Pack(w.LL.Low, w.RL.Low));
    const __m256i lowR = _mm256_set1_epi32(Pack(w.LR.Low, w.RR.Low));
    const __m256i wideL = _mm256_set1_epi32(Pack(WideMask(w.LL.Low), WideMask(w.RL.Low)));
    const __m256i wideR = _mm256_set1_epi32(Pack(WideMask(w.LR.Low), WideMask(w.RR.Low)));
    const __m256i ones = _mm256_set1_epi16(1);
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        _mm_prefetch(reinterpret_cast<const char*>(src + 2 * i) + kPrefetchBytes, _MM_HINT_T0);
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i));
        const __m256i left =
            _mm256_add_epi32(_mm256_madd_epi16(x, highL), _mm256_madd_epi16(LowTerm(x, lowL, wideL), ones));
        const __m256i right =
            _mm256_add_epi32(_mm256_madd_epi16(x, highR), _mm256_madd_epi16(LowTerm(x, lowR, wideR), ones));
        auto* l = reinterpret_cast<__m256i*>(sumL + i);
        auto* r = reinterpret_cast<__m256i*>(sumR + i);
        _mm256_storeu_si256(l, _mm256_add_epi32(_mm256_loadu_si256(l), left));
        _mm256_storeu_si256(r, _mm256_add_epi32(_mm256_loadu_si256(r), right));
    }
    return i;
}

// Adds [sample, low term] pairs through [high, 1]; unpack works inside 128-bit lanes, so the
// frames are put back in order before adding.
__attribute__((target("avx2"))) inline void AddPairs(int32_t* sum, __m256i pairsLo, __m256i pairsHi,
                                                     __m256i high) {
    const __m256i a = _mm256_madd_epi16(pairsLo, high);
    const __m256i b = _mm256_madd_epi16(pairsHi, high);
    auto* p0 = reinterpret_cast<__m256i*>(sum);
    auto* p1 = reinterpret_cast<__m256i*>(sum + 8);
    _mm256_storeu_si256(p0, _mm256_add_epi32(_mm256_loadu_si256(p0), _mm256_permute2x128_si256(a, b, 0x20)));
    _mm256_storeu_si256(p1, _mm256_add_epi32(_mm256_loadu_si256(p1), _mm256_permute2x128_si256(a, b, 0x31)));
}

__attribute__((target("avx2"))) int MonoAvx2(const int16_t* src, int frames, int32_t* sumL, int32_t* sumR,
                                             const RunWeights& w) {
    const __m256i highL = _mm256_set1_epi32(Pack(w.LL.High, 1));
    const __m256i highR = _mm256_set1_epi32(Pack(w.LR.High, 1));
    const __m256i lowL = _mm256_set1_epi16(static_cast<int16_t>(w.LL.Low));
    const __m256i lowR = _mm256_set1_epi16(static_cast<int16_t>(w.LR.Low));
    const __m256i wideL = _mm256_set1_epi16(static_cast<int16_t>(WideMask(w.LL.Low)));
    const __m256i wideR = _mm256_set1_epi16(static_cast<int16_t>(WideMask(w.LR.Low)));
    int i = 0;
    for (; i + 16 <= frames; i += 16) {
        _mm_prefetch(reinterpret_cast<const char*>(src + i) + kPrefetchBytes, _MM_HINT_T0);
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i tl = LowTerm(x, lowL, wideL);
        const __m256i tr = LowTerm(x, lowR, wideR);
        AddPairs(sumL + i, _mm256_unpacklo_epi16(x, tl), _mm256_unpackhi_epi16(x, tl), highL);
        AddPairs(sumR + i, _mm256_unpacklo_epi16(x, tr), _mm256_unpackhi_epi16(x, tr), highR);
    }
    return i;
}

#endif

} // namespace

void MixStereoRun(const int16_t* src, int frames, int32_t* sumL, int32_t* sumR, const RunWeights& w) {
    int done = 0;
#ifdef KREISEL_HAVE_AVX2_PATH
    if (HasAvx2()) done = StereoAvx2(src, frames, sumL, sumR, w);
#endif
    StereoScalar(src + 2 * done, frames - done, sumL + done, sumR + done, w);
}

void MixStereoRun(const int16_t* src, int frames, int64_t* sumL, int64_t* sumR, const RunWeights& w) {
    StereoScalar(src, frames, sumL, sumR, w);
}

void MixMonoRun(const int16_t* src, int frames, int32_t* sumL, int32_t* sumR, const RunWeights& w) {
    int done = 0;
#ifdef KREISEL_HAVE_AVX2_PATH
    if (HasAvx2()) done = MonoAvx2(src, frames, sumL, sumR, w);
#endif
    MonoScalar(src + done, frames - done, sumL + done, sumR + done, w);
}

void MixMonoRun(const int16_t* src, int frames, int64_t* sumL, int64_t* sumR, const RunWeights& w) {
    MonoScalar(src, frames, sumL, sumR, w);
}

} // namespace kreisel

#include "engine/FramePasses.h"

#include <algorithm>

namespace kreisel {

#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define KREISEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KREISEL_CLONES
#endif

namespace {
inline int16_t Wrap16(int32_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(v));
}
inline int16_t Sat16(int32_t v) {
    return static_cast<int16_t>(std::clamp(v, -32768, 32767));
}
} // namespace

KREISEL_CLONES void SplitAndCorrectDC(const int16_t* __restrict in, int frames, int16_t* __restrict l,
                                      int16_t* __restrict r, int16_t offL, int16_t offR, int32_t& sumL,
                                      int32_t& sumR) {
    int32_t sl = 0, sr = 0;
    for (int i = 0; i < frames; ++i) {
        const int16_t a = in[2 * i];
        const int16_t b = in[2 * i + 1];
        sl += a;
        sr += b;
        l[i] = Wrap16(a - offL);
        r[i] = Wrap16(b - offR);
    }
    sumL += sl;
    sumR += sr;
}

KREISEL_CLONES void SplitInput(const int16_t* __restrict in, int frames, int16_t* __restrict l,
                               int16_t* __restrict r) {
    for (int i = 0; i < frames; ++i) {
        l[i] = in[2 * i];
        r[i] = in[2 * i + 1];
    }
}

KREISEL_CLONES void MonitorPass(const int16_t* __restrict l, const int16_t* __restrict r, int frames,
                                int32_t* __restrict monL, int32_t* __restrict monR,
                                const InputRowWeights& w) {
    const int32_t monitor = w.Monitor ? 1 : 0;
    if (!w.RowOn) {
        for (int i = 0; i < frames; ++i) {
            monL[i] = monitor * l[i];
            monR[i] = monitor * (w.Stereo ? r[i] : l[i]);
        }
        return;
    }
    const SplitFactor ll = w.LL, rl = w.RL, rr = w.RR, lr = w.LR;
    if (w.Stereo) {
        for (int i = 0; i < frames; ++i) {
            monL[i] = monitor * l[i] + ScaleSat16(l[i], ll) + ScaleSat16(r[i], rl);
            monR[i] = monitor * r[i] + ScaleSat16(r[i], rr) + ScaleSat16(l[i], lr);
        }
    } else {
        // Mono: the right value is 0 here, so its row term is too.
        for (int i = 0; i < frames; ++i) {
            monL[i] = monitor * l[i] + ScaleSat16(l[i], ll) + ScaleSat16(r[i], rl);
            monR[i] = monitor * l[i] + ScaleSat16(l[i], lr);
        }
    }
}

KREISEL_CLONES void AddMonitorToOut(int16_t* __restrict out, const int32_t* __restrict monL,
                                    const int32_t* __restrict monR, int frames) {
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = Sat16(out[2 * i] + monL[i]);
        out[2 * i + 1] = Sat16(out[2 * i + 1] + monR[i]);
    }
}

KREISEL_CLONES void LevelPass(int16_t* __restrict v, int frames, SplitFactor f) {
    for (int i = 0; i < frames; ++i)
        v[i] = ScaleSat16(v[i], f);
}

KREISEL_CLONES int16_t PeakOf(const int16_t* __restrict v, int frames) {
    int16_t peak = 0;
    for (int i = 0; i < frames; ++i)
        peak = std::max(peak, v[i]);
    return peak;
}

KREISEL_CLONES void Interleave(const int16_t* __restrict l, const int16_t* __restrict r, int frames,
                               int16_t* __restrict dest) {
    for (int i = 0; i < frames; ++i) {
        dest[2 * i] = l[i];
        dest[2 * i + 1] = r[i];
    }
}

} // namespace kreisel

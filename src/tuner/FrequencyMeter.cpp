#include "tuner/FrequencyMeter.h"

#include "core/Text.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>

namespace kreisel {

namespace {
int Log2Floor(int n) {
    int l = -1;
    while (n > 0) {
        n >>= 1;
        ++l;
    }
    return l;
}
} // namespace

FrequencyMeter::FrequencyMeter() {
    ring_.assign(kMaxSmoothLen + 1, 0);
    wave_.reserve(kMaxWavePoints);
    marks_.reserve(kMaxWavePoints);
    Prepare();
}

FrequencyMeter::~FrequencyMeter() {
    for (void* plan : plans_)
        if (plan != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(plan));
    fftw_free(in_);
    fftw_free(out_);
}

void FrequencyMeter::Prepare() {
    cap_ = std::clamp(p_.WindowLen, 1, kMaxSpectrumSamples);
    if (static_cast<int>(bufA_.size()) < cap_ + 1) {
        bufA_.resize(static_cast<size_t>(cap_) + 1);
        bufB_.resize(static_cast<size_t>(cap_) + 1);
    }
    const int log2 = Log2Floor(cap_);
    if (log2 <= maxLog2_) return;
    for (void* plan : plans_)
        if (plan != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(plan));
    plans_.assign(static_cast<size_t>(log2 + 1), nullptr);
    fftw_free(in_);
    fftw_free(out_);
    const size_t p = size_t{1} << log2;
    in_ = fftw_alloc_real(p);
    out_ = fftw_alloc_complex(p / 2 + 1);
    // Estimated plans: made at once, and the window length may change while the looper plays.
    for (int l = 1; l <= log2; ++l)
        plans_[static_cast<size_t>(l)] = fftw_plan_dft_r2c_1d(1 << l, in_, static_cast<fftw_complex*>(out_),
                                                              FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    mag_.assign(p / 2 + 2, 0.0);
    drawn_.assign(p / 2 + 2, 0.0);
    drawnRaw_.assign(p / 2 + 2, 0.0);
    maxLog2_ = log2;
}

void FrequencyMeter::SetParams(const MeterParams& p, bool resetWindow, bool restartSmoothing,
                               bool skipLevelTest) {
    const bool lenChanged = p.WindowLen != p_.WindowLen;
    p_ = p;
    p_.SmoothLen = std::clamp(p_.SmoothLen, 1, kMaxSmoothLen);
    p_.WindowLen = std::max(p_.WindowLen, 1);
    if (lenChanged) Prepare();
    if (restartSmoothing) restart_ = true;
    if (resetWindow) {
        ResetWindow();
        skipLevel_ = skipLevelTest;
    }
}

void FrequencyMeter::ResetWindow() {
    count_ = 0;
    crossings_ = first_ = last_ = firstPeriod_ = 0;
    armed_ = true;
    holdCnt_ = 0;
    valid_ = true;
    skipLevel_ = false;
    peak_ = above_ = 0;
    wave_.clear();
    marks_.clear();
    waveDone_ = false;
}

void FrequencyMeter::ClearSpectrumBuffers() {
    nA_ = nB_ = 0;
}

void FrequencyMeter::WindowStart() {
    armed_ = cur_ >= 0;
    if (p_.PaintWave || p_.DrawFFT) {
        wave_.clear();
        marks_.clear();
        waveDone_ = false;
        events_->WindowStarted();
    }
    if (p_.UseFFT || p_.DrawFFT) {
        if (p_.Smoothing && p_.DrawFFT) AnalyseSpectrum(bufB_.data(), nB_, true);
        // The spectrum of the smoothed values decides; it is drawn over the grey one.
        if (p_.Smoothing && p_.DrawFFT) std::swap(drawn_, drawnRaw_);
        AnalyseSpectrum(bufA_.data(), nA_, p_.DrawFFT);
        nA_ = nB_ = 0;
    }
}

namespace {
// sum / n rounded to the nearest integer, halves to the even neighbour, in integers; the quotient
// is estimated through the reciprocal (a division per sample would cost more than the rest) and
// corrected by its remainder.
inline int16_t RoundedMean(int64_t sum, int n, double inverse) {
    int64_t q = static_cast<int64_t>(static_cast<double>(sum) * inverse);
    int64_t r = sum - q * n;
    if (r < 0) {
        r += n;
        --q;
    } else if (r >= n) {
        r -= n;
        ++q;
    }
    if (2 * r > n || (2 * r == n && (q & 1) != 0)) ++q;
    return static_cast<int16_t>(q);
}
} // namespace

void FrequencyMeter::Sample(int16_t x) {
    Feed(&x, 1);
}

void FrequencyMeter::Feed(const int16_t* x, int n) {
    int i = 0;
    while (i < n) {
        if (count_ == 0 || count_ >= p_.WindowLen) WindowStart();
        const int chunk = std::min(n - i, p_.WindowLen - count_);
        FeedChunk(x + i, chunk);
        i += chunk;
        if (count_ >= p_.WindowLen) EndWindow();
    }
}

// The per-sample steps on local copies of the window state, so that the loop keeps it in
// registers; the window never ends inside a chunk.
void FrequencyMeter::FeedChunk(const int16_t* x, int n) {
    int count = count_, hold = holdCnt_, first = first_, last = last_, crossings = crossings_;
    int firstPeriod = firstPeriod_, above = above_, peak = peak_, pos = ringPos_, nA = nA_, nB = nB_;
    int16_t cur = cur_;
    bool armed = armed_, valid = valid_, timedOut = false;
    int64_t sum = sum_;
    const bool smooth = p_.Smoothing;
    const double inverse = 1.0 / p_.SmoothLen;
    const int len = p_.SmoothLen, minLevel = p_.MinLevel, holdOff = p_.HoldOff, cap = cap_;
    // cur > trigger level, for a real level and whole samples.
    const int trig = static_cast<int>(std::floor(p_.TrigLevel));
    const bool skipLevel = skipLevel_;
    const bool storeA = p_.UseFFT || p_.DrawFFT;
    const bool storeB = storeA && smooth && p_.DrawFFT; // only drawn
    const bool checkTimeout = !p_.UseFFT;
    const bool wave = p_.PaintWave;
    int32_t* ring = ring_.data();
    int16_t* bufA = bufA_.data();
    int16_t* bufB = bufB_.data();

    for (int k = 0; k < n; ++k) {
        const int16_t v = x[k];
        ++count;
        cur = v;
        if (smooth) {
            if (restart_) [[unlikely]] {
                std::fill(ring, ring + len + 1, int32_t{v});
                sum = int64_t{len} * v;
                pos = 0;
                restart_ = false;
            }
            pos = pos >= len ? 1 : pos + 1;
            sum += v - ring[pos];
            ring[pos] = v;
            cur = RoundedMean(sum, len, inverse);
        }
        // Without branches: a noisy input would mispredict them at every other sample.
        const bool isAbove = cur >= minLevel;
        above += isAbove ? 1 : 0;
        peak = std::max<int>(peak, isAbove ? cur : 0);
        if (storeA) {
            // The buffers hold one value more than they take, so the write may always happen.
            bufA[nA] = cur;
            nA += nA < cap ? 1 : 0;
        }
        if (storeB) {
            bufB[nB] = v;
            nB += nB < cap ? 1 : 0;
        }

        bool crossed = false;
        if (count >= 2) {
            if (hold > 0) {
                --hold;
            } else {
                if (!armed && (skipLevel || cur > trig)) {
                    if (first != 0) {
                        last = count;
                        ++crossings;
                        if (crossings == 1) firstPeriod = last - first;
                    } else {
                        first = count;
                    }
                    armed = true;
                    hold = holdOff;
                    crossed = true;
                }
                armed = armed && cur >= 0;
            }
        }
        if (checkTimeout && valid && crossings >= 1 && count - last > 1.3 * firstPeriod) {
            valid = false;
            timedOut = true;
        }
        if (wave && first != 0 && (!waveDone_ || crossed)) {
            if (crossings >= p_.WavesDrawn) waveDone_ = true;
            if (static_cast<int>(wave_.size()) < kMaxWavePoints) wave_.push_back({count - first, cur});
            if (crossed && static_cast<int>(marks_.size()) < kMaxWavePoints) marks_.push_back(count - first);
        }
    }

    count_ = count;
    holdCnt_ = hold;
    first_ = first;
    last_ = last;
    crossings_ = crossings;
    firstPeriod_ = firstPeriod;
    above_ = above;
    peak_ = peak;
    ringPos_ = pos;
    nA_ = nA;
    nB_ = nB;
    cur_ = cur;
    armed_ = armed;
    valid_ = valid;
    sum_ = sum;
    if (timedOut) events_->WindowTimedOut();
}

void FrequencyMeter::EndWindow() {
    WindowEnd end;
    end.Peak = peak_;
    end.TooQuiet = above_ < RoundHalfEven(static_cast<double>(p_.WindowLen) * p_.MinSharePercent / 100.0);
    if (end.TooQuiet) valid_ = false;
    // Crossings at any level are for the drawing; timed, they would give a wrong frequency.
    end.Unchecked = skipLevel_ && !p_.UseFFT;
    if (skipLevel_ && !p_.UseFFT) valid_ = false;
    if (p_.UseFFT) {
        if (valid_) end.Frequency = FFTFreq;
    } else {
        if (last_ <= first_) valid_ = false;
        if (valid_) {
            const double period = static_cast<double>(last_ - first_) / crossings_;
            end.Frequency = p_.SampleRate / period;
        }
    }
    end.Valid = valid_;
    // The next window starts at the next sample; its start still sees this window's samples.
    count_ = 0;
    crossings_ = first_ = last_ = firstPeriod_ = 0;
    armed_ = true;
    skipLevel_ = false;
    valid_ = true;
    peak_ = above_ = 0;
    events_->WindowEnded(end);
}

double FrequencyMeter::Refine(int k, int m) const {
    if (k > m - 1) k = m - 1;
    const double a = mag_[static_cast<size_t>(k - 1)];
    const double b = mag_[static_cast<size_t>(k + 1)];
    return a + b != 0 ? k + (b - a) / (a + b) : k;
}

void FrequencyMeter::AnalyseSpectrum(const int16_t* samples, int n, bool keepForDrawing) {
    if (n < 2 || n > 2 * kMaxSpectrumSamples) return;
    const int log2 = std::min(Log2Floor(n), maxLog2_);
    const int p = 1 << log2;
    const int m = p / 2;
    if (m < 2) return;
    // Half samples, half zeros: the peaks come out between the bins a plain transform would give.
    for (int i = 0; i < m; ++i)
        in_[i] = samples[i];
    std::fill(in_ + m, in_ + p, 0.0);
    fftw_execute(static_cast<fftw_plan>(plans_[static_cast<size_t>(log2)]));
    const auto* out = static_cast<const fftw_complex*>(out_);

    // Bin k (1-based) stands for (k - 1) x rate / P; bin 1 takes the DC and the Nyquist terms.
    mag_[0] = 0;
    mag_[1] = std::sqrt(out[0][0] * out[0][0] + out[m][0] * out[m][0]);
    for (int k = 2; k <= m; ++k)
        mag_[static_cast<size_t>(k)] =
            std::sqrt(out[k - 1][0] * out[k - 1][0] + out[k - 1][1] * out[k - 1][1]);
    mag_[static_cast<size_t>(m + 1)] = 0;

    const double rate = p_.SampleRate;
    const int kMin = std::clamp(RoundHalfEven(p / rate * 20), 2, m);
    int kTop = kMin;
    for (int k = kMin; k <= m; ++k)
        if (mag_[static_cast<size_t>(k)] > mag_[static_cast<size_t>(kTop)]) kTop = k;
    const double top = mag_[static_cast<size_t>(kTop)];
    const double rTop = Refine(kTop, m);
    FFTFreqMax = rate * (rTop - 1) / p;

    // The first peak that is strong enough and has fallen off again: a strong harmonic above
    // the note does not count.
    const auto share = static_cast<double>(RoundHalfEven64(p_.FirstPeakPercent / 100.0 * top));
    double runMax = 0;
    int runBin = kTop;
    for (int k = kMin; k <= kTop; ++k) {
        const double v = mag_[static_cast<size_t>(k)];
        if (v > runMax) {
            runMax = v;
            runBin = k;
        }
        if (runMax > share && v < runMax / 10) break;
    }
    const double rFirst = Refine(runBin, m);
    FFTFreq = rate * (rFirst - 1) / p;

    if (keepForDrawing) {
        std::copy(mag_.begin(), mag_.begin() + m + 1, drawn_.begin());
        drawnBins_ = m;
        drawnTop_ = rTop;
        drawnFirst_ = rFirst;
    }
}

} // namespace kreisel

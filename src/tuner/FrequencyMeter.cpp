#include "tuner/FrequencyMeter.h"

#include "core/Text.h"
#include "engine/Engine.h"

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
    storeCap_ = std::max(1, (1 << Log2Floor(cap_)) / 2);
    // The window being filled, those that end in the longest block, and the one before them.
    const size_t slots = 3 + static_cast<size_t>(kMaxBlockFrames / std::max(p_.WindowLen, 1));
    if (bufA_.size() < slots) {
        bufA_.resize(slots);
        bufB_.resize(slots);
        generation_.resize(slots, 0);
    }
    for (size_t s = 0; s < bufA_.size(); ++s)
        if (static_cast<int>(bufA_[s].size()) < storeCap_ + 1) {
            bufA_[s].resize(static_cast<size_t>(storeCap_) + 1);
            bufB_[s].resize(static_cast<size_t>(storeCap_) + 1);
        }
    // Start, spectrum, timeout and end of each window.
    if (queue_.size() < 4 * slots) queue_.resize(4 * slots);
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
    if (lenChanged) {
        // Windows of the old length that still wait are analysed no more: the buffers change.
        ClearSpectrumBuffers();
        Prepare();
    }
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
    // What the old window reported and nobody has seen yet belongs to it.
    for (int i = delivered_; i < queued_; ++i)
        if (queue_[static_cast<size_t>(i)].What != Pending::Kind::Spectrum)
            queue_[static_cast<size_t>(i)].What = Pending::Kind::None;
}

void FrequencyMeter::ClearSpectrumBuffers() {
    nA_ = nB_ = 0;
    for (int i = delivered_; i < queued_; ++i)
        if (queue_[static_cast<size_t>(i)].What == Pending::Kind::Spectrum)
            queue_[static_cast<size_t>(i)].What = Pending::Kind::None;
}

void FrequencyMeter::Queue(const Pending& p) {
    if (queued_ >= static_cast<int>(queue_.size())) {
        ++overflows_;
        return;
    }
    queue_[static_cast<size_t>(queued_++)] = p;
}

void FrequencyMeter::WindowStart() {
    armed_ = cur_ >= 0;
    if (p_.PaintWave || p_.DrawFFT) {
        wave_.clear();
        marks_.clear();
        waveDone_ = false;
        Pending started;
        started.What = Pending::Kind::Started;
        Queue(started);
    }
    if (p_.UseFFT || p_.DrawFFT) {
        // The previous window's samples wait for their spectrum in their slot; this window
        // fills the next one. Should that one still wait (never with blocks the block processor
        // takes), it is overwritten and its spectrum skipped.
        Pending spectrum;
        spectrum.What = Pending::Kind::Spectrum;
        spectrum.Slot = slot_;
        spectrum.SamplesA = nA_;
        spectrum.SamplesB = nB_;
        spectrum.Generation = generation_[static_cast<size_t>(slot_)];
        spectrum.Draw = p_.DrawFFT;
        Queue(spectrum);
        slot_ = (slot_ + 1) % static_cast<int>(bufA_.size());
        ++generation_[static_cast<size_t>(slot_)];
        nA_ = nB_ = 0;
    }
}

void FrequencyMeter::Deliver() {
    // A handler may change the parameters and so mark entries as gone; it never queues.
    for (; delivered_ < queued_; ++delivered_) {
        const Pending p = queue_[static_cast<size_t>(delivered_)];
        switch (p.What) {
        case Pending::Kind::None:
            break;
        case Pending::Kind::Started:
            events_->WindowStarted();
            break;
        case Pending::Kind::Spectrum: {
            if (p.Generation != generation_[static_cast<size_t>(p.Slot)]) break;
            const int16_t* a = bufA_[static_cast<size_t>(p.Slot)].data();
            const int16_t* b = bufB_[static_cast<size_t>(p.Slot)].data();
            if (p_.Smoothing && p.Draw) AnalyseSpectrum(b, p.SamplesB, true);
            // The spectrum of the smoothed values decides; it is drawn over the grey one.
            if (p_.Smoothing && p.Draw) std::swap(drawn_, drawnRaw_);
            AnalyseSpectrum(a, p.SamplesA, p.Draw);
            break;
        }
        case Pending::Kind::TimedOut:
            events_->WindowTimedOut();
            break;
        case Pending::Kind::Ended: {
            WindowEnd end = p.End;
            // The spectrum of the window before, analysed just now.
            if (end.Valid && p_.UseFFT) end.Frequency = FFTFreq;
            events_->WindowEnded(end);
            break;
        }
        }
    }
    delivered_ = queued_ = 0;
}

void FrequencyMeter::Feed(const int16_t* x, int n) {
    for (int i = 0; i < n; i += p_.WindowLen) {
        FeedBlock(x + i, std::min(p_.WindowLen, n - i));
        Deliver();
    }
}

void FrequencyMeter::FeedBlock(const int16_t* x, int n) {
    int i = 0;
    while (i < n) {
        if (count_ == 0 || count_ >= p_.WindowLen) WindowStart();
        const int chunk = std::min(n - i, p_.WindowLen - count_);
        FeedChunk(x + i, chunk);
        i += chunk;
        if (count_ >= p_.WindowLen) EndWindow();
    }
}

// The window never ends inside a chunk; a chunk is taken in passes of kPass samples.
void FrequencyMeter::FeedChunk(const int16_t* x, int n) {
    for (int i = 0; i < n; i += kPass)
        FeedPass(x + i, std::min(kPass, n - i));
}

// One pass: the smoothed values first, then the level statistics and the buffers over all of
// them, then the crossings by scanning from one state change to the next (hold-off, waiting for
// the trigger level, waiting for the signal to go below 0), so that a sample costs a comparison
// rather than a trip through the state machine; last, the points of the drawn wave.
void FrequencyMeter::FeedPass(const int16_t* x, int n) {
    std::array<int16_t, kPass> smoothed;
    const int16_t* cur = x;
    if (p_.Smoothing) {
        const int len = p_.SmoothLen;
        int32_t* ring = ring_.data();
        if (restart_) [[unlikely]] {
            std::fill(ring, ring + len + 1, int32_t{x[0]});
            sum_ = int64_t{len} * x[0];
            ringPos_ = 0;
            restart_ = false;
        }
        // The sum of at most 10000 16-bit values fits 32 bits.
        std::array<int32_t, kPass> sums;
        auto sum = static_cast<int32_t>(sum_);
        int pos = ringPos_;
        for (int k = 0; k < n; ++k) {
            pos = pos >= len ? 1 : pos + 1;
            sum += x[k] - ring[pos];
            ring[pos] = x[k];
            sums[static_cast<size_t>(k)] = sum;
        }
        sum_ = sum;
        ringPos_ = pos;
        // sum / len rounded half to even: the quotient of two exact doubles is rounded
        // correctly (a half stays a half, anything else is at least 1/(2 len) away from one),
        // and adding and taking away 1.5 x 2^52 rounds it to a whole number, halves to the even
        // one, in the default rounding mode; unlike lrint, the loop vectorises.
        constexpr double kRound = 6755399441055744.0;
        const double dlen = len;
        for (int k = 0; k < n; ++k) {
            const double q = static_cast<double>(sums[static_cast<size_t>(k)]) / dlen;
            smoothed[static_cast<size_t>(k)] = static_cast<int16_t>(static_cast<int>((q + kRound) - kRound));
        }
        cur = smoothed.data();
    }

    // Level statistics, without branches.
    {
        const int minLevel = p_.MinLevel;
        int above = 0, peak = peak_;
        for (int k = 0; k < n; ++k) {
            const bool isAbove = cur[k] >= minLevel;
            above += isAbove ? 1 : 0;
            peak = std::max<int>(peak, isAbove ? cur[k] : 0);
        }
        above_ += above;
        peak_ = peak;
    }
    if (p_.UseFFT || p_.DrawFFT) {
        const auto s = static_cast<size_t>(slot_);
        if (nA_ < storeCap_) std::copy_n(cur, std::min(n, storeCap_ - nA_), bufA_[s].data() + nA_);
        nA_ = std::min(nA_ + n, cap_);
        if (p_.Smoothing && p_.DrawFFT) { // the grey spectrum is only drawn
            if (nB_ < storeCap_) std::copy_n(x, std::min(n, storeCap_ - nB_), bufB_[s].data() + nB_);
            nB_ = std::min(nB_ + n, cap_);
        }
    }

    // Crossings. Sample k of the pass has the count count0 + k + 1; from the window's second
    // sample on, a positive hold-off counts down (and nothing else happens), else an unarmed
    // sample above the trigger level counts as a crossing and arms, and an armed one below 0
    // disarms.
    const int count0 = count_;
    int hold = holdCnt_, first = first_, last = last_, crossings = crossings_, firstPeriod = firstPeriod_;
    bool armed = armed_, valid = valid_, timedOut = false;
    const int trig = static_cast<int>(std::floor(p_.TrigLevel)); // cur > trigger, for whole samples
    const bool skipLevel = skipLevel_;
    const bool checkTimeout = !p_.UseFFT;
    // The window times out at the first sample more than 1.3 first periods after the last
    // crossing: at a count of last + lateBy.
    int lateBy = crossings >= 1 ? static_cast<int>(std::floor(1.3 * firstPeriod)) + 1 : 0;
    auto timeoutUpTo = [&](int k) { // samples up to k (of the pass) had no crossing
        if (checkTimeout && valid && crossings >= 1 && count0 + k + 1 - last >= lateBy) {
            valid = false;
            timedOut = true;
        }
    };
    std::array<int16_t, kPass + 1> crossedAt; // pass indices of the counted crossings
    int nCrossed = 0;
    int k = count0 == 0 ? 1 : 0;
    if (k > 0) timeoutUpTo(0);
    while (k < n) {
        if (hold > 0) {
            const int skip = std::min(hold, n - k);
            hold -= skip;
            k += skip;
            timeoutUpTo(k - 1);
            continue;
        }
        int j = k;
        if (armed) {
            while (j < n && cur[j] >= 0)
                ++j;
            if (j > k) timeoutUpTo(j - 1);
            if (j < n) {
                armed = false;
                timeoutUpTo(j);
            }
            k = j + 1;
            continue;
        }
        if (!skipLevel)
            while (j < n && cur[j] <= trig)
                ++j;
        if (j > k) timeoutUpTo(j - 1);
        if (j == n) break;
        const int count = count0 + j + 1;
        if (first != 0) {
            last = count;
            ++crossings;
            if (crossings == 1) {
                firstPeriod = last - first;
                lateBy = static_cast<int>(std::floor(1.3 * firstPeriod)) + 1;
            }
        } else {
            first = count;
        }
        crossedAt[static_cast<size_t>(nCrossed++)] = static_cast<int16_t>(j);
        armed = cur[j] >= 0; // below 0 only when the level test is skipped
        hold = p_.HoldOff;
        k = j + 1;
    }

    if (p_.PaintWave) {
        // The crossings once more, sample by sample, for the points: the first point is the
        // first counted crossing's; after the periods drawn, only crossing samples are kept.
        int wFirst = first_, wCrossings = crossings_, c = 0;
        for (int i = 0; i < n; ++i) {
            const bool crossed = c < nCrossed && crossedAt[static_cast<size_t>(c)] == i;
            const int count = count0 + i + 1;
            if (crossed) {
                ++c;
                if (wFirst != 0)
                    ++wCrossings;
                else
                    wFirst = count;
            }
            if (wFirst == 0 || (waveDone_ && !crossed)) continue;
            if (wCrossings >= p_.WavesDrawn) waveDone_ = true;
            if (static_cast<int>(wave_.size()) < kMaxWavePoints) wave_.push_back({count - wFirst, cur[i]});
            if (crossed && static_cast<int>(marks_.size()) < kMaxWavePoints) marks_.push_back(count - wFirst);
        }
    }

    count_ = count0 + n;
    holdCnt_ = hold;
    first_ = first;
    last_ = last;
    crossings_ = crossings;
    firstPeriod_ = firstPeriod;
    cur_ = cur[n - 1];
    armed_ = armed;
    valid_ = valid;
    if (timedOut) {
        Pending late;
        late.What = Pending::Kind::TimedOut;
        Queue(late);
    }
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
    Pending ended;
    ended.What = Pending::Kind::Ended;
    ended.End = end;
    Queue(ended);
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

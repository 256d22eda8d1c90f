// The tuner's measurement: fed the input values of each block by the block processor, it works
// in windows of W samples and finds the frequency of each window either by timing the rising
// crossings of a trigger level or from a spectrum of the window, where the first strong peak is
// taken so that a strong harmonic does not pass for the note. Everything the block path touches
// is allocated when the parameters are set, never while samples are fed. The block path only
// collects: the spectra and the events of a block (window start, timeout, window end) wait in a
// small queue until Deliver() hands them out between blocks, in the order they happened.
#pragma once

#include <cstdint>
#include <vector>

namespace kreisel {

struct MeterParams {
    int SampleRate = 44100;
    int WindowLen = 11025;     // W, samples
    int MinLevel = 128;        // minimum signal level
    double TrigLevel = 512;    // trigger level
    int HoldOff = 2087;        // samples after a counted crossing before the next may count
    bool Smoothing = true;     // moving average over SmoothLen values
    int SmoothLen = 20;        // N, 1..10000
    bool UseFFT = true;        // the spectrum decides (else the crossings)
    bool DrawFFT = false;      // the spectrum is computed for drawing
    bool PaintWave = false;    // the wave of the first periods is kept for drawing
    int WavesDrawn = 2;        // periods drawn
    int FirstPeakPercent = 40; // share of the top peak the first strong peak must exceed
    int MinSharePercent = 20;  // share of the window that must reach the minimum level
};

// What a window's end reports. A window without enough signal is TooQuiet (and not Valid); a
// valid window carries its frequency.
struct WindowEnd {
    bool Valid = false;
    bool TooQuiet = false;
    // Counted without the level test (drawn only): no result, and no sign of a wrong setting.
    bool Unchecked = false;
    double Frequency = 0;
    int Peak = 0;
};

class MeterEvents {
  public:
    virtual ~MeterEvents() = default;
    // A window starts (the wave box is cleared).
    virtual void WindowStarted() {}
    // A crossing came too late: the window gives no result.
    virtual void WindowTimedOut() {}
    virtual void WindowEnded(const WindowEnd& /*end*/) {}
};

// One point of the drawn wave: samples after the first counted crossing, and the value.
struct WavePoint {
    int X = 0;
    int16_t Y = 0;
};

// Largest buffer of window samples for the spectrum (2 MiB of 16-bit values).
constexpr int kMaxSpectrumSamples = 1 << 20;

class FrequencyMeter {
  public:
    static constexpr int kMaxSmoothLen = 10000;
    static constexpr int kMaxWavePoints = 1 << 15;

    FrequencyMeter();
    ~FrequencyMeter();
    FrequencyMeter(const FrequencyMeter&) = delete;
    FrequencyMeter& operator=(const FrequencyMeter&) = delete;

    // Not for the block path when the window length grows beyond what was prepared before.
    // resetWindow starts a new window; restartSmoothing refills the smoothing ring at the next
    // sample; skipLevelTest lets the first window's crossings count at any level.
    void SetParams(const MeterParams& p, bool resetWindow, bool restartSmoothing, bool skipLevelTest = false);
    const MeterParams& Params() const { return p_; }
    void SetEvents(MeterEvents* events) { events_ = events != nullptr ? events : &noEvents_; }

    // Block path: takes the samples, queues what happened. Allocates, locks and throws nothing.
    void FeedBlock(const int16_t* x, int n);
    // Between blocks: analyses the queued spectra and reports the queued events, in order.
    void Deliver();
    // Both, a window at a time, for callers outside the block processor.
    void Feed(const int16_t* x, int n);
    void Sample(int16_t x) { Feed(&x, 1); }
    // Events and spectra lost because more windows ended in one block than the queue holds.
    int Overflows() const { return overflows_; }
    // Starts a new window and drops the samples taken for the spectrum.
    void ResetWindow();
    void ClearSpectrumBuffers();

    // The spectrum of a buffer of samples: FFTFreq (first strong peak) and FFTFreqMax (top peak).
    void AnalyseSpectrum(const int16_t* samples, int n, bool keepForDrawing);

    double FFTFreq = 0;
    double FFTFreqMax = 0;

    // State the displays and the automatic settings read.
    int SampleCount() const { return count_; }
    int WindowPeak() const { return peak_; }
    int16_t CurrentSample() const { return cur_; }
    int Crossings() const { return crossings_; }
    int FirstCrossing() const { return first_; }
    // The wave of the current window and the x of its counted crossings.
    const std::vector<WavePoint>& Wave() const { return wave_; }
    const std::vector<int>& CrossingMarks() const { return marks_; }
    // Magnitudes of the last drawn spectrum, bins 1..M (index 0 unused), and the fractional bin
    // of its top and first peak; empty until a spectrum was kept.
    const std::vector<double>& Spectrum() const { return drawn_; }
    int SpectrumBins() const { return drawnBins_; }
    double SpectrumTopBin() const { return drawnTop_; }
    double SpectrumFirstBin() const { return drawnFirst_; }
    // The grey spectrum of the unsmoothed samples (smoothing on and spectrum drawn).
    const std::vector<double>& RawSpectrum() const { return drawnRaw_; }

  private:
    // What the block path queues for Deliver().
    struct Pending {
        enum class Kind : uint8_t { None, Started, Spectrum, TimedOut, Ended };
        Kind What = Kind::None;
        int Slot = 0;          // Spectrum: the buffer pair that holds the window
        int SamplesA = 0;      // and how many samples each of its buffers took
        int SamplesB = 0;
        uint32_t Generation = 0; // the slot's generation when queued
        bool Draw = false;
        WindowEnd End;
    };
    // Samples per pass: the scratch arrays of a pass live on the stack.
    static constexpr int kPass = 256;

    void Prepare();
    void WindowStart();
    void FeedChunk(const int16_t* x, int n);
    void FeedPass(const int16_t* x, int n);
    void EndWindow();
    void Queue(const Pending& p);
    double Refine(int k, int m) const;

    MeterParams p_;
    MeterEvents noEvents_;
    MeterEvents* events_ = &noEvents_;

    int count_ = 0;
    int16_t cur_ = 0;
    bool armed_ = true;
    int holdCnt_ = 0;
    int first_ = 0;
    int last_ = 0;
    int crossings_ = 0;
    int firstPeriod_ = 0;
    bool valid_ = true;
    bool skipLevel_ = false;
    int above_ = 0;
    int peak_ = 0;

    std::vector<int32_t> ring_;
    int64_t sum_ = 0;
    int ringPos_ = 0;
    bool restart_ = true;

    // Window buffers in slots: the block path fills one while the windows before wait for their
    // spectra, as many as the longest block can end. Only the first half of the largest power of
    // two within the window is ever transformed, so that much is kept (storeCap_), while
    // nA_/nB_ count up to cap_.
    std::vector<std::vector<int16_t>> bufA_, bufB_;
    std::vector<uint32_t> generation_;
    int slot_ = 0;
    int nA_ = 0, nB_ = 0;
    int cap_ = 0;
    int storeCap_ = 0;

    std::vector<Pending> queue_;
    int queued_ = 0;
    int delivered_ = 0;
    int overflows_ = 0;

    // FFT: one real-input plan per power of two up to the largest buffer, on shared arrays.
    double* in_ = nullptr;
    void* out_ = nullptr; // fftw_complex[P/2 + 1]
    std::vector<void*> plans_;
    int maxLog2_ = -1;
    std::vector<double> mag_;

    std::vector<WavePoint> wave_;
    std::vector<int> marks_;
    bool waveDone_ = false;

    std::vector<double> drawn_, drawnRaw_;
    int drawnBins_ = 0;
    double drawnTop_ = 0, drawnFirst_ = 0;
};

} // namespace kreisel

// The sound card as the core thread sees it: opening and starting the device with the rate and
// block length of the sound-card window, handing every complete input block to the engine in
// order, queueing the engine's output blocks (shortened when the drift correction asks), the
// counters, the error list and the measured latency of the output queue.
#pragma once

#include "core/HostServices.h"
#include "core/Text.h"
#include "engine/Engine.h"
#include "engine/Latency.h"
#include "soundcard/AudioDevice.h"
#include "soundcard/BlockQueue.h"
#include "soundcard/SoundCardControls.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kreisel {

// Asks for a whole number in [min, max] with a one-line input box until one is given. Gives up
// (nullopt) after `maxTries` answers in a row that were cancelled or no such number, so that a
// host that cannot ask anybody (a headless run) does not ask forever.
std::optional<int> AskNumber(Dialogs& dialogs, const TextQuery& query, int min, int max, int maxTries = 5);

// The texts of the open errors 1..20, as the error list has always shown them; "" for others.
std::string WaveInErrorText(int code);

struct SoundCardCounters {
    int64_t InBlocks = 0;
    int64_t InBlocksPerSecond = 0;
    int64_t OutBlocks = 0;
    int64_t OutBlocksPerSecond = 0;
    int64_t InSamples = 0;           // 16-bit values received
    int64_t SamplesSinceDisplay = 0; // values since the last per-second display
    int32_t LastBytes = 0;
    int64_t DroppedInBlocks = 0; // not processed because the output queue was full
    int64_t FailedBlocks = 0;    // whose processing failed
    uint32_t WriteCounter = 0;   // output blocks written; wraps freely
    double MeasuredRate = 0;     // input frames per second since the last reset
};

class SoundCard : public OutputQueueView {
  public:
    static constexpr int kMaxErrorLines = 100;
    static constexpr int kLatencyRing = 128;
    static constexpr int kLatencyNewest = 32;
    static constexpr int kPollMs = 250;
    // A measured queue delay that changes by no more than this is left as it was.
    static constexpr int kDelayToleranceFrames = 32;
    // While the device is lost (a sound server went away), how often it is opened again.
    static constexpr int kReopenMs = 1000;

    SoundCard(Engine& engine, SoundCardControls& controls, Dialogs& dialogs, Clock& clock, Timers& timers,
              EventPump& pump);
    ~SoundCard() override;
    SoundCard(const SoundCard&) = delete;
    SoundCard& operator=(const SoundCard&) = delete;

    // The device to open; not owned. Changing it stops the card first.
    void SetDevice(AudioDevice* device);
    AudioDevice* Device() const { return device_; }
    BlockQueue& Queue() { return queue_; }

    int InDeviceId() const { return inDeviceId_; }
    int OutDeviceId() const { return outDeviceId_; }
    void SetDeviceIds(int in, int out);

    // --- Start and stop.
    // Checks rate and block length (asking for valid ones), opens input and output, starts them.
    // Every failure goes to the error list and leaves the card stopped. True when running.
    bool Start();
    // Closes both streams; returns when no callback runs any more.
    void Stop();
    // The start/stop button: starts when stopped, stops otherwise.
    void StartStop();
    // Start/stop pressed twice with short pauses (around WAV import and export).
    void Restart();
    bool Stopped() const { return stopped_; }
    // The device was lost while running: its streams are closed and it is opened again every
    // kReopenMs from the poll timer until it plays again (or the card is stopped). The card
    // counts as running meanwhile; no blocks come.
    bool WaitingForDevice() const { return waiting_; }
    // Set while the program shuts down: blocks are then neither processed nor queued.
    void SetClosing(bool closing) { closing_ = closing; }

    // --- Core thread service. The application calls ServeInput when the queue's eventfd
    // becomes readable; a timer calls Poll while the card runs.
    // Processes every complete input block in order; returns how many were taken.
    int ServeInput();
    // Output blocks played to their end: counters and latency measurement.
    void ServeOutput();
    // Device errors, output underruns and input overruns into the error list.
    void Poll();

    // --- Output (OutputQueueView).
    bool WriteOutBlock(const int16_t* frames, int bytes) override;
    void ShortenNextOutBlock(int values) override;
    int PendingShortening() const { return pendingShortValues_; }
    int QueuedOutBlocks() const override { return queue_.QueuedOutput(); }
    // How long the output queue delays: frames from the start of an input block to the start of
    // the output block made from it, both on the input's count (what the device adds is not in
    // it). Measured on the blocks that have played; -1 before the first has.
    int64_t QueueDelayFrames() const override;
    double AverageLatencyMs() const override { return avgLatencyMs_; }
    double AverageLatencyBlocks() const override { return avgLatencyBlocks_; }
    int DeviceLatencyFrames() const override;

    // --- Counters and displays.
    const SoundCardCounters& Counters() const { return counters_; }
    // Zeroes the counters, restarts the rate measurement and takes the current device positions
    // as the new zero.
    void ResetCounters();
    // Frames since the stream started (0 while stopped).
    int64_t GetPosition(bool input) const;
    // "in/out //blocks Bl. = frames Frames" since the last counter reset.
    std::string PositionText() const;
    void AppendPositionText(FixedText& text) const;
    int SampleRate() const { return sampleRate_; }
    int OutputRate() const { return outRate_; }

    // --- Error list (MemoErrors).
    void ReportError(const std::string& text);
    void ClearErrors();
    int ErrorCount() const { return errorCount_; }

    // The input-data event: the engine's SndInputEvent unless replaced.
    std::function<void(const int16_t* buffer, int bytes)> InputDataEvent;
    // After rate or block length were changed by a start (fade tables, click length).
    std::function<void()> OnFormatChanged;
    // After every successful start (the output delay is recomputed), also after the device came
    // back on its own.
    std::function<void()> OnStarted;
    // Once when the running device is lost (a take in progress is ended).
    std::function<void()> OnDeviceLost;
    // When the queue delay or the latency the device reports has changed while running (filling
    // up, an output that ran dry, ports connected elsewhere): the output delay is recomputed.
    std::function<void()> OnLatencyChanged;
    // The time in an error line; by default the clock's time since its start.
    std::function<std::string()> TimeText;
    char DecimalSeparator = '.';

  private:
    struct Written {
        int64_t Seq = -1;
        uint32_t WriteCount = 0;
        int64_t FramesAtWrite = 0;
        int64_t WrittenBefore = 0; // frames of all blocks written before it
    };
    struct Measured {
        int64_t Seq = -1;
        int32_t Depth = 0;
        double Ms = 0;
    };

    void ProcessBlock(const int16_t* block, int bytes);
    bool CheckRateAndBlock();
    bool OpenAndStart();
    void CloseDevice();
    void ShowQueued();
    void ShowStatus(Control& label, const char* text);
    // The counter labels are filled in: "weitere Zähler" is on and the window is open.
    bool CountersShown() const;
    void UpdateCounterDisplay(bool visible);
    void MeasureReturned(int64_t seq);
    void ComputeAverages();
    void ReportEpisode(int64_t now, int64_t& seen, const char* text);
    // Before a block (beginning at input frame `inputStart`) is processed, and between blocks:
    // a changed queue delay or device latency is announced (OnLatencyChanged).
    void FollowDelay(int64_t inputStart);
    void DeviceLost();
    void TryReopen();
    void StartPollTimer();
    void StopPollTimer();
    std::string DefaultTimeText() const;

    Engine& e_;
    SoundCardControls& c_;
    Dialogs& dialogs_;
    Clock& clock_;
    Timers& timers_;
    EventPump& pump_;
    AudioDevice* device_ = nullptr;
    BlockQueue queue_;

    int inDeviceId_ = 0;
    int outDeviceId_ = 0;
    int sampleRate_ = 44100;
    int outRate_ = 44100;
    bool stopped_ = true;
    bool closing_ = false;
    bool dropping_ = false;
    bool waiting_ = false;
    bool quietErrors_ = false; // failed attempts to open again are not listed
    int64_t lastReopenTick_ = 0;
    int pollTimer_ = 0;
    std::atomic<int> deviceError_{0};

    SoundCardCounters counters_;
    int errorCount_ = 0;
    int pendingShortValues_ = 0;
    int64_t secondTick_ = 0;
    int64_t rateTick_ = 0;
    int64_t ratePos_ = 0;
    int64_t inZero_ = 0;
    int64_t outZero_ = 0;
    int64_t underrunsSeen_ = 0;
    int deviceLatency_ = 0;
    int64_t overrunsSeen_ = 0;

    // Latency ring: what was written (by write sequence) and what was measured on return.
    uint32_t latencySnapshot_ = 0;
    int64_t returnedSeen_ = 0;
    int64_t lastMeasured_ = -1;
    std::array<Written, kLatencyRing> written_{};
    std::array<Measured, kLatencyRing> measured_{};
    double avgLatencyMs_ = 0;
    double avgLatencyBlocks_ = 0;

    // The queue delay. Every block starts to play at delayBase_ + the frames written before it
    // (on the input's count); the base moves when the output runs dry or input is lost.
    static constexpr int kDelayBases = 16;
    std::array<int64_t, kDelayBases> bases_{};
    int64_t writtenFrames_ = 0;
    int64_t delayBase_ = 0;
    bool delayKnown_ = false;
    int64_t delayShown_ = -1;
    int64_t nextInputStart_ = -1; // input frame where the next block to process begins
    bool latencyChanged_ = false;
};

} // namespace kreisel

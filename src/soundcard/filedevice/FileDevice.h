// The built-in audio device: input from a WAV file (any format libsndfile reads, turned into
// 16-bit stereo at the stream's rate), from silence or from a sine test tone; output to a
// 16-bit stereo WAV file or discarded. Paced in real time by a thread of its own, or in lock-step:
// then nothing moves until Step or Pump runs the callbacks on the caller's thread, which makes
// headless runs and tests deterministic.
#pragma once

#include "soundcard/AudioDevice.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kreisel {

class FileDevice : public AudioDevice {
  public:
    enum class Source { Silence, Tone, File };
    enum class Pacing { RealTime, LockStep };

    FileDevice();
    ~FileDevice() override;
    FileDevice(const FileDevice&) = delete;
    FileDevice& operator=(const FileDevice&) = delete;

    // --- Configuration; takes effect at the next open.
    void SetInputSilence();
    void SetInputTone(double frequencyHz, int16_t amplitude = 8192);
    void SetInputFile(std::filesystem::path path);
    // An empty path discards the output.
    void SetOutputFile(std::filesystem::path path);
    void SetPacing(Pacing pacing) { pacing_ = pacing; }
    Source InputSource() const { return source_; }
    Pacing PacingMode() const { return pacing_; }

    // --- AudioDevice. There is one input and one output device (index 0).
    std::string ApiName() const override { return "Datei"; }
    std::vector<AudioDeviceInfo> InputDevices() override;
    std::vector<AudioDeviceInfo> OutputDevices() override;
    int QueryInput(int device, const StreamFormat& format) override;
    int QueryOutput(int device, const StreamFormat& format) override;
    int OpenInput(int device, const StreamFormat& format, InputCallback callback) override;
    int OpenOutput(int device, const StreamFormat& format, OutputCallback callback) override;
    void SetErrorCallback(ErrorCallback callback) override;
    int Start() override;
    void Close() override;
    bool IsOpen() const override;
    int64_t InputPosition() const override { return inPos_.load(std::memory_order_relaxed); }
    int64_t OutputPosition() const override { return outPos_.load(std::memory_order_relaxed); }
    int InputLatencyFrames() const override { return 0; }
    int OutputLatencyFrames() const override { return 0; }
    std::string ErrorText(int code) const override;

    // --- Lock-step (only while started in that mode; otherwise nothing happens).
    // `frames` input frames through the input callback, then the output frames of the same
    // time span (at the output rate) through the output callback.
    void Step(int frames);
    // One period of the input format.
    void Pump();
    void StepInput(int frames);
    void StepOutput(int frames);

    // The input file has been delivered to its end, or was lost (silence follows).
    bool InputFinished() const { return inputFinished_.load(std::memory_order_acquire); }
    // What became of the input file while it played (reported once as AudioInputFileLost, and
    // silence comes in from then on).
    enum class InputLoss { None, Deleted, CutShort, Replaced };
    InputLoss InputFileLoss() const { return inputLoss_.load(std::memory_order_acquire); }
    // Input frames between two looks at the input file (about a quarter of a second).
    static constexpr int kWatchFrames = 11025;
    // Frames the output file holds so far.
    int64_t FramesWritten() const { return outPos_.load(std::memory_order_relaxed); }

  private:
    class Reader;
    class Writer;

    void RunInput(int frames);
    void RunOutput(int frames);
    int OutputFramesFor(int inputFrames);
    void PaceLoop();
    void ReportFileError(const std::string& text);
    // Whether the input file is still the one opened, as long as it is; cheap enough for every
    // quarter second of input (one stat, nothing allocated).
    void WatchInputFile(int frames);

    Source source_ = Source::Silence;
    Pacing pacing_ = Pacing::RealTime;
    std::filesystem::path inPath_;
    std::filesystem::path outPath_;
    double toneHz_ = 440.0;
    int16_t toneAmplitude_ = 8192;
    double tonePhase_ = 0;

    StreamFormat inFormat_;
    StreamFormat outFormat_;
    InputCallback inCallback_;
    OutputCallback outCallback_;
    ErrorCallback errorCallback_;
    bool inOpen_ = false;
    bool outOpen_ = false;
    bool started_ = false;
    std::unique_ptr<Reader> reader_;
    std::unique_ptr<Writer> writer_;
    std::vector<int16_t> inBuffer_;
    std::vector<int16_t> outBuffer_;
    double outCarry_ = 0;
    std::string fileError_;

    std::atomic<int64_t> inPos_{0};
    std::atomic<int64_t> outPos_{0};
    std::atomic<bool> inputFinished_{false};
    std::atomic<InputLoss> inputLoss_{InputLoss::None};
    uint64_t inDev_ = 0, inIno_ = 0;
    int64_t inSize_ = 0;
    int64_t inModified_ = 0; // nanoseconds
    int watchCountdown_ = 0;
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

} // namespace kreisel

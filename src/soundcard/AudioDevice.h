// What the looper needs of a sound card: lists of input and output devices, separate input and
// output streams of 16-bit stereo frames, their positions and latencies, errors as numbers with
// texts. The callbacks run on the device's own threads: they must not allocate, lock, log or
// throw; they only copy frames in and out of the block queue.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kreisel {

struct AudioDeviceInfo {
    std::string Name;
    int InputChannels = 0;
    int OutputChannels = 0;
    std::vector<int> SampleRates; // empty: unknown
    bool DefaultInput = false;
    bool DefaultOutput = false;
};

struct StreamFormat {
    int SampleRate = 44100;
    int Channels = 2;        // always 2 here: interleaved left, right
    int PeriodFrames = 1000; // what the device is asked for; it may choose another period
};

// Error numbers of open: those of the old wave interface (1..20) where one fits, so that the
// error list shows the texts users know; others are the device's own, above 1000.
enum AudioError : int {
    AudioOk = 0,
    AudioUnspecified = 1,
    AudioBadDeviceId = 2,
    AudioAllocated = 4,
    AudioNoDriver = 6,
    AudioNoMemory = 7,
    AudioNotSupported = 8,
    AudioInvalidParameter = 11,
    AudioBadFormat = 32,
    AudioDeviceLost = 1001,
    AudioFileError = 1002, // the built-in device's WAV file could not be opened, read or written
    AudioInputFileLost = 1003, // the built-in device's input file was deleted, cut short or replaced
};

class AudioDevice {
  public:
    // Input: `frames` interleaved stereo frames just recorded.
    using InputCallback = std::function<void(const int16_t* frames, int count)>;
    // Output: fill `count` interleaved stereo frames to be played.
    using OutputCallback = std::function<void(int16_t* frames, int count)>;
    // A failure the device noticed on its own (a server went away); runs on any thread, so it
    // only records the code.
    using ErrorCallback = std::function<void(int code)>;

    virtual ~AudioDevice() = default;

    virtual std::string ApiName() const = 0;
    virtual std::vector<AudioDeviceInfo> InputDevices() = 0;
    virtual std::vector<AudioDeviceInfo> OutputDevices() = 0;

    // Format check only; 0 when the device would open with it.
    virtual int QueryInput(int device, const StreamFormat& format) = 0;
    virtual int QueryOutput(int device, const StreamFormat& format) = 0;
    virtual int OpenInput(int device, const StreamFormat& format, InputCallback callback) = 0;
    virtual int OpenOutput(int device, const StreamFormat& format, OutputCallback callback) = 0;
    virtual void SetErrorCallback(ErrorCallback callback) = 0;
    virtual int Start() = 0;
    // Stops and closes both streams; returns when no callback runs any more.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Frames recorded and played since the streams started.
    virtual int64_t InputPosition() const = 0;
    virtual int64_t OutputPosition() const = 0;
    // What the device itself buffers, in frames (0 when it does not say).
    virtual int InputLatencyFrames() const = 0;
    virtual int OutputLatencyFrames() const = 0;

    virtual std::string ErrorText(int code) const = 0;
};

} // namespace kreisel

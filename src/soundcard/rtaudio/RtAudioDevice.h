// The sound card through RtAudio: ALSA, PulseAudio or JACK. Input and output are separate
// streams, each with its own RtAudio instance, so they may run on different devices and the
// output may run at a slightly different rate. RtAudio itself stays inside the .cpp file.
#pragma once

#include "soundcard/AudioDevice.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kreisel {

enum class AudioApi {
    FirstWithDevices, // JACK when a server runs, else PulseAudio, else ALSA
    Alsa,
    Pulse,
    Jack,
};

class RtAudioDevice final : public AudioDevice {
  public:
    // `clientName` names the streams where the sound system shows names: the JACK clients are
    // "<clientName> in" and "<clientName> out", with the ports "inport 0/1" and "outport 0/1".
    explicit RtAudioDevice(AudioApi api = AudioApi::FirstWithDevices, std::string clientName = "Kreisel");
    ~RtAudioDevice() override;
    RtAudioDevice(const RtAudioDevice&) = delete;
    RtAudioDevice& operator=(const RtAudioDevice&) = delete;

    // The API in use (FirstWithDevices resolved when the device was made).
    AudioApi Api() const { return api_; }
    std::string ApiName() const override;
    std::vector<AudioDeviceInfo> InputDevices() override;
    std::vector<AudioDeviceInfo> OutputDevices() override;

    // Device numbers index the lists above. The query opens a stream on a spare instance and
    // closes it again, which is the only check RtAudio offers.
    int QueryInput(int device, const StreamFormat& format) override;
    int QueryOutput(int device, const StreamFormat& format) override;
    int OpenInput(int device, const StreamFormat& format, InputCallback callback) override;
    int OpenOutput(int device, const StreamFormat& format, OutputCallback callback) override;
    // A loss (the JACK server gone, or a running stream that delivers nothing for two seconds)
    // is reported once, as AudioDeviceLost, from the device's own monitor thread.
    void SetErrorCallback(ErrorCallback callback) override;
    // Starts the input first, then the output. After a loss it fails with AudioDeviceLost
    // until the device is closed and opened again.
    int Start() override;
    // Returns when no callback runs any more. A JACK stream whose server went away is closed
    // by RtAudio's own thread; should that thread not finish, its stream is left to it.
    void Close() override;
    bool IsOpen() const override;

    int64_t InputPosition() const override;
    int64_t OutputPosition() const override;
    // On JACK: the latencies of the route the ports take now, the smallest where they are
    // connected to several ports (RtAudio's own figure is that of the ports it first connected
    // to), with a cycle more for an input fed from this device's own output. They follow the
    // connections within a monitor round.
    int InputLatencyFrames() const override;
    int OutputLatencyFrames() const override;

    std::string ErrorText(int code) const override;

    // The period each stream runs with (the sound system may choose another than asked); 0
    // when the stream is not open.
    int InputPeriodFrames() const;
    int OutputPeriodFrames() const;
    // Overflows and underflows the sound system reported since the start.
    int64_t InputOverflows() const;
    int64_t OutputUnderflows() const;
    // RtAudio's own words about the last failure of a call, for the details of an error line.
    std::string LastErrorDetail() const;

  private:
    struct Stream;

    // RtAudio's callbacks; `status` is RtAudioStreamStatus.
    static int InputThunk(void* output, void* input, unsigned frames, double time, unsigned status,
                          void* user) noexcept;
    static int OutputThunk(void* output, void* input, unsigned frames, double time, unsigned status,
                           void* user) noexcept;

    int Open(bool input, int device, const StreamFormat& format, bool trial, Stream* stream);
    void CloseStream(std::unique_ptr<Stream>& stream);
    void Monitor();
    void StopMonitor();
    void ReportLoss(int code, const char* detail);
    void ReportError(int code, const char* detail);
    void SetDetail(std::string detail);
    // JACK: the latencies of the route the program's ports take now (see the .cpp file).
    void OpenJackRoute();
    void UpdateJackRoute();
    void CloseJackRoute();

    AudioApi api_;
    int rtApi_; // RtAudio::Api, or -1 when no API could be made
    std::string clientName_;

    std::unique_ptr<Stream> in_;
    std::unique_ptr<Stream> out_;
    bool started_ = false;
    // A JACK client of its own that only looks at the ports (jack_client_t, kept out of this
    // header); used by the monitor thread while the streams run.
    void* jackRoute_ = nullptr;

    // The monitor notices a sound system that went away: a JACK server that shut the client
    // down, or streams that stopped delivering.
    std::thread monitor_;
    std::mutex monitorMutex_;
    std::condition_variable monitorWake_;
    bool monitorStop_ = false;
    std::atomic<bool> lost_{false};
    mutable std::mutex errorMutex_;
    ErrorCallback errorCallback_;
    std::string detail_;
};

} // namespace kreisel

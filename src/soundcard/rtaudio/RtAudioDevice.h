// The sound card through RtAudio: ALSA, PulseAudio or JACK. Input and output are separate
// streams, each with its own RtAudio instance, so they may run on different devices and the
// output may run at a slightly different rate. On JACK, where both directions always run on one
// server at its rate, they share one client of the program's own instead (JackDuplex): one
// process thread, one wake-up per period. RtAudio itself stays inside the .cpp file.
#pragma once

#include "soundcard/AudioDevice.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kreisel {

class JackDuplex;

enum class AudioApi {
    FirstWithDevices, // JACK when a server runs, else PulseAudio, else ALSA
    Alsa,
    Pulse,
    Jack,
};

class RtAudioDevice final : public AudioDevice {
  public:
    // `clientName` names the streams where the sound system shows names: on JACK one client
    // "<clientName>" with the ports "inport 0/1" and "outport 0/1" once both directions are open
    // (JackPortName); an input opened alone is the client "<clientName> in" until then.
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
    // On JACK an input opened before runs on from here in one client with the output.
    int OpenOutput(int device, const StreamFormat& format, OutputCallback callback) override;
    // A loss (the JACK server gone, or a running stream that delivers nothing for two seconds)
    // is reported once, as AudioDeviceLost, from the device's own monitor thread. On JACK the
    // monitor sleeps until the server says something (shut down, ports connected, latencies
    // changed) and looks at the streams once a second; elsewhere it looks every 50 ms.
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
    // Whether input and output run in one client (JACK, both open).
    bool Duplex() const { return duplex_ != nullptr; }
    // The full JACK name of one of the program's ports ("client:inport 0"), as the streams open now.
    std::string JackPortName(bool input, int channel) const;

  private:
    struct Stream;

    // RtAudio's callbacks; `status` is RtAudioStreamStatus.
    static int InputThunk(void* output, void* input, unsigned frames, double time, unsigned status,
                          void* user) noexcept;
    static int OutputThunk(void* output, void* input, unsigned frames, double time, unsigned status,
                           void* user) noexcept;

    int Open(bool input, int device, const StreamFormat& format, bool trial, Stream* stream);
    // JACK: the open input (its RtAudio client closed) and the output `out` on the device
    // `device` in one client of the program's own.
    int OpenDuplex(int device, const StreamFormat& format, Stream* out);
    // False when the stream was left to RtAudio's own closing thread (and so not freed).
    bool CloseStream(std::unique_ptr<Stream>& stream);
    void Monitor();
    void StopMonitor();
    void ReportLoss(int code, const char* detail);
    void ReportError(int code, const char* detail);
    void SetDetail(std::string detail);
    // JACK: the latencies of the route the program's ports take now (see the .cpp file). Without
    // the duplex client a route client of its own looks at the ports; where libjack allows, the
    // server tells it of changes.
    void OpenJackRoute();
    void RouteChanged();
    void UpdateJackRoute();
    void CloseJackRoute();

    AudioApi api_;
    int rtApi_; // RtAudio::Api, or -1 when no API could be made
    std::string clientName_;

    std::unique_ptr<Stream> in_;
    std::unique_ptr<Stream> out_;
    int inDevice_ = -1;
    // On JACK with both directions open: the client that serves both streams (their Rt empty),
    // and the JACK clients (devices) its ports are connected to when it starts.
    std::unique_ptr<JackDuplex> duplex_;
    std::string duplexIn_;
    std::string duplexOut_;
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
    // Set by the JACK callbacks of the duplex or the route client, under monitorMutex_.
    bool routeChanged_ = false;
    bool serverGone_ = false;
    bool routeEvents_ = false; // the server tells of changes
    std::atomic<bool> lost_{false};
    mutable std::mutex errorMutex_;
    ErrorCallback errorCallback_;
    std::string detail_;
};

} // namespace kreisel

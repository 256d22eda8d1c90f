// Input and output of the sound card as one JACK client of the program's own: two input and two
// output ports, one process callback per period that converts the input to 16-bit stereo and
// hands it over, then takes the output frames and converts them back. One client means one
// process thread and one wake-up per period for both directions, and no second copy of every
// period as RtAudio's own buffers make. libjack is in the process whenever RtAudio runs on JACK
// (RtAudio links it); its functions are looked up there rather than linked a second time.
#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kreisel {

// The libjack functions the program calls itself; each is nullptr when libjack lacks it.
struct JackLib {
    decltype(&jack_client_open) ClientOpen = nullptr;
    decltype(&jack_client_close) ClientClose = nullptr;
    decltype(&jack_get_client_name) ClientName = nullptr;
    decltype(&jack_port_by_name) PortByName = nullptr;
    decltype(&jack_port_get_latency_range) LatencyRange = nullptr;
    decltype(&jack_port_connected_to) ConnectedTo = nullptr;
    decltype(&jack_get_buffer_size) BufferSize = nullptr;
    decltype(&jack_get_sample_rate) SampleRate = nullptr;
    decltype(&jack_on_info_shutdown) OnInfoShutdown = nullptr;
    decltype(&jack_set_port_connect_callback) SetPortConnect = nullptr;
    decltype(&jack_set_graph_order_callback) SetGraphOrder = nullptr;
    decltype(&jack_set_latency_callback) SetLatency = nullptr;
    decltype(&jack_set_process_callback) SetProcess = nullptr;
    decltype(&jack_set_xrun_callback) SetXrun = nullptr;
    decltype(&jack_activate) Activate = nullptr;
    decltype(&jack_port_register) PortRegister = nullptr;
    decltype(&jack_port_get_buffer) PortBuffer = nullptr;
    decltype(&jack_port_name) PortName = nullptr;
    decltype(&jack_get_ports) GetPorts = nullptr;
    decltype(&jack_connect) Connect = nullptr;
    decltype(&jack_free) Free = nullptr;

    // Enough to look at the route the ports take.
    bool Usable() const {
        return ClientOpen && ClientClose && PortByName && LatencyRange && ConnectedTo && BufferSize;
    }
    // Enough for a client that is told of changes.
    bool Notifies() const { return OnInfoShutdown && SetPortConnect && SetGraphOrder && SetLatency && Activate; }
    // Enough for the duplex client.
    bool Duplex() const {
        return Usable() && Notifies() && ClientName && SampleRate && SetProcess && SetXrun && PortRegister &&
               PortBuffer && PortName && GetPorts && Connect && Free;
    }
};

const JackLib& Jack();

class JackDuplex {
  public:
    struct Callbacks {
        // On the process thread, input first; neither may allocate, lock or throw.
        std::function<void(const int16_t* frames, int count)> Input;
        std::function<void(int16_t* frames, int count)> Output;
        // On the process thread: the server ran late.
        std::function<void()> Xrun;
        // On the client's notification thread.
        std::function<void()> Shutdown;
        std::function<void()> RouteChanged; // connections, graph order or latencies changed
    };

    JackDuplex() = default;
    ~JackDuplex() { Close(); }
    JackDuplex(const JackDuplex&) = delete;
    JackDuplex& operator=(const JackDuplex&) = delete;

    static bool Available() { return Jack().Duplex(); }

    // Opens the client `name` with the ports "inport 0/1" and "outport 0/1". The server must run
    // at `rate`. 0 or an AudioError; `detail` gets the reason.
    int Open(const std::string& name, int rate, Callbacks callbacks, std::string* detail);
    // Activates the client and connects its inputs to the first two output ports of the JACK
    // client `inDevice` and its outputs to the first two input ports of `outDevice` (as RtAudio
    // does with a device). A connection that fails is left out.
    int Start(const std::string& inDevice, const std::string& outDevice, std::string* detail);
    // Closes the client; no callback runs after this.
    void Close();
    bool IsOpen() const { return client_ != nullptr; }

    int Period() const;
    jack_client_t* Client() const { return client_; }
    jack_port_t* Port(bool input, int channel) const { return (input ? in_ : out_)[channel & 1]; }
    // "client:inport 0" with the name the server gave the client.
    std::string PortName(bool input, int channel) const;

    // The sample conversions RtAudio makes, so that a value survives the way out and back
    // unchanged, between two port buffers and `count` stereo frames. Values beyond full scale
    // are clipped; a NaN from another client becomes the lowest value.
    static void FromPorts(const float* left, const float* right, int16_t* frames, int count);
    static void ToPorts(const int16_t* frames, float* left, float* right, int count);

  private:
    static int Process(jack_nframes_t frames, void* self) noexcept;
    void Changed() {
        if (callbacks_.RouteChanged) callbacks_.RouteChanged();
    }
    void Connect(const std::string& device, bool input);

    // The largest period JACK runs with; a longer one is served in parts.
    static constexpr int kMaxFrames = 8192;

    jack_client_t* client_ = nullptr;
    std::string name_;
    Callbacks callbacks_;
    std::array<jack_port_t*, 2> in_{};
    std::array<jack_port_t*, 2> out_{};
    std::unique_ptr<int16_t[]> inFrames_;
    std::unique_ptr<int16_t[]> outFrames_;
};

} // namespace kreisel

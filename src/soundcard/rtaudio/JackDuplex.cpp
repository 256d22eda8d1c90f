// The program's own JACK client for both directions.
#include "soundcard/rtaudio/JackDuplex.h"

#include "soundcard/AudioDevice.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kreisel {

const JackLib& Jack() {
    static const JackLib lib = [] {
        JackLib c;
        const auto find = [](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(RTLD_DEFAULT, name));
        };
        find(c.ClientOpen, "jack_client_open");
        find(c.ClientClose, "jack_client_close");
        find(c.ClientName, "jack_get_client_name");
        find(c.PortByName, "jack_port_by_name");
        find(c.LatencyRange, "jack_port_get_latency_range");
        find(c.ConnectedTo, "jack_port_connected_to");
        find(c.BufferSize, "jack_get_buffer_size");
        find(c.SampleRate, "jack_get_sample_rate");
        find(c.OnInfoShutdown, "jack_on_info_shutdown");
        find(c.SetPortConnect, "jack_set_port_connect_callback");
        find(c.SetGraphOrder, "jack_set_graph_order_callback");
        find(c.SetLatency, "jack_set_latency_callback");
        find(c.SetProcess, "jack_set_process_callback");
        find(c.SetXrun, "jack_set_xrun_callback");
        find(c.Activate, "jack_activate");
        find(c.PortRegister, "jack_port_register");
        find(c.PortBuffer, "jack_port_get_buffer");
        find(c.PortName, "jack_port_name");
        find(c.GetPorts, "jack_get_ports");
        find(c.Connect, "jack_connect");
        find(c.Free, "jack_free");
        return c;
    }();
    return lib;
}

namespace {

// Written without branches so that the period's loops become vector code.
inline float ToFloat(int16_t value) {
    return (static_cast<float>(value) + 0.5f) / 32767.5f;
}

inline int16_t ToInt16(float value) {
    float scaled = value * 32767.5f - 0.5f;
    scaled = scaled > -32768.0f ? scaled : -32768.0f;
    scaled = scaled < 32767.0f ? scaled : 32767.0f;
    // Half away from zero.
    return static_cast<int16_t>(static_cast<int32_t>(scaled + std::copysign(0.5f, scaled)));
}

} // namespace

void JackDuplex::FromPorts(const float* __restrict left, const float* __restrict right, int16_t* __restrict frames,
                           int count) {
    for (int i = 0; i < count; ++i) {
        frames[2 * i] = ToInt16(left[i]);
        frames[2 * i + 1] = ToInt16(right[i]);
    }
}

void JackDuplex::ToPorts(const int16_t* __restrict frames, float* __restrict left, float* __restrict right,
                         int count) {
    for (int i = 0; i < count; ++i) {
        left[i] = ToFloat(frames[2 * i]);
        right[i] = ToFloat(frames[2 * i + 1]);
    }
}

int JackDuplex::Open(const std::string& name, int rate, Callbacks callbacks, std::string* detail) {
    Close();
    const JackLib& jack = Jack();
    if (!jack.Duplex()) return AudioNoDriver;
    jack_status_t status{};
    client_ = jack.ClientOpen(name.c_str(), JackNoStartServer, &status);
    if (client_ == nullptr) {
        if (detail) *detail = "JACK server not found";
        return AudioNoDriver;
    }
    if (static_cast<int>(jack.SampleRate(client_)) != rate) {
        if (detail) *detail = "the JACK server runs at " + std::to_string(jack.SampleRate(client_)) + " Hz";
        Close();
        return AudioBadFormat;
    }
    name_ = jack.ClientName(client_);
    callbacks_ = std::move(callbacks);
    inFrames_ = std::make_unique<int16_t[]>(2 * kMaxFrames);
    outFrames_ = std::make_unique<int16_t[]>(2 * kMaxFrames);
    for (int channel = 0; channel < 2; ++channel) {
        const std::string number = std::to_string(channel);
        in_[channel] = jack.PortRegister(client_, ("inport " + number).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsInput, 0);
        out_[channel] = jack.PortRegister(client_, ("outport " + number).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                          JackPortIsOutput, 0);
        if (in_[channel] == nullptr || out_[channel] == nullptr) {
            if (detail) *detail = "JACK refused a port";
            Close();
            return AudioAllocated;
        }
    }
    // The notifications only pass the word on; the process callback does the audio.
    jack.OnInfoShutdown(
        client_,
        [](jack_status_t, const char*, void* self) {
            if (auto& shutdown = static_cast<JackDuplex*>(self)->callbacks_.Shutdown) shutdown();
        },
        this);
    const bool set =
        jack.SetProcess(client_, &JackDuplex::Process, this) == 0 &&
        jack.SetXrun(
            client_,
            [](void* self) {
                if (auto& xrun = static_cast<JackDuplex*>(self)->callbacks_.Xrun) xrun();
                return 0;
            },
            this) == 0 &&
        jack.SetPortConnect(
            client_, [](jack_port_id_t, jack_port_id_t, int, void* self) { static_cast<JackDuplex*>(self)->Changed(); },
            this) == 0 &&
        jack.SetGraphOrder(
            client_,
            [](void* self) {
                static_cast<JackDuplex*>(self)->Changed();
                return 0;
            },
            this) == 0;
    if (!set) {
        if (detail) *detail = "JACK refused a callback";
        Close();
        return AudioUnspecified;
    }
    return AudioOk;
}

int JackDuplex::Start(const std::string& inDevice, const std::string& outDevice, std::string* detail) {
    if (client_ == nullptr) return 5; // "device handle is invalid"
    if (Jack().Activate(client_) != 0) {
        if (detail) *detail = "JACK did not activate the client";
        return 3; // "driver failed enable"
    }
    Connect(inDevice, true);
    Connect(outDevice, false);
    return AudioOk;
}

void JackDuplex::Connect(const std::string& device, bool input) {
    const JackLib& jack = Jack();
    // The device's ports that feed the inputs are its outputs, and the other way round.
    const char** ports =
        jack.GetPorts(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, input ? JackPortIsOutput : JackPortIsInput);
    if (ports == nullptr) return;
    std::vector<const char*> mine;
    const std::string prefix = device + ":";
    for (const char** p = ports; *p != nullptr; ++p)
        if (std::string_view(*p).substr(0, prefix.size()) == prefix) mine.push_back(*p);
    for (size_t channel = 0; channel < 2 && channel < mine.size(); ++channel) {
        const char* own = jack.PortName(Port(input, static_cast<int>(channel)));
        if (input)
            jack.Connect(client_, mine[channel], own);
        else
            jack.Connect(client_, own, mine[channel]);
    }
    jack.Free(static_cast<void*>(ports));
}

void JackDuplex::Close() {
    if (client_ != nullptr) Jack().ClientClose(client_); // deactivates first: no callback runs after it
    client_ = nullptr;
    in_ = {};
    out_ = {};
}

int JackDuplex::Period() const {
    return client_ != nullptr ? static_cast<int>(Jack().BufferSize(client_)) : 0;
}

std::string JackDuplex::PortName(bool input, int channel) const {
    return name_ + (input ? ":inport " : ":outport ") + std::to_string(channel);
}

int JackDuplex::Process(jack_nframes_t frames, void* arg) noexcept {
    auto* self = static_cast<JackDuplex*>(arg);
    const JackLib& jack = Jack();
    // The inputs are fetched before the outputs are written: an input fed from this client's own
    // output gets what it played in the cycle before.
    std::array<const float*, 2> in{};
    std::array<float*, 2> out{};
    for (size_t channel = 0; channel < 2; ++channel)
        in[channel] = static_cast<const float*>(jack.PortBuffer(self->in_[channel], frames));
    for (size_t channel = 0; channel < 2; ++channel)
        out[channel] = static_cast<float*>(jack.PortBuffer(self->out_[channel], frames));
    int16_t* inFrames = self->inFrames_.get();
    int16_t* outFrames = self->outFrames_.get();
    for (jack_nframes_t done = 0; done < frames;) {
        const int count = static_cast<int>(std::min<jack_nframes_t>(frames - done, kMaxFrames));
        FromPorts(in[0] + done, in[1] + done, inFrames, count);
        self->callbacks_.Input(inFrames, count);
        self->callbacks_.Output(outFrames, count);
        ToPorts(outFrames, out[0] + done, out[1] + done, count);
        done += static_cast<jack_nframes_t>(count);
    }
    return 0;
}

} // namespace kreisel

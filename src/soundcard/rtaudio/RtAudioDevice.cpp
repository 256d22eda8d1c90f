// RtAudio behind the AudioDevice interface. RtAudio 5 reports failures of its calls by throwing
// RtAudioError, so every call into it is wrapped and turned into one of the wave error numbers.
// No RtAudio error callback is installed: with one, RtAudio aborts streams on its own and
// dereferences a missing handle when a closed stream is touched; without one, errors inside its
// audio threads are only warnings, which are switched off here.
#include "soundcard/rtaudio/RtAudioDevice.h"

#include <rtaudio/RtAudio.h>

#include <dlfcn.h>
#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <iostream>
#include <mutex>
#include <new>
#include <utility>

namespace kreisel {

struct RtAudioDevice::Stream {
    std::unique_ptr<RtAudio> Rt; // empty for the output half of a duplex stream
    InputCallback OnInput;
    OutputCallback OnOutput;
    Stream* Partner = nullptr; // of a duplex stream's input half: the output half
    int Period = 0;
    int Rate = 0;
    std::atomic<int64_t> Frames{0};
    std::atomic<int64_t> Xruns{0};
    std::atomic<int> Latency{0};
    std::atomic<bool> Faulted{false};
};

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Wave error numbers without a name in AudioDevice.h.
constexpr int DriverNotEnabled = 3;
constexpr int InvalidHandle = 5;

RtAudio::Api ToRtApi(AudioApi api) {
    switch (api) {
    case AudioApi::Alsa:
        return RtAudio::LINUX_ALSA;
    case AudioApi::Pulse:
        return RtAudio::LINUX_PULSE;
    case AudioApi::Jack:
        return RtAudio::UNIX_JACK;
    case AudioApi::FirstWithDevices:
        break;
    }
    return RtAudio::UNSPECIFIED;
}

AudioApi FromRtApi(RtAudio::Api api) {
    switch (api) {
    case RtAudio::LINUX_ALSA:
        return AudioApi::Alsa;
    case RtAudio::LINUX_PULSE:
        return AudioApi::Pulse;
    case RtAudio::UNIX_JACK:
        return AudioApi::Jack;
    default:
        return AudioApi::FirstWithDevices;
    }
}

std::unique_ptr<RtAudio> MakeRtAudio(int api) {
    auto rt = std::make_unique<RtAudio>(static_cast<RtAudio::Api>(api));
    rt->showWarnings(false);
    return rt;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// RtAudio gives a type, and for most failures of opening only SYSTEM_ERROR with a message; the
// few messages that say more than "the device refused" are told apart by their words.
int MapError(const RtAudioError& e, int fallback) {
    switch (e.getType()) {
    case RtAudioError::INVALID_DEVICE:
        return AudioBadDeviceId;
    case RtAudioError::NO_DEVICES_FOUND:
        return AudioNoDriver;
    case RtAudioError::MEMORY_ERROR:
        return AudioNoMemory;
    case RtAudioError::INVALID_PARAMETER:
        return AudioInvalidParameter;
    default:
        break;
    }
    const std::string text = e.getMessage();
    if (Contains(text, "memory")) return AudioNoMemory;
    if (Contains(text, "device ID is invalid") || Contains(text, "device parameter value is invalid"))
        return AudioBadDeviceId;
    if (Contains(text, "server not found")) return AudioNoDriver;
    return fallback;
}

// The devices of one direction, as (RtAudio id, info); the index in this list is the device
// number the looper uses.
std::vector<std::pair<unsigned, RtAudio::DeviceInfo>> ListDevices(RtAudio& rt, bool input) {
    std::vector<std::pair<unsigned, RtAudio::DeviceInfo>> list;
    const unsigned count = rt.getDeviceCount();
    for (unsigned id = 0; id < count; ++id) {
        RtAudio::DeviceInfo info;
        try {
            info = rt.getDeviceInfo(id);
        } catch (const RtAudioError&) {
            continue; // gone since it was counted
        }
        if (!info.probed) continue;
        if ((input ? info.inputChannels : info.outputChannels) == 0) continue;
        list.emplace_back(id, std::move(info));
    }
    return list;
}

AudioDeviceInfo ToInfo(const RtAudio::DeviceInfo& info) {
    AudioDeviceInfo result;
    result.Name = info.name;
    result.InputChannels = static_cast<int>(info.inputChannels);
    result.OutputChannels = static_cast<int>(info.outputChannels);
    for (unsigned rate : info.sampleRates)
        result.SampleRates.push_back(static_cast<int>(rate));
    result.DefaultInput = info.isDefaultInput;
    result.DefaultOutput = info.isDefaultOutput;
    return result;
}

// When a JACK server goes away, libjack calls RtAudio's shutdown handler on its notification
// thread; the handler starts a thread that closes the client, which cancels the notification
// thread asynchronously, and then writes a line to std::cerr. A cancellation that lands in the
// flush std::cerr makes when an insertion ends (its unit buffering) unwinds out of a destructor:
// std::terminate, whose own message then waits forever for the lock on stderr. Without unit
// buffering std::cerr behaves the same (its writes go straight to the unbuffered stderr), and the
// flush happens in std::endl instead, where a cancellation unwinds cleanly.
void KeepJackShutdownFromTerminating() {
    static std::once_flag once;
    std::call_once(once, [] { std::cerr.unsetf(std::ios_base::unitbuf); });
}

// The few libjack calls that find the route the JACK ports take. RtAudio keeps its JACK clients
// to itself and reports the latency of the ports it first connected to; the program's ports may
// be connected elsewhere since. libjack is in the process whenever RtAudio runs on JACK (RtAudio
// links it), so its functions are looked up there rather than linked a second time.
struct JackCalls {
    decltype(&jack_client_open) ClientOpen = nullptr;
    decltype(&jack_client_close) ClientClose = nullptr;
    decltype(&jack_port_by_name) PortByName = nullptr;
    decltype(&jack_port_get_latency_range) LatencyRange = nullptr;
    decltype(&jack_port_connected_to) ConnectedTo = nullptr;
    decltype(&jack_get_buffer_size) BufferSize = nullptr;
    // For a route client that is told of changes instead of looking for them.
    decltype(&jack_on_info_shutdown) OnInfoShutdown = nullptr;
    decltype(&jack_set_port_connect_callback) SetPortConnect = nullptr;
    decltype(&jack_set_graph_order_callback) SetGraphOrder = nullptr;
    decltype(&jack_set_latency_callback) SetLatency = nullptr;
    decltype(&jack_activate) Activate = nullptr;

    bool Usable() const {
        return ClientOpen && ClientClose && PortByName && LatencyRange && ConnectedTo && BufferSize;
    }
    bool Notifies() const { return OnInfoShutdown && SetPortConnect && SetGraphOrder && SetLatency && Activate; }
};

const JackCalls& Jack() {
    static const JackCalls calls = [] {
        JackCalls c;
        const auto find = [](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(RTLD_DEFAULT, name));
        };
        find(c.ClientOpen, "jack_client_open");
        find(c.ClientClose, "jack_client_close");
        find(c.PortByName, "jack_port_by_name");
        find(c.LatencyRange, "jack_port_get_latency_range");
        find(c.ConnectedTo, "jack_port_connected_to");
        find(c.BufferSize, "jack_get_buffer_size");
        find(c.OnInfoShutdown, "jack_on_info_shutdown");
        find(c.SetPortConnect, "jack_set_port_connect_callback");
        find(c.SetGraphOrder, "jack_set_graph_order_callback");
        find(c.SetLatency, "jack_set_latency_callback");
        find(c.Activate, "jack_activate");
        return c;
    }();
    return calls;
}

// How often the monitor looks at the streams: on JACK, where the route client is told of a server
// that goes away and of changed connections, only for a stall, which takes seconds to count; else
// often enough to follow ALSA's changing delay.
constexpr auto kToldInterval = 1000ms;
constexpr auto kLookInterval = 50ms;
// After the server told of a change, the route is read again this much later: latencies are
// recomputed after the connection that changed them is announced.
constexpr auto kRouteSettle = 100ms;

// A stream that delivers nothing for this long while running is taken as lost (an ALSA device
// pulled out, a sound server that hangs).
Clock::duration StallLimit(int period, int rate) {
    const auto periods = std::chrono::microseconds(rate > 0 ? 4LL * period * 1000000 / rate : 0);
    return 2s + periods;
}

} // namespace

int RtAudioDevice::InputThunk(void*, void* input, unsigned frames, double, unsigned status,
                              void* user) noexcept {
    auto* stream = static_cast<Stream*>(user);
    if (stream == nullptr) return 0;
    if (status & RTAUDIO_INPUT_OVERFLOW) stream->Xruns.fetch_add(1, std::memory_order_relaxed);
    try {
        stream->OnInput(static_cast<const int16_t*>(input), static_cast<int>(frames));
    } catch (...) {
        stream->Faulted.store(true, std::memory_order_relaxed);
    }
    stream->Frames.fetch_add(frames, std::memory_order_release);
    return 0;
}

int RtAudioDevice::OutputThunk(void* output, void*, unsigned frames, double, unsigned status,
                               void* user) noexcept {
    auto* stream = static_cast<Stream*>(user);
    auto* samples = static_cast<int16_t*>(output);
    if (stream == nullptr) {
        std::fill_n(samples, 2 * static_cast<size_t>(frames), int16_t{0});
        return 0;
    }
    if (status & RTAUDIO_OUTPUT_UNDERFLOW) stream->Xruns.fetch_add(1, std::memory_order_relaxed);
    try {
        stream->OnOutput(samples, static_cast<int>(frames));
    } catch (...) {
        stream->Faulted.store(true, std::memory_order_relaxed);
        std::fill_n(samples, 2 * static_cast<size_t>(frames), int16_t{0});
    }
    stream->Frames.fetch_add(frames, std::memory_order_release);
    return 0;
}

// Both halves of a JACK duplex stream in one call: the input first, as JACK runs an input client
// before the output client that feeds it, so that the queue sees the same order either way.
int RtAudioDevice::DuplexThunk(void* output, void* input, unsigned frames, double, unsigned status,
                               void* user) noexcept {
    auto* in = static_cast<Stream*>(user);
    auto* samples = static_cast<int16_t*>(output);
    if (in == nullptr || in->Partner == nullptr) {
        std::fill_n(samples, 2 * static_cast<size_t>(frames), int16_t{0});
        return 0;
    }
    Stream* out = in->Partner;
    if (status & RTAUDIO_INPUT_OVERFLOW) in->Xruns.fetch_add(1, std::memory_order_relaxed);
    if (status & RTAUDIO_OUTPUT_UNDERFLOW) out->Xruns.fetch_add(1, std::memory_order_relaxed);
    try {
        in->OnInput(static_cast<const int16_t*>(input), static_cast<int>(frames));
    } catch (...) {
        in->Faulted.store(true, std::memory_order_relaxed);
    }
    in->Frames.fetch_add(frames, std::memory_order_release);
    try {
        out->OnOutput(samples, static_cast<int>(frames));
    } catch (...) {
        out->Faulted.store(true, std::memory_order_relaxed);
        std::fill_n(samples, 2 * static_cast<size_t>(frames), int16_t{0});
    }
    out->Frames.fetch_add(frames, std::memory_order_release);
    return 0;
}

RtAudioDevice::RtAudioDevice(AudioApi api, std::string clientName)
    : api_(api), rtApi_(-1), clientName_(std::move(clientName)) {
    try {
        std::vector<RtAudio::Api> compiled;
        RtAudio::getCompiledApi(compiled);
        if (api != AudioApi::FirstWithDevices) {
            const RtAudio::Api wanted = ToRtApi(api);
            if (std::find(compiled.begin(), compiled.end(), wanted) != compiled.end()) rtApi_ = wanted;
        } else {
            // RtAudio lists JACK, PulseAudio, ALSA in this order; the first with a device wins,
            // else the last one stays.
            for (RtAudio::Api candidate : compiled) {
                if (candidate != RtAudio::UNIX_JACK && candidate != RtAudio::LINUX_PULSE &&
                    candidate != RtAudio::LINUX_ALSA)
                    continue;
                rtApi_ = candidate;
                api_ = FromRtApi(candidate);
                if (MakeRtAudio(candidate)->getDeviceCount() > 0) break;
            }
        }
        if (rtApi_ == RtAudio::UNIX_JACK) KeepJackShutdownFromTerminating();
    } catch (...) {
        // No usable API: every call below answers AudioNoDriver.
    }
}

RtAudioDevice::~RtAudioDevice() {
    Close();
}

std::string RtAudioDevice::ApiName() const {
    if (rtApi_ < 0) return "";
    switch (api_) {
    case AudioApi::Alsa:
        return "ALSA";
    case AudioApi::Pulse:
        return "PulseAudio";
    case AudioApi::Jack:
        return "JACK";
    case AudioApi::FirstWithDevices:
        break;
    }
    return "";
}

std::vector<AudioDeviceInfo> RtAudioDevice::InputDevices() {
    std::vector<AudioDeviceInfo> result;
    if (rtApi_ < 0) return result;
    try {
        auto rt = MakeRtAudio(rtApi_);
        for (const auto& [id, info] : ListDevices(*rt, true))
            result.push_back(ToInfo(info));
    } catch (...) {
        result.clear();
    }
    return result;
}

std::vector<AudioDeviceInfo> RtAudioDevice::OutputDevices() {
    std::vector<AudioDeviceInfo> result;
    if (rtApi_ < 0) return result;
    try {
        auto rt = MakeRtAudio(rtApi_);
        for (const auto& [id, info] : ListDevices(*rt, false))
            result.push_back(ToInfo(info));
    } catch (...) {
        result.clear();
    }
    return result;
}

int RtAudioDevice::QueryInput(int device, const StreamFormat& format) {
    return Open(true, device, format, true, nullptr);
}

int RtAudioDevice::QueryOutput(int device, const StreamFormat& format) {
    return Open(false, device, format, true, nullptr);
}

int RtAudioDevice::OpenInput(int device, const StreamFormat& format, InputCallback callback) {
    if (in_ || started_) return AudioAllocated;
    if (!callback) return AudioInvalidParameter;
    auto stream = std::make_unique<Stream>();
    stream->OnInput = std::move(callback);
    const int result = Open(true, device, format, false, stream.get());
    if (result == AudioOk) {
        in_ = std::move(stream);
        inDevice_ = device;
    }
    return result;
}

int RtAudioDevice::OpenOutput(int device, const StreamFormat& format, OutputCallback callback) {
    if (out_ || started_) return AudioAllocated;
    if (!callback) return AudioInvalidParameter;
    auto stream = std::make_unique<Stream>();
    stream->OnOutput = std::move(callback);
    // JACK runs both directions at the server's rate and period: one client serves them with
    // one wake-up per period instead of two. Should that fail, the output opens on its own.
    if (rtApi_ == RtAudio::UNIX_JACK && in_ && in_->Rt && format.SampleRate == in_->Rate &&
        Open(false, device, format, false, stream.get(), inDevice_) == AudioOk) {
        out_ = std::move(stream);
        return AudioOk;
    }
    const int result = Open(false, device, format, false, stream.get());
    if (result == AudioOk) out_ = std::move(stream);
    return result;
}

std::string RtAudioDevice::JackPortName(bool input, int channel) const {
    const std::string client = duplex_ ? clientName_ : clientName_ + (input ? " in" : " out");
    return client + (input ? ":inport " : ":outport ") + std::to_string(channel);
}

int RtAudioDevice::Open(bool input, int device, const StreamFormat& format, bool trial, Stream* stream,
                        int duplexInput) {
    if (rtApi_ < 0) return AudioNoDriver;
    if (format.Channels != 2) return AudioBadFormat;
    if (format.SampleRate < 1 || format.PeriodFrames < 1) return AudioInvalidParameter;
    try {
        auto rt = MakeRtAudio(rtApi_);
        const auto devices = ListDevices(*rt, input);
        if (devices.empty()) {
            SetDetail(std::string("no ") + (input ? "input" : "output") + " devices");
            return AudioNoDriver;
        }
        if (device < 0 || device >= static_cast<int>(devices.size())) return AudioBadDeviceId;
        // Checked here because RtAudio's JACK part leaves its client behind when it refuses.
        const RtAudio::DeviceInfo& info = devices[device].second;
        if ((input ? info.inputChannels : info.outputChannels) < 2) {
            SetDetail("the device has fewer than two channels");
            return AudioBadFormat;
        }

        RtAudio::StreamParameters parameters;
        parameters.deviceId = devices[device].first;
        parameters.nChannels = 2;
        parameters.firstChannel = 0;
        const bool duplex = !input && !trial && duplexInput >= 0;
        RtAudio::StreamParameters inParameters;
        if (duplex) {
            const auto inputs = ListDevices(*rt, true);
            if (duplexInput >= static_cast<int>(inputs.size())) return AudioBadDeviceId;
            inParameters.deviceId = inputs[duplexInput].first;
            inParameters.nChannels = 2;
            inParameters.firstChannel = 0;
        }
        RtAudio::StreamOptions options;
        options.streamName = clientName_ + (trial ? " query" : duplex ? "" : input ? " in" : " out");
        unsigned frames = static_cast<unsigned>(format.PeriodFrames);
        const auto rate = static_cast<unsigned>(format.SampleRate);
        if (duplex)
            rt->openStream(&parameters, &inParameters, RTAUDIO_SINT16, rate, &frames, &DuplexThunk, in_.get(),
                           &options);
        else
            rt->openStream(input ? nullptr : &parameters, input ? &parameters : nullptr, RTAUDIO_SINT16, rate,
                           &frames, input ? &InputThunk : &OutputThunk, trial ? nullptr : stream, &options);
        if (!rt->isStreamOpen()) return AudioUnspecified;
        // ALSA takes the nearest rate it has without saying so; a different rate is a refusal.
        if (rt->getStreamSampleRate() != rate) {
            SetDetail("the device runs at " + std::to_string(rt->getStreamSampleRate()) + " Hz");
            rt->closeStream();
            return AudioBadFormat;
        }
        if (trial) {
            rt->closeStream();
            return AudioOk;
        }
        stream->Period = static_cast<int>(frames);
        stream->Rate = format.SampleRate;
        if (duplex) {
            // The input's own client goes (it never ran); the duplex stream takes its place.
            try {
                if (in_->Rt->isStreamOpen()) in_->Rt->closeStream();
            } catch (...) {
            }
            in_->Rt = std::move(rt);
            in_->Partner = stream;
            in_->Period = stream->Period;
            duplex_ = true;
            return AudioOk;
        }
        stream->Latency.store(static_cast<int>(rt->getStreamLatency()), std::memory_order_relaxed);
        stream->Rt = std::move(rt);
        return AudioOk;
    } catch (const RtAudioError& e) {
        SetDetail(e.getMessage());
        return MapError(e, AudioBadFormat);
    } catch (const std::bad_alloc&) {
        return AudioNoMemory;
    } catch (...) {
        return AudioUnspecified;
    }
}

void RtAudioDevice::SetErrorCallback(ErrorCallback callback) {
    std::lock_guard lock(errorMutex_);
    errorCallback_ = std::move(callback);
}

int RtAudioDevice::Start() {
    if (lost_.load()) return AudioDeviceLost;
    if (!in_ && !out_) return InvalidHandle; // nothing was opened
    if (started_) return AudioOk;
    for (Stream* stream : {in_.get(), out_.get()}) {
        if (stream == nullptr) continue;
        stream->Frames.store(0);
        stream->Xruns.store(0);
        stream->Faulted.store(false);
    }
    for (Stream* stream : {in_.get(), out_.get()}) {
        if (stream == nullptr || !stream->Rt) continue; // a duplex stream starts once
        int result = AudioOk;
        try {
            stream->Rt->startStream();
            if (!stream->Rt->isStreamRunning()) result = DriverNotEnabled;
        } catch (const RtAudioError& e) {
            SetDetail(e.getMessage());
            result = MapError(e, DriverNotEnabled);
        } catch (...) {
            result = AudioUnspecified;
        }
        if (result != AudioOk) {
            // Leave both streams open and stopped, as before the call.
            for (Stream* other : {in_.get(), out_.get()}) {
                if (other == nullptr || !other->Rt) continue;
                try {
                    if (other->Rt->isStreamRunning()) other->Rt->abortStream();
                } catch (...) {
                }
            }
            return result;
        }
    }
    started_ = true;
    OpenJackRoute();
    {
        std::lock_guard lock(monitorMutex_);
        monitorStop_ = false;
    }
    try {
        monitor_ = std::thread([this] { Monitor(); });
    } catch (...) {
        // Without the monitor a loss is noticed only when the device is closed.
    }
    return AudioOk;
}

void RtAudioDevice::Monitor() {
    struct Watch {
        Stream* S;
        int64_t Frames;
        Clock::time_point Since;
    };
    std::array<Watch, 2> watches{Watch{in_.get(), 0, Clock::now()}, Watch{out_.get(), 0, Clock::now()}};
    bool faultReported = false;
    const auto interval = routeEvents_ ? kToldInterval : kLookInterval;
    std::unique_lock lock(monitorMutex_);
    // The route is read at once and after each change the server tells of, and each time again a
    // moment later, when the latencies have been recomputed.
    auto routeDue = Clock::now();
    int routeReads = 2;
    auto nextLook = Clock::now() + interval;
    while (!monitorStop_) {
        const auto wakeAt = routeReads > 0 ? std::min(nextLook, routeDue) : nextLook;
        monitorWake_.wait_until(lock, wakeAt, [this] {
            return monitorStop_ || routeChanged_ || (serverGone_ && !lost_.load());
        });
        if (monitorStop_) break;
        const auto now = Clock::now();
        if (routeChanged_) {
            routeChanged_ = false;
            routeReads = 2;
            routeDue = now;
        }
        if (lost_.load()) continue;
        if (serverGone_) {
            ReportLoss(AudioDeviceLost, "the JACK server shut the client down");
            continue;
        }
        if (routeReads > 0 && now >= routeDue) {
            UpdateJackRoute();
            --routeReads;
            routeDue = now + kRouteSettle;
        }
        if (now < nextLook) continue;
        nextLook = now + interval;
        for (Watch& watch : watches) {
            Stream* stream = watch.S;
            if (stream == nullptr) continue;
            // The output half of a duplex stream shares the input's RtAudio.
            RtAudio* rt = stream->Rt ? stream->Rt.get() : in_ && in_->Rt ? in_->Rt.get() : nullptr;
            if (rt == nullptr) continue;
            try {
                // RtAudio closes a JACK stream on a thread of its own when the server shuts the
                // client down.
                if (!rt->isStreamOpen()) {
                    ReportLoss(AudioDeviceLost, "the sound server closed the stream");
                    break;
                }
                const int64_t frames = stream->Frames.load(std::memory_order_acquire);
                if (frames != watch.Frames) {
                    watch.Frames = frames;
                    watch.Since = now;
                } else if (now - watch.Since > StallLimit(stream->Period, stream->Rate)) {
                    ReportLoss(AudioDeviceLost, "the stream stopped delivering");
                    break;
                }
                if (!faultReported && stream->Faulted.load(std::memory_order_relaxed)) {
                    faultReported = true;
                    ReportError(AudioUnspecified, "an audio callback failed");
                }
                // ALSA measures its delay as it runs; JACK's is fixed when the stream opens, and
                // touching a JACK stream here could meet RtAudio closing it.
                if (rtApi_ != RtAudio::UNIX_JACK)
                    stream->Latency.store(static_cast<int>(rt->getStreamLatency()), std::memory_order_relaxed);
            } catch (...) {
                // A failed look is tried again on the next round.
            }
        }
        // Without the server's word, the route is read on every look.
        if (!routeEvents_ && !lost_.load()) UpdateJackRoute();
    }
}

void RtAudioDevice::OpenJackRoute() {
    routeEvents_ = false;
    serverGone_ = false;
    routeChanged_ = false;
    if (rtApi_ != RtAudio::UNIX_JACK || jackRoute_ != nullptr || !Jack().Usable()) return;
    const JackCalls& jack = Jack();
    jack_status_t status{};
    auto* client = jack.ClientOpen((clientName_ + " route").c_str(), JackNoStartServer, &status);
    jackRoute_ = client;
    if (client == nullptr || !jack.Notifies()) return;
    // The callbacks run on the client's notification thread: they only wake the monitor. The
    // client has no process callback, so the server does not run it in its cycle.
    jack.OnInfoShutdown(
        client,
        [](jack_status_t, const char*, void* arg) {
            auto* self = static_cast<RtAudioDevice*>(arg);
            {
                std::lock_guard lock(self->monitorMutex_);
                self->serverGone_ = true;
            }
            self->monitorWake_.notify_all();
        },
        this);
    const bool told =
        jack.SetPortConnect(
            client, [](jack_port_id_t, jack_port_id_t, int, void* arg) { static_cast<RtAudioDevice*>(arg)->RouteChanged(); },
            this) == 0 &&
        jack.SetGraphOrder(
            client,
            [](void* arg) {
                static_cast<RtAudioDevice*>(arg)->RouteChanged();
                return 0;
            },
            this) == 0 &&
        jack.SetLatency(
            client, [](jack_latency_callback_mode_t, void* arg) { static_cast<RtAudioDevice*>(arg)->RouteChanged(); },
            this) == 0;
    routeEvents_ = told && jack.Activate(client) == 0;
}

void RtAudioDevice::RouteChanged() {
    {
        std::lock_guard lock(monitorMutex_);
        routeChanged_ = true;
    }
    monitorWake_.notify_all();
}

void RtAudioDevice::UpdateJackRoute() {
    auto* client = static_cast<jack_client_t*>(jackRoute_);
    if (client == nullptr) return;
    const JackCalls& jack = Jack();
    // RtAudio names the clients after the streams and the ports "inport n" / "outport n".
    const std::string outName = JackPortName(false, 0);
    jack_port_t* inPort = in_ ? jack.PortByName(client, JackPortName(true, 0).c_str()) : nullptr;
    jack_port_t* outPort = out_ ? jack.PortByName(client, outName.c_str()) : nullptr;
    // Output fed straight back into the input: the shortest route there is. The duplex callback
    // takes the input before it plays, and RtAudio reads the input ports after the output was
    // written, so what one call plays comes back at the start of the next call's input: nothing
    // beyond what the queue counts (JACK's own figures for a client that feeds itself go round in
    // a circle). Two clients of their own add a cycle: the input's client runs after the output's
    // that feeds it, a cycle behind, and JACK's latencies leave that cycle out.
    const bool selfLoop = inPort != nullptr && outPort != nullptr && jack.ConnectedTo(inPort, outName.c_str()) != 0;
    if (inPort != nullptr) {
        jack_latency_range_t range{0, 0};
        jack.LatencyRange(inPort, JackCaptureLatency, &range);
        int frames = static_cast<int>(range.min);
        if (selfLoop) frames = duplex_ ? 0 : frames + static_cast<int>(jack.BufferSize(client));
        in_->Latency.store(frames, std::memory_order_relaxed);
    }
    if (outPort != nullptr) {
        jack_latency_range_t range{0, 0};
        jack.LatencyRange(outPort, JackPlaybackLatency, &range);
        out_->Latency.store(selfLoop && duplex_ ? 0 : static_cast<int>(range.min), std::memory_order_relaxed);
    }
}

void RtAudioDevice::CloseJackRoute() {
    if (jackRoute_ != nullptr) Jack().ClientClose(static_cast<jack_client_t*>(jackRoute_));
    jackRoute_ = nullptr;
    routeEvents_ = false;
}

void RtAudioDevice::ReportLoss(int code, const char* detail) {
    if (lost_.exchange(true)) return;
    ReportError(code, detail);
}

void RtAudioDevice::ReportError(int code, const char* detail) {
    ErrorCallback callback;
    {
        std::lock_guard lock(errorMutex_);
        callback = errorCallback_;
        detail_ = detail;
    }
    if (callback) callback(code);
}

void RtAudioDevice::StopMonitor() {
    {
        std::lock_guard lock(monitorMutex_);
        monitorStop_ = true;
    }
    monitorWake_.notify_all();
    if (monitor_.joinable()) monitor_.join();
}

void RtAudioDevice::Close() {
    StopMonitor();
    CloseJackRoute();
    if (!CloseStream(in_) && duplex_) {
        // The duplex stream was left to RtAudio's thread: its callback may still play the output.
        (void)out_.release();
    }
    CloseStream(out_);
    duplex_ = false;
    inDevice_ = -1;
    started_ = false;
    lost_.store(false);
}

bool RtAudioDevice::CloseStream(std::unique_ptr<Stream>& stream) {
    if (!stream) return true;
    if (!stream->Rt) {
        // The output half of a duplex stream, closed with the input.
        stream.reset();
        return true;
    }
    RtAudio& rt = *stream->Rt;
    try {
        if (rtApi_ == RtAudio::UNIX_JACK && rt.isStreamRunning()) {
            // When the JACK server goes away, RtAudio closes the stream on a thread of its own;
            // closing it here as well would free it twice. A stream that no longer moves is
            // therefore left to that thread for a while.
            bool gone = lost_.load();
            if (!gone) {
                const int64_t before = stream->Frames.load(std::memory_order_acquire);
                const auto patience = std::max<Clock::duration>(
                    100ms,
                    std::chrono::microseconds(4LL * stream->Period * 1000000 / std::max(1, stream->Rate)));
                const auto until = Clock::now() + patience;
                while (stream->Frames.load(std::memory_order_acquire) == before && Clock::now() < until)
                    std::this_thread::sleep_for(2ms);
                gone = stream->Frames.load(std::memory_order_acquire) == before;
            }
            if (gone) {
                const auto until = Clock::now() + 2s;
                while (rt.isStreamOpen() && Clock::now() < until)
                    std::this_thread::sleep_for(5ms);
                if (rt.isStreamOpen()) {
                    // RtAudio's thread is still at it (or stuck inside libjack): closing or
                    // freeing the stream now could free it twice. It is left to that thread,
                    // with the callback data it may still touch.
                    SetDetail("RtAudio did not finish closing the JACK stream");
                    (void)stream->Rt.release();
                    (void)stream.release();
                    return false;
                }
            }
        }
        if (rt.isStreamOpen()) {
            if (rt.isStreamRunning()) rt.abortStream();
            rt.closeStream();
        }
    } catch (...) {
        // Whatever is left is closed by RtAudio's destructor.
    }
    stream.reset();
    return true;
}

bool RtAudioDevice::IsOpen() const {
    return in_ != nullptr || out_ != nullptr;
}

int64_t RtAudioDevice::InputPosition() const {
    return in_ ? in_->Frames.load(std::memory_order_acquire) : 0;
}

int64_t RtAudioDevice::OutputPosition() const {
    return out_ ? out_->Frames.load(std::memory_order_acquire) : 0;
}

int RtAudioDevice::InputLatencyFrames() const {
    return in_ ? in_->Latency.load(std::memory_order_relaxed) : 0;
}

int RtAudioDevice::OutputLatencyFrames() const {
    return out_ ? out_->Latency.load(std::memory_order_relaxed) : 0;
}

int RtAudioDevice::InputPeriodFrames() const {
    return in_ ? in_->Period : 0;
}

int RtAudioDevice::OutputPeriodFrames() const {
    return out_ ? out_->Period : 0;
}

int64_t RtAudioDevice::InputOverflows() const {
    return in_ ? in_->Xruns.load(std::memory_order_relaxed) : 0;
}

int64_t RtAudioDevice::OutputUnderflows() const {
    return out_ ? out_->Xruns.load(std::memory_order_relaxed) : 0;
}

void RtAudioDevice::SetDetail(std::string detail) {
    std::lock_guard lock(errorMutex_);
    detail_ = std::move(detail);
}

std::string RtAudioDevice::LastErrorDetail() const {
    std::lock_guard lock(errorMutex_);
    return detail_;
}

std::string RtAudioDevice::ErrorText(int code) const {
    // The texts users know from the wave interface.
    static const std::array<const char*, 21> waveTexts{
        "",
        "unspecified error",
        "device ID out of range",
        "driver failed enable",
        "device already allocated",
        "device handle is invalid",
        "no device driver present",
        "memory allocation error",
        "function is not supported",
        "error value out of range",
        "invalid flag passed",
        "invalid parameter passed",
        "handle being used simultaneously on another thread (eg callback)",
        "specified alias not found",
        "bad registry database",
        "registry key not found",
        "registry read error",
        "registry write error",
        "registry delete error",
        "registry value not found",
        "driver does not call DriverCallback",
    };
    if (code >= 1 && code < static_cast<int>(waveTexts.size())) return waveTexts[code];
    if (code == AudioBadFormat) return "unsupported wave format";
    if (code == AudioDeviceLost) return "Audiogerät verloren (Server beendet oder Gerät entfernt)";
    return "";
}

} // namespace kreisel

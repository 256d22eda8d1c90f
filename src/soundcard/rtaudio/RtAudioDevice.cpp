// RtAudio behind the AudioDevice interface. RtAudio 5 reports failures of its calls by throwing
// RtAudioError, so every call into it is wrapped and turned into one of the wave error numbers.
// No RtAudio error callback is installed: with one, RtAudio aborts streams on its own and
// dereferences a missing handle when a closed stream is touched; without one, errors inside its
// audio threads are only warnings, which are switched off here.
#include "soundcard/rtaudio/RtAudioDevice.h"

#include "soundcard/rtaudio/JackDuplex.h"

#include <rtaudio/RtAudio.h>


#include <algorithm>
#include <array>
#include <chrono>
#include <iostream>
#include <mutex>
#include <new>
#include <utility>

namespace kreisel {

struct RtAudioDevice::Stream {
    std::unique_ptr<RtAudio> Rt; // empty for the halves of the JACK duplex client
    InputCallback OnInput;
    OutputCallback OnOutput;
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

// RtAudio keeps its JACK clients to itself and reports the latency of the ports it first connected
// to; the program's ports may be connected elsewhere since. The route is read with the libjack
// calls of JackDuplex.h.

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
    // JACK runs both directions at the server's rate and period: one client of the program's
    // own serves them with one wake-up per period instead of two. Should that fail, the output
    // opens on its own.
    if (rtApi_ == RtAudio::UNIX_JACK && in_ && in_->Rt && format.SampleRate == in_->Rate &&
        OpenDuplex(device, format, stream.get()) == AudioOk) {
        out_ = std::move(stream);
        return AudioOk;
    }
    const int result = Open(false, device, format, false, stream.get());
    if (result == AudioOk) out_ = std::move(stream);
    return result;
}

std::string RtAudioDevice::JackPortName(bool input, int channel) const {
    if (duplex_) return duplex_->PortName(input, channel);
    return clientName_ + (input ? " in:inport " : " out:outport ") + std::to_string(channel);
}

int RtAudioDevice::OpenDuplex(int device, const StreamFormat& format, Stream* out) {
    if (!JackDuplex::Available()) return AudioNoDriver;
    std::string inName;
    std::string outName;
    try {
        auto rt = MakeRtAudio(rtApi_);
        const auto inputs = ListDevices(*rt, true);
        const auto outputs = ListDevices(*rt, false);
        if (inDevice_ < 0 || inDevice_ >= static_cast<int>(inputs.size())) return AudioBadDeviceId;
        if (device < 0 || device >= static_cast<int>(outputs.size())) return AudioBadDeviceId;
        if (outputs[device].second.outputChannels < 2) return AudioBadFormat;
        inName = inputs[inDevice_].second.name;
        outName = outputs[device].second.name;
    } catch (...) {
        return AudioUnspecified;
    }
    Stream* in = in_.get();
    JackDuplex::Callbacks callbacks;
    callbacks.Input = [in](const int16_t* frames, int count) {
        try {
            in->OnInput(frames, count);
        } catch (...) {
            in->Faulted.store(true, std::memory_order_relaxed);
        }
        in->Frames.fetch_add(count, std::memory_order_release);
    };
    callbacks.Output = [out](int16_t* frames, int count) {
        try {
            out->OnOutput(frames, count);
        } catch (...) {
            out->Faulted.store(true, std::memory_order_relaxed);
            std::fill_n(frames, 2 * static_cast<size_t>(count), int16_t{0});
        }
        out->Frames.fetch_add(count, std::memory_order_release);
    };
    // Counted in both directions, as two clients of their own would each count it.
    callbacks.Xrun = [in, out] {
        in->Xruns.fetch_add(1, std::memory_order_relaxed);
        out->Xruns.fetch_add(1, std::memory_order_relaxed);
    };
    callbacks.Shutdown = [this] {
        {
            std::lock_guard lock(monitorMutex_);
            serverGone_ = true;
        }
        monitorWake_.notify_all();
    };
    callbacks.RouteChanged = [this] { RouteChanged(); };
    auto duplex = std::make_unique<JackDuplex>();
    std::string detail;
    const int result = duplex->Open(clientName_, format.SampleRate, std::move(callbacks), &detail);
    if (result != AudioOk) {
        SetDetail(detail);
        return result;
    }
    // The input's RtAudio client goes (it never ran); the duplex client takes its place.
    try {
        if (in->Rt->isStreamOpen()) in->Rt->closeStream();
    } catch (...) {
    }
    in->Rt.reset();
    out->Period = in->Period = duplex->Period();
    out->Rate = format.SampleRate;
    duplexIn_ = inName;
    duplexOut_ = outName;
    duplex_ = std::move(duplex);
    return AudioOk;
}

int RtAudioDevice::Open(bool input, int device, const StreamFormat& format, bool trial, Stream* stream) {
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
        RtAudio::StreamOptions options;
        options.streamName = clientName_ + (trial ? " query" : input ? " in" : " out");
        unsigned frames = static_cast<unsigned>(format.PeriodFrames);
        const auto rate = static_cast<unsigned>(format.SampleRate);
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
    {
        std::lock_guard lock(monitorMutex_);
        serverGone_ = false;
        routeChanged_ = false;
    }
    if (duplex_) {
        std::string detail;
        const int result = duplex_->Start(duplexIn_, duplexOut_, &detail);
        if (result != AudioOk) {
            SetDetail(detail);
            return result;
        }
    }
    for (Stream* stream : {in_.get(), out_.get()}) {
        if (stream == nullptr || !stream->Rt) continue; // the duplex client started above
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
            // The halves of the duplex client have no RtAudio: its shutdown callback tells.
            RtAudio* rt = stream->Rt.get();
            try {
                // RtAudio closes a JACK stream on a thread of its own when the server shuts the
                // client down.
                if (rt != nullptr && !rt->isStreamOpen()) {
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
                if (rtApi_ != RtAudio::UNIX_JACK && rt != nullptr)
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
    // The duplex client is told of changes itself.
    routeEvents_ = duplex_ != nullptr;
    if (duplex_ || rtApi_ != RtAudio::UNIX_JACK || jackRoute_ != nullptr || !Jack().Usable()) return;
    const JackLib& jack = Jack();
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
    auto* client = duplex_ ? duplex_->Client() : static_cast<jack_client_t*>(jackRoute_);
    if (client == nullptr) return;
    const JackLib& jack = Jack();
    // RtAudio names the clients after the streams and the ports "inport n" / "outport n", as the
    // duplex client does.
    const std::string outName = JackPortName(false, 0);
    jack_port_t* inPort = duplex_ ? duplex_->Port(true, 0)
                          : in_   ? jack.PortByName(client, JackPortName(true, 0).c_str())
                                  : nullptr;
    jack_port_t* outPort = duplex_ ? duplex_->Port(false, 0)
                           : out_  ? jack.PortByName(client, outName.c_str())
                                   : nullptr;
    // Output fed straight back into the input: the shortest route there is. The duplex callback
    // takes the input before it plays, and JACK hands a client's input fed from its own output
    // what that output held in the cycle before, so what one call plays comes back at the start
    // of the next call's input: nothing beyond what the queue counts (JACK's own figures for a
    // client that feeds itself go round in a circle). Two clients of their own add a cycle: the input's client runs after the output's
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
    if (duplex_) duplex_->Close(); // no callback runs after this
    duplex_.reset();
    CloseStream(in_);
    CloseStream(out_);
    inDevice_ = -1;
    started_ = false;
    lost_.store(false);
}

bool RtAudioDevice::CloseStream(std::unique_ptr<Stream>& stream) {
    if (!stream) return true;
    if (!stream->Rt) {
        // A half of the duplex client, closed with it.
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

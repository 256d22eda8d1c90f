// The whole looper on the RtAudio device of a private JACK server (dummy driver, real time), its
// output ports wired to its own input ports, the core thread served from the queue's eventfd as
// the application serves it. Shared by the JACK loopback tests.
#pragma once

#include "shell/HeadlessHost.h"
#include "shell/KreiselCore.h"
#include "soundcard/rtaudio/RtAudioDevice.h"
#include "support/JackServer.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace kreisel {

using SteadyClock = std::chrono::steady_clock;

// The rate of the private server and of the looper on it.
inline constexpr int kLoopbackRate = 44100;

// The looper on the RtAudio device of a private JACK server, with its output fed back into its
// input. The card is stopped, the device closed and the server ended however the test leaves.
struct LoopbackLooper {
    JackServer server;
    HeadlessClock clock;
    HeadlessPump pump{clock};
    std::ostringstream shown; // messages and questions; every question takes its default
    HeadlessDialogs dialogs{shown};
    FakeSystemInfo system;
    std::unique_ptr<KreiselCore> core;
    std::unique_ptr<RtAudioDevice> device;

    LoopbackLooper(int period) : server(kLoopbackRate, period) { system.memory = {256ull << 20, 128ull << 20}; }
    ~LoopbackLooper() {
        if (core) {
            core->Card().Stop();
            core->Card().SetDevice(nullptr);
        }
        core.reset();
        device.reset();
        server.Stop();
    }

    // What a loaded machine does to a real-time run, counted since the stream started: cycles
    // the server ran late (RtAudio reports JACK's xruns), an output queue that ran dry, input
    // lost to a full ring or dropped before a full output queue. A figure taken while it moved
    // may be off by what the disturbance skipped.
    int64_t Disturbances() const {
        if (!core || !device) return 0;
        SoundCard& card = core->Card();
        return device->InputOverflows() + device->OutputUnderflows() + card.Queue().Underruns() +
               card.Queue().Overruns() + card.Counters().DroppedInBlocks;
    }

    // Serves the core thread for the given wall-clock time.
    void Serve(SteadyClock::duration time) {
        const auto until = SteadyClock::now() + time;
        while (SteadyClock::now() < until)
            pump.WaitForEvents(20);
    }
};

// The program's output ports into its own input ports.
inline ::testing::AssertionResult WireLoopback(LoopbackLooper& rig) {
    std::string why;
    for (int channel : {0, 1})
        if (!rig.server.Connect(rig.device->JackPortName(false, channel), rig.device->JackPortName(true, channel),
                                &why))
            return ::testing::AssertionFailure() << why;
    return ::testing::AssertionSuccess();
}

inline int SystemDevice(const std::vector<AudioDeviceInfo>& devices) {
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].Name == "system") return static_cast<int>(i);
    return -1;
}

// The last line of the sound card's error list, for failure messages.
inline std::string LastError(KreiselCore& core) {
    const auto& lines = core.SoundCardForm().MemoErrors.Lines();
    return lines.empty() ? std::string() : lines.back();
}

// The core with the input row off (through the loopback it would feed every click back again
// and again), then its sound card started on the private server's own ports with its outputs
// wired to its inputs. `prepare` runs on the core before the card starts.
inline ::testing::AssertionResult StartLooper(LoopbackLooper& rig, int blockFrames,
                                       const std::function<void(KreiselCore&)>& prepare = {}) {
    rig.core = std::make_unique<KreiselCore>(Host{rig.clock, rig.clock, rig.pump, rig.dialogs, rig.system});
    KreiselCore& core = *rig.core;
    rig.pump.Attach(&core.Card());
    core.Main().CBUsePrepareTime.SetChecked(false);
    core.Start();
    if (core.E().Rows[0].LoopOn) core.Loops().MixerRows[0].Play->UserClick();
    if (core.E().Rows[0].LoopOn || core.E().MonitorMode)
        return ::testing::AssertionFailure() << "the input still reaches the output";
    if (prepare) prepare(core);

    if (!rig.device) rig.device = std::make_unique<RtAudioDevice>(AudioApi::Jack, "kreisel-looper");
    const int in = SystemDevice(rig.device->InputDevices());
    const int out = SystemDevice(rig.device->OutputDevices());
    if (in < 0 || out < 0) return ::testing::AssertionFailure() << "no system ports";
    core.Card().SetDevice(rig.device.get());
    core.Card().SetDeviceIds(in, out);
    core.SoundCardForm().SEFreq.SetValue(kLoopbackRate);
    core.SoundCardForm().SEMemBlockFrames.SetValue(blockFrames);
    if (!core.Card().Start()) return ::testing::AssertionFailure() << "start: " << LastError(core);
    return WireLoopback(rig);
}

} // namespace kreisel

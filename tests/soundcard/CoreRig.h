// The wired core with its sound card on the built-in device in lock-step: the test moves the
// device and serves the card as the application's core thread does, and the manual clock moves
// with the audio. Nothing runs in real time.
#pragma once

#include "shell/KreiselCore.h"
#include "soundcard/filedevice/FileDevice.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kreisel::test {

struct CoreRig {
    ManualClock clock;
    ManualEventPump pump{clock, 23};
    ScriptedDialogs dialogs;
    FakeSystemInfo system;
    std::unique_ptr<KreiselCore> core;
    FileDevice device;

    CoreRig() {
        system.memory = {256ull << 20, 128ull << 20};
        core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
        device.SetPacing(FileDevice::Pacing::LockStep);
        device.SetInputTone(441.0, 4000);
        core->Card().SetDevice(&device);
    }
    ~CoreRig() {
        core->Card().Stop();
        core->Card().SetDevice(nullptr);
    }

    Engine& E() { return core->E(); }
    TFormKreisel& M() { return core->Main(); }
    SoundCard& Card() { return core->Card(); }
    int Frames() { return core->E().BlockFrames(); }

    // The core started as the program starts it, without count-in, and its card running.
    void Start() {
        M().CBUsePrepareTime.SetChecked(false);
        core->Start();
        ASSERT_TRUE(Card().Start());
    }
    // Input of `inBlocks` blocks served, then `outBlocks` blocks' worth played: with more
    // played than served, the core thread came late.
    void Cycle(int n = 1, int inBlocks = 1, int outBlocks = 1) {
        for (int i = 0; i < n; ++i) {
            for (int b = 0; b < inBlocks; ++b) {
                device.StepInput(Frames());
                clock.Advance(Frames() * 1000 / std::max(E().SampleRate, 1));
                Card().ServeInput();
            }
            device.StepOutput(outBlocks * Frames());
        }
    }
    bool ErrorListHas(const std::string& piece) const {
        for (const std::string& line : core->SoundCardForm().MemoErrors.Lines())
            if (line.find(piece) != std::string::npos) return true;
        return false;
    }
};

} // namespace kreisel::test

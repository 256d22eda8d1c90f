// A headless stage for whole performances: the wired core with the manual clock, scripted
// dialogs and an event pump that feeds blocks, at 48000 Hz with 480-frame blocks (10 ms each).
#pragma once

#include "shell/KreiselCore.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace kreisel::test {

class Stage : public ::testing::Test {
  protected:
    static constexpr int kRate = 48000;
    static constexpr int kFrames = 480;
    static constexpr int kBlockMs = 10;

    Stage() : pump(clock, kBlockMs) {
        system.memory = {256ull << 20, 128ull << 20};
        core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
        Engine& e = core->E();
        e.SampleRate = kRate;
        e.BlockBytes = kFrames * 4;
        e.InputMode = 0;
        input.assign(2 * kFrames, 0);
        core->OutputSink = [this](const int16_t* frames, int bytes) {
            lastOut.assign(frames, frames + bytes / 2);
        };
        pump.SetFeed([this] { Send(); });
    }

    // Options most scenarios want: no prepare time, no fixed length, no DC correction.
    void StartPlain() {
        M().CBUsePrepareTime.SetChecked(false);
        M().CBUseFixedLoopTime.SetChecked(false);
        M().CBCorrectDCDrift.SetChecked(false);
        M().CBFadeFirstLastBlock.SetChecked(false);
        core->Start();
    }

    void Send() { core->SndInputEvent(input.data(), kFrames * 4); }
    // Blocks of a constant input, 10 ms apart.
    void Blocks(int n, int16_t left = 0, int16_t right = 0) {
        for (int i = 0; i < kFrames; ++i) {
            input[2 * static_cast<size_t>(i)] = left;
            input[2 * static_cast<size_t>(i) + 1] = right;
        }
        for (int b = 0; b < n; ++b) {
            clock.Advance(kBlockMs);
            Send();
        }
    }
    // Silent blocks until `done` holds, at most `most` of them; whether it came to hold.
    bool BlocksUntil(const std::function<bool()>& done, int most = 40) {
        for (int b = 0; b < most && !done(); ++b)
            Blocks(1);
        return done();
    }
    void Press(Control& c) { c.UserClick(); }

    Engine& E() { return core->E(); }
    TFormKreisel& M() { return core->Main(); }
    Transport& T() { return core->T(); }
    const std::vector<std::string>& List() { return M().MemoLoops.Lines(); }
    int16_t OutL(int frame = 0) const { return lastOut[2 * static_cast<size_t>(frame)]; }

    ManualClock clock;
    ManualEventPump pump;
    ScriptedDialogs dialogs;
    FakeSystemInfo system;
    std::unique_ptr<KreiselCore> core;
    std::vector<int16_t> input;
    std::vector<int16_t> lastOut;
};

} // namespace kreisel::test

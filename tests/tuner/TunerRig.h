// The wired core with the manual clock, at 44100 Hz in blocks of 1000 frames, its output fed
// back as the next block's input (a software loopback) or its input taken from a signal.
#pragma once

#include "shell/KreiselCore.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kreisel::test {

class TunerRig : public ::testing::Test {
  protected:
    static constexpr int kRate = 44100;
    static constexpr int kFrames = 1000;

    TunerRig() : pump(clock, 23) {
        system.memory = {256ull << 20, 128ull << 20};
        core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
        core->E().SampleRate = kRate;
        core->E().BlockBytes = kFrames * 4;
        core->OutputSink = [this](const int16_t* frames, int bytes) {
            lastOut.assign(frames, frames + bytes / 2);
        };
        pump.SetFeed([this] { Loopback(); });
        core->Start();
        // The input is not played back: the loop goes out and in once.
        if (core->Loops().MixerRows[0].Play->Down()) core->Loops().MixerRows[0].Play->UserClick();
        EXPECT_FALSE(core->E().Rows[0].LoopOn);
        EXPECT_FALSE(core->E().MonitorMode);
        lastOut.assign(2 * kFrames, 0);
    }

    TunerControls& C() { return core->TunerC(); }

    // The last output block comes back as input.
    void Loopback() {
        std::vector<int16_t> in = lastOut;
        in.resize(2 * kFrames, 0);
        core->SndInputEvent(in.data(), kFrames * 4);
    }
    void LoopbackBlocks(int n) {
        for (int i = 0; i < n; ++i) {
            clock.Advance(23);
            Loopback();
        }
    }
    // A mono signal on both input channels, block by block.
    void Play(const std::vector<int16_t>& mono) {
        std::vector<int16_t> in(2 * kFrames);
        for (size_t at = 0; at + kFrames <= mono.size(); at += kFrames) {
            for (int i = 0; i < kFrames; ++i)
                in[2 * static_cast<size_t>(i)] = in[2 * static_cast<size_t>(i) + 1] =
                    mono[at + static_cast<size_t>(i)];
            clock.Advance(23);
            core->SndInputEvent(in.data(), kFrames * 4);
        }
    }
    void ShowTuner() {
        C().CBShowInputFreq.SetChecked(true);
        C().CBAutoMeasToMemoOnlyOnce.SetChecked(false);
    }

    ManualClock clock;
    ManualEventPump pump;
    ScriptedDialogs dialogs;
    FakeSystemInfo system;
    std::unique_ptr<KreiselCore> core;
    std::vector<int16_t> lastOut;
};

} // namespace kreisel::test

// The sound-card stage of the tests: a real engine, the sound-card window with its card, the
// latency compensation on an options form, and the built-in device in lock-step, wired the way
// the core wires them. Nothing runs in real time: the test moves the device and serves the card.
#pragma once

#include "engine/Latency.h"
#include "forms/TFormThreadSK.h"
#include "soundcard/filedevice/FileDevice.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kreisel::test {

class CardHooks : public EngineHooks {
  public:
    SoundCard* Card = nullptr;
    LatencyCompensation* Latency = nullptr;

    void OutputDriftCorrection() override { Latency->DriftCorrectionDown(); }
    void WriteOutBlock(const int16_t* frames, int bytes) override { Card->WriteOutBlock(frames, bytes); }
    void LatencyBlock(const int16_t* l, int frames) override { Latency->LatencyBlock(l, frames); }
    void LatencyBlockEnd() override { Latency->LatencyBlockEnd(); }
    void RefreshLatencyLabel() override { Latency->RefreshInternalLatency(); }
};

// Gives the card another device for one scope; the old one is back (and the other closed) when
// the scope ends, however the test leaves it.
class DeviceSwap {
  public:
    DeviceSwap(SoundCard& card, AudioDevice& device) : card_(card), old_(card.Device()) {
        card.SetDevice(&device);
    }
    ~DeviceSwap() { card_.SetDevice(old_); }
    DeviceSwap(const DeviceSwap&) = delete;
    DeviceSwap& operator=(const DeviceSwap&) = delete;

  private:
    SoundCard& card_;
    AudioDevice* old_;
};

struct SoundRig {
    ManualClock clock;
    ManualEventPump pump{clock, 23};
    ScriptedDialogs dialogs;
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    TFormThreadSK window{*engine, dialogs, clock, clock, pump};
    Form options{"FormOptions"};
    LatencyControls lc{options};
    int32_t nextClickFrame = 0;
    LatencyMetronome metronome{[this] { return nextClickFrame; }, [] { return 11025; }, {}, {}};
    LatencyCompensation latency{*engine, lc, window.Card(), dialogs, metronome};
    FileDevice device;
    CardHooks hooks;

    SoundRig() {
        device.SetPacing(FileDevice::Pacing::LockStep);
        hooks.Card = &Card();
        hooks.Latency = &latency;
        engine->SetHooks(&hooks);
        engine->Switches.CorrectDCDrift = false;
        Card().SetDevice(&device);
        Card().OnStarted = [this] { latency.AnyOutblocksDelayChange(); };
    }
    ~SoundRig() {
        Card().SetDevice(nullptr);
        engine->SetHooks(nullptr);
    }

    SoundCard& Card() { return window.Card(); }
    BlockQueue& Q() { return Card().Queue(); }
    int Frames() const { return engine->BlockFrames(); }

    void Start() { ASSERT_TRUE(Card().Start()); }
    // One block recorded and served, without playing anything.
    void InBlock(int n = 1) {
        for (int i = 0; i < n; ++i) {
            device.StepInput(Frames());
            Card().ServeInput();
        }
    }
    // One block's time in lock-step: recorded, served, played.
    void Cycle(int n = 1) {
        for (int i = 0; i < n; ++i) {
            device.StepInput(Frames());
            Card().ServeInput();
            device.StepOutput(Frames());
        }
    }
    bool ErrorListHas(const std::string& piece) const {
        for (const std::string& line : window.MemoErrors.Lines())
            if (line.find(piece) != std::string::npos) return true;
        return false;
    }
};

} // namespace kreisel::test

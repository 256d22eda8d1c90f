// Tap tempo: a fixed number of taps, by key or by a loud peak in the input, sets the tempo, and
// one beat after the last tap recording or playback starts.
#pragma once

#include "core/HostServices.h"
#include "engine/Engine.h"
#include "transport/MainControls.h"
#include "transport/Metronome.h"

#include <cstdint>
#include <functional>

namespace kreisel {

class TapTempo {
  public:
    static constexpr int64_t kMinTapIntervalMs = 200;

    TapTempo(Engine& engine, MainControls& controls, Clock& clock, Metronome& metronome);
    TapTempo(const TapTempo&) = delete;
    TapTempo& operator=(const TapTempo&) = delete;

    // The tap buttons (sender SBTap or SBTapOpt) switch counting on or off; the level slider
    // (any other sender) recomputes the threshold. Either way counting starts over.
    void AnyChange_Tap(const Control* sender);
    // "Wiedergabe start." is offered only while "Aufnahme starten" is off; the constructor wires
    // this to the change action of CBTapStartRecord.
    void AnyChange_TapStartOptions();

    // The block's left input peak, while acoustic taps are on.
    void InputPeak(int16_t peakL);
    // The tap key; returns whether the press was taken as a tap.
    bool KeyTap();
    void CountATap();
    // Once per block: fires the start one beat after the last tap.
    void CheckTappedStart();
    // A reset of everything: counting stops and a pending start is dropped.
    void SwitchOff();

    bool TapMode() const { return tapMode_; }
    int TapsToGo() const { return tapsToGo_; }
    bool TappedStartPending() const { return startPending_; }
    int64_t TappedStartTime() const { return startTime_; }
    int Threshold() const { return threshold_; }
    int ReArmLevel() const { return reArmLevel_; }
    int MeanTempo() const { return meanTempo_; }

    // Record and Play as if their buttons were pressed.
    std::function<void()> PressRecord;
    std::function<void()> PressPlay;

  private:
    void ShowSwitches();

    Engine& e_;
    MainControls& c_;
    Clock& clock_;
    Metronome& metronome_;
    bool tapMode_ = false;
    int tapCount_ = 0; // the tap count when counting started
    int tapsToGo_ = 0;
    int64_t firstTapMs_ = 0;
    int64_t lastTapMs_ = 0;
    int threshold_ = 0;
    int reArmLevel_ = 0;
    bool armed_ = false;
    bool startPending_ = false;
    int64_t startTime_ = 0;
    int meanTempo_ = 0;
};

} // namespace kreisel

// The metronome: a beat counted in input frames, so that ticks, loop lengths and the recorded
// audio share one time base. It flashes the beat label, wakes the macros waiting for a tick and
// places the click in the output and, when asked, in the recording.
#pragma once

#include "engine/Engine.h"
#include "transport/MainControls.h"

#include <cstdint>
#include <functional>

namespace kreisel {

class Metronome {
  public:
    static constexpr int kInitialHalfBeatFrames = 22050;
    static constexpr int kClickBaseLevel = 12288;

    Metronome(Engine& engine, MainControls& controls);
    Metronome(const Metronome&) = delete;
    Metronome& operator=(const Metronome&) = delete;

    // The metronome buttons (sender SBMetronom or SBMetronomOpt) switch it on or off; any sender
    // recomputes the tempo-derived values and reports the new tempo.
    void AnyChange_MetronomBPM(const Control* sender);
    // The click level from TBMetroLevel; the constructor wires it to the slider's change action.
    void AnyChange_MetroLevel();
    // "Stop an Loop-Ende" can only be changed while "Stop an Vorlauf-Ende" is off; the
    // constructor wires it to the change action of CBMetroStopAtPrepareTimeEnd.
    void AnyChange_MetroStopOptions();

    // Once per input block, after InputFrameCounter has counted it.
    void HalfBeatStep(int frames);
    // Adds the click to the block's frames while it is pending: to the recorded input (only with
    // "auch aufnehmen", 16-bit wrapping) and to what the block adds to the output. Frame i of
    // the block is input frame InputFrameCounter - frames + i + 1.
    void AddClick(int frames, int16_t* l, int16_t* r, int32_t* monL, int32_t* monR);

    // The next block ticks at once; the beat display starts over.
    void ResyncMetronom();
    void StopMetronom();
    // After a reset of everything the beat grid starts at the current frame count.
    void AlignTickToCounter();

    int Tempo() const;
    int HalfBeatFrames() const { return halfBeatFrames_; }
    int64_t NextTickFrame() const { return nextTickFrame_; }
    int64_t NextClickFrame() const { return nextClickFrame_; }
    int ClickLenFrames() const { return clickLenFrames_; }
    int ClickHalfFrames() const { return clickHalfFrames_; }
    int16_t ClickLevel() const { return clickLevel_; }
    bool RecordClickPending() const { return recordPending_; }
    bool OutputClickPending() const { return outputPending_; }
    bool BeatLabelWhite() const { return labelWhite_; }

    // The prepare time and the loop-length rule follow the tempo.
    std::function<void()> OnTempoChanged;
    // Macros waiting for a metronome tick; called at each tick while the metronome is on.
    std::function<void()> OnTick;
    // The metronome was switched on or its tempo changed while on: the options window may bring
    // its metronome page to the front.
    std::function<void()> OnShowMetronomePage;

  private:
    void ComputeClickLength();
    void SetClickFrameFromTick();
    void ShowBeat(bool white);
    void ShowSwitches();
    // Adds the pulse starting at `start` to the frames [first, first + frames) and reports
    // whether the pulse is over by the block's last frame.
    bool AddPulse(int64_t start, int64_t first, int frames, int16_t* l, int16_t* r, int32_t* monL,
                  int32_t* monR) const;

    Engine& e_;
    MainControls& c_;
    int halfBeatFrames_ = kInitialHalfBeatFrames;
    int64_t nextTickFrame_ = 0;
    int64_t nextClickFrame_ = 0;
    int clickLenFrames_ = 0;
    int clickHalfFrames_ = 0;
    int16_t clickLevel_ = kClickBaseLevel;
    bool recordPending_ = false;
    bool outputPending_ = false;
    bool labelWhite_ = false;
};

} // namespace kreisel

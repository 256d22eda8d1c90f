// Record, play, pause, stop, repeat and punch-in; loop numbers, groups and marks; the length of
// the play cycle. Operations run on the core thread between blocks (or from the block
// processor's loop-end hooks) and only change engine state and controls.
#pragma once

#include "core/HostServices.h"
#include "engine/Engine.h"
#include "transport/LoopRowControls.h"
#include "transport/MainControls.h"

#include <functional>
#include <string>

namespace kreisel {

class Metronome;
class TimedStart;
class TapTempo;

class Transport {
  public:
    Transport(Engine& engine, MainControls& controls, LoopRowControls& rows, Metronome& metronome,
              TimedStart& timedStart, TapTempo& tap, Dialogs& dialogs, SystemInfo& systemInfo);

    // What the transport asks of parts built elsewhere; each may be left empty.
    std::function<void()> PrefillOutputDelay; // fill the output queue up (latency)
    std::function<void()> BeforeResetAll;     // e.g. an export running is finished first
    std::function<void()> ControlsRefreshed;  // after every refresh of the controls
    std::function<void()> ResetOutputMeters;
    std::function<void()> CursorsToLastBlock; // the graph cursors of the active group at a stop
    std::function<bool()> ContinueWaitingMacrosForLoopend; // true: a macro decided
    std::function<bool()> SaveSession;                     // the reset question's OK; false: not saved
    std::function<void(int group, int loop)> TellMixer;
    std::function<void()> ShowRecordingPage; // a recording tool button: the options follow    // active group and recorded loop

    // -- Part of the record: not engine state, but the transport's own.
    int LastRecLoopNr = -1;
    int ActLoopNr = -1;
    bool UnsavedRecordings = false;
    bool StopAtLoopEndFixed = false;
    int MemPercent = 50;
    int64_t MemorySum = 0; // recorded bytes of all loops, as last taken

    // -- Transport operations
    void SBRecordClick(bool byButton);
    void StartA1(bool byButton);
    void DoRecordLoop();
    void SBPlayClick(bool byButton);
    void ButtonPauseClick(const Control* sender);
    void ButtonStopClick();
    void ButtonRepeatLoopClick();
    void SBStopAtLoopEndClick();
    void SBStopAtLoopEndRightClick();
    void ToolContinuousRecordingLoopsClick();
    void AnyChange_PunchClick(const Control* sender);
    void PunchKeyDown();
    void PunchKeyUp();
    void SeekMouseDown(int x, int width);
    void SeekMouseMove(int x, int width);
    void SeekMouseUp();
    void CBPlayAsyncRingModeClick();
    // A sequence key: clicks the record button when the key starts or ends a recording (true),
    // otherwise the press is left to the sequence timing.
    bool SequenceKeyRecords();
    // Any other key cancels a timed start (Shift, Ctrl and Alt alone do not).
    bool OtherKeyDown(int virtualKey);
    void ButtonResetAllClick();
    void ResetAll();
    void UpdateControls();

    // -- Called by the block processor
    void LoopEndWhileRecording();
    void SetPlayLoopEnd();

    // -- Loop numbering, groups and marks
    std::string LoopName(int loop) const;
    int CountLoops(int group) const;
    int PlaceInName(int loop) const;
    bool GroupHasOnlyRecLoop() const;
    // False when no loop number is left for a new group.
    bool OpenNewGroup();
    // Before a recording starts: opens the new group asked for, or refuses the recording.
    bool OpenRequestedGroup();
    void RefuseRecording();
    void SetRecLoopNr(int loop);
    void SetNextToRecLoopNr(int loop);
    void UpdateSBRecordNextAndPlayAll(bool force);
    void SetActGroupIDX(int group);
    void SBGroupClick(const Control* sender);
    void SEFixMaxLoopNrOfGroupChange();
    void ToolLoopBackClick();
    void ToolLoopNextClick();
    void WriteLoopLine(int loop, bool recordingStarts = false);
    void MemoLoopsClick(int line);
    void MemoLoopsDoubleClick(int line);
    void SetSBLoopsFromMarkers(int group);
    void UpdateLoopsInfos();
    void AnyChange_FixMaxLoopNr(bool maxChanged);
    void RecomputeMemorySum();

    // -- Loop-length rule
    void AnyChange_MaxLoopInputSmps(const Control* sender = nullptr);
    void CloseFreeLengthLoop();
    // The sound card lost its device: a free-length take ends where it stands (the next block
    // that comes closes it); a take of a given length ends at that length as always.
    void EndTakeOnDeviceLoss();
    bool StretchToGroupMultiple();
    int FixedLoopValues() const;
    int64_t TotalLoopMemoryBytes();

    // The last block index of the longest loop that may be recorded now.
    int MaxLastBlock() const { return maxLastBlock_; }

  private:
    bool Runs() const { return engine_.Recording || engine_.Playing || engine_.Paused; }
    bool FixedLengthOn() const { return c_.CBUseFixedLoopTime.Checked(); }
    bool FirstLoopRuleOn() const {
        return c_.CBMaxTimeLikeFirstLoop.Enabled() && c_.CBMaxTimeLikeFirstLoop.Checked();
    }
    bool ContinuousOn() const { return c_.CBContinuousRecordingLoops.Checked(); }
    bool CyclicOn() const { return c_.CBReRecordCyclic.Checked(); }
    int MaxLoops() const { return c_.SEFixMaxLoopNr.Value(); }
    int LoopsPerGroup() const { return c_.SEFixMaxLoopNrOfGroup.Value(); }
    bool ValidLoop(int loop) const { return loop >= 1 && loop <= LoopSlotCapacity; }
    int GroupOf(int loop) const {
        return ValidLoop(loop) ? engine_.Slots[static_cast<size_t>(loop)].LoopGroup : -1;
    }
    void SetPlaySwitch(int loop, bool down);
    void SetMarkSwitch(int loop, bool down);
    void UpdateGroupButtons();
    void Seek(int x, int width);

    Engine& engine_;
    MainControls& c_;
    LoopRowControls& rows_;
    Metronome& metronome_;
    TimedStart& timedStart_;
    TapTempo& tap_;
    Dialogs& dialogs_;
    SystemInfo& systemInfo_;
    int savedNextToRecLoopNr_ = 0;
    int maxLastBlock_ = 0;
    bool seeking_ = false;
};

} // namespace kreisel

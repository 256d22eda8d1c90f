// Latency and offset compensation: loops are read ahead of the play position by the output
// delay, the output queue is kept at its target depth (shorter blocks when it grows, silent
// blocks when it runs low), the measured queue latency is shown, and the round trip through
// loudspeaker and microphone can be measured with the metronome click.
#pragma once

#include "core/Control.h"
#include "core/Form.h"
#include "core/HostServices.h"
#include "engine/Engine.h"

#include <cstdint>
#include <functional>

namespace kreisel {

// What the compensation needs of the sound card's output side.
class OutputQueueView {
  public:
    virtual ~OutputQueueView() = default;
    // Output blocks written and not yet played to their end.
    virtual int QueuedOutBlocks() const = 0;
    // Queues a finished output block; false when it could not be queued.
    virtual bool WriteOutBlock(const int16_t* frames, int bytes) = 0;
    // The next written block plays `values` fewer values (capped at half a block); 0 clears it.
    virtual void ShortenNextOutBlock(int values) = 0;
    // Averages of the measured output queue latency.
    virtual double AverageLatencyMs() const = 0;
    virtual double AverageLatencyBlocks() const = 0;
    // What the device buffers itself, input and output together, in frames.
    virtual int DeviceLatencyFrames() const = 0;
    // How long the output queue really delays, in frames from the start of an input block to
    // the start of the output block made from it; -1 while it is not known.
    virtual int64_t QueueDelayFrames() const { return -1; }
};

// The metronome as the acoustic measurement uses it.
struct LatencyMetronome {
    // Input frame at which the next output click is scheduled to start, and the half-beat.
    std::function<int64_t()> NextClickFrame;
    std::function<int()> HalfBeatFrames;
    // Switches the metronome on if it is off, keeps its click out of the recording and sets its
    // level slider to 2.
    std::function<void()> PrepareForMeasurement;
    // Switches the metronome off (through its button operation) if it is on.
    std::function<void()> SwitchOff;
};

// The compensation's controls on the options page. The form that shows them creates them in
// itself. The page's "=> 0" button is the main window's ButtonResetCounters; its handler calls
// LatencyCompensation::ResetKorrCounters.
struct LatencyControls {
    explicit LatencyControls(Form& form);
    LatencyControls(const LatencyControls&) = delete;
    LatencyControls& operator=(const LatencyControls&) = delete;

    Form& Owner;
    Control& LabelAddOffsetCaption;
    Control& SEAddOffsetFrms;
    Control& CBManualAddOffsetFrms;
    Control& CBKorrOutSmps;
    Control& LabelOptOutblocksDelayCaption;
    Control& SEOptOutblocksDelay;
    Control& LabelOffsetmSecCaption;
    Control& LabelOffsetmSec;
    Control& LabelKorrSmpsCaption;
    Control& LabelKorrSmps;
    Control& LabelCalcOutCountCaption;
    Control& Label_Calc_Out_Count;
    Control& LabelOutCountCaption;
    Control& LabelOutCount;
    Control& ButtonCalcLatency;
    Control& LabelLatencyLevelCaption;
    Control& TBLatencyLevel;
    Control& PanelLatencyLevel;
    Control& PanelLatency;
    Control& LabelLatency;
    Control& LabelLatencyCounter;
};

class LatencyCompensation {
  public:
    static constexpr int kDropValuesPerBlock = 200;
    static constexpr int kHoldBlocks = 10;
    // The deepest target queue that works: the sound card drops input while 60 output blocks
    // wait, the drift correction lets the queue grow to one block beyond the target, and one
    // more block of headroom lets the output come late by a block without input being lost.
    static constexpr int kMaxTargetDepth = 58;

    // Wires the handlers of the controls it owns (offset, target depth, manual switch, the
    // measurement's button, label and panel, the sensitivity slider).
    LatencyCompensation(Engine& engine, LatencyControls& controls, OutputQueueView& output, Dialogs& dialogs,
                        LatencyMetronome metronome);
    LatencyCompensation(const LatencyCompensation&) = delete;
    LatencyCompensation& operator=(const LatencyCompensation&) = delete;

    // OffsetSmps from SEAddOffsetFrms, and its time text.
    void AnyChange_OffsetSmps();
    // SEAddOffsetFrms follows the target depth unless it is set by hand; also run when the
    // sound card starts and when CBCorrectDCDrift is clicked.
    void AnyOutblocksDelayChange();

    // When a new output block is begun (the engine's OutputDriftCorrection hook).
    void DriftCorrectionDown();
    // Silent blocks up to the target depth when it is more than `tolerance` blocks short.
    void FillUp(int tolerance);
    // FillUp with the settings' tolerance ("CorrectOutCount_Up_Tolerance").
    void FillUp() { FillUp(UpTolerance); }
    // The sound card has just started: the offset follows, and its empty queue is filled to the
    // target depth, whatever the transport does, so that the first blocks do not run it dry.
    void CardStarted();

    void Update_LabelKorrSmps();
    void ResetKorrCounters();
    // Label_Calc_Out_Count, at the end of every processed block.
    void RefreshInternalLatency();
    // LabelOutCount: the queued output blocks minus the one playing.
    void ShowOutCount();

    // The acoustic measurement.
    void ButtonCalcLatencyClick();
    void LabelLatencyClick();
    bool Measuring() const { return c_.LabelLatency.Visible(); }
    // The levelled left input of a block (the engine's LatencyBlock hook) and its end.
    void LatencyBlock(const int16_t* l, int frames);
    void LatencyBlockEnd();

    int UpTolerance = 1;
    char DecimalSeparator = '.';

    int DropValues() const { return dropValues_; }
    int64_t KorrRemoved() const { return korrRemoved_; }
    int64_t KorrAdded() const { return korrAdded_; }
    int LatencyHoldBlocks() const { return holdBlocks_; }
    int LatencyCount() const { return latencyCount_; }
    int64_t LastPeakFrame() const { return lastPeakFrame_; }

  private:
    void AddSilentBlocks(int count);
    int TargetDepth() const { return c_.SEOptOutblocksDelay.Value(); }

    Engine& e_;
    LatencyControls& c_;
    OutputQueueView& out_;
    Dialogs& dialogs_;
    LatencyMetronome metronome_;
    int dropValues_ = 0;
    int64_t korrRemoved_ = 0;
    int64_t korrAdded_ = 0;
    int holdBlocks_ = 0;
    int latencyCount_ = 0;
    int64_t lastPeakFrame_ = 0;
    int shownMs_ = -1;
    int shownTenthBlocks_ = -1;
    int shownRate_ = 0;
};

} // namespace kreisel

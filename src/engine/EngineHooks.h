// What the block processor calls in the parts of the looper around it: transport, metronome,
// tone generator, tuner, meters and graphs, the device, macros, export. Every hook does nothing
// by default, so the engine runs on its own and each subsystem plugs in without touching the
// block loop. Hooks run on the core thread inside a block; they must not allocate or block
// when they are called per frame.
#pragma once

#include <cstdint>

namespace kreisel {

class EngineHooks {
  public:
    virtual ~EngineHooks() = default;

    // -- block start
    virtual void InputBytesReceived(int64_t /*totalBytes*/) {}
    virtual void MetronomeStep(int /*frames*/) {}
    // The cycle end while not recording, and when no loop sounds any more.
    virtual void SetPlayLoopEnd() {}
    virtual void LoopEndWhileRecording() {}
    // The output queue's drift correction, run when a new output block is begun (not while exporting).
    virtual void OutputDriftCorrection() {}
    virtual void ShowCountDown(int /*valuesLeft*/) {}

    // -- output assembly, at the frame whose read position wraps to the cycle start
    // Makes `group` the active group (ActGroupIdx and whatever follows from it).
    virtual void ActivateGroup(int /*group*/) {}
    // The play switches of the active group were released for a new group.
    virtual void LoopSwitchesChanged() {}
    virtual void SetSBLoopsFromMarkers() {}
    virtual bool MacrosRunning() { return false; }
    virtual bool ContinueWaitingMacrosForLoopend() { return false; }
    virtual void ButtonStopClick() {}
    virtual void ExportSwitchFollowsMarker(bool /*down*/) {}
    // LowerOutputLevel took a new value (its displays follow).
    virtual void LowerOutputLevelChanged() {}
    // Play cursors of the loop graphs (only while graphs are shown).
    virtual void MoveLoopCursor(int /*loop*/, int /*point*/, bool /*marked*/) {}
    virtual void MoveGroupCursors(int /*group*/, int /*point*/) {}
    virtual void ExportBlock(const int16_t* /*frames*/, int /*bytes*/) {}

    // -- the block's frames, called only while the feature is on. Arrays are indexed by the
    // frame in the block (0-based); InputFrameCounter already counts this block, so frame i is
    // input frame InputFrameCounter - frames + i + 1.
    // Adds the metronome click to the recorded input (l, r, 16-bit wrapping) and to what the
    // block adds to the output (monL, monR).
    virtual void MetronomeBlock(int /*frames*/, int16_t* /*l*/, int16_t* /*r*/, int32_t* /*monL*/,
                                int32_t* /*monR*/) {}
    virtual int16_t GeneratorWave(int /*phase*/) { return 0; }
    // The levelled left input, for the tuner and for the acoustic latency measurement.
    virtual void TunerBlock(const int16_t* /*l*/, int /*frames*/) {}
    virtual void LatencyBlock(const int16_t* /*l*/, int /*frames*/) {}

    // -- block end
    virtual void TunerAutoSettings() {}
    // After the block, outside the block processor: the tuner's spectra and results of the block.
    virtual void TunerResults() {}
    virtual void LatencyBlockEnd() {}
    virtual void TapInput(int16_t /*peakL*/) {}
    virtual void InputMeters(int16_t /*peakL*/, int16_t /*peakR*/) {}
    virtual void OutputMeters(int32_t /*peakL*/, int32_t /*peakR*/) {}
    virtual void PaintRecordGraph(int /*loop*/, int /*point*/, int16_t /*peakL*/, int16_t /*peakR*/) {}
    // The finished output block, exactly one per processed input block.
    virtual void WriteOutBlock(const int16_t* /*frames*/, int /*bytes*/) {}
    virtual void PositionChanged() {}
    virtual void ShowDCOffset(int32_t /*l*/, int32_t /*r*/) {}
    virtual void CountersChanged(int /*bytes*/) {}
    virtual void PortActions() {}
    virtual void ContinueWaitingMacros() {}
    virtual void StepScroll() {}
    virtual void RefreshLatencyLabel() {}
    virtual void TappedStart() {}
};

} // namespace kreisel

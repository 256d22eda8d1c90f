// A headless stage for the engine: owns it, feeds input blocks from generated signals, keeps
// every output block and records which hooks ran, so tests read like a performance.
#pragma once

#include "engine/Engine.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kreisel::test {

// Hooks that log what the block processor asked for and do the minimum the transport would:
// the cycle end puts the play position back to the start, a group switch switches the rows.
class LoggingHooks : public EngineHooks {
  public:
    explicit LoggingHooks(Engine& engine) : engine_(engine) {}

    std::vector<std::string> Log;
    std::vector<std::pair<int, int>> Cursors; // group, point
    std::vector<std::vector<int16_t>> Written;
    bool KeepWritten = true;
    bool MacrosAreRunning = false;
    bool MacroStopsTransport = false;
    std::function<int16_t(int)> Wave;

    void SetPlayLoopEnd() override {
        Log.push_back("SetPlayLoopEnd@" + std::to_string(engine_.PlayPos));
        engine_.PlayPos = 0;
    }
    void LoopEndWhileRecording() override { Log.push_back("LoopEndWhileRecording"); }
    // The new group's loops sound, the others not.
    void ActivateGroup(int group) override {
        Log.push_back("ActivateGroup " + std::to_string(group));
        for (int m = 1; m <= std::min(engine_.LoopCount, LoopSlotCapacity); ++m)
            engine_.Rows[static_cast<size_t>(m)].LoopOn = engine_.Slots[static_cast<size_t>(m)].LoopGroup == group;
    }
    void LoopSwitchesChanged() override { Log.push_back("LoopSwitchesChanged"); }
    void MoveGroupCursors(int group, int point) override { Cursors.emplace_back(group, point); }
    void SetSBLoopsFromMarkers() override { Log.push_back("SetSBLoopsFromMarkers"); }
    bool MacrosRunning() override { return MacrosAreRunning; }
    bool ContinueWaitingMacrosForLoopend() override {
        Log.push_back("ContinueWaitingMacrosForLoopend");
        if (MacroStopsTransport) engine_.Playing = false;
        return true;
    }
    void ButtonStopClick() override {
        Log.push_back("ButtonStopClick");
        engine_.Playing = false;
    }
    int16_t GeneratorWave(int phase) override { return Wave ? Wave(phase) : 0; }
    void WriteOutBlock(const int16_t* frames, int bytes) override {
        if (KeepWritten) Written.emplace_back(frames, frames + bytes / 2);
    }

  private:
    Engine& engine_;
};

class EngineHarness {
  public:
    explicit EngineHarness(int sampleRate = 44100, int blockFrames = 1000);

    Engine& E() { return *engine_; }
    LoggingHooks& Hooks() { return *hooks_; }
    const LoggingHooks& Hooks() const { return *hooks_; }

    // One block of the input signal: sample(frameIndex, channel) for the block's frames.
    void Feed(const std::function<int16_t(int64_t, int)>& sample);
    void FeedConstant(int16_t left, int16_t right, int blocks = 1);
    void FeedSilence(int blocks = 1) { FeedConstant(0, 0, blocks); }
    const std::vector<int16_t>& LastOut() const { return hooks_->Written.back(); }

    // Puts a loop into a slot directly, as a finished recording: values are stored values
    // (interleaved in stereo).
    void PlaceLoop(int slot, int group, const std::vector<int16_t>& values, bool on = true);
    std::vector<int16_t> LoopValues(int slot);

    int BlockFrames() const { return blockFrames_; }
    int64_t FramesFed() const { return framesFed_; }

  private:
    std::unique_ptr<Engine> engine_;
    std::unique_ptr<LoggingHooks> hooks_;
    int blockFrames_;
    int64_t framesFed_ = 0;
    std::vector<int16_t> input_;
};

// The output assembly read frame by frame, position by position, exactly in the order the
// looper's rules give; the run-based mix must match it value for value.
void ReferenceCreateOutLoopSegs(Engine& e);
// The cycle end at a block's start, read the same way.
void ReferenceLoopEndAtBlockStart(Engine& e);

} // namespace kreisel::test

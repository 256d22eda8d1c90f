// The engine record and the block processor: one input block in, exactly one output block out.
// All engine state is plain data on the core thread; transport, mixer and macros change it
// between blocks, the block processor acts on it at the next block.
#pragma once

#include "engine/EngineHooks.h"
#include "engine/LoopBuffer.h"

#include <array>
#include <cstdint>
#include <vector>

namespace kreisel {

constexpr int LoopSlotCapacity = 32;
// Every group holds at least one loop: groups 0..31.
constexpr int kMaxGroupIdx = LoopSlotCapacity - 1;
constexpr int kMaxBlockBytes = 40000;
constexpr int kMaxBlockFrames = kMaxBlockBytes / 4;
constexpr int kDCRingSize = 89;
constexpr int kGraphPoints = 16385;
constexpr int32_t kPlayLoopEndNone = 2147483647;
// Byte positions and loop lengths are 32-bit; a loop may hold at most this much so that every
// position of the play cycle, plus the offset and a block, stays inside that range.
constexpr int64_t kMaxLoopBytesCap = int64_t{1} << 30;

struct LoopSlot {
    LoopBuffer Buffer;
    int32_t LoopLenBytes = 0;
    int32_t LoopGroup = -1;
    int32_t LoopPosInGroup = -1;
    int32_t AsyncPos = 0;
    int32_t LoopLastBlock = -1;
    // One peak byte per block and stored channel for the loop graph.
    std::array<std::array<uint8_t, kGraphPoints>, 2> GraphPeaks{};
};

// A row of the loop mixer; row 0 is the live input.
struct MixerRow {
    bool LoopOn = false;
    int32_t LoopLevelL = 0;
    int32_t LoopLevelR = 0;
    int32_t LoopLL = 0;
    int32_t LoopLR = 0;
    int32_t LoopRL = 0;
    int32_t LoopRR = 0;
};

// Controls of the windows that the block processor reads; the windows keep them in step.
struct EngineSwitches {
    bool CorrectDCDrift = true;            // CBCorrectDCDrift
    bool InMute = false;                   // ToolInMute
    bool OutMute = false;                  // ToolOutMute
    bool FadeFirstLastBlock = true;        // CBFadeFirstLastBlock
    bool PunchMixMode = false;             // CBPunchMixMode
    bool PunchMixReFadeAll = false;        // CBPunchMixReFadeAll
    bool StopAtLoopEnd = false;            // SBStopAtLoopEnd down
    bool ContinuousRecordingLoops = false; // ToolContinuousRecordingLoops down
    bool DoExport = false;                 // SBDoExport down
    bool DoExportMarker = false;           // SBDoExportMarker down
    bool ExportPanelVisible = false;
    bool AddSigsOutLevelCtrl = false; // settings key "DoAddSigsOutLevelCtrl"
    bool UseLowerOutput = false;      // CBUseLowerOutput
    int LowerOutputPerLoop = 0;       // TBLowerOutputPerLoop position
    bool GeneratorOn = false;
    bool GeneratorRecord = false; // CBGeneratorRecord
    int GeneratorLevel = 0;       // level units of TBGenerLevel
    bool TunerFeed = false;       // CBShowInputFreq checked and SBIFMeasPause up
    bool TapCtrlInput = false;    // CBTapCtrlInput
    bool GraphsShown = false;
    bool LatencyMeasuring = false; // LabelLatency visible
};

struct EngineState {
    // Format
    int SampleRate = 44100;
    int BlockBytes = 4000;
    int InputMode = 0;

    // Store
    std::array<LoopSlot, LoopSlotCapacity + 1> Slots{}; // index 0 unused
    std::array<MixerRow, LoopSlotCapacity + 1> Rows{};
    int MaxLoopCount = 32;
    int64_t MaxLoopBytes = 0;

    // Groups: GroupFirstLoop covers group indices -1..32.
    std::array<int32_t, LoopSlotCapacity + 2> GroupFirstLoopTable{};
    std::array<int32_t, LoopSlotCapacity + 2> GroupFixMaxLoopNrTable{};
    int LastGroupIdx = -1;
    int ActGroupIdx = -1;
    int ToGroupIdx = 0;

    // Transport
    bool Recording = false;
    bool Playing = false;
    bool Paused = false;
    bool PunchOn = false;
    bool PunchActive = false;
    bool PunchFadeIn = false;
    bool PunchFadeOut = false;
    bool MonitorMode = false;
    bool PlayThisBlock = false;
    bool RecordArmed = false;
    bool RecordNextToo = false;
    bool FreeLengthRecording = false;
    bool FirstPassAfterStart = false;
    bool MuteNextRecLoop = false;
    bool MetroOn = false;
    int RecLoopNr = -1;
    int NextToRecLoopNr = 0;
    int LoopCount = 0;
    int32_t PlayPos = 0;
    int32_t PlayLoopEnd = kPlayLoopEndNone;
    int32_t OffsetSmps = 0;
    bool InPrcBlock = false;
    // 64-bit: at 96 kHz a 32-bit frame count runs out after six hours.
    int64_t BlockCounter = 0;
    int64_t InputFrameCounter = 0;
    int64_t InputBytesTotal = 0;
    bool OutBlockMade = false;
    bool AllowMultipleLoopLength = false;
    bool PlayAsyncRingMode = false;
    bool OutputFadeIn = false;
    bool LoopTailFadePending = false;

    // Levels
    int32_t InputLevel = 0, InputLevelL = 0, InputLevelR = 0;
    int32_t OutputLevel = 0, OutputLevelL = 0, OutputLevelR = 0;
    int32_t LowerOutputLevel = 0;
    int16_t InPeakL = 0, InPeakR = 0;
    int32_t OutPeakL = 0, OutPeakR = 0;

    // Graph cursors
    int CursorGroup = -99;
    int32_t CursorOffset = 0;

    // DC drift correction
    int32_t DCSumL = 0, DCSumR = 0;
    std::array<int32_t, kDCRingSize> DCRingL{}, DCRingR{};
    int DCRingIdx = 0;
    int32_t DCOffsetL = 0, DCOffsetR = 0;

    // Fades: index 1..frames per block
    int FadeLen = 441;
    std::array<double, kMaxBlockFrames + 1> FadeInTable{}, FadeOutTable{};

    // Tone generator
    int GenPhase = 0;
    int GenPeriod = 100;
    int16_t GenSample = 0;

    EngineSwitches Switches;

    bool StereoStore() const { return InputMode == 0; }
    int ChannelCount() const { return StereoStore() ? 2 : 1; }
    int BlockValues() const { return BlockBytes / 2; }
    int BlockFrames() const { return BlockBytes / 4; }
    int BlockStoredValues() const { return StereoStore() ? BlockValues() : BlockValues() / 2; }
    // The group tables cover groups -1..32; a group outside reads as none (no first loop, no
    // loops allowed) and what is written to it goes nowhere.
    int32_t& GroupFirstLoop(int group) { return GroupEntry(GroupFirstLoopTable, group, -1); }
    int32_t GroupFirstLoop(int group) const { return InGroupTables(group) ? GroupFirstLoopTable[GroupSlot(group)] : -1; }
    int32_t& GroupFixMaxLoopNr(int group) { return GroupEntry(GroupFixMaxLoopNrTable, group, 0); }
    int32_t GroupFixMaxLoopNr(int group) const {
        return InGroupTables(group) ? GroupFixMaxLoopNrTable[GroupSlot(group)] : 0;
    }

  private:
    static constexpr int kGroupTableSize = LoopSlotCapacity + 2;
    static bool InGroupTables(int group) { return group >= -1 && group + 1 < kGroupTableSize; }
    static size_t GroupSlot(int group) { return static_cast<size_t>(group + 1); }
    int32_t& GroupEntry(std::array<int32_t, kGroupTableSize>& table, int group, int32_t none) {
        if (InGroupTables(group)) return table[GroupSlot(group)];
        groupSink_ = none;
        return groupSink_;
    }
    int32_t groupSink_ = 0;
};

class Engine : public EngineState {
  public:
    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void SetHooks(EngineHooks* hooks) { hooks_ = hooks != nullptr ? hooks : &noHooks_; }
    EngineHooks& Hooks() { return *hooks_; }

    // The sound card's filled input block (stereo 16-bit frames).
    void SndInputEvent(const int16_t* buffer, int bytes);
    void DoPrcBlock(const int16_t* buffer, int bytes);

    // Output assembly.
    void Create_OutLoopSegs();
    void Create_OutEmptyBlock();
    void AddInSmpLRToOutBlock(int byteOffset, int32_t left, int32_t right);
    void Finish_OutBlock();
    void AnyChange_LowerOutput();
    // Starts a new, silent output block of BlockValues / 2 frames and returns its frame count.
    int BeginOutBlock();
    const int16_t* OutBlock() const { return outBlock_.data(); }
    int16_t* MutableOutBlock() { return outBlock_.data(); }
    int OutBlockBytes() const { return outBlockBytes_; }

    // Fade tables for the current block size and FadeLen; run at every reset and when the
    // fade slider moves.
    void BuildFadeTables();
    void SetFadeLen(int frames);

    int GroupLength(int group) const;
    void ResetStore();
    // Sizes the buffers of slots 1..fixMaxLoopNr to share `budgetBytes`; the share is capped so
    // that positions stay 32-bit. Not for the block path. Returns false when memory is short.
    bool SizeLoopBuffers(int64_t budgetBytes, int fixMaxLoopNr);
    void SetAsyncRingMode(bool on);

    // Fades out the last block of a finished loop.
    void FadeLoopTail(int loop);

    // The end of the play cycle at a block's start, before its output is assembled.
    void LoopEndAtBlockStart();
    // Events at the frame whose read position is the cycle start; false when the assembly ends.
    bool HandleCycleStart(bool subtracted);

  private:
    template <typename Acc>
    void MixLoops(int64_t q, int f, int g, bool atEnd, Acc* sumL, Acc* sumR, int& soundUntil);
    template <typename Acc> void StoreOutputFrames(int f, int g, const Acc* sumL, const Acc* sumR);
    bool SumsMayOverflow() const;
    void WrapGroups();
    void ProcessInputFrames(const int16_t* buffer, int frames, bool rec, bool punch, bool firstRecBlock,
                            bool lastRecBlock, LoopSlot* target);

    EngineHooks noHooks_;
    EngineHooks* hooks_ = &noHooks_;
    std::array<int16_t, kMaxBlockBytes / 2 + 2> outBlock_{};
    int outBlockBytes_ = 0;
    // Per-segment sums of the loops: left from index 0, right from kMaxBlockFrames.
    std::vector<int32_t> sum32_;
    std::vector<int64_t> sum64_;
    // The block's input frames and what they add to the output, one value per frame.
    std::vector<int16_t> frameL_, frameR_;
    std::vector<int32_t> monL_, monR_;
};

} // namespace kreisel

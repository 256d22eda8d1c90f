// The block processor and the output assembly.
#include "engine/Engine.h"

#include "engine/FramePasses.h"

#include "engine/Gain.h"
#include "engine/LoopMix.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kreisel {

namespace {

inline int16_t Wrap16(int32_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(v));
}

inline int16_t RoundFactor(int32_t v, double factor) {
    return static_cast<int16_t>(std::nearbyint(static_cast<double>(v) * factor));
}

// ApplyGainSat with the factor looked up once per block.
struct SatLevel {
    int Level = 0;
    int32_t Factor = 65536;
    explicit SatLevel(int level) : Level(level), Factor(GainFactor(level)) {}
    int16_t operator()(int64_t v) const {
        if (v > INT32_MAX) v = INT32_MAX;
        if (v < INT32_MIN) v = INT32_MIN;
        if (Level == 0) return Clamp16(v);
        return Clamp16(ScaleByFactor(v, Factor));
    }
};

// Frames j >= 0 for which first + j * stride < limit.
inline int64_t FramesBelow(int64_t first, int64_t limit, int stride) {
    if (first >= limit) return 0;
    return (limit - first + stride - 1) / stride;
}

} // namespace

Engine::Engine()
    : sum32_(2 * kMaxBlockFrames + 8, 0), sum64_(2 * kMaxBlockFrames + 8, 0), frameL_(kMaxBlockFrames),
      frameR_(kMaxBlockFrames), monL_(kMaxBlockFrames), monR_(kMaxBlockFrames) {
    GroupFirstLoopTable.fill(-1);
    GroupFixMaxLoopNrTable.fill(0);
    BuildFadeTables();
}

Engine::~Engine() = default;

// ---------------------------------------------------------------------------------------------
// Store

int Engine::GroupLength(int group) const {
    int32_t longest = 0;
    for (int m = 1; m <= std::min(LoopCount, LoopSlotCapacity); ++m) {
        const LoopSlot& s = Slots[static_cast<size_t>(m)];
        if (s.LoopGroup == group) longest = std::max(longest, s.LoopLenBytes / 2);
    }
    return longest;
}

void Engine::ResetStore() {
    for (int m = 1; m <= LoopSlotCapacity; ++m) {
        LoopSlot& s = Slots[static_cast<size_t>(m)];
        s.LoopGroup = -1;
        s.LoopPosInGroup = -1;
        s.Buffer.Release();
        s.LoopLenBytes = 0;
        s.AsyncPos = 0;
    }
    GroupFirstLoopTable.fill(-1);
    LastGroupIdx = -1;
    ActGroupIdx = -1;
    for (int m = 0; m <= std::min(MaxLoopCount, LoopSlotCapacity); ++m) {
        LoopSlot& s = Slots[static_cast<size_t>(m)];
        s.LoopLastBlock = -1;
        for (auto& peaks : s.GraphPeaks)
            peaks.fill(0);
    }
    LoopCount = 0;
    RecLoopNr = -1;
    NextToRecLoopNr = 0;
    PlayPos = 0;
    for (int m = 1; m <= std::min(MaxLoopCount, LoopSlotCapacity); ++m)
        Rows[static_cast<size_t>(m)].LoopOn = false;
}

bool Engine::SizeLoopBuffers(int64_t budgetBytes, int fixMaxLoopNr) {
    fixMaxLoopNr = std::clamp(fixMaxLoopNr, 1, LoopSlotCapacity);
    int64_t share = std::max<int64_t>(budgetBytes, 0) / fixMaxLoopNr;
    share = std::min(share, kMaxLoopBytesCap);
    // Whole stereo frames, so that a loop never ends inside a frame.
    share -= share % 4;
    MaxLoopBytes = share;
    bool ok = true;
    for (int m = 1; m <= fixMaxLoopNr; ++m) {
        LoopSlot& s = Slots[static_cast<size_t>(m)];
        // A smaller share never cuts a loop: its slot keeps room for all of it (a loaded loop
        // may be longer than the share).
        const auto keep = static_cast<size_t>(std::max(s.LoopLenBytes, 0));
        if (!s.Buffer.Reserve(std::max(static_cast<size_t>(share), keep), keep)) {
            ok = false;
            s.LoopLenBytes = 0;
        }
    }
    return ok;
}

void Engine::SetAsyncRingMode(bool on) {
    if (on && !PlayAsyncRingMode) {
        const int64_t pos = 2 * (int64_t{PlayPos} + OffsetSmps);
        for (int m = 1; m <= LoopSlotCapacity; ++m)
            Slots[static_cast<size_t>(m)].AsyncPos =
                static_cast<int32_t>(std::clamp<int64_t>(pos, 0, INT32_MAX));
    }
    PlayAsyncRingMode = on;
}

// ---------------------------------------------------------------------------------------------
// Fades

void Engine::SetFadeLen(int frames) {
    FadeLen = std::max(frames, 0);
    BuildFadeTables();
}

void Engine::BuildFadeTables() {
    const int m = std::clamp(BlockFrames(), 0, kMaxBlockFrames);
    const int n = FadeLen;
    if (n > m) return;
    for (int i = 1; i <= m; ++i) {
        FadeInTable[static_cast<size_t>(i)] = 1.0;
        FadeOutTable[static_cast<size_t>(i)] = 1.0;
    }
    for (int i = 1; i <= n; ++i) {
        const double factor = static_cast<double>(i - 1) / n;
        FadeInTable[static_cast<size_t>(i)] = factor;
        FadeOutTable[static_cast<size_t>(m - i + 1)] = factor;
    }
}

void Engine::FadeLoopTail(int loop) {
    if (loop < 1 || loop > LoopSlotCapacity) return;
    LoopSlot& s = Slots[static_cast<size_t>(loop)];
    const int frames = std::clamp(BlockFrames(), 0, kMaxBlockFrames);
    const int bytesPerFrame = 2 * ChannelCount();
    int64_t start = int64_t{s.LoopLenBytes} - int64_t{frames} * bytesPerFrame;
    start = std::min(start, static_cast<int64_t>(s.Buffer.Capacity()) - int64_t{frames} * bytesPerFrame);
    if (start < 0) return;
    const size_t saved = s.Buffer.Position();
    for (int j = 1; j <= frames; ++j) {
        const double factor = FadeOutTable[static_cast<size_t>(j)];
        if (factor == 1.0) continue;
        const auto at = static_cast<size_t>(start + int64_t{j - 1} * bytesPerFrame);
        for (int c = 0; c < ChannelCount(); ++c) {
            s.Buffer.Seek(at + 2 * static_cast<size_t>(c));
            const int16_t v = s.Buffer.ReadValue();
            s.Buffer.Seek(at + 2 * static_cast<size_t>(c));
            s.Buffer.WriteValue(RoundFactor(v, factor));
        }
    }
    s.Buffer.Seek(saved);
}

// ---------------------------------------------------------------------------------------------
// Output blocks

int Engine::BeginOutBlock() {
    OutBlockMade = true;
    const int frames = std::clamp(BlockValues() / 2, 0, kMaxBlockFrames);
    outBlockBytes_ = frames * 4;
    std::memset(outBlock_.data(), 0, static_cast<size_t>(outBlockBytes_));
    return frames;
}

void Engine::Create_OutEmptyBlock() {
    if (!Switches.DoExport) hooks_->OutputDriftCorrection();
    BeginOutBlock();
}

void Engine::AddInSmpLRToOutBlock(int byteOffset, int32_t left, int32_t right) {
    if (!OutBlockMade || byteOffset < 0 || byteOffset + 4 > outBlockBytes_) return;
    if (Switches.AddSigsOutLevelCtrl) {
        left = ApplyGainSat(left, OutputLevel + OutputLevelL);
        right = ApplyGainSat(right, OutputLevel + OutputLevelR);
    }
    int16_t* frame = outBlock_.data() + byteOffset / 2;
    frame[0] = Clamp16(int64_t{frame[0]} + left);
    frame[1] = Clamp16(int64_t{frame[1]} + right);
}

void Engine::Finish_OutBlock() {
    hooks_->OutputMeters(OutPeakL, OutPeakR);
}

void Engine::AnyChange_LowerOutput() {
    const int32_t before = LowerOutputLevel;
    LowerOutputLevel = 0;
    if (Switches.UseLowerOutput) {
        int c = 0;
        for (int m = 0; m <= std::min(LoopCount, LoopSlotCapacity); ++m)
            if (Rows[static_cast<size_t>(m)].LoopOn) ++c;
        if (Recording && c >= 1) --c;
        LowerOutputLevel = static_cast<int32_t>(std::nearbyint(Switches.LowerOutputPerLoop * c / 2.0));
    }
    if (LowerOutputLevel != before) hooks_->LowerOutputLevelChanged();
}

// The group rule of a wrap of the read position to the cycle start.
void Engine::WrapGroups() {
    if (ToGroupIdx != ActGroupIdx && ToGroupIdx <= LastGroupIdx) {
        // The new group starts with the distance to its end that the old group had left.
        CursorGroup = ActGroupIdx;
        const int32_t distance = PlayLoopEnd - PlayPos;
        const int32_t old = PlayPos;
        ActGroupIdx = ToGroupIdx;
        hooks_->ActivateGroup(ToGroupIdx);
        PlayLoopEnd = GroupLength(ActGroupIdx);
        PlayPos = std::max(0, PlayLoopEnd - distance);
        CursorOffset = PlayPos - old;
    } else if (ToGroupIdx != ActGroupIdx && ToGroupIdx > LastGroupIdx && RecordArmed) {
        for (int m = 1; m <= std::min(LoopCount, LoopSlotCapacity); ++m)
            if (Slots[static_cast<size_t>(m)].LoopGroup == ActGroupIdx) Rows[static_cast<size_t>(m)].LoopOn = false;
        hooks_->LoopSwitchesChanged();
    } else if (ToGroupIdx == ActGroupIdx) {
        hooks_->SetSBLoopsFromMarkers();
    }
}

// Events at the frame whose read position is the cycle start. Returns false when the assembly
// ends here (stop at the loop end, or a macro stopped the transport).
bool Engine::HandleCycleStart(bool subtracted) {
    // A read position that is 0 without a subtraction is a cycle begun at the block's start,
    // whose wrap was handled there.
    if (subtracted) WrapGroups();
    if (!Recording) {
        if (FirstPassAfterStart) {
            FirstPassAfterStart = false;
        } else {
            if (hooks_->MacrosRunning() && hooks_->ContinueWaitingMacrosForLoopend() && !Playing) {
                OutBlockMade = false;
                return false;
            }
            if (Switches.StopAtLoopEnd) {
                PlayThisBlock = false;
                hooks_->ButtonStopClick();
                OutBlockMade = false;
                return false;
            }
        }
    }
    return true;
}

namespace {

// One loop's share of a segment: `frames` frames whose byte positions start at `pos` and step
// by `stride`, wrapping at `wrapAt` to `pos - wrapAt` (multiple loop lengths) or to 0 (async).
struct RunSource {
    const LoopBuffer* Buffer;
    bool Stereo;
    int Stride;
};

template <typename Acc>
void MixPositions(const RunSource& src, int64_t pos, int frames, Acc* sumL, Acc* sumR, const RunWeights& w) {
    const int64_t capacity = static_cast<int64_t>(src.Buffer->Capacity());
    if (src.Buffer->Data() == nullptr || frames <= 0) return;
    // Positions inside the buffer are read as one run; a run never starts outside it here, but
    // positions past the capacity (only with odd lengths) contribute nothing.
    int64_t inside = pos < 0 ? 0 : FramesBelow(pos, capacity, src.Stride);
    if (pos < 0) {
        // Positions before the buffer read as silence; skip them.
        const int64_t skip = std::min<int64_t>(frames, FramesBelow(pos, 0, src.Stride));
        sumL += skip;
        sumR += skip;
        frames -= static_cast<int>(skip);
        pos += skip * src.Stride;
        inside = FramesBelow(pos, capacity, src.Stride);
    }
    const int count = static_cast<int>(std::min<int64_t>(frames, inside));
    if (count <= 0) return;
    const auto* values = reinterpret_cast<const int16_t*>(src.Buffer->Data() + pos);
    if (src.Stereo)
        MixStereoRun(values, count, sumL, sumR, w);
    else
        MixMonoRun(values, count, sumL, sumR, w);
}

} // namespace

template <typename Acc>
void Engine::MixLoops(int64_t q, int f, int g, bool atEnd, Acc* sumL, Acc* sumR, int& soundUntil) {
    const int stride = 2 * ChannelCount();
    const bool stereo = StereoStore();
    const int frames = g - f;
    for (int m = 1; m <= std::min(LoopCount, LoopSlotCapacity); ++m) {
        LoopSlot& s = Slots[static_cast<size_t>(m)];
        const MixerRow& row = Rows[static_cast<size_t>(m)];
        const int64_t len = s.LoopLenBytes;
        if (!row.LoopOn) {
            if (s.LoopGroup == ActGroupIdx)
                soundUntil = static_cast<int>(std::max<int64_t>(
                    soundUntil, f + std::min<int64_t>(frames, FramesBelow(q, len, stride))));
            continue;
        }
        const bool recLoop = m == RecLoopNr && Recording;
        const bool muted = (recLoop && (AllowMultipleLoopLength || PlayAsyncRingMode)) ||
                           (MuteNextRecLoop && m == NextToRecLoopNr && atEnd && RecordArmed);
        const RunWeights w{SplitFactor::From(GainFactor(row.LoopLevelL + row.LoopLL)),
                           SplitFactor::From(GainFactor(row.LoopLevelL + row.LoopLR)),
                           SplitFactor::From(GainFactor(row.LoopLevelR + row.LoopRL)),
                           SplitFactor::From(GainFactor(row.LoopLevelR + row.LoopRR))};
        const RunSource src{&s.Buffer, stereo, stride};
        const bool wrapMultiple = AllowMultipleLoopLength && !recLoop && len > 10;
        int64_t p = q;
        if (wrapMultiple) p = q % len;
        if (wrapMultiple && f == 0 && Switches.GraphsShown) {
            int point = static_cast<int>(((p / 2) - OffsetSmps) / BlockStoredValues());
            if (point < 0) point += s.LoopLastBlock;
            const int first = GroupFirstLoop(ActGroupIdx);
            const int firstLast = first >= 1 && first <= LoopSlotCapacity
                                      ? Slots[static_cast<size_t>(first)].LoopLastBlock
                                      : -1;
            hooks_->MoveLoopCursor(m, point, firstLast >= 0 && (point + 1) % (firstLast + 1) == 0);
        }
        if (PlayAsyncRingMode) {
            // Every loop runs on its own position: it advances, wraps to 0 at its length, then reads.
            soundUntil = g;
            int64_t a = s.AsyncPos;
            int done = 0;
            while (done < frames) {
                a += stride;
                if (a >= len) a = 0;
                // From a, the run goes on until the next wrap.
                int run = static_cast<int>(
                    std::min<int64_t>(frames - done, len > a ? FramesBelow(a, len, stride) : 1));
                run = std::max(run, 1);
                if (!muted) MixPositions(src, a, run, sumL + done, sumR + done, w);
                a += int64_t{run - 1} * stride;
                done += run;
            }
            s.AsyncPos = static_cast<int32_t>(a);
            continue;
        }
        if (wrapMultiple) {
            soundUntil = g;
            int done = 0;
            while (done < frames) {
                const int run = static_cast<int>(
                    std::min<int64_t>(frames - done, std::max<int64_t>(1, FramesBelow(p, len, stride))));
                if (!muted) MixPositions(src, p, run, sumL + done, sumR + done, w);
                p += int64_t{run} * stride;
                if (p >= len) p -= len;
                done += run;
            }
            continue;
        }
        const int sounding = static_cast<int>(std::min<int64_t>(frames, FramesBelow(p, len, stride)));
        soundUntil = std::max(soundUntil, f + sounding);
        if (!muted) MixPositions(src, p, sounding, sumL, sumR, w);
    }
}

void Engine::Create_OutLoopSegs() {
    if (!Switches.DoExport) hooks_->OutputDriftCorrection();
    const int64_t base = int64_t{PlayPos} + OffsetSmps;
    const int n = BeginOutBlock();
    const int64_t cycle = 2 * int64_t{PlayLoopEnd};
    const bool atEnd = base >= PlayLoopEnd;
    if (atEnd && Switches.ExportPanelVisible && Switches.DoExport != Switches.DoExportMarker) {
        Switches.DoExport = Switches.DoExportMarker;
        hooks_->ExportSwitchFollowsMarker(Switches.DoExport);
    }
    if (Switches.GraphsShown) {
        if (PlayPos == 0) {
            CursorGroup = ActGroupIdx;
            CursorOffset = 0;
        }
        int64_t p = int64_t{PlayPos} - CursorOffset;
        if (CursorGroup == ActGroupIdx) {
            p = PlayLoopEnd < 1 ? 0 : p % PlayLoopEnd;
        } else {
            const int len = GroupLength(CursorGroup);
            p = len == 0 ? 0 : p % len;
        }
        if (!PlayAsyncRingMode && !AllowMultipleLoopLength)
            hooks_->MoveGroupCursors(CursorGroup, static_cast<int>(p / BlockStoredValues()));
    }
    OutPeakL = OutPeakR = 0;
    const int stride = 2 * ChannelCount();

    int f = 0;
    while (f < n) {
        int64_t q = 2 * base + int64_t{f} * stride;
        bool subtracted = false;
        if (q >= cycle) {
            if (cycle < 100) {
                q -= cycle;
            } else {
                q %= cycle;
            }
            subtracted = true;
        }
        if (q == 0 && !HandleCycleStart(subtracted)) return;
        // The frames up to the next wrap share one state.
        int g = f + 1;
        if (cycle >= 100 && q >= 0 && q < cycle)
            g = static_cast<int>(std::min<int64_t>(n, f + FramesBelow(q, cycle, stride)));
        if (g <= f) g = f + 1;
        int soundUntil = f;
        const bool wide = SumsMayOverflow();
        int64_t* wideL = sum64_.data();
        int64_t* wideR = wideL + kMaxBlockFrames;
        int32_t* narrowL = sum32_.data();
        int32_t* narrowR = narrowL + kMaxBlockFrames;
        if (wide) {
            std::fill(wideL, wideL + (g - f), 0);
            std::fill(wideR, wideR + (g - f), 0);
            MixLoops(q, f, g, atEnd, wideL, wideR, soundUntil);
        } else {
            std::fill(narrowL, narrowL + (g - f), 0);
            std::fill(narrowR, narrowR + (g - f), 0);
            MixLoops(q, f, g, atEnd, narrowL, narrowR, soundUntil);
        }
        const bool overEarly = !Recording && soundUntil < g;
        const int end = overEarly ? soundUntil : g;
        if (wide)
            StoreOutputFrames(f, end, wideL, wideR);
        else
            StoreOutputFrames(f, end, narrowL, narrowR);
        if (overEarly) {
            // No loop sounds any more: the rest of the block stays silent and the cycle ends.
            hooks_->SetPlayLoopEnd();
            break;
        }
        f = g;
    }
    OutputFadeIn = false;
    if (Switches.DoExport) hooks_->ExportBlock(outBlock_.data(), outBlockBytes_);
}

bool Engine::SumsMayOverflow() const {
    // Each term is at most |sample| × factor / 65536 <= factor / 2.
    int64_t bound = 0;
    for (int m = 1; m <= std::min(LoopCount, LoopSlotCapacity); ++m) {
        const MixerRow& row = Rows[static_cast<size_t>(m)];
        if (!row.LoopOn) continue;
        const int64_t left =
            int64_t{GainFactor(row.LoopLevelL + row.LoopLL)} + GainFactor(row.LoopLevelR + row.LoopRL);
        const int64_t right =
            int64_t{GainFactor(row.LoopLevelL + row.LoopLR)} + GainFactor(row.LoopLevelR + row.LoopRR);
        bound += std::max(left, right) / 2 + 2;
    }
    return bound >= INT32_MAX;
}

template <typename Acc> void Engine::StoreOutputFrames(int f, int g, const Acc* sumL, const Acc* sumR) {
    const SatLevel left(OutputLevel + OutputLevelL - LowerOutputLevel);
    const SatLevel right(OutputLevel + OutputLevelR - LowerOutputLevel);
    int16_t* out = outBlock_.data();
    int32_t peakL = OutPeakL, peakR = OutPeakR;
    for (int j = f; j < g; ++j) {
        int16_t outL = left(sumL[j - f]);
        int16_t outR = right(sumR[j - f]);
        if (OutputFadeIn) {
            const double factor = FadeInTable[static_cast<size_t>(j + 1)];
            outL = RoundFactor(outL, factor);
            outR = RoundFactor(outR, factor);
        }
        peakL = std::max<int32_t>(peakL, outL);
        peakR = std::max<int32_t>(peakR, outR);
        out[2 * j] = outL;
        out[2 * j + 1] = outR;
    }
    OutPeakL = peakL;
    OutPeakR = peakR;
}

// ---------------------------------------------------------------------------------------------
// The block processor

void Engine::LoopEndAtBlockStart() {
    if (PlayPos < PlayLoopEnd) return;
    // Without an offset the read position reaches the cycle end together with the play position,
    // on this block boundary: the wrap comes first, so that what the cycle end starts next (an
    // armed or a continued recording) finds the new group, as when an offset brings the wrap
    // earlier, inside a block.
    if (Playing && int64_t{PlayPos} + OffsetSmps == PlayLoopEnd) WrapGroups();
    if (!Recording) {
        hooks_->SetPlayLoopEnd();
    } else {
        if (LoopTailFadePending) {
            LoopTailFadePending = false;
            FadeLoopTail(RecLoopNr);
        }
        hooks_->LoopEndWhileRecording();
    }
}

void Engine::SndInputEvent(const int16_t* buffer, int bytes) {
    if (bytes <= 0) return;
    InputBytesTotal += bytes;
    hooks_->InputBytesReceived(InputBytesTotal);
    DoPrcBlock(buffer, bytes);
}

void Engine::DoPrcBlock(const int16_t* buffer, int bytes) {
    if (bytes <= 0 || buffer == nullptr || InPrcBlock) return;

    // Block start
    InPrcBlock = true;
    PlayThisBlock = Playing;
    const bool punch = PunchActive;
    ++BlockCounter;
    const int frames = std::min(bytes / 4, kMaxBlockFrames);
    InputFrameCounter += frames;
    hooks_->MetronomeStep(frames);

    LoopEndAtBlockStart();

    OutBlockMade = false;
    if (PlayThisBlock && !Paused && !Switches.OutMute && !MonitorMode &&
        !(Switches.StopAtLoopEnd && Recording && int64_t{PlayLoopEnd} - OffsetSmps <= PlayPos)) {
        // A failure inside the assembly leaves the block as far as it was filled.
        try {
            Create_OutLoopSegs();
        } catch (...) {
        }
    }
    if (!OutBlockMade) Create_OutEmptyBlock();

    if (RecordArmed && (Switches.ContinuousRecordingLoops || RecordNextToo || !Recording))
        hooks_->ShowCountDown(PlayLoopEnd - PlayPos);

    const bool rec = Recording;
    InPeakL = InPeakR = 0;
    LoopSlot* target =
        RecLoopNr >= 1 && RecLoopNr <= LoopSlotCapacity ? &Slots[static_cast<size_t>(RecLoopNr)] : nullptr;
    if (target != nullptr) {
        if (rec && !Paused)
            target->Buffer.Seek(static_cast<size_t>(std::max(target->LoopLenBytes, 0)));
        else if (punch)
            target->Buffer.Seek(2 * static_cast<size_t>(std::max(PlayPos, 0)));
    }
    const int cc = ChannelCount();
    const bool firstRecBlock = (PlayPos == 0 || PlayPos == PlayLoopEnd) && (rec || punch);
    const bool lastRecBlock = (int64_t{PlayLoopEnd} - int64_t{frames} * cc <= PlayPos) && (rec || punch);

    ProcessInputFrames(buffer, frames, rec, punch, firstRecBlock, lastRecBlock, target);

    // Block end
    if (BlockCounter % 32 == 0 && Switches.TunerFeed) hooks_->TunerAutoSettings();
    hooks_->LatencyBlockEnd();
    if (Switches.TapCtrlInput) hooks_->TapInput(InPeakL);
    hooks_->InputMeters(InPeakL, InPeakR);
    if ((rec || punch) && Switches.GraphsShown && target != nullptr)
        hooks_->PaintRecordGraph(RecLoopNr, PlayPos / BlockStoredValues(), InPeakL, InPeakR);
    Finish_OutBlock();
    hooks_->WriteOutBlock(outBlock_.data(), outBlockBytes_);
    if (!Paused && (rec || PlayThisBlock)) {
        PlayPos = static_cast<int32_t>(std::min<int64_t>(int64_t{PlayPos} + int64_t{frames} * cc, INT32_MAX));
        hooks_->PositionChanged();
    }
    InPrcBlock = false;
    PunchFadeIn = false;
    if (PunchFadeOut) {
        PunchActive = false;
        PunchFadeOut = false;
    }
    hooks_->CountersChanged(bytes);
    hooks_->TunerResults();
    hooks_->PortActions();
    hooks_->ContinueWaitingMacros();
    hooks_->StepScroll();
    hooks_->RefreshLatencyLabel();
    hooks_->TappedStart();
}

void Engine::ProcessInputFrames(const int16_t* buffer, int frames, bool rec, bool punch, bool firstRecBlock,
                                bool lastRecBlock, LoopSlot* target) {
    InPeakL = InPeakR = 0;
    if (frames <= 0) return;
    const EngineSwitches& sw = Switches;
    const bool stereo = StereoStore();
    const int stride = 2 * ChannelCount();
    int16_t* l = frameL_.data();
    int16_t* r = frameR_.data();
    int32_t* monL = monL_.data();
    int32_t* monR = monR_.data();

    // DC drift: at the first frame the ring takes the previous block's means.
    if (sw.CorrectDCDrift) {
        DCRingL[static_cast<size_t>(DCRingIdx)] = DCSumL / frames;
        DCRingR[static_cast<size_t>(DCRingIdx)] = DCSumR / frames;
        DCSumL = DCSumR = 0;
        int64_t sl = 0, sr = 0;
        for (int i = 0; i < kDCRingSize; ++i) {
            sl += DCRingL[static_cast<size_t>(i)];
            sr += DCRingR[static_cast<size_t>(i)];
        }
        DCOffsetL = static_cast<int32_t>(sl / kDCRingSize);
        DCOffsetR = static_cast<int32_t>(sr / kDCRingSize);
        hooks_->ShowDCOffset(DCOffsetL, DCOffsetR);
        DCRingIdx = DCRingIdx >= kDCRingSize - 1 ? 0 : DCRingIdx + 1;
        SplitAndCorrectDC(buffer, frames, l, r, static_cast<int16_t>(DCOffsetL),
                          static_cast<int16_t>(DCOffsetR), DCSumL, DCSumR);
    } else {
        SplitInput(buffer, frames, l, r);
    }

    // Mute, or the fade of a first or last recorded block and of a punch (shared with the tone
    // generator below).
    const double* fade = nullptr;
    if (sw.FadeFirstLastBlock) {
        if (firstRecBlock || PunchFadeIn)
            fade = FadeInTable.data();
        else if (lastRecBlock || PunchFadeOut)
            fade = FadeOutTable.data();
    }
    if (sw.InMute) {
        std::fill(l, l + frames, int16_t{0});
        std::fill(r, r + frames, int16_t{0});
    } else if (fade != nullptr) {
        for (int k = 1; k <= frames; ++k) {
            if (InputMode != 3) l[k - 1] = RoundFactor(l[k - 1], fade[k]);
            if (InputMode != 2) r[k - 1] = RoundFactor(r[k - 1], fade[k]);
        }
    }

    // Mono conversion.
    if (InputMode == 1) {
        const SatLevel half(-2);
        for (int i = 0; i < frames; ++i)
            l[i] = half(int32_t{l[i]} + r[i]);
    } else if (InputMode == 3) {
        std::copy(r, r + frames, l);
    }
    if (InputMode != 0) std::fill(r, r + frames, int16_t{0});

    // Monitor and the mixer's input row.
    const MixerRow& in = Rows[0];
    InputRowWeights row;
    row.Monitor = MonitorMode;
    row.RowOn = in.LoopOn;
    row.Stereo = stereo;
    row.LL = SplitFactor::From(GainFactor(in.LoopLevelL + in.LoopLL));
    row.RL = SplitFactor::From(GainFactor(in.LoopLevelR + in.LoopRL));
    row.RR = SplitFactor::From(GainFactor(in.LoopLevelR + in.LoopRR));
    row.LR = SplitFactor::From(GainFactor(in.LoopLevelL + in.LoopLR));
    MonitorPass(l, r, frames, monL, monR, row);

    // Metronome click, into the recording and into the output.
    if (MetroOn) hooks_->MetronomeBlock(frames, l, r, monL, monR);

    // Tone generator.
    if (sw.GeneratorOn) {
        const SatLevel genLevel(sw.GeneratorLevel);
        for (int k = 1; k <= frames; ++k) {
            if (GenPhase >= GenPeriod) GenPhase = 0;
            GenSample = hooks_->GeneratorWave(GenPhase);
            if (fade != nullptr) GenSample = RoundFactor(GenSample, fade[k]);
            GenSample = genLevel(GenSample);
            if (sw.GeneratorRecord) {
                l[k - 1] = Wrap16(l[k - 1] + GenSample);
                if (stereo) r[k - 1] = Wrap16(r[k - 1] + GenSample);
            }
            monL[k - 1] += GenSample;
            monR[k - 1] += GenSample;
            ++GenPhase;
        }
    }

    // Into the output block (adding nothing changes nothing, so every frame can take part).
    const int outFrames = std::min(frames, outBlockBytes_ / 4);
    if (sw.AddSigsOutLevelCtrl) {
        for (int k = 1; k <= outFrames; ++k)
            if (monL[k - 1] != 0 || monR[k - 1] != 0)
                AddInSmpLRToOutBlock(4 * (k - 1), monL[k - 1], monR[k - 1]);
    } else if (OutBlockMade) {
        AddMonitorToOut(outBlock_.data(), monL, monR, outFrames);
    }

    // Recording level, and the punch mix with what the loop holds at the cycle position.
    const bool write = (rec || punch) && !Paused && target != nullptr;
    const int levelL = InputLevel + InputLevelL, levelR = InputLevel + InputLevelR;
    if (punch && sw.PunchMixMode && target != nullptr) {
        const SatLevel recL(levelL), recR(levelR), unity(0);
        const size_t start = target->Buffer.Position();
        for (int i = 0; i < frames; ++i) {
            const size_t at = start + (write ? static_cast<size_t>(i) * static_cast<size_t>(stride) : 0);
            const int16_t oldL = target->Buffer.ValueAt(at);
            const int16_t oldR = stereo ? target->Buffer.ValueAt(at + 2) : int16_t{0};
            if (sw.PunchMixReFadeAll) {
                l[i] = recL(int32_t{l[i]} + oldL);
                if (stereo) r[i] = recR(int32_t{r[i]} + oldR);
            } else {
                l[i] = unity(int32_t{recL(l[i])} + oldL);
                if (stereo) r[i] = unity(int32_t{recR(r[i])} + oldR);
            }
        }
    } else {
        LevelPass(l, frames, SplitFactor::From(GainFactor(levelL)));
        if (stereo) LevelPass(r, frames, SplitFactor::From(GainFactor(levelR)));
    }

    if (sw.TunerFeed) hooks_->TunerBlock(l, frames);

    // Writing: whole frames up to the buffer's capacity.
    if (write) {
        LoopBuffer& b = target->Buffer;
        const size_t pos = b.Position();
        const size_t room = pos >= b.Capacity() ? 0 : b.Capacity() - pos;
        const int fit = static_cast<int>(
            std::min<size_t>(static_cast<size_t>(frames), room / static_cast<size_t>(stride)));
        auto* dest = reinterpret_cast<int16_t*>(b.Data() + pos);
        if (fit > 0) {
            if (stereo)
                Interleave(l, r, fit, dest);
            else
                std::memcpy(dest, l, 2 * static_cast<size_t>(fit));
        }
        b.Seek(pos + static_cast<size_t>(fit) * static_cast<size_t>(stride));
        if (rec) target->LoopLenBytes += fit * stride;
    }

    InPeakL = PeakOf(l, frames);
    InPeakR = stereo ? PeakOf(r, frames) : int16_t{0};

    if (sw.LatencyMeasuring) hooks_->LatencyBlock(l, frames);
}

} // namespace kreisel

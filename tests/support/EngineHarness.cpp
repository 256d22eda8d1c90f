#include "support/EngineHarness.h"

#include "engine/Gain.h"

#include <algorithm>
#include <cmath>

namespace kreisel::test {

EngineHarness::EngineHarness(int sampleRate, int blockFrames)
    : engine_(std::make_unique<Engine>()), blockFrames_(blockFrames),
      input_(2 * static_cast<size_t>(blockFrames)) {
    hooks_ = std::make_unique<LoggingHooks>(*engine_);
    engine_->SetHooks(hooks_.get());
    engine_->SampleRate = sampleRate;
    engine_->BlockBytes = blockFrames * 4;
    engine_->FadeLen = std::min(engine_->FadeLen, blockFrames);
    engine_->BuildFadeTables();
    engine_->SizeLoopBuffers(int64_t{64} << 20, 32);
}

void EngineHarness::Feed(const std::function<int16_t(int64_t, int)>& sample) {
    for (int i = 0; i < blockFrames_; ++i) {
        input_[2 * static_cast<size_t>(i)] = sample(framesFed_ + i, 0);
        input_[2 * static_cast<size_t>(i) + 1] = sample(framesFed_ + i, 1);
    }
    framesFed_ += blockFrames_;
    engine_->SndInputEvent(input_.data(), blockFrames_ * 4);
}

void EngineHarness::FeedConstant(int16_t left, int16_t right, int blocks) {
    for (int b = 0; b < blocks; ++b)
        Feed([&](int64_t, int ch) { return ch == 0 ? left : right; });
}

void EngineHarness::PlaceLoop(int slot, int group, const std::vector<int16_t>& values, bool on) {
    LoopSlot& s = engine_->Slots[static_cast<size_t>(slot)];
    s.Buffer.Seek(0);
    s.Buffer.Write(values.data(), values.size() * 2);
    s.LoopLenBytes = static_cast<int32_t>(values.size() * 2);
    s.LoopGroup = group;
    engine_->Rows[static_cast<size_t>(slot)].LoopOn = on;
    engine_->LoopCount = std::max(engine_->LoopCount, slot);
    if (engine_->GroupFirstLoop(group) < 1) engine_->GroupFirstLoop(group) = slot;
    engine_->LastGroupIdx = std::max(engine_->LastGroupIdx, group);
}

std::vector<int16_t> EngineHarness::LoopValues(int slot) {
    const LoopSlot& s = engine_->Slots[static_cast<size_t>(slot)];
    std::vector<int16_t> v(static_cast<size_t>(s.LoopLenBytes / 2));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = s.Buffer.ValueAt(2 * i);
    return v;
}

namespace {

// The rules of a wrap of the read position to the cycle start: a requested existing group takes
// over, the play position keeping its distance to the cycle end; a requested new group while
// armed silences the active group; otherwise the active group's marks apply.
void ReferenceWrap(Engine& e) {
    EngineHooks& hooks = e.Hooks();
    if (e.ToGroupIdx != e.ActGroupIdx && e.ToGroupIdx <= e.LastGroupIdx) {
        const int32_t distance = e.PlayLoopEnd - e.PlayPos;
        e.ActGroupIdx = e.ToGroupIdx;
        hooks.ActivateGroup(e.ToGroupIdx);
        int32_t longest = 0;
        for (int m = 1; m <= e.LoopCount; ++m) {
            const LoopSlot& s = e.Slots[static_cast<size_t>(m)];
            if (s.LoopGroup == e.ActGroupIdx) longest = std::max(longest, s.LoopLenBytes / 2);
        }
        e.PlayLoopEnd = longest;
        e.PlayPos = std::max(0, e.PlayLoopEnd - distance);
    } else if (e.ToGroupIdx != e.ActGroupIdx && e.ToGroupIdx > e.LastGroupIdx && e.RecordArmed) {
        for (int m = 1; m <= e.LoopCount; ++m)
            if (e.Slots[static_cast<size_t>(m)].LoopGroup == e.ActGroupIdx) e.Rows[static_cast<size_t>(m)].LoopOn = false;
        hooks.LoopSwitchesChanged();
    } else if (e.ToGroupIdx == e.ActGroupIdx) {
        hooks.SetSBLoopsFromMarkers();
    }
}

} // namespace

void ReferenceLoopEndAtBlockStart(Engine& e) {
    EngineHooks& hooks = e.Hooks();
    if (e.PlayPos < e.PlayLoopEnd) return;
    // The first frame's read position is the cycle end itself: it wraps to the start right here,
    // before the cycle end hands over to what plays or records next.
    if (e.Playing && int64_t{e.PlayPos} + e.OffsetSmps == e.PlayLoopEnd) ReferenceWrap(e);
    if (!e.Recording) {
        hooks.SetPlayLoopEnd();
        return;
    }
    if (e.LoopTailFadePending) {
        e.LoopTailFadePending = false;
        e.FadeLoopTail(e.RecLoopNr);
    }
    hooks.LoopEndWhileRecording();
}

void ReferenceCreateOutLoopSegs(Engine& e) {
    EngineHooks& hooks = e.Hooks();
    if (!e.Switches.DoExport) hooks.OutputDriftCorrection();
    const int64_t base = int64_t{e.PlayPos} + e.OffsetSmps;
    const int n = e.BeginOutBlock();
    const int64_t cycle = 2 * int64_t{e.PlayLoopEnd};
    const bool atEnd = base >= e.PlayLoopEnd;
    const int cc = e.ChannelCount();
    int16_t* out = e.MutableOutBlock();
    e.OutPeakL = e.OutPeakR = 0;
    auto valueAt = [](const LoopBuffer& b, int64_t pos) {
        return pos < 0 ? int16_t{0} : b.ValueAt(static_cast<size_t>(pos));
    };
    for (int f = 0; f < n; ++f) {
        int64_t sumL = 0, sumR = 0;
        int sounding = 0;
        int64_t q = 2 * base + int64_t{f} * 2 * cc;
        bool subtracted = false;
        if (q >= cycle) {
            if (cycle < 100) {
                q -= cycle;
            } else {
                while (q >= cycle)
                    q -= cycle;
            }
            subtracted = true;
        }
        if (q == 0) {
            if (subtracted) ReferenceWrap(e);
            if (!e.Recording && e.FirstPassAfterStart) {
                e.FirstPassAfterStart = false;
            } else if (!e.Recording) {
                if (hooks.MacrosRunning() && hooks.ContinueWaitingMacrosForLoopend() && !e.Playing) {
                    e.OutBlockMade = false;
                    return;
                }
                if (e.Switches.StopAtLoopEnd) {
                    e.PlayThisBlock = false;
                    hooks.ButtonStopClick();
                    e.OutBlockMade = false;
                    return;
                }
            }
        }
        for (int m = 1; m <= e.LoopCount; ++m) {
            LoopSlot& s = e.Slots[static_cast<size_t>(m)];
            const MixerRow& row = e.Rows[static_cast<size_t>(m)];
            if (!row.LoopOn) {
                if (s.LoopGroup == e.ActGroupIdx && q < s.LoopLenBytes) ++sounding;
                continue;
            }
            const bool recLoop = m == e.RecLoopNr && e.Recording;
            int64_t p = q;
            if (e.AllowMultipleLoopLength && !recLoop && s.LoopLenBytes > 10) p = p % s.LoopLenBytes;
            if (!e.PlayAsyncRingMode && p >= s.LoopLenBytes) continue;
            ++sounding;
            int64_t at = p;
            if (e.PlayAsyncRingMode) {
                s.AsyncPos += 2 * cc;
                if (s.AsyncPos >= s.LoopLenBytes) s.AsyncPos = 0;
                at = s.AsyncPos;
            }
            int16_t sL = valueAt(s.Buffer, at);
            int16_t sR = e.StereoStore() ? valueAt(s.Buffer, at + 2) : int16_t{0};
            if ((recLoop && (e.AllowMultipleLoopLength || e.PlayAsyncRingMode)) ||
                (e.MuteNextRecLoop && m == e.NextToRecLoopNr && atEnd && e.RecordArmed))
                sL = sR = 0;
            sumL += ApplyGain(sL, row.LoopLevelL + row.LoopLL);
            sumR += ApplyGain(sL, row.LoopLevelL + row.LoopLR);
            if (e.StereoStore()) {
                sumL += ApplyGain(sR, row.LoopLevelR + row.LoopRL);
                sumR += ApplyGain(sR, row.LoopLevelR + row.LoopRR);
            }
        }
        if (!e.Recording && sounding == 0) {
            hooks.SetPlayLoopEnd();
            break;
        }
        int16_t outL = ApplyGainSat64(sumL, e.OutputLevel + e.OutputLevelL - e.LowerOutputLevel);
        int16_t outR = ApplyGainSat64(sumR, e.OutputLevel + e.OutputLevelR - e.LowerOutputLevel);
        if (e.OutputFadeIn) {
            outL = static_cast<int16_t>(std::nearbyint(outL * e.FadeInTable[static_cast<size_t>(f + 1)]));
            outR = static_cast<int16_t>(std::nearbyint(outR * e.FadeInTable[static_cast<size_t>(f + 1)]));
        }
        e.OutPeakL = std::max<int32_t>(e.OutPeakL, outL);
        e.OutPeakR = std::max<int32_t>(e.OutPeakR, outR);
        out[2 * f] = outL;
        out[2 * f + 1] = outR;
    }
    e.OutputFadeIn = false;
    if (e.Switches.DoExport) hooks.ExportBlock(out, e.OutBlockBytes());
}

} // namespace kreisel::test

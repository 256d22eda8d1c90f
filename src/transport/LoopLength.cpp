// Where the play cycle ends: the longest loop that fits a buffer, a fixed length in half-seconds
// or half-beats, the group's first loop, or a free-length recording closed by the performer.
#include "core/Text.h"
#include "transport/Metronome.h"
#include "transport/TimedStart.h"
#include "transport/Transport.h"

#include <algorithm>
#include <cmath>

namespace kreisel {

int Transport::FixedLoopValues() const {
    const Engine& e = engine_;
    const int position = std::max(c_.TBFixedLoopTime.Position(), 1);
    int64_t values;
    if (c_.CBFixedLoopUseBPM.Checked())
        values = int64_t{position} * metronome_.HalfBeatFrames() * e.ChannelCount();
    else
        values = static_cast<int64_t>(
            static_cast<uint64_t>(int64_t{e.SampleRate} * position * e.ChannelCount()) / 2);
    values -= values % e.BlockStoredValues();
    return static_cast<int>(std::min<int64_t>(values, INT32_MAX));
}

void Transport::AnyChange_MaxLoopInputSmps(const Control* sender) {
    Engine& e = engine_;
    // Tool buttons and their check boxes in step.
    {
        SuppressActions quiet(c_.Owner);
        if (sender == &c_.ToolUseFixedLoopTime)
            c_.CBUseFixedLoopTime.SetChecked(c_.ToolUseFixedLoopTime.Down());
        if (sender == &c_.ToolReRecordCyclic) c_.CBReRecordCyclic.SetChecked(c_.ToolReRecordCyclic.Down());
        c_.ToolUseFixedLoopTime.SetDown(c_.CBUseFixedLoopTime.Checked());
        c_.ToolReRecordCyclic.SetDown(c_.CBReRecordCyclic.Checked());
    }
    if ((sender == &c_.ToolUseFixedLoopTime || sender == &c_.ToolReRecordCyclic) && ShowRecordingPage)
        ShowRecordingPage();
    const bool fixed = FixedLengthOn();
    c_.CBFirstRecLoopEnd_AfterOffset.SetEnabled(!fixed);
    c_.CBMaxTimeLikeFirstLoop.SetEnabled(!fixed && !e.AllowMultipleLoopLength);
    c_.CBHoldLoopLength.SetEnabled(c_.CBMaxTimeLikeFirstLoop.Checked() && CyclicOn() && !fixed);

    const int bsv = std::max(e.BlockStoredValues(), 1);
    const int bufferValues = static_cast<int>(std::min<int64_t>(e.MaxLoopBytes / 2, INT32_MAX));
    e.PlayLoopEnd = bufferValues;
    maxLastBlock_ = e.PlayLoopEnd / bsv - 1;

    // The fixed-length slider covers what fits a buffer.
    const int cc = e.ChannelCount();
    const int maxHalfSeconds = static_cast<int>(2.0 * e.PlayLoopEnd / cc / std::max(e.SampleRate, 1));
    const int maxHalfBeats = static_cast<int>((static_cast<double>(e.PlayLoopEnd) / cc) /
                                              std::max(metronome_.HalfBeatFrames(), 1));
    if (maxHalfSeconds > 0) {
        SuppressActions quiet(c_.TBFixedLoopTime);
        const int oldMax = c_.TBFixedLoopTime.Max();
        const int oldPos = c_.TBFixedLoopTime.Position();
        const int newMax = c_.CBFixedLoopUseBPM.Checked() ? maxHalfBeats : maxHalfSeconds;
        c_.TBFixedLoopTime.SetRange(c_.TBFixedLoopTime.Min(), newMax);
        if (sender == &c_.CBFixedLoopUseBPM && oldMax > 0)
            c_.TBFixedLoopTime.SetPosition(
                RoundHalfEven(static_cast<double>(newMax) * oldPos / oldMax - 0.1));
    }

    if (fixed) {
        e.PlayLoopEnd = FixedLoopValues();
    } else if (FirstLoopRuleOn()) {
        const int group = e.ActGroupIdx;
        const int first = group >= 0 ? e.GroupFirstLoop(group) : -1;
        const int longest = group >= 0 ? e.GroupLength(group) : 0;
        const int firstLen = ValidLoop(first) ? e.Slots[static_cast<size_t>(first)].LoopLenBytes : 0;
        bool furtherLoops = false;
        for (int m = std::max(e.RecLoopNr, 0) + 1; m <= std::min(e.LoopCount, LoopSlotCapacity); ++m)
            if (GroupOf(m) == group) furtherLoops = true;
        if (group >= 0 && CountLoops(group) == 1 && !e.Recording) {
            e.PlayLoopEnd = longest;
        } else if (e.RecLoopNr != first || furtherLoops) {
            e.PlayLoopEnd = longest;
            if (e.Recording || e.LoopCount == 0) {
                if (first != e.RecLoopNr && firstLen > 100) e.PlayLoopEnd = firstLen / 2;
                if (longest > 100 && first == e.RecLoopNr) e.PlayLoopEnd = longest;
            }
        }
    } else {
        const int longest = e.ActGroupIdx >= 0 ? e.GroupLength(e.ActGroupIdx) : 0;
        if (!e.Recording && longest > 10) e.PlayLoopEnd = longest;
    }
    e.PlayLoopEnd -= e.PlayLoopEnd % bsv;

    timedStart_.UpdateTimeLabels();
    const bool freeLength = e.FreeLengthRecording;
    UpdateSBRecordNextAndPlayAll(false);
    e.FreeLengthRecording = freeLength;
    UpdateLoopsInfos();
}

void Transport::CloseFreeLengthLoop() {
    Engine& e = engine_;
    const int bsv = std::max(e.BlockStoredValues(), 1);
    int64_t end = c_.CBFirstRecLoopEnd_AfterOffset.Checked() ? int64_t{e.PlayPos} + e.OffsetSmps
                                                             : int64_t{e.PlayPos} + bsv - 1;
    end -= end % bsv;
    e.PlayLoopEnd = static_cast<int32_t>(std::min<int64_t>(end, e.MaxLoopBytes / 2));
    if (ValidLoop(e.RecLoopNr))
        e.Slots[static_cast<size_t>(e.RecLoopNr)].LoopLastBlock = e.PlayLoopEnd / bsv - 1;
    e.LoopTailFadePending = true;
    e.OutputFadeIn = true;
    e.FreeLengthRecording = false;
}

void Transport::EndTakeOnDeviceLoss() {
    if (engine_.Recording && engine_.FreeLengthRecording) CloseFreeLengthLoop();
}

bool Transport::StretchToGroupMultiple() {
    Engine& e = engine_;
    const int first = e.GroupFirstLoop(GroupOf(e.RecLoopNr));
    const int length = ValidLoop(first) ? e.Slots[static_cast<size_t>(first)].LoopLenBytes / 2 : 0;
    if (length <= 10) return false;
    e.PlayLoopEnd = length + e.PlayPos - (e.PlayPos % length);
    if (ValidLoop(e.RecLoopNr))
        e.Slots[static_cast<size_t>(e.RecLoopNr)].LoopLastBlock =
            e.PlayLoopEnd / std::max(e.BlockStoredValues(), 1) - 1;
    return true;
}

} // namespace kreisel

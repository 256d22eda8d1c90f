// The count-in and the time texts.
#include "transport/TimedStart.h"

#include "core/Text.h"

#include <algorithm>

namespace kreisel {

TimedStart::TimedStart(Engine& engine, MainControls& controls, Clock& clock, EventPump& pump,
                       Metronome& metronome)
    : e_(engine), c_(controls), clock_(clock), pump_(pump), metronome_(metronome) {}

void TimedStart::AnyChange_PrepareTime() {
    const int position = c_.TBPrepareTime.Position();
    const bool beats = c_.CBPrepareTimeUseBPM.Checked();
    prepareTimeMs_ = beats ? position * 1000 * 60 / metronome_.Tempo() : position * 1000;
    if (!c_.CBUsePrepareTime.Checked()) {
        prepareTimeMs_ = 0;
        c_.LabelPrepareTimeVal.SetText("(-)");
    } else {
        c_.LabelPrepareTimeVal.SetText(std::to_string(position) + (beats ? " beats" : " Sek."));
    }
}

void TimedStart::ShowRemaining(int64_t now, int64_t end, bool beats) {
    // Negative whole seconds or beats counting up to -1; the division truncates toward zero.
    const int64_t left =
        beats ? DivTrunc64((now - end) * metronome_.Tempo(), 60000) - 1 : DivTrunc64(now - end, 1000) - 1;
    c_.LabelDisp1.SetText(std::to_string(left) + (beats ? " b" : " sec"));
}

bool TimedStart::Run(int ms) {
    if (running_) return false;
    const int64_t end = clock_.TickCount() + std::max(ms, 0);
    c_.LabelDisp1.SetText("-");
    c_.LabelDisp2.SetText("-");
    c_.LabelDisp1.SetColor(Colors::Black);
    c_.LabelDisp1.SetFontColor(Colors::White);
    running_ = true;
    if (c_.CBMetroSyncWithLoopStart.Checked()) metronome_.ResyncMetronom();

    for (int64_t now = clock_.TickCount(); now < end && running_; now = clock_.TickCount()) {
        // Sleep until something happens (a block, a key) or the display is due again, instead of
        // spinning: the sound card and the engine are served from inside the wait.
        pump_.WaitForEvents(static_cast<int>(std::min<int64_t>(end - now, kCountInWaitMs)));
        ShowRemaining(clock_.TickCount(), end, c_.CBPrepareTimeUseBPM.Checked());
    }

    // Back to the normal look; black writing on the black count-in background would hide the "-".
    c_.LabelDisp1.SetColor(std::nullopt);
    c_.LabelDisp1.SetFontColor(Colors::Black);
    c_.LabelDisp1.SetText("-");
    const bool ranToEnd = running_;
    running_ = false;
    if (e_.MetroOn && c_.CBMetroStopAtPrepareTimeEnd.Checked()) metronome_.StopMetronom();
    return ranToEnd;
}

std::string TimedStart::TimeText(int64_t lengthValues, int digits) const {
    return kreisel::TimeText(lengthValues, e_.ChannelCount(), e_.SampleRate, digits, DecimalSeparator);
}

std::string TimedStart::BeatText(int lengthValues) const {
    return kreisel::BeatText(lengthValues, e_.ChannelCount(), metronome_.HalfBeatFrames(), DecimalSeparator);
}

std::string TimedStart::TimeOrBeatText(int lengthValues, int digits) const {
    return c_.CBFixedLoopUseBPM.Checked() ? BeatText(lengthValues) : TimeText(lengthValues, digits);
}

std::string TimedStart::LoopTimeText(int loop) const {
    const int bytes =
        loop >= 1 && loop <= LoopSlotCapacity ? e_.Slots[static_cast<size_t>(loop)].LoopLenBytes : 0;
    return kreisel::LoopTimeText(bytes, e_.ChannelCount(), e_.SampleRate, DecimalSeparator);
}

void TimedStart::UpdateTimeLabels() {
    const bool fixed = c_.CBUseFixedLoopTime.Checked();
    const bool firstLoopRule = c_.CBMaxTimeLikeFirstLoop.Enabled() && c_.CBMaxTimeLikeFirstLoop.Checked();
    const bool noLoop = e_.LoopCount < 1;

    int32_t length = e_.PlayLoopEnd;
    if (firstLoopRule && e_.ActGroupIdx >= 0 && e_.ActGroupIdx <= LoopSlotCapacity) {
        // Only a first loop that holds something sets the length; before it exists the longest
        // possible loop stays.
        const int first = e_.GroupFirstLoop(e_.ActGroupIdx);
        if (first >= 1 && first <= LoopSlotCapacity && e_.Slots[static_cast<size_t>(first)].LoopLenBytes > 0)
            length = e_.Slots[static_cast<size_t>(first)].LoopLenBytes / 2;
    }
    const bool maxPossible = !fixed && (noLoop || !firstLoopRule);

    std::string maxText = TimeOrBeatText(length, 1);
    if (fixed)
        maxText = "fix " + maxText;
    else if (maxPossible && int64_t{length} + e_.BlockStoredValues() >= e_.MaxLoopBytes / 2)
        maxText = "max. " + maxText;
    c_.LabelMaxLoopTime.SetText(maxText);

    std::string valText;
    if (c_.PMDebugMode.Checked()) {
        const int blockValues = std::max(1, e_.BlockStoredValues());
        valText = TimeText(length, 3) + " (" + std::to_string(length / blockValues) + " Bl. / " +
                  std::to_string(int64_t{length} * 2) + " B.)";
    } else {
        valText = TimeText(length, 1);
    }
    if (maxPossible) valText = "max. " + valText;
    if (c_.CBFixedLoopUseBPM.Checked()) valText += " = " + BeatText(length);
    c_.LabelLoopTimeVal.SetText(valText);
}

} // namespace kreisel

// The metronome's tempo, its half-beat grid on the input frame count and its click.
#include "transport/Metronome.h"

#include "core/Text.h"
#include "engine/Gain.h"
#include "engine/LevelTables.h"

#include <algorithm>
#include <string>

namespace kreisel {

namespace {

// Calls add(index, value) for the frames of the block [first, last] that the square pulse starting
// at `start` covers: + level up to start + half, - level after that up to start + len.
template <typename Add>
void ForPulseFrames(int64_t start, int len, int half, int16_t level, int64_t first, int64_t last, Add add) {
    const int64_t from = std::max(start, first);
    const int64_t to = std::min(start + len, last);
    for (int64_t f = from; f <= to; ++f)
        add(static_cast<int>(f - first), f <= start + half ? level : static_cast<int16_t>(-level));
}

} // namespace

Metronome::Metronome(Engine& engine, MainControls& controls) : e_(engine), c_(controls) {
    ComputeClickLength();
    AnyChange_MetroLevel();
    AnyChange_MetroStopOptions();
    c_.TBMetroLevel.SetOnChange([this](Control&) { AnyChange_MetroLevel(); });
    c_.CBMetroStopAtPrepareTimeEnd.SetOnChange([this](Control&) { AnyChange_MetroStopOptions(); });
    // A double click on the tempo label is the quick way back to 60 BpM.
    c_.LabelMetronom.SetOnDblClick([this](Control&) { c_.TBMetronomBPM.SetPosition(60); });
}

int Metronome::Tempo() const {
    return std::max(1, c_.TBMetronomBPM.Position());
}

void Metronome::ComputeClickLength() {
    clickLenFrames_ = std::max(0, std::min(e_.SampleRate >> 11, e_.BlockBytes >> 2));
    clickHalfFrames_ = clickLenFrames_ >> 1;
}

void Metronome::AnyChange_MetronomBPM(const Control* sender) {
    if (sender == &c_.SBMetronom || sender == &c_.SBMetronomOpt) e_.MetroOn = !e_.MetroOn;
    ShowSwitches();

    const std::string text = std::to_string(Tempo()) + " BpM";
    c_.LabelMetronom.SetText(text);
    c_.PanelMetronomDisp.SetText(text);

    ComputeClickLength();
    // A sample rate too low for the tempo must not leave an empty half-beat: the grid would
    // never advance.
    halfBeatFrames_ = std::max(1, static_cast<int>(int64_t{e_.SampleRate} * 30 / Tempo()));

    if (OnTempoChanged) OnTempoChanged();
    if (e_.MetroOn && OnShowMetronomePage) OnShowMetronomePage();
}

void Metronome::AnyChange_MetroLevel() {
    clickLevel_ = ApplyGainSat(kClickBaseLevel, LevelOfPosition(AmpLevelTable, c_.TBMetroLevel.Position()));
}

void Metronome::AnyChange_MetroStopOptions() {
    c_.CBMetroStopAtLoopEnd.SetEnabled(!c_.CBMetroStopAtPrepareTimeEnd.Checked());
}

void Metronome::ShowSwitches() {
    {
        // The buttons only mirror the state; their own actions must not run again.
        SuppressActions quietA(c_.SBMetronom);
        SuppressActions quietB(c_.SBMetronomOpt);
        c_.SBMetronom.SetDown(e_.MetroOn);
        c_.SBMetronomOpt.SetDown(e_.MetroOn);
    }
    c_.PanelMetronomDisp.SetVisible(e_.MetroOn);
}

void Metronome::ShowBeat(bool white) {
    labelWhite_ = white;
    c_.LabelMetronom.SetColor(white ? std::optional<Rgb>(Colors::White) : std::nullopt);
    c_.PanelMetronomDisp.SetColor(white ? std::optional<Rgb>(Colors::White) : c_.LabelDisp1.Color());
}

void Metronome::SetClickFrameFromTick() {
    // The output click is heard one beat on, early by the output offset and by the block that
    // is still to be queued.
    nextClickFrame_ = nextTickFrame_ + 2 * int64_t{halfBeatFrames_} -
                      DivTrunc(e_.OffsetSmps, e_.ChannelCount()) - e_.BlockValues() / 2;
}

void Metronome::HalfBeatStep(int /*frames*/) {
    const int64_t counter = e_.InputFrameCounter;
    const int64_t half = halfBeatFrames_;
    if (counter - half < nextTickFrame_) return;
    // After a gap the grid moves on by whole half-beats and shows only the last of them.
    const int64_t steps = (counter - half - nextTickFrame_) / half + 1;
    nextTickFrame_ += steps * half;

    if (!labelWhite_) {
        ShowBeat(true);
        recordPending_ = e_.MetroOn;
        outputPending_ = e_.MetroOn;
        SetClickFrameFromTick();
        if (e_.MetroOn && OnTick) OnTick();
    } else {
        ShowBeat(false);
    }
}

void Metronome::AddClick(int frames, int16_t* l, int16_t* r, int32_t* monL, int32_t* monR) {
    if (frames <= 0) return;
    const int64_t last = e_.InputFrameCounter;
    const int64_t first = last - frames + 1;

    if (recordPending_ && c_.CBMetronomRecord.Checked()) {
        ForPulseFrames(nextTickFrame_, clickLenFrames_, clickHalfFrames_, clickLevel_, first, last,
                       [&](int i, int16_t v) {
                           l[i] =
                               static_cast<int16_t>(static_cast<uint16_t>(l[i]) + static_cast<uint16_t>(v));
                           r[i] =
                               static_cast<int16_t>(static_cast<uint16_t>(r[i]) + static_cast<uint16_t>(v));
                       });
        if (last > nextTickFrame_ + clickLenFrames_) recordPending_ = false;
    }
    if (outputPending_) {
        ForPulseFrames(nextClickFrame_, clickLenFrames_, clickHalfFrames_, clickLevel_, first, last,
                       [&](int i, int16_t v) {
                           monL[i] += v;
                           monR[i] += v;
                       });
        if (last > nextClickFrame_ + clickLenFrames_) outputPending_ = false;
    }
}

void Metronome::ResyncMetronom() {
    nextTickFrame_ = e_.InputFrameCounter - halfBeatFrames_;
    SetClickFrameFromTick();
    ShowBeat(false);
}

void Metronome::StopMetronom() {
    e_.MetroOn = false;
    ShowSwitches();
}

void Metronome::AlignTickToCounter() {
    nextTickFrame_ = e_.InputFrameCounter;
}

} // namespace kreisel

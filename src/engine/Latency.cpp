// Offset, output queue depth and the acoustic latency measurement.
#include "engine/Latency.h"
#include "core/ControlFactory.h"

#include "core/Text.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kreisel {

using namespace make;

namespace {

constexpr const char* kInstructions =
    "Halten Sie jetzt das Mikrofon (linker Kanal) direkt an den Lautsprecher !\n"
    "Achten Sie dabei auf eine ruhige Umgebung und sinnvolle Pegel-Einstellungen:\n"
    "Der Aufnahme-Peak-Level muß etwa 90% der Anzeige erreichen\n"
    "und der Kontroll-Zähler mit jedem Tick 1 hochzählen !!\n"
    "\n"
    "Die Latenz wird mit jedem Metronom-Tick berechnet und im roten Feld angezeigt !\n"
    "\n"
    "Zum Beenden klicken Sie auf die rote Anzeige !";

} // namespace

LatencyControls::LatencyControls(Form& f)
    : Owner(f),
      LabelAddOffsetCaption(Make(f, "LabelAddOffsetCaption", ControlKind::Label, "Offset - Samples:")),
      SEAddOffsetFrms(Number(f, "SEAddOffsetFrms", 0, 10000000, 4000)),
      CBManualAddOffsetFrms(Check(f, "CBManualAddOffsetFrms", "Ausgleich manuell einst.", false)),
      CBKorrOutSmps(Check(f, "CBKorrOutSmps", "Wiedergabe-Smps. synchronisieren", true)),
      LabelOptOutblocksDelayCaption(
          Make(f, "LabelOptOutblocksDelayCaption", ControlKind::Label, "Buffergröße:")),
      SEOptOutblocksDelay(Number(f, "SEOptOutblocksDelay", -3, LatencyCompensation::kMaxTargetDepth, 5)),
      LabelOffsetmSecCaption(Make(f, "LabelOffsetmSecCaption", ControlKind::Label, "kompens.Latenz:")),
      LabelOffsetmSec(Make(f, "LabelOffsetmSec", ControlKind::Label)),
      LabelKorrSmpsCaption(Make(f, "LabelKorrSmpsCaption", ControlKind::Label, "-/+:")),
      LabelKorrSmps(Make(f, "LabelKorrSmps", ControlKind::Label, "0/0")),
      LabelCalcOutCountCaption(Make(f, "LabelCalcOutCountCaption", ControlKind::Label, "int.Lat.:")),
      Label_Calc_Out_Count(Make(f, "Label_Calc_Out_Count", ControlKind::Label)),
      LabelOutCountCaption(Make(f, "LabelOutCountCaption", ControlKind::Label, "aktiv:")),
      LabelOutCount(Make(f, "LabelOutCount", ControlKind::Label)),
      ButtonCalcLatency(Make(f, "ButtonCalcLatency", ControlKind::Button, "Latenz akust. messen!")),
      LabelLatencyLevelCaption(Make(f, "LabelLatencyLevelCaption", ControlKind::Label, "Empf.")),
      TBLatencyLevel(Slider(f, "TBLatencyLevel", 0, 14, 10)),
      PanelLatencyLevel(Make(f, "PanelLatencyLevel", ControlKind::Panel, "10")),
      PanelLatency(Make(f, "PanelLatency", ControlKind::Panel, "Latenz")),
      LabelLatency(Hidden(Make(f, "LabelLatency", ControlKind::Label))),
      LabelLatencyCounter(Make(f, "LabelLatencyCounter", ControlKind::Label)) {}

LatencyCompensation::LatencyCompensation(Engine& engine, LatencyControls& controls, OutputQueueView& output,
                                         Dialogs& dialogs, LatencyMetronome metronome)
    : e_(engine), c_(controls), out_(output), dialogs_(dialogs), metronome_(std::move(metronome)) {
    c_.SEAddOffsetFrms.SetOnChange([this](Control&) { AnyChange_OffsetSmps(); });
    c_.SEOptOutblocksDelay.SetOnChange([this](Control&) { AnyOutblocksDelayChange(); });
    c_.CBManualAddOffsetFrms.SetOnChange([this](Control&) { AnyOutblocksDelayChange(); });
    c_.TBLatencyLevel.SetOnChange(
        [this](Control&) { c_.PanelLatencyLevel.SetText(std::to_string(c_.TBLatencyLevel.Position())); });
    c_.ButtonCalcLatency.SetOnClick([this](Control&) { ButtonCalcLatencyClick(); });
    c_.LabelLatency.SetOnClick([this](Control&) { LabelLatencyClick(); });
    c_.PanelLatency.SetOnClick([this](Control&) { LabelLatencyClick(); });
    e_.Switches.LatencyMeasuring = Measuring();
}

// ---------------------------------------------------------------------------------------------
// Offset

void LatencyCompensation::AnyChange_OffsetSmps() {
    const int64_t values = int64_t{c_.SEAddOffsetFrms.Value()} * e_.ChannelCount();
    e_.OffsetSmps = static_cast<int32_t>(std::clamp<int64_t>(values, 0, INT32_MAX / 4));
    c_.LabelOffsetmSec.SetText(
        TimeText(e_.OffsetSmps, e_.ChannelCount(), e_.SampleRate, 6, DecimalSeparator));
}

void LatencyCompensation::AnyOutblocksDelayChange() {
    const bool manual = c_.CBManualAddOffsetFrms.Checked();
    c_.SEAddOffsetFrms.SetEnabled(manual);
    if (!manual) {
        // The queue depth alone leaves what the device buffers itself uncompensated, which with
        // small blocks makes every overdub audibly late; so the device's latency is added. Once
        // blocks have played, the queue's measured delay replaces the depth: counted in blocks,
        // the queue holds anywhere within a block or two of it, depending on where the first
        // input block met the running output and on when the filling up looked.
        const int64_t measured = out_.QueueDelayFrames();
        const int64_t queue = measured >= 0 ? measured : int64_t{TargetDepth()} * e_.BlockFrames();
        const int64_t frames = queue + out_.DeviceLatencyFrames();
        SuppressActions quiet(c_.SEAddOffsetFrms);
        c_.SEAddOffsetFrms.SetValue(static_cast<int>(std::clamp<int64_t>(frames, 0, INT32_MAX)));
    }
    AnyChange_OffsetSmps();
}

// ---------------------------------------------------------------------------------------------
// Queue depth

void LatencyCompensation::DriftCorrectionDown() {
    const int queued = out_.QueuedOutBlocks();
    const int depth = TargetDepth();
    if (c_.CBKorrOutSmps.Checked() && depth + 1 < queued) {
        dropValues_ = (queued - depth) * kDropValuesPerBlock;
        korrRemoved_ += dropValues_;
        Update_LabelKorrSmps();
    } else {
        dropValues_ = 0;
    }
    out_.ShortenNextOutBlock(dropValues_);
}

void LatencyCompensation::FillUp(int tolerance) {
    if (!c_.CBKorrOutSmps.Checked()) return;
    const int queued = out_.QueuedOutBlocks();
    const int missing = TargetDepth() - queued;
    if (queued <= 0 || tolerance >= missing) return;
    AddSilentBlocks(missing);
}

void LatencyCompensation::CardStarted() {
    AnyOutblocksDelayChange();
    if (c_.CBKorrOutSmps.Checked()) AddSilentBlocks(TargetDepth() - out_.QueuedOutBlocks());
}

void LatencyCompensation::AddSilentBlocks(int count) {
    for (int i = 0; i < count; ++i) {
        e_.Create_OutEmptyBlock();
        if (!out_.WriteOutBlock(e_.OutBlock(), e_.OutBlockBytes())) break;
        korrAdded_ += e_.BlockValues();
        Update_LabelKorrSmps();
    }
}

void LatencyCompensation::Update_LabelKorrSmps() {
    c_.LabelKorrSmps.AssignText(FixedText().Append(korrRemoved_).Append("/").Append(korrAdded_).View());
}

void LatencyCompensation::ResetKorrCounters() {
    korrRemoved_ = 0;
    korrAdded_ = 0;
    Update_LabelKorrSmps();
}

void LatencyCompensation::RefreshInternalLatency() {
    const int ms = RoundHalfEven(out_.AverageLatencyMs());
    const auto tenthBlocks = static_cast<int>(std::lround(out_.AverageLatencyBlocks() * 10));
    // Called for every block: the text is only made anew when it changes.
    if (ms == shownMs_ && tenthBlocks == shownTenthBlocks_ && e_.SampleRate == shownRate_) return;
    shownMs_ = ms;
    shownTenthBlocks_ = tenthBlocks;
    shownRate_ = e_.SampleRate;
    const int64_t frames = int64_t{ms} * e_.SampleRate / 1000;
    FixedText text;
    text.Append(ms).Append(" ms = ").Append(frames).Append(" Frames  (~ ");
    text.AppendFixed(out_.AverageLatencyBlocks(), 1, DecimalSeparator).Append(" Bl.)");
    c_.Label_Calc_Out_Count.AssignText(text.View());
}

void LatencyCompensation::ShowOutCount() {
    c_.LabelOutCount.AssignText(FixedText().Append(out_.QueuedOutBlocks() - 1).View());
}

// ---------------------------------------------------------------------------------------------
// Acoustic measurement

void LatencyCompensation::ButtonCalcLatencyClick() {
    if (e_.Playing || e_.Recording) {
        dialogs_.ShowMessage("Stoppen Sie erst die Wiedergabe/Aufnahme!");
        return;
    }
    if (metronome_.PrepareForMeasurement) metronome_.PrepareForMeasurement();
    dialogs_.ShowMessage(kInstructions);
    c_.LabelLatency.SetVisible(true);
    e_.Switches.LatencyMeasuring = true;
    latencyCount_ = 0;
}

void LatencyCompensation::LabelLatencyClick() {
    c_.LabelLatency.SetVisible(false);
    e_.Switches.LatencyMeasuring = false;
    if (e_.MetroOn && metronome_.SwitchOff) metronome_.SwitchOff();
}

void LatencyCompensation::LatencyBlock(const int16_t* l, int frames) {
    if (!Measuring() || holdBlocks_ > 0 || l == nullptr) return;
    const int threshold = 1 << std::clamp(c_.TBLatencyLevel.Position(), 0, 14);
    for (int k = 1; k <= frames; ++k) {
        if (l[k - 1] <= threshold) continue;
        holdBlocks_ = kHoldBlocks;
        const int64_t t = e_.InputFrameCounter + k - frames;
        int64_t d = t - (metronome_.NextClickFrame ? metronome_.NextClickFrame() : 0);
        if (d < 0 && metronome_.HalfBeatFrames) d += 2 * int64_t{metronome_.HalfBeatFrames()};
        const double ms = static_cast<double>(d) * 1000.0 / std::max(e_.SampleRate, 1);
        c_.LabelLatency.SetText("Gemessene Latenz:\r\n" + FormatFloat("0.##0", ms, DecimalSeparator) +
                                " mSek.  =  " + std::to_string(d) + " Frames" + "\r\n" +
                                "(Peak-Diff.: " + std::to_string(t - lastPeakFrame_) + ")");
        ++latencyCount_;
        c_.LabelLatencyCounter.SetText(" " + std::to_string(latencyCount_) + " ");
        lastPeakFrame_ = t;
        return;
    }
}

void LatencyCompensation::LatencyBlockEnd() {
    if (holdBlocks_ > 0) --holdBlocks_;
}

} // namespace kreisel

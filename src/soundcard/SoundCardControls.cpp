// Creation of the sound-card window's controls with their captions, hints, ranges and initial
// values (which are also the defaults of the settings section).
#include "soundcard/SoundCardControls.h"
#include "core/ControlFactory.h"

namespace kreisel {

using namespace make;

namespace {

constexpr const char* kDeviceHint = "andere Sound-Karte wählen (nach Stop)";

} // namespace

SoundCardControls::SoundCardControls(Form& f)
    : Owner(f), CBxInDev(Make(f, "CBxInDev", ControlKind::ComboBox, "", kDeviceHint)),
      CBxOutDev(Make(f, "CBxOutDev", ControlKind::ComboBox, "", kDeviceHint)),
      LabelFreqCaption(Label(f, "LabelFreqCaption", "eingestellte Abt.Rate:")),
      SEFreq(Number(f, "SEFreq", 100, 100000, 44100)), LabelFreqUnit(Label(f, "LabelFreqUnit", "Hz")),
      LabelBlockCaption(Label(f, "LabelBlockCaption", "Blockgröße:")),
      SEMemBlockFrames(Number(f, "SEMemBlockFrames", 1, 50000, 1000)),
      LabelBlockUnit(Label(f, "LabelBlockUnit", "Samples")),
      LabelOutFreqDeviationCaption(
          Label(f, "LabelOutFreqDeviationCaption",
                "(nur bei speziellen Karten):   Wiedergabefreq.Korrektur. (Drift-Kompensation) :")),
      LabelOutFreqDeviationUnit(Label(f, "LabelOutFreqDeviationUnit", "= Aufn.-Frq. +")),
      SEOutFreqDeviation(Number(f, "SEOutFreqDeviation", -100000, 100000, 0)),
      CBUpdateCounters(Check(f, "CBUpdateCounters", "weitere Zähler aktivieren (erford.CPU-Zeit!):", true)),
      CBShowWaveErrors(
          Check(f, "CBShowWaveErrors", "Soundkarten-Fehler:             zusätzlich melden:", false)),
      LabelInfoRestart(Hidden(Label(
          f, "LabelInfoRestart", "Übernahme dieser neuen Einstellung erfordert Stop und Re-Start der SK."))),
      LabelWaveFormat(Label(f, "LabelWaveFormat", "(-)")),
      MemoErrors(Make(f, "MemoErrors", ControlKind::TextEditor, "", "Löschen mit Doppelklick!")),
      ButtonSave(Make(f, "ButtonSave", ControlKind::Button, "Einstellungen speichern!")),
      ButtonClose(Make(f, "ButtonClose", ControlKind::Button, "Beenden")),
      ButtonStartStop(Make(f, "ButtonStartStop", ControlKind::Button, "Start")),
      ButtonResetCounters(Make(f, "ButtonResetCounters", ControlKind::Button, "Zähler zurücksetzen")),
      ButtonHardwareInfo(Make(f, "ButtonHardwareInfo", ControlKind::Button, "HardwareI-Info")),
      LabelActiveBuffersCaption(Label(f, "LabelActiveBuffersCaption", "Aktive Buffer:")),
      LabelInQueued(Label(f, "LabelInQueued", "(-)")), LabelOutQueued(Label(f, "LabelOutQueued", "(-)")),
      LabelBytesReceivedCaption(Label(f, "LabelBytesReceivedCaption", "Bytes empfangen:")),
      LabelBytesReceived(Label(f, "LabelBytesReceived", "(-)")),
      LabelSamplesTotalCaption(Label(f, "LabelSamplesTotalCaption", "Total:")),
      LabelSamplesTotal(Label(f, "LabelSamplesTotal", "(-)")),
      LabelCalcRateCaption(Label(f, "LabelCalcRateCaption", "Kalk.Abt.Rate (total):")),
      LabelCalcRate(Label(f, "LabelCalcRate", "(-)")),
      LabelInPerSecCaption(Label(f, "LabelInPerSecCaption", "Input ü.1Int.:")),
      LabelInPerSec(Label(f, "LabelInPerSec", "(-)")),
      LabelOutPerSecCaption(Label(f, "LabelOutPerSecCaption", "Ouput ü.1Int.:")),
      LabelOutPerSec(Label(f, "LabelOutPerSec", "(-)")),
      LabelInTotalCaption(Label(f, "LabelInTotalCaption", "In-total:")),
      LabelInTotal(Label(f, "LabelInTotal", "(-)")),
      LabelOutTotalCaption(Label(f, "LabelOutTotalCaption", "Out-total:")),
      LabelOutTotal(Label(f, "LabelOutTotal", "(-)")),
      LabelWavePosCaption(Label(f, "LabelWavePosCaption", "Wave-Pos. In/Out (Frms.)    //Diff.:")),
      LabelWavePos(Label(f, "LabelWavePos", "(-)")),
      LabelUsedTimeCaption(Label(f, "LabelUsedTimeCaption", "Used [mS/Bl.]:")),
      LabelUsedTime(Label(f, "LabelUsedTime", "(-)")) {}

std::array<Control*, 11> SoundCardControls::DisplayLabels() const {
    return {&LabelInQueued, &LabelOutQueued, &LabelBytesReceived, &LabelSamplesTotal,
            &LabelCalcRate, &LabelInPerSec,  &LabelOutPerSec,     &LabelInTotal,
            &LabelOutTotal, &LabelWavePos,   &LabelUsedTime};
}

} // namespace kreisel

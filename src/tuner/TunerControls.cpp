// Creation of the tuner's and the tone generator's controls with their captions, ranges and
// initial values (which are also the settings file's defaults).
#include "tuner/TunerControls.h"

#include "core/ControlFactory.h"

namespace kreisel {

using namespace make;

TunerControls::TunerControls(Form& f)
    : Owner(f), CBShowInputFreq(Check(f, "CBShowInputFreq", "Input-Frequenz", false)),
      SBIFMeasPause(Switch(f, "SBIFMeasPause", "&Hold", "Messung anhalten")),
      TBIFMeastime(Slider(f, "TBIFMeastime", -5, 5, -2, "Messdauer")),
      LabelIFMeastime(Label(f, "LabelIFMeastime")),
      TBIFSensitivity(Slider(f, "TBIFSensitivity", 0, 54, 24, "Mindest-Signalpegel")),
      LabelIFSensitivity(Label(f, "LabelIFSensitivity")),
      TBIFTrigLevel(Slider(f, "TBIFTrigLevel", 0, 54, 18, "Trigger-Pegel")),
      LabelTrigLevel(Label(f, "LabelTrigLevel")),
      CBIFTrigLevelAuto(Check(f, "CBIFTrigLevelAuto", "automat.", true)),
      TBMaxIF(Slider(f, "TBMaxIF", 30, 100, 30, "höchste Frequenz")), LabelMaxIF(Label(f, "LabelMaxIF")),
      CBMaxIFAuto(Check(f, "CBMaxIFAuto", "automat.", true)),
      CBIntegration(Check(f, "CBIntegration", "Signal glätten (integr.):", true)),
      CBIntegAutoSmps(Check(f, "CBIntegAutoSmps", "automat.", true)),
      SEMaxSiNr(Number(f, "SEMaxSiNr", 1, 10000, 20)),
      CBUseFFT(Check(f, "CBUseFFT", "m.FFT (stabiler, etwas ungenauer als Ampl.Trigg.)", true)),
      CBShowFFT(Check(f, "CBShowFFT", "FFT zeichnen", false)),
      CBFFTxyZoom(Check(f, "CBFFTxyZoom", "use x,y-zoom", false)),
      CBPaintWave(Check(f, "CBPaintWave", "Wellen zeichn.:", true)),
      SEIFWaveCount(Number(f, "SEIFWaveCount", 1, 1000, 2)),
      TBXZoom(Slider(f, "TBXZoom", -55, 50, 0, "X-Zoom")), LabelXZoom(Label(f, "LabelXZoom")),
      CBXZoomAuto(Check(f, "CBXZoomAuto", "automat.", true)),
      TBYZoom(Slider(f, "TBYZoom", -5, 100, 0, "Y-Zoom")), LabelYZoom(Label(f, "LabelYZoom")),
      CBYZoomAuto(Check(f, "CBYZoomAuto", "automat.", true)), LabelPBXZoom(Label(f, "LabelPBXZoom")),
      LabelPBYZoom(Label(f, "LabelPBYZoom")), SEFreqDec(Number(f, "SEFreqDec", 0, 3, 3)),
      SECentDec(Number(f, "SECentDec", 0, 3, 1)),
      SEMinStabilityCount(Number(f, "SEMinStabilityCount", 1, 100, 6)),
      TBStabilityTolerance(Slider(f, "TBStabilityTolerance", 0, 100, 10, "Toleranz der Stabilität")),
      LabelStabilityCentTolerance(Label(f, "LabelStabilityCentTolerance")),
      LabelFFTFirstPeak(Label(f, "LabelFFTFirstPeak", "FFT bei: 1.Peak mind. 40%")),
      LabelMinSmpsOverMin(Label(f, "LabelMinSmpsOverMin", "Anz. Sig.ü.Schwelle mind. 20%)")),

      LabelMeasNr(Label(f, "LabelMeasNr", "(-)")),
      LabelInputFreqHz(Label(f, "LabelInputFreqHz", "FFT:    (-)")),
      LabelInputFreqAsNote(Label(f, "LabelInputFreqAsNote", "(-)")),
      LabelInputFreqDevCent(Label(f, "LabelInputFreqDevCent", "(-)")),
      LabelMeasuring(Label(f, "LabelMeasuring", "Messung")),
      LabelStability(Label(f, "LabelStability", "stabil")), PanelLeds(Panel(f, "PanelLeds")),
      PBDevLeds(Label(f, "PBDevLeds", "", ControlKind::PaintBox)),
      PBInputWave(Label(f, "PBInputWave", "", ControlKind::PaintBox)),

      CBShowMemoMeas(Check(f, "CBShowMemoMeas", "Liste", true)),
      CBAutoMeasToMemo(Check(f, "CBAutoMeasToMemo", "&automat. bei stab.", true)),
      CBAutoMeasToMemoOnlyOnce(Check(f, "CBAutoMeasToMemoOnlyOnce", "immer nur 1 mal !", true)),
      CBSupressSameLines(Check(f, "CBSupressSameLines", "gl.Zeil.unterdrück.", true)),
      ButtonMeasToMemo(Button(f, "ButtonMeasToMemo", "zu MemoListe!")),
      ButtonMemoMeasClear(Button(f, "ButtonMemoMeasClear", "Clear")),
      ButtonMemoMeasCopyAll(Button(f, "ButtonMemoMeasCopyAll", "Copy All")),
      ButtonMemoMeasCopySel(Button(f, "ButtonMemoMeasCopySel", "Copy Sel")),
      MemoMeas(Label(f, "MemoMeas", "", ControlKind::TextEditor)),
      CBControlGenFreq(Check(f, "CBControlGenFreq", "Stimm-Ton nachziehen", false)),

      SBCalibration(Switch(f, "SBCalibration", "Calibration-Scan")),
      EditCalibStartFreq(Label(f, "EditCalibStartFreq", "20.0", ControlKind::Edit)),

      SBGenerator(Switch(f, "SBGenerator", "440 Hz", "Stimm-Ton ein/aus")),
      SBGeneratorOpt(Switch(f, "SBGeneratorOpt", "Stimm-Ton", "Stimm-Ton ein/aus")),
      EditGenFreq(Label(f, "EditGenFreq", "440", ControlKind::Edit)),
      UpDownGenFreq(Number(f, "UpDownGenFreq", 1, 20000, 440)),
      TBGenFreqTon(Slider(f, "TBGenFreqTon", 0, 12, 9, "Ton")),
      TBGenFreqOctave(Slider(f, "TBGenFreqOctave", 0, 12, 6, "Oktave")),
      EditBaseFrequency(Label(f, "EditBaseFrequency", "440", ControlKind::Edit)),
      UpDownBaseFreq(Number(f, "UpDownBaseFreq", 1, 20000, 440)),
      TBGenerLevel(Slider(f, "TBGenerLevel", 0, 16, 4, "Lautstärke des Stimm-Tons")),
      PanelGenerLevel(Panel(f, "PanelGenerLevel", "0 dB")),
      CBGeneratorRecord(Check(f, "CBGeneratorRecord", "auch aufnehmen", false)),
      LabelFreqOrNote(Label(f, "LabelFreqOrNote", "440 Hz")), LabelDiffCent(Label(f, "LabelDiffCent", "+-0")),
      ButtonWinMixerRecord(Button(f, "ButtonWinMixerRecord", "Mixer Aufn.", "System-Mixer: Aufnahme")),
      ButtonWinMixerPlay(Button(f, "ButtonWinMixerPlay", "Mixer Wiederg.", "System-Mixer: Wiedergabe")) {
    TBIFMeastime.SetOrientation(Orientation::Horizontal);
    TBIFSensitivity.SetOrientation(Orientation::Horizontal);
    TBIFTrigLevel.SetOrientation(Orientation::Horizontal);
    TBMaxIF.SetOrientation(Orientation::Horizontal);
    TBXZoom.SetOrientation(Orientation::Horizontal);
    TBYZoom.SetOrientation(Orientation::Horizontal);
    TBStabilityTolerance.SetOrientation(Orientation::Horizontal);
    TBGenFreqTon.SetOrientation(Orientation::Horizontal);
    TBGenFreqOctave.SetOrientation(Orientation::Horizontal);
    TBGenerLevel.SetOrientation(Orientation::Horizontal);
    PanelLeds.SetColor(TunerColors::Silver);
}

} // namespace kreisel

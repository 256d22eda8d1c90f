// The controls of the tuner, the calibration scan and the tone generator. They belong to the main
// window's form (macros and the settings file find them there); the tuner window shows them.
#pragma once

#include "core/Control.h"
#include "core/Form.h"

namespace kreisel {

namespace TunerColors {
constexpr Rgb Silver{192, 192, 192};
constexpr Rgb Blue{0, 0, 255};
constexpr Rgb Grey{128, 128, 128}; // the inactive result labels
constexpr Rgb Teal{0, 128, 128};
constexpr Rgb Maroon{128, 0, 0};
constexpr Rgb InfoBk{255, 255, 225};
} // namespace TunerColors

struct TunerControls {
    explicit TunerControls(Form& form);
    TunerControls(const TunerControls&) = delete;
    TunerControls& operator=(const TunerControls&) = delete;

    Form& Owner;

    // Measurement
    Control& CBShowInputFreq;
    Control& SBIFMeasPause;
    Control& TBIFMeastime;
    Control& LabelIFMeastime;
    Control& TBIFSensitivity;
    Control& LabelIFSensitivity;
    Control& TBIFTrigLevel;
    Control& LabelTrigLevel;
    Control& CBIFTrigLevelAuto;
    Control& TBMaxIF;
    Control& LabelMaxIF;
    Control& CBMaxIFAuto;
    Control& CBIntegration;
    Control& CBIntegAutoSmps;
    Control& SEMaxSiNr;
    Control& CBUseFFT;
    Control& CBShowFFT;
    Control& CBFFTxyZoom;
    Control& CBPaintWave;
    Control& SEIFWaveCount;
    Control& TBXZoom;
    Control& LabelXZoom;
    Control& CBXZoomAuto;
    Control& TBYZoom;
    Control& LabelYZoom;
    Control& CBYZoomAuto;
    Control& LabelPBXZoom;
    Control& LabelPBYZoom;
    Control& SEFreqDec;
    Control& SECentDec;
    Control& SEMinStabilityCount;
    Control& TBStabilityTolerance;
    Control& LabelStabilityCentTolerance;
    Control& LabelFFTFirstPeak;
    Control& LabelMinSmpsOverMin;

    // Results
    Control& LabelMeasNr;
    Control& LabelInputFreqHz;
    Control& LabelInputFreqAsNote;
    Control& LabelInputFreqDevCent;
    Control& LabelMeasuring;
    Control& LabelStability;
    Control& PanelLeds;
    Control& PBDevLeds;
    Control& PBInputWave;

    // Measurement list
    Control& CBShowMemoMeas;
    Control& CBAutoMeasToMemo;
    Control& CBAutoMeasToMemoOnlyOnce;
    Control& CBSupressSameLines;
    Control& ButtonMeasToMemo;
    Control& ButtonMemoMeasClear;
    Control& ButtonMemoMeasCopyAll;
    Control& ButtonMemoMeasCopySel;
    Control& MemoMeas;
    Control& CBControlGenFreq;

    // Calibration scan
    Control& SBCalibration;
    Control& EditCalibStartFreq;

    // Tone generator
    Control& SBGenerator;
    Control& SBGeneratorOpt;
    Control& EditGenFreq;
    Control& UpDownGenFreq;
    Control& TBGenFreqTon;
    Control& TBGenFreqOctave;
    Control& EditBaseFrequency;
    Control& UpDownBaseFreq;
    Control& TBGenerLevel;
    Control& PanelGenerLevel;
    Control& CBGeneratorRecord;
    Control& LabelFreqOrNote;
    Control& LabelDiffCent;
    Control& ButtonWinMixerRecord;
    Control& ButtonWinMixerPlay;

    // Where the tuner's window stands; it has no form of its own, so its place is kept here.
    WindowGeometry Window;
};

} // namespace kreisel

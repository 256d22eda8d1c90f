// The controls of the sound-card window that the sound-card part reads and writes: devices, rate,
// block length, output rate correction, the counter displays, the error list and the buttons.
// The window's form creates them in itself; the sound-card part takes this set of references.
#pragma once

#include "core/Control.h"
#include "core/Form.h"

#include <array>

namespace kreisel {

struct SoundCardControls {
    explicit SoundCardControls(Form& form);
    SoundCardControls(const SoundCardControls&) = delete;
    SoundCardControls& operator=(const SoundCardControls&) = delete;

    Form& Owner;

    // Settings
    Control& CBxInDev;
    Control& CBxOutDev;
    Control& LabelFreqCaption;
    Control& SEFreq;
    Control& LabelFreqUnit;
    Control& LabelBlockCaption;
    Control& SEMemBlockFrames;
    Control& LabelBlockUnit;
    Control& LabelOutFreqDeviationCaption;
    Control& LabelOutFreqDeviationUnit;
    Control& SEOutFreqDeviation;
    Control& CBUpdateCounters;
    Control& CBShowWaveErrors;
    Control& LabelInfoRestart;
    Control& LabelWaveFormat;
    Control& MemoErrors;

    // Buttons
    Control& ButtonSave;
    Control& ButtonClose;
    Control& ButtonStartStop;
    Control& ButtonResetCounters;
    Control& ButtonHardwareInfo;

    // Displays, each after its caption label
    Control& LabelActiveBuffersCaption;
    Control& LabelInQueued;
    Control& LabelOutQueued;
    Control& LabelBytesReceivedCaption;
    Control& LabelBytesReceived;
    Control& LabelSamplesTotalCaption;
    Control& LabelSamplesTotal;
    Control& LabelCalcRateCaption;
    Control& LabelCalcRate;
    Control& LabelInPerSecCaption;
    Control& LabelInPerSec;
    Control& LabelOutPerSecCaption;
    Control& LabelOutPerSec;
    Control& LabelInTotalCaption;
    Control& LabelInTotal;
    Control& LabelOutTotalCaption;
    Control& LabelOutTotal;
    Control& LabelWavePosCaption;
    Control& LabelWavePos;
    Control& LabelUsedTimeCaption;
    Control& LabelUsedTime;

    // The display labels that show "(-)" until there is something to show.
    std::array<Control*, 11> DisplayLabels() const;
};

} // namespace kreisel

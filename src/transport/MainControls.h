// The controls of the main window that transport, tempo and the engine read and write. The main
// window's form creates them in itself; subsystems take this set of references, so they never
// depend on the window class.
#pragma once

#include "core/Control.h"
#include "core/Form.h"

namespace kreisel {

// Colours the displays use; an empty colour is the platform's neutral one.
namespace Colors {
constexpr Rgb Red{255, 0, 0};
constexpr Rgb Yellow{255, 255, 0};
constexpr Rgb Lime{0, 255, 0};
constexpr Rgb Black{0, 0, 0};
constexpr Rgb White{255, 255, 255};
constexpr Rgb Aqua{0, 255, 255};
} // namespace Colors

struct MainControls {
    explicit MainControls(Form& form);
    MainControls(const MainControls&) = delete;
    MainControls& operator=(const MainControls&) = delete;

    Form& Owner;

    // Transport
    Control& SBRecord;
    Control& SBPlay;
    Control& ButtonPause;
    Control& ButtonStop;
    Control& ButtonRepeatLoop;
    Control& ButtonResetAll;
    Control& SBStopAtLoopEnd;
    Control& SBPunch;
    Control& SBGroupBack;
    Control& SBGroupNext;
    Control& ToolLoopBack;
    Control& ToolLoopNext;
    Control& SBMonitor;
    Control& ToolInMute;
    Control& ToolOutMute;

    // Recording options and the loop-length rule
    Control& CBContinuousRecordingLoops;
    Control& ToolContinuousRecordingLoops;
    Control& CBReRecordCyclic;
    Control& ToolReRecordCyclic;
    Control& CBUseFixedLoopTime;
    Control& ToolUseFixedLoopTime;
    Control& CBFixedLoopUseBPM;
    Control& TBFixedLoopTime;
    Control& CBMaxTimeLikeFirstLoop;
    Control& CBFirstRecLoopEnd_AfterOffset;
    Control& CBHoldLoopLength;
    Control& CBPlayAsyncRingMode;
    Control& SEFixMaxLoopNr;
    Control& SEFixMaxLoopNrOfGroup;
    Control& CBPunchMixMode;
    Control& CBPunchMixReFadeAll;
    Control& CBFadeFirstLastBlock;
    Control& TBFadeFirstLastBlockSmps;
    Control& LabelFadeInOutVal;
    Control& CBCorrectDCDrift;
    Control& LabelDCDriftL;
    Control& LabelDCDriftR;

    // Prepare time
    Control& TBPrepareTime;
    Control& CBUsePrepareTime;
    Control& CBPrepareTimeUseBPM;
    Control& LabelPrepareTimeVal;

    // Metronome
    Control& SBMetronom;
    Control& SBMetronomOpt;
    Control& TBMetronomBPM;
    Control& TBMetroLevel;
    Control& CBMetroSyncWithLoopStart;
    Control& CBMetroStopAtLoopEnd;
    Control& CBMetroStopAtPrepareTimeEnd;
    Control& CBMetronomRecord;
    Control& LabelMetronom;
    Control& PanelMetronomDisp;
    Control& ButtonResetCounters;
    Control& LabelCounterIn;
    // "SK:" and the bytes received from the sound card since start.
    Control& LabelSndInputCount;

    // The sound card's start/stop, with the caption of the sound-card window's button
    Control& ButtonStartSoundKarte;

    // Tap tempo
    Control& SBTap;
    Control& SBTapOpt;
    Control& TBTapCount;
    Control& TBTapLevel;
    Control& CBTapCtrlInput;
    Control& CBTapCtrlKeys;
    Control& CBTapStartRecord;
    Control& CBTapStartPlay;
    Control& CBTapSetMetronom;
    Control& CBTapStartMetronom;
    Control& LabelTapFreq;
    Control& LabelToTapCount;
    Control& PanelTapFreqMean;
    Control& PanelTapLevelPercent;

    // Output lowering
    Control& CBUseLowerOutput;
    Control& TBLowerOutputPerLoop;
    Control& LabelLowerOutputPerLoop;
    Control& LabelLowerOutput;

    // Export of the output to a WAV file
    Control& PanelExport;
    Control& SBDoExport;
    Control& SBDoExportMarker;
    Control& SBFinishExport;
    Control& LabelExportSize;

    // Displays
    Control& LabelDisp1;
    Control& LabelDisp2;
    Control& PanelCountDown;
    Control& MemoLoops;
    Control& LabelLoopsInfos;
    Control& LabelMaxLoopTime;
    Control& LabelLoopTimeVal;
    Control& LabelMaxLoopSize;
    Control& LabelTotalMem;
    Control& LabelStatus;
    Control& PanelActLoopTime;
    Control& LabelUsedMemory;
    Control& PanelProgress;
    Control& LabelProgress;
    Control& ProgressBarLoop;
    Control& PanelPlayRec;
    Control& PanelNoSignal;
    Control& PMDebugMode;
    Control& PMShowOtherDisplays;
};

} // namespace kreisel

// Creation of the main window's transport, tempo and display controls with their captions,
// ranges and initial values (which are also the settings file's defaults).
#include "transport/MainControls.h"

#include "core/ControlFactory.h"

namespace kreisel {

using namespace make;

MainControls::MainControls(Form& f)
    : Owner(f), SBRecord(Switch(f, "SBRecord", "Aufnahme")),
      SBPlay(Switch(f, "SBPlay", "Wiedergabe", "Wiedergabe (ab nächster Loop)")),
      ButtonPause(Switch(f, "ButtonPause", "Pause/Weiter")), ButtonStop(Switch(f, "ButtonStop", "Stop")),
      ButtonRepeatLoop(Switch(f, "ButtonRepeatLoop", "wiederholen")),
      ButtonResetAll(Switch(f, "ButtonResetAll", "Neu")),
      SBStopAtLoopEnd(Switch(f, "SBStopAtLoopEnd", "Stop Loop-Ende",
                             "Wiedergabe-Stop an Loop-Ende, fixieren mit Rechts-Klick!")),
      SBPunch(Switch(f, "SBPunch", "Punch")), SBGroupBack(Switch(f, "SBGroupBack", "vorige Gruppe")),
      SBGroupNext(Switch(f, "SBGroupNext", "nächste Gruppe")),
      ToolLoopBack(Switch(f, "ToolLoopBack", "vorige Loop")),
      ToolLoopNext(Switch(f, "ToolLoopNext", "nächste Loop")), SBMonitor(Switch(f, "SBMonitor", "Monitor")),
      ToolInMute(Switch(f, "ToolInMute", "Mute Inp")), ToolOutMute(Switch(f, "ToolOutMute", "Mute Out")),

      CBContinuousRecordingLoops(Check(f, "CBContinuousRecordingLoops", "Serien-Aufnahme", true)),
      ToolContinuousRecordingLoops(Switch(f, "ToolContinuousRecordingLoops", "Serie")),
      CBReRecordCyclic(Check(f, "CBReRecordCyclic", "zykl.überschreiben", false)),
      ToolReRecordCyclic(Switch(f, "ToolReRecordCyclic", "zykl.")),
      CBUseFixedLoopTime(Check(f, "CBUseFixedLoopTime", "feste Loop-Länge:", true)),
      ToolUseFixedLoopTime(Switch(f, "ToolUseFixedLoopTime", "fest")),
      CBFixedLoopUseBPM(Check(f, "CBFixedLoopUseBPM", "[beats]", false)),
      TBFixedLoopTime(Slider(f, "TBFixedLoopTime", 0, 60, 3)),
      CBMaxTimeLikeFirstLoop(Check(f, "CBMaxTimeLikeFirstLoop", "1.Loop=Gruppenlänge", true)),
      CBFirstRecLoopEnd_AfterOffset(
          Check(f, "CBFirstRecLoopEnd_AfterOffset", "keine Timing-Korrektur", false)),
      CBHoldLoopLength(Check(f, "CBHoldLoopLength", "deaktiviert.: Länge beibehalten", true)),
      CBPlayAsyncRingMode(Check(f, "CBPlayAsyncRingMode", "Loop-Anfänge nicht synchronisieren", false)),
      SEFixMaxLoopNr(Number(f, "SEFixMaxLoopNr", 1, 32, 3)),
      SEFixMaxLoopNrOfGroup(Number(f, "SEFixMaxLoopNrOfGroup", 1, 32, 5)),
      CBPunchMixMode(Check(f, "CBPunchMixMode", "Mix-Mode", false)),
      CBPunchMixReFadeAll(Check(f, "CBPunchMixReFadeAll", "alte Daten re-faden", false)),
      CBFadeFirstLastBlock(Check(f, "CBFadeFirstLastBlock", "Fade 1.+letzter Bl. (Loop/Punch):", true)),
      TBFadeFirstLastBlockSmps(Slider(f, "TBFadeFirstLastBlockSmps", 0, 1000, 441, "mSek / Samples")),
      LabelFadeInOutVal(Label(f, "LabelFadeInOutVal")),
      CBCorrectDCDrift(Check(f, "CBCorrectDCDrift", "DC-Offset:  korrigieren", true)),
      LabelDCDriftL(Label(f, "LabelDCDriftL", "L=0")), LabelDCDriftR(Label(f, "LabelDCDriftR", "R=0")),

      TBPrepareTime(Slider(f, "TBPrepareTime", 0, 30, 5)),
      CBUsePrepareTime(Check(f, "CBUsePrepareTime", "Vorlauf anwenden:", false)),
      CBPrepareTimeUseBPM(Check(f, "CBPrepareTimeUseBPM", "[beats]", true)),
      LabelPrepareTimeVal(Label(f, "LabelPrepareTimeVal", "(-)")),

      SBMetronom(Switch(f, "SBMetronom", "Metronom")), SBMetronomOpt(Switch(f, "SBMetronomOpt", "Metronom")),
      TBMetronomBPM(Slider(f, "TBMetronomBPM", 1, 300, 120)),
      TBMetroLevel(Slider(f, "TBMetroLevel", 0, 16, 4)),
      CBMetroSyncWithLoopStart(Check(f, "CBMetroSyncWithLoopStart", "synchr. m. Loopanf.", true)),
      CBMetroStopAtLoopEnd(Check(f, "CBMetroStopAtLoopEnd", "Stop an Loop-Ende", true)),
      CBMetroStopAtPrepareTimeEnd(Check(f, "CBMetroStopAtPrepareTimeEnd", "Stop an Vorlauf-Ende", true)),
      CBMetronomRecord(Check(f, "CBMetronomRecord", "auch aufnehmen", false)),
      LabelMetronom(Label(f, "LabelMetronom", "120 BpM")),
      PanelMetronomDisp(Panel(f, "PanelMetronomDisp", "120 BpM")),
      ButtonResetCounters(Label(f, "ButtonResetCounters", "=> 0", ControlKind::Button)),
      LabelCounterIn(Label(f, "LabelCounterIn")), LabelSndInputCount(Label(f, "LabelSndInputCount")),
      ButtonStartSoundKarte(Label(f, "ButtonStartSoundKarte", "Start", ControlKind::Button)),

      SBTap(Switch(f, "SBTap", "Tap", "Tap ein/aus")), SBTapOpt(Switch(f, "SBTapOpt", "Tap", "Tap ein/aus")),
      TBTapCount(Slider(f, "TBTapCount", 2, 16, 4)), TBTapLevel(Slider(f, "TBTapLevel", 0, 32767, 8192)),
      CBTapCtrlInput(Check(f, "CBTapCtrlInput", "Ausl. akustisch (ü.Input)", true)),
      CBTapCtrlKeys(Check(f, "CBTapCtrlKeys", "Auslösung d. Tastendruck", true)),
      CBTapStartRecord(Check(f, "CBTapStartRecord", "Aufnahme starten", true)),
      CBTapStartPlay(Check(f, "CBTapStartPlay", "Wiedergabe start.", true)),
      CBTapSetMetronom(Check(f, "CBTapSetMetronom", "Metronom setzen", true)),
      CBTapStartMetronom(Check(f, "CBTapStartMetronom", "Metronom starten", true)),
      LabelTapFreq(Label(f, "LabelTapFreq", "? BpM")), LabelToTapCount(Label(f, "LabelToTapCount", "4 taps")),
      PanelTapFreqMean(Panel(f, "PanelTapFreqMean")), PanelTapLevelPercent(Panel(f, "PanelTapLevelPercent")),

      CBUseLowerOutput(Check(f, "CBUseLowerOutput", "Ausgang absenken", false)),
      TBLowerOutputPerLoop(Slider(f, "TBLowerOutputPerLoop", 0, 60, 3)),
      LabelLowerOutputPerLoop(Label(f, "LabelLowerOutputPerLoop")),
      LabelLowerOutput(Label(f, "LabelLowerOutput")),

      PanelExport(Panel(f, "PanelExport")), SBDoExport(Switch(f, "SBDoExport", ">>", "Export sofort")),
      SBDoExportMarker(Switch(f, "SBDoExportMarker", "Export", "übernehmen ab nächstem Loop-Ende")),
      SBFinishExport(Button(f, "SBFinishExport", "schließen !", "Export beenden und Datei wieder schließen")),
      LabelExportSize(Label(f, "LabelExportSize")),

      LabelDisp1(Label(f, "LabelDisp1", "-")), LabelDisp2(Label(f, "LabelDisp2", "A1")),
      PanelCountDown(Panel(f, "PanelCountDown")),
      MemoLoops(Label(f, "MemoLoops", "", ControlKind::TextEditor)),
      LabelLoopsInfos(Label(f, "LabelLoopsInfos")), LabelMaxLoopTime(Label(f, "LabelMaxLoopTime")),
      LabelLoopTimeVal(Label(f, "LabelLoopTimeVal")), LabelMaxLoopSize(Label(f, "LabelMaxLoopSize")),
      LabelTotalMem(Label(f, "LabelTotalMem")), LabelStatus(Label(f, "LabelStatus")),
      PanelActLoopTime(Panel(f, "PanelActLoopTime")), LabelUsedMemory(Label(f, "LabelUsedMemory", "0 KB")),
      PanelProgress(Panel(f, "PanelProgress")), LabelProgress(Label(f, "LabelProgress")),
      ProgressBarLoop(Label(f, "ProgressBarLoop", "", ControlKind::PaintBox)),
      PanelPlayRec(Panel(f, "PanelPlayRec")),
      PanelNoSignal(Panel(f, "PanelNoSignal", "!! Kein Soundk.-Signal !!")),
      PMDebugMode(Menu(f, "PMDebugMode", "Debug-Mode", false)),
      PMShowOtherDisplays(Menu(f, "PMShowOtherDisplays", "Loop-Position/Zeit", true)) {
    MemoLoops.SetLines({"Loops:"});
    PanelCountDown.SetVisible(false);
    PanelMetronomDisp.SetVisible(false);
    PanelTapFreqMean.SetVisible(false);
    PanelNoSignal.SetVisible(false);
    // The export controls are shown while an export file is open.
    PanelExport.SetVisible(false);
    SBDoExport.SetEnabled(false);
    SBDoExportMarker.SetEnabled(false);
    TBMetronomBPM.SetOrientation(Orientation::Horizontal);
}

} // namespace kreisel

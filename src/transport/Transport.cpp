// The transport operations: record, play, pause, stop, repeat, punch, seek, reset, and the
// loop ends the block processor reports.
#include "transport/Transport.h"

#include "core/Text.h"
#include "transport/Metronome.h"
#include "transport/TapTempo.h"
#include "transport/TimedStart.h"

#include <algorithm>
#include <cmath>

namespace kreisel {

Transport::Transport(Engine& engine, MainControls& controls, LoopRowControls& rows, Metronome& metronome,
                     TimedStart& timedStart, TapTempo& tap, Dialogs& dialogs, SystemInfo& systemInfo)
    : engine_(engine), c_(controls), rows_(rows), metronome_(metronome), timedStart_(timedStart), tap_(tap),
      dialogs_(dialogs), systemInfo_(systemInfo) {}

void Transport::SBRecordClick(bool byButton) {
    Engine& e = engine_;
    // Record while recording a later loop with multiple lengths: end at the current multiple.
    if (e.Recording && e.AllowMultipleLoopLength && ValidLoop(e.RecLoopNr) &&
        e.RecLoopNr != e.GroupFirstLoop(GroupOf(e.RecLoopNr))) {
        StretchToGroupMultiple();
        return;
    }
    // A re-take of a lone first loop starts it again from its beginning.
    if (e.LoopCount > 0 && !FixedLengthOn() && e.Recording && c_.ButtonRepeatLoop.Down() &&
        GroupHasOnlyRecLoop() && e.RecLoopNr == e.GroupFirstLoop(e.ActGroupIdx)) {
        LoopSlot& s = e.Slots[static_cast<size_t>(e.RecLoopNr)];
        e.PlayPos = 0;
        s.Buffer.Seek(0);
        s.LoopLenBytes = 0;
        s.AsyncPos = 0;
        c_.ButtonRepeatLoop.SetDown(false);
        c_.SBRecord.SetDown(true);
        e.FreeLengthRecording = true;
        e.NextToRecLoopNr = e.RecLoopNr + 1;
        e.LoopTailFadePending = false;
        return;
    }
    UnsavedRecordings = true;
    if (e.LastGroupIdx < 0) {
        StartA1(byButton);
        UpdateControls();
        return;
    }
    if (!Runs()) e.PlayPos = 0;

    bool close = false;
    if (byButton) {
        const bool bounded =
            FixedLengthOn() || !(e.RecLoopNr == e.GroupFirstLoop(e.ActGroupIdx) && GroupHasOnlyRecLoop());
        if (e.FreeLengthRecording && !FirstLoopRuleOn()) {
            close = true;
        } else if (e.Recording && bounded) {
            if (!FixedLengthOn() && !FirstLoopRuleOn()) {
                AnyChange_MaxLoopInputSmps();
            } else {
                e.RecordNextToo = !e.RecordNextToo;
                c_.SBRecord.SetDown(true);
                c_.SBPlay.SetDown(!e.RecordNextToo);
                UpdateControls();
                return;
            }
        } else if (Runs()) {
            close = true;
        }
    }
    if (!close) {
        e.Playing = true;
        if (!(e.Recording && e.FreeLengthRecording)) {
            if (OpenRequestedGroup()) {
                SetRecLoopNr(e.NextToRecLoopNr);
                DoRecordLoop();
            }
        } else {
            // The free-length loop ends here.
            e.Recording = false;
            WriteLoopLine(e.RecLoopNr);
            e.RecordArmed = false;
            e.PlayLoopEnd = e.GroupLength(e.ActGroupIdx);
            if (ValidLoop(e.RecLoopNr))
                e.Slots[static_cast<size_t>(e.RecLoopNr)].LoopLastBlock =
                    e.PlayLoopEnd / e.BlockStoredValues() - 1;
            e.FreeLengthRecording = false;
            e.FadeLoopTail(e.RecLoopNr);
            e.OutputFadeIn = true;
        }
        UpdateControls();
        return;
    }
    // Close the free-length loop, or arm (disarm) the recording at the next loop end.
    e.Playing = true;
    if (e.FreeLengthRecording) CloseFreeLengthLoop();
    e.RecordArmed = e.Recording || !e.RecordArmed;
    e.MuteNextRecLoop = e.RecordArmed;
    timedStart_.UpdateTimeLabels();
    UpdateControls();
}

void Transport::StartA1(bool /*byButton*/) {
    Engine& e = engine_;
    if (timedStart_.Running()) {
        // A second press during the count-in aborts it.
        timedStart_.Abort();
        c_.LabelDisp1.SetFontColor(Colors::Red);
        c_.LabelDisp1.SetText("-");
        c_.SBRecord.SetDown(false);
        return;
    }
    const int prepare = timedStart_.PrepareTimeMs();
    if (prepare > 0 && !timedStart_.Run(prepare)) {
        c_.SBRecord.SetDown(false);
        return;
    }
    if (PrefillOutputDelay) PrefillOutputDelay();
    OpenNewGroup();
    SetRecLoopNr(1);
    e.Playing = true;
    DoRecordLoop();
}

void Transport::RefuseRecording() {
    Engine& e = engine_;
    e.Recording = false;
    e.PlayThisBlock = false;
    dialogs_.ShowMessage("Maximalzahl der Loops erreicht !!");
    ButtonStopClick();
}

void Transport::DoRecordLoop() {
    Engine& e = engine_;
    if (e.RecLoopNr > e.MaxLoopCount || e.RecLoopNr > LoopSlotCapacity) {
        e.RecLoopNr = std::min(e.MaxLoopCount, LoopSlotCapacity);
        RefuseRecording();
        return;
    }
    if (!ValidLoop(e.RecLoopNr)) return;
    // A slot without a buffer would record nothing but silence.
    if (e.Slots[static_cast<size_t>(e.RecLoopNr)].Buffer.Capacity() == 0) {
        RefuseRecording();
        return;
    }
    WriteLoopLine(e.RecLoopNr, /*recordingStarts=*/true);
    e.PlayPos = 0;
    e.FirstPassAfterStart = true;
    LastRecLoopNr = e.RecLoopNr;
    e.Recording = true;
    e.Paused = false;
    e.MuteNextRecLoop = false;

    AnyChange_MaxLoopInputSmps();
    LoopSlot& s = e.Slots[static_cast<size_t>(e.RecLoopNr)];
    s.LoopLastBlock = e.PlayLoopEnd / e.BlockStoredValues() - 1;
    s.LoopLenBytes = 0;
    RecomputeMemorySum();
    c_.ButtonRepeatLoop.SetDown(false);
    c_.SBPlay.SetDown(!ContinuousOn());
    if (c_.CBMetroSyncWithLoopStart.Checked()) metronome_.ResyncMetronom();
    e.FreeLengthRecording =
        !FixedLengthOn() && (e.RecLoopNr == e.GroupFirstLoop(s.LoopGroup) || !FirstLoopRuleOn());
    if (TellMixer) TellMixer(e.ActGroupIdx, e.RecLoopNr);
}

void Transport::SBPlayClick(bool byButton) {
    Engine& e = engine_;
    if (e.Recording) return;
    if (e.ActGroupIdx > 0 && CountLoops(e.ActGroupIdx) == 0) {
        const int wanted = e.ToGroupIdx;
        SetActGroupIDX(e.ActGroupIdx - 1);
        e.ToGroupIdx = wanted;
    }
    if (byButton && e.Playing) {
        if (PrefillOutputDelay) PrefillOutputDelay();
        e.Paused = !e.Paused;
        if (e.Paused && ResetOutputMeters) ResetOutputMeters();
    } else {
        RecomputeMemorySum();
        e.PlayPos = 0;
        e.FirstPassAfterStart = true;
        e.Playing = true;
        if (!e.Paused) {
            if (PrefillOutputDelay) PrefillOutputDelay();
            // The first block wraps at once, so playing starts at the next loop start.
            e.PlayPos = std::max(0, e.PlayLoopEnd - e.OffsetSmps);
        }
    }
    UpdateControls();
}

void Transport::ButtonPauseClick(const Control* sender) {
    Engine& e = engine_;
    if (e.Paused && timedStart_.PrepareTimeMs() >= 1) {
        Question q;
        q.caption = "Meldung";
        q.text = (sender != nullptr ? sender->Text() : c_.ButtonPause.Text()) + "\r\n" + " in noch Sek.:";
        q.buttons = DialogButtons::OkCancel;
        q.defaultResult = DialogResult::Ok;
        q.timeoutMs = timedStart_.PrepareTimeMs();
        if (dialogs_.Ask(q) != DialogResult::Ok) {
            UpdateControls();
            return;
        }
    }
    e.Paused = !e.Paused;
    if (e.Paused && ResetOutputMeters) ResetOutputMeters();
    UpdateControls();
}

void Transport::ButtonStopClick() {
    Engine& e = engine_;
    if (e.Recording && e.FreeLengthRecording) {
        CloseFreeLengthLoop();
        // The loop ends now, not at a later loop end: fade its tail at once, so that the mark
        // cannot fall on the next loop recorded.
        if (e.LoopTailFadePending) {
            e.LoopTailFadePending = false;
            e.FadeLoopTail(e.RecLoopNr);
        }
    }
    if (e.Recording) WriteLoopLine(e.RecLoopNr);
    e.Recording = e.Playing = e.Paused = e.RecordArmed = false;
    if (ResetOutputMeters) ResetOutputMeters();
    for (int m = 1; m <= LoopSlotCapacity; ++m)
        e.Slots[static_cast<size_t>(m)].AsyncPos = 0;
    if (CursorsToLastBlock) CursorsToLastBlock();
    e.PlayPos = 0;
    if (!StopAtLoopEndFixed) c_.SBStopAtLoopEnd.SetDown(false);
    e.Switches.StopAtLoopEnd = c_.SBStopAtLoopEnd.Down();
    UpdateControls();
}

void Transport::ButtonRepeatLoopClick() {
    Engine& e = engine_;
    c_.SBGroupBack.SetDown(false);
    c_.SBGroupNext.SetDown(false);
    e.ToGroupIdx = e.ActGroupIdx;
    if (e.NextToRecLoopNr == LastRecLoopNr) {
        e.NextToRecLoopNr = savedNextToRecLoopNr_;
        c_.ButtonRepeatLoop.SetDown(false);
    } else {
        savedNextToRecLoopNr_ = e.NextToRecLoopNr;
        e.NextToRecLoopNr = LastRecLoopNr;
        c_.ButtonRepeatLoop.SetDown(true);
    }
    c_.SBRecord.SetEnabled(true);
    UpdateControls();
}

void Transport::SBStopAtLoopEndClick() {
    engine_.FirstPassAfterStart = false;
    if (!c_.SBStopAtLoopEnd.Down()) StopAtLoopEndFixed = false;
    engine_.Switches.StopAtLoopEnd = c_.SBStopAtLoopEnd.Down();
}

void Transport::SBStopAtLoopEndRightClick() {
    StopAtLoopEndFixed = !StopAtLoopEndFixed;
    if (StopAtLoopEndFixed) c_.SBStopAtLoopEnd.SetDown(true);
    engine_.Switches.StopAtLoopEnd = c_.SBStopAtLoopEnd.Down();
}

void Transport::ToolContinuousRecordingLoopsClick() {
    Engine& e = engine_;
    {
        SuppressActions quiet(c_.CBContinuousRecordingLoops);
        c_.CBContinuousRecordingLoops.SetChecked(c_.ToolContinuousRecordingLoops.Down());
    }
    e.Switches.ContinuousRecordingLoops = c_.ToolContinuousRecordingLoops.Down();
    if (ShowRecordingPage) ShowRecordingPage();
    if (e.Switches.ContinuousRecordingLoops) c_.PanelCountDown.SetText("Serie");
    if (e.Recording) c_.SBPlay.SetDown(!ContinuousOn());
    UpdateControls();
}

void Transport::AnyChange_PunchClick(const Control* sender) {
    Engine& e = engine_;
    if (sender == &c_.SBPunch) {
        e.PunchOn = c_.SBPunch.Down();
        if (e.PunchOn) e.RecLoopNr = ActLoopNr;
    }
    if (!c_.SBPunch.Enabled()) e.PunchOn = false;
    e.Switches.PunchMixMode = c_.CBPunchMixMode.Checked();
    e.Switches.PunchMixReFadeAll = c_.CBPunchMixReFadeAll.Checked();
    e.Switches.FadeFirstLastBlock = c_.CBFadeFirstLastBlock.Checked();
    UpdateControls();
}

void Transport::PunchKeyDown() {
    Engine& e = engine_;
    if (!e.PunchOn || e.Recording || e.PunchActive || !ValidLoop(e.RecLoopNr)) return;
    e.PunchActive = true;
    e.PunchFadeIn = true;
    UnsavedRecordings = true;
    c_.LabelDisp1.SetFontColor(Colors::Red);
    UpdateControls();
}

void Transport::PunchKeyUp() {
    if (engine_.PunchActive) engine_.PunchFadeOut = true;
}

void Transport::Seek(int x, int width) {
    Engine& e = engine_;
    if (width <= 0) return;
    const auto target = static_cast<int64_t>(std::nearbyint(static_cast<double>(e.PlayLoopEnd) / width * x));
    int64_t pos = target >= e.PlayLoopEnd ? int64_t{e.PlayLoopEnd} - 2 : (target < 0 ? 0 : target);
    pos -= pos % e.BlockStoredValues();
    if (pos < 0) pos = 0;
    e.PlayPos = static_cast<int32_t>(pos);
    if (e.Recording && !e.Paused && ValidLoop(e.RecLoopNr))
        e.Slots[static_cast<size_t>(e.RecLoopNr)].LoopLenBytes = 2 * e.PlayPos;
}

void Transport::SeekMouseDown(int x, int width) {
    seeking_ = true;
    Seek(x, width);
}

void Transport::SeekMouseMove(int x, int width) {
    if (seeking_) Seek(x, width);
}

void Transport::SeekMouseUp() {
    seeking_ = false;
}

void Transport::CBPlayAsyncRingModeClick() {
    engine_.SetAsyncRingMode(c_.CBPlayAsyncRingMode.Checked());
}

bool Transport::SequenceKeyRecords() {
    Engine& e = engine_;
    const bool lonePlayedFirst = !e.Playing && c_.ButtonRepeatLoop.Down() && ValidLoop(LastRecLoopNr) &&
                                 LastRecLoopNr == e.GroupFirstLoop(GroupOf(LastRecLoopNr)) &&
                                 CountLoops(GroupOf(LastRecLoopNr)) == 1;
    if (e.LastGroupIdx < 0 || (e.ToGroupIdx > e.LastGroupIdx && !Runs()) || e.FreeLengthRecording ||
        lonePlayedFirst) {
        SBRecordClick(true);
        return true;
    }
    return false;
}

bool Transport::OtherKeyDown(int virtualKey) {
    if (virtualKey != 16 && virtualKey != 17 && virtualKey != 18 && timedStart_.Running()) {
        timedStart_.Abort();
        return true;
    }
    return false;
}

void Transport::ButtonResetAllClick() {
    if (UnsavedRecordings) {
        Question q;
        q.caption = "Meldung";
        q.text = "Bisherige Aufnahmen speichern?";
        q.buttons = DialogButtons::OkNoCancel;
        q.defaultResult = DialogResult::Cancel;
        q.timeoutMs = 6000;
        q.icon = DialogIcon::Question;
        switch (dialogs_.Ask(q)) {
        case DialogResult::Ok:
            // Nothing is thrown away unless it was saved.
            if (!SaveSession || !SaveSession()) return;
            break;
        case DialogResult::No:
            break;
        default:
            return;
        }
    }
    ResetAll();
}

void Transport::ResetAll() {
    Engine& e = engine_;
    if (BeforeResetAll) BeforeResetAll();
    e.Recording = e.Playing = e.Paused = false;
    e.PunchOn = e.PunchActive = e.PunchFadeIn = e.PunchFadeOut = false;
    e.RecordArmed = e.RecordNextToo = e.FreeLengthRecording = false;
    e.MuteNextRecLoop = e.LoopTailFadePending = e.OutputFadeIn = false;
    if (timedStart_.Running()) timedStart_.Abort();
    UnsavedRecordings = false;
    e.ResetStore();
    LastRecLoopNr = -1;
    ActLoopNr = -1;
    e.ToGroupIdx = 0;
    e.FirstPassAfterStart = true;
    StopAtLoopEndFixed = false;
    c_.SBStopAtLoopEnd.SetDown(false);
    e.Switches.StopAtLoopEnd = false;
    c_.SBPunch.SetDown(false);
    c_.ButtonRepeatLoop.SetDown(false);
    c_.SBGroupBack.SetDown(false);
    c_.SBGroupNext.SetDown(false);
    c_.MemoLoops.SetLines({"Loops:"});
    for (int m = 1; m <= LoopSlotCapacity; ++m) {
        if (rows_.RenameRow) rows_.RenameRow(m, std::to_string(m));
        SetPlaySwitch(m, false);
        SetMarkSwitch(m, false);
        if (rows_.Mark[static_cast<size_t>(m)] != nullptr)
            rows_.Mark[static_cast<size_t>(m)]->SetText(std::to_string(m) + ":");
    }
    if (rows_.ArrangeRows) rows_.ArrangeRows();
    tap_.SwitchOff();
    metronome_.AlignTickToCounter();
    e.BuildFadeTables();
    AnyChange_FixMaxLoopNr(false);
    e.AnyChange_LowerOutput();
    RecomputeMemorySum();
    UpdateGroupButtons();
    UpdateControls();
}

void Transport::UpdateControls() {
    Engine& e = engine_;
    const bool freeLength = e.FreeLengthRecording;
    UpdateSBRecordNextAndPlayAll(false);
    e.FreeLengthRecording = freeLength;
    UpdateGroupButtons();

    c_.SBRecord.SetDown(e.Recording || e.RecordArmed);
    c_.ButtonPause.SetEnabled(e.RecLoopNr >= 1);
    c_.ButtonPause.SetDown(e.Paused);
    c_.ButtonRepeatLoop.SetEnabled(LastRecLoopNr >= 1);
    c_.SBPlay.SetEnabled(e.LoopCount >= 1);
    c_.SBPunch.SetEnabled(e.LoopCount >= 1);
    if (!c_.SBPunch.Enabled()) e.PunchOn = false;
    if (!e.Recording) c_.SBPlay.SetDown(e.Playing && !e.Paused);
    c_.ButtonStop.SetEnabled(Runs());

    const bool countDown = (c_.SBRecord.Down() && (e.RecordNextToo || e.LoopCount == 0)) || ContinuousOn();
    c_.PanelCountDown.SetVisible(countDown);
    c_.PanelCountDown.SetColor(e.Recording ? Colors::Red : Colors::Yellow);

    if (e.Recording) {
        c_.LabelDisp1.SetColor(Colors::Red);
        c_.LabelDisp1.SetText(LoopName(e.RecLoopNr));
        c_.PanelPlayRec.SetText("A: " + LoopName(e.RecLoopNr));
    } else {
        c_.LabelDisp1.SetColor(e.RecordArmed ? Colors::Yellow : Colors::Lime);
        if (e.PunchActive)
            c_.LabelDisp1.SetText(LoopName(e.RecLoopNr) + (c_.CBPunchMixMode.Checked() ? "+p" : "=p"));
        else if (e.ActGroupIdx >= 0)
            c_.LabelDisp1.SetText(std::string(1, static_cast<char>('A' + e.ActGroupIdx)));
        else
            c_.LabelDisp1.SetText("-");
        c_.PanelPlayRec.SetText(
            e.Playing ? "W: " + std::string(1, static_cast<char>('A' + std::max(e.ActGroupIdx, 0))) : "");
    }
    if (ControlsRefreshed) ControlsRefreshed();
}

void Transport::LoopEndWhileRecording() {
    Engine& e = engine_;
    SetSBLoopsFromMarkers(e.ActGroupIdx);
    WriteLoopLine(e.RecLoopNr);
    if (e.MetroOn) {
        if (c_.CBMetroStopAtLoopEnd.Checked())
            metronome_.StopMetronom();
        else if (c_.CBMetroSyncWithLoopStart.Checked())
            metronome_.ResyncMetronom();
    }
    // Recording stops after the group's last allowed place or the last allowed loop, unless
    // cyclic overwrite goes round, or when Play asked to stop at this loop end.
    const int place = ValidLoop(e.RecLoopNr) ? PlaceInName(e.RecLoopNr) : 0;
    const bool full = (place == LoopsPerGroup() || e.RecLoopNr == MaxLoops()) && !CyclicOn();
    if (!full && !c_.SBPlay.Down()) {
        if (OpenRequestedGroup()) {
            SetRecLoopNr(e.NextToRecLoopNr);
            DoRecordLoop();
            e.MuteNextRecLoop = true;
        }
    } else {
        e.Recording = false;
        e.Playing = !c_.SBStopAtLoopEnd.Down();
        e.PlayThisBlock = e.Playing;
        if (!StopAtLoopEndFixed) c_.SBStopAtLoopEnd.SetDown(false);
        e.Switches.StopAtLoopEnd = c_.SBStopAtLoopEnd.Down();
        e.PlayPos = 0;
        e.FirstPassAfterStart = !c_.SBStopAtLoopEnd.Down();
        e.RecordArmed = false;
        UpdateControls();
        if (!FixedLengthOn() && !FirstLoopRuleOn()) e.PlayLoopEnd = e.GroupLength(e.ActGroupIdx);
    }
    if (ContinueWaitingMacrosForLoopend && ContinueWaitingMacrosForLoopend() && !e.Playing)
        e.PlayThisBlock = false;
}

void Transport::SetPlayLoopEnd() {
    Engine& e = engine_;
    e.FreeLengthRecording = false;
    if (e.MetroOn && c_.CBMetroStopAtLoopEnd.Checked()) metronome_.StopMetronom();
    e.PlayPos = 0;
    if (c_.CBMetroSyncWithLoopStart.Checked()) metronome_.ResyncMetronom();
    if (e.RecordArmed) SBRecordClick(false);
}

} // namespace kreisel

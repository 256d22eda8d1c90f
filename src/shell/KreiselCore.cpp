#include "shell/KreiselCore.h"

#include "core/Text.h"
#include "shell/FileTypeLink.h"
#include "transport/LatencyLink.h"

#include <algorithm>

namespace kreisel {

KreiselCore::KreiselCore(Host host)
    : host_(host), engine_(std::make_unique<Engine>()), fadersForm_(loops_),
      switches_(main_, forms_, options_), mixer_(*engine_, loops_), faders_(*engine_, loops_),
      meterControls_(loops_, main_), meters_(*engine_, loops_, meterControls_),
      metronome_(*engine_, main_), tap_(*engine_, main_, host.clock, metronome_),
      timedStart_(*engine_, main_, host.clock, host.pump, metronome_),
      transport_(*engine_, main_, loops_.Rows, metronome_, timedStart_, tap_, host.dialogs, host.systemInfo),
      soundCard_(*engine_, host.dialogs, host.clock, host.timers, host.pump), latencyControls_(main_),
      latency_(*engine_, latencyControls_, soundCard_.Card(), host.dialogs,
               MetronomeForLatency(*engine_, metronome_, main_)),
      exporter_(*engine_, main_, host.dialogs, host.systemInfo),
      importer_(*engine_, main_, transport_, host.dialogs),
      session_(*engine_, transport_, main_, loops_.Rows, loops_.ComboBoxInputMode, host.dialogs),
      loadSave_(main_, loadSaveForm_, session_, transport_, exporter_, importer_, host.dialogs) {
    engine_->SetHooks(this);
    forms_.Add(main_);
    forms_.Add(loops_);
    forms_.Add(macros_);
    forms_.Add(fadersForm_);
    forms_.Add(soundCard_);
    forms_.Add(options_);
    forms_.Add(loadSaveForm_);
    forms_.Add(mouseHelp_.Window);
    Wire();
    WireSessions();
    WireMacros();
    WireKeys();
    SyncEngineSwitches();
    generator_.dialogs = &host_.dialogs;
}

KreiselCore::~KreiselCore() {
    status_.Stop();
    exporter_.Finish();
    engine_->SetHooks(nullptr);
}

void KreiselCore::Start() {
    metronome_.AnyChange_MetronomBPM(nullptr);
    timedStart_.AnyChange_PrepareTime();
    tap_.AnyChange_Tap(nullptr);
    FadeLengthChanged();
    LowerOutputChanged();
    transport_.ResetAll();
    meters_.ApplySettings();
    latency_.AnyOutblocksDelayChange();
    mixer_.SetScrollTarget(0, -1);
    mixer_.Started = true;
    // The sample rate may have changed: the generator's period and the tuner's window follow it.
    generator_.SetFrequency(ParseNumber(tunerControls_.EditGenFreq.Text()).value_or(440));
    generator_.AnyChange_GenFreq(nullptr);
    tuner_.AnyIFMeasParamsChange(nullptr);
    exporter_.DecimalSeparator = timedStart_.DecimalSeparator;
    // The export's display and its end after a write error are served outside the block path.
    status_.EveryTick = [this] {
        exporter_.RefreshDisplay();
        midi_.Deliver(); // pedal keys also while no blocks flow
    };
    status_.RefreshPosition = [this] { PositionChanged(); };
    status_.SoundCardShown = [this](bool flowing) {
        const char* caption = flowing ? "Stop" : "Start";
        if (soundCard_.ButtonStartStop.Text() != caption) soundCard_.ButtonStartStop.SetText(caption);
    };
    status_.IdleFillUp = [this] { latency_.FillUp(0); };
    status_.MemPercent = [this] { return transport_.MemPercent; };
    status_.SystemInfoSeen = [this] { return main_.Visible(); };
    status_.CBShowSystemInfosClick();
    status_.Start();
    CheckFileTypeLink();
}

void KreiselCore::Wire() {
    TFormKreisel& m = main_;
    Transport& t = transport_;
    auto onClick = [](Control& c, std::function<void()> f) { c.SetOnClick([f](Control&) { f(); }); };
    auto onChange = [](Control& c, std::function<void()> f) { c.SetOnChange([f](Control&) { f(); }); };

    switches_.UpdateControls = [&t] { t.UpdateControls(); };
    switches_.ScrollStepsChanged = [this](int steps) { mixer_.SetScrollStepsPerMixer(steps); };
    mixer_.SetScrollStepsPerMixer(switches_.ScrollStepsPerMixer());

    onClick(m.SBRecord, [&t] { t.SBRecordClick(true); });
    onClick(m.SBPlay, [&t] { t.SBPlayClick(true); });
    onClick(m.ButtonPause, [&t, &m] { t.ButtonPauseClick(&m.ButtonPause); });
    onClick(m.ButtonStop, [&t] { t.ButtonStopClick(); });
    onClick(m.ButtonRepeatLoop, [&t] { t.ButtonRepeatLoopClick(); });
    onClick(m.ButtonResetAll, [&t] { t.ButtonResetAllClick(); });
    onClick(m.SBStopAtLoopEnd, [&t] { t.SBStopAtLoopEndClick(); });
    onClick(m.SBPunch, [&t, &m] { t.AnyChange_PunchClick(&m.SBPunch); });
    for (Control* c : {&m.CBPunchMixMode, &m.CBPunchMixReFadeAll, &m.CBFadeFirstLastBlock})
        onChange(*c, [&t, c] { t.AnyChange_PunchClick(c); });
    onClick(m.SBGroupBack, [&t, &m] { t.SBGroupClick(&m.SBGroupBack); });
    onClick(m.SBGroupNext, [&t, &m] { t.SBGroupClick(&m.SBGroupNext); });
    onClick(m.ToolLoopBack, [&t] { t.ToolLoopBackClick(); });
    onClick(m.ToolLoopNext, [&t] { t.ToolLoopNextClick(); });
    onClick(m.SBMonitor, [this] {
        engine_->MonitorMode = main_.SBMonitor.Down();
        transport_.UpdateControls();
    });
    onClick(m.ToolInMute, [this] { SyncEngineSwitches(); });
    onClick(m.ToolOutMute, [this] { SyncEngineSwitches(); });
    onChange(m.CBCorrectDCDrift, [this] {
        SyncEngineSwitches();
        latency_.AnyOutblocksDelayChange();
    });
    onChange(m.CBTapCtrlInput, [this] { SyncEngineSwitches(); });

    onChange(m.CBContinuousRecordingLoops, [this] {
        SuppressActions quiet(main_.ToolContinuousRecordingLoops);
        main_.ToolContinuousRecordingLoops.SetDown(main_.CBContinuousRecordingLoops.Checked());
        SyncEngineSwitches();
        transport_.UpdateControls();
    });
    onClick(m.ToolContinuousRecordingLoops, [&t] { t.ToolContinuousRecordingLoopsClick(); });
    for (Control* c : {&m.CBReRecordCyclic, &m.CBUseFixedLoopTime, &m.CBFixedLoopUseBPM,
                       &m.CBMaxTimeLikeFirstLoop, &m.CBFirstRecLoopEnd_AfterOffset, &m.TBFixedLoopTime})
        onChange(*c, [&t, c] { t.AnyChange_MaxLoopInputSmps(c); });
    for (Control* c : {&m.ToolUseFixedLoopTime, &m.ToolReRecordCyclic})
        onClick(*c, [&t, c] { t.AnyChange_MaxLoopInputSmps(c); });
    onChange(m.CBPlayAsyncRingMode, [&t] { t.CBPlayAsyncRingModeClick(); });
    onChange(m.SEFixMaxLoopNr, [&t] { t.AnyChange_FixMaxLoopNr(true); });
    onChange(m.SEFixMaxLoopNrOfGroup, [&t] { t.SEFixMaxLoopNrOfGroupChange(); });
    onChange(m.TBFadeFirstLastBlockSmps, [this] { FadeLengthChanged(); });
    onChange(m.CBUseLowerOutput, [this] { LowerOutputChanged(); });
    onChange(m.TBLowerOutputPerLoop, [this] { LowerOutputChanged(); });

    // Tempo
    for (Control* c : {&m.SBMetronom, &m.SBMetronomOpt})
        onClick(*c, [this, c] { metronome_.AnyChange_MetronomBPM(c); });
    onChange(m.TBMetronomBPM, [this, &m] { metronome_.AnyChange_MetronomBPM(&m.TBMetronomBPM); });
    onChange(m.TBMetroLevel, [this] { metronome_.AnyChange_MetroLevel(); });
    onChange(m.CBMetroStopAtPrepareTimeEnd, [this] { metronome_.AnyChange_MetroStopOptions(); });
    metronome_.OnTempoChanged = [this] {
        timedStart_.AnyChange_PrepareTime();
        transport_.AnyChange_MaxLoopInputSmps();
    };
    for (Control* c : {&m.TBPrepareTime, &m.CBUsePrepareTime, &m.CBPrepareTimeUseBPM})
        onChange(*c, [this] { timedStart_.AnyChange_PrepareTime(); });
    for (Control* c : {&m.SBTap, &m.SBTapOpt})
        onClick(*c, [this, c] { tap_.AnyChange_Tap(c); });
    onChange(m.TBTapLevel, [this, &m] { tap_.AnyChange_Tap(&m.TBTapLevel); });
    onChange(m.CBTapStartRecord, [this] { tap_.AnyChange_TapStartOptions(); });
    // A tapped start presses the buttons as the hand would: a disabled one does nothing.
    tap_.PressRecord = [&m] { m.SBRecord.UserClick(); };
    tap_.PressPlay = [&m] { m.SBPlay.UserClick(); };

    // The sound card and the latency compensation
    soundCard_.Card().OnStarted = [this] {
        latency_.CardStarted();
        main_.ButtonStartSoundKarte.SetText(soundCard_.ButtonStartStop.Text());
    };
    soundCard_.Card().OnDeviceLost = [this] { transport_.EndTakeOnDeviceLoss(); };
    soundCard_.Card().OnLatencyChanged = [this] { latency_.AnyOutblocksDelayChange(); };
    soundCard_.Card().OnFormatChanged = [this] {
        FadeLengthChanged();
        meters_.RecomputeFallStep();
        metronome_.AnyChange_MetronomBPM(nullptr);
    };
    transport_.PrefillOutputDelay = [this] { latency_.FillUp(0); };
    transport_.ControlsRefreshed = [this] { latency_.FillUp(); };
    onClick(m.ButtonResetCounters, [this] { ButtonResetCountersClick(); });
    onClick(m.ButtonStartSoundKarte, [this] { ButtonStartSoundKarteClick(); });

    // Export of the output
    onClick(m.SBDoExport, [this] { exporter_.SBDoExportClick(); });
    onClick(m.SBDoExportMarker, [this] { exporter_.SBDoExportMarkerClick(); });
    onClick(m.SBFinishExport, [this] { exporter_.Finish(); });
    transport_.BeforeResetAll = [this] {
        exporter_.Finish();
        meters_.Graphs.ForgetCursors();
        // A mode that waits in the loop mixer's box (from a mixer set loaded while there were
        // loops) takes effect with the reset that discards them.
        if (loops_.ComboBoxInputMode.ItemIndex() != engine_->InputMode) mixer_.SetInputMode();
    };

    // The loop mixer
    mixer_.ResetAll = [this] {
        transport_.ButtonResetAllClick();
        return engine_->LoopCount == 0 && !transport_.UnsavedRecordings;
    };
    mixer_.InputModeApplied = [this] {
        transport_.ResetAll();
        FadeLengthChanged();
        // The offset is set in frames but counts stored values, one or two per frame.
        latency_.AnyChange_OffsetSmps();
    };
    mixer_.OutputLoweringChanged = [this] { LowerOutputChanged(); };
    mixer_.ActivateLoop = [this](int loop) { transport_.SetNextToRecLoopNr(loop); };
    transport_.TellMixer = [this](int group, int loop) { mixer_.SetScrollTarget(group, loop); };
    loops_.Rows.ArrangeRows = [this] { mixer_.ArrangeRowsByGroup(); };
    loops_.Rows.SizeRowPanels = [this](int maxLoops) { mixer_.SizeRowPanels(maxLoops); };
    // The options window follows the metronome and the recording tool buttons.
    metronome_.OnShowMetronomePage = [this] { options_.CheckOptionsTabSheet(TFormOptions::PageTempo); };
    transport_.ShowRecordingPage = [this] { options_.CheckOptionsTabSheet(TFormOptions::PageRecording); };

    // Meters and graphs
    transport_.ResetOutputMeters = [this] { meters_.ResetOutLevelMeters(); };
    transport_.CursorsToLastBlock = [this] { meters_.Graphs.CursorsToLastBlock(); };
    meters_.Graphs.CommonLastBlock = [this] { return transport_.MaxLastBlock(); };
    session_.DrawLoopGraph = [this](int loop) { meters_.Graphs.DrawLoadedLoop(loop); };
    session_.AdaptGraphs = [this] { meters_.Graphs.RepaintAll(); };
    importer_.DrawLoopGraph = [this](int loop) { meters_.Graphs.DrawLoadedLoop(loop); };
    onClick(loops_.SBAllowMultipleLoopLength, [this] { AllowMultipleLoopLengthClick(); });
}

void KreiselCore::SyncEngineSwitches() {
    EngineSwitches& s = engine_->Switches;
    const TFormKreisel& m = main_;
    s.CorrectDCDrift = m.CBCorrectDCDrift.Checked();
    s.InMute = m.ToolInMute.Down();
    s.OutMute = m.ToolOutMute.Down();
    s.FadeFirstLastBlock = m.CBFadeFirstLastBlock.Checked();
    s.PunchMixMode = m.CBPunchMixMode.Checked();
    s.PunchMixReFadeAll = m.CBPunchMixReFadeAll.Checked();
    s.StopAtLoopEnd = m.SBStopAtLoopEnd.Down();
    s.ContinuousRecordingLoops = m.CBContinuousRecordingLoops.Checked();
    s.UseLowerOutput = m.CBUseLowerOutput.Checked();
    s.LowerOutputPerLoop = m.TBLowerOutputPerLoop.Position();
    s.TapCtrlInput = m.CBTapCtrlInput.Checked();
    {
        SuppressActions quiet(main_.ToolContinuousRecordingLoops);
        main_.ToolContinuousRecordingLoops.SetDown(s.ContinuousRecordingLoops);
    }
}

void KreiselCore::LowerOutputChanged() {
    SyncEngineSwitches();
    engine_->AnyChange_LowerOutput();
    LowerOutputLevelChanged();
}

void KreiselCore::LowerOutputLevelChanged() {
    const Engine& e = *engine_;
    const int p = main_.TBLowerOutputPerLoop.Position();
    const char sep = timedStart_.DecimalSeparator;
    main_.LabelLowerOutputPerLoop.SetText(FormatFloat("##0.###", (0 - p * 0.1) / 2, sep) + " dB pro Loop");
    main_.LabelLowerOutput.SetText(LevelText(-e.LowerOutputLevel, sep));
}

void KreiselCore::FadeLengthChanged() {
    Engine& e = *engine_;
    main_.TBFadeFirstLastBlockSmps.SetRange(0, e.BlockFrames());
    e.SetFadeLen(main_.TBFadeFirstLastBlockSmps.Position());
    const double ms = static_cast<double>(e.FadeLen * 1000 / e.ChannelCount()) / std::max(e.SampleRate, 1);
    main_.LabelFadeInOutVal.SetText(FormatFloat("0.0", ms, timedStart_.DecimalSeparator) +
                                    "mS=" + std::to_string(e.FadeLen) + " S.");
}

void KreiselCore::AllowMultipleLoopLengthClick() {
    Engine& e = *engine_;
    const bool on = loops_.SBAllowMultipleLoopLength.Down();
    if (on == e.AllowMultipleLoopLength) return;
    {
        SuppressActions quiet(main_);
        if (on) {
            savedFixedLength_ = main_.CBUseFixedLoopTime.Checked();
            savedFirstLoopRule_ = main_.CBMaxTimeLikeFirstLoop.Checked();
            main_.CBUseFixedLoopTime.SetChecked(false);
            main_.CBMaxTimeLikeFirstLoop.SetChecked(false);
        } else {
            main_.CBUseFixedLoopTime.SetChecked(savedFixedLength_);
            main_.CBMaxTimeLikeFirstLoop.SetChecked(savedFirstLoopRule_);
        }
    }
    e.AllowMultipleLoopLength = on;
    main_.CBUseFixedLoopTime.SetEnabled(!on);
    main_.CBMaxTimeLikeFirstLoop.SetEnabled(!on);
    transport_.AnyChange_MaxLoopInputSmps();
}

// -- Engine hooks

void KreiselCore::MetronomeStep(int frames) {
    metronome_.HalfBeatStep(frames);
}
void KreiselCore::SetPlayLoopEnd() {
    transport_.SetPlayLoopEnd();
}
void KreiselCore::LoopEndWhileRecording() {
    transport_.LoopEndWhileRecording();
}
void KreiselCore::ActivateGroup(int group) {
    transport_.SetActGroupIDX(group);
}
void KreiselCore::SetSBLoopsFromMarkers() {
    transport_.SetSBLoopsFromMarkers(engine_->ActGroupIdx);
}
void KreiselCore::ButtonStopClick() {
    transport_.ButtonStopClick();
}
void KreiselCore::TapInput(int16_t peakL) {
    tap_.InputPeak(peakL);
}
void KreiselCore::TappedStart() {
    tap_.CheckTappedStart();
}

void KreiselCore::MetronomeBlock(int frames, int16_t* l, int16_t* r, int32_t* monL, int32_t* monR) {
    metronome_.AddClick(frames, l, r, monL, monR);
}

void KreiselCore::ShowCountDown(int valuesLeft) {
    FixedText text;
    AppendTimeText(text, valuesLeft, engine_->ChannelCount(), engine_->SampleRate, 1,
                   timedStart_.DecimalSeparator);
    main_.PanelCountDown.AssignText(text.View());
}

void KreiselCore::LoopSwitchesChanged() {
    for (int n = 1; n <= LoopSlotCapacity; ++n) {
        Control& play = *loops_.Rows.Play[static_cast<size_t>(n)];
        const bool on = engine_->Rows[static_cast<size_t>(n)].LoopOn;
        SuppressActions quiet(play);
        play.SetDown(on);
        play.SetText(on ? ">>" : "");
    }
    engine_->AnyChange_LowerOutput();
}

void KreiselCore::WriteOutBlock(const int16_t* frames, int bytes) {
    soundCard_.Card().WriteOutBlock(frames, bytes);
    if (OutputSink) OutputSink(frames, bytes);
}

void KreiselCore::PositionChanged() {
    Engine& e = *engine_;
    if (main_.PanelNoSignal.Visible()) main_.PanelNoSignal.SetVisible(false);
    // Every block: the texts are built in place and only copied into storage they already have;
    // without the window nobody reads them (the status tick writes them once it opens).
    if (!main_.Visible()) return;
    if (main_.PMShowOtherDisplays.Checked()) {
        FixedText text;
        if (e.Recording) {
            const bool slot = e.RecLoopNr >= 1 && e.RecLoopNr <= LoopSlotCapacity;
            text.Append(transport_.LoopName(e.RecLoopNr)).Append(": ");
            AppendLoopTimeText(text, slot ? e.Slots[static_cast<size_t>(e.RecLoopNr)].LoopLenBytes : 0,
                               e.ChannelCount(), e.SampleRate, timedStart_.DecimalSeparator);
        } else {
            AppendTimeText(text, e.PlayPos, e.ChannelCount(), e.SampleRate, 3, timedStart_.DecimalSeparator);
        }
        main_.PanelActLoopTime.AssignText(text.View());
    }
    FixedText used;
    if (e.RecLoopNr < 0) {
        used.Append("0");
    } else {
        int64_t bytes = transport_.MemorySum;
        if (e.RecLoopNr > 0 && e.RecLoopNr <= LoopSlotCapacity)
            bytes += e.Slots[static_cast<size_t>(e.RecLoopNr)].LoopLenBytes;
        used.Append(bytes >> 10);
    }
    main_.LabelUsedMemory.AssignText(used.Append(" KB").View());
}

void KreiselCore::ShowDCOffset(int32_t l, int32_t r) {
    // Every block, so only while the window shows it: the next block fills it in once it opens.
    if (!main_.Visible()) return;
    main_.LabelDCDriftL.AssignText(FixedText().Append("L=").Append(l).View());
    main_.LabelDCDriftR.AssignText(FixedText().Append("R=").Append(r).View());
}

void KreiselCore::StepScroll() {
    mixer_.StepScrollToGroupIDXOrLoopNr(1);
}
void KreiselCore::OutputDriftCorrection() {
    latency_.DriftCorrectionDown();
}
void KreiselCore::LatencyBlock(const int16_t* l, int frames) {
    latency_.LatencyBlock(l, frames);
}
void KreiselCore::LatencyBlockEnd() {
    latency_.LatencyBlockEnd();
}
void KreiselCore::RefreshLatencyLabel() {
    latency_.RefreshInternalLatency();
}
void KreiselCore::InputBytesReceived(int64_t totalBytes) {
    if (!soundCard_.CBUpdateCounters.Checked() ||
        options_.PageControlOptions.ItemIndex() != TFormOptions::PageSoundCard)
        return;
    main_.LabelSndInputCount.AssignText(FixedText().Append("SK:").Append(totalBytes).View());
}

void KreiselCore::CountersChanged(int bytes) {
    // Every block, so only while the window shows it: the next block fills it in once it opens.
    if (options_.Visible()) latency_.ShowOutCount();
    if (main_.PMDebugMode.Checked()) ShowCounterIn(bytes);
}

// "blocks / bytes", and with the bytes of the block just processed " (n B.)".
void KreiselCore::ShowCounterIn(int bytes) {
    const Engine& e = *engine_;
    FixedText text;
    text.Append(e.BlockCounter).Append(" / ").Append(e.InputFrameCounter * e.ChannelCount() * 2);
    if (bytes >= 0) text.Append(" (").Append(bytes).Append(" B.)");
    main_.LabelCounterIn.AssignText(text.View());
}

void KreiselCore::ButtonResetCountersClick() {
    Engine& e = *engine_;
    e.BlockCounter = 0;
    e.InputFrameCounter = 0;
    metronome_.ResyncMetronom();
    e.PlayPos = 0;
    e.FirstPassAfterStart = true;
    ShowCounterIn(-1);
    latency_.ResetKorrCounters();
}

void KreiselCore::ButtonStartSoundKarteClick() {
    engine_->InPrcBlock = false;
    soundCard_.ButtonStartStopClick();
    main_.ButtonStartSoundKarte.SetText(soundCard_.ButtonStartStop.Text());
    latency_.AnyOutblocksDelayChange();
}

void KreiselCore::InputMeters(int16_t peakL, int16_t peakR) {
    meters_.FeedBlock(LevelMeters::Input, peakL, peakR);
}
void KreiselCore::OutputMeters(int32_t peakL, int32_t peakR) {
    meters_.FeedBlock(LevelMeters::Output, peakL, peakR);
}
void KreiselCore::PaintRecordGraph(int loop, int point, int16_t peakL, int16_t peakR) {
    meters_.Graphs.RecordPoint(loop, point, peakL, peakR);
}
void KreiselCore::MoveLoopCursor(int loop, int point, bool marked) {
    meters_.Graphs.PlayCursor(loop, point, marked);
}
void KreiselCore::MoveGroupCursors(int group, int point) {
    meters_.Graphs.GroupCursors(group, point);
}

void KreiselCore::ExportBlock(const int16_t* frames, int bytes) {
    exporter_.ExportBlock(frames, bytes);
}
void KreiselCore::ExportSwitchFollowsMarker(bool down) {
    exporter_.SwitchFollowsMarker(down);
}

void KreiselCore::WireMacros() {
    MacroInterpreter& m = macros_.Interpreter;
    // The block processor's loop end while recording and the metronome's ticks wake the macros
    // waiting for them; the cycle-end wrap and the block end come through the engine hooks.
    transport_.ContinueWaitingMacrosForLoopend = [&m] { return m.MacrosRunning() && m.ContinueWaitingMacrosForLoopend(); };
    metronome_.OnTick = [&m] {
        if (m.MacrosRunning()) m.ContinueWaitingMacrosForMetronomTick();
    };
    m.SynonymFile = ProgramFolder / "Kreisel.syn";
    auto state = m.OnState;
    m.OnState = [this, state](bool active, bool running) {
        if (state) state(active, running);
        main_.LabelMacroDisp.SetVisible(active);
    };
}

void KreiselCore::SetMacroFolder(const std::filesystem::path& folder) {
    macros_.Interpreter.SynonymFile = folder / "Kreisel.syn";
    macros_.DefaultMacroFile = folder / "Kreisel.mak";
}

bool KreiselCore::KeyDown(int virtualKey, bool shift, bool ctrl, bool alt) {
    const bool taken = keys_.KeyDown(virtualKey, shift, ctrl, alt);
    macroLink_.Key = keys_.LastKey();
    return taken;
}

bool KreiselCore::KeyUp(int virtualKey) { return keys_.KeyUp(virtualKey); }

void KreiselCore::LoadKeyFile(const std::filesystem::path& file) {
    if (!keys_.LoadKeyFile(file)) host_.dialogs.ShowMessage("Key-Datei \"" + file.string() + "\" nicht gefunden!!");
}

void KreiselCore::WireKeys() {
    KeyHandler& k = keys_;
    k.ShowStatus = [this](const std::string& text, bool red) {
        main_.LabelStatus.SetFontColor(red ? std::optional<Rgb>(Colors::Red) : std::nullopt);
        main_.LabelStatus.SetText(text);
    };
    // The lock messages share the status line: the main window has no separate message panel.
    k.ShowMessage = [this](const std::string& text, bool) {
        main_.LabelStatus.SetFontColor(std::nullopt);
        main_.LabelStatus.SetText(text);
    };
    k.PunchAllowed = [this] { return !engine_->Recording && engine_->PunchOn; };
    k.PunchDown = [this] { transport_.PunchKeyDown(); };
    k.PunchUp = [this] {
        const bool active = engine_->PunchActive;
        if (active) {
            main_.LabelDisp1.SetFontColor(std::nullopt);
            transport_.PunchKeyUp();
        }
        return active;
    };
    k.TapExpected = [this] { return tap_.TapsToGo() > 0 && main_.CBTapCtrlKeys.Checked(); };
    k.Tap = [this] { tap_.KeyTap(); };
    k.SequenceKeyRecords = [this] { return transport_.SequenceKeyRecords(); };
    k.OtherKey = [this](int key) { return transport_.OtherKeyDown(key); };
    port_.SendKey = [this](int key, bool down) {
        if (down)
            KeyDown(key);
        else
            KeyUp(key);
    };
    port_.Report = [this](const std::string& text) {
        main_.LabelStatus.SetFontColor(Colors::Red);
        main_.LabelStatus.SetText(text);
        SuppressActions quiet(portOptions_.SBPortControl);
        portOptions_.SBPortControl.SetDown(port_.PortEnabled);
    };
    midi_.SendKey = port_.SendKey;
    keyOverview_.MidiSwitches = [this] { return midi_.SwitchKeys(); };
    midi_.Report = [this](const std::string& text) {
        main_.LabelStatus.SetFontColor(Colors::Red);
        main_.LabelStatus.SetText(text);
        midiOptions_.ShowState(text, true);
    };
    SoundCard& card = soundCard_.Card();
    card.InputDataEvent = [this, input = card.InputDataEvent](const int16_t* block, int bytes) {
        if (input) input(block, bytes);
        port_.PortActions();
        port_.Deliver();
        midi_.Deliver();
    };
    k.Help = [this] {
        if (Help) Help();
    };
    macros_.ApplyControlFile = [this](const std::vector<std::string>& lines) { mouseHelp_.BuildHelpTexts(lines); };
    k.Close = [this](bool saveFirst) {
        if (saveFirst) LoadSaveSession(StartFile.empty() ? ProgramFolder / "F4Backup" : StartFile, true);
        if (CloseProgram) CloseProgram();
    };
}

void KreiselCore::WireSessions() {
    session_.LoadSaveSettings = [this](const std::filesystem::path& file, bool save) {
        return LoadSaveSettings(file, save);
    };
    session_.ApplyAfterLoad = [this] { ApplyAfterLoad(); };
    session_.LoadSaveMixerSet = [this](const std::filesystem::path& file, bool save) {
        return LoadSaveMixerSet(file, save, false);
    };
    loadSave_.DefaultSettingsFile = [this] { return DefaultSettingsFile(); };
    session_.RestartSoundCard = [this] { soundCard_.Card().Restart(); };
    transport_.SaveSession = [this] { return ButtonLoadSaveClick(true); };
    loadSave_.MixerSetDialog = [this](bool save) {
        if (Control* button = loops_.Find(save ? "ButtonSaveSet" : "ButtonLoadSet")) button->Click();
    };
    loadSave_.PMIniFileLinkToApp.SetOnClick([this](Control&) { FileTypeLinkClick(); });
}

bool KreiselCore::LoadSaveSession(const std::filesystem::path& file, bool save) {
    session_.ProgramFolder = ProgramFolder;
    return session_.LoadSave(file, save);
}

bool KreiselCore::ButtonLoadSaveClick(bool save) {
    session_.ProgramFolder = ProgramFolder;
    return loadSave_.ButtonLoadSaveClick(save);
}

void KreiselCore::CheckFileTypeLink() {
    Control& entry = loadSave_.PMIniFileLinkToApp;
    entry.SetVisible(!ProgramFile.empty());
    SuppressActions quiet(entry);
    entry.SetChecked(!ProgramFile.empty() &&
                     FileTypeLink(FileTypeLink::DataHome(), ProgramFile).IsRegistered());
}

void KreiselCore::FileTypeLinkClick() {
    Control& entry = loadSave_.PMIniFileLinkToApp;
    if (ProgramFile.empty()) return;
    FileTypeLink link(FileTypeLink::DataHome(), ProgramFile);
    std::string error;
    const bool ok = entry.Checked() ? link.Register(&error) : link.Unregister(&error);
    if (!ok) host_.dialogs.ShowMessage(error);
    SuppressActions quiet(entry);
    entry.SetChecked(link.IsRegistered());
}

} // namespace kreisel

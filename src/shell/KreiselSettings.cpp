// The sections and keys of the settings file in file order. Keys of windows and features the
// program does not have are not touched: a save loads the file first and rewrites it, so they
// survive as they are.
#include "shell/KreiselSettings.h"

#include "core/ControlFactory.h"
#include "persistence/SettingsFile.h"
#include "shell/KreiselCore.h"

#include <algorithm>

namespace kreisel {

KreiselSettings::KreiselSettings(KreiselCore& core, Dialogs& dialogs)
    : ButtonSaveInis(make::Button(core.Main(), "ButtonSaveInis", "Einstellungen", "Einstellungen speichern")),
      core_(core), dialogs_(dialogs) {
    ButtonSaveInis.SetOnClick([this](Control&) { ButtonSaveInisClick(); });
    core_.Switches().AutoSavePreferencesChanged = [this](bool on) { AutoSavePreferencesChanged(on); };
}

bool KreiselSettings::LoadSave(const std::filesystem::path& file, bool save) {
    IniFile ini;
    const IniFile::LoadResult loaded = OpenIniFile(ini, file, save, dialogs_);
    if (loaded == IniFile::LoadResult::Failed) return false;
    core_.Main().SetCaption(ProgramTitle + " V." + ProgramVersion + "    " + file.filename().string());
    LoadSaveSections(ini, save);
    if (!save) return loaded == IniFile::LoadResult::Loaded;
    std::string error;
    if (!ini.Save(file, &error)) {
        dialogs_.ShowMessage("Einstellungen nicht gespeichert!\n" + error);
        return false;
    }
    return true;
}

void KreiselSettings::LoadSaveSections(IniFile& ini, bool save) {
    // The sound-card window's section comes first: the block size it loads is the default of
    // the latency offset further down.
    core_.SoundCardForm().LoadSaveSection(ini, save);
    SettingsPass p(ini, save);
    WindowSections(p);
    ControlsSection(p);
    p.Section("WindowMixers");
    p.Geometry(core_.Loops().Geometry());
    OptionsSection(p);
    SpecialSection(p);
    core_.MidiControls().LoadSaveSection(p);
}

void KreiselSettings::WindowSections(SettingsPass& p) {
    // The models' geometry is what the views last reported; it never shrinks while a file is
    // loaded or saved, so the main window's height needs no remembering of its own.
    p.Section("WindowControls");
    p.Geometry(core_.Main().Geometry());

    TFormOptions& options = core_.Options();
    p.Section("WindowOptions");
    p.Geometry(options.Geometry());
    int page = options.PageControlOptions.ItemIndex();
    p.Int("LastOption", page);
    if (p.Loading()) pendingLastOption_ = page;

    p.Section("WindowFaders");
    p.Geometry(core_.FadersForm().Geometry());
    p.Section("WindowTuner");
    p.Geometry(core_.TunerC().Window);

    // Windows that are not built into the program keep their sections untouched.
    if (Form* dialog = core_.Forms().FindForm("FormLoadSaveDlg")) {
        p.Section("WindowLoadSaveDlg");
        p.Geometry(dialog->Geometry(), false);
    }
    if (Form* macros = core_.Forms().FindForm("FormMacros")) {
        p.Section("WindowMacros");
        p.Geometry(macros->Geometry());
    }
}

void KreiselSettings::ControlsSection(SettingsPass& p) {
    WindowSwitches& s = core_.Switches();
    p.Section("Controls");
    p.Switch("ShowOptions", s.ToolShowOptions);
    p.Checked("ShowSubControls", s.PMShowSubControls);
    p.Checked("ShowAddedControls", s.PMShowAddedControls);
    p.Checked("ShowAddedDisplays", s.PMShowAddedDisplays);
    p.Checked("ShowOtherDisplays", s.PMShowOtherDisplays);
    p.Checked("ControlsShowLabels", s.PMControlsShowLabels);
    p.Checked("ControlsAutoSize", s.PMControlsAutoSize);
    p.Checked("ControlsStayOnTop", s.PMControlsStayOnTop);
    p.Checked("LoopsStayOnTop", s.PMLoopsStayOnTop);
    p.Checked("FadersStayOnTop", s.PMFadersStayOnTop);
    p.Checked("OptionsStayOnTop", s.PMOptionsStayOnTop);
    p.Checked("OptionsFollowing", s.PMOptionsFollowing);
    p.Checked("DebugMode", s.PMDebugMode);
    if (p.Loading()) s.PMDebugMode.Click();
    // Without its click: the click writes the key into the default file at once.
    p.Checked("AutoSavePreferences", s.PMAutoSavePreferences);
    p.Checked("AndSaveMixers", s.PMAndSaveMixers);
    MouseHelp& help = core_.HelpTexts();
    p.Checked("MouseHelp", help.MIMouseHelp);
    p.Section("WindowMouseHelp");
    p.Geometry(help.Window.Geometry());
    p.Int("FontSize", help.Window.FontSize);
    if (p.Loading()) help.ApplyMouseHelpSetting();
    // The menus that depend on others are enabled accordingly (this entry's handler only does that).
    if (p.Loading()) s.PMShowSubControls.Click();
}

void KreiselSettings::OptionsSection(SettingsPass& p) {
    TFormKreisel& m = core_.Main();
    TFormLoops& loops = core_.Loops();
    p.Section("Options");
    if (p.Loading()) {
        // The file's input mode decides the channel count of the latency offset's default; the
        // mode itself reaches the engine through the mixer after loading, so loops recorded in
        // another mode are never played in this one.
        loadChannelCount_ = p.Ini().ReadInteger("Options", "InputMode", 2) == 0 ? 2 : 1;
    }
    p.Value("FixMaxLoopNr", m.SEFixMaxLoopNr);
    p.Value("FixMaxLoopNrOfGroup", m.SEFixMaxLoopNrOfGroup);
    p.Checked("UsePrepareTime", m.CBUsePrepareTime);
    p.Checked("PrepareTimeUseBPM", m.CBPrepareTimeUseBPM);
    p.Value("PrepareTimePos", m.TBPrepareTime);
    p.Checked("ContinuousRecordingLoops", m.CBContinuousRecordingLoops);
    p.Checked("MaxTimeLikeFirstLoop", m.CBMaxTimeLikeFirstLoop);
    p.Checked("UseFixedLoopTime", m.CBUseFixedLoopTime);
    p.Checked("FixedLoopUseBPM", m.CBFixedLoopUseBPM);
    p.Value("FixedLoopPos", m.TBFixedLoopTime);
    p.Checked("ReRecordCyclic", m.CBReRecordCyclic);
    p.Checked("HoldLoopLength", m.CBHoldLoopLength);
    p.Checked("PunchMixMode", m.CBPunchMixMode);
    p.Checked("PunchMixReFadeAll", m.CBPunchMixReFadeAll);
    p.Value("FaderInPos", loops.TBInpLevel);
    p.Value("FaderOutPos", loops.TBOutLevel);
    p.Switch("FaderIn", loops.SBLevelMeterInp);
    p.Switch("FaderOut", loops.SBLevelMeterOut);
    MeterGraphControls& meters = core_.MeterControls();
    p.Checked("FaderSmooth", meters.CBLevelMeterSmooth);
    p.Value("FaderRefreshInterval", meters.TBLevelMeterRefreshInterval);
    p.Int("FaderDelayStep", core_.MetersGraphs().DelayStep);
    p.Switch("LoopGraphs", meters.SBGraph);
    p.Checked("AdaptGraphs", meters.CBAdaptGraphs);
    p.Value("PenWidth", meters.TBPenWidth);
    p.Value("LowerOutputPerLoop", m.TBLowerOutputPerLoop);
    p.Checked("UseLowerOutput", m.CBUseLowerOutput);
    WindowSwitches& s = core_.Switches();
    p.Switch("ShowLoops", s.ToolShowLoops);
    p.Switch("ShowFaders", s.ToolShowFaders);
    p.Switch("ShowMixers", s.ToolShowMixers);
    p.Value("MetronomBPM", m.TBMetronomBPM);
    p.Checked("MetronomSyncWithLoopStart", m.CBMetroSyncWithLoopStart);
    p.Checked("MetronomRecord", m.CBMetronomRecord);
    p.Checked("MetroStopAtPrepareTimeEnd", m.CBMetroStopAtPrepareTimeEnd);
    p.Checked("MetronomStopAtLoopEnd", m.CBMetroStopAtLoopEnd);
    p.Value("MetronomLevelPos", m.TBMetroLevel);
    p.Switch("DoMetronom", m.SBMetronom);
    p.Value("TapCount", m.TBTapCount);
    p.Value("TapLevel", m.TBTapLevel);
    p.Checked("TapCtrlKeys", m.CBTapCtrlKeys);
    p.Checked("TapCtrlInput", m.CBTapCtrlInput);
    p.Checked("TapSetMetronom", m.CBTapSetMetronom);
    p.Checked("TapStartMetronom", m.CBTapStartMetronom);
    p.Checked("TapStartRecord", m.CBTapStartRecord);
    p.Checked("TapStartPlay", m.CBTapStartPlay);
    GeneratorKeys(p);
    p.Bool("DoAddSigsOutLevelCtrl", core_.E().Switches.AddSigsOutLevelCtrl);
    MacroInterpreter& macros = core_.Interpreter();
    bool doMacros = macros.MacrosActive() && macros.MacrosRunning();
    p.Bool("DoMacros", doMacros);
    p.Switch("ShowMacros", s.ToolShowMacrosKeys);
    // The tuner's window is shown while its measurement runs.
    p.Checked("ShowInputFreq", core_.TunerC().CBShowInputFreq);
    p.Checked("ShowMacrosErrors", m.CBShowMacrosErrors);
    if (p.Loading() && doMacros && !macros.MacrosActive()) core_.Macros().ButtonStartStopMacros.Click();

    // The mixer's two options wait for apply-after-load; the file's values then win over those
    // of the mixer set loaded before.
    bool mixSymm = loops.CBMixSymm.Checked();
    int inputMode = loops.ComboBoxInputMode.ItemIndex();
    p.Bool("MixSymm", mixSymm);
    p.Int("InputMode", inputMode);
    if (p.Loading()) {
        pendingMixSymm_ = mixSymm;
        pendingInputMode_ = inputMode;
    }

    p.String("InitDirData", InitDirData);
    p.Checked("FadeFirstLastBlock", m.CBFadeFirstLastBlock);
    p.Value("FadeFirstLastBlockSmps", m.TBFadeFirstLastBlockSmps);
    p.Int("PunchingKey", core_.Keys().Settings.PunchingKey);
    p.Int("TappingKey", core_.Keys().Settings.TappingKey);
    KeySettings& keys = core_.Keys().Settings;
    for (std::size_t i = 0; i < keys.SequencingKey.size(); ++i)
        p.Int("SequencingKey" + std::to_string(i + 1), keys.SequencingKey[i]);
    PortControl& port = core_.Port();
    p.Bool("DoPortControl", port.PortEnabled);
    p.String("PortName", port.PortName);
    p.Bool("PortUseInverting", port.PortUseInverting);
    p.Bool("PortUseBothTransitions", port.PortUseBothTransitions);
    static const std::array<const char*, 4> kLines{"CTS", "DSR", "RLSD", "RING"};
    for (std::size_t i = 0; i < kLines.size(); ++i)
        p.Int(std::string("SendOfPortBit") + kLines[i], port.SendOfPortBit[i]);
    p.Value("KeyLongMinMSec", core_.KeyTiming().TBKeyLongMinMSec);
    p.Value("KeyDistMaxMSec", core_.KeyTiming().TBKeyDistMaxMSec);
    TunerKeys(p);
}

void KreiselSettings::GeneratorKeys(SettingsPass& p) {
    TunerControls& t = core_.TunerC();
    p.Bool("GeneratorVisible", GeneratorVisible);
    std::string base = t.EditBaseFrequency.Text();
    p.String("BaseFrequency", base);
    if (p.Loading()) t.EditBaseFrequency.SetText(base); // the generator's frequency follows
    p.Value("GeneratorOctavePos", t.TBGenFreqOctave);
    p.Value("GeneratorTonPos", t.TBGenFreqTon);
    std::string freq = p.Loading() ? std::string("440") : t.EditGenFreq.Text();
    p.String("GeneratorFreq", freq);
    // A text that is no number leaves the frequency as it is.
    if (p.Loading() && ParseNumber(freq)) t.EditGenFreq.SetText(freq);
    p.Value("GeneratorLevelPos", t.TBGenerLevel);
    p.Checked("GeneratorRecord", t.CBGeneratorRecord);
    p.Switch("DoGenerator", t.SBGenerator);
}

void KreiselSettings::TunerKeys(SettingsPass& p) {
    TunerControls& t = core_.TunerC();
    p.Value("FreqDec", t.SEFreqDec);
    p.Value("CentDec", t.SECentDec);
    p.Checked("ShowMemoMeas", t.CBShowMemoMeas);
    p.Checked("AutoMeasToMemo", t.CBAutoMeasToMemo);
    p.Checked("AutoMeasToMemoOnlyOnce", t.CBAutoMeasToMemoOnlyOnce);
    p.Value("MinStabilityCount", t.SEMinStabilityCount);
    p.Value("StabilityTolerancePos", t.TBStabilityTolerance);
    p.Checked("SupressSameLines", t.CBSupressSameLines);
    p.Value("IFMeastimePos", t.TBIFMeastime);
    p.Value("IFSensitivityPos", t.TBIFSensitivity);
    p.Checked("MaxIFAuto", t.CBMaxIFAuto);
    p.Value("MaxIFPos", t.TBMaxIF);
    p.Checked("Integration", t.CBIntegration);
    p.Checked("IntegAutoSmps", t.CBIntegAutoSmps);
    p.Value("MaxSiNr", t.SEMaxSiNr);
    p.Checked("IFTrigLevelAuto", t.CBIFTrigLevelAuto);
    p.Value("IFTrigLevelPos", t.TBIFTrigLevel);
    p.Checked("PaintWave", t.CBPaintWave);
    p.Value("IFWaveCount", t.SEIFWaveCount);
    p.Checked("XZoomAuto", t.CBXZoomAuto);
    p.Value("XZoom", t.TBXZoom);
    p.Checked("YZoomAuto", t.CBYZoomAuto);
    p.Value("YZoom", t.TBYZoom);
    p.Checked("ControlGenFreq", t.CBControlGenFreq);
    Tuner& tuner = core_.TunerPanel();
    int firstPeak = tuner.FirstPeakPercent(), minShare = tuner.MinSharePercent();
    p.Int("FFTFirstPeakMinProz", firstPeak);
    p.Int("MinSmpsOverMinMeasSigProz", minShare);
    if (p.Loading()) tuner.SetShares(std::clamp(firstPeak, 0, 100), std::clamp(minShare, 0, 100));
}

void KreiselSettings::SpecialSection(SettingsPass& p) {
    Engine& e = core_.E();
    p.Section("Special");
    // Only ever put in by hand: a value > 0 fixes the export limit in MB, otherwise the free
    // disk space at the start of an export is the limit.
    p.LoadOnly("Limit_ExportFilesize_MB", core_.Exporter().LimitExportFilesizeMB);
    if (!MemSizeFromParameter) p.Int("Ini_MemSize_Percent", core_.T().MemPercent);

    int maxLoops = e.MaxLoopCount;
    p.Int("Ini_MaxLoopCount", maxLoops);
    // Never more slots than there are rows, and never fewer than the loops recorded already:
    // they would lose their rows and could not be reached any more.
    maxLoops = std::clamp(maxLoops, std::max(1, e.LoopCount), LoopSlotCapacity);
    if (maxLoops != e.MaxLoopCount) {
        e.MaxLoopCount = maxLoops;
        core_.Mixer().LayoutRows();
    }

    LatencyControls& latency = core_.Latency();
    p.Value("OptOutblocksDelay", latency.SEOptOutblocksDelay);
    if (p.Loading()) latency.SEAddOffsetFrms.SetValue(e.BlockBytes / 2 / loadChannelCount_);
    p.Value("AddOffsetSmps", latency.SEAddOffsetFrms);
    p.Checked("ManualAddOffsetFrms", latency.CBManualAddOffsetFrms);
    p.Checked("FirstRecLoopEnd_AfterOffset", core_.Main().CBFirstRecLoopEnd_AfterOffset);
    p.Value("ProgressBarSize", core_.Switches().TBProgressBarSize);
    ScrollStepsPerMixer(p);
    p.Int("CorrectOutCount_Up_Tolerance", core_.Compensation().UpTolerance);
    p.LoadOnly("CmdExplorer", CmdExplorer);
}

void KreiselSettings::ScrollStepsPerMixer(SettingsPass& p) {
    WindowSwitches& s = core_.Switches();
    int steps = s.ScrollStepsPerMixer();
    p.Int("ScrollStepsPerMixer", steps);
    if (p.Saving()) return;
    // The slider offers 0 (off), 16, 8, 4, 2 and 1 steps per row; a count in between goes to the
    // next coarser one, a count beyond 16 leaves the slider as it is.
    int position = 0;
    if (steps == 0)
        position = 1;
    else if (steps == 1)
        position = 6;
    else if (steps == 2)
        position = 5;
    else if (steps >= 3 && steps <= 4)
        position = 4;
    else if (steps >= 5 && steps <= 8)
        position = 3;
    else if (steps >= 9 && steps <= 16)
        position = 2;
    if (position != 0) s.TBScrollStepsPerMixer.SetPosition(position);
}

void KreiselSettings::ApplyAfterLoad() {
    WindowSwitches& s = core_.Switches();
    // Toggled twice through their handlers, so everything that depends on them follows.
    for (Control* menu : {&s.PMControlsShowLabels, &s.PMControlsAutoSize})
        for (int i = 0; i < 2; ++i) {
            menu->SetChecked(!menu->Checked());
            menu->Click();
        }
    core_.Options().SetVisible(s.ToolShowOptions.Down());
    // Both "VU" switches loaded down leave only the output side on.
    if (core_.Loops().SBLevelMeterInp.Down() && core_.Loops().SBLevelMeterOut.Down())
        core_.Loops().SBLevelMeterInp.SetDown(false);
    core_.MetersGraphs().ApplySettings();

    TFormLoops& loops = core_.Loops();
    if (pendingMixSymm_) loops.CBMixSymm.SetChecked(*pendingMixSymm_);
    // Through the combo box as a user would choose: once the program runs, a new mode discards
    // the recordings only after the reset question, and the mode stays when that is refused.
    if (pendingInputMode_ && *pendingInputMode_ >= 0 &&
        *pendingInputMode_ < static_cast<int>(InputModeNames.size()))
        loops.ComboBoxInputMode.SetItemIndex(*pendingInputMode_);

    Control& pages = core_.Options().PageControlOptions;
    if (pendingLastOption_ && *pendingLastOption_ >= 0 &&
        *pendingLastOption_ < static_cast<int>(pages.Items().size())) {
        // First another page, so that the change is carried out even on the same page.
        pages.SetItemIndex(TFormOptions::PageSoundCard);
        pages.SetItemIndex(*pendingLastOption_);
    }
    pendingMixSymm_.reset();
    pendingInputMode_.reset();
    pendingLastOption_.reset();
}

void KreiselSettings::ButtonSaveInisClick() {
    Question q;
    q.caption = "Meldung";
    q.text = "Einstellungen speichern?";
    q.buttons = DialogButtons::OkCancel;
    q.defaultResult = DialogResult::Ok;
    q.timeoutMs = 5000;
    q.icon = DialogIcon::Question;
    if (dialogs_.Ask(q) != DialogResult::Ok) return;
    if (!LoadSave(DefaultSettingsFile, true)) return;

    const WindowSwitches& s = core_.Switches();
    if (!(s.PMAndSaveMixers.Enabled() && s.PMAndSaveMixers.Checked())) {
        Question mixers;
        mixers.caption = "Kreisel";
        mixers.text = "Auch Mixer-Einstellungen speichern?";
        mixers.buttons = DialogButtons::YesNo;
        mixers.defaultResult = DialogResult::Yes;
        mixers.icon = DialogIcon::Question;
        if (dialogs_.Ask(mixers) != DialogResult::Yes) return;
    }
    core_.LoadSaveMixerSet(KreiselCore::MixerSetFor(DefaultSettingsFile), true, false);
}

bool KreiselSettings::AutoSavePreferencesChanged(bool on) {
    IniFile ini;
    std::string error;
    if (ini.Load(DefaultSettingsFile, &error) == IniFile::LoadResult::Failed ||
        !ini.WriteBool("Controls", "AutoSavePreferences", on) || !ini.Save(DefaultSettingsFile, &error)) {
        dialogs_.ShowMessage("Einstellungen nicht gespeichert!\n" + error);
        return false;
    }
    return true;
}

} // namespace kreisel

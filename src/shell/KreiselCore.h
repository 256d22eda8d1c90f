// The whole looper below the widgets: the engine, the window models and the subsystems, wired
// together. The block processor's hooks land here and are passed to the part that owns each
// step. The application builds one with Qt host services; tests build one with the manual
// clock and scripted dialogs and feed it blocks.
#pragma once

#include "core/Form.h"
#include "core/HostServices.h"
#include "engine/Engine.h"
#include "engine/Latency.h"
#include "forms/TFormFaders.h"
#include "forms/TFormKreisel.h"
#include "forms/TFormLoadSaveDlg.h"
#include "forms/TFormLoops.h"
#include "forms/TFormMacros.h"
#include "forms/TFormOptions.h"
#include "forms/KeyOptions.h"
#include "forms/PortOptions.h"
#include "forms/MidiOptions.h"
#include "forms/TFormThreadSK.h"
#include "macros/KeyHandler.h"
#include "mixer/Faders.h"
#include "mixer/LoopMixer.h"
#include "mixer/MetersAndGraphs.h"
#include "mixer/MixerSet.h"
#include "persistence/Session.h"
#include "persistence/WavExport.h"
#include "persistence/WavImport.h"
#include "shell/LoadSaveDialog.h"
#include "shell/KreiselSettings.h"
#include "shell/MacroLink.h"
#include "shell/StatusTimer.h"
#include "transport/Metronome.h"
#include "transport/TapTempo.h"
#include "transport/TimedStart.h"
#include "transport/Transport.h"
#include "tuner/CalibrationScan.h"
#include "tuner/ToneGenerator.h"
#include "tuner/Tuner.h"
#include "tuner/TunerControls.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace kreisel {

struct Host {
    Clock& clock;
    Timers& timers;
    EventPump& pump;
    Dialogs& dialogs;
    SystemInfo& systemInfo;
};

class KreiselCore : public EngineHooks {
  public:
    explicit KreiselCore(Host host);
    ~KreiselCore() override;
    KreiselCore(const KreiselCore&) = delete;
    KreiselCore& operator=(const KreiselCore&) = delete;

    // The state after start-up: tempo, prepare time, buffers sized, everything reset.
    void Start();
    // ButtonResetCounters of the main window: block and frame counters from 0, the beat starts
    // over, the cycle restarts from its beginning, the correction counters are zeroed.
    void ButtonResetCountersClick();
    // The main window's sound-card switch: starts the card when stopped, stops it otherwise. A
    // block processor left marked as busy (a block that failed) is released first.
    void ButtonStartSoundKarteClick();

    // Every window's keys come here (Windows virtual-key codes); true when the key was taken.
    bool KeyDown(int virtualKey, bool shift = false, bool ctrl = false, bool alt = false);
    bool KeyUp(int virtualKey);
    bool KeyboardLocked() const { return keys_.KeyboardLocked(); }
    void ResetKeyState() { keys_.ResetKeyState(); }
    KeyHandler& Keys() { return keys_; }
    KeyOptions& KeyTiming() { return keyOptions_; }
    // Foot switches on a serial port: polled after every input block, their keys take the
    // keyboard's way.
    PortControl& Port() { return port_; }
    PortOptions& PortControls() { return portOptions_; }
    // Foot switches on a MIDI input: their messages are taken after every input block and on
    // the status timer, and their keys take the keyboard's way too.
    MidiKeys& Midi() { return midi_; }
    MidiOptions& MidiControls() { return midiOptions_; }
    KeyOverviewControls& KeyOverview() { return keyOverview_; }
    // F1 and Alt+F4 (with Ctrl the session is saved first, under StartFile, the file opened
    // from the command line, or "F4Backup" in the program folder).
    std::function<void()> Help;
    std::function<void()> CloseProgram;
    std::filesystem::path StartFile;
    // Reads the key file "Kreisel.tas"; a missing file is reported and leaves every key empty.
    void LoadKeyFile(const std::filesystem::path& file);

    // One filled input block from the sound card.
    void SndInputEvent(const int16_t* buffer, int bytes) { engine_->SndInputEvent(buffer, bytes); }

    Engine& E() { return *engine_; }
    TFormKreisel& Main() { return main_; }
    TFormLoops& Loops() { return loops_; }
    TFormMacros& Macros() { return macros_; }
    MacroInterpreter& Interpreter() { return macros_.Interpreter; }
    MacroLink& MacroHostLink() { return macroLink_; }
    TFormFaders& FadersForm() { return fadersForm_; }
    TFormOptions& Options() { return options_; }
    WindowSwitches& Switches() { return switches_; }
    LoopMixer& Mixer() { return mixer_; }
    Faders& MasterFaders() { return faders_; }
    MetersAndGraphs& MetersGraphs() { return meters_; }
    MeterGraphControls& MeterControls() { return meterControls_; }
    TFormThreadSK& SoundCardForm() { return soundCard_; }
    SoundCard& Card() { return soundCard_.Card(); }
    LatencyControls& Latency() { return latencyControls_; }
    LatencyCompensation& Compensation() { return latency_; }
    WavExport& Exporter() { return exporter_; }
    WavImport& Importer() { return importer_; }
    TFormLoadSaveDlg& LoadSaveForm() { return loadSaveForm_; }
    Session& Sessions() { return session_; }
    LoadSaveDialog& LoadSave() { return loadSave_; }
    StatusTimer& Status() { return status_; }
    StatusControls& StatusDisplays() { return statusControls_; }

    // Sessions: a relative name is taken from the program folder. Loading replaces every
    // recording; a save that fails leaves the earlier one as it was and returns false.
    std::filesystem::path ProgramFolder;
    // Where the default macro file "Kreisel.mak" and the synonym file "Kreisel.syn" lie.
    void SetMacroFolder(const std::filesystem::path& folder);
    bool LoadSaveSession(const std::filesystem::path& file, bool save);
    // ButtonLoad/PMLoad (false) and ButtonSave/PMSave (true): the load/save dialog.
    bool ButtonLoadSaveClick(bool save);
    // The program file that session files are opened with (the file-type link); empty: the
    // link is neither checked nor offered.
    std::filesystem::path ProgramFile;
    // Ticks the menu entry PMIniFileLinkToApp when the desktop opens session files with ProgramFile.
    void CheckFileTypeLink();
    FormRegistry& Forms() { return forms_; }
    Metronome& Metro() { return metronome_; }
    TapTempo& Tap() { return tap_; }
    TimedStart& Prepare() { return timedStart_; }
    Transport& T() { return transport_; }
    TunerControls& TunerC() { return tunerControls_; }
    Tuner& TunerPanel() { return tuner_; }
    ToneGenerator& Generator() { return generator_; }
    CalibrationScan& Calibration() { return scan_; }

    // Settings file and mixer sets. The caller decides where the default files lie.
    KreiselSettings& Settings() { return settings_; }
    MixerSet& MixerSets() { return mixerSet_; }
    void SetDefaultFiles(const std::filesystem::path& settingsFile, const std::filesystem::path& mixerSet) {
        settings_.DefaultSettingsFile = settingsFile;
        mixerSet_.DefaultFile = mixerSet;
    }
    const std::filesystem::path& DefaultSettingsFile() const { return settings_.DefaultSettingsFile; }
    const std::filesystem::path& DefaultMixerSet() const { return mixerSet_.DefaultFile; }
    // Loads or saves the settings file; false when nothing was loaded or a save failed (both
    // reported in German). After a load the caller runs ApplyAfterLoad.
    bool LoadSaveSettings(const std::filesystem::path& file, bool save) { return settings_.LoadSave(file, save); }
    void ApplyAfterLoad() {
        settings_.ApplyAfterLoad();
        portOptions_.Apply();
        midiOptions_.Apply();
    }
    // Loads or saves a mixer set (valuesOnly: the slider positions alone).
    bool LoadSaveMixerSet(const std::filesystem::path& file, bool save, bool valuesOnly) {
        return mixerSet_.LoadSave(file, save, valuesOnly);
    }
    // The mixer set of a settings or session file: its extension replaced by ".mix".
    static std::filesystem::path MixerSetFor(const std::filesystem::path& settingsFile) {
        return MixerSet::ForSettingsFile(settingsFile);
    }

    // Finished output blocks go to the sound card; tests may also look at them here.
    std::function<void(const int16_t* frames, int bytes)> OutputSink;

    // EngineHooks
    void MetronomeStep(int frames) override;
    void SetPlayLoopEnd() override;
    void LoopEndWhileRecording() override;
    void ShowCountDown(int valuesLeft) override;
    void ActivateGroup(int group) override;
    void LoopSwitchesChanged() override;
    void SetSBLoopsFromMarkers() override;
    void ButtonStopClick() override;
    void MetronomeBlock(int frames, int16_t* l, int16_t* r, int32_t* monL, int32_t* monR) override;
    void TapInput(int16_t peakL) override;
    void WriteOutBlock(const int16_t* frames, int bytes) override;
    void PositionChanged() override;
    void ShowDCOffset(int32_t l, int32_t r) override;
    void TappedStart() override;
    void StepScroll() override;
    void OutputDriftCorrection() override;
    void LatencyBlock(const int16_t* l, int frames) override;
    void LatencyBlockEnd() override;
    void RefreshLatencyLabel() override;
    void CountersChanged(int bytes) override;
    void InputBytesReceived(int64_t totalBytes) override;
    void ExportBlock(const int16_t* frames, int bytes) override;
    void ExportSwitchFollowsMarker(bool down) override;
    bool MacrosRunning() override { return macros_.Interpreter.MacrosRunning(); }
    bool ContinueWaitingMacrosForLoopend() override { return macros_.Interpreter.ContinueWaitingMacrosForLoopend(); }
    void ContinueWaitingMacros() override { macros_.Interpreter.ContinueWaitingMacros(); }
    void LowerOutputLevelChanged() override;
    void InputMeters(int16_t peakL, int16_t peakR) override;
    void OutputMeters(int32_t peakL, int32_t peakR) override;
    void PaintRecordGraph(int loop, int point, int16_t peakL, int16_t peakR) override;
    void MoveLoopCursor(int loop, int point, bool marked) override;
    void MoveGroupCursors(int group, int point) override;
    int16_t GeneratorWave(int phase) override { return generator_.Wave(phase); }
    void TunerBlock(const int16_t* l, int frames) override { tuner_.Feed(l, frames); }
    void TunerAutoSettings() override { tuner_.AutoSettings(); }

  private:
    void Wire();
    void SyncEngineSwitches();
    void LowerOutputChanged();
    void FadeLengthChanged();
    void AllowMultipleLoopLengthClick();
    void WireSessions();
    void WireMacros();
    void FileTypeLinkClick();
    void ShowCounterIn(int bytes);
    void WireKeys();

    Host host_;
    std::unique_ptr<Engine> engine_;
    TFormKreisel main_;
    TFormLoops loops_;
    TFormFaders fadersForm_;
    TFormOptions options_;
    FormRegistry forms_;
    WindowSwitches switches_;
    LoopMixer mixer_;
    Faders faders_;
    MeterGraphControls meterControls_;
    MetersAndGraphs meters_;
    Metronome metronome_;
    TapTempo tap_;
    TimedStart timedStart_;
    Transport transport_;
    TFormThreadSK soundCard_;
    LatencyControls latencyControls_;
    LatencyCompensation latency_;
    WavExport exporter_;
    WavImport importer_;
    TFormLoadSaveDlg loadSaveForm_;
    Session session_;
    LoadSaveDialog loadSave_;
    StatusControls statusControls_{main_};
    StatusTimer status_{*engine_, statusControls_, main_.PanelNoSignal, host_.systemInfo, host_.timers};
    bool savedFixedLength_ = false;
    bool savedFirstLoopRule_ = false;
    TunerControls tunerControls_{main_};
    ToneGenerator generator_{*engine_, tunerControls_};
    Tuner tuner_{*engine_, tunerControls_, generator_};
    CalibrationScan scan_{tunerControls_, tuner_, generator_, host_.pump};
    // Last: they reach into the windows and subsystems above.
    MacroLink macroLink_{*this};
    TFormMacros macros_{macroLink_, host_.clock, host_.pump, host_.dialogs, forms_};
    KeyHandler keys_{macros_.Interpreter, host_.clock, host_.timers};
    KeyOptions keyOptions_{main_, keys_.Settings};
    std::unique_ptr<SerialPorts> serialPorts_ = MakeSystemSerialPorts();
    PortControl port_{*serialPorts_};
    PortOptions portOptions_{main_, port_, *serialPorts_};
    std::unique_ptr<MidiInputs> midiInputs_ = MakeSystemMidiInputs();
    MidiKeys midi_{*midiInputs_};
    MidiOptions midiOptions_{main_, midi_};
    KeyOverviewControls keyOverview_{macros_, keys_, port_.SendOfPortBit};
    MixerSet mixerSet_{*engine_, loops_, mixer_, host_.dialogs};
    KreiselSettings settings_{*this, host_.dialogs};
};

} // namespace kreisel

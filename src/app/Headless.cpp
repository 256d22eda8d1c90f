// The run without windows.
#include "app/Headless.h"

#include "app/AudioSetup.h"
#include "macros/MacroText.h"
#include "shell/ComponentsFile.h"
#include "shell/HeadlessHost.h"
#include "shell/KreiselCore.h"
#include "shell/LinuxSystemInfo.h"
#include "shell/ProgramLifecycle.h"
#include "soundcard/filedevice/FileDevice.h"

#include "core/Text.h"

#include <atomic>
#include <cstdio>
#include <cmath>
#include <csignal>
#include <fstream>
#include <limits>
#include <thread>

namespace kreisel {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnSignal(int) {
    interrupted.store(true);
}

// The controls of every window, without windows or sound: a core on the headless host.
template <typename Work> int WithControls(std::ostream& err, Work work) {
    HeadlessClock clock;
    HeadlessPump pump(clock);
    HeadlessDialogs dialogs(err);
    LinuxSystemInfo systemInfo;
    KreiselCore core(Host{clock, clock, pump, dialogs, systemInfo});
    std::string error;
    if (work(core.Forms(), error)) return 0;
    err << "Kreisel: " << error << '\n';
    return 1;
}

} // namespace

int ExportControls(const std::string& file, std::ostream& err) {
    return WithControls(err, [&file](const FormRegistry& forms, std::string& error) {
        return WriteComponentsFile(forms, file, &error);
    });
}

// Old texts are kept; the file is replaced in one step, so a failed write leaves it as it was.
int UpdateControls(const std::string& file, std::ostream& err) {
    return WithControls(err, [&file](const FormRegistry& forms, std::string& error) {
        std::vector<std::string> old;
        if (std::filesystem::exists(file) && !ReadTextLines(file, old)) {
            error = "Komponenten-Datei \"" + file + "\" kann nicht gelesen werden!";
            return false;
        }
        return WriteComponentsText(UpdatedComponentsFileText(forms, old), file, &error);
    });
}

int RunHeadless(const CommandLine& cl, const DataFolders& folders, std::ostream& out, std::ostream& err) {
    interrupted.store(false);
    const AudioChoice choice = ParseAudioChoice(cl.audio).value_or(AudioChoice{});
    const bool freeRunning = cl.fast && choice.BuiltIn();

    HeadlessClock clock;
    HeadlessPump pump(clock);
    HeadlessDialogs dialogs(err);
    LinuxSystemInfo systemInfo;
    KreiselCore core(Host{clock, clock, pump, dialogs, systemInfo});
    SoundCard& card = core.Card();
    pump.Attach(&card);

    AudioSetup audio(core.SoundCardForm(), err);
    std::string error;
    if (!audio.Open(choice, folders.SettingsFile().string(), freeRunning, &error)) {
        err << "Kreisel: " << error << '\n';
        return 1;
    }
    FileDevice* file = audio.File();
    if (freeRunning && file != nullptr) {
        // Time is what the device has delivered: timers keep their place relative to the audio.
        clock.Follow([file, &card] {
            const int rate = std::max(card.SampleRate(), 1);
            return static_cast<std::int64_t>(file->InputPosition() * 1000 / rate);
        });
        pump.OnPass = [file] { file->Pump(); };
    }

    ProgramLifecycle life(core, dialogs, folders, cl);
    life.StartSoundCard = [&audio] { return audio.Start(); };
    life.CloseDevices = [&card] { card.Stop(); };
    life.Sleep = [&pump, freeRunning](int ms) {
        if (freeRunning) return; // no real time passes between blocks
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until)
            pump.WaitForEvents(5);
    };
    life.FormCreate();
    // The macro file goes into the editor before the settings are loaded: settings that switch
    // the macros on then start these macros, not the default ones.
    bool macroErrors = false;
    auto audioSeconds = [&core] {
        const Engine& e = core.E();
        return static_cast<double>(e.BlockCounter) * (e.BlockBytes / 4) / std::max(e.SampleRate, 1);
    };
    if (!cl.macroFile.empty()) {
        std::vector<std::string> lines;
        if (!ReadTextLines(cl.macroFile, lines)) {
            err << "Kreisel: Makro-Datei \"" << cl.macroFile << "\" nicht gefunden!\n";
            return 1;
        }
        core.Macros().MemoMacros.SetLines(std::move(lines));
        core.MacroHostLink().OnDisplay = [&out, &audioSeconds](const std::string& text) {
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "[%.3f s] ", audioSeconds());
            out << stamp << text << '\n';
            out.flush();
        };
        // Messages that a dialog showed went to the error output already.
        core.Interpreter().OnError = [&err, &macroErrors](const std::string& text, bool shown) {
            macroErrors = true;
            if (!shown) err << "Kreisel: " << text << '\n';
        };
    }
    const bool activated = life.FormActivate();
    if (!life.FirstStartNote().empty()) err << "Kreisel: " << life.FirstStartNote() << '\n';
    if (!activated && !cl.file.empty()) {
        err << "Kreisel: \"" << cl.file << "\" konnte nicht geladen werden.\n";
        return 1;
    }
    if (card.Stopped()) {
        err << "Kreisel: das Audio-Gerät \"" << audio.DeviceName() << "\" startet nicht.\n";
        return 1;
    }

    if (!cl.exportFile.empty()) {
        std::error_code ec;
        std::filesystem::remove(cl.exportFile, ec); // a headless export always starts a new file
        if (!core.Exporter().Start(cl.exportFile)) {
            err << "Kreisel: der Export nach \"" << cl.exportFile << "\" startet nicht.\n";
            return 1;
        }
        if (!core.Main().SBDoExport.Down()) core.Main().SBDoExport.UserClick();
    }
    std::ofstream tunerLog;
    if (!cl.tunerLog.empty()) {
        tunerLog.open(cl.tunerLog, std::ios::trunc);
        if (!tunerLog) {
            err << "Kreisel: die Datei \"" << cl.tunerLog
                << "\" für die Messungen lässt sich nicht anlegen.\n";
            return 1;
        }
        // Every steady note as the measurement list shows it, after its input time.
        core.TunerPanel().OnSteady = [&tunerLog](const SteadyNote& s) {
            tunerLog << FormatFloat("0.000", s.Seconds) << " Sek.\t" << s.ListLine << '\n' << std::flush;
        };
        if (!core.TunerC().CBShowInputFreq.Checked()) core.TunerC().CBShowInputFreq.SetChecked(true);
        if (core.TunerC().SBIFMeasPause.Down()) core.TunerC().SBIFMeasPause.UserClick();
    }
    if (!cl.macroFile.empty()) {
        MacroInterpreter& macros = core.Interpreter();
        if (macros.MacrosActive()) macros.StopMacros();
        if (!macros.StartMacros(core.Macros().MemoMacros.Lines())) {
            err << "Kreisel: die Makros aus \"" << cl.macroFile << "\" starten nicht.\n";
            return 1;
        }
    } else if (core.E().LoopCount > 0 && !core.E().Playing) {
        core.Main().SBPlay.UserClick();
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    const int rate = std::max(card.SampleRate(), 1);
    const int64_t framesWanted = cl.seconds ? static_cast<int64_t>(std::llround(*cl.seconds * rate))
                                            : std::numeric_limits<int64_t>::max();
    const int64_t startFrames = static_cast<int64_t>(core.E().BlockCounter) * (core.E().BlockBytes / 4);
    auto framesDone = [&] {
        return static_cast<int64_t>(core.E().BlockCounter) * (core.E().BlockBytes / 4) - startFrames;
    };
    out << "Kreisel: spielt über \"" << audio.DeviceName() << "\"";
    if (core.E().LoopCount > 0) out << ", " << core.E().LoopCount << " Loops";
    if (cl.seconds) out << ", " << *cl.seconds << " Sek.";
    out << '\n';
    if (!cl.seconds && choice.kind != AudioChoice::Kind::File) out << "Kreisel: Ende mit Strg+C.\n";
    out.flush();
    while (!interrupted.load() && framesDone() < framesWanted) {
        if (!cl.seconds && file != nullptr && choice.kind == AudioChoice::Kind::File && file->InputFinished())
            break;
        pump.WaitForEvents(500); // woken by every block, timer and signal
        if (card.Stopped()) break;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);

    const bool exported = core.Exporter().Running();
    const std::string exportName = core.Exporter().FileName();
    core.Exporter().Finish();
    const bool cardFailed = card.Stopped();
    // Nobody can answer the question about unsaved recordings here: they are not kept.
    core.T().UnsavedRecordings = false;
    life.FormCloseQuery();
    if (exported) out << "Kreisel: Ausgang gespeichert in \"" << exportName << "\"\n";
    if (cardFailed && framesDone() < framesWanted && !interrupted.load()) {
        err << "Kreisel: das Audio-Gerät hat angehalten.\n";
        return 1;
    }
    return macroErrors ? 1 : 0;
}

} // namespace kreisel

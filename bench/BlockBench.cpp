// The block processor under a full stage load: 44100 Hz, 1000-frame stereo blocks, every loop
// slot busy, DC correction, fades, input row and monitor on. "x_realtime" is the block's
// duration divided by the time it takes to process it.
#include "core/Form.h"
#include "engine/Engine.h"
#include "macros/MacroInterpreter.h"
#include "transport/MainControls.h"
#include "transport/Metronome.h"
#include "tuner/ToneGenerator.h"
#include "tuner/Tuner.h"
#include "tuner/TunerControls.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

using namespace kreisel;

constexpr int kRate = 44100;
constexpr int kFrames = 1000;
constexpr int kCycleFrames = 4 * kRate; // a four-second cycle

// The cycle restarts while recording, and the recorded loop is taken again.
class CycleHooks : public EngineHooks {
  public:
    explicit CycleHooks(Engine& e) : e_(e) {}
    void SetPlayLoopEnd() override { e_.PlayPos = 0; }
    void LoopEndWhileRecording() override {
        e_.PlayPos = 0;
        if (e_.RecLoopNr >= 1) e_.Slots[static_cast<size_t>(e_.RecLoopNr)].LoopLenBytes = 0;
    }

    Metronome* Metro = nullptr;
    void MetronomeStep(int frames) override {
        if (Metro != nullptr) Metro->HalfBeatStep(frames);
    }
    void MetronomeBlock(int frames, int16_t* l, int16_t* r, int32_t* monL, int32_t* monR) override {
        if (Metro != nullptr) Metro->AddClick(frames, l, r, monL, monR);
    }

    MacroInterpreter* Macros = nullptr;
    bool MacrosRunning() override { return Macros != nullptr && Macros->MacrosRunning(); }
    bool ContinueWaitingMacrosForLoopend() override { return Macros->ContinueWaitingMacrosForLoopend(); }
    void ContinueWaitingMacros() override {
        if (Macros != nullptr) Macros->ContinueWaitingMacros();
    }
    ToneGenerator* Generator = nullptr;
    Tuner* TunerPanel = nullptr;
    int16_t GeneratorWave(int phase) override { return Generator != nullptr ? Generator->Wave(phase) : 0; }
    void TunerBlock(const int16_t* l, int frames) override {
        if (TunerPanel != nullptr) TunerPanel->Feed(l, frames);
    }
    void TunerAutoSettings() override {
        if (TunerPanel != nullptr) TunerPanel->AutoSettings();
    }
    void TunerResults() override {
        if (TunerPanel != nullptr) TunerPanel->DeliverResults();
    }

  private:
    Engine& e_;
};

// What the macros of the benchmark need: nothing answers, time stands still.
class QuietHost : public MacroHost, public Clock, public EventPump, public Dialogs {
  public:
    Control* FindControlByName(std::string_view) override { return nullptr; }
    std::optional<int> EngineValue(std::string_view) override { return 0; }
    bool SetEngineValue(std::string_view, int) override { return true; }
    int MaxLoopCount() override { return 32; }
    int LoopCount() override { return 0; }
    std::string LoopName(int slot) override { return std::to_string(slot); }
    std::string MarkedLoopName() override { return "A1"; }
    int ActiveGroupIdx() override { return 0; }
    int TempoBPM() override { return 120; }
    std::string ResolveFile(const std::string& name) override { return name; }
    bool ResetAll() override { return true; }
    void LoadSession(const std::string&) override {}
    void ShowStatus(const std::string&) override {}
    void ShowWaiting(bool) override {}
    void ResetKeyState() override {}
    bool StopOnErrors() override { return false; }
    LastKeyState LastKey() override { return {}; }
    std::int64_t TickCount() const override { return 0; }
    void ProcessPendingEvents() override {}
    void WaitForEvents(int) override {}
    DialogResult Ask(const Question&) override { return DialogResult::Ok; }
    void ShowMessage(const std::string&) override {}
    std::vector<std::string> OpenFiles(const FileDialogOptions&) override { return {}; }
    std::optional<std::string> SaveFile(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> SelectFolder(const std::string&, const std::string&) override { return std::nullopt; }
};

struct Stage {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    std::unique_ptr<CycleHooks> hooks = std::make_unique<CycleHooks>(*engine);
    std::vector<int16_t> input = std::vector<int16_t>(2 * kFrames);

    Stage(int playing, bool recording, int lengthSpread) {
        Engine& e = *engine;
        e.SetHooks(hooks.get());
        e.SampleRate = kRate;
        e.BlockBytes = kFrames * 4;
        e.BuildFadeTables();
        e.SizeLoopBuffers(int64_t{4} << 30, 32);
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> sample(-20000, 20000);
        std::vector<int16_t> loop(2 * static_cast<size_t>(kCycleFrames));
        for (int m = 1; m <= playing; ++m) {
            for (auto& v : loop)
                v = static_cast<int16_t>(sample(rng));
            const int frames = kCycleFrames - (m % 4) * lengthSpread;
            LoopSlot& s = e.Slots[static_cast<size_t>(m)];
            s.Buffer.Seek(0);
            s.Buffer.Write(loop.data(), 4 * static_cast<size_t>(frames));
            s.LoopLenBytes = 4 * frames;
            s.LoopGroup = 0;
            MixerRow& row = e.Rows[static_cast<size_t>(m)];
            row.LoopOn = true;
            row.LoopLevelL = -30 * (m % 3);
            row.LoopLevelR = -60;
            row.LoopLR = -120;
            row.LoopRL = -90;
        }
        e.LoopCount = 32;
        e.ActGroupIdx = 0;
        e.LastGroupIdx = 0;
        e.ToGroupIdx = 0;
        e.PlayLoopEnd = 2 * kCycleFrames;
        e.OffsetSmps = 2 * 5000;
        e.Playing = true;
        e.MonitorMode = false;
        if (recording) {
            e.RecLoopNr = 32;
            e.Recording = true;
            e.Slots[32].LoopGroup = 0;
        }
        e.Rows[0].LoopOn = true; // input row
        e.Rows[0].LoopLevelL = -30;
        e.Switches.CorrectDCDrift = true;
        e.Switches.FadeFirstLastBlock = true;
        e.FadeLen = 441;
        e.BuildFadeTables();
        for (auto& v : input)
            v = static_cast<int16_t>(sample(rng));
    }
};

void Run(benchmark::State& state, Stage& stage) {
    for (auto _ : state) {
        stage.engine->DoPrcBlock(stage.input.data(), kFrames * 4);
        benchmark::DoNotOptimize(stage.engine->OutBlock()[0]);
    }
    const double blockSeconds = static_cast<double>(kFrames) / kRate;
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * blockSeconds,
                                                      benchmark::Counter::kIsRate);
}

void BM_31Playing1Recording(benchmark::State& state) {
    Stage stage(31, true, 0);
    Run(state, stage);
}
BENCHMARK(BM_31Playing1Recording);

// The same with the metronome ticking at 240 BpM and its click recorded too.
void BM_31Playing1RecordingMetronome(benchmark::State& state) {
    Stage stage(31, true, 0);
    Form window("FormKreisel");
    MainControls controls(window);
    Metronome metronome(*stage.engine, controls);
    controls.TBMetronomBPM.SetPosition(240);
    controls.CBMetronomRecord.SetChecked(true);
    metronome.AnyChange_MetronomBPM(&controls.SBMetronom);
    stage.hooks->Metro = &metronome;
    Run(state, stage);
    stage.hooks->Metro = nullptr;
}
BENCHMARK(BM_31Playing1RecordingMetronome);

// The same with macros running: every key's macro, the start-up section and a loop-end macro
// wait (for an hour, for the loop end, for a tick), so each block scans all wait slots.
void BM_31Playing1RecordingMacrosWaiting(benchmark::State& state) {
    Stage stage(31, true, 0);
    QuietHost host;
    MacroInterpreter macros(host, host, host, host);
    std::vector<std::string> text;
    for (int k = 1; k <= kKeyCount; ++k) {
        text.push_back("ON " + KeyIndexToName(k));
        text.push_back(k % 3 == 0 ? "WAIT LOOPEND" : k % 3 == 1 ? "WAIT 3600 SEC" : "WAIT METRONOMTICK");
        text.push_back("RETURN");
    }
    text.resize(kMacroLines - 2);
    text.push_back("WAIT 3600 SEC");
    if (!macros.StartMacros(text)) state.SkipWithError("macros did not start");
    for (int k = 1; k <= kKeyCount; ++k)
        macros.DispatchKey(k);
    stage.hooks->Macros = &macros;
    Run(state, stage);
    state.counters["timed_waits"] = macros.TimedWaitCount;
    stage.hooks->Macros = nullptr;
}
BENCHMARK(BM_31Playing1RecordingMacrosWaiting);

// The full load: metronome, the tone generator recorded too, and the tuner fed every frame
// (argument 1: spectrum, 0: trigger crossings; argument 2: 1 = waves and spectrum drawn).
void BM_31Playing1RecordingMetronomeToneTuner(benchmark::State& state) {
    Stage stage(31, true, 0);
    Form window("FormKreisel");
    MainControls controls(window);
    TunerControls tunerControls(window);
    Metronome metronome(*stage.engine, controls);
    ToneGenerator generator(*stage.engine, tunerControls);
    Tuner tuner(*stage.engine, tunerControls, generator);
    controls.TBMetronomBPM.SetPosition(240);
    controls.CBMetronomRecord.SetChecked(true);
    metronome.AnyChange_MetronomBPM(&controls.SBMetronom);
    tunerControls.EditGenFreq.SetText("440");
    tunerControls.CBGeneratorRecord.SetChecked(true);
    tunerControls.SBGenerator.UserClick();
    tunerControls.CBUseFFT.SetChecked(state.range(0) != 0);
    tunerControls.CBPaintWave.SetChecked(state.range(1) != 0);
    tunerControls.CBShowFFT.SetChecked(state.range(1) != 0);
    tunerControls.CBShowInputFreq.SetChecked(true);
    stage.hooks->Metro = &metronome;
    stage.hooks->Generator = &generator;
    stage.hooks->TunerPanel = &tuner;
    Run(state, stage);
    stage.hooks->Metro = nullptr;
    stage.hooks->Generator = nullptr;
    stage.hooks->TunerPanel = nullptr;
}
BENCHMARK(BM_31Playing1RecordingMetronomeToneTuner)->Args({1, 0})->Args({0, 0})->Args({1, 1});

void BM_32Playing(benchmark::State& state) {
    Stage stage(32, false, 0);
    Run(state, stage);
}
BENCHMARK(BM_32Playing);

void BM_32PlayingMultipleLengths(benchmark::State& state) {
    Stage stage(32, false, 12345);
    stage.engine->AllowMultipleLoopLength = true;
    Run(state, stage);
}
BENCHMARK(BM_32PlayingMultipleLengths);

int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Resident memory per minute of recorded stereo audio, with a budget of 4 GiB reserved.
void BM_MemoryPerRecordedMinute(benchmark::State& state) {
    for (auto _ : state) {
        Stage stage(0, true, 0);
        stage.engine->PlayLoopEnd = kPlayLoopEndNone;
        stage.engine->Playing = false;
        const int64_t before = ResidentBytes();
        const int blocks = 60 * kRate / kFrames;
        for (int b = 0; b < blocks; ++b)
            stage.engine->DoPrcBlock(stage.input.data(), kFrames * 4);
        state.counters["MB_per_minute"] = static_cast<double>(ResidentBytes() - before) / (1 << 20);
        state.counters["reserved_MB"] = static_cast<double>(32 * stage.engine->MaxLoopBytes) / (1 << 20);
    }
}
BENCHMARK(BM_MemoryPerRecordedMinute)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

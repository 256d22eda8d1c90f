// The block path must not allocate: every operator new while blocks are processed is counted.
#include "macros/MacroRig.h"
#include "soundcard/CoreRig.h"
#include "mixer/MetersAndGraphs.h"
#include "support/EngineHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

// How often operator new ran during what.
template <class F>
long Allocations(F&& what) {
    allocations = 0;
    counting = true;
    what();
    counting = false;
    return allocations.exchange(0);
}
} // namespace

// The counting operator new hands out malloc memory, so free is the matching release.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace kreisel::test {
namespace {

// Hooks that only do what the transport must for the cycle to go round, and log nothing.
class QuietHooks : public EngineHooks {
  public:
    explicit QuietHooks(Engine& e) : e_(e) {}
    void SetPlayLoopEnd() override { e_.PlayPos = 0; }
    int16_t GeneratorWave(int phase) override { return static_cast<int16_t>(phase * 100); }

  private:
    Engine& e_;
};

TEST(BlockPath, AllocatesNothing) {
    EngineHarness h(44100, 1000);
    Engine& e = h.E();
    QuietHooks quiet(e);
    e.SetHooks(&quiet);
    for (int m = 1; m <= 31; ++m)
        h.PlaceLoop(m, 0, std::vector<int16_t>(2 * 1700, static_cast<int16_t>(m)));
    e.PlayLoopEnd = 2 * 2500;
    e.ActGroupIdx = e.ToGroupIdx = 0;
    e.RecLoopNr = 32;
    e.Playing = e.Recording = e.Rows[0].LoopOn = e.MonitorMode = true;
    e.Switches.GeneratorOn = e.AllowMultipleLoopLength = true;
    std::vector<int16_t> input(2000, 1234);
    EXPECT_EQ(Allocations([&] {
                  for (int b = 0; b < 50; ++b) {
                      e.SndInputEvent(input.data(), 4000);
                      if (b == 20) e.SetAsyncRingMode(true);
                      if (b == 30) e.InputMode = 1;
                  }
              }),
              0);
    EXPECT_EQ(e.BlockCounter, 50);
}

// Macros that wait cost the block a look at the wait tables and nothing more: no allocation
// until one of them is due.
TEST(BlockPath, WaitingMacrosAllocateNothing) {
    EngineHarness h(44100, 1000);
    Engine& e = h.E();
    ManualClock clock;
    ManualEventPump pump(clock, 23);
    ScriptedDialogs dialogs;
    FakeMacroHost host;
    MacroInterpreter macros(host, clock, pump, dialogs);
    struct MacroHooks : QuietHooks {
        MacroHooks(Engine& engine, MacroInterpreter& m) : QuietHooks(engine), macros(m) {}
        bool MacrosRunning() override { return macros.MacrosRunning(); }
        bool ContinueWaitingMacrosForLoopend() override { return macros.ContinueWaitingMacrosForLoopend(); }
        void ContinueWaitingMacros() override { macros.ContinueWaitingMacros(); }
        MacroInterpreter& macros;
    } hooks(e, macros);
    e.SetHooks(&hooks);
    h.PlaceLoop(1, 0, std::vector<int16_t>(2 * 1700, 5));
    e.PlayLoopEnd = 2 * 2500;
    e.ActGroupIdx = e.ToGroupIdx = 0;
    e.Playing = true;
    ASSERT_TRUE(macros.StartMacros({"ON KEY_A", "WAIT 3600 SEC", "RETURN", "ON KEY_B", "WAIT KEY_C", "RETURN",
                                    "SET MEMO_1 1", "WAIT 3600 SEC"}));
    macros.DispatchKey(38);
    macros.DispatchKey(39);
    ASSERT_EQ(macros.TimedWaitCount, 2);
    std::vector<int16_t> input(2000, 1234);
    EXPECT_EQ(Allocations([&] {
                  for (int b = 0; b < 50; ++b) {
                      clock.Advance(23);
                      e.SndInputEvent(input.data(), 4000);
                  }
              }),
              0);
    EXPECT_EQ(macros.TimedWaitCount, 2);
    clock.Advance(3600 * 1000);
    e.SndInputEvent(input.data(), 4000);
    EXPECT_EQ(macros.TimedWaitCount, 0); // they were waiting all along
    e.SetHooks(nullptr);
}

// The wired core with every display on and its card counting, served as the program serves it:
// the count-down while A2 waits for the cycle start, then A2 recorded over the playing A1, the
// metronome ticking and clicking throughout.
TEST(BlockPath, WiredCoreWithEveryDisplayAllocatesNothing) {
    CoreRig rig;
    rig.M().PMShowOtherDisplays.SetChecked(true);
    rig.M().PMDebugMode.SetChecked(true);
    rig.core->SoundCardForm().CBUpdateCounters.SetChecked(true);
    rig.core->SoundCardForm().SetVisible(true);
    // The processor and memory figures come once a second from the status timer, between
    // blocks, not from the block path: they may build their texts as they like.
    rig.core->StatusDisplays().CBShowSystemInfos.SetChecked(false);
    rig.M().CBContinuousRecordingLoops.SetChecked(false);
    rig.M().CBUseFixedLoopTime.SetChecked(false);
    rig.Start();
    rig.M().SBMetronom.UserClick();
    rig.M().SBRecord.UserClick();
    rig.Cycle(120);
    rig.M().SBRecord.UserClick();
    rig.Cycle(3);
    ASSERT_TRUE(rig.E().Playing && !rig.E().Recording);
    rig.M().SBRecord.UserClick(); // arms A2 for the next cycle
    ASSERT_TRUE(rig.E().RecordArmed);

    // Each text has been as long as it gets in a few blocks; from then on nothing may allocate.
    rig.Cycle(10);
    EXPECT_EQ(Allocations([&] { rig.Cycle(50); }), 0) << "while A2 waits";
    EXPECT_NE(rig.M().PanelCountDown.Text(), "");

    while (!rig.E().Recording && rig.E().BlockCounter < 1000)
        rig.Cycle(1);
    ASSERT_TRUE(rig.E().Recording);
    rig.Cycle(10);
    EXPECT_EQ(Allocations([&] { rig.Cycle(50); }), 0) << "while A2 is recorded";
    EXPECT_TRUE(rig.E().Recording);
    EXPECT_EQ(rig.Card().Counters().DroppedInBlocks, 0);
    for (const std::string& line : rig.core->SoundCardForm().MemoErrors.Lines())
        ADD_FAILURE() << line;
}

// The tuner with either method and the tone generator playing: its spectra and results come
// after each block, and neither they nor the block path allocate once the automatic settings
// have found the tone (the crossings climb from the lowest highest frequency, some 250 blocks)
// and the texts have been as long as they get. The automatic list, which grows, stays off, and
// so do the status timer's once-a-second system figures.
TEST(BlockPath, TunerAndGeneratorAllocateNothing) {
    for (const bool fft : {true, false}) {
        CoreRig rig;
        rig.core->StatusDisplays().CBShowSystemInfos.SetChecked(false);
        TunerControls& t = rig.core->TunerC();
        t.CBUseFFT.SetChecked(fft);
        t.CBAutoMeasToMemo.SetChecked(false);
        t.CBShowInputFreq.SetChecked(true);
        t.SBGenerator.UserClick();
        rig.Start();
        rig.Cycle(400);
        const int before = rig.core->TunerPanel().MeasurementNumber();
        EXPECT_EQ(Allocations([&] { rig.Cycle(100); }), 0) << (fft ? "FFT" : "ATr");
        EXPECT_GE(rig.core->TunerPanel().MeasurementNumber() - before, 8) << (fft ? "FFT" : "ATr");
        EXPECT_TRUE(rig.E().Switches.GeneratorOn);
    }
}

// What the block end hands to the meters and graphs: peaks, a lit clip lamp, recorded points and
// cursor moves of a whole group.
TEST(BlockPath, MetersAndGraphsAllocateNothing) {
    EngineHarness h(44100, 1000);
    Engine& e = h.E();
    Form loops("FormLoops", "Loops");
    Form main("FormKreisel", "Kreisel");
    FaderControls faders(loops);
    MeterGraphControls controls(loops, main);
    MetersAndGraphs mg(e, faders, controls);
    faders.SBLevelMeterOut.UserClick();
    mg.Meters.WindowVisible = true;
    for (int m = 1; m <= 32; ++m) {
        e.Slots[static_cast<size_t>(m)].LoopGroup = 0;
        e.Slots[static_cast<size_t>(m)].LoopLastBlock = 40;
    }
    e.GroupFirstLoop(0) = 1;
    EXPECT_EQ(Allocations([&] {
                  for (int b = 0; b < 50; ++b) {
                      mg.FeedBlock(LevelMeters::Input, 1000 * b, 500);
                      mg.FeedBlock(LevelMeters::Output, b == 30 ? 40000 : 700 * b, 300 * b);
                      mg.Graphs.RecordPoint(32, b, static_cast<int16_t>(600 * b), 2000);
                      mg.Graphs.GroupCursors(0, b % 41);
                      mg.Graphs.PlayCursor(5, b, b % 7 == 0);
                  }
              }),
              0);
    EXPECT_TRUE(mg.Meters.State(LevelMeters::Output).Clipped[0]);
    EXPECT_EQ(controls.ShapeCutOutLeft.Color(), (Rgb{255, 0, 0}));
}

} // namespace
} // namespace kreisel::test

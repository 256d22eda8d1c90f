// The status timer: the missing-signal warning with the manual clock, its re-entry guard, and
// the processor and memory texts with the budget above 4 GiB; the figures from /proc files that
// may be cut short or malformed.
#include "scenarios/Stage.h"
#include "shell/LinuxSystemInfo.h"
#include "support/ScratchFiles.h"

#include <fstream>

namespace kreisel::test {
namespace {

class Status : public Stage {
  protected:
    Control& NoSignal() { return M().PanelNoSignal; }
    bool Warning() { return NoSignal().Visible() && NoSignal().Color() == Rgb{255, 255, 0}; }
};

TEST_F(Status, WarnsOnTheFifthTickWithoutABlockAndClearsWhenBlocksReturn) {
    StartPlain();
    Blocks(30); // until 300 ms; the tick at 375 ms still sees new blocks
    clock.AdvanceTo(875);
    EXPECT_FALSE(Warning());
    EXPECT_EQ(core->SoundCardForm().ButtonStartStop.Text(), "Stop");
    clock.AdvanceTo(1000);
    EXPECT_TRUE(Warning());
    EXPECT_EQ(NoSignal().Text(), "!! Kein Soundk.-Signal !!");
    EXPECT_EQ(core->SoundCardForm().ButtonStartStop.Text(), "Start");
    clock.AdvanceTo(1500);
    EXPECT_TRUE(Warning());

    Blocks(1); // idle: the block itself leaves the display alone, the next tick clears it
    EXPECT_TRUE(Warning());
    clock.AdvanceTo(1625);
    EXPECT_FALSE(NoSignal().Visible());
    EXPECT_FALSE(NoSignal().Color().has_value());
    EXPECT_EQ(core->SoundCardForm().ButtonStartStop.Text(), "Stop");
}

TEST_F(Status, ATickInsideATickDoesNothing) {
    StartPlain();
    StatusTimer& s = core->Status();
    int nested = 0;
    s.EveryTick = [&] {
        ++nested;
        s.Tick();
    };
    const uint32_t before = s.Ticks();
    s.Tick();
    EXPECT_EQ(s.Ticks(), before + 1);
    EXPECT_EQ(nested, 1);
}

TEST_F(Status, ProcessorAndMemoryTextsAndTheBudgetAboveFourGiB) {
    system.memory = {16ull << 30, 6ull << 30};
    system.loads = {30, 50};
    system.processLoad = 12;
    StartPlain();
    StatusControls& c = core->StatusDisplays();
    core->T().MemPercent = 50;
    clock.Advance(1000); // the eighth tick updates
    EXPECT_EQ(c.LabelCPUUsage.Text(), "12 %   30 %   50 %    (Ges.: 40 %)");
    EXPECT_EQ(c.PanelCPU.Value(), 12);
    EXPECT_EQ(c.LabelMemory.Text(), "38 % frei  (6144 MB von 16385 MB)");
    EXPECT_EQ(core->Status().MemoryBudget(), 8388608u);
    EXPECT_EQ(c.LabelCPU.Text(), "CPU (2000 MHz):");

    c.CBShowSystemInfos.UserClick();
    EXPECT_FALSE(c.CBShowSystemInfos.Checked());
    EXPECT_EQ(c.LabelCPUUsage.Text(), "(-)");
    EXPECT_EQ(c.LabelMemory.Text(), "Ges.: 16384 MB");

    struct Case {
        uint64_t totalKB;
        int percent;
        uint64_t budgetKB;
    } cases[] = {
        {1048576, 50, 524288}, {8ull << 20, 75, 6291456}, {64ull << 20, 100, 64ull << 20}, {1000, 0, 0}};
    for (const Case& k : cases)
        EXPECT_EQ(StatusTimer::MemoryBudgetKB(k.totalKB, k.percent), k.budgetKB) << k.totalKB;
}

// Figures from /proc-style files; lines that do not parse are passed over.
TEST(LinuxSystemInfo, ProcFilesGiveTheFiguresAndBadLinesArePassedOver) {
    ScratchFolder dir("proc");
    const std::filesystem::path root = dir.Dir();
    auto write = [&](const char* name, const std::string& text) { std::ofstream(root / name) << text; };
    write("meminfo", "MemTotal:\nMemFree: viel\nMemTotal:       16000000 kB\nMemAvailable:    8000000 kB\n");
    write("cpuinfo", "processor\t: 0\ncpu MHz\t\t: 2394.456\nprocessor\t: 1\ncpu MHz\t\t: 800.000\n");
    write("stat", "cpu  300 0 100 600 0 0 0 0 0 0\ncpu0 100 0 50 300 0 0 0 0 0 0\ncpu1\ncpu2 x y\ncpu3 1 2\n"
                  "cpu4 200 0 50 300 0 0 0 0 0 0\nintr 12345\n");
    LinuxSystemInfo info(root.string());
    const MemoryStatus m = info.Memory();
    EXPECT_EQ(m.physicalBytes, 16000000ull * 1024);
    EXPECT_EQ(m.availableBytes, 8000000ull * 1024);
    EXPECT_EQ(info.ProcessorClockMHz(), 2394);
    EXPECT_EQ(info.ProcessorCount(), 2);
    EXPECT_EQ(info.ProcessorLoadPercent(), (std::vector<int>{0, 0})); // nothing to compare with yet

    // cpu0: 40 busy of 100 jiffies; cpu4: iowait counts as idle, 75 busy of 100.
    write("stat", "cpu0 130 0 60 360 0 0 0 0 0 0\ncpu1 \ncpu4 250 0 75 310 15 0 0 0 0 0\n");
    EXPECT_EQ(info.ProcessorLoadPercent(), (std::vector<int>{40, 75}));

    EXPECT_TRUE(info.FreeDiskBytes(root.string()).has_value());
    EXPECT_FALSE(info.FreeDiskBytes((root / "nowhere").string()).has_value());
}

} // namespace
} // namespace kreisel::test

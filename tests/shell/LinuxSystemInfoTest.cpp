// System information from /proc files that may be cut short or malformed.
#include "shell/LinuxSystemInfo.h"
#include "support/ScratchFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kreisel {
namespace {

namespace fs = std::filesystem;

// Figures from /proc-style files; lines that do not parse are passed over.
TEST(LinuxSystemInfo, ProcFilesGiveTheFiguresAndBadLinesArePassedOver) {
    test::ScratchFolder dir("proc");
    const fs::path root = dir.Dir();
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
} // namespace kreisel

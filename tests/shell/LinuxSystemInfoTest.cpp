// System information from /proc files that may be cut short or malformed.
#include "shell/LinuxSystemInfo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kreisel {
namespace {

namespace fs = std::filesystem;

TEST(LinuxSystemInfo, LinesThatDoNotParseArePassedOver) {
    const fs::path root = fs::temp_directory_path() / ("kreisel-proc-" + std::to_string(::getpid()));
    fs::create_directories(root);
    std::ofstream(root / "stat") << "cpu  10 0 10 80\ncpu0 5 0 5 40 0\ncpu1\ncpu2 x y\ncpu3 1 2\n"
                                    "cpu4 10 0 10 20 0 0 0 0\nintr 1 2\n";
    std::ofstream(root / "meminfo") << "MemTotal:\nMemFree: viel\nMemTotal: 2048 kB\nMemAvailable: 1024 kB\n";
    LinuxSystemInfo info(root.string());
    EXPECT_EQ(info.ProcessorCount(), 2);
    EXPECT_EQ(info.ProcessorLoadPercent(), (std::vector<int>{0, 0}));
    std::ofstream(root / "stat") << "cpu0 10 0 5 45 0\ncpu1 \ncpu4 40 0 10 30 0 0 0 0\n";
    EXPECT_EQ(info.ProcessorLoadPercent(), (std::vector<int>{50, 75}));
    const MemoryStatus m = info.Memory();
    EXPECT_EQ(m.physicalBytes, 2048u * 1024);
    EXPECT_EQ(m.availableBytes, 1024u * 1024);
    fs::remove_all(root);
}

} // namespace
} // namespace kreisel

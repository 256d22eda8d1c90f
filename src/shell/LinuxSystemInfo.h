// System information on Linux without any toolkit: memory, processor loads and clock from /proc,
// free disk space from the file system. The windows and headless runs share it.
#pragma once

#include "core/HostServices.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kreisel {

// Memory from meminfo, loads from stat (between two calls), clock from cpuinfo, free space with
// statvfs. The root is /proc; tests give a folder of their own.
class LinuxSystemInfo : public SystemInfo {
  public:
    explicit LinuxSystemInfo(std::string procRoot = "/proc");

    MemoryStatus Memory() override;
    int ProcessorCount() override;
    std::vector<int> ProcessorLoadPercent() override;
    int ProcessorClockMHz() override;
    int ProcessLoadPercent() override;
    std::optional<std::uint64_t> FreeDiskBytes(const std::string& folder) override;

  private:
    struct CpuTimes {
        std::uint64_t busy = 0;
        std::uint64_t total = 0;
    };
    std::vector<CpuTimes> ReadCpuTimes() const;

    std::string root_;
    std::vector<CpuTimes> last_;
    std::uint64_t lastOwnTicks_ = 0;
    std::uint64_t lastAllTicks_ = 0;
};

} // namespace kreisel

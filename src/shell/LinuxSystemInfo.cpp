// Reading /proc and statvfs for the system information display.
#include "shell/LinuxSystemInfo.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kreisel {

LinuxSystemInfo::LinuxSystemInfo(std::string procRoot) : root_(std::move(procRoot)) {}

MemoryStatus LinuxSystemInfo::Memory() {
    MemoryStatus m;
    std::ifstream in(root_ + "/meminfo");
    std::string line;
    // "MemTotal:       16318412 kB"; a line that does not read so is passed over.
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        std::uint64_t kb = 0;
        if (!(fields >> key >> kb)) continue;
        if (key == "MemTotal:") m.physicalBytes = kb * 1024;
        if (key == "MemAvailable:") m.availableBytes = kb * 1024;
    }
    return m;
}

std::vector<LinuxSystemInfo::CpuTimes> LinuxSystemInfo::ReadCpuTimes() const {
    std::vector<CpuTimes> cpus;
    std::ifstream in(root_ + "/stat");
    std::string line;
    while (std::getline(in, line)) {
        // "cpu0 user nice system idle iowait irq softirq steal ..."; the summary line "cpu " is skipped.
        if (line.rfind("cpu", 0) != 0 || line.size() < 4 || line[3] < '0' || line[3] > '9') continue;
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        std::vector<std::uint64_t> v;
        std::uint64_t x = 0;
        while (fields >> x)
            v.push_back(x);
        // A line cut short or not made of numbers up to idle says nothing about the processor.
        if (v.size() < 4) continue;
        CpuTimes t;
        for (std::size_t i = 0; i < v.size() && i < 8; ++i)
            t.total += v[i];
        const std::uint64_t idle = (v.size() > 3 ? v[3] : 0) + (v.size() > 4 ? v[4] : 0);
        t.busy = t.total - std::min(idle, t.total);
        cpus.push_back(t);
    }
    return cpus;
}

int LinuxSystemInfo::ProcessorCount() {
    const auto n = ReadCpuTimes().size();
    return n > 0 ? static_cast<int>(n) : 1;
}

std::vector<int> LinuxSystemInfo::ProcessorLoadPercent() {
    std::vector<CpuTimes> now = ReadCpuTimes();
    std::vector<int> loads(now.size(), 0);
    if (last_.size() == now.size()) {
        for (std::size_t i = 0; i < now.size(); ++i) {
            const std::uint64_t total = now[i].total - std::min(last_[i].total, now[i].total);
            const std::uint64_t busy = now[i].busy - std::min(last_[i].busy, now[i].busy);
            if (total > 0)
                loads[i] = static_cast<int>(std::lround(100.0 * static_cast<double>(std::min(busy, total)) /
                                                        static_cast<double>(total)));
        }
    }
    last_ = std::move(now);
    return loads;
}

int LinuxSystemInfo::ProcessLoadPercent() {
    // utime and stime, fields 14 and 15 of self/stat, counted after the command's closing
    // parenthesis (the command may hold blanks).
    std::ifstream in(root_ + "/self/stat");
    std::string line;
    std::getline(in, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    std::uint64_t own = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) own += std::strtoull(field.c_str(), nullptr, 10);
    std::uint64_t all = 0;
    for (const CpuTimes& t : ReadCpuTimes())
        all += t.total;
    int load = 0;
    if (lastAllTicks_ != 0 && all > lastAllTicks_ && own >= lastOwnTicks_)
        load = static_cast<int>(std::lround(100.0 * static_cast<double>(own - lastOwnTicks_) /
                                            static_cast<double>(all - lastAllTicks_)));
    lastOwnTicks_ = own;
    lastAllTicks_ = all;
    return std::clamp(load, 0, 100);
}

int LinuxSystemInfo::ProcessorClockMHz() {
    std::ifstream in(root_ + "/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("cpu MHz", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        try {
            return static_cast<int>(std::lround(std::stod(line.substr(colon + 1))));
        } catch (const std::exception&) {
            return 0;
        }
    }
    return 0;
}

std::optional<std::uint64_t> LinuxSystemInfo::FreeDiskBytes(const std::string& folder) {
    struct statvfs s {};
    if (statvfs(folder.c_str(), &s) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
}

} // namespace kreisel

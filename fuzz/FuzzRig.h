// The whole core for fuzz targets: a clock that moves only when the core waits, dialogs that
// take every default answer and keep nothing, and a scratch folder as the program folder, so
// that whatever a file makes the program write stays there.
#pragma once

#include "shell/KreiselCore.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// In a fuzz build each target is the process's LLVMFuzzerTestOneInput; in the corpus replay of
// the test suite all of them live side by side under their own names.
#ifdef KREISEL_FUZZ_REPLAY
#define KREISEL_FUZZ_TARGET(name) int FuzzTarget_##name(const uint8_t* data, size_t size)
#else
#define KREISEL_FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#endif

namespace kreisel::fuzz {

class FuzzClock : public Clock, public Timers {
  public:
    std::int64_t TickCount() const override { return now_; }
    int Start(int intervalMs, bool periodic, std::function<void()> callback) override;
    void Stop(int id) override { timers_.erase(id); }
    // Moves time on and runs every timer that falls due on the way.
    void Advance(std::int64_t ms);

  private:
    struct Timer {
        std::int64_t due;
        int intervalMs;
        bool periodic;
        std::shared_ptr<std::function<void()>> callback;
    };
    std::int64_t now_ = 0;
    int nextId_ = 1;
    int depth_ = 0;
    std::map<int, Timer> timers_;
};

// Every wait moves the clock by the time waited. A waiting loop that goes on past the budget of
// one input (a macro waiting for hours) is ended through `OverBudget`.
class FuzzPump : public EventPump {
  public:
    explicit FuzzPump(FuzzClock& clock) : clock_(clock) {}
    void ProcessPendingEvents() override { Step(1); }
    void WaitForEvents(int maxMs) override { Step(maxMs < 1 ? 1 : maxMs); }
    void ResetBudget() { calls_ = 0; }
    std::function<void()> OverBudget;

  private:
    void Step(int ms);
    FuzzClock& clock_;
    long calls_ = 0;
};

class QuietDialogs : public Dialogs {
  public:
    DialogResult Ask(const Question& q) override { return q.defaultResult; }
    void ShowMessage(const std::string&) override {}
    std::vector<std::string> OpenFiles(const FileDialogOptions&) override { return {}; }
    std::optional<std::string> SaveFile(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> SelectFolder(const std::string&, const std::string&) override { return std::nullopt; }
};

class FixedSystem : public SystemInfo {
  public:
    MemoryStatus Memory() override { return {256ull << 20, 128ull << 20}; }
    int ProcessorCount() override { return 2; }
    std::vector<int> ProcessorLoadPercent() override { return {0, 0}; }
    int ProcessorClockMHz() override { return 2000; }
    std::optional<std::uint64_t> FreeDiskBytes(const std::string&) override { return std::nullopt; }
};

struct FuzzRig {
    FuzzRig();
    ~FuzzRig();
    // Before each input: the budget refilled, the macros stopped, the recordings gone.
    void Fresh();

    std::filesystem::path folder; // the scratch folder, also the program folder
    FuzzClock clock;
    FuzzPump pump{clock};
    QuietDialogs dialogs;
    FixedSystem system;
    std::unique_ptr<KreiselCore> core;
};

// One rig per process, made on first use.
FuzzRig& Rig();
// A folder of its own per process (libFuzzer may run several), removed at exit.
const std::filesystem::path& Scratch();
void WriteFile(const std::filesystem::path& file, std::string_view bytes);
// The input cut at every occurrence of `separator`.
std::vector<std::string_view> SplitInput(const uint8_t* data, size_t size, std::string_view separator);

} // namespace kreisel::fuzz

#include "FuzzRig.h"

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace kreisel::fuzz {

namespace fs = std::filesystem;

int FuzzClock::Start(int intervalMs, bool periodic, std::function<void()> callback) {
    const int id = nextId_++;
    const int interval = intervalMs < 1 ? 1 : intervalMs;
    timers_[id] = Timer{now_ + interval, interval, periodic,
                        std::make_shared<std::function<void()>>(std::move(callback))};
    return id;
}

void FuzzClock::Advance(std::int64_t ms) {
    const std::int64_t end = now_ + (ms < 0 ? 0 : ms);
    // A timer's callback may wait in turn; the nested waits only move the time.
    if (depth_ > 0) {
        now_ = end;
        return;
    }
    ++depth_;
    for (;;) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due)) next = it;
        if (next == timers_.end()) break;
        if (next->second.due > now_) now_ = next->second.due;
        auto callback = next->second.callback;
        if (next->second.periodic)
            next->second.due = now_ + next->second.intervalMs;
        else
            timers_.erase(next);
        (*callback)();
    }
    if (end > now_) now_ = end;
    --depth_;
}

void FuzzPump::Step(int ms) {
    clock_.Advance(ms);
    if (++calls_ == 20000 && OverBudget) OverBudget();
}

namespace {

void RemoveScratch() {
    std::error_code ec;
    fs::remove_all(Scratch(), ec);
}

} // namespace

const fs::path& Scratch() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "kreisel-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    // Registered once the folder is made, so it runs before the folder's name is destroyed.
    static const bool removedAtExit = std::atexit(RemoveScratch) == 0;
    (void)removedAtExit;
    return folder;
}

FuzzRig::FuzzRig() : folder(Scratch()) {
    core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
    core->ProgramFolder = folder;
    core->SetDefaultFiles(folder / "Kreisel.LPS", folder / "Kreisel.mix");
    core->SetMacroFolder(folder);
    Engine& e = core->E();
    e.SampleRate = 48000;
    e.BlockBytes = 480 * 4;
    e.InputMode = 0;
    core->Start();
    pump.OverBudget = [this] { core->Interpreter().StopMacros(); };
}

FuzzRig::~FuzzRig() = default;

void FuzzRig::Fresh() {
    pump.ResetBudget();
    if (core->Interpreter().MacrosActive()) core->Interpreter().StopMacros();
    core->Interpreter().ResetMacros(true);
    core->ResetKeyState();
}

FuzzRig& Rig() {
    static FuzzRig rig;
    return rig;
}

void WriteFile(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string_view> SplitInput(const uint8_t* data, size_t size, std::string_view separator) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = all.find(separator, start);
        if (at == std::string_view::npos) break;
        parts.push_back(all.substr(start, at - start));
        start = at + separator.size();
    }
    parts.push_back(all.substr(start));
    return parts;
}

} // namespace kreisel::fuzz

// The main window's status timer (TimerShowSystemInfos, 125 ms): it watches that the sound card
// still delivers blocks and warns when they stop, keeps the position display current, tops up
// the output queue while the transport is idle, and once a second shows the processor load and
// the memory figures.
#pragma once

#include "core/Form.h"
#include "core/HostServices.h"
#include "engine/Engine.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kreisel {

struct StatusControls {
    explicit StatusControls(Form& main);
    StatusControls(const StatusControls&) = delete;
    StatusControls& operator=(const StatusControls&) = delete;

    Control& CBShowSystemInfos; // "anzeigen und ständig aktualisieren:"
    Control& LabelCPU;          // "CPU (2400 MHz):"
    Control& PanelCPU;          // the load bar: value 0..100; a Ctrl-click switches the graph
    Control& LabelCPUUsage;
    Control& LabelMemory;
};

class StatusTimer {
  public:
    static constexpr int kIntervalMs = 125;
    static constexpr int kStallTicks = 500 / kIntervalMs;
    static constexpr int kGraphColumns = 256;

    StatusTimer(Engine& engine, StatusControls& controls, Control& noSignalPanel, SystemInfo& systemInfo,
                Timers& timers);
    ~StatusTimer();
    StatusTimer(const StatusTimer&) = delete;
    StatusTimer& operator=(const StatusTimer&) = delete;

    // What a tick asks of the parts around it; each may be left empty.
    std::function<void()> EveryTick;                  // e.g. the export's display
    std::function<void()> RefreshPosition;            // position, memory of the current loop
    std::function<void(bool flowing)> SoundCardShown; // the sound card's button: "Stop" / "Start"
    std::function<void()> IdleFillUp;                 // the output queue topped up
    // The memory share of the loop store (percent), read at each memory update.
    std::function<int()> MemPercent;
    // Whether anybody sees the system information; while not, the once-a-second update reads
    // nothing from the system and keeps only the memory budget (left empty: always seen).
    std::function<bool()> SystemInfoSeen;

    void Start();
    void Stop();
    void Tick();

    // The memory budget in KB: total KB × percent / 100.
    static std::uint64_t MemoryBudgetKB(std::uint64_t totalKB, int percent);
    std::uint64_t MemoryBudget() const { return budgetKB_; }
    bool Stalled() const { return stall_ > kStallTicks; }
    std::uint32_t Ticks() const { return ticks_; }

    // System information at once (the check box, and once a second while it is on).
    void UpdateSystemInfo();
    // The check box: labels follow, the clock is read once, sampling ends when switched off.
    void CBShowSystemInfosClick();
    // Ctrl-click on the load bar.
    void ToggleGraph() { graphOn_ = !graphOn_; }
    bool GraphOn() const { return graphOn_; }
    // The load graph: one column per update, wrapping; GraphAt(i) for i in 0..GraphCount()-1
    // from the oldest.
    int GraphCount() const { return graphCount_; }
    int GraphAt(int i) const;

  private:
    Engine& e_;
    StatusControls& c_;
    Control& noSignal_;
    SystemInfo& info_;
    Timers& timers_;
    int timer_ = 0;
    bool inTick_ = false;
    std::uint32_t ticks_ = 0;
    int stall_ = 0;
    int64_t lastBlocks_ = 0;
    std::uint64_t budgetKB_ = 0;
    std::uint64_t totalKB_ = 0; // physical memory, as last read
    int clockMHz_ = -1; // not read yet
    bool graphOn_ = false;
    std::array<std::uint8_t, kGraphColumns> graph_{};
    int graphNext_ = 0;
    int graphCount_ = 0;
};

} // namespace kreisel

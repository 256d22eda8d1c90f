// The status tick and the system information texts.
#include "shell/StatusTimer.h"

#include "core/ControlFactory.h"
#include "core/Text.h"

#include <algorithm>
#include <cmath>

namespace kreisel {

namespace {
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kRed{255, 0, 0};
} // namespace

StatusControls::StatusControls(Form& main)
    : CBShowSystemInfos(make::Check(main, "CBShowSystemInfos", "anzeigen und ständig aktualisieren:", true)),
      LabelCPU(make::Label(main, "LabelCPU", "CPU:")), PanelCPU(make::Panel(main, "PanelCPU")),
      LabelCPUUsage(make::Label(main, "LabelCPUUsage")), LabelMemory(make::Label(main, "LabelMemory")) {
    PanelCPU.SetRange(0, 100);
}

StatusTimer::StatusTimer(Engine& engine, StatusControls& controls, Control& noSignalPanel,
                         SystemInfo& systemInfo, Timers& timers)
    : e_(engine), c_(controls), noSignal_(noSignalPanel), info_(systemInfo), timers_(timers) {
    c_.CBShowSystemInfos.SetOnChange([this](Control&) { CBShowSystemInfosClick(); });
    c_.PanelCPU.SetOnClick([this](Control&) { ToggleGraph(); });
}

StatusTimer::~StatusTimer() {
    Stop();
}

void StatusTimer::Start() {
    if (timer_ == 0) timer_ = timers_.Start(kIntervalMs, true, [this] { Tick(); });
}

void StatusTimer::Stop() {
    timers_.Stop(timer_);
    timer_ = 0;
}

void StatusTimer::Tick() {
    // A tick that starts while the previous one still runs (a dialog or a waiting loop inside
    // it processes events) does nothing.
    if (inTick_) return;
    inTick_ = true;
    ++ticks_;
    if (ticks_ % 8 == 0 && c_.CBShowSystemInfos.Checked()) {
        if (!SystemInfoSeen || SystemInfoSeen() || totalKB_ == 0)
            UpdateSystemInfo();
        else
            budgetKB_ = MemoryBudgetKB(totalKB_, MemPercent ? MemPercent() : 50);
    }
    if (EveryTick) EveryTick();

    const int64_t blocks = e_.BlockCounter;
    stall_ = blocks == lastBlocks_ ? stall_ + 1 : 0;
    lastBlocks_ = blocks;

    if (stall_ < 1) {
        if (noSignal_.Color() == kYellow) noSignal_.SetColor(std::nullopt);
        if (RefreshPosition) RefreshPosition();
        if (noSignal_.Visible()) noSignal_.SetVisible(false);
        if (SoundCardShown) SoundCardShown(true);
        // Not while the latency is measured: the queue must keep the depth it is measured at.
        if (((!e_.Playing && !e_.Recording) || e_.Paused) && !e_.Switches.LatencyMeasuring) {
            if (IdleFillUp) IdleFillUp();
        }
    } else if (stall_ > kStallTicks) {
        if (!noSignal_.Visible() || noSignal_.Color() != kYellow) {
            noSignal_.SetText("!! Kein Soundk.-Signal !!");
            noSignal_.SetColor(kYellow);
            noSignal_.SetVisible(true);
        }
        if (SoundCardShown) SoundCardShown(false);
    }
    inTick_ = false;
}

std::uint64_t StatusTimer::MemoryBudgetKB(std::uint64_t totalKB, int percent) {
    return totalKB * static_cast<std::uint64_t>(std::clamp(percent, 0, 100)) / 100;
}

void StatusTimer::UpdateSystemInfo() {
    const bool on = c_.CBShowSystemInfos.Checked();
    if (on) {
        // Own process first, then each processor, then the whole machine.
        const std::vector<int> cpus = info_.ProcessorLoadPercent();
        const int own = info_.ProcessLoadPercent();
        int total = 0;
        for (int l : cpus)
            total += l;
        total =
            cpus.empty() ? 0 : RoundHalfEven(static_cast<double>(total) / static_cast<double>(cpus.size()));
        std::string text = std::to_string(own) + " %   ";
        for (int l : cpus)
            text += std::to_string(l) + " %   ";
        text += " (Ges.: " + std::to_string(total) + " %)";
        c_.LabelCPUUsage.SetText(text);
        c_.PanelCPU.SetValue(std::clamp(own, 0, 100));
        if (graphOn_) {
            c_.PanelCPU.SetColor(own >= 80 ? std::optional<Rgb>(kRed) : std::nullopt);
            graph_[static_cast<size_t>(graphNext_)] = static_cast<std::uint8_t>(std::clamp(own, 0, 100));
            graphNext_ = (graphNext_ + 1) % kGraphColumns;
            graphCount_ = std::min(graphCount_ + 1, kGraphColumns);
        }
    } else {
        c_.LabelCPUUsage.SetText("(-)");
    }

    const MemoryStatus m = info_.Memory();
    const std::uint64_t totalKB = m.physicalBytes / 1024;
    totalKB_ = totalKB;
    const std::uint64_t availKB = m.availableBytes / 1024;
    budgetKB_ = MemoryBudgetKB(totalKB, MemPercent ? MemPercent() : 50);
    const std::uint64_t totalMB = totalKB / 1024;
    if (on) {
        const std::uint64_t freePercent = totalKB == 0 ? 0 : availKB * 100 / totalKB + 1;
        c_.LabelMemory.SetText(std::to_string(freePercent) + " % frei  (" + std::to_string(availKB / 1024) +
                               " MB von " + std::to_string(totalMB + 1) + " MB)");
    } else {
        c_.LabelMemory.SetText("Ges.: " + std::to_string(totalMB) + " MB");
    }
}

void StatusTimer::CBShowSystemInfosClick() {
    const bool on = c_.CBShowSystemInfos.Checked();
    c_.LabelCPU.SetVisible(on);
    c_.LabelCPUUsage.SetVisible(on);
    c_.PanelCPU.SetVisible(on);
    // The clock is read once; it is shown only while the transport is idle, never measured
    // with raised priorities.
    if (on && clockMHz_ < 0 && !e_.Playing && !e_.Recording) {
        c_.LabelCPU.SetText("(Moment bitte)");
        clockMHz_ = std::max(info_.ProcessorClockMHz(), 0);
    }
    if (on && clockMHz_ >= 0) c_.LabelCPU.SetText("CPU (" + std::to_string(clockMHz_) + " MHz):");
    UpdateSystemInfo();
}

int StatusTimer::GraphAt(int i) const {
    if (i < 0 || i >= graphCount_) return 0;
    const int start = graphCount_ < kGraphColumns ? 0 : graphNext_;
    return graph_[static_cast<size_t>((start + i) % kGraphColumns)];
}

} // namespace kreisel

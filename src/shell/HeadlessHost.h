// Host services for runs without windows: a clock and timers that fire when the core thread comes
// round, a pump that sleeps on the sound card's eventfd and serves its blocks, and dialogs that
// nobody answers: every question takes its default answer at once and every message goes to the
// error output as the text the window would have shown.
#pragma once

#include "core/HostServices.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace kreisel {

class SoundCard;

// Wall-clock time, or, when `follow` is set, a time that something else advances (the frames a
// free-running device has delivered), so that timers keep their order relative to the audio.
class HeadlessClock : public Clock, public Timers {
  public:
    std::int64_t TickCount() const override;
    int Start(int intervalMs, bool periodic, std::function<void()> callback) override;
    void Stop(int id) override;

    // Replaces the wall clock by this source of milliseconds.
    void Follow(std::function<std::int64_t()> source) { follow_ = std::move(source); }
    // Runs the callbacks of every timer that is due.
    void FireDue();
    // Milliseconds until the next timer is due (at most `limit`).
    int MsUntilNextDue(int limit) const;

  private:
    struct Timer {
        std::int64_t due;
        int intervalMs;
        bool periodic;
        std::shared_ptr<std::function<void()>> callback;
    };
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::function<std::int64_t()> follow_;
    int nextId_ = 1;
    std::map<int, Timer> timers_;
};

class HeadlessPump : public EventPump {
  public:
    // How late a timer may fire while the sound card runs (blocks wake the thread anyway).
    static constexpr int kTimerSlackMs = 30;

    explicit HeadlessPump(HeadlessClock& clock) : clock_(clock) {}
    void Attach(SoundCard* card) { card_ = card; }
    // Something to run on every pass (a free-running device's next period).
    std::function<void()> OnPass;
    void ProcessPendingEvents() override { WaitForEvents(0); }
    void WaitForEvents(int maxMs) override;

  private:
    HeadlessClock& clock_;
    SoundCard* card_ = nullptr;
};

class HeadlessDialogs : public Dialogs {
  public:
    explicit HeadlessDialogs(std::ostream& err) : err_(err) {}
    DialogResult Ask(const Question& question) override;
    void ShowMessage(const std::string& text) override;
    std::vector<std::string> OpenFiles(const FileDialogOptions&) override { return {}; }
    std::optional<std::string> SaveFile(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> SelectFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    // Every text shown so far, for the caller's exit decision and for tests.
    const std::vector<std::string>& Shown() const { return shown_; }

  private:
    std::ostream& err_;
    std::vector<std::string> shown_;
};

} // namespace kreisel

// The host services of runs without windows.
#include "shell/HeadlessHost.h"

#include "soundcard/SoundCard.h"

#include <poll.h>

#include <algorithm>
#include <thread>

namespace kreisel {

std::int64_t HeadlessClock::TickCount() const {
    if (follow_) return follow_();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

int HeadlessClock::Start(int intervalMs, bool periodic, std::function<void()> callback) {
    const int id = nextId_++;
    const int interval = std::max(intervalMs, 1);
    timers_[id] = {TickCount() + interval, interval, periodic,
                   std::make_shared<std::function<void()>>(std::move(callback))};
    return id;
}

void HeadlessClock::Stop(int id) { timers_.erase(id); }

void HeadlessClock::FireDue() {
    const std::int64_t now = TickCount();
    std::vector<int> due;
    for (const auto& [id, timer] : timers_)
        if (timer.due <= now) due.push_back(id);
    for (const int id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end()) continue; // stopped by an earlier callback
        auto callback = it->second.callback;
        if (it->second.periodic)
            it->second.due = now + it->second.intervalMs;
        else
            timers_.erase(it);
        (*callback)();
    }
}

int HeadlessClock::MsUntilNextDue(int limit) const {
    const std::int64_t now = TickCount();
    std::int64_t next = now + limit;
    for (const auto& [id, timer] : timers_)
        next = std::min(next, timer.due);
    return static_cast<int>(std::max<std::int64_t>(0, next - now));
}

void HeadlessPump::WaitForEvents(int maxMs) {
    if (OnPass) OnPass();
    int wait = clock_.MsUntilNextDue(maxMs);
    // While blocks flow, a timer that falls due is served at the next block's wake-up, a little
    // late, rather than waking the thread once more on its own.
    if (card_ != nullptr && !card_->Stopped() && !OnPass && wait < maxMs)
        wait = std::min(maxMs, wait + kTimerSlackMs);
    if (card_ != nullptr && card_->Queue().WakeFd() >= 0) {
        pollfd fd{card_->Queue().WakeFd(), POLLIN, 0};
        ::poll(&fd, 1, OnPass ? 0 : wait);
        card_->ServeInput();
    } else if (wait > 0 && !OnPass) {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    clock_.FireDue();
}

DialogResult HeadlessDialogs::Ask(const Question& question) {
    shown_.push_back(question.text);
    err_ << "Kreisel: " << question.text << " -> (Vorgabe)\n";
    err_.flush();
    return question.defaultResult;
}

void HeadlessDialogs::ShowMessage(const std::string& text) {
    shown_.push_back(text);
    err_ << "Kreisel: " << text << '\n';
    err_.flush();
}

} // namespace kreisel

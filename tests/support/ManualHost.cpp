// Manual clock, stepping event pump, scripted dialogs and recording fakes for tests.
#include "support/ManualHost.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace kreisel {

int ManualClock::Start(int intervalMs, bool periodic, std::function<void()> callback) {
    Timer timer;
    timer.intervalMs = std::max(intervalMs, 1);
    timer.due = now_ + timer.intervalMs;
    timer.periodic = periodic;
    timer.order = nextOrder_++;
    timer.callback = std::make_shared<std::function<void()>>(std::move(callback));
    int id = nextId_++;
    timers_.emplace(id, std::move(timer));
    return id;
}

void ManualClock::Stop(int id) {
    timers_.erase(id);
}

void ManualClock::Advance(std::int64_t ms) {
    AdvanceTo(now_ + std::max<std::int64_t>(ms, 0));
}

void ManualClock::AdvanceTo(std::int64_t tickMs) {
    for (;;) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            const Timer& t = it->second;
            if (t.running || t.due > tickMs) continue;
            if (next == timers_.end() || t.due < next->second.due ||
                (t.due == next->second.due && t.order < next->second.order))
                next = it;
        }
        if (next == timers_.end()) break;

        int id = next->first;
        Timer& timer = next->second;
        now_ = std::max(now_, timer.due);
        // Hold the callback: the timer may be stopped (erased) while it runs.
        std::shared_ptr<std::function<void()>> callback = timer.callback;
        if (timer.periodic) {
            timer.due += timer.intervalMs;
            timer.order = nextOrder_++;
            timer.running = true;
        } else {
            timers_.erase(next);
        }
        if (*callback) (*callback)();
        auto again = timers_.find(id);
        if (again != timers_.end()) again->second.running = false;
    }
    now_ = std::max(now_, tickMs);
}

std::optional<std::int64_t> ManualClock::NextDue() const {
    std::optional<std::int64_t> due;
    for (const auto& [id, timer] : timers_)
        if (!due || timer.due < *due) due = timer.due;
    return due;
}

ManualEventPump::ManualEventPump(ManualClock& clock, int stepMs)
    : clock_(clock), stepMs_(std::max(stepMs, 1)), untilNextBlockMs_(stepMs_) {}

void ManualEventPump::ProcessPendingEvents() {
    WaitForEvents(untilNextBlockMs_);
}

void ManualEventPump::WaitForEvents(int maxMs) {
    ++calls_;
    int ms = std::clamp(maxMs, 1, untilNextBlockMs_);
    clock_.Advance(ms);
    untilNextBlockMs_ -= ms;
    if (untilNextBlockMs_ > 0) return;
    untilNextBlockMs_ = stepMs_;
    ++blocksFed_;
    if (feed_) feed_();
}

namespace {

const char* KindName(ScriptedDialogs::Kind kind) {
    static const char* const names[] = {"question", "message", "open dialog", "save dialog", "folder dialog",
                                        "input box"};
    return names[static_cast<int>(kind)];
}

bool Offers(DialogButtons buttons, DialogResult result) {
    switch (buttons) {
    case DialogButtons::Ok:
    case DialogButtons::OkCancel:
        return result == DialogResult::Ok || result == DialogResult::Cancel;
    case DialogButtons::YesNo:
    case DialogButtons::YesNoCancel:
        return result == DialogResult::Yes || result == DialogResult::No || result == DialogResult::Cancel;
    case DialogButtons::OkNoCancel:
        return result == DialogResult::Ok || result == DialogResult::No || result == DialogResult::Cancel;
    }
    return result == DialogResult::Cancel; // closing the box
}

} // namespace

std::string ScriptedDialogs::Request::Text() const {
    return (kind == Kind::Question || kind == Kind::Message || kind == Kind::Input) ? question.text
                                                                                     : options.title;
}

ScriptedDialogs::~ScriptedDialogs() {
    if (!script_.empty())
        ADD_FAILURE() << script_.size() << " scripted dialog answer(s) never asked for; next one for a "
                      << KindName(script_.front().kind);
}

void ScriptedDialogs::Answer(DialogResult result) {
    script_.push_back({Kind::Question, result, false, {}});
}

void ScriptedDialogs::AnswerTimeout() {
    script_.push_back({Kind::Question, DialogResult::None, true, {}});
}

void ScriptedDialogs::AnswerOpen(std::vector<std::string> paths) {
    script_.push_back({Kind::Open, DialogResult::None, false, std::move(paths)});
}

void ScriptedDialogs::AnswerSave(std::optional<std::string> path) {
    AnswerInput(std::move(path));
    script_.back().kind = Kind::Save;
}

void ScriptedDialogs::AnswerFolder(std::optional<std::string> folder) {
    AnswerInput(std::move(folder));
    script_.back().kind = Kind::Folder;
}

void ScriptedDialogs::AnswerInput(std::optional<std::string> text) {
    Scripted s{Kind::Input, DialogResult::None, false, {}};
    if (text) s.paths.push_back(std::move(*text));
    script_.push_back(std::move(s));
}

std::optional<ScriptedDialogs::Scripted> ScriptedDialogs::Take(Kind kind, const std::string& what) {
    if (script_.empty()) {
        ADD_FAILURE() << "unscripted " << KindName(kind) << ": \"" << what << "\"";
        return std::nullopt;
    }
    if (script_.front().kind != kind) {
        ADD_FAILURE() << "next scripted answer is for: " << KindName(script_.front().kind)
                      << "; asked: " << KindName(kind) << " \"" << what << "\"";
        return std::nullopt;
    }
    Scripted s = std::move(script_.front());
    script_.pop_front();
    return s;
}

DialogResult ScriptedDialogs::Ask(const Question& question) {
    requests_.push_back({Kind::Question, question, {}});
    auto answer = Take(Kind::Question, question.text);
    if (!answer) return DialogResult::Cancel;
    if (answer->timeout) {
        if (question.timeoutMs > 0) return question.defaultResult;
        ADD_FAILURE() << "time-out scripted for a box without time-out: \"" << question.text << "\"";
        return DialogResult::Cancel;
    }
    if (!Offers(question.buttons, answer->result)) {
        ADD_FAILURE() << "scripted answer " << static_cast<int>(answer->result)
                      << " is not a button of the box: \"" << question.text << "\"";
        return DialogResult::Cancel;
    }
    return answer->result;
}

void ScriptedDialogs::ShowMessage(const std::string& text) {
    requests_.push_back({Kind::Message, {.text = text}, {}});
}

std::vector<std::string> ScriptedDialogs::OpenFiles(const FileDialogOptions& options) {
    requests_.push_back({Kind::Open, {}, options});
    auto answer = Take(Kind::Open, options.title);
    if (!answer) return {};
    if (answer->paths.size() > 1 && !options.allowMultiple) {
        ADD_FAILURE() << "several files scripted for a single-file dialog: \"" << options.title << "\"";
        return {};
    }
    return answer->paths;
}

std::optional<std::string> ScriptedDialogs::SaveFile(const FileDialogOptions& options) {
    requests_.push_back({Kind::Save, {}, options});
    auto answer = Take(Kind::Save, options.title);
    if (!answer || answer->paths.empty()) return std::nullopt;
    return answer->paths.front();
}

std::optional<std::string> ScriptedDialogs::SelectFolder(const std::string& title,
                                                         const std::string& startFolder) {
    requests_.push_back({Kind::Folder, {}, {.title = title, .folder = startFolder}});
    auto answer = Take(Kind::Folder, title);
    if (!answer || answer->paths.empty()) return std::nullopt;
    return answer->paths.front();
}

std::optional<std::string> ScriptedDialogs::InputText(const TextQuery& query) {
    requests_.push_back(
        {Kind::Input, {.caption = query.caption, .text = query.prompt}, {.fileName = query.defaultText}});
    auto answer = Take(Kind::Input, query.prompt);
    if (!answer || answer->paths.empty()) return std::nullopt;
    return answer->paths.front();
}

bool ScriptedDialogs::WasShown(const std::string& piece) const {
    return std::any_of(requests_.begin(), requests_.end(),
                       [&](const Request& r) { return r.Text().find(piece) != std::string::npos; });
}

MemoryStatus FakeSystemInfo::Memory() {
    ++queries;
    return memory;
}

int FakeSystemInfo::ProcessorCount() {
    ++queries;
    return processorCount;
}

std::vector<int> FakeSystemInfo::ProcessorLoadPercent() {
    ++queries;
    return loads;
}

int FakeSystemInfo::ProcessorClockMHz() {
    ++queries;
    return clockMHz;
}

std::optional<std::uint64_t> FakeSystemInfo::FreeDiskBytes(const std::string& folder) {
    ++queries;
    auto it = freeDisk.find(folder);
    if (it == freeDisk.end()) return std::nullopt;
    return it->second;
}

bool FakeDesktop::OpenFolder(const std::string& folder) {
    calls.push_back("OpenFolder " + folder);
    return succeed;
}

bool FakeDesktop::StartSystemMixer() {
    calls.push_back("StartSystemMixer");
    return succeed;
}

bool FakeDesktop::OpenHelp(int helpContext) {
    calls.push_back("OpenHelp " + std::to_string(helpContext));
    return succeed;
}

bool FakeDesktop::RegisterFileType(const std::string& extension, const std::string& description) {
    calls.push_back("RegisterFileType " + extension + " " + description);
    return succeed;
}

} // namespace kreisel

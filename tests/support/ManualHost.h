// Test doubles of the host services: a clock that moves only when told and fires timers as it
// goes, an event pump that steps that clock and feeds audio, dialogs answered from a script, and
// recording fakes of the system and desktop services.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/HostServices.h"

namespace kreisel {

// Clock and timers in one: Advance moves time forward and fires every timer that falls due on
// the way, in time order (ties in the order they were armed), each at its own due time, so
// TickCount() inside a callback reads that time. Periodic timers re-arm before their callback
// runs. A callback may start, stop and even advance further (a nested waiting loop); a timer whose
// callback is still running is not fired again from inside it.
class ManualClock : public Clock, public Timers {
  public:
    explicit ManualClock(std::int64_t startMs = 0) : now_(startMs) {}

    std::int64_t TickCount() const override { return now_; }
    int Start(int intervalMs, bool periodic, std::function<void()> callback) override;
    void Stop(int id) override;

    void Advance(std::int64_t ms); // negative counts as 0: time never goes back
    void AdvanceTo(std::int64_t tickMs);

    bool IsActive(int id) const { return timers_.count(id) != 0; }
    std::size_t ActiveCount() const { return timers_.size(); }
    std::optional<std::int64_t> NextDue() const;

  private:
    struct Timer {
        std::int64_t due = 0;
        int intervalMs = 1;
        bool periodic = false;
        std::uint64_t order = 0;
        bool running = false;
        std::shared_ptr<std::function<void()>> callback;
    };

    std::int64_t now_;
    int nextId_ = 1;
    std::uint64_t nextOrder_ = 0;
    std::map<int, Timer> timers_;
};

// Each ProcessPendingEvents advances the clock to the next audio block (stepMs after the last
// one) and feeds that block. WaitForEvents(maxMs) advances at most maxMs and feeds the block only
// when its time is reached. So a waiting loop sees time pass and audio arrive in lock-step,
// without real waiting. Steps below 1 ms count as 1 ms, so such loops always end.
class ManualEventPump : public EventPump {
  public:
    ManualEventPump(ManualClock& clock, int stepMs);

    void SetFeed(std::function<void()> feedOneBlock) { feed_ = std::move(feedOneBlock); }
    void ProcessPendingEvents() override;
    void WaitForEvents(int maxMs) override;

    int StepMs() const { return stepMs_; }
    int Calls() const { return calls_; }
    int BlocksFed() const { return blocksFed_; }

  private:
    ManualClock& clock_;
    int stepMs_;
    int untilNextBlockMs_;
    int calls_ = 0;
    int blocksFed_ = 0;
    std::function<void()> feed_;
};

// Dialogs answered from a script, in order. Every request is recorded, so tests can check the
// German wording. A request without a scripted answer, or whose answer is of another kind, fails
// the test and is answered as cancelled; answers left over when the object dies fail it too.
class ScriptedDialogs : public Dialogs {
  public:
    enum class Kind { Question, Message, Open, Save, Folder, Input };

    struct Request {
        Kind kind = Kind::Question;
        Question question;         // Question: the full request; Message: text only; Input:
                                   // caption and prompt (the prompt as text)
        FileDialogOptions options; // Open, Save; Folder: title and folder; Input: the default
                                   // text as fileName
        std::string Text() const;  // question or message text, or dialog title
    };

    ScriptedDialogs() = default;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;
    ~ScriptedDialogs() override;

    // Scripting.
    void Answer(DialogResult result);
    void AnswerTimeout();                            // the timed box runs out: its default button answers
    void AnswerOpen(std::vector<std::string> paths); // empty: cancelled
    void AnswerSave(std::optional<std::string> path);
    void AnswerFolder(std::optional<std::string> folder);
    void AnswerInput(std::optional<std::string> text); // nullopt: cancelled

    DialogResult Ask(const Question& question) override;
    void ShowMessage(const std::string& text) override;
    std::vector<std::string> OpenFiles(const FileDialogOptions& options) override;
    std::optional<std::string> SaveFile(const FileDialogOptions& options) override;
    std::optional<std::string> SelectFolder(const std::string& title,
                                            const std::string& startFolder) override;
    std::optional<std::string> InputText(const TextQuery& query) override;

    const std::vector<Request>& Requests() const { return requests_; }
    // Whether any recorded request's text contains the given piece.
    bool WasShown(const std::string& piece) const;
    std::size_t PendingAnswers() const { return script_.size(); }

  private:
    struct Scripted {
        Kind kind;
        DialogResult result = DialogResult::Cancel;
        bool timeout = false;
        std::vector<std::string> paths;
    };

    std::optional<Scripted> Take(Kind kind, const std::string& what);

    std::deque<Scripted> script_;
    std::vector<Request> requests_;
};

// Fixed figures, changed by the test; counts the queries.
class FakeSystemInfo : public SystemInfo {
  public:
    MemoryStatus memory{4ull << 30, 2ull << 30};
    int processorCount = 2;
    std::vector<int> loads{0, 0};
    int clockMHz = 2000;
    int processLoad = 0;
    std::map<std::string, std::uint64_t> freeDisk; // folders not listed: unknown
    int queries = 0;

    MemoryStatus Memory() override;
    int ProcessorCount() override;
    std::vector<int> ProcessorLoadPercent() override;
    int ProcessorClockMHz() override;
    int ProcessLoadPercent() override { return processLoad; }
    std::optional<std::uint64_t> FreeDiskBytes(const std::string& folder) override;
};

// Records each request as "OpenFolder /x", "StartSystemMixer", "OpenHelp 1200",
// "RegisterFileType .lps Beschreibung"; answers with `succeed`. The clipboard keeps its text.
class FakeDesktop : public Desktop {
  public:
    std::vector<std::string> calls;
    bool succeed = true;

    bool OpenFolder(const std::string& folder) override;
    bool StartSystemMixer() override;
    bool OpenHelp(int helpContext) override;
    bool RegisterFileType(const std::string& extension, const std::string& description) override;
    std::string clipboard;
    bool SetClipboardText(const std::string& text) override {
        clipboard = text;
        return succeed;
    }
};

} // namespace kreisel

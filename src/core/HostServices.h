// What the core asks of the machine it runs on: time, timers, event processing, dialogs, system
// figures and the desktop. The application implements these with Qt and the operating system;
// tests implement them with manual and scripted doubles, so the core never blocks, never reads
// the wall clock and never opens a window by itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kreisel {

// Milliseconds since an arbitrary start; never goes backwards.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::int64_t TickCount() const = 0;
};

// Callbacks on the core thread, between blocks. Intervals below 1 ms count as 1 ms. Ids are
// positive; stopping an id that has ended or never existed does nothing, so holders may keep 0
// for "no timer" and stop unconditionally. A callback may start and stop timers, itself included.
class Timers {
  public:
    virtual ~Timers() = default;
    virtual int Start(int intervalMs, bool periodic, std::function<void()> callback) = 0;
    virtual void Stop(int id) = 0;
};

// For the waiting loops that must keep audio and timers flowing while they wait.
class EventPump {
  public:
    virtual ~EventPump() = default;
    // Handles what is pending now and returns.
    virtual void ProcessPendingEvents() = 0;
    // Sleeps until something arrives or maxMs have passed, then handles it; a waiting loop calls
    // this instead of spinning a processor.
    virtual void WaitForEvents(int maxMs) = 0;
};

// Result codes of message boxes and the timed input box, numbered as the macro language and the
// timed box report them.
enum class DialogResult : int {
    None = 0,
    Ok = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7
};

enum class DialogButtons { Ok, OkCancel, YesNo, YesNoCancel, OkNoCancel };

enum class DialogIcon { None, Information, Warning, Error, Question };

// Request structs are meant for partial brace initialisation ({.title = "..."}); every member has
// an initialiser so that stays free of missing-initialiser warnings.

// A message box; with timeoutMs > 0 it is the timed input box, which counts down and answers
// with its default button when the time runs out.
struct Question {
    std::string caption{};
    std::string text{};
    DialogButtons buttons = DialogButtons::Ok;
    DialogResult defaultResult = DialogResult::Ok;
    int timeoutMs = 0;
    DialogIcon icon = DialogIcon::None;
};

struct FileDialogOptions {
    std::string title{};
    // Pairs of description and patterns: "Control-Dateien (*.ctr)|*.ctr|alle Dateien (*.*)|*.*".
    std::string filter{};
    int filterIndex = 0;            // the pair of the filter selected at first, from 0
    std::string defaultExtension{}; // appended when the user types a name without one
    std::string folder{};           // where the dialog opens; empty: the last one used
    std::string fileName{};         // preset name or pattern
    std::string okCaption{};        // text of the accept button; empty: the platform's
    bool allowMultiple = false;     // open dialog only
    bool mustExist = true;          // open dialog only
};

// A one-line input box: caption, prompt and the text it opens with.
struct TextQuery {
    std::string caption{};
    std::string prompt{};
    std::string defaultText{};
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A closed box without a button press answers Cancel.
    virtual DialogResult Ask(const Question& question) = 0;
    // A plain information message with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // Chosen paths; empty when cancelled.
    virtual std::vector<std::string> OpenFiles(const FileDialogOptions& options) = 0;
    // Chosen path; nullopt when cancelled. Asking before overwriting is the caller's business.
    virtual std::optional<std::string> SaveFile(const FileDialogOptions& options) = 0;
    virtual std::optional<std::string> SelectFolder(const std::string& title,
                                                    const std::string& startFolder) = 0;
    // The entered text; nullopt when cancelled. A host without input boxes answers as cancelled.
    virtual std::optional<std::string> InputText(const TextQuery& /*query*/) { return std::nullopt; }
};

// The problems of a run over several files, one message with a line each; none, no message.
inline void ShowProblems(Dialogs& dialogs, const std::vector<std::string>& problems) {
    if (problems.empty()) return;
    std::string text;
    for (const std::string& p : problems)
        text += (text.empty() ? "" : "\n") + p;
    dialogs.ShowMessage(text);
}

struct MemoryStatus {
    std::uint64_t physicalBytes = 0;
    std::uint64_t availableBytes = 0;
};

// Figures for the status line and the memory sizing. Load figures are measured between two calls,
// so the first call may report 0.
class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    virtual MemoryStatus Memory() = 0;
    virtual int ProcessorCount() = 0;
    virtual std::vector<int> ProcessorLoadPercent() = 0; // one entry per processor, 0..100
    virtual int ProcessorClockMHz() = 0;                 // 0 when unknown
    // This process's share of the whole machine, 0..100, measured like the processor loads.
    virtual int ProcessLoadPercent() { return 0; }
    virtual std::optional<std::uint64_t> FreeDiskBytes(const std::string& folder) = 0; // nullopt: unknown
};

// Hand-offs to the desktop. Each returns whether the request could be passed on.
class Desktop {
  public:
    virtual ~Desktop() = default;
    virtual bool OpenFolder(const std::string& folder) = 0;
    virtual bool StartSystemMixer() = 0;
    virtual bool OpenHelp(int helpContext) = 0;
    // Lets the desktop open files with this extension (".lps") in the program.
    virtual bool RegisterFileType(const std::string& extension, const std::string& description) = 0;
    // Puts the text on the system clipboard; false where there is none.
    virtual bool SetClipboardText(const std::string& /*text*/) { return false; }
};

} // namespace kreisel

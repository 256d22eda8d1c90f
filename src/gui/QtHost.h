// The host services of the application: Qt's clock, timers and event loop, German message and
// file dialogs, the machine's figures from /proc, and the desktop's programs.
#pragma once

#include "core/HostServices.h"
#include "shell/LinuxSystemInfo.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class QWidget;

namespace kreisel {

class QtClock : public Clock {
  public:
    QtClock() { timer_.start(); }
    std::int64_t TickCount() const override { return timer_.elapsed(); }

  private:
    QElapsedTimer timer_;
};

class QtTimers : public Timers {
  public:
    QtTimers();
    ~QtTimers() override;
    QtTimers(const QtTimers&) = delete;
    QtTimers& operator=(const QtTimers&) = delete;

    int Start(int intervalMs, bool periodic, std::function<void()> callback) override;
    void Stop(int id) override;
    std::size_t ActiveCount() const { return timers_.size(); }

  private:
    int nextId_ = 1;
    std::map<int, QTimer*> timers_; // owned; deleted later, since one may stop itself
};

class QtEventPump : public EventPump {
  public:
    void ProcessPendingEvents() override;
    // Blocks in the event dispatcher until an event arrives or maxMs have passed.
    void WaitForEvents(int maxMs) override;
};

// "Beschreibung (*.a;*.b)|*.a;*.b|alle Dateien (*.*)|*.*" as Qt's "Beschreibung (*.a *.b);;alle
// Dateien (*)"; the patterns between the bars win over those written in the description.
QString QtFileFilter(const std::string& filter);

class QtDialogs : public Dialogs {
  public:
    // Boxes are centred on the parent when one is given (the main window, once it exists).
    void SetParentWindow(QWidget* parent) { parent_ = parent; }
    // The timed box (a question with a time-out); without one, a message box that counts down.
    using TimedAsk = std::function<DialogResult(const Question&)>;
    void SetTimedAsk(TimedAsk ask) { timedAsk_ = std::move(ask); }
    // Nobody at the screen (screenshots, scripted runs): messages go to the error output,
    // questions take their default answer, file dialogs count as cancelled.
    void SetUnattended(bool unattended) { unattended_ = unattended; }

    DialogResult Ask(const Question& question) override;
    void ShowMessage(const std::string& text) override;
    std::vector<std::string> OpenFiles(const FileDialogOptions& options) override;
    std::optional<std::string> SaveFile(const FileDialogOptions& options) override;
    std::optional<std::string> SelectFolder(const std::string& title,
                                            const std::string& startFolder) override;
    std::optional<std::string> InputText(const TextQuery& query) override;

    const std::string& LastFolder() const { return lastFolder_; }

  private:
    DialogResult CountDownBox(const Question& question);
    QWidget* parent_ = nullptr;
    TimedAsk timedAsk_;
    bool unattended_ = false;
    std::string lastFolder_;
};

// Folders and help through xdg-open, the system mixer (pavucontrol, qpwgraph, else alsamixer in a
// terminal), the file type through xdg-mime.
class XdgDesktop : public Desktop {
  public:
    // Where the help pages lie; empty: no help installed.
    explicit XdgDesktop(std::string helpFolder = {}) : helpFolder_(std::move(helpFolder)) {}

    bool OpenFolder(const std::string& folder) override;
    bool StartSystemMixer() override;
    bool OpenHelp(int helpContext) override;
    bool RegisterFileType(const std::string& extension, const std::string& description) override;
    bool SetClipboardText(const std::string& text) override;

  private:
    std::string helpFolder_;
};

} // namespace kreisel

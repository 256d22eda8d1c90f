// The timed input box: the program's question box with a countdown. A performer with both hands
// on the instrument may not answer, so when the time runs out the box answers by itself with
// the button that has the focus (at first the default one). While it waits, events, timers and
// audio blocks keep being processed.
#pragma once

#include "core/Control.h"
#include "core/Form.h"
#include "core/HostServices.h"

#include <cstdint>
#include <string>

namespace kreisel {

// Results and button set bits of the box.
enum TimedResult : int { TimedOk = 1, TimedCancel = 2, TimedNo = 7 };
enum TimedButtons : int { ShowOk = 1, ShowNo = 2, ShowCancel = 4 };

// The box window's controls; the window's form creates them in itself.
struct TimedBoxControls {
    explicit TimedBoxControls(Form& form);
    TimedBoxControls(const TimedBoxControls&) = delete;
    TimedBoxControls& operator=(const TimedBoxControls&) = delete;

    Form& Owner;
    Control& LabelMessage;
    Control& ButtonOk;
    Control& ButtonNo;
    Control& ButtonCancel;
    // "verbleibende Zeit [sec]:" and the seconds; a click on any of the three pauses or resumes.
    Control& PanelTime;
    Control& LabelTimeCaption;
    Control& LabelTimeSec;

    // The button that has the keyboard focus; the view reports Tab and arrow moves here.
    Control* Focused = nullptr;
};

class TimedInputBox {
  public:
    static constexpr int WarnBelowMs = 5000;
    static constexpr int RefreshMs = 100;
    static constexpr int ResumeAtLeastMs = 10000;

    TimedInputBox(TimedBoxControls& controls, Clock& clock, Timers& timers, EventPump& pump);
    ~TimedInputBox();
    TimedInputBox(const TimedInputBox&) = delete;
    TimedInputBox& operator=(const TimedInputBox&) = delete;

    // Shows the box and waits for the answer: 1 OK, 7 No, 2 Cancel. remainingMs: the time to
    // wait (0 or less: no countdown, wait for a button); on return the time that was left.
    int Show(int buttonSet, const std::string& caption, const std::string& message, int defaultResult,
             int& remainingMs);
    // OK only; true when time was left at the answer (never for a box without countdown).
    bool TimedMessage(const std::string& message, int ms);
    int TimedOkNo(const std::string& message, int ms, int defaultResult);
    int TimedOkCancel(const std::string& message, int ms, int defaultResult);
    int TimedOkNoCancel(const std::string& message, int ms, int defaultResult);

    // A Dialogs question through the box. Yes is the OK button.
    DialogResult RunTimedBox(const Question& question);

    // -- While open
    bool IsOpen() const { return open_; }
    bool Paused() const { return open_ && paused_; }
    // Red is shown from WarnBelowMs on; true once that happened in this box.
    bool Warned() const { return warned_; }
    // Closing the window without a button.
    void Close();

  private:
    void Answer(int result);
    void Tick();
    void TogglePause();
    void ShowSeconds(int ms);

    TimedBoxControls& c_;
    Clock& clock_;
    Timers& timers_;
    EventPump& pump_;
    bool open_ = false;
    bool answered_ = false;
    bool countdown_ = false;
    bool warned_ = false;
    bool paused_ = false;
    int result_ = TimedOk;
    int timerId_ = 0;
    std::int64_t deadline_ = 0;
    int remaining_ = 0;
};

// Dialogs whose questions go through the timed box; messages and file dialogs go to `other`.
class TimedBoxDialogs : public Dialogs {
  public:
    TimedBoxDialogs(TimedInputBox& box, Dialogs& other) : box_(box), other_(other) {}
    DialogResult Ask(const Question& question) override { return box_.RunTimedBox(question); }
    void ShowMessage(const std::string& text) override { other_.ShowMessage(text); }
    std::vector<std::string> OpenFiles(const FileDialogOptions& options) override {
        return other_.OpenFiles(options);
    }
    std::optional<std::string> SaveFile(const FileDialogOptions& options) override {
        return other_.SaveFile(options);
    }
    std::optional<std::string> SelectFolder(const std::string& title,
                                            const std::string& startFolder) override {
        return other_.SelectFolder(title, startFolder);
    }

  private:
    TimedInputBox& box_;
    Dialogs& other_;
};

} // namespace kreisel

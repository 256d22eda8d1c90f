// The smaller windows: the master faders "Haupt-Regler" and the timed question box.
#pragma once

#include "forms/TFormFaders.h"
#include "forms/TFormTimedInput.h"
#include "gui/ViewParts.h"

namespace kreisel {

// Input and output: level fader (unity marked), balance, the level texts (a click sets the fader
// back to unity) and the meter switch.
class FadersWindow : public FormWindow {
    Q_OBJECT
  public:
    FadersWindow(TFormFaders& form, Binder& binder, QWidget* parent = nullptr);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void PlaceUnityMarks();
    TFormFaders& form_;
    QWidget* faders_[2] = {nullptr, nullptr};
    QWidget* marks_[2] = {nullptr, nullptr};
};

// The question box with its countdown. It comes up while its form is shown (the box's waiting
// loop keeps the refresh running), keeps the keyboard focus where the model has it, and reports
// the user's focus moves back, since the focused button answers at the time-out.
class TimedInputWindow : public FormWindow {
    Q_OBJECT
  public:
    TimedInputWindow(TFormTimedInput& form, Binder& binder, TimedInputBox* box, QWidget* parent = nullptr);

    void Follow();

  private:
    TFormTimedInput& form_;
    Binder& binder_;
    const Control* focused_ = nullptr;
};

} // namespace kreisel

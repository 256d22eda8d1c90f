// The mouse-help window "Assistent (Maus-Hilfe)" and what feeds it: an application-wide watcher
// that notices the control under the mouse pointer (widgets and menu entries) and Ctrl or Shift
// pressed alone, and hands the control's hint to the mouse help. It also keeps every tool tip up
// for the program's tool-tip time.
#pragma once

#include "gui/ViewParts.h"
#include "shell/MouseHelp.h"

#include <QObject>

namespace kreisel {

class MouseHelpWindow : public FormWindow {
    Q_OBJECT
  public:
    MouseHelpWindow(MouseHelp& help, Binder& binder, QWidget* parent = nullptr);
    // Shown while the model says so; the text's font follows the settings.
    void Follow();

  private:
    MouseHelp& help_;
    QWidget* text_ = nullptr;
    int fontSize_ = 0;
};

class MouseHelpTracker : public QObject {
    Q_OBJECT
  public:
    MouseHelpTracker(MouseHelp& help, Binder& binder, QObject* parent = nullptr);
    const Control* Current() const { return current_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    const Control* ControlAt(QObject* watched, QEvent* event) const;
    void Show(const Control* control, Qt::KeyboardModifiers modifiers);

    MouseHelp& help_;
    Binder& binder_;
    const Control* current_ = nullptr;
};

} // namespace kreisel

// Keeps Qt widgets and the named controls of the window models in step. A user's click, drag or
// selection goes through the control (UserClick, UserSetValue), so it runs the same handler that
// a macro runs; the model's state reaches the widgets only from one coalescing refresh timer, so
// the block processor never touches a widget and a burst of changes costs one repaint.
#pragma once

#include "core/Control.h"

#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

class QAction;
class QLabel;
class QWidget;

namespace kreisel {

// The view of a text editor control: read-only lines; a click or double click names the line.
class MemoView : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit MemoView(QWidget* parent = nullptr);

  signals:
    void LineClicked(int line);
    void LineDoubleClicked(int line);

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    int LineAt(const QPoint& pos) const;
};

class Binder : public QObject {
    Q_OBJECT
  public:
    static constexpr int RefreshIntervalMs = 33;
    // Refreshes in a row with a new text after which a label keeps its size.
    static constexpr int LiveLabelStreak = 3;
    // Such labels are copied on every LiveLabelPace-th refresh only (about 10 Hz).
    static constexpr int LiveLabelPace = 3;

    explicit Binder(QObject* parent = nullptr);
    ~Binder() override;
    Binder(const Binder&) = delete;
    Binder& operator=(const Binder&) = delete;

    // Creates the widget that shows a control of its kind and binds it:
    // switch button → checkable QToolButton, button → QPushButton, check box → QCheckBox,
    // number field → QSpinBox, slider → QSlider, combo box → QComboBox, radio button →
    // QRadioButton, label and panel → QLabel, edit → QLineEdit, text editor → MemoView,
    // shape and paint box → a plain QWidget for the view to draw on.
    QWidget* Create(Control& control, QWidget* parent = nullptr);
    // Binds a widget the view made itself. What is mirrored depends on the widget's type: any
    // QAbstractButton, QSlider or QScrollBar, QSpinBox, QComboBox, QTabWidget (pages as combo box items),
    // QLabel, QLineEdit, QPlainTextEdit; any other widget gets name, hint, colour, enabled and
    // visible only.
    void Bind(Control& control, QWidget* widget);
    // Menu entries: the action's check mark follows the control when the entry is checkable.
    QAction* CreateAction(Control& control, QObject* parent);
    void Bind(Control& control, QAction* action);
    // Widgets inside a tool bar are shown and hidden through their tool bar action.
    void ShowThrough(QWidget* widget, QAction* toolBarAction);

    // Copies the models' state into the widgets now; the timer does this every
    // RefreshIntervalMs while it runs (it starts with the binder).
    void Refresh();
    QTimer& RefreshTimer() { return timer_; }
    // The control bound to a widget or action; nullptr when it is not bound.
    Control* ControlOf(const QObject* target) const;

  protected:
    // Clicks on labels, panels and paint boxes go to their controls (row activation, a level
    // label back to unity).
    bool eventFilter(QObject* watched, QEvent* event) override;

  signals:
    // After every refresh: views update what is not a control (progress, window visibility).
    void Refreshed();

  private:
    struct Binding;
    Binding& Add(Control& control, QObject* target);
    void Connect(Binding& b);
    void Sync(Binding& b);
    void SyncNow(const Control* control);
    void FollowLiveLabel(Binding& b, QLabel& label);

    std::vector<std::unique_ptr<Binding>> bindings_;
    QTimer timer_;
    uint64_t refreshes_ = 0;
};

} // namespace kreisel

// The mouse-help window and the watcher of the control under the pointer.
#include "gui/MouseHelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>

namespace kreisel {

MouseHelpWindow::MouseHelpWindow(MouseHelp& help, Binder& binder, QWidget* parent)
    : FormWindow(help.Window, parent), help_(help) {
    setObjectName(QString::fromStdString(help.Window.Name()));
    setWindowFlag(Qt::Tool);
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(2, 2, 2, 2);
    text_ = binder.Create(help.Window.MemoMouseHelp, this);
    if (auto* memo = qobject_cast<QPlainTextEdit*>(text_)) memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The text must never take the keyboard from the window the performer plays with.
    text_->setFocusPolicy(Qt::NoFocus);
    col->addWidget(text_);
    resize(360, 220);
    // Until a place is saved it stands at the screen's right edge, out of the main window's way.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 24, area.top() + 80);
    }
    Closing = [this, &binder] {
        help_.WindowClosed();
        binder.Refresh();
    };
    help.BringToFront = [this] {
        show();
        raise();
    };
    connect(&binder, &Binder::Refreshed, this, &MouseHelpWindow::Follow);
    Follow();
}

void MouseHelpWindow::Follow() {
    const bool shown = help_.Window.Visible();
    if (shown != isVisible()) setVisible(shown);
    const int size = help_.Window.FontSize;
    if (size != fontSize_ && size >= 6 && size <= 72) {
        fontSize_ = size;
        text_->setFont(WithPointSize(text_->font(), size));
    }
}

MouseHelpTracker::MouseHelpTracker(MouseHelp& help, Binder& binder, QObject* parent)
    : QObject(parent), help_(help), binder_(binder) {}

const Control* MouseHelpTracker::ControlAt(QObject* watched, QEvent* event) const {
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
        if (event->type() != QEvent::MouseMove) return nullptr;
        const QAction* action = menu->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        return action != nullptr ? binder_.ControlOf(action) : nullptr;
    }
    // The control is the bound widget itself or the nearest bound widget around it.
    for (auto* w = qobject_cast<QWidget*>(watched); w != nullptr; w = w->parentWidget()) {
        if (const Control* c = binder_.ControlOf(w)) return c;
        if (w->isWindow()) break;
    }
    return nullptr;
}

void MouseHelpTracker::Show(const Control* control, Qt::KeyboardModifiers modifiers) {
    help_.DisplayHelp(control != nullptr ? control->Hint() : std::string(), modifiers.testFlag(Qt::ControlModifier),
                      modifiers.testFlag(Qt::ShiftModifier));
}

bool MouseHelpTracker::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ToolTip:
        if (auto* w = qobject_cast<QWidget*>(watched); w != nullptr && w->toolTipDuration() != MouseHelp::ToolTipMs)
            w->setToolTipDuration(MouseHelp::ToolTipMs);
        break;
    case QEvent::Enter:
    case QEvent::MouseMove: {
        const Control* c = ControlAt(watched, event);
        // The help window's own text has nothing to explain.
        if (c != nullptr && c->Owner() == &help_.Window) break;
        if (c != nullptr && c != current_) {
            current_ = c;
            Show(c, QGuiApplication::keyboardModifiers());
        }
        break;
    }
    case QEvent::Leave:
        // Off the control, F1 opens the guide at its start again; the window keeps its text to read.
        if (current_ != nullptr && binder_.ControlOf(watched) == current_) {
            current_ = nullptr;
            help_.HelpContextCurrent = MouseHelp::DefaultHelpContext;
        }
        break;
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat() || current_ == nullptr) break;
        Qt::KeyboardModifiers mods = key->modifiers();
        if (key->key() == Qt::Key_Control)
            mods |= Qt::ControlModifier;
        else if (key->key() == Qt::Key_Shift)
            mods |= Qt::ShiftModifier;
        else if (key->key() != Qt::Key_Alt)
            break;
        Show(current_, mods);
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace kreisel

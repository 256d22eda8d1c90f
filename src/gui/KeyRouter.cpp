// Qt keys as virtual-key codes, and the application-wide filter that hands them to the core.
#include "gui/KeyRouter.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

namespace kreisel {

int VirtualKeyFromQt(int key, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9) return 96 + (key - Qt::Key_0);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key; // Qt uses the ASCII capitals
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
    // ":" to "@" keep their character codes, as the key index names them.
    if (key >= Qt::Key_Colon && key <= Qt::Key_At) return key;
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Print:
        return 44;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Asterisk:
        return keypad ? 106 : 187;
    case Qt::Key_Plus:
        return keypad ? 107 : 187;
    case Qt::Key_Minus:
        return keypad ? 109 : 189;
    case Qt::Key_Comma:
        return keypad ? 110 : 188;
    case Qt::Key_Period:
        return keypad ? 110 : 190;
    case Qt::Key_Slash:
        return keypad ? 111 : 191;
    case Qt::Key_NumberSign:
        return 191;
    case Qt::Key_NumLock:
        return 144;
    case Qt::Key_ScrollLock:
        return 145;
    default:
        return 0;
    }
}

KeyRouter::KeyRouter(QObject* parent) : QObject(parent) {}

namespace {

bool TakesText(const QWidget* w) {
    if (w == nullptr) return false;
    if (qobject_cast<const QLineEdit*>(w) != nullptr || qobject_cast<const QAbstractSpinBox*>(w) != nullptr)
        return true;
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) return combo->isEditable();
    if (const auto* edit = qobject_cast<const QPlainTextEdit*>(w)) return !edit->isReadOnly();
    if (const auto* edit = qobject_cast<const QTextEdit*>(w)) return !edit->isReadOnly();
    return false;
}

} // namespace

bool KeyRouter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    // A key event travels from the focus widget up to its parents, passing this filter each time;
    // only its first receiver counts.
    QWidget* first = QApplication::focusWidget();
    if (first == nullptr) first = QApplication::activeWindow();
    if (watched != first) return false;
    if (QApplication::activeModalWidget() != nullptr) return false;
    auto& key = *static_cast<QKeyEvent*>(event);
    if (key.key() == Qt::Key_F1) {
        if (event->type() == QEvent::KeyPress && !key.isAutoRepeat()) AskForHelp();
        return true;
    }
    if (TakesText(first)) return false;
    const bool down = event->type() == QEvent::KeyPress;
    const bool took = Route(key, down);
    if (!down && !key.isAutoRepeat() && Released) Released(first->window(), VirtualKeyFromQt(key.key(), key.modifiers()));
    return took;
}

void KeyRouter::AskForHelp() {
    QTimer::singleShot(HelpDelayMs, this, [this] {
        if (Help) Help();
    });
}

bool KeyRouter::Route(QKeyEvent& key, bool down) {
    const int vk = VirtualKeyFromQt(key.key(), key.modifiers());
    if (vk == 0) return false;
    std::set<int>& taken = taken_;
    if (key.isAutoRepeat()) return taken.count(vk) != 0;
    if (down) {
        const bool took = KeyDown && KeyDown(vk);
        if (took) taken.insert(vk);
        return took;
    }
    const bool wasTaken = taken.erase(vk) != 0;
    const bool took = KeyUp && KeyUp(vk);
    return took || wasTaken;
}

} // namespace kreisel

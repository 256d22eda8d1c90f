// Key presses of every window go to one key handler of the core, as Windows virtual-key codes
// (Enter 13, space 32, 'A' 65, F1 112), before the focused widget sees them. Text fields and
// modal dialogs keep their keys.
#pragma once

#include <QObject>

#include <functional>
#include <set>

class QKeyEvent;
class QWidget;

namespace kreisel {

// The virtual-key code of a Qt key; 0 for keys the looper does not know.
int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

class KeyRouter : public QObject {
    Q_OBJECT
  public:
    explicit KeyRouter(QObject* parent = nullptr);

    // Each returns true when the key was taken; the widget then never sees it.
    std::function<bool(int virtualKey)> KeyDown;
    std::function<bool(int virtualKey)> KeyUp;
    // F1 opens the help wherever the focus is, in text fields and with the keyboard locked too.
    // It never reaches KeyDown, so a key-file command for F1 never runs. The help is asked for
    // only after HelpDelayMs of event processing, so that the pointer's last move has set the
    // help link.
    std::function<void()> Help;
    // Every routed key release with the window it was typed in, whether or not the core took it.
    std::function<void(QWidget* window, int virtualKey)> Released;
    static constexpr int HelpDelayMs = 100;
    void AskForHelp();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool Route(QKeyEvent& key, bool down);

    std::set<int> taken_; // keys whose press the core took: their repeats and releases too
};

} // namespace kreisel

// Key presses of every window go to one key handler of the core, as Windows virtual-key codes
// (Enter 13, space 32, 'A' 65, F1 112), before the focused widget sees them. Text fields and
// modal dialogs keep their keys.
#pragma once

#include <QObject>

#include <functional>
#include <set>

class QKeyEvent;

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

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool Route(QKeyEvent& key, bool down);

    std::set<int> taken_; // keys whose press the core took: their repeats and releases too
};

} // namespace kreisel

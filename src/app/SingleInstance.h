// One looper per user: the first instance listens on a local socket in the user's runtime
// folder; a second start finds it there, asks it to come to the front and ends. A socket works on
// X11 and Wayland alike, where window-class lookups do not.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QWidget>

#include "core/HostServices.h"

#include <functional>

namespace kreisel {

class SingleInstance : public QObject {
  public:
    // The socket of the current user: $XDG_RUNTIME_DIR/kreisel.instance, or /tmp/kreisel-<uid>.instance.
    static QString DefaultSocketPath();

    explicit SingleInstance(QString socketPath = DefaultSocketPath());

    // True when another instance answered: it has been told to come to the front, and this one
    // should end. Otherwise this instance starts listening (a stale socket of a crashed instance is
    // removed first).
    bool OtherInstanceRunning();

    // Runs when a later start asked this instance to come to the front.
    std::function<void()> Activate;

    // What the first instance does when a later start found it: restores its minimised window,
    // else raises it, gives it the focus and says that it was already running.
    static void BringToFront(QWidget* window, Dialogs& dialogs);

  private:
    void OnConnection();
    QString path_;
    QLocalServer server_;
};

} // namespace kreisel

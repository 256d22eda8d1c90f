// Window geometry between the views and the models.
#include "gui/WindowKeeper.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace kreisel {

void WindowKeeper::Keep(QWidget* window, WindowGeometry& geometry, bool withSize) {
    kept_.push_back({window, &geometry, withSize});
    window->installEventFilter(this);
}

std::vector<ScreenArea> WindowKeeper::Screens() {
    std::vector<ScreenArea> screens;
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect r = s->availableGeometry();
        screens.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    return screens;
}

void WindowKeeper::Apply(QWidget* window, WindowGeometry& geometry, bool withSize) {
    WindowGeometry g = geometry;
    if (!withSize) {
        g.Width = window->width();
        g.Height = window->height();
    }
    if (!g.Known()) return;
    const WindowGeometry placed = KeepOnScreen(g, Screens());
    applying_ = true;
    window->move(placed.Left, placed.Top);
    if (withSize) window->resize(placed.Width, placed.Height);
    applying_ = false;
    geometry.Left = placed.Left;
    geometry.Top = placed.Top;
    if (withSize) {
        geometry.Width = placed.Width;
        geometry.Height = placed.Height;
    }
}

void WindowKeeper::ApplyAll() {
    for (const Kept& k : kept_)
        Apply(k.window, *k.geometry, k.withSize);
    // From now on moves are the performer's: until the saved places were applied, windows that
    // came up at their default places must not overwrite them.
    tracking_ = true;
}

bool WindowKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (!tracking_ || applying_ || (event->type() != QEvent::Move && event->type() != QEvent::Resize)) return false;
    for (const Kept& k : kept_) {
        if (k.window != watched || !k.window->isVisible()) continue;
        WindowGeometry& g = *k.geometry;
        const QPoint at = k.window->frameGeometry().topLeft();
        g.Left = at.x();
        g.Top = at.y();
        g.Width = k.window->width();
        g.Height = k.window->height();
    }
    return false;
}

} // namespace kreisel

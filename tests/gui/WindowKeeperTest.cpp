// Saved window places reach the windows pulled onto a screen, and later moves reach the models.
#include "GuiRig.h"

#include "gui/WindowKeeper.h"

#include <QGuiApplication>
#include <QScreen>

namespace kreisel {
namespace {

TEST(WindowKeeper, SavedPlacesOffTheScreensArePulledBackAndMovesAreKept) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    Form lost("FormLost");
    Form kept("FormKept");
    lost.Geometry() = {screen.right() + 3000, screen.top() + 10, 300, 200};
    kept.Geometry() = {screen.left() + 20, screen.top() + 30, 310, 210};
    QWidget lostWindow;
    QWidget keptWindow;
    WindowKeeper keeper;
    keeper.Keep(&lostWindow, lost);
    keeper.Keep(&keptWindow, kept);
    // Windows shown at their default places before the saved ones are applied change nothing.
    keptWindow.show();
    RunEvents(50);
    keeper.ApplyAll();
    lostWindow.show();
    RunEvents(50);

    EXPECT_TRUE(screen.contains(lostWindow.frameGeometry().topLeft())) << lostWindow.x() << "," << lostWindow.y();
    EXPECT_EQ(lost.Geometry().Left, screen.right() + 1 - 300);
    EXPECT_EQ(lostWindow.size(), QSize(300, 200));
    EXPECT_EQ(keptWindow.size(), QSize(310, 210));

    keptWindow.resize(400, 250);
    RunEvents(50);
    EXPECT_EQ(kept.Geometry().Width, 400);
    EXPECT_EQ(kept.Geometry().Height, 250);
}

} // namespace
} // namespace kreisel

// The timed box in its window on the real event loop: it comes up with its countdown while the
// box waits, answers by itself with the focused button when the time runs out, and lets the
// performer's keys through to the core while it is up.
#include "gui/SecondaryWindows.h"
#include "GuiRig.h"

#include "gui/KeyRouter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace kreisel {
namespace {

// The timed box with its window on the Qt clock and timers.
struct TimedInputWindowTest : ::testing::Test {
    QtClock clock;
    QtTimers timers;
    QtEventPump pump;
    TFormTimedInput form;
    TimedInputBox box{form, clock, timers, pump};
    Binder binder;
    TimedInputWindow window{form, binder, &box};
};

TEST_F(TimedInputWindowTest, AnswersByItselfAtTheTimeOut) {
    bool shownWhileWaiting = false;
    QString seconds;
    QWidget* focused = nullptr;
    QTimer::singleShot(400, &window, [&] {
        shownWhileWaiting = window.isVisible();
        seconds = window.findChild<QLabel*>(QStringLiteral("LabelTimeSec"))->text();
        focused = QApplication::focusWidget();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(box.TimedOkCancel("Weiter?", 1200, TimedCancel), TimedCancel);
    EXPECT_GE(t.elapsed(), 1100);
    EXPECT_TRUE(shownWhileWaiting);
    EXPECT_EQ(seconds, QStringLiteral("1"));
    EXPECT_EQ(focused, window.findChild<QPushButton*>(QStringLiteral("ButtonCancel")));
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(TimedInputWindowTest, TheFocusedButtonAnswersAndAClickAnswersAtOnce) {
    auto* ok = Child<QPushButton>(window, "ButtonOk");
    auto* no = Child<QPushButton>(window, "ButtonNo");

    // The user moves the focus to "Nein"; the time-out then answers No.
    QTimer::singleShot(200, &window, [&] { no->setFocus(); });
    EXPECT_EQ(box.TimedOkNo("Speichern?", 600, TimedOk), TimedNo);

    QTimer::singleShot(200, &window, [&] { ok->click(); });
    EXPECT_EQ(box.TimedOkNo("Speichern?", 5000, TimedNo), TimedOk);
}

// The box waits without blocking the rest of the program: the performer's keys still reach the
// core while it is up, and the box's own buttons still answer.
TEST_F(TimedInputWindowTest, PerformerKeysReachTheCoreWhileTheBoxIsOpen) {
    KeyRouter keys;
    std::vector<int> down;
    keys.KeyDown = [&down](int vk) {
        down.push_back(vk);
        return vk == 'R';
    };
    qApp->installEventFilter(&keys);
    bool modal = true;
    QTimer::singleShot(300, &window, [&] {
        modal = QApplication::activeModalWidget() != nullptr;
        QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &window;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_R, Qt::NoModifier, QStringLiteral("r"));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_R, Qt::NoModifier, QStringLiteral("r"));
        QApplication::sendEvent(target, &release);
    });
    EXPECT_EQ(box.TimedOkNo("Bisherige Aufnahmen speichern?", 800, TimedNo), TimedNo);
    qApp->removeEventFilter(&keys);
    EXPECT_FALSE(modal);
    EXPECT_EQ(down, std::vector<int>{'R'});
}

} // namespace
} // namespace kreisel

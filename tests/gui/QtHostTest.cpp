// The application's host services: timers and the waiting pump on the Qt event loop, and the
// file dialog filters.
#include "GuiRig.h"

#include <QElapsedTimer>

namespace kreisel {
namespace {

TEST(QtHost, TimersFireAndMayStopThemselves) {
    QtTimers timers;
    int once = 0;
    int ticks = 0;
    int periodic = 0;
    timers.Start(5, false, [&] { ++once; });
    periodic = timers.Start(5, true, [&] {
        if (++ticks == 3) timers.Stop(periodic);
    });
    const int stopped = timers.Start(5, false, [&] { ADD_FAILURE() << "a stopped timer fired"; });
    timers.Stop(stopped);
    timers.Stop(9999); // unknown ids are fine

    RunEvents(150);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(timers.ActiveCount(), 0u);
}

TEST(QtHost, WaitForEventsSleepsUntilAnEventOrTheTimeOut) {
    QtEventPump pump;
    pump.ProcessPendingEvents(); // what earlier tests left behind
    QElapsedTimer t;
    t.start();
    pump.WaitForEvents(60);
    const qint64 idle = t.elapsed();
    EXPECT_GE(idle, 50);
    EXPECT_LT(idle, 1000);

    // A timer that falls due wakes it early.
    QtTimers timers;
    bool fired = false;
    timers.Start(10, false, [&] { fired = true; });
    t.restart();
    while (!fired && t.elapsed() < 2000)
        pump.WaitForEvents(2000);
    EXPECT_TRUE(fired);
    EXPECT_LT(t.elapsed(), 1000);
}

TEST(QtHost, FileFiltersBecomeQtFilters) {
    EXPECT_EQ(QtFileFilter("Control-Dateien (*.ctr)|*.ctr|alle Dateien (*.*)|*.*"),
              QStringLiteral("Control-Dateien (*.ctr);;alle Dateien (*)"));
    // The patterns after the bar count, several of them separated by ';'.
    EXPECT_EQ(QtFileFilter("Einstellungen|*.lps;*.LPS"), QStringLiteral("Einstellungen (*.lps *.LPS)"));
    EXPECT_EQ(QtFileFilter("Wave (*.wav)|"), QStringLiteral("Wave (*)"));
    EXPECT_EQ(QtFileFilter(""), QString());
}

} // namespace
} // namespace kreisel

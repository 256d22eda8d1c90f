// The application's host services: timers and the waiting pump on the Qt event loop, file
// dialog filters, and the machine's figures read from /proc-style files.
#include "gui/QtHost.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kreisel {
namespace {

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

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

    RunFor(150);
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

TEST(QtHost, SystemFiguresFromProcFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::filesystem::path root = dir.path().toStdString();
    auto write = [&](const char* name, const std::string& text) { std::ofstream(root / name) << text; };
    write("meminfo", "MemTotal:       16000000 kB\nMemFree:         1000 kB\nMemAvailable:    8000000 kB\n");
    write("cpuinfo", "processor\t: 0\ncpu MHz\t\t: 2394.456\nprocessor\t: 1\ncpu MHz\t\t: 800.000\n");
    write("stat", "cpu  300 0 100 600 0 0 0 0 0 0\n"
                  "cpu0 100 0 50 300 0 0 0 0 0 0\n"
                  "cpu1 200 0 50 300 0 0 0 0 0 0\n"
                  "intr 12345\n");

    LinuxSystemInfo info(root.string());
    const MemoryStatus m = info.Memory();
    EXPECT_EQ(m.physicalBytes, 16000000ull * 1024);
    EXPECT_EQ(m.availableBytes, 8000000ull * 1024);
    EXPECT_EQ(info.ProcessorClockMHz(), 2394);
    EXPECT_EQ(info.ProcessorCount(), 2);
    EXPECT_EQ(info.ProcessorLoadPercent(), (std::vector<int>{0, 0})); // nothing to compare with yet

    // cpu0: 40 busy of 100 jiffies; cpu1: iowait counts as idle, 75 busy of 100.
    write("stat", "cpu  0 0 0 0 0 0 0 0 0 0\n"
                  "cpu0 130 0 60 360 0 0 0 0 0 0\n"
                  "cpu1 250 0 75 310 15 0 0 0 0 0\n");
    EXPECT_EQ(info.ProcessorLoadPercent(), (std::vector<int>{40, 75}));

    EXPECT_TRUE(info.FreeDiskBytes(root.string()).has_value());
    EXPECT_FALSE(info.FreeDiskBytes((root / "nowhere").string()).has_value());
}

} // namespace
} // namespace kreisel

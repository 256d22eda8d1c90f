// The whole looper with its real windows on Qt's host services, for the GUI tests. Dialogs
// must not come up here: any request fails the test and answers as cancelled.
#pragma once

#include "forms/TFormOptions.h"
#include "gui/Binder.h"
#include "gui/MainWindow.h"
#include "gui/QtHost.h"
#include "mixer/LoopMixer.h"
#include "shell/KreiselCore.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace kreisel {

class NoDialogs : public Dialogs {
  public:
    DialogResult Ask(const Question& q) override {
        ADD_FAILURE() << "unexpected question: " << q.text;
        return DialogResult::Cancel;
    }
    void ShowMessage(const std::string& text) override { ADD_FAILURE() << "unexpected message: " << text; }
    std::vector<std::string> OpenFiles(const FileDialogOptions&) override {
        ADD_FAILURE() << "unexpected open dialog";
        return {};
    }
    std::optional<std::string> SaveFile(const FileDialogOptions&) override {
        ADD_FAILURE() << "unexpected save dialog";
        return std::nullopt;
    }
    std::optional<std::string> SelectFolder(const std::string&, const std::string&) override {
        ADD_FAILURE() << "unexpected folder dialog";
        return std::nullopt;
    }
};

// Runs the Qt event loop for a while (timers, the binder's refresh).
inline void RunEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The child of that name; a missing one ends the test with an exception that gtest reports.
template <typename W> W* Child(const QObject& parent, const char* name) {
    W* w = parent.findChild<W*>(QString::fromLatin1(name));
    if (w == nullptr) throw std::runtime_error(std::string("no child ") + name);
    return w;
}

struct GuiRig {
    QtClock clock;
    QtTimers timers;
    QtEventPump pump;
    NoDialogs dialogs;
    LinuxSystemInfo systemInfo;
    KreiselCore core{Host{clock, timers, pump, dialogs, systemInfo}};
    LoopMixer& mixer = core.Mixer();
    TFormOptions& options = core.Options();
    WindowSwitches& switches = core.Switches();
    Binder binder;
    std::unique_ptr<MainWindow> main;

    GuiRig() {
        core.Start();
        main = std::make_unique<MainWindow>(core, switches, binder);
        main->show();
        binder.Refresh();
    }

    // One block of silence through the engine, as the sound card delivers it.
    void FeedBlock() {
        std::vector<int16_t> block(static_cast<std::size_t>(core.E().BlockBytes / 2), 0);
        core.SndInputEvent(block.data(), core.E().BlockBytes);
    }

    template <typename W> W* Widget(const char* name) const { return Child<W>(*main, name); }
};

} // namespace kreisel

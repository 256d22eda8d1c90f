// kreisel: the looper with its windows. Creates the Qt host services, the core and the windows,
// opens the sound card and runs until the main window closes.
#include "forms/TFormOptions.h"
#include "gui/Binder.h"
#include "gui/KeyRouter.h"
#include "gui/MainWindow.h"
#include "gui/OptionsWindow.h"
#include "gui/QtHost.h"
#include "shell/KreiselCore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace kreisel;

namespace {

// Saves every shown window as DIR/<name>.png.
void GrabWindows(const QString& dir) {
    QDir().mkpath(dir);
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->objectName().isEmpty()) continue;
        const QString file = QDir(dir).filePath(w->objectName() + QStringLiteral(".png"));
        if (!w->grab().save(file)) std::fprintf(stderr, "kreisel: cannot write %s\n", qPrintable(file));
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kreisel"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral("Kreisel - Live-Looper"));
    args.addHelpOption();
    const QCommandLineOption audio(
        QStringLiteral("audio"),
        QStringLiteral("Audio: \"silence\", \"file:IN.wav[:OUT.wav]\" oder leer für die "
                       "Sound-Karte."),
        QStringLiteral("spec"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Nach dem Start jedes gezeigte Fenster als DIR/<Name>.png "
                       "speichern und beenden."),
        QStringLiteral("dir"));
    const QCommandLineOption showAll(QStringLiteral("show-all"), QStringLiteral("Alle Fenster zeigen."));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Ohne Fenster (noch nicht)."));
    args.addOptions({audio, screenshot, showAll, headless});
    args.process(app);
    if (args.isSet(headless)) {
        std::fprintf(stderr, "kreisel: --headless is not available yet\n");
        return 2;
    }

    QtClock clock;
    QtTimers timers;
    QtEventPump pump;
    QtDialogs dialogs;
    LinuxSystemInfo systemInfo;
    XdgDesktop desktop;

    KreiselCore core(Host{clock, timers, pump, dialogs, systemInfo});
    TFormOptions options;
    core.Forms().Add(options);
    WindowSwitches switches(core.Main(), core.Forms(), options);
    switches.UpdateControls = [&core] { core.T().UpdateControls(); };

    Binder binder;
    MainWindow mainWindow(core, switches, binder);
    dialogs.SetParentWindow(&mainWindow);
    mainWindow.OpenExplorer = [&] {
        const std::string folder =
            dialogs.LastFolder().empty() ? QDir::currentPath().toStdString() : dialogs.LastFolder();
        if (!desktop.OpenFolder(folder))
            dialogs.ShowMessage("Fehler bei Windows-Aufruf \"xdg-open " + folder + "\" !!");
    };

    std::vector<Form*> optionForms;
    for (std::size_t i = 0; i < core.Forms().FormCount(); ++i)
        optionForms.push_back(&core.Forms().FormAt(i));
    OptionsWindow optionsWindow(options, binder, optionForms);
    mainWindow.AddWindow(&optionsWindow, switches.ToolShowOptions, &switches.PMShowOptions,
                         &switches.PMOptionsStayOnTop);

    KeyRouter keys;
    keys.KeyDown = [&core](int vk) {
        Engine& e = core.E();
        if (vk == 32 && e.PunchOn && !e.Recording) {
            core.T().PunchKeyDown();
            return true;
        }
        return core.T().KeyDown(vk);
    };
    keys.KeyUp = [&core](int vk) {
        if (vk == 32 && core.E().PunchActive) {
            core.T().PunchKeyUp();
            return true;
        }
        return false;
    };
    app.installEventFilter(&keys);

    core.Start();
    core.Main().SetVisible(true);
    if (args.isSet(showAll))
        for (Form* f : optionForms)
            f->SetVisible(true);
    mainWindow.show();
    binder.Refresh();

    if (args.isSet(screenshot)) {
        const QString dir = args.value(screenshot);
        QTimer::singleShot(1500, &app, [dir] {
            GrabWindows(dir);
            QApplication::quit();
        });
    }
    return QApplication::exec();
}

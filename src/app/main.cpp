// kreisel: the looper with its windows. Creates the Qt host services, the core and the windows,
// opens the sound card and runs until the main window closes.
#include "app/AudioSetup.h"
#include "forms/TFormFaders.h"
#include "forms/TFormOptions.h"
#include "forms/TFormTimedInput.h"
#include "gui/Binder.h"
#include "gui/KeyRouter.h"
#include "gui/LoadSaveWindow.h"
#include "gui/LoopsWindow.h"
#include "gui/MainWindow.h"
#include "gui/OptionsWindow.h"
#include "gui/QtHost.h"
#include "gui/SecondaryWindows.h"
#include "gui/SoundCardWindow.h"
#include "mixer/Faders.h"
#include "mixer/LoopMixer.h"
#include "shell/KreiselCore.h"
#include "shell/TimedInputBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStandardPaths>
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

// "Kreisel.LPS" beside the program when its folder is writable (a build-tree run), else in the
// user's configuration folder.
std::string SettingsFile() {
    const QString programDir = QCoreApplication::applicationDirPath();
    if (QFileInfo(programDir).isWritable())
        return QDir(programDir).filePath(QStringLiteral("Kreisel.LPS")).toStdString();
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    config = QDir(config).filePath(QStringLiteral("kreisel"));
    QDir().mkpath(config);
    return QDir(config).filePath(QStringLiteral("Kreisel.LPS")).toStdString();
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
        QStringLiteral("choice"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Nach dem Start jedes gezeigte Fenster als DIR/<Name>.png "
                       "speichern und beenden."),
        QStringLiteral("dir"));
    const QCommandLineOption screenshotDelay(QStringLiteral("screenshot-delay"),
                                             QStringLiteral("Wartezeit vor den Bildern in ms (2000)."),
                                             QStringLiteral("ms"), QStringLiteral("2000"));
    const QCommandLineOption showAll(QStringLiteral("show-all"), QStringLiteral("Alle Fenster zeigen."));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Ohne Fenster (noch nicht)."));
    args.addOptions({audio, screenshot, screenshotDelay, showAll, headless});
    args.process(app);
    if (args.isSet(headless)) {
        std::fprintf(stderr, "kreisel: --headless is not available yet\n");
        return 2;
    }
    const std::optional<AudioChoice> audioChoice = ParseAudioChoice(args.value(audio));
    if (!audioChoice) {
        std::fprintf(stderr, "kreisel: --audio takes \"silence\" or \"file:IN.wav[:OUT.wav]\"\n");
        return 2;
    }

    QtClock clock;
    QtTimers timers;
    QtEventPump pump;
    QtDialogs dialogs;
    LinuxSystemInfo systemInfo;
    XdgDesktop desktop;

    KreiselCore core(Host{clock, timers, pump, dialogs, systemInfo});

    LoopMixer& mixer = core.Mixer();
    TFormFaders& fadersForm = core.FadersForm();
    TFormTimedInput timedForm;
    TimedInputBox timedBox(timedForm, clock, timers, pump);
    dialogs.SetTimedAsk([&timedBox](const Question& q) { return timedBox.RunTimedBox(q); });
    TFormThreadSK& soundCard = core.SoundCardForm();
    TFormOptions& options = core.Options();
    WindowSwitches& switches = core.Switches();

    Binder binder;
    MainWindow mainWindow(core, switches, binder);
    LoadSaveWindow loadSaveWindow(core.LoadSaveForm(), binder, &mainWindow);
    dialogs.SetParentWindow(&mainWindow);
    mainWindow.OpenExplorer = [&] {
        const std::string folder =
            dialogs.LastFolder().empty() ? QDir::currentPath().toStdString() : dialogs.LastFolder();
        if (!desktop.OpenFolder(folder))
            dialogs.ShowMessage("Fehler bei Windows-Aufruf \"xdg-open " + folder + "\" !!");
    };

    LoopsWindow loopsWindow(core.Loops(), binder, core.E(), &mixer, &switches.ToolShowMixers);
    mainWindow.AddWindow(&loopsWindow, switches.ToolShowLoops, &switches.PMShowLoops,
                         &switches.PMLoopsStayOnTop);
    FadersWindow fadersWindow(fadersForm, binder);
    mainWindow.AddWindow(&fadersWindow, switches.ToolShowFaders, &switches.PMShowFaders,
                         &switches.PMFadersStayOnTop);
    TimedInputWindow timedWindow(timedForm, binder, &timedBox);
    SoundCardWindow soundCardWindow(soundCard, binder);
    mainWindow.AddWindow(&soundCardWindow, switches.SpeedButtonSoundkarte, nullptr, nullptr);

    std::vector<Form*> optionForms;
    for (std::size_t i = 0; i < core.Forms().FormCount(); ++i)
        optionForms.push_back(&core.Forms().FormAt(i));
    OptionsWindow optionsWindow(options, binder, optionForms);
    mainWindow.AddWindow(&optionsWindow, switches.ToolShowOptions, &switches.PMShowOptions,
                         &switches.PMOptionsStayOnTop);

    KeyRouter keys;
    keys.KeyDown = [&core](int vk) { return core.KeyDown(vk); };
    keys.KeyUp = [&core](int vk) { return core.KeyUp(vk); };
    app.installEventFilter(&keys);

    core.Start();
    core.Main().SetVisible(true);
    // Until the settings file says otherwise, the loop mixer comes up with the main window.
    switches.ShowWindow(WindowSwitches::LoopsForm, true);
    if (args.isSet(showAll)) {
        switches.ShowWindow(WindowSwitches::FadersForm, true);
        switches.ShowWindow(WindowSwitches::OptionsForm, true);
        switches.ShowWindow(WindowSwitches::SoundCardForm, true);
        if (!switches.ToolShowMixers.Down()) switches.ToolShowMixers.UserClick();
    }
    mainWindow.show();
    binder.Refresh();

    if (args.isSet(screenshot)) {
        dialogs.SetUnattended(true);
        const QString dir = args.value(screenshot);
        QTimer::singleShot(args.value(screenshotDelay).toInt(), &app, [dir] {
            GrabWindows(dir);
            QApplication::quit();
        });
    }

    // The sound card starts once the main window is up, so that its questions and messages
    // appear over it. Each complete input block wakes the core thread through the queue's eventfd.
    AudioSetup audioSetup(soundCard);
    QSocketNotifier wake(soundCard.Card().Queue().WakeFd(), QSocketNotifier::Read);
    QObject::connect(&wake, &QSocketNotifier::activated, &app,
                     [&soundCard] { soundCard.Card().ServeInput(); });
    QTimer::singleShot(0, &app, [&] {
        audioSetup.Open(*audioChoice, SettingsFile());
        soundCard.ButtonClose.SetText("Schließen"); // the window only hides from now on
        audioSetup.Start();
    });
    const int result = QApplication::exec();
    soundCard.Card().SetClosing(true);
    return result;
}

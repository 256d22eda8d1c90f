// kreisel: the looper. Reads the command line; runs headless when asked, else with its windows:
// one instance per user, the Qt host services, the core and the windows, the start-up sequence
// once the main window is up, and the shutdown when it closes.
#include "app/AudioSetup.h"
#include "app/Headless.h"
#include "app/SingleInstance.h"
#include "forms/TFormFaders.h"
#include "forms/TFormOptions.h"
#include "forms/TFormTimedInput.h"
#include "gui/Binder.h"
#include "gui/KeyRouter.h"
#include "gui/LoadSaveWindow.h"
#include "gui/LoopsWindow.h"
#include "gui/MacroWindow.h"
#include "gui/MeterViews.h"
#include "gui/MouseHelpWindow.h"
#include "gui/WindowKeeper.h"
#include "gui/MainWindow.h"
#include "gui/OptionsWindow.h"
#include "gui/QtHost.h"
#include "gui/SecondaryWindows.h"
#include "gui/SoundCardWindow.h"
#include "gui/TunerWindow.h"
#include "mixer/Faders.h"
#include "mixer/LoopMixer.h"
#include "shell/CommandLine.h"
#include "shell/DataFolders.h"
#include "shell/KreiselCore.h"
#include "shell/ProgramLifecycle.h"
#include "shell/TimedInputBox.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

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

// The user guide as HTML pages: beside the program in a build tree, else among the shipped files.
std::string HelpFolder(const DataFolders& folders) {
    for (const std::filesystem::path& dir : {folders.program / "hilfe", folders.shipped / "hilfe"}) {
        std::error_code ec;
        if (!dir.empty() && std::filesystem::exists(dir / "index.html", ec)) return dir.string();
    }
    return {};
}

} // namespace

int main(int argc, char* argv[]) {
    const CommandLine cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (cl.help) {
        std::cout << CommandLineHelp();
        return 0;
    }
    if (!cl.errors.empty()) {
        for (const std::string& e : cl.errors)
            std::cerr << "Kreisel: " << e << '\n';
        return 2;
    }
    if (cl.listDevices) {
        std::cout << ListAudioDevices();
        return 0;
    }
    if (!cl.exportControls.empty()) return ExportControls(cl.exportControls, std::cerr);
    if (!cl.updateControls.empty()) return UpdateControls(cl.updateControls, std::cerr);
    std::string folderError;
    const DataFolders folders = FindDataFolders(ProgramFile(), &folderError);
    if (!folderError.empty()) std::cerr << "Kreisel: " << folderError << '\n';
    if (cl.headless) return RunHeadless(cl, folders, std::cout, std::cerr);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kreisel"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    QtClock clock;
    QtTimers timers;
    QtEventPump pump;
    QtDialogs dialogs;
    LinuxSystemInfo systemInfo;
    XdgDesktop desktop(HelpFolder(folders));

    // Pictures of the windows are taken with nobody there to answer.
    if (!cl.screenshotDir.empty()) dialogs.SetUnattended(true);

    SingleInstance instance;
    if (instance.OtherInstanceRunning()) return 0;

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
        const std::string folder = dialogs.LastFolder().empty() ? folders.data.string() : dialogs.LastFolder();
        if (!desktop.OpenFolder(folder))
            dialogs.ShowMessage("Fehler bei Windows-Aufruf \"xdg-open " + folder + "\" !!");
    };

    LoopsWindow loopsWindow(core.Loops(), binder, core.E(), &mixer, &switches.ToolShowMixers);
    mainWindow.AddWindow(&loopsWindow, switches.ToolShowLoops, &switches.PMShowLoops,
                         &switches.PMLoopsStayOnTop);
    FadersWindow fadersWindow(fadersForm, binder);
    mainWindow.AddWindow(&fadersWindow, switches.ToolShowFaders, &switches.PMShowFaders,
                         &switches.PMFadersStayOnTop);
    AttachMeterViews(core, binder, loopsWindow, fadersWindow);
    TimedInputWindow timedWindow(timedForm, binder, &timedBox);
    MacroWindow macroWindow(core.Macros(), binder);
    mainWindow.AddWindow(&macroWindow, switches.ToolShowMacrosKeys, &switches.PMShowMacrosKeys, nullptr);
    SoundCardWindow soundCardWindow(soundCard, binder);
    mainWindow.AddWindow(&soundCardWindow, switches.SpeedButtonSoundkarte, nullptr, nullptr);

    std::vector<Form*> optionForms;
    for (std::size_t i = 0; i < core.Forms().FormCount(); ++i)
        optionForms.push_back(&core.Forms().FormAt(i));
    OptionsWindow optionsWindow(options, binder, optionForms);
    mainWindow.AddWindow(&optionsWindow, switches.ToolShowOptions, &switches.PMShowOptions,
                         &switches.PMOptionsStayOnTop);

    // The tuner's window follows "Input-Frequenz"; its boxes repaint with the other views.
    TunerWindow tunerWindow(core.TunerC(), core.TunerPanel(), binder, optionForms);
    core.Generator().desktop = &desktop;
    core.TunerPanel().desktop = &desktop;
    QObject::connect(&binder.RefreshTimer(), &QTimer::timeout, &tunerWindow,
                     [&tunerWindow] { tunerWindow.Follow(); });
    if (cl.showAll) core.TunerC().CBShowInputFreq.SetChecked(true);
    mainWindow.AddFollowingWindow(&tunerWindow, core.TunerC().CBShowInputFreq, QStringLiteral("Stimmgerät"));

    // Help: the mouse-help window follows the pointer; F1 opens the user guide where the control
    // under the pointer links to.
    MouseHelp& help = core.HelpTexts();
    MouseHelpWindow mouseHelpWindow(help, binder);
    MouseHelpTracker helpTracker(help, binder);
    app.installEventFilter(&helpTracker);
    help.FocusMain = [&mainWindow] { mainWindow.activateWindow(); };
    help.OpenHelp = [&desktop, &dialogs](int context) {
        if (!desktop.OpenHelp(context)) dialogs.ShowMessage("Benutzerhandbuch (Hilfe-Seiten) nicht gefunden!");
    };
    // The menu entry opens the guide at its start; F1 where the pointer is.
    mainWindow.AddHelpMenu(help.MIMouseHelp, [&help] { help.OpenHelp(MouseHelp::DefaultHelpContext); });

    // Every window's place and size live in its form, which the settings file keeps.
    WindowKeeper keeper;
    keeper.Keep(&mainWindow, core.Main());
    for (FormWindow* w : std::initializer_list<FormWindow*>{&loopsWindow, &fadersWindow, &macroWindow,
                                                            &soundCardWindow, &optionsWindow, &mouseHelpWindow})
        keeper.Keep(w, w->Model());
    keeper.Keep(&loadSaveWindow, core.LoadSaveForm(), false);
    keeper.Keep(&tunerWindow, core.TunerC().Window);

    KeyRouter keys;
    keys.KeyDown = [&core](int vk) {
        const Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
        return core.KeyDown(vk, mods.testFlag(Qt::ShiftModifier), mods.testFlag(Qt::ControlModifier),
                            mods.testFlag(Qt::AltModifier));
    };
    keys.KeyUp = [&core](int vk) { return core.KeyUp(vk); };
    keys.Help = [&help] { help.OpenHelp(help.HelpContextCurrent); };
    core.Help = [&keys] { keys.AskForHelp(); }; // F1 sent by a foot switch
    // H released in the tuner's window (or the options window) holds or resumes the measurement.
    keys.Released = [&](QWidget* window, int vk) {
        TunerControls& t = core.TunerC();
        if (vk == 'H' && (window == &tunerWindow || window == &optionsWindow) && t.CBShowInputFreq.Checked())
            t.SBIFMeasPause.UserClick();
    };
    core.CloseProgram = [&mainWindow] { mainWindow.close(); };
    app.installEventFilter(&keys);

    // The splash window shows the start-up stages; the wait message stands in the status line.
    QLabel splash;
    splash.setObjectName(QStringLiteral("FormLoading"));
    splash.setWindowFlags(Qt::SplashScreen | Qt::WindowStaysOnTopHint);
    splash.setAlignment(Qt::AlignCenter);
    splash.setMinimumSize(360, 120);
    splash.setFrameStyle(QFrame::Panel | QFrame::Raised);
    ProgramLifecycle life(core, dialogs, folders, cl);
    life.LoadingMessage = [&splash](const std::string& text) {
        if (text.empty()) {
            splash.hide();
            return;
        }
        splash.setText(QStringLiteral("Kreisel\n\n") + QString::fromStdString(text));
        splash.show();
        splash.repaint();
        QApplication::processEvents();
    };
    life.WaitMessage = [&core, &binder](const std::string& text) {
        core.Main().LabelStatus.SetText(text);
        binder.Refresh();
        QApplication::processEvents();
    };
    life.ProcessPendingEvents = [] { QApplication::processEvents(); };
    life.Sleep = [](int ms) {
        QEventLoop wait;
        QTimer::singleShot(ms, &wait, &QEventLoop::quit);
        wait.exec();
    };
    life.FormCreate();

    instance.Activate = [&mainWindow, &dialogs] { SingleInstance::BringToFront(&mainWindow, dialogs); };

    core.Main().SetVisible(true);
    // Until the settings file says otherwise, the loop mixer comes up with the main window.
    switches.ShowWindow(WindowSwitches::LoopsForm, true);
    mainWindow.show();
    binder.Refresh();

    // The start-up sequence runs once the main window is up, so that its questions and messages
    // appear over it. Each complete input block wakes the core thread through the queue's eventfd.
    const AudioChoice audioChoice = ParseAudioChoice(cl.audio).value_or(AudioChoice{});
    AudioSetup audioSetup(soundCard, std::cerr);
    QSocketNotifier wake(soundCard.Card().Queue().WakeFd(), QSocketNotifier::Read);
    QObject::connect(&wake, &QSocketNotifier::activated, &app,
                     [&soundCard] { soundCard.Card().ServeInput(); });
    life.StartSoundCard = [&audioSetup] { return audioSetup.Start(); };
    life.CloseDevices = [&soundCard] { soundCard.Card().Stop(); };
    mainWindow.CloseQuery = [&life] { return life.FormCloseQuery(); };
    QTimer::singleShot(0, &app, [&] {
        std::string error;
        if (!audioSetup.Open(audioChoice, folders.SettingsFile().string(), false, &error))
            dialogs.ShowMessage(error);
        life.FormActivate();
        keeper.ApplyAll();
        if (cl.showAll) {
            switches.ShowWindow(WindowSwitches::FadersForm, true);
            switches.ShowWindow(WindowSwitches::OptionsForm, true);
            switches.ShowWindow(WindowSwitches::SoundCardForm, true);
            if (!switches.ToolShowMixers.Down()) switches.ToolShowMixers.UserClick();
        }
        if (cl.play && core.E().LoopCount > 0 && !core.E().Playing) core.Main().SBPlay.UserClick();
        if (cl.play && cl.punch && core.Main().SBPunch.Enabled()) {
            core.Main().SBPunch.UserClick();
            core.T().PunchKeyDown();
            core.Mixer().SetScrollTarget(-1, core.E().RecLoopNr); // its row in view
        }
        binder.Refresh();
        if (!cl.screenshotDir.empty()) {
            // The pointer rests on the record button, so the mouse help has something to show
            // (also where moving the pointer brings no enter event).
            if (QWidget* record = mainWindow.findChild<QWidget*>(QStringLiteral("SBRecord")))
                QCursor::setPos(record->mapToGlobal(record->rect().center()));
            help.DisplayHelp(core.Main().SBRecord.Hint(), false, false);
            const QString dir = QString::fromStdString(cl.screenshotDir);
            QTimer::singleShot(cl.screenshotDelayMs, &app, [dir] {
                GrabWindows(dir);
                QApplication::quit();
            });
        }
    });
    const int result = QApplication::exec();
    soundCard.Card().SetClosing(true);
    return result;
}

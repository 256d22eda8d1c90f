// The main window's view: transport and switch tool bars, the two large displays and the
// count-down, the loop progress with seeking, the loop list, the information labels and the
// status line; the menus "Anzeigen" and "Fenster"; and the other windows, shown and hidden as
// their forms' shown-states say.
#pragma once

#include "forms/TFormOptions.h"
#include "gui/Binder.h"
#include "gui/ViewParts.h"
#include "shell/KreiselCore.h"

#include <QFont>
#include <QMainWindow>

#include <functional>
#include <vector>

class QMenu;
class QToolBar;
class QToolButton;

namespace kreisel {

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow(KreiselCore& core, WindowSwitches& switches, Binder& binder, QWidget* parent = nullptr);

    // A secondary window: its switch (tool button, and menu entry of "Fenster" when given)
    // joins the system tool bar; the window follows its form's shown-state, and its stay-on-top
    // entry when given. Its close box turns the switch off.
    void AddWindow(FormWindow* window, Control& toolSwitch, Control* menuSwitch, Control* stayOnTop);
    // A window shown while a check box is ticked (the tuner with "Input-Frequenz"): an entry of
    // "Fenster" ticks and unticks it, and the window's close box unticks it.
    void AddFollowingWindow(QWidget* window, Control& shownBox, const QString& caption);
    // The menu "Hilfe": the mouse-help entry (F2) and the user guide (F1).
    void AddHelpMenu(Control& mouseHelpEntry, std::function<void()> openHelp);

    // Shows, hides and rearranges everything as the models say now (the binder's refresh does
    // this after every copy into the widgets).
    void Follow();

    ProgressView* Progress() const { return progress_; }
    // The "Explorer" entry: open the last folder in the desktop's file manager.
    std::function<void()> OpenExplorer;
    // Asked before the program closes; false keeps it running (unsaved recordings kept).
    std::function<bool()> CloseQuery;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Managed {
        FormWindow* window;
        Control* toolSwitch;
        Control* menuSwitch;
        Control* stayOnTop;
        bool onTop = false;
    };

    void BuildMenus();
    void BuildToolBars();
    QWidget* BuildDisplays();
    QToolButton* TransportButton(const char* name, QToolBar* bar);
    void ApplyButtonStyle();
    static void SetStaysOnTop(QWidget* window, bool on);
    void FollowChecks();

    KreiselCore& core_;
    TFormKreisel& m_;
    WindowSwitches& sw_;
    Binder& binder_;
    Placer place_;

    QToolBar* mainBar_ = nullptr;
    QToolBar* addBar_ = nullptr;
    QToolBar* subBar_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QWidget* addedDisplays_ = nullptr;
    QWidget* actLoopTime_ = nullptr;
    QFont loopTimeFont_;
    int loopTimeWidth_ = -1;
    QWidget* progressLabel_ = nullptr;
    QWidget* progressPanel_ = nullptr;
    QToolButton* stopAtLoopEnd_ = nullptr;
    ProgressView* progress_ = nullptr;
    std::vector<QToolButton*> toolButtons_;
    std::vector<Managed> windows_;
    struct Following {
        QWidget* window;
        Control* shownBox;
        QAction* entry;
    };
    std::vector<Following> following_;

    // What Follow applied last, so that it only touches what changed.
    int shownProgressSize_ = -1;
    int shownLabels_ = -1;
    int shownAutoSize_ = -1;
    int shownOnTop_ = -1;
    int shownFixed_ = -1;
};

} // namespace kreisel

// The main window's widgets, placed by control name, and what follows the display options.
#include "gui/MainWindow.h"

#include "gui/MeterViews.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QKeySequence>
#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace kreisel {

namespace {

// Runs a function when its widget gets an event of one type (closed by its close box, resized).
class EventWatcher : public QObject {
  public:
    EventWatcher(QObject* parent, QEvent::Type type, std::function<void()> fn)
        : QObject(parent), type_(type), fn_(std::move(fn)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) fn_();
        return false;
    }

  private:
    QEvent::Type type_;
    std::function<void()> fn_;
};

QIcon RecordIcon() {
    QPixmap pix(64, 64);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 0, 0), 3));
    p.setBrush(QColor(220, 20, 20));
    p.drawEllipse(QPointF(32, 32), 24, 24);
    return QIcon(pix);
}

// Strong colours for the switches that change what is heard, readable from the stage.
const char* kButtonStyle = R"(
QToolButton { padding: 3px 6px; }
QToolButton:checked { background: #9cc8f5; border: 1px solid #357; border-radius: 3px; }
QToolButton#SBRecord:checked { background: #e01b1b; color: white; border: 1px solid #600; border-radius: 3px; }
QToolButton#SBPlay:checked { background: #1fa81f; color: white; border: 1px solid #060; border-radius: 3px; }
QToolButton#ButtonPause:checked { background: #f0d000; color: black; border: 1px solid #660; border-radius: 3px; }
QToolButton#SBPunch:checked { background: #e01b1b; color: white; border: 1px solid #600; border-radius: 3px; }
QToolButton#SBStopAtLoopEnd:checked, QToolButton#SBMonitor:checked, QToolButton#ToolInMute:checked,
QToolButton#ToolOutMute:checked, QToolButton#SBMetronom:checked, QToolButton#SBTap:checked {
    background: #ff9a1f; color: black; border: 1px solid #753; border-radius: 3px; }
)";

} // namespace

MainWindow::MainWindow(KreiselCore& core, WindowSwitches& switches, Binder& binder, QWidget* parent)
    : QMainWindow(parent), core_(core), m_(core.Main()), sw_(switches), binder_(binder),
      place_(binder, {&core.Main()}) {
    setObjectName(QString::fromStdString(m_.Name()));
    setWindowTitle(QString::fromStdString(m_.Caption()));
    BuildMenus();
    BuildToolBars();
    setCentralWidget(BuildDisplays());
    if (auto* status = place_.Make("LabelStatus")) statusBar()->addWidget(status, 1);
    if (auto* macros = place_.Make("LabelMacroDisp")) statusBar()->addPermanentWidget(macros);
    if (auto* counters = place_.Make("PanelSKCounters")) statusBar()->addPermanentWidget(counters);
    ApplyButtonStyle();
    connect(&binder_, &Binder::Refreshed, this, &MainWindow::Follow);
    resize(1280, 700);
}

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Datei"));
    LoadSaveDialog& loadSave = core_.LoadSave();
    for (Control* c : {&loadSave.PMLoad, &loadSave.PMSave, &loadSave.PMIniFileLinkToApp})
        file->addAction(binder_.CreateAction(*c, file));
    file->addSeparator();
    QAction* explorer = file->addAction(QStringLiteral("Explorer"));
    connect(explorer, &QAction::triggered, this, [this] {
        if (OpenExplorer) OpenExplorer();
    });
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Beenden"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* show = menuBar()->addMenu(QStringLiteral("&Anzeigen"));
    for (Control* c : {&sw_.PMShowSubControls, &sw_.PMShowAddedControls, &sw_.PMShowOtherDisplays,
                       &sw_.PMShowAddedDisplays, &sw_.PMControlsShowLabels, &sw_.PMControlsAutoSize})
        show->addAction(binder_.CreateAction(*c, show));
    show->addSeparator();
    for (Control* c : {&sw_.PMControlsStayOnTop, &sw_.PMLoopsStayOnTop, &sw_.PMFadersStayOnTop,
                       &sw_.PMOptionsStayOnTop, &sw_.PMOptionsFollowing})
        show->addAction(binder_.CreateAction(*c, show));
    show->addSeparator();
    for (Control* c : {&sw_.PMAutoSavePreferences, &sw_.PMAndSaveMixers, &sw_.PMDebugMode})
        show->addAction(binder_.CreateAction(*c, show));

    windowMenu_ = menuBar()->addMenu(QStringLiteral("&Fenster"));
}

QToolButton* MainWindow::TransportButton(const char* name, QToolBar* bar) {
    auto* b = qobject_cast<QToolButton*>(place_.Make(name));
    if (b == nullptr) return nullptr;
    binder_.ShowThrough(b, bar->addWidget(b));
    toolButtons_.push_back(b);
    return b;
}

void MainWindow::BuildToolBars() {
    mainBar_ = addToolBar(QStringLiteral("Transport"));
    mainBar_->setObjectName(QStringLiteral("ToolBarMain"));
    mainBar_->setMovable(false);
    const QFont big = WithPointSize(font(), 12, true);
    const QSize iconSize(28, 28);
    struct Big {
        const char* name;
        QIcon icon;
    };
    QStyle* st = style();
    const Big transport[] = {
        {"SBRecord", RecordIcon()},
        {"SBPlay", st->standardIcon(QStyle::SP_MediaPlay)},
        {"ButtonPause", st->standardIcon(QStyle::SP_MediaPause)},
        {"ButtonStop", st->standardIcon(QStyle::SP_MediaStop)},
        {"ButtonRepeatLoop", st->standardIcon(QStyle::SP_BrowserReload)},
        {"SBStopAtLoopEnd", st->standardIcon(QStyle::SP_MediaSkipForward)},
        {"SBPunch", QIcon()},
        {"ButtonResetAll", st->standardIcon(QStyle::SP_FileIcon)},
    };
    for (const Big& t : transport) {
        QToolButton* b = TransportButton(t.name, mainBar_);
        if (b == nullptr) continue;
        b->setFont(big);
        b->setIconSize(iconSize);
        if (!t.icon.isNull()) b->setIcon(t.icon);
        b->setMinimumSize(80, 64);
        b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
        if (std::string_view(t.name) == "SBStopAtLoopEnd") {
            stopAtLoopEnd_ = b;
            // A right click fixes the stop at the loop end.
            b->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(b, &QWidget::customContextMenuRequested, this, [this] {
                core_.T().SBStopAtLoopEndRightClick();
                binder_.Refresh();
            });
        }
    }

    for (const char* name : {"ButtonLoad", "ButtonSave"})
        if (QWidget* b = place_.Make(name)) binder_.ShowThrough(b, mainBar_->addWidget(b));

    // The window switches stand at the right edge, one below the other.
    subBar_ = new QToolBar(QStringLiteral("Systemleiste"), this);
    addToolBar(Qt::RightToolBarArea, subBar_);
    subBar_->setObjectName(QStringLiteral("ToolBarSubControls"));
    subBar_->setMovable(false);

    addToolBarBreak();
    addBar_ = addToolBar(QStringLiteral("Schalterleiste"));
    addBar_->setObjectName(QStringLiteral("ToolBarAddControls"));
    addBar_->setMovable(false);
    const QFont mid = WithPointSize(font(), 10.5, true);
    const Big more[] = {
        {"SBGroupBack", st->standardIcon(QStyle::SP_MediaSeekBackward)},
        {"SBGroupNext", st->standardIcon(QStyle::SP_MediaSeekForward)},
        {"ToolLoopBack", st->standardIcon(QStyle::SP_ArrowLeft)},
        {"ToolLoopNext", st->standardIcon(QStyle::SP_ArrowRight)},
        {"ToolContinuousRecordingLoops", QIcon()},
        {"ToolReRecordCyclic", QIcon()},
        {"ToolUseFixedLoopTime", QIcon()},
        {"SBMetronom", QIcon()},
        {"SBTap", QIcon()},
        {"SBMonitor", QIcon()},
        {"ToolInMute", QIcon()},
        {"ToolOutMute", QIcon()},
    };
    for (const Big& t : more) {
        QToolButton* b = TransportButton(t.name, addBar_);
        if (b == nullptr) continue;
        b->setFont(mid);
        if (!t.icon.isNull()) b->setIcon(t.icon);
        b->setIconSize(QSize(18, 18));
        b->setMinimumHeight(34);
    }
}

QWidget* MainWindow::BuildDisplays() {
    auto* split = new QSplitter(Qt::Horizontal);
    split->setObjectName(QStringLiteral("SplitterMain"));
    auto* left = new QWidget(split);
    auto* col = new QVBoxLayout(left);
    col->setContentsMargins(4, 4, 4, 4);
    col->setSpacing(4);

    // The two big displays and the count-down, side by side; metronome and tap tempo below the
    // count-down while they run.
    auto* displays = new QWidget(left);
    displays->setObjectName(QStringLiteral("PanelBigDisplays"));
    auto* row = new QHBoxLayout(displays);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    // The two big displays side by side while the panel is wide (four tenths of its width at
    // least its height), one above the other when it is narrow.
    auto* big = new QBoxLayout(QBoxLayout::LeftToRight);
    big->setSpacing(6);
    for (const char* name : {"LabelDisp1", "LabelDisp2"}) {
        auto* label = new BigLabel(displays);
        if (place_.Bind(name, label))
            big->addWidget(label, 1);
        else
            delete label;
    }
    row->addLayout(big, 6);
    displays->installEventFilter(new EventWatcher(displays, QEvent::Resize, [displays, big] {
        const bool oneRow = displays->width() * 4 / 10 >= displays->height();
        const auto direction = oneRow ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
        if (big->direction() != direction) big->setDirection(direction);
    }));
    auto* side = new QVBoxLayout;
    side->setSpacing(4);
    for (const char* name : {"PanelCountDown", "PanelMetronomDisp", "PanelTapFreqMean"}) {
        auto* label = new BigLabel(displays, 0.5);
        if (place_.Bind(name, label))
            side->addWidget(label, 1);
        else
            delete label;
    }
    row->addLayout(side, 2);
    col->addWidget(displays, 5);

    // Progress: a small state square, then the bar; both seek.
    progressPanel_ = new QWidget(left);
    progressPanel_->setObjectName(QStringLiteral("PanelProgressView"));
    auto* prow = new QHBoxLayout(progressPanel_);
    prow->setContentsMargins(0, 2, 0, 2);
    prow->setSpacing(2);
    progressLabel_ = place_.Make("LabelProgress", progressPanel_);
    if (progressLabel_ != nullptr) prow->addWidget(progressLabel_);
    progress_ = new ProgressView(progressPanel_);
    if (!place_.Bind("ProgressBarLoop", progress_))
        progress_->setObjectName(QStringLiteral("ProgressBarLoop"));
    prow->addWidget(progress_, 1);
    Transport& t = core_.T();
    connect(progress_, &ProgressView::MouseDown, this, [&t](int x, int w) { t.SeekMouseDown(x, w); });
    connect(progress_, &ProgressView::MouseMove, this, [&t](int x, int w) { t.SeekMouseMove(x, w); });
    connect(progress_, &ProgressView::MouseUp, this, [&t] { t.SeekMouseUp(); });
    col->addWidget(progressPanel_);

    // Position, what plays or records, the missing-signal warning, memory.
    auto* info = new QHBoxLayout;
    info->setSpacing(4);
    const QFont infoFont = WithPointSize(font(), 12, true);
    actLoopTime_ = place_.Make("PanelActLoopTime", left);
    QWidget* noSignal = place_.Make("PanelNoSignal", left);
    if (noSignal != nullptr) {
        QPalette pal = noSignal->palette();
        pal.setColor(QPalette::WindowText, QColor(200, 0, 0));
        noSignal->setPalette(pal);
    }
    for (QWidget* w : {actLoopTime_, place_.Make("PanelPlayRec", left), noSignal,
                       place_.Make("PanelExport", left), place_.Make("LabelUsedMemory", left)}) {
        if (w == nullptr) continue;
        w->setFont(infoFont);
        w->setMinimumHeight(30);
        info->addWidget(w, w == actLoopTime_ ? 0 : 1);
    }
    col->addLayout(info);

    // System information: processor load (bar and text) and memory.
    auto* sys = new QHBoxLayout;
    sys->setSpacing(6);
    StatusControls& sc = core_.StatusDisplays();
    for (Control* c : {&sc.CBShowSystemInfos, &sc.LabelCPU})
        if (QWidget* w = place_.Make(c->Name(), left)) sys->addWidget(w);
    auto* cpuBar = new CpuBar(core_.Status(), sc.PanelCPU, left);
    place_.B().Bind(sc.PanelCPU, cpuBar);
    // Repainted once per system-information update, not on every refresh.
    connect(&binder_, &Binder::Refreshed, cpuBar, [cpuBar, &status = core_.Status(), shown = ~0u]() mutable {
        if (cpuBar->isVisible() && status.Ticks() / 8 != shown) {
            shown = status.Ticks() / 8;
            cpuBar->update();
        }
    });
    sys->addWidget(cpuBar);
    for (Control* c : {&sc.LabelCPUUsage, &sc.LabelMemory})
        if (QWidget* w = place_.Make(c->Name(), left)) sys->addWidget(w, 1);
    col->addLayout(sys);

    // Further loop information (menu "Weitere Loop-Informationen").
    addedDisplays_ = new QWidget(left);
    addedDisplays_->setObjectName(QStringLiteral("PanelAddedDisplays"));
    auto* grid = new QGridLayout(addedDisplays_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    struct Info {
        const char* caption;
        const char* name;
    };
    const Info infos[] = {
        {"", "LabelLoopsInfos"},
        {"Loop-Länge:", "LabelMaxLoopTime"},
        {"Aufnahme:", "LabelLoopTimeVal"},
        {"Puffer je Loop:", "LabelMaxLoopSize"},
        {"Speicher:", "LabelTotalMem"},
        {"Metronom:", "LabelMetronom"},
        {"Tap:", "LabelTapFreq"},
        {"", "LabelToTapCount"},
        {"Absenkung:", "LabelLowerOutput"},
        {"Zähler:", "LabelCounterIn"},
    };
    const QFont small = WithPointSize(font(), 10);
    int n = 0;
    for (const Info& i : infos) {
        QWidget* w = place_.Make(i.name, addedDisplays_);
        if (w == nullptr) continue;
        w->setFont(small);
        const int r = n / 2;
        const int c = (n % 2) * 2;
        auto* caption = new QLabel(QString::fromUtf8(i.caption), addedDisplays_);
        caption->setFont(small);
        grid->addWidget(caption, r, c, Qt::AlignRight);
        grid->addWidget(w, r, c + 1);
        ++n;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    col->addWidget(addedDisplays_);

    // The loop list: a click marks the loop to record, a double click also switches its group.
    if (auto* memo = qobject_cast<MemoView*>(place_.Make("MemoLoops", split))) {
        memo->setFont(WithPointSize(font(), 12));
        memo->setMinimumWidth(300);
        connect(memo, &MemoView::LineClicked, this, [this, &t](int line) {
            t.MemoLoopsClick(line);
            binder_.Refresh();
        });
        connect(memo, &MemoView::LineDoubleClicked, this, [this, &t](int line) {
            t.MemoLoopsDoubleClick(line);
            binder_.Refresh();
        });
    }
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    return split;
}

void MainWindow::ApplyButtonStyle() {
    setStyleSheet(QString::fromUtf8(kButtonStyle));
}

void MainWindow::AddWindow(FormWindow* window, Control& toolSwitch, Control* menuSwitch, Control* stayOnTop) {
    windows_.push_back({window, &toolSwitch, menuSwitch, stayOnTop});
    auto systemButton = [this](const std::string& name) {
        if (QToolButton* b = TransportButton(name.c_str(), subBar_)) {
            b->setFont(WithPointSize(font(), 10, true));
            b->setMinimumSize(112, 40);
        }
    };
    systemButton(toolSwitch.Name());
    if (menuSwitch != nullptr) windowMenu_->addAction(binder_.CreateAction(*menuSwitch, windowMenu_));
    const std::string formName = window->Model().Name();
    window->Closing = [this, formName, window] {
        sw_.ShowWindow(formName, false);
        window->Model().SetVisible(false);
        binder_.Refresh();
    };
    // The mixers inside the main window belong with the loop mixer's switch.
    if (formName == WindowSwitches::LoopsForm) systemButton(sw_.ToolShowMixers.Name());
    Follow();
}

void MainWindow::AddFollowingWindow(QWidget* window, Control& shownBox, const QString& caption) {
    QAction* entry = windowMenu_->addAction(caption);
    entry->setCheckable(true);
    entry->setChecked(shownBox.Checked());
    connect(entry, &QAction::triggered, this, [this, &shownBox](bool on) {
        if (shownBox.Checked() != on) shownBox.UserClick();
        binder_.Refresh();
    });
    window->installEventFilter(new EventWatcher(window, QEvent::Close, [this, &shownBox] {
        if (shownBox.Checked()) shownBox.UserClick();
        binder_.Refresh();
    }));
    following_.push_back({window, &shownBox, entry});
}

void MainWindow::AddHelpMenu(Control& mouseHelpEntry, std::function<void()> openHelp) {
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    QAction* mouseHelp = binder_.CreateAction(mouseHelpEntry, help);
    mouseHelp->setShortcut(QKeySequence(Qt::Key_F2));
    help->addAction(mouseHelp);
    QAction* guide = help->addAction(QStringLiteral("Benutzerhandbuch"));
    guide->setShortcut(QKeySequence(Qt::Key_F1));
    // F1 is taken by the key router first; the entry is for the mouse.
    guide->setShortcutContext(Qt::WidgetShortcut);
    connect(guide, &QAction::triggered, this, [openHelp = std::move(openHelp)] {
        if (openHelp) openHelp();
    });
}

void MainWindow::SetStaysOnTop(QWidget* window, bool on) {
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) window->show(); // changing the flags hides a window
}

void MainWindow::Follow() {
    const Engine& e = core_.E();
    QColor fill(150, 150, 150);
    if (e.Recording)
        fill = QColor(230, 25, 25);
    else if (e.RecordArmed)
        fill = QColor(240, 210, 0);
    else if (e.Playing)
        fill = QColor(30, 180, 30);
    progress_->SetProgress(e.PlayPos, e.PlayLoopEnd, fill);

    if (sw_.PanelSKCounters.Visible()) {
        // Debug mode: the sound card's queue and block counters, as its own window shows them.
        const TFormThreadSK& sk = core_.SoundCardForm();
        sw_.PanelSKCounters.AssignText("Puffer " + sk.LabelInQueued.Text() + " / " + sk.LabelOutQueued.Text() +
                                       "   Blöcke " + sk.LabelInTotal.Text() + " / " + sk.LabelOutTotal.Text());
    }
    subBar_->setVisible(sw_.PMShowSubControls.Checked());
    addBar_->setVisible(sw_.PMShowAddedControls.Checked());
    addedDisplays_->setVisible(sw_.PMShowAddedDisplays.Checked());
    if (actLoopTime_ != nullptr) {
        // 120 pixels in the old toolkit's font; as wide as a loop time in ours.
        // Measured once per font: measuring a text costs as much as drawing it.
        if (loopTimeFont_ != actLoopTime_->font() || loopTimeWidth_ < 0) {
            loopTimeFont_ = actLoopTime_->font();
            loopTimeWidth_ = actLoopTime_->fontMetrics().horizontalAdvance(QStringLiteral("A10: 00.000 Sek."));
        }
        const int wide = std::max(120, loopTimeWidth_ + 12);
        const int width = sw_.PMShowOtherDisplays.Checked() ? wide : 2;
        if (actLoopTime_->minimumWidth() != width) actLoopTime_->setFixedWidth(width);
    }

    const int size = sw_.TBProgressBarSize.Position();
    if (size != shownProgressSize_) {
        shownProgressSize_ = size;
        progress_->setFixedHeight(size);
        if (progressLabel_ != nullptr) progressLabel_->setFixedSize(size < 20 ? 4 : size / 4, size);
        progressPanel_->setFixedHeight(size + 4);
    }

    const int labels = sw_.PMControlsShowLabels.Checked() ? 1 : 0;
    const int autoSize = sw_.PMControlsAutoSize.Checked() && sw_.PMControlsAutoSize.Enabled() ? 1 : 0;
    if (labels != shownLabels_ || autoSize != shownAutoSize_) {
        shownLabels_ = labels;
        shownAutoSize_ = autoSize;
        for (QToolButton* b : toolButtons_) {
            const bool hasIcon = !b->icon().isNull();
            Qt::ToolButtonStyle style = Qt::ToolButtonTextOnly;
            if (hasIcon) style = labels != 0 ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly;
            b->setToolButtonStyle(style);
            // Without fitting, the buttons of a bar share one width.
            if (b->parentWidget() == addBar_) b->setMinimumWidth(autoSize != 0 ? 0 : 96);
        }
    }

    if (stopAtLoopEnd_ != nullptr && shownFixed_ != (core_.T().StopAtLoopEndFixed ? 1 : 0)) {
        shownFixed_ = core_.T().StopAtLoopEndFixed ? 1 : 0;
        QFont f = stopAtLoopEnd_->font();
        f.setUnderline(shownFixed_ != 0);
        stopAtLoopEnd_->setFont(f);
    }

    const int onTop = sw_.PMControlsStayOnTop.Checked() ? 1 : 0;
    if (onTop != shownOnTop_ && isVisible()) {
        shownOnTop_ = onTop;
        SetStaysOnTop(this, onTop != 0);
    }
    FollowChecks();
    for (Managed& w : windows_) {
        const bool shown = w.window->Model().Visible();
        if (shown != w.window->isVisible()) w.window->setVisible(shown);
        // A window may hide itself (its own close button): its switch follows.
        for (Control* s : {w.toolSwitch, w.menuSwitch})
            if (s != nullptr && s->Down() != shown) {
                SuppressActions quiet(*s);
                s->SetDown(shown);
            }
        const bool top = w.stayOnTop != nullptr && w.stayOnTop->Checked();
        if (top != w.onTop) {
            w.onTop = top;
            SetStaysOnTop(w.window, top);
        }
    }
}

void MainWindow::FollowChecks() {
    for (Following& f : following_)
        if (f.entry->isChecked() != f.shownBox->Checked()) f.entry->setChecked(f.shownBox->Checked());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (CloseQuery && !CloseQuery()) {
        event->ignore();
        return;
    }
    for (Managed& w : windows_)
        w.window->hide();
    event->accept();
    QApplication::quit();
}

} // namespace kreisel

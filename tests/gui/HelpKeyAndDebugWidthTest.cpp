// F1 on the real key router and core; the options window's width in debug mode.
#include "GuiRig.h"

#include "gui/KeyRouter.h"
#include "gui/MouseHelpWindow.h"
#include "gui/OptionsWindow.h"

#include <QApplication>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace kreisel {
namespace {

void Press(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// F1 opens the guide where the control under the pointer links to, from a text field and with the
// keyboard locked too; the key handler never sees it, so a key-file command for F1 never runs.
TEST(HelpKey, OpensTheGuideAtThePointersLinkAndNeverRunsAKeyCommand) {
    GuiRig rig;
    MouseHelp& help = rig.core.HelpTexts();
    KeyRouter keys;
    std::vector<int> reached;
    keys.KeyDown = [&](int vk) {
        reached.push_back(vk);
        return rig.core.KeyDown(vk, false, false, false);
    };
    keys.KeyUp = [&](int vk) { return rig.core.KeyUp(vk); };
    std::vector<int> opened;
    keys.Help = [&] { opened.push_back(help.HelpContextCurrent); };
    qApp->installEventFilter(&keys);

    Control& bpm = rig.core.Main().TBMetronomBPM;
    const int tempo = bpm.Position();
    rig.core.Keys().KeyCommand[1] = "SET TBMetronomBPM 77"; // Key_F1
    rig.core.KeyDown(KeyHandler::kPauseBreak, false, false, false);
    rig.core.KeyUp(KeyHandler::kPauseBreak);
    ASSERT_TRUE(rig.core.KeyboardLocked());

    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* button = new QPushButton(&window);
    std::vector<std::pair<QWidget*, int>> released;
    keys.Released = [&](QWidget* w, int vk) { released.emplace_back(w, vk); };
    window.show();
    window.activateWindow();
    edit->setFocus();
    RunEvents(50);
    ASSERT_EQ(QApplication::focusWidget(), edit);

    help.DisplayHelp("Aufnahme|Startet die Aufnahme\r\nF1=1200\r\n$$SBRecord", false, false);
    Press(edit, Qt::Key_F1);
    EXPECT_TRUE(opened.empty()); // the pending events come first
    RunEvents(KeyRouter::HelpDelayMs * 3);
    EXPECT_EQ(opened, std::vector<int>{1200});
    EXPECT_TRUE(reached.empty());
    EXPECT_EQ(bpm.Position(), tempo);
    EXPECT_TRUE(released.empty());

    // Other keys go to the core, and their release names the window (the tuner's hold key).
    button->setFocus();
    RunEvents(20);
    ASSERT_EQ(QApplication::focusWidget(), button);
    Press(button, Qt::Key_H);
    qApp->removeEventFilter(&keys);
    EXPECT_EQ(reached, std::vector<int>{'H'});
    EXPECT_EQ(released, (std::vector<std::pair<QWidget*, int>>{{&window, 'H'}}));
}

// The link is the control's while the pointer is on it; off it, F1 opens the guide at its start.
TEST(HelpKey, LeavingAControlTakesItsHelpLinkAway) {
    GuiRig rig;
    MouseHelp& help = rig.core.HelpTexts();
    MouseHelpTracker tracker(help, rig.binder);
    qApp->installEventFilter(&tracker);
    rig.core.Main().SBRecord.SetHint("Aufnahme|Startet die Aufnahme\r\nF1=1200\r\n$$SBRecord");
    auto* record = rig.Widget<QWidget>("SBRecord");
    ASSERT_NE(record, nullptr);
    const QPointF at(2, 2);
    QEnterEvent enter(at, record->mapToGlobal(at), record->mapToGlobal(at));
    QApplication::sendEvent(record, &enter);
    EXPECT_EQ(help.HelpContextCurrent, 1200);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(record, &leave);
    qApp->removeEventFilter(&tracker);
    EXPECT_EQ(help.HelpContextCurrent, MouseHelp::DefaultHelpContext);
}

// Debug mode widens the options window; switched off, it has the size the performer gave it back.
TEST(OptionsWindowDebugMode, WidensTheWindowAndSwitchedOffRestoresIt) {
    GuiRig rig;
    std::vector<Form*> forms;
    for (std::size_t i = 0; i < rig.core.Forms().FormCount(); ++i)
        forms.push_back(&rig.core.Forms().FormAt(i));
    OptionsWindow window(rig.options, rig.binder, forms);
    window.show();
    RunEvents(20);
    window.resize(700, 600);
    const QSize before = window.size();

    rig.switches.PMDebugMode.UserClick();
    rig.binder.Refresh();
    EXPECT_EQ(window.width(), OptionsWindow::DebugWidth);
    window.resize(900, before.height() + 50);
    EXPECT_EQ(window.size(), QSize(900, before.height() + 50));

    rig.switches.PMDebugMode.UserClick();
    rig.binder.Refresh();
    EXPECT_EQ(window.size(), before);
}

} // namespace
} // namespace kreisel

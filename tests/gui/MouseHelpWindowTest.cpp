// The mouse-help window follows the pointer: a control's mouse help when the pointer moves onto
// it, its macro name with Ctrl; tool tips stay for the program's tool-tip time; the window's
// close box unticks its menu entry.
#include "GuiRig.h"

#include "gui/MouseHelpWindow.h"
#include "macros/MacroText.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QToolButton>

namespace kreisel {
namespace {

void MoveOnto(QWidget* w) {
    const QPointF local(w->width() / 2.0, w->height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, local, w->mapToGlobal(local), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

TEST(MouseHelpWindow, ShowsTheHelpOfTheControlUnderThePointer) {
    GuiRig rig;
    MouseHelp& help = rig.core.HelpTexts();
    MouseHelpWindow window(help, rig.binder);
    MouseHelpTracker tracker(help, rig.binder);
    qApp->installEventFilter(&tracker);
    rig.main->AddHelpMenu(help.MIMouseHelp, {});
    help.BuildHelpTexts(SplitLines("FormKreisel;Kreisel;;\n"
                                   " - SBRecord;Aufnahme;Aufnahme starten;\n\tStartet die Aufnahme\n\tF1=1200\n"
                                   " - SBPlay;Wiedergabe;Wiedergabe starten;\n\tSpielt die Loops\n"));
    help.ApplyMouseHelpSetting();
    RunEvents(80);
    ASSERT_TRUE(window.isVisible());
    auto* text = Child<QPlainTextEdit>(window, "MemoMouseHelp");
    auto* record = rig.Widget<QToolButton>("SBRecord");
    auto* play = rig.Widget<QToolButton>("SBPlay");
    EXPECT_EQ(record->text(), QStringLiteral("Aufnahme"));
    EXPECT_EQ(record->toolTip(), QStringLiteral("Aufnahme starten"));

    MoveOnto(record);
    RunEvents(80);
    EXPECT_EQ(text->toPlainText(), QStringLiteral("Startet die Aufnahme\n(Weitere Hilfe hierzu mit F1)"));
    EXPECT_EQ(help.HelpContextCurrent, 1200);
    MoveOnto(play);
    RunEvents(80);
    EXPECT_EQ(text->toPlainText(), QStringLiteral("Spielt die Loops"));
    EXPECT_EQ(help.HelpContextCurrent, MouseHelp::DefaultHelpContext);

    // Ctrl alone over the control: the name macros use.
    QKeyEvent ctrl(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    QApplication::sendEvent(play, &ctrl);
    RunEvents(80);
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("Name des Bedien-Elementes in Makros:\n\nSBPlay")))
        << text->toPlainText().toStdString();

    // A tool tip stays up for 30 seconds.
    const QPoint centre = play->rect().center();
    QHelpEvent tip(QEvent::ToolTip, centre, play->mapToGlobal(centre));
    QApplication::sendEvent(play, &tip);
    EXPECT_EQ(play->toolTipDuration(), MouseHelp::ToolTipMs);

    window.close();
    RunEvents(80);
    EXPECT_FALSE(help.MIMouseHelp.Checked());
    EXPECT_FALSE(window.isVisible());
    qApp->removeEventFilter(&tracker);
}

} // namespace
} // namespace kreisel

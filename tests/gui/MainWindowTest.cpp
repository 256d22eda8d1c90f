// The main window on the real core: transport clicks reach the engine, the displays follow the
// model on the refresh timer, seeking and the display options work through the controls.
#include "GuiRig.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>

namespace kreisel {
namespace {

TEST(MainWindow, RecordClickReachesTheEngineAndTheDisplaysFollowOnTheTimer) {
    GuiRig rig;
    auto* record = rig.Widget<QToolButton>("SBRecord");
    auto* disp = rig.Widget<QLabel>("LabelDisp1");
    auto* memo = rig.Widget<QPlainTextEdit>("MemoLoops");
    const QColor red(255, 0, 0);
    EXPECT_NE(disp->palette().color(QPalette::Window), red);

    record->click();
    EXPECT_TRUE(rig.core.E().Recording);
    EXPECT_EQ(rig.core.E().RecLoopNr, 1);
    EXPECT_TRUE(record->isChecked());
    // The display is copied by the refresh timer, not by the click.
    EXPECT_NE(disp->palette().color(QPalette::Window), red);

    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_EQ(disp->palette().color(QPalette::Window), red);
    EXPECT_TRUE(memo->toPlainText().contains(QStringLiteral("A1: (Aufnahme)")));
}

TEST(MainWindow, PressingTheProgressBarSeeksThroughTheTransport) {
    GuiRig rig;
    rig.Widget<QToolButton>("SBRecord")->click();
    for (int i = 0; i < 3; ++i)
        rig.FeedBlock();
    const Engine& e = rig.core.E();
    ASSERT_GT(e.PlayLoopEnd, 4 * e.BlockStoredValues());
    ASSERT_LT(e.PlayLoopEnd, kPlayLoopEndNone);

    ProgressView* bar = rig.main->Progress();
    bar->resize(400, 20);
    const QPointF half(200, 10);
    QMouseEvent press(QEvent::MouseButtonPress, half, bar->mapToGlobal(half), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    EXPECT_EQ(e.PlayPos % e.BlockStoredValues(), 0);
    EXPECT_LE(e.PlayPos, e.PlayLoopEnd / 2);
    EXPECT_GT(e.PlayPos, e.PlayLoopEnd / 2 - e.BlockStoredValues());
    // While recording, the loop is cut to the new position.
    EXPECT_EQ(e.Slots[1].LoopLenBytes, 2 * e.PlayPos);
    // A move seeks only with a button held, even while the press has not been released and
    // with mouse tracking on (without it Qt drops such moves before the bar sees them).
    bar->setMouseTracking(true);
    const int32_t pressed = e.PlayPos;
    const QPointF left(40, 10);
    auto moveTo = [&](const QPointF& at, Qt::MouseButtons held) {
        QMouseEvent m(QEvent::MouseMove, at, bar->mapToGlobal(at), Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(bar, &m);
    };
    moveTo(left, Qt::NoButton);
    EXPECT_EQ(e.PlayPos, pressed);
    moveTo(left, Qt::LeftButton);
    EXPECT_LE(e.PlayPos, e.PlayLoopEnd / 10);
    EXPECT_LT(e.PlayPos, pressed);

    QMouseEvent release(QEvent::MouseButtonRelease, half, bar->mapToGlobal(half), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &release);
    const QPointF end(399, 10);
    QMouseEvent move(QEvent::MouseMove, end, bar->mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    const int32_t before = e.PlayPos;
    QApplication::sendEvent(bar, &move);
    EXPECT_EQ(e.PlayPos, before); // no seeking once the button is up
}

TEST(MainWindow, DisplayOptionsFollowTheMenuEntries) {
    GuiRig rig;
    QAction* autoSize = rig.Widget<QAction>("PMControlsAutoSize");
    auto* bar = rig.Widget<QToolBar>("ToolBarAddControls");
    auto* record = rig.Widget<QToolButton>("SBRecord");
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(record->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);

    rig.Widget<QAction>("PMShowAddedControls")->trigger();
    rig.Widget<QAction>("PMControlsShowLabels")->trigger();
    EXPECT_FALSE(rig.switches.PMShowAddedControls.Checked());
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(autoSize->isEnabled()); // fitting the widths needs the labels
    EXPECT_FALSE(rig.Widget<QAction>("PMShowOtherDisplays")->isEnabled());
    EXPECT_EQ(record->toolButtonStyle(), Qt::ToolButtonIconOnly);
}

TEST(MainWindow, DoubleClickOnTheTempoLabelGoesBackToSixty) {
    GuiRig rig;
    auto* label = rig.Widget<QLabel>("LabelMetronom");
    rig.core.Main().TBMetronomBPM.SetPosition(150);
    const QPointF at(2, 2);
    QMouseEvent click(QEvent::MouseButtonDblClick, at, label->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(label, &click);
    EXPECT_EQ(rig.core.Main().TBMetronomBPM.Position(), 60);
}

} // namespace
} // namespace kreisel

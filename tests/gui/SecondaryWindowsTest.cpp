// The smaller windows on the real core: the loop mixer's sliders and row names, the tuner's
// switch and sliders, the macro editor and its running line, and the load/save dialog's choices.
#include "gui/LoadSaveWindow.h"
#include "gui/LoopsWindow.h"
#include "gui/MacroWindow.h"
#include "gui/TunerWindow.h"
#include "GuiRig.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

namespace kreisel {
namespace {

TEST(LoopsWindow, PanoramaSliderReachesTheEnginesRowLevels) {
    GuiRig rig;
    LoopsWindow loops(rig.core.Loops(), rig.binder, rig.core.E(), &rig.mixer, nullptr);
    loops.show();
    auto* pan = Child<QSlider>(loops, "TBPanLeft_2");
    const MixerRow& row = rig.core.E().Rows[2];
    EXPECT_EQ(row.LoopLL, 0);
    EXPECT_EQ(row.LoopLR, -1200); // fully left: nothing on the right output

    pan->setValue(8); // as a drag to the middle does
    EXPECT_EQ(rig.core.Loops().MixerRows[2].PanLeft->Position(), 8);
    EXPECT_EQ(row.LoopLL, 0);
    EXPECT_EQ(row.LoopLR, 0);
    EXPECT_EQ(rig.core.E().Rows[3].LoopLR, -1200); // only its own row
}

TEST(LoopsWindow, RowWidgetsTakeTheLoopsName) {
    GuiRig rig;
    LoopsWindow loops(rig.core.Loops(), rig.binder, rig.core.E(), &rig.mixer, nullptr);
    loops.show();
    QWidget* row1 = loops.Row(1);
    auto* marker = Child<QToolButton>(*row1, "SBLoopMarker_1");

    rig.Widget<QToolButton>("SBRecord")->click(); // loop 1 becomes A1
    ASSERT_NE(rig.core.Loops().Find("TBAmpLeft_A1"), nullptr);
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_EQ(marker->objectName(), QStringLiteral("SBLoopMarker_A1"));
    EXPECT_EQ(marker->text(), QStringLiteral("A1"));
    EXPECT_NE(row1->findChild<QSlider*>(QStringLiteral("TBAmpLeft_A1")), nullptr);
    EXPECT_EQ(row1->findChild<QSlider*>(QStringLiteral("TBAmpLeft_1")), nullptr);
}

TEST(TunerWindow, FollowsItsSwitchAndItsSlidersTuneTheGenerator) {
    GuiRig rig;
    TunerWindow window(rig.core.TunerC(), rig.core.TunerPanel(), rig.binder, {&rig.core.Main()});
    window.Follow();
    EXPECT_FALSE(window.isVisible());
    rig.core.TunerC().CBShowInputFreq.SetChecked(true);
    window.Follow();
    ASSERT_TRUE(window.isVisible());

    Child<QSlider>(window, "TBGenFreqOctave")->setValue(5);
    Child<QSlider>(window, "TBGenFreqTon")->setValue(12); // c1
    EXPECT_NEAR(rig.core.Generator().GenFreq(), 261.63, 0.01);
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_EQ(Child<QLineEdit>(window, "EditGenFreq")->text(), QStringLiteral("261.626"));

    auto* box = Child<QWidget>(window, "PBInputWave");
    box->resize(500, 200);
    RunEvents(10);
    EXPECT_EQ(rig.core.TunerPanel().BoxWidth, box->width());
}

TEST(MacroWindow, TypedTextRunsAndTheRunningLineIsMarked) {
    GuiRig rig;
    MacroWindow window(rig.core.Macros(), rig.binder);
    rig.main->AddWindow(&window, rig.core.Main().SBShowMacros, nullptr, nullptr);
    QPlainTextEdit* editor = Child<QPlainTextEdit>(window, "MemoMacros");

    rig.core.Main().SBShowMacros.UserClick();
    RunEvents(80);
    EXPECT_TRUE(window.isVisible());

    editor->setPlainText(QStringLiteral("ON KEY_Q\nSET MEMO_1 5\nWAIT LOOPEND\nSET MEMO_1 6\nRETURN"));
    EXPECT_EQ(rig.core.Macros().MemoMacros.Lines().size(), 5u);
    auto* start = Child<QPushButton>(window, "ButtonStartStopMacros");
    start->click();
    RunEvents(80);
    EXPECT_TRUE(rig.core.Interpreter().MacrosActive());
    EXPECT_TRUE(editor->isReadOnly());
    EXPECT_EQ(start->text(), QStringLiteral("Stop Makros"));

    EXPECT_TRUE(rig.core.KeyDown('Q'));
    rig.core.KeyUp('Q');
    EXPECT_EQ(rig.core.Interpreter().Memo[1], 5);
    RunEvents(80);
    const QList<QTextEdit::ExtraSelection> marks = editor->extraSelections();
    ASSERT_EQ(marks.size(), 1);
    EXPECT_EQ(marks.front().cursor.blockNumber(), 2); // the WAIT it stopped at

    start->click();
    RunEvents(80);
    EXPECT_FALSE(editor->isReadOnly());
    EXPECT_TRUE(editor->extraSelections().isEmpty());
}

TEST(LoadSaveWindow, ChoicesFollowTheDirectionAndTheButtonsAnswer) {
    TFormLoadSaveDlg form;
    Binder binder;
    LoadSaveWindow window(form, binder);
    auto* importChoice = Child<QRadioButton>(window, "RBImportLoop");
    auto* exportChoice = Child<QRadioButton>(window, "RBExportOutput");
    auto* buttons = window.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);

    form.Prepare(false);
    QTimer::singleShot(0, &window, [&] {
        EXPECT_EQ(window.windowTitle(), QStringLiteral(" Laden "));
        EXPECT_TRUE(importChoice->isVisible());
        EXPECT_FALSE(exportChoice->isVisible());
        importChoice->click();
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    ASSERT_TRUE(form.Run());
    EXPECT_EQ(form.Selected(), &form.RBImportLoop);
    EXPECT_FALSE(form.Visible());

    form.Prepare(true);
    QTimer::singleShot(0, &window, [&] { buttons->button(QDialogButtonBox::Cancel)->click(); });
    EXPECT_FALSE(form.Run());
    EXPECT_EQ(form.Selected(), &form.RBLoops);
}

} // namespace
} // namespace kreisel

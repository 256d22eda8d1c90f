// The macro window: what the user types becomes the macro text, the editor is read-only while
// the macros run, the running line is marked, and the switch of the main window shows it.
#include "GuiRig.h"

#include "gui/MacroWindow.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QToolButton>

#include <gtest/gtest.h>

namespace kreisel {
namespace {

TEST(MacroWindow, TypedTextRunsAndTheRunningLineIsMarked) {
    GuiRig rig;
    MacroWindow window(rig.core.Macros(), rig.binder);
    rig.main->AddWindow(&window, rig.core.Main().SBShowMacros, nullptr, nullptr);
    QPlainTextEdit* editor = window.Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), QStringLiteral("MemoMacros"));

    rig.core.Main().SBShowMacros.UserClick();
    RunEvents(80);
    EXPECT_TRUE(window.isVisible());

    editor->setPlainText(QStringLiteral("ON KEY_Q\nSET MEMO_1 5\nWAIT LOOPEND\nSET MEMO_1 6\nRETURN"));
    EXPECT_EQ(rig.core.Macros().MemoMacros.Lines().size(), 5u);
    auto* start = window.findChild<QPushButton*>(QStringLiteral("ButtonStartStopMacros"));
    ASSERT_NE(start, nullptr);
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

} // namespace
} // namespace kreisel

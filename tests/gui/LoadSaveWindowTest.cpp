// The load/save dialog's window: its radio buttons follow the model's direction, a click picks
// the model's choice, and OK or Cancel answer the model's modal request.
#include "gui/LoadSaveWindow.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace kreisel {
namespace {

TEST(LoadSaveWindow, ChoicesFollowTheDirectionAndTheButtonsAnswer) {
    TFormLoadSaveDlg form;
    Binder binder;
    LoadSaveWindow window(form, binder);
    auto* importChoice = window.findChild<QRadioButton*>(QStringLiteral("RBImportLoop"));
    auto* exportChoice = window.findChild<QRadioButton*>(QStringLiteral("RBExportOutput"));
    auto* buttons = window.findChild<QDialogButtonBox*>();
    ASSERT_NE(importChoice, nullptr);
    ASSERT_NE(exportChoice, nullptr);
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

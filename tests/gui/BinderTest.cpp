// The binder: a user's action goes through the control and the model has the last word; model
// state reaches the widgets on the refresh.
#include "gui/Binder.h"
#include "core/Form.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

#include <string>

#include <gtest/gtest.h>

namespace kreisel {
namespace {

TEST(Binder, GroupSwitchesFollowTheModelsRules) {
    Form form("FormTest");
    Control& a = form.Add("SBa", ControlKind::SwitchButton);
    Control& b = form.Add("SBb", ControlKind::SwitchButton);
    a.SetGroupIndex(1);
    b.SetGroupIndex(1);
    a.SetDown(true);
    int clicksA = 0;
    a.SetOnClick([&](Control&) { ++clicksA; });

    Binder binder;
    auto* wa = qobject_cast<QToolButton*>(binder.Create(a));
    auto* wb = qobject_cast<QToolButton*>(binder.Create(b));
    ASSERT_TRUE(wa && wb);
    EXPECT_TRUE(wa->isChecked());

    // The last button of a group cannot be released: Qt would let go, the model keeps it down,
    // and the click still runs its handler as a press does.
    wa->click();
    EXPECT_TRUE(a.Down());
    EXPECT_TRUE(wa->isChecked());
    EXPECT_EQ(clicksA, 1);

    wb->click();
    EXPECT_TRUE(b.Down());
    EXPECT_FALSE(a.Down());
    binder.Refresh();
    EXPECT_FALSE(wa->isChecked());
    EXPECT_TRUE(wb->isChecked());

    delete wa;
    delete wb;
}

TEST(Binder, SliderMovesGoThroughTheControlsHandler) {
    Form form("FormTest");
    Control& amp = form.Add("TBAmpLeft_1", ControlKind::Slider);
    amp.SetOrientation(Orientation::Vertical);
    amp.SetRange(0, 16);
    amp.SetPosition(4);
    // A handler that only allows even positions.
    amp.SetOnChange([](Control& c) { c.SetPosition(c.Position() & ~1); });
    Control& locked = form.Add("TBLocked", ControlKind::Slider);
    locked.SetRange(0, 10);
    locked.SetEnabled(false);

    Binder binder;
    auto* slider = qobject_cast<QSlider*>(binder.Create(amp));
    auto* lockedSlider = qobject_cast<QSlider*>(binder.Create(locked));
    ASSERT_TRUE(slider && lockedSlider);
    EXPECT_TRUE(slider->orientation() == Qt::Vertical && slider->invertedAppearance()); // the minimum on top
    EXPECT_EQ(slider->maximum(), 16);
    EXPECT_EQ(slider->value(), 4);

    slider->setValue(7); // as a drag does
    EXPECT_EQ(amp.Position(), 6);
    EXPECT_EQ(slider->value(), 6);

    EXPECT_FALSE(lockedSlider->isEnabled());
    lockedSlider->setValue(5); // a disabled control ignores the user
    EXPECT_EQ(locked.Position(), 0);
    EXPECT_EQ(lockedSlider->value(), 0);

    delete slider;
    delete lockedSlider;
}

TEST(Binder, ModelChangesReachTheWidgetsOnRefresh) {
    Form form("FormTest");
    Control& label = form.Add("SBLoopMarker_1", ControlKind::Label);
    Control& check = form.Add("CBOption", ControlKind::CheckBox);
    Control& combo = form.Add("ComboBoxInputMode", ControlKind::ComboBox);
    Control& menu = form.Add("PMOption", ControlKind::MenuEntry);
    menu.SetAutoCheck(true);

    Binder binder;
    binder.RefreshTimer().stop(); // this test refreshes by hand
    QWidget parent;
    auto* l = qobject_cast<QLabel*>(binder.Create(label, &parent));
    auto* c = qobject_cast<QCheckBox*>(binder.Create(check, &parent));
    auto* x = qobject_cast<QComboBox*>(binder.Create(combo, &parent));
    QAction* a = binder.CreateAction(menu, &parent);
    parent.show();

    ASSERT_TRUE(form.Rename(label, "SBLoopMarker_A1"));
    label.SetText("A1");
    label.SetColor(Rgb{255, 0, 0});
    label.SetFontColor(Rgb{0, 0, 0});
    label.SetHint("Loop A1|lange Hilfe");
    check.SetChecked(true);
    check.SetEnabled(false);
    combo.SetItems({"Stereo", "Mono"});
    combo.SetItemIndex(1);
    menu.SetChecked(true);
    menu.SetVisible(false);

    EXPECT_EQ(l->objectName(), QStringLiteral("SBLoopMarker_1")); // nothing before the refresh
    binder.Refresh();
    EXPECT_EQ(l->objectName(), QStringLiteral("SBLoopMarker_A1"));
    EXPECT_EQ(l->text(), QStringLiteral("A1"));
    EXPECT_EQ(l->toolTip(), QStringLiteral("Loop A1"));
    EXPECT_EQ(l->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_TRUE(l->autoFillBackground());
    EXPECT_TRUE(c->isChecked());
    EXPECT_FALSE(c->isEnabled());
    ASSERT_EQ(x->count(), 2);
    EXPECT_EQ(x->currentIndex(), 1);
    EXPECT_TRUE(a->isChecked());
    EXPECT_FALSE(a->isVisible());

    // An unset colour is the parent's again.
    label.SetColor(std::nullopt);
    binder.Refresh();
    EXPECT_FALSE(l->autoFillBackground());
    EXPECT_EQ(l->palette().color(QPalette::Window), parent.palette().color(QPalette::Window));

    // A menu click toggles through the control.
    a->trigger();
    EXPECT_FALSE(menu.Checked());
    EXPECT_FALSE(a->isChecked());
}

// A label whose text changes on every refresh (a running time) is fixed at the size of its
// longest text so far, so that no new text lays out its window again, and it still shows the
// newest text within a few refreshes.
TEST(Binder, RunningTextKeepsItsLabelsSizeAndShowsTheNewestText) {
    Form form("FormTest");
    Control& time = form.Add("LabelUsedTime", ControlKind::Label);
    Binder binder;
    binder.RefreshTimer().stop();
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* label = qobject_cast<QLabel*>(binder.Create(time, &window));
    layout->addWidget(label);
    layout->addStretch(1);
    window.show();

    auto settle = [&](const QString& text) {
        time.SetText(text.toStdString());
        for (int r = 0; r < Binder::LiveLabelPace; ++r)
            binder.Refresh();
        EXPECT_EQ(label->text(), text);
    };
    for (int r = 0; r < 4 * Binder::LiveLabelStreak; ++r) { // a new text at every refresh
        time.SetText(std::to_string(r * 7));
        binder.Refresh();
    }
    EXPECT_EQ(label->minimumSize(), label->maximumSize());
    settle(QStringLiteral("12.75 Sek."));
    const int wide = label->fontMetrics().horizontalAdvance(label->text());
    EXPECT_GE(label->width(), wide);
    EXPECT_EQ(label->minimumSize(), label->maximumSize());
    settle(QStringLiteral("3")); // shorter texts keep the width of the longest
    EXPECT_GE(label->width(), wide);
}

} // namespace
} // namespace kreisel

// The loop mixer window on the real core: a panorama slider moved by the user sets the row's
// levels in the engine; a loop's new name reaches the row's widgets on the refresh.
#include "gui/LoopsWindow.h"
#include "GuiRig.h"

#include <QSlider>
#include <QToolButton>

namespace kreisel {
namespace {

TEST(LoopsWindow, PanoramaSliderReachesTheEnginesRowLevels) {
    GuiRig rig;
    LoopsWindow loops(rig.core.Loops(), rig.binder, rig.core.E(), &rig.mixer, nullptr);
    loops.show();
    auto* pan = loops.findChild<QSlider*>(QStringLiteral("TBPanLeft_2"));
    ASSERT_NE(pan, nullptr);
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
    auto* marker = row1->findChild<QToolButton*>(QStringLiteral("SBLoopMarker_1"));
    ASSERT_NE(marker, nullptr);

    rig.Widget<QToolButton>("SBRecord")->click(); // loop 1 becomes A1
    ASSERT_NE(rig.core.Loops().Find("TBAmpLeft_A1"), nullptr);
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_EQ(marker->objectName(), QStringLiteral("SBLoopMarker_A1"));
    EXPECT_EQ(marker->text(), QStringLiteral("A1"));
    EXPECT_NE(row1->findChild<QSlider*>(QStringLiteral("TBAmpLeft_A1")), nullptr);
    EXPECT_EQ(row1->findChild<QSlider*>(QStringLiteral("TBAmpLeft_1")), nullptr);
}

} // namespace
} // namespace kreisel

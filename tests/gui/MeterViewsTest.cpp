// The graph and meter views on the real core: a loop's curves and its record cursor appear in
// its row's paint box while it is recorded, and a full-scale output block lights the clip lamp in the faders
// window.
#include "gui/MeterViews.h"
#include "gui/LoopsWindow.h"
#include "gui/SecondaryWindows.h"
#include "GuiRig.h"

#include <QImage>
#include <QToolButton>

namespace kreisel {
namespace {

void Feed(GuiRig& rig, int16_t value) {
    std::vector<int16_t> block(static_cast<std::size_t>(rig.core.E().BlockBytes / 2), value);
    for (std::size_t i = 1; i < block.size(); i += 2)
        block[i] = static_cast<int16_t>(value / 8); // the right channel lower, so both curves show
    rig.core.SndInputEvent(block.data(), rig.core.E().BlockBytes);
}

int CountColor(const QImage& image, QRgb color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == color;
    return n;
}

TEST(MeterViews, RecordedCurveAndCursorAreDrawnInTheRow) {
    GuiRig rig;
    LoopsWindow loops(rig.core.Loops(), rig.binder, rig.core.E(), &rig.mixer, nullptr);
    FadersWindow faders(rig.core.FadersForm(), rig.binder);
    AttachMeterViews(rig.core, rig.binder, loops, faders);
    loops.resize(800, 500);
    loops.show();
    faders.show();
    rig.core.MeterControls().CBAdaptGraphs.SetChecked(true);
    rig.core.Loops().SBLevelMeterOut.UserClick();

    rig.Widget<QToolButton>("SBRecord")->click();
    for (int b = 0; b < 20; ++b)
        Feed(rig, static_cast<int16_t>(b < 10 ? 20000 : 2000));
    ASSERT_TRUE(rig.core.E().Recording);
    RunEvents(4 * Binder::RefreshIntervalMs);

    auto* graph = loops.findChild<GraphView*>(QStringLiteral("GraphView_1"));
    ASSERT_NE(graph, nullptr);
    ASSERT_TRUE(graph->isVisible());
    const QImage image = graph->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(CountColor(image, qRgb(0, 220, 0)), 20);              // the left channel's curve
    EXPECT_GT(CountColor(image, qRgb(230, 0, 0)), 20);              // the right channel's
    EXPECT_GE(CountColor(image, qRgb(255, 0, 0)), graph->height()); // the record cursor

    // Full scale on the output lights the output side's left lamp.
    rig.core.MetersGraphs().FeedBlock(LevelMeters::Output, 32767, 0);
    RunEvents(2 * Binder::RefreshIntervalMs);
    auto* lamp = faders.findChild<LampView*>(QStringLiteral("ShapeCutOutLeft"));
    ASSERT_NE(lamp, nullptr);
    const QImage lit = lamp->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(CountColor(lit, qRgb(255, 0, 0)), 10);
}

} // namespace
} // namespace kreisel

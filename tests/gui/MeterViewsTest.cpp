// The graph and meter views on the real core: a loop's curves and cursors in its row's paint box,
// and the clip lamp of the faders window.
#include "gui/MeterViews.h"
#include "gui/LoopsWindow.h"
#include "gui/SecondaryWindows.h"
#include "GuiRig.h"

#include <QImage>
#include <QScreen>
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

    auto* graph = Child<GraphView>(loops, "GraphView_1");
    ASSERT_TRUE(graph->isVisible());
    const QImage image = graph->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(CountColor(image, qRgb(0, 220, 0)), 20);              // the left channel's curve
    EXPECT_GT(CountColor(image, qRgb(230, 0, 0)), 20);              // the right channel's
    EXPECT_GE(CountColor(image, qRgb(255, 0, 0)), graph->height()); // the record cursor

    // Full scale on the output lights the output side's left lamp.
    rig.core.MetersGraphs().FeedBlock(LevelMeters::Output, 32767, 0);
    RunEvents(2 * Binder::RefreshIntervalMs);
    const QImage lit =
        Child<LampView>(faders, "ShapeCutOutLeft")->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(CountColor(lit, qRgb(255, 0, 0)), 10);
}

// The columns of an image that hold at least `min` pixels of a colour.
std::vector<int> ColumnsWith(const QImage& image, QRgb color, int min) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            n += image.pixel(x, y) == color;
        if (n >= min) columns.push_back(x);
    }
    return columns;
}

// After a stop the play cursor stands at the loop's last block in the window as painted, for a
// loop played past its middle as for one stopped at the first block of a new cycle, with the
// adapted scale and without.
TEST(MeterViews, StopPutsThePlayCursorOnTheLastBlock) {
    for (const int variant : {0, 1, 2, 3}) {
        const bool nextCycle = variant % 2 == 1;
        const bool adapt = variant < 2;
        SCOPED_TRACE(variant);
        GuiRig rig;
        LoopsWindow loops(rig.core.Loops(), rig.binder, rig.core.E(), &rig.mixer, nullptr);
        FadersWindow faders(rig.core.FadersForm(), rig.binder);
        AttachMeterViews(rig.core, rig.binder, loops, faders);
        loops.resize(800, 500);
        loops.show();
        rig.core.MeterControls().CBAdaptGraphs.SetChecked(adapt);
        rig.core.Main().CBContinuousRecordingLoops.SetChecked(false);
        rig.Widget<QToolButton>("SBRecord")->click();
        const Engine& e = rig.core.E();
        for (int b = 0; b < 200 && e.Recording; ++b) // to the end of the loop's set length
            Feed(rig, 12000);
        ASSERT_FALSE(e.Recording);
        ASSERT_TRUE(e.Playing);
        const int last = e.Slots[1].LoopLastBlock;
        ASSERT_GT(last, 4);
        const int playedBlocks = nextCycle ? last + 2 : last / 2 + 3;
        for (int b = 0; b < playedBlocks; ++b)
            Feed(rig, 0);
        RunEvents(3 * Binder::RefreshIntervalMs);
        auto* graph = Child<GraphView>(loops, "GraphView_1");
        const QRgb white = qRgb(255, 255, 255);
        const int tall = graph->height() / 2;
        // What the window shows, as painted by the views' own updates (a grab would paint anew).
        auto shown = [&] {
            const QPoint at = graph->mapTo(&loops, QPoint(0, 0));
            return loops.screen()
                ->grabWindow(loops.winId(), at.x(), at.y(), graph->width(), graph->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        // (Unadapted, the loop is a few pixels under the record cursor at its last block.)
        if (adapt) {
            ASSERT_EQ(ColumnsWith(shown(), white, tall).size(), 1u) << "one play cursor while playing";
        }

        rig.Widget<QToolButton>("ButtonStop")->click();
        ASSERT_FALSE(e.Playing);
        for (int b = 0; b < 3; ++b) // blocks go on flowing while the transport stands
            Feed(rig, 0);
        RunEvents(3 * Binder::RefreshIntervalMs);
        const std::vector<int> at = ColumnsWith(shown(), white, tall);
        ASSERT_EQ(at.size(), 1u);
        EXPECT_EQ(at[0],
                  LoopGraphs::X(last, rig.core.MetersGraphs().Graphs.LastBlockForX(1), graph->width()));
    }
}

} // namespace
} // namespace kreisel

// Views of the level meters, the loop graphs and the processor-load bar. They paint from the
// models of the core and repaint only when a model's change counter moved, from the binder's
// coalescing refresh and only while their window is shown, so the block path never paints.
#pragma once

#include "gui/Binder.h"
#include "mixer/MetersAndGraphs.h"
#include "shell/StatusTimer.h"

#include <QPixmap>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

namespace kreisel {

class KreiselCore;

// One row's graph: the curve is drawn into a cached pixmap, anew when the size or the scale
// change and otherwise only where points changed (the block being recorded); the cursors are
// drawn over it on every paint, and only their strips are repainted when they move.
class GraphView : public QWidget {
    Q_OBJECT
  public:
    GraphView(LoopGraphs& graphs, const Engine& engine, int row, QWidget* parent = nullptr);
    void Follow();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void DrawCurve();
    // Draws the points from..to of both channels with the painter's clip, as DrawCurve does.
    void DrawPoints(QPainter& p, int from, int to);
    // Redraws the curve where the model's points differ from the drawn ones; false when that
    // is most of the curve and a whole drawing is cheaper.
    bool DrawChangedPoints();
    int CursorX(int block) const;

    LoopGraphs& graphs_;
    const Engine& engine_;
    int row_;
    QPixmap curve_;
    std::array<std::vector<uint8_t>, 2> drawn_; // the points in curve_, per channel
    uint32_t shownPoints_ = ~0u;
    uint32_t shownGeneration_ = ~0u;
    int shownLastBlock_ = -2;
    int shownPen_ = -1;
    bool shownPunch_ = false;
    int shownPlay_ = -1;
    int shownRecord_ = -1;
    bool shownMarked_ = false;
};

// One meter: green below 80 %, red above, the black cover from the top and the hold marker.
class MeterView : public QWidget {
    Q_OBJECT
  public:
    MeterView(LevelMeters& meters, LevelMeters::Side side, int channel, QWidget* parent = nullptr);
    // Repaints the band between the drawn and the new cover edge and the marker's old and new
    // places, nothing when they stand.
    void Follow();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    LevelMeters& meters_;
    LevelMeters::Side side_;
    int channel_;
    int shownCover_ = -1;
    int shownMarker_ = -1;
    bool shownSmooth_ = false;
};

// A round clip lamp in its control's colour; a click resets its side.
class LampView : public QWidget {
    Q_OBJECT
  public:
    LampView(Control& lamp, QWidget* parent = nullptr);
    // Repaints when the lamp's colour changed.
    void Follow();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    Control& lamp_;
    std::optional<Rgb> shown_;
    bool painted_ = false;
};

// The processor-load bar; with the graph switched on (Ctrl-click) the load history behind it.
class CpuBar : public QWidget {
    Q_OBJECT
  public:
    CpuBar(StatusTimer& status, Control& panel, QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    StatusTimer& status_;
    Control& panel_;
};

// Puts graph views into the loop mixer's paint boxes, meters and lamps into the faders window,
// and keeps them following the models from the binder's refresh.
void AttachMeterViews(KreiselCore& core, Binder& binder, QWidget& loopsWindow, QWidget& fadersWindow);

} // namespace kreisel

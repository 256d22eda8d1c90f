// Painting of the meters, the loop graphs and the load bar.
#include "gui/MeterViews.h"

#include "shell/KreiselCore.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <memory>
#include <vector>

namespace kreisel {

namespace {

QColor ColorOf(const std::optional<Rgb>& c, QColor fallback) {
    return c ? QColor(c->r, c->g, c->b) : fallback;
}

} // namespace

// --- Loop graph

GraphView::GraphView(LoopGraphs& graphs, const Engine& engine, int row, QWidget* parent)
    : QWidget(parent), graphs_(graphs), engine_(engine), row_(row) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setObjectName(QStringLiteral("GraphView_%1").arg(row));
}

int GraphView::CursorX(int block) const {
    return LoopGraphs::X(block, graphs_.LastBlockForX(row_), width());
}

void GraphView::DrawPoints(QPainter& p, int from, int to) {
    const bool punched = engine_.PunchActive && engine_.RecLoopNr == row_;
    const QColor colors[2] = {punched ? QColor(Qt::cyan) : QColor(0, 220, 0),
                              punched ? QColor(Qt::yellow) : QColor(230, 0, 0)};
    const int lastX = graphs_.LastBlockForX(row_);
    std::vector<QPoint> line;
    line.reserve(static_cast<size_t>(to - from + 1));
    for (int c = 0; c < (graphs_.Stereo() ? 2 : 1); ++c) {
        p.setPen(QPen(colors[c], graphs_.PenWidth));
        line.clear();
        auto flush = [&] {
            if (line.size() == 1) p.drawPoint(line.front());
            if (line.size() > 1) p.drawPolyline(line.data(), static_cast<int>(line.size()));
            line.clear();
        };
        for (int i = from; i <= to; ++i) {
            const uint8_t point = graphs_.Point(row_, c, i);
            if (point == 0) { // a gap: the curve starts anew after it
                flush();
                continue;
            }
            const QPoint q(LoopGraphs::X(i, lastX, width()),
                           LoopGraphs::Y(LoopGraphs::HeightOfPoint(point), height()));
            // Points that fall on the same column only matter as the column's extremes.
            if (line.size() >= 2 && line.back().x() == q.x() && line[line.size() - 2].x() == q.x()) {
                QPoint& prev = line.back();
                QPoint& first = line[line.size() - 2];
                if (q.y() < std::min(first.y(), prev.y()) || q.y() > std::max(first.y(), prev.y())) prev = q;
                continue;
            }
            line.push_back(q);
        }
        flush();
    }
}

void GraphView::DrawCurve() {
    curve_ = QPixmap(std::max(width(), 1), std::max(height(), 1));
    curve_.fill(Qt::black);
    const int last = graphs_.LastPoint(row_);
    for (int c = 0; c < 2; ++c) {
        drawn_[static_cast<size_t>(c)].resize(static_cast<size_t>(last + 1));
        for (int i = 0; i <= last; ++i)
            drawn_[static_cast<size_t>(c)][static_cast<size_t>(i)] = graphs_.Point(row_, c, i);
    }
    if (last < 0) return;
    QPainter p(&curve_);
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawPoints(p, 0, last);
}

bool GraphView::DrawChangedPoints() {
    const int last = graphs_.LastPoint(row_);
    if (last < 0 || drawn_[0].size() != static_cast<size_t>(last + 1)) return false;
    int lo = last + 1;
    int hi = -1;
    for (int c = 0; c < 2; ++c) {
        const std::vector<uint8_t>& drawn = drawn_[static_cast<size_t>(c)];
        for (int i = 0; i <= last; ++i)
            if (graphs_.Point(row_, c, i) != drawn[static_cast<size_t>(i)]) {
                lo = std::min(lo, i);
                hi = std::max(hi, i);
            }
    }
    if (hi < 0) return true;
    if (hi - lo > last / 2) return false;
    // The strip from the point before the first change to the point after the last one, widened
    // by the pen, holds every pixel of the segments that changed; the segments reaching into it
    // are drawn again over a black strip.
    const int lastX = graphs_.LastBlockForX(row_);
    const int pw = graphs_.PenWidth;
    auto x = [&](int i) { return LoopGraphs::X(i, lastX, width()); };
    const int left = lo == 0 ? 0 : x(lo - 1) - pw - 1;
    const int right = hi == last ? width() : x(hi + 1) + pw + 1;
    int from = std::max(lo - 1, 0);
    while (from > 0 && x(from) >= left - pw - 2)
        --from;
    int to = std::min(hi + 1, last);
    while (to < last && x(to) <= right + pw + 2)
        ++to;
    const QRect strip(left, 0, right - left + 1, height());
    {
        QPainter p(&curve_);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setClipRect(strip);
        p.fillRect(strip, Qt::black);
        DrawPoints(p, from, to);
    }
    for (int c = 0; c < 2; ++c)
        for (int i = lo; i <= hi; ++i)
            drawn_[static_cast<size_t>(c)][static_cast<size_t>(i)] = graphs_.Point(row_, c, i);
    update(strip);
    return true;
}

void GraphView::Follow() {
    if (!isVisible()) return;
    const bool punch = engine_.PunchActive && engine_.RecLoopNr == row_;
    const int lastX = graphs_.LastBlockForX(row_);
    bool whole = false;
    if (lastX != shownLastBlock_ || graphs_.PenWidth != shownPen_ || punch != shownPunch_ ||
        curve_.size() != size()) {
        shownLastBlock_ = lastX;
        shownPen_ = graphs_.PenWidth;
        shownPunch_ = punch;
        shownPoints_ = graphs_.PointsGeneration(row_);
        DrawCurve();
        whole = true;
    } else if (graphs_.PointsGeneration(row_) != shownPoints_) {
        shownPoints_ = graphs_.PointsGeneration(row_);
        if (!DrawChangedPoints()) {
            DrawCurve();
            whole = true;
        }
    }
    const int play = graphs_.PlayCursorAt(row_);
    const int record = graphs_.RecordCursorAt(row_);
    const bool marked = graphs_.PlayCursorMarked(row_);
    if (whole) {
        update();
    } else if (play != shownPlay_ || record != shownRecord_ || marked != shownMarked_) {
        // Only the cursors moved: the strips of their old and new places.
        const int pad = graphs_.PenWidth + 2;
        for (int block : {shownPlay_, shownRecord_, play, record})
            if (block >= 0) update(CursorX(block) - pad, 0, 2 * pad + 1, height());
    }
    // The paint draws the cursors where they stood now, whenever it comes.
    shownPlay_ = play;
    shownRecord_ = record;
    shownMarked_ = marked;
}

void GraphView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawPixmap(event->rect(), curve_, event->rect());
    const int pw = graphs_.PenWidth;
    const int play = shownPlay_;
    const int record = shownRecord_;
    if (play >= 0) {
        // The play cursor leaves gaps around the curve's points so that the curve stays visible.
        const int x = CursorX(play);
        std::vector<int> gaps;
        for (int c = 0; c < (graphs_.Stereo() ? 2 : 1); ++c)
            if (const uint8_t point = graphs_.Point(row_, c, play))
                gaps.push_back(LoopGraphs::Y(LoopGraphs::HeightOfPoint(point), height()));
        std::sort(gaps.begin(), gaps.end());
        p.setPen(QPen(shownMarked_ ? QColor(Qt::yellow) : QColor(Qt::white), pw));
        int top = 0;
        for (int y : gaps) {
            if (y - pw > top) p.drawLine(x, top, x, y - pw);
            top = std::max(top, y + pw);
        }
        if (top < height()) p.drawLine(x, top, x, height());
    }
    if (record >= 0) {
        p.setPen(QPen(QColor(Qt::red), pw));
        const int x = CursorX(record);
        p.drawLine(x, 0, x, height());
    }
}

void GraphView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    shownLastBlock_ = -2; // drawn anew at the next refresh
    if (isVisible()) Follow();
}

void GraphView::mousePressEvent(QMouseEvent* event) {
    shownLastBlock_ = -2; // a click repaints the graph
    Follow();
    QWidget::mousePressEvent(event);
}

// --- Meters

MeterView::MeterView(LevelMeters& meters, LevelMeters::Side side, int channel, QWidget* parent)
    : QWidget(parent), meters_(meters), side_(side), channel_(channel) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedWidth(14);
    setMinimumHeight(120);
}

void MeterView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (meters_.PanelHeight() != height()) meters_.SetPanelHeight(height());
    shownCover_ = -1; // the whole meter at the next refresh
}

void MeterView::Follow() {
    const Meter& m = meters_.State(side_).Meters[static_cast<size_t>(channel_)];
    const int h = height();
    const int cover = std::clamp(m.CoverHeight, 0, h);
    const int marker = meters_.Smooth ? -1 : std::clamp(m.MarkerTop, 0, std::max(h - 4, 0));
    if (shownCover_ < 0 || meters_.Smooth != shownSmooth_) {
        update();
    } else {
        if (cover != shownCover_) update(0, std::min(cover, shownCover_), width(), std::abs(cover - shownCover_));
        if (marker != shownMarker_)
            for (int top : {shownMarker_, marker})
                if (top >= 0) update(0, top, width(), 4);
    }
    shownCover_ = cover;
    shownMarker_ = marker;
    shownSmooth_ = meters_.Smooth;
}

void MeterView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int h = height();
    const int w = width();
    const int redBottom = h / 5;
    p.fillRect(0, 0, w, redBottom, QColor(230, 0, 0));
    p.fillRect(0, redBottom, w, h - redBottom, QColor(0, 200, 0));
    // What Follow saw: the band it repaints matches what is drawn around it.
    p.fillRect(0, 0, w, std::max(shownCover_, 0), Qt::black);
    if (shownMarker_ >= 0) p.fillRect(0, shownMarker_, w, 4, QColor(255, 200, 0));
    p.setPen(Qt::gray);
    p.drawRect(0, 0, w - 1, h - 1);
}

LampView::LampView(Control& lamp, QWidget* parent) : QWidget(parent), lamp_(lamp) {
    setFixedSize(14, 14);
    setObjectName(QString::fromStdString(lamp.Name()));
    setToolTip(QStringLiteral("Klick: Übersteuerungsanzeige zurücksetzen"));
}

void LampView::Follow() {
    if (painted_ && shown_ == lamp_.Color()) return;
    shown_ = lamp_.Color();
    painted_ = true;
    update();
}

void LampView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(ColorOf(lamp_.Color(), QColor(0, 200, 0)));
    p.setPen(Qt::darkGray);
    p.drawEllipse(rect().adjusted(1, 1, -1, -1));
}

void LampView::mousePressEvent(QMouseEvent*) {
    lamp_.UserClick();
}

// --- Load bar

CpuBar::CpuBar(StatusTimer& status, Control& panel, QWidget* parent)
    : QWidget(parent), status_(status), panel_(panel) {
    setObjectName(QStringLiteral("PanelCPU"));
    setFixedSize(104, 18);
    setToolTip(QStringLiteral("Strg+Klick: Verlauf ein/aus"));
}

void CpuBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(40, 40, 40));
    if (status_.GraphOn()) {
        // 3 pixels per update, wrapping at the width less 16.
        const int columns = std::max((width() - 16) / 3, 1);
        const int n = status_.GraphCount();
        const int first = std::max(0, n - columns);
        for (int i = first; i < n; ++i) {
            const int x = (i - first) * 3;
            const int hh = status_.GraphAt(i) * (height() - 2) / 100;
            p.fillRect(x, height() - hh, 2, hh, QColor(90, 140, 255));
        }
    }
    const int w = panel_.Value() * width() / 100;
    p.fillRect(0, height() - 5, w, 5, ColorOf(panel_.Color(), QColor(0, 170, 0)));
    p.setPen(Qt::gray);
    p.drawRect(0, 0, width() - 1, height() - 1);
}

void CpuBar::mousePressEvent(QMouseEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        status_.ToggleGraph();
        update();
    }
}

// --- Wiring

void AttachMeterViews(KreiselCore& core, Binder& binder, QWidget& loopsWindow, QWidget& fadersWindow) {
    MetersAndGraphs& mg = core.MetersGraphs();
    auto graphs = std::make_shared<std::vector<GraphView*>>();
    for (int n = 0; n <= LoopSlotCapacity; ++n) {
        auto* box = loopsWindow.findChild<QWidget*>(QStringLiteral("PBGraph_%1").arg(n));
        if (box == nullptr) continue;
        auto* lay = new QVBoxLayout(box);
        lay->setContentsMargins(0, 0, 0, 0);
        auto* view = new GraphView(mg.Graphs, core.E(), n, box);
        lay->addWidget(view);
        graphs->push_back(view);
    }

    auto meters = std::make_shared<std::vector<MeterView*>>();
    auto lampViews = std::make_shared<std::vector<LampView*>>();
    MeterGraphControls& mc = core.MeterControls();
    Control* lamps[2][2] = {{&mc.ShapeCutInpLeft, &mc.ShapeCutInpRight},
                            {&mc.ShapeCutOutLeft, &mc.ShapeCutOutRight}};
    const auto boxes = fadersWindow.findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly);
    for (int side = 0; side < 2 && side < boxes.size(); ++side) {
        auto* col = qobject_cast<QBoxLayout*>(boxes[side]->layout());
        if (col == nullptr) continue;
        auto* line = new QHBoxLayout;
        line->addStretch(1);
        for (int c = 0; c < 2; ++c) {
            auto* m = new MeterView(mg.Meters, static_cast<LevelMeters::Side>(side), c, boxes[side]);
            line->addWidget(m);
            meters->push_back(m);
        }
        auto* lampCol = new QVBoxLayout;
        for (int c = 0; c < 2; ++c) {
            auto* l = new LampView(*lamps[side][c], boxes[side]);
            lampCol->addWidget(l);
            lampViews->push_back(l);
        }
        lampCol->addStretch(1);
        line->addLayout(lampCol);
        line->addStretch(1);
        col->insertLayout(1, line);
    }

    QObject::connect(&binder, &Binder::Refreshed, &loopsWindow,
                     [&mg, &fadersWindow, &loopsWindow, graphs, meters, lampViews] {
                         // A minimised window is not drawn, so its meters need not be followed.
                         mg.Meters.WindowVisible = fadersWindow.isVisible() && !fadersWindow.isMinimized();
                         // The views compare with what they drew: a few integers each.
                         if (mg.Meters.WindowVisible) {
                             for (MeterView* m : *meters)
                                 m->Follow();
                             for (LampView* l : *lampViews)
                                 l->Follow();
                         }
                         if (!loopsWindow.isVisible() || loopsWindow.isMinimized()) return;
                         for (GraphView* g : *graphs) {
                             g->setVisible(mg.Graphs.Shown);
                             if (mg.Graphs.Shown) g->Follow();
                         }
                     });
}

} // namespace kreisel

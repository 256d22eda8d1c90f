// The loop mixer's rows and switches, and the scrolling of the row area.
#include "gui/LoopsWindow.h"

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>

namespace kreisel {

namespace {

// Row pieces stay inside their row: fixed heights, so a row never grows past RowPixels.
QLabel* SmallLabel(Binder& binder, Control& c, QWidget* parent) {
    auto* l = qobject_cast<QLabel*>(binder.Create(c, parent));
    l->setFont(WithPointSize(l->font(), 7));
    l->setAlignment(Qt::AlignCenter);
    l->setFixedHeight(11);
    return l;
}

} // namespace

LoopsWindow::LoopsWindow(TFormLoops& form, Binder& binder, Engine& engine, LoopMixer* mixer,
                         const Control* showMixers, QWidget* parent)
    : FormWindow(form, parent), form_(form), engine_(engine), mixer_(mixer), showMixers_(showMixers) {
    setObjectName(QString::fromStdString(form.Name()));
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(4, 4, 4, 4);
    col->setSpacing(4);
    col->addWidget(BuildTop(binder));
    col->addWidget(BuildPresets(binder));

    auto* body = new QHBoxLayout;
    body->setSpacing(2);
    area_ = new QWidget(this);
    area_->setObjectName(QStringLiteral("AreaMixers"));
    area_->setMinimumHeight(3 * RowPixels);
    area_->installEventFilter(this);
    binder.Bind(form.PanelMixers, area_);
    body->addWidget(area_, 1);
    bar_ = new QScrollBar(Qt::Vertical, this);
    binder.Bind(form.ScrollBarLoops, bar_);
    body->addWidget(bar_);
    col->addLayout(body, 1);

    for (int n = 0; n <= LoopSlotCapacity; ++n)
        BuildRow(n, binder);
    connect(&binder, &Binder::Refreshed, this, &LoopsWindow::Follow);
    resize(640, 9 * RowPixels + 90);
    Follow();
}

QWidget* LoopsWindow::BuildTop(Binder& binder) {
    auto* top = new QWidget(this);
    auto* grid = new QVBoxLayout(top);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    for (Control* c :
         {&form_.LabelInputMode, &form_.ComboBoxInputMode, &form_.CBMixSymm, &form_.CBInputMixer})
        line->addWidget(binder.Create(*c, top));
    line->addStretch(1);
    for (Control* c :
         {&form_.SBShowPresetControls, &form_.SBMixers, &form_.SBFaders, &form_.SBAllowMultipleLoopLength}) {
        auto* b = qobject_cast<QToolButton*>(binder.Create(*c, top));
        b->setMinimumHeight(26);
        if (c == &form_.SBAllowMultipleLoopLength) b->setText(QStringLiteral("M"));
        line->addWidget(b);
    }
    grid->addLayout(line);
    QWidget* changes = binder.Create(form_.LabelChanges, top);
    changes->setFont(WithPointSize(changes->font(), 10, true));
    grid->addWidget(changes);
    return top;
}

QWidget* LoopsWindow::BuildPresets(Binder& binder) {
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::StyledPanel);
    binder.Bind(form_.PanelPresets, panel);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    auto add = [&](Control& c, int r, int col) {
        QWidget* w = binder.Create(c, panel);
        grid->addWidget(w, r, col);
        return w;
    };
    grid->addWidget(new QLabel(QStringLiteral("Markierungen:"), panel), 0, 0);
    allMarked_ = add(form_.SBAllLoopsMarked, 0, 1);
    allMarked_->installEventFilter(this); // its double click takes the marks over at once
    add(form_.ButtonAllLoopsOn, 0, 2);
    add(form_.ButtonAllLoopsOff, 0, 3);
    add(form_.ButtonAllLoopsInv, 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("Pegel:"), panel), 1, 0);
    add(form_.ButtonLeftsOn, 1, 1);
    add(form_.ButtonRightsOn, 1, 2);
    add(form_.ButtonOn, 1, 3);
    add(form_.ButtonLeftsOff, 1, 4);
    add(form_.ButtonRightsOff, 1, 5);
    add(form_.ButtonOff, 1, 6);
    grid->addWidget(new QLabel(QStringLiteral("Panorama:"), panel), 2, 0);
    int k = 0;
    for (Control* b :
         {&form_.ButtonSetDefault, &form_.ButtonSetInvers, &form_.ButtonSetMono, &form_.ButtonSetLeft,
          &form_.ButtonSetRight, &form_.ButtonSetEqual1, &form_.ButtonSetFromMixFile}) {
        add(*b, 2 + k / 6, 1 + k % 6);
        ++k;
    }
    grid->setColumnStretch(7, 1);
    return panel;
}

void LoopsWindow::BuildRow(int n, Binder& binder) {
    MixerRowControls& r = form_.MixerRows.at(static_cast<std::size_t>(n));
    RowView& v = rows_.at(static_cast<std::size_t>(n));
    auto* frame = new QFrame(area_);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setFont(WithPointSize(frame->font(), 12));
    frame->setObjectName(QStringLiteral("PanelRow_%1").arg(n));
    binder.Bind(*r.Panel, frame);
    v.frame = frame;
    auto* line = new QHBoxLayout(frame);
    line->setContentsMargins(2, 2, 4, 2);
    line->setSpacing(4);

    auto* strip = new QFrame(frame);
    strip->setFixedWidth(8);
    strip->setFrameStyle(QFrame::Box | QFrame::Plain);
    line->addWidget(strip);

    for (Control* c : {r.Marker, r.Play}) {
        auto* b = qobject_cast<QToolButton*>(binder.Create(*c, frame));
        b->setFixedSize(48, 34);
        b->setFont(WithPointSize(b->font(), 11, true));
        line->addWidget(b);
    }

    // Level (two vertical sliders) and panorama (two horizontal sliders), each with its label.
    v.sliders = new QWidget(frame);
    auto* sliders = new QHBoxLayout(v.sliders);
    sliders->setContentsMargins(0, 0, 0, 0);
    sliders->setSpacing(4);
    auto* amp = new QWidget(v.sliders);
    amp->setFixedWidth(64);
    auto* ampCol = new QVBoxLayout(amp);
    ampCol->setContentsMargins(0, 0, 0, 0);
    ampCol->setSpacing(0);
    ampCol->addWidget(SmallLabel(binder, *r.LabelAmp, amp));
    auto* ampRow = new QHBoxLayout;
    ampRow->setSpacing(0);
    for (Control* c : {r.AmpLeft, r.AmpRight}) {
        QWidget* s = binder.Create(*c, amp);
        s->setFixedHeight(RowPixels - 19);
        ampRow->addWidget(s, 0, Qt::AlignHCenter);
    }
    ampCol->addLayout(ampRow);
    sliders->addWidget(amp);
    auto* pan = new QWidget(v.sliders);
    pan->setFixedWidth(164);
    auto* panGrid = new QGridLayout(pan);
    panGrid->setContentsMargins(0, 0, 0, 0);
    panGrid->setHorizontalSpacing(4);
    panGrid->setVerticalSpacing(0);
    const std::array<std::pair<Control*, Control*>, 2> pans{
        {{r.PanLeft, r.LabelPanLeft}, {r.PanRight, r.LabelPanRight}}};
    for (int i = 0; i < 2; ++i) {
        QWidget* s = binder.Create(*pans[static_cast<std::size_t>(i)].first, pan);
        s->setFixedHeight(22);
        panGrid->addWidget(s, 0, i);
        panGrid->addWidget(SmallLabel(binder, *pans[static_cast<std::size_t>(i)].second, pan), 1, i);
    }
    sliders->addWidget(pan);
    line->addWidget(v.sliders);

    v.graph = binder.Create(*r.Graph, frame);
    v.graph->setAutoFillBackground(true);
    QPalette black = v.graph->palette();
    black.setColor(QPalette::Window, Qt::black);
    v.graph->setPalette(black);
    v.graph->setMinimumWidth(40);
    line->addWidget(v.graph, 1);
}

int LoopsWindow::VisibleRowArea() const {
    return area_->height();
}

void LoopsWindow::PlaceRows() {
    const int first = form_.CBInputMixer.Checked() ? 0 : 1;
    const int offset = mixer_ != nullptr ? mixer_->ScrollOffset() * RowPixels / LoopMixer::RowHeight
                                         : (bar_->value() - bar_->minimum()) * RowPixels;
    // Rows stand in the mixer's order (group by group); slots beyond "Max.Anz. Loops" are thin.
    int y = -offset;
    for (int place = 0; place <= LoopSlotCapacity; ++place) {
        const int n = mixer_ != nullptr ? mixer_->RowAt(place) : place;
        QWidget* frame = rows_.at(static_cast<std::size_t>(n)).frame;
        if (place < first) {
            frame->hide();
            continue;
        }
        const int height = mixer_ != nullptr ? mixer_->PanelHeight(n) * RowPixels / LoopMixer::RowHeight : RowPixels;
        frame->setGeometry(0, y, area_->width(), std::max(height - 2, 2));
        frame->show();
        y += height;
    }
}

void LoopsWindow::Follow() {
    const int showMixers = showMixers_ == nullptr || showMixers_->Down() ? 1 : 0;
    if (showMixers != placedShowMixers_) {
        placedShowMixers_ = showMixers;
        for (RowView& v : rows_)
            v.sliders->setVisible(showMixers != 0);
    }
    if (mixer_ != nullptr) {
        mixer_->VisibleHeight = std::max(1, area_->height()) * LoopMixer::RowHeight / RowPixels;
        bar_->setPageStep(mixer_->LargeScrollStep());
    }
    const int first = form_.CBInputMixer.Checked() ? 0 : 1;
    const int last = std::clamp(engine_.MaxLoopCount, 0, LoopSlotCapacity);
    const int offset = mixer_ != nullptr ? mixer_->ScrollOffset() : bar_->value();
    const int layout = mixer_ != nullptr ? mixer_->LayoutGeneration() : 0;
    if (offset != placedOffset_ || first != placedFirstRow_ || last != placedLastRow_ ||
        area_->width() != placedWidth_ || layout != placedLayout_) {
        placedLayout_ = layout;
        placedOffset_ = offset;
        placedFirstRow_ = first;
        placedLastRow_ = last;
        placedWidth_ = area_->width();
        PlaceRows();
    }
}

bool LoopsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == area_) {
        if (event->type() == QEvent::Resize) {
            placedWidth_ = -1;
            Follow();
        } else if (event->type() == QEvent::Wheel) {
            QApplication::sendEvent(bar_, event);
            return true;
        }
    }
    if (watched == allMarked_ && event->type() == QEvent::MouseButtonDblClick && mixer_ != nullptr)
        mixer_->TakeOverMarks();
    return FormWindow::eventFilter(watched, event);
}

} // namespace kreisel

// Placing controls by name, the large display, the progress bar and the secondary window frame.
#include "gui/ViewParts.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSlider>

#include <algorithm>
#include <cstdlib>
#include <cmath>

namespace kreisel {

QColor ToQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

QFont WithPointSize(QFont font, double points, bool bold) {
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// --- Placer

Control* Placer::Find(std::string_view name) const {
    for (Form* f : forms_)
        if (Control* c = f->Find(name)) return c;
    return nullptr;
}

QWidget* Placer::Make(std::string_view name, QWidget* parent) {
    Control* c = Find(name);
    return c != nullptr ? binder_.Create(*c, parent) : nullptr;
}

bool Placer::Bind(std::string_view name, QWidget* widget) {
    Control* c = Find(name);
    if (c == nullptr) return false;
    binder_.Bind(*c, widget);
    return true;
}

int Placer::AddTo(QBoxLayout& layout, std::initializer_list<const char*> names) {
    int added = 0;
    for (const char* name : names)
        if (QWidget* w = Make(name)) {
            layout.addWidget(w);
            ++added;
        }
    return added;
}

// --- Rows of controls

QWidget* BuildGroups(Placer& place, const std::vector<GroupSpec>& groups, QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* col = new QVBoxLayout(page);
    col->setContentsMargins(6, 6, 6, 6);
    col->setSpacing(6);
    for (const GroupSpec& g : groups) {
        auto* box = new QGroupBox(QString::fromUtf8(g.title), page);
        auto* grid = new QGridLayout(box);
        grid->setContentsMargins(8, 4, 8, 6);
        grid->setHorizontalSpacing(8);
        grid->setVerticalSpacing(3);
        int rows = 0;
        for (const RowSpec& r : g.rows) {
            auto* line = new QHBoxLayout;
            line->setSpacing(6);
            bool stretches = false;
            int placed = 0;
            for (const char* name : r.names) {
                QWidget* w = place.Make(name, box);
                if (w == nullptr) continue;
                if (auto* slider = qobject_cast<QSlider*>(w); slider != nullptr) {
                    if (slider->orientation() == Qt::Horizontal) {
                        slider->setMinimumWidth(120);
                        line->addWidget(w, 1);
                        stretches = true;
                        ++placed;
                        continue;
                    }
                }
                if (qobject_cast<QPlainTextEdit*>(w) != nullptr) stretches = true;
                line->addWidget(w, qobject_cast<QPlainTextEdit*>(w) != nullptr ? 1 : 0);
                ++placed;
            }
            if (placed == 0) {
                delete line;
                continue;
            }
            if (!stretches) line->addStretch(1);
            if (*r.caption != '\0') {
                grid->addWidget(new QLabel(QString::fromUtf8(r.caption), box), rows, 0);
                grid->addLayout(line, rows, 1);
            } else {
                grid->addLayout(line, rows, 0, 1, 2);
            }
            ++rows;
        }
        if (rows == 0) {
            delete box;
            continue;
        }
        grid->setColumnStretch(1, 1);
        col->addWidget(box);
    }
    col->addStretch(1);
    return page;
}

// --- BigLabel

BigLabel::BigLabel(QWidget* parent, double heightShare) : QLabel(parent), share_(heightShare) {
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize BigLabel::minimumSizeHint() const {
    return {40, 24};
}

QSize BigLabel::sizeHint() const {
    return {160, 90};
}

void BigLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawFrame(&p);
    const QRect room = contentsRect().adjusted(4, 0, -4, 0);
    if (text().isEmpty() || room.width() <= 0 || room.height() <= 0) return;
    QFont f = font();
    const int pixels = std::max(8, static_cast<int>(std::lround(height() * share_)));
    f.setPixelSize(pixels);
    const int wide = QFontMetrics(f).horizontalAdvance(text());
    if (wide > room.width()) f.setPixelSize(std::max(8, pixels * room.width() / wide));
    p.setFont(f);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(room, Qt::AlignCenter, text());
}

// --- ProgressView

ProgressView::ProgressView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(40, 4);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAttribute(Qt::WA_OpaquePaintEvent); // the paint covers every pixel
    setCursor(Qt::PointingHandCursor);
}

void ProgressView::SetProgress(qint64 position, qint64 end, QColor fill) {
    double f = 0;
    if (end > 0 && end < 2147483647)
        f = std::clamp(static_cast<double>(position) / static_cast<double>(end), 0.0, 1.0);
    const int from = static_cast<int>(std::lround(fraction_ * width()));
    const int to = static_cast<int>(std::lround(f * width()));
    fraction_ = f;
    if (fill != fill_) {
        fill_ = fill;
        update();
    } else if (from != to) {
        update(std::min(from, to), 0, std::abs(to - from) + 1, height()); // the band that changed
    }
}

void ProgressView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().color(QPalette::Base).darker(115));
    const int filled = static_cast<int>(std::lround(fraction_ * r.width()));
    p.fillRect(QRect(r.left(), r.top(), filled, r.height()), fill_);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

void ProgressView::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(static_cast<int>(event->position().x()), width());
}

void ProgressView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton) emit MouseMove(static_cast<int>(event->position().x()), width());
}

void ProgressView::mouseReleaseEvent(QMouseEvent*) {
    emit MouseUp();
}

// --- FormWindow

FormWindow::FormWindow(Form& form, QWidget* parent) : QWidget(parent, Qt::Window), form_(form) {
    setWindowTitle(QString::fromStdString(form.Caption()));
}

void FormWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Closing) Closing();
}

} // namespace kreisel

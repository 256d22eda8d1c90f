// Layouts of the faders window and the timed box.
#include "gui/SecondaryWindows.h"

#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <map>

namespace kreisel {

// --- Faders

FadersWindow::FadersWindow(TFormFaders& form, Binder& binder, QWidget* parent)
    : FormWindow(form, parent), form_(form) {
    setObjectName(QString::fromStdString(form.Name()));
    FaderControls& f = form.Faders;
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 6, 6, 6);
    row->setSpacing(10);
    struct Side {
        const char* title;
        Control* level;
        Control* pan;
        Control* value;
        Control* balance;
        Control* meter;
    };
    const Side sides[2] = {
        {"Eingang", &f.TBInpLevel, &f.TBInpLevelPan, &f.LabelInpLevelVal, &f.PanelInpLevelLR,
         &f.SBLevelMeterInp},
        {"Ausgang", &f.TBOutLevel, &f.TBOutLevelPan, &f.LabelOutLevelVal, &f.PanelOutLevelLR,
         &f.SBLevelMeterOut},
    };
    for (int i = 0; i < 2; ++i) {
        const Side& s = sides[i];
        auto* box = new QGroupBox(QString::fromUtf8(s.title), this);
        auto* col = new QVBoxLayout(box);
        col->setSpacing(4);
        QWidget* value = binder.Create(*s.value, box);
        value->setFont(WithPointSize(value->font(), 12, true));
        if (auto* label = qobject_cast<QLabel*>(value)) label->setAlignment(Qt::AlignCenter);
        value->setToolTip(QStringLiteral("Klick: 0 dB"));
        col->addWidget(value);

        auto* faderRow = new QHBoxLayout;
        faderRow->setSpacing(2);
        faders_[i] = binder.Create(*s.level, box);
        faders_[i]->setMinimumHeight(220);
        faders_[i]->installEventFilter(this);
        marks_[i] = new QFrame(box);
        marks_[i]->setFixedSize(14, 3);
        marks_[i]->setAutoFillBackground(true);
        QPalette pal = marks_[i]->palette();
        pal.setColor(QPalette::Window, QColor(0, 150, 0));
        marks_[i]->setPalette(pal);
        marks_[i]->setToolTip(QStringLiteral("0 dB"));
        faderRow->addStretch(1);
        faderRow->addWidget(faders_[i], 0, Qt::AlignHCenter);
        faderRow->addSpacing(16); // room for the unity mark
        faderRow->addStretch(1);
        col->addLayout(faderRow, 1);

        QWidget* pan = binder.Create(*s.pan, box);
        pan->setMinimumWidth(120);
        col->addWidget(pan);
        QWidget* balance = binder.Create(*s.balance, box);
        balance->setMinimumHeight(24);
        col->addWidget(balance);
        auto* meter = binder.Create(*s.meter, box);
        meter->setMinimumHeight(28);
        col->addWidget(meter);
        row->addWidget(box, 1);
    }
    resize(300, 420);
}

// The unity mark beside a level fader, where its thumb sits at unity.
void FadersWindow::PlaceUnityMarks() {
    const Control* levels[2] = {&form_.Faders.TBInpLevel, &form_.Faders.TBOutLevel};
    for (int i = 0; i < 2; ++i) {
        QWidget* fader = faders_[i];
        const QPoint topLeft = fader->mapTo(marks_[i]->parentWidget(), QPoint(0, 0));
        const int top = TFormFaders::ZeroMarkTop(topLeft.y(), fader->height(), *levels[i]);
        marks_[i]->move(topLeft.x() + fader->width() + 2, top - 1);
        marks_[i]->raise();
    }
}

bool FadersWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == faders_[0] || watched == faders_[1]) &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show))
        PlaceUnityMarks();
    return FormWindow::eventFilter(watched, event);
}

// --- Timed box

TimedInputWindow::TimedInputWindow(TFormTimedInput& form, Binder& binder, TimedInputBox* box, QWidget* parent)
    : FormWindow(form, parent), form_(form), binder_(binder) {
    setObjectName(QString::fromStdString(form.Name()));
    // Not modal: the performer's keys and the windows keep working while the box waits.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(12, 12, 12, 12);
    col->setSpacing(10);
    auto* message = qobject_cast<QLabel*>(binder.Create(form.LabelMessage, this));
    message->setWordWrap(true);
    message->setFont(WithPointSize(message->font(), 12));
    message->setMinimumWidth(320);
    col->addWidget(message, 1);

    auto* time = new QFrame(this);
    time->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    binder.Bind(form.PanelTime, time);
    auto* timeRow = new QHBoxLayout(time);
    timeRow->addWidget(binder.Create(form.LabelTimeCaption, time));
    QWidget* seconds = binder.Create(form.LabelTimeSec, time);
    seconds->setFont(WithPointSize(seconds->font(), 14, true));
    timeRow->addWidget(seconds);
    timeRow->addStretch(1);
    time->setToolTip(QStringLiteral("Klick: Zeit anhalten / weiterlaufen lassen"));
    col->addWidget(time);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    std::map<QWidget*, Control*> byWidget;
    for (Control* c : {&form.ButtonOk, &form.ButtonNo, &form.ButtonCancel}) {
        QWidget* b = binder.Create(*c, this);
        b->setMinimumSize(96, 34);
        b->setFont(WithPointSize(b->font(), 11, true));
        buttons->addWidget(b);
        byWidget.emplace(b, c);
    }
    col->addLayout(buttons);

    // The answer at the time-out is the focused button's: Tab and arrow moves go to the model.
    connect(qApp, &QApplication::focusChanged, this, [this, byWidget](QWidget*, QWidget* now) {
        auto it = byWidget.find(now);
        if (it == byWidget.end()) return;
        form_.Focused = it->second;
        focused_ = it->second;
    });
    Closing = [box] {
        if (box != nullptr) box->Close();
    };
    connect(&binder, &Binder::Refreshed, this, &TimedInputWindow::Follow);
}

void TimedInputWindow::Follow() {
    const QString caption = QString::fromStdString(form_.Caption());
    if (windowTitle() != caption) setWindowTitle(caption);
    const bool shown = form_.Visible();
    if (shown != isVisible()) {
        setVisible(shown);
        if (shown) {
            adjustSize();
            raise();
            activateWindow();
            focused_ = nullptr;
        }
    }
    if (shown && form_.Focused != focused_) {
        focused_ = form_.Focused;
        for (QPushButton* b : findChildren<QPushButton*>())
            if (focused_ != nullptr && binder_.ControlOf(b) == focused_) b->setFocus();
    }
}

} // namespace kreisel

// Widget creation by control kind, the user's way back into the controls, and the refresh that
// copies changed model state into the widgets.
#include "gui/Binder.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

namespace kreisel {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Captions keep the old line breaks ("\r\n"); hints may carry a long part after "|".
QString DisplayText(const std::string& s) {
    QString t = Q(s);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

QString HintText(const std::string& s) {
    return DisplayText(s.substr(0, s.find('|')));
}

QColor ToQColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

void ApplyColors(QWidget& w, std::optional<Rgb> back, std::optional<Rgb> font) {
    // Only the roles the model sets are resolved; everything else stays inherited, so an unset
    // colour is the parent's (or the platform's) again.
    QPalette pal;
    const bool button = qobject_cast<QAbstractButton*>(&w) != nullptr;
    if (back) {
        pal.setColor(QPalette::Window, ToQColor(*back));
        pal.setColor(QPalette::Base, ToQColor(*back));
        if (button) pal.setColor(QPalette::Button, ToQColor(*back));
    }
    if (font) {
        pal.setColor(QPalette::WindowText, ToQColor(*font));
        pal.setColor(QPalette::Text, ToQColor(*font));
        pal.setColor(QPalette::ButtonText, ToQColor(*font));
    }
    w.setPalette(pal);
    if (!button) w.setAutoFillBackground(back.has_value());
}

int PageStepFor(const Control& c) {
    return std::max(1, (c.Max() - c.Min()) / 8);
}

void ApplyOrientation(QSlider& s, Orientation o) {
    const bool vertical = o == Orientation::Vertical;
    s.setOrientation(vertical ? Qt::Vertical : Qt::Horizontal);
    // Vertical track bars of the old toolkit had their minimum at the top, and the up key moved
    // the thumb up.
    s.setInvertedAppearance(vertical);
    s.setInvertedControls(vertical);
}

} // namespace

// --- MemoView

MemoView::MemoView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
}

int MemoView::LineAt(const QPoint& pos) const {
    return cursorForPosition(pos).blockNumber();
}

void MemoView::mouseReleaseEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) emit LineClicked(LineAt(event->position().toPoint()));
}

void MemoView::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit LineDoubleClicked(LineAt(event->position().toPoint()));
}

// --- Binder

struct Binder::Binding {
    Control* control = nullptr;
    QPointer<QObject> target;
    QPointer<QAction> visibilityAction;
    bool fresh = true;
    std::string name;
    std::string text;
    std::string hint;
    std::optional<Rgb> color;
    std::optional<Rgb> fontColor;
    bool enabled = true;
    bool visible = true;
    bool on = false;
    int value = 0;
    int min = 0;
    int max = 0;
    Orientation orientation = Orientation::Horizontal;
    std::vector<std::string> items;
    std::vector<std::string> lines;
};

Binder::Binder(QObject* parent) : QObject(parent) {
    timer_.setInterval(RefreshIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &Binder::Refresh);
    timer_.start();
}

Binder::~Binder() = default;

QWidget* Binder::Create(Control& control, QWidget* parent) {
    QWidget* w = nullptr;
    switch (control.Kind()) {
    case ControlKind::SwitchButton: {
        auto* b = new QToolButton(parent);
        b->setCheckable(true);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        w = b;
        break;
    }
    case ControlKind::Button:
        w = new QPushButton(parent);
        break;
    case ControlKind::CheckBox:
        w = new QCheckBox(parent);
        break;
    case ControlKind::NumberField: {
        auto* s = new QSpinBox(parent);
        s->setKeyboardTracking(false);
        w = s;
        break;
    }
    case ControlKind::Slider:
        w = new QSlider(parent);
        break;
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(parent);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        w = combo;
        break;
    }
    case ControlKind::RadioButton:
        w = new QRadioButton(parent);
        break;
    case ControlKind::Label:
        w = new QLabel(parent);
        break;
    case ControlKind::Panel: {
        auto* l = new QLabel(parent);
        l->setAlignment(Qt::AlignCenter);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        w = l;
        break;
    }
    case ControlKind::Edit:
        w = new QLineEdit(parent);
        break;
    case ControlKind::TextEditor:
        w = new MemoView(parent);
        break;
    case ControlKind::MenuEntry:
    case ControlKind::Shape:
    case ControlKind::PaintBox:
        w = new QWidget(parent);
        break;
    }
    Bind(control, w);
    return w;
}

QAction* Binder::CreateAction(Control& control, QObject* parent) {
    auto* a = new QAction(parent);
    Bind(control, a);
    return a;
}

Binder::Binding& Binder::Add(Control& control, QObject* target) {
    auto b = std::make_unique<Binding>();
    b->control = &control;
    b->target = target;
    bindings_.push_back(std::move(b));
    return *bindings_.back();
}

void Binder::Bind(Control& control, QWidget* widget) {
    Binding& b = Add(control, widget);
    Connect(b);
    Sync(b);
}

void Binder::Bind(Control& control, QAction* action) {
    action->setCheckable(control.AutoCheck() || control.Checked());
    Binding& b = Add(control, action);
    Connect(b);
    Sync(b);
}

void Binder::ShowThrough(QWidget* widget, QAction* toolBarAction) {
    for (auto& b : bindings_)
        if (b->target == widget) {
            b->visibilityAction = toolBarAction;
            b->fresh = true;
            Sync(*b);
        }
}

Control* Binder::ControlOf(const QObject* target) const {
    for (const auto& b : bindings_)
        if (b->target == target) return b->control;
    return nullptr;
}

// The lambdas hold the control and a guarded pointer to the widget, never the binding: a handler
// may open a dialog whose event loop runs a refresh that drops bindings of deleted widgets.
void Binder::Connect(Binding& b) {
    Control* c = b.control;
    QObject* t = b.target;
    if (auto* button = qobject_cast<QAbstractButton*>(t)) {
        if (auto* radio = qobject_cast<QRadioButton*>(button)) radio->setAutoExclusive(false);
        QPointer<QAbstractButton> guard(button);
        connect(button, &QAbstractButton::clicked, this, [this, c, guard] {
            c->UserClick();
            // Qt has flipped the button already; the model may have refused (a group's last
            // button, a disabled control), so the widget shows what the model says.
            if (guard && guard->isCheckable()) {
                QSignalBlocker quiet(guard.data());
                guard->setChecked(c->Down());
            }
            SyncNow(c);
        });
    } else if (auto* slider = qobject_cast<QAbstractSlider*>(t)) {
        QPointer<QAbstractSlider> guard(slider);
        connect(slider, &QAbstractSlider::valueChanged, this, [this, c, guard](int v) {
            c->UserSetValue(v);
            if (guard && guard->value() != c->Value()) {
                QSignalBlocker quiet(guard.data());
                guard->setValue(c->Value());
            }
            SyncNow(c);
        });
    } else if (auto* spin = qobject_cast<QSpinBox*>(t)) {
        QPointer<QSpinBox> guard(spin);
        connect(spin, &QSpinBox::valueChanged, this, [this, c, guard](int v) {
            c->UserSetValue(v);
            if (guard && guard->value() != c->Value()) {
                QSignalBlocker quiet(guard.data());
                guard->setValue(c->Value());
            }
            SyncNow(c);
        });
    } else if (auto* combo = qobject_cast<QComboBox*>(t)) {
        QPointer<QComboBox> guard(combo);
        connect(combo, &QComboBox::activated, this, [this, c, guard](int index) {
            c->UserSetValue(index);
            if (guard && guard->currentIndex() != c->ItemIndex()) {
                QSignalBlocker quiet(guard.data());
                guard->setCurrentIndex(c->ItemIndex());
            }
            SyncNow(c);
        });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(t)) {
        QPointer<QTabWidget> guard(tabs);
        connect(tabs, &QTabWidget::currentChanged, this, [this, c, guard](int index) {
            c->UserSetValue(index);
            if (guard && guard->currentIndex() != c->ItemIndex() && c->ItemIndex() >= 0) {
                QSignalBlocker quiet(guard.data());
                guard->setCurrentIndex(c->ItemIndex());
            }
            SyncNow(c);
        });
    } else if (auto* edit = qobject_cast<QLineEdit*>(t)) {
        connect(edit, &QLineEdit::textEdited, this, [this, c](const QString& text) {
            if (!c->Enabled()) return;
            c->SetText(text.toStdString());
            SyncNow(c);
        });
    } else if (qobject_cast<QPlainTextEdit*>(t) == nullptr && qobject_cast<QWidget*>(t) != nullptr) {
        t->installEventFilter(this);
    } else if (auto* action = qobject_cast<QAction*>(t)) {
        QPointer<QAction> guard(action);
        connect(action, &QAction::triggered, this, [this, c, guard] {
            c->UserClick();
            if (guard && guard->isCheckable()) {
                QSignalBlocker quiet(guard.data());
                guard->setChecked(c->Checked());
            }
            SyncNow(c);
        });
    }
}

bool Binder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (Control* c = ControlOf(watched)) {
            c->DblClick();
            SyncNow(c);
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (Control* c = ControlOf(watched)) {
            c->UserClick();
            SyncNow(c);
            // Labels and panels end the click here; otherwise it would reach the panel around
            // them as a second click (a pause switched on and off again). Paint boxes let it go
            // on, since views draw and track the mouse on them.
            return qobject_cast<QFrame*>(watched) != nullptr;
        }
    }
    return false;
}

void Binder::SyncNow(const Control* control) {
    for (std::size_t i = 0; i < bindings_.size(); ++i)
        if (bindings_[i]->control == control) Sync(*bindings_[i]);
}

void Binder::Sync(Binding& b) {
    QObject* t = b.target;
    if (t == nullptr) return;
    const Control& c = *b.control;
    auto* w = qobject_cast<QWidget*>(t);
    auto* a = qobject_cast<QAction*>(t);
    const bool all = b.fresh;
    b.fresh = false;

    if (all || b.name != c.Name()) {
        b.name = c.Name();
        t->setObjectName(Q(b.name));
    }
    if (all || b.hint != c.Hint()) {
        b.hint = c.Hint();
        if (w != nullptr) w->setToolTip(HintText(b.hint));
        if (a != nullptr) a->setToolTip(HintText(b.hint));
    }
    if (all || b.enabled != c.Enabled()) {
        b.enabled = c.Enabled();
        if (w != nullptr) w->setEnabled(b.enabled);
        if (a != nullptr) a->setEnabled(b.enabled);
    }
    if (all || b.visible != c.Visible()) {
        b.visible = c.Visible();
        if (b.visibilityAction != nullptr)
            b.visibilityAction->setVisible(b.visible);
        else if (w != nullptr)
            w->setVisible(b.visible);
        else if (a != nullptr)
            a->setVisible(b.visible);
    }
    if (w != nullptr && (all || b.color != c.Color() || b.fontColor != c.FontColor())) {
        b.color = c.Color();
        b.fontColor = c.FontColor();
        if (all && !b.color && !b.fontColor) {
            // nothing to set: keep what the view chose
        } else {
            ApplyColors(*w, b.color, b.fontColor);
        }
    }
    if (all || b.text != c.Text()) {
        b.text = c.Text();
        const QString text = DisplayText(b.text);
        if (auto* button = qobject_cast<QAbstractButton*>(t)) {
            button->setText(text);
        } else if (auto* label = qobject_cast<QLabel*>(t)) {
            label->setText(text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(t)) {
            if (edit->text() != text) {
                QSignalBlocker quiet(edit);
                edit->setText(text);
            }
        } else if (a != nullptr) {
            a->setText(text);
        }
    }
    if (all || b.on != c.Down()) {
        b.on = c.Down();
        if (auto* button = qobject_cast<QAbstractButton*>(t); button != nullptr && button->isCheckable()) {
            QSignalBlocker quiet(button);
            button->setChecked(b.on);
        } else if (a != nullptr && a->isCheckable()) {
            QSignalBlocker quiet(a);
            a->setChecked(b.on);
        }
    }
    if (auto* combo = qobject_cast<QComboBox*>(t); combo != nullptr && (all || b.items != c.Items())) {
        b.items = c.Items();
        QSignalBlocker quiet(combo);
        combo->clear();
        for (const std::string& item : b.items)
            combo->addItem(Q(item));
        combo->setCurrentIndex(c.ItemIndex());
    }
    const bool rangeChanged = all || b.min != c.Min() || b.max != c.Max();
    const bool valueChanged = all || rangeChanged || b.value != c.Value();
    b.min = c.Min();
    b.max = c.Max();
    b.value = c.Value();
    if (auto* slider = qobject_cast<QAbstractSlider*>(t)) {
        QSignalBlocker quiet(slider);
        auto* trackBar = qobject_cast<QSlider*>(slider);
        if (all || b.orientation != c.SliderOrientation()) {
            b.orientation = c.SliderOrientation();
            if (trackBar != nullptr)
                ApplyOrientation(*trackBar, b.orientation);
            else
                slider->setOrientation(b.orientation == Orientation::Vertical ? Qt::Vertical
                                                                              : Qt::Horizontal);
        }
        if (rangeChanged) {
            slider->setRange(b.min, b.max);
            if (trackBar != nullptr) trackBar->setPageStep(PageStepFor(c));
        }
        if (valueChanged) slider->setValue(b.value);
    } else if (auto* spin = qobject_cast<QSpinBox*>(t)) {
        QSignalBlocker quiet(spin);
        if (rangeChanged) {
            if (b.min == b.max)
                spin->setRange(INT_MIN, INT_MAX); // a spin edit without limits
            else
                spin->setRange(b.min, b.max);
        }
        if (valueChanged) spin->setValue(b.value);
    } else if (auto* combo = qobject_cast<QComboBox*>(t)) {
        if (valueChanged && combo->currentIndex() != b.value) {
            QSignalBlocker quiet(combo);
            combo->setCurrentIndex(b.value);
        }
    } else if (auto* tabs = qobject_cast<QTabWidget*>(t)) {
        if (valueChanged && b.value >= 0 && b.value < tabs->count() && tabs->currentIndex() != b.value) {
            QSignalBlocker quiet(tabs);
            tabs->setCurrentIndex(b.value);
        }
    }
    if (auto* memo = qobject_cast<QPlainTextEdit*>(t); memo != nullptr && (all || b.lines != c.Lines())) {
        b.lines = c.Lines();
        QStringList lines;
        for (const std::string& line : b.lines)
            lines << DisplayText(line);
        const int scroll = memo->verticalScrollBar()->value();
        memo->setPlainText(lines.join(QLatin1Char('\n')));
        memo->verticalScrollBar()->setValue(scroll);
    }
}

void Binder::Refresh() {
    std::erase_if(bindings_, [](const std::unique_ptr<Binding>& b) { return b->target.isNull(); });
    for (std::size_t i = 0; i < bindings_.size(); ++i)
        Sync(*bindings_[i]);
    emit Refreshed();
}

} // namespace kreisel

// Control state changes, the user's and the macros' way of operating a control, and the values
// macros read from it.
#include "core/Control.h"

#include <algorithm>
#include <climits>

#include "core/Form.h"

namespace kreisel {

namespace {

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool ContainsNoCase(std::string_view haystack, std::string_view upperNeedle) {
    if (upperNeedle.size() > haystack.size()) return false;
    for (std::size_t i = 0; i + upperNeedle.size() <= haystack.size(); ++i) {
        bool match = true;
        for (std::size_t k = 0; k < upperNeedle.size() && match; ++k)
            match = UpperAscii(haystack[i + k]) == upperNeedle[k];
        if (match) return true;
    }
    return false;
}

bool IsSwitch(const Control& c) {
    return c.Kind() == ControlKind::SwitchButton;
}

} // namespace

int TrackBarNorm(std::string_view name) {
    if (SameControlName(name, "TBInpLevel") || SameControlName(name, "TBOutLevel")) return 38;
    if (ContainsNoCase(name, "AMP")) return 4;
    if (ContainsNoCase(name, "PAN")) return 8;
    return 0;
}

bool SameControlName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

std::string ControlNameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        c = UpperAscii(c);
    return key;
}

Control::Control(std::string name, ControlKind kind) : name_(std::move(name)), kind_(kind) {
    if (kind == ControlKind::Slider) max_ = 10; // a fresh track bar spans 0..10
    if (kind == ControlKind::ComboBox) value_ = -1;
}

bool Control::ActionsSuppressed() const {
    return suppressDepth_ > 0 || (owner_ != nullptr && owner_->ActionsSuppressed());
}

void Control::RunChange() {
    if (onChange_ && !ActionsSuppressed()) onChange_(*this);
}

void Control::RunClick() {
    if (onClick_ && !ActionsSuppressed()) onClick_(*this);
}

int Control::Clamp(long long v) const {
    if (kind_ == ControlKind::NumberField && min_ == max_)
        return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    return static_cast<int>(std::clamp<long long>(v, min_, max_));
}

void Control::SetValue(int v) {
    if (kind_ == ControlKind::ComboBox) {
        SetItemIndex(v);
        return;
    }
    int clamped = Clamp(v);
    if (clamped == value_) return;
    value_ = clamped;
    RunChange();
}

void Control::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<long long>(items_.size())) index = -1;
    if (index == value_) return;
    value_ = index;
    RunChange();
}

void Control::SetRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    if (kind_ == ControlKind::ComboBox) return;
    int clamped = Clamp(value_);
    if (clamped == value_) return;
    value_ = clamped;
    RunChange();
}

void Control::ReleaseGroupPeers() {
    if (owner_ == nullptr) return;
    for (std::size_t i = 0; i < owner_->ControlCount(); ++i) {
        Control& peer = owner_->ControlAt(i);
        if (&peer != this && peer.kind_ == kind_ && peer.groupIndex_ == groupIndex_) peer.on_ = false;
    }
}

void Control::SetOn(bool on) {
    if (on == on_) return;
    on_ = on;
    // The partners of a group let go without running their actions, as speed buttons and
    // radio buttons do.
    bool exclusive =
        (kind_ == ControlKind::SwitchButton && groupIndex_ != 0) || kind_ == ControlKind::RadioButton;
    if (on && exclusive) ReleaseGroupPeers();
    RunChange();
}

void Control::SetDown(bool down) {
    if (!down && on_ && IsSwitch(*this) && groupIndex_ != 0 && !allowAllUp_) return;
    SetOn(down);
}

void Control::SetChecked(bool checked) {
    SetOn(checked);
}

int Control::ZeroPosition() const {
    return zero_ ? *zero_ : TrackBarNorm(name_);
}

void Control::SetText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    if (kind_ == ControlKind::Edit) RunChange();
}

void Control::AssignText(std::string_view text) {
    if (text == text_) return;
    text_.assign(text);
    if (kind_ == ControlKind::Edit) RunChange();
}

void Control::SetItems(std::vector<std::string> items) {
    items_ = std::move(items);
    if (value_ >= static_cast<long long>(items_.size())) SetItemIndex(-1);
}

void Control::SetLines(std::vector<std::string> lines) {
    if (lines == lines_) return;
    lines_ = std::move(lines);
    RunChange();
}

void Control::AddLine(std::string line) {
    lines_.push_back(std::move(line));
    RunChange();
}

void Control::Click() {
    RunClick();
}

void Control::DblClick() {
    if (enabled_ && onDblClick_ && !ActionsSuppressed()) onDblClick_(*this);
}

void Control::UserClick() {
    if (!enabled_) return;
    switch (kind_) {
    case ControlKind::SwitchButton:
        SetDown(groupIndex_ == 0 ? !on_ : (!on_ || !allowAllUp_));
        break;
    case ControlKind::CheckBox:
        SetChecked(!on_);
        break;
    case ControlKind::RadioButton:
        SetChecked(true);
        break;
    case ControlKind::MenuEntry:
        if (autoCheck_) SetChecked(!on_);
        break;
    default:
        break;
    }
    RunClick();
}

void Control::UserSetValue(int v) {
    if (!enabled_) return;
    if (kind_ == ControlKind::Slider || kind_ == ControlKind::NumberField || kind_ == ControlKind::ComboBox)
        SetValue(v);
}

SuppressActions::SuppressActions(Control& control) : control_(&control) {
    ++control.suppressDepth_;
}

SuppressActions::SuppressActions(Form& form) : form_(&form) {
    ++form.suppressDepth_;
}

SuppressActions::~SuppressActions() {
    if (control_ != nullptr) --control_->suppressDepth_;
    if (form_ != nullptr) --form_->suppressDepth_;
}

int GetControlValue(const Control& control, int property) {
    switch (control.Kind()) {
    case ControlKind::SwitchButton:
        return control.Down() ? 1 : 0;
    case ControlKind::CheckBox:
        return control.Checked() ? 1 : 0;
    case ControlKind::NumberField:
        switch (property) {
        case PropValue:
        case PropNow:
            return control.Value();
        case PropMin:
            return control.Min();
        case PropMax:
            return control.Max();
        default:
            return 0;
        }
    case ControlKind::Slider: {
        // Computed wide: a zero override far outside the range must not overflow.
        long long z = control.ZeroPosition();
        long long result = 0;
        bool vertical = control.SliderOrientation() == Orientation::Vertical;
        switch (property) {
        case PropValue:
        case PropNow:
            result = vertical ? z - control.Position() : control.Position() - z;
            break;
        case PropMin:
            result = vertical ? z - control.Max() : control.Min() - z;
            break;
        case PropMax:
            result = vertical ? z - control.Min() : control.Max() - z;
            break;
        default:
            break;
        }
        return static_cast<int>(std::clamp<long long>(result, INT_MIN, INT_MAX));
    }
    default:
        return 0;
    }
}

void SetControlValue(Control& control, int v, bool invert) {
    if (!control.Enabled()) return;
    switch (control.Kind()) {
    case ControlKind::SwitchButton: {
        bool target = invert ? !control.Down() : v > 0;
        if (target != control.Down()) control.SetDown(target);
        control.Click();
        break;
    }
    case ControlKind::Button:
        control.Click();
        break;
    case ControlKind::CheckBox: {
        bool target = invert ? !control.Checked() : v > 0;
        if (target != control.Checked()) control.SetChecked(target);
        break;
    }
    case ControlKind::NumberField:
        control.SetValue(v);
        break;
    case ControlKind::Slider: {
        // A macro value can be anything up to the int limits; z +/- v must not overflow before
        // the position is clamped to the slider's range.
        long long z = control.ZeroPosition();
        long long target = control.SliderOrientation() == Orientation::Vertical ? z - v : z + v;
        control.SetPosition(static_cast<int>(std::clamp<long long>(target, control.Min(), control.Max())));
        break;
    }
    default:
        break;
    }
}

} // namespace kreisel

// Short forms for creating a window's controls with their caption, hint, range and initial
// value, shared by the window models.
#pragma once

#include "core/Form.h"

namespace kreisel::make {

inline Control& Make(Form& f, const char* name, ControlKind kind, const char* text = "",
                     const char* hint = "") {
    Control& c = f.Add(name, kind);
    c.SetText(text);
    c.SetHint(hint);
    return c;
}

inline Control& Switch(Form& f, const char* name, const char* caption, const char* hint = "") {
    return Make(f, name, ControlKind::SwitchButton, caption, hint);
}

inline Control& Button(Form& f, const char* name, const char* caption, const char* hint = "") {
    return Make(f, name, ControlKind::Button, caption, hint);
}

inline Control& Check(Form& f, const char* name, const char* caption, bool checked) {
    Control& c = Make(f, name, ControlKind::CheckBox, caption);
    c.SetChecked(checked);
    return c;
}

inline Control& Number(Form& f, const char* name, int min, int max, int value) {
    Control& c = f.Add(name, ControlKind::NumberField);
    c.SetRange(min, max);
    c.SetValue(value);
    return c;
}

inline Control& Slider(Form& f, const char* name, int min, int max, int position, const char* hint = "") {
    Control& c = Make(f, name, ControlKind::Slider, "", hint);
    c.SetRange(min, max);
    c.SetPosition(position);
    return c;
}

inline Control& Label(Form& f, const char* name, const char* text = "",
                      ControlKind kind = ControlKind::Label) {
    return Make(f, name, kind, text);
}

inline Control& Panel(Form& f, const char* name, const char* text = "") {
    return Label(f, name, text, ControlKind::Panel);
}

inline Control& Menu(Form& f, const char* name, const char* caption, bool checked) {
    Control& c = Make(f, name, ControlKind::MenuEntry, caption);
    c.SetAutoCheck(true);
    c.SetChecked(checked);
    return c;
}

inline Control& Hidden(Control& c) {
    c.SetVisible(false);
    return c;
}

} // namespace kreisel::make

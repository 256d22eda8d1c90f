// Reading and operating controls for macros.
#include "macros/ControlsByName.h"

namespace kreisel {

int MacroControlValue(const Control& control, int property) {
    switch (control.Kind()) {
    case ControlKind::ComboBox:
        if (property == PropMin) return 0;
        if (property == PropMax) return static_cast<int>(control.Items().size()) - 1;
        if (property == PropZero) return 0;
        return control.ItemIndex();
    case ControlKind::RadioButton:
    case ControlKind::MenuEntry:
        return control.Checked() ? 1 : 0;
    default:
        return GetControlValue(control, property);
    }
}

void MacroSetControl(Control& control, int v, bool invert) {
    if (!control.Enabled()) return;
    switch (control.Kind()) {
    case ControlKind::ComboBox:
        control.UserSetValue(v);
        break;
    case ControlKind::RadioButton:
        if (v > 0 || invert) control.UserClick();
        break;
    case ControlKind::MenuEntry:
        if (!control.AutoCheck()) {
            control.UserClick();
        } else if ((invert ? !control.Checked() : v > 0) != control.Checked()) {
            control.UserClick();
        }
        break;
    default:
        SetControlValue(control, v, invert);
        break;
    }
}

} // namespace kreisel

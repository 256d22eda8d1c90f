// Controls as macros see and operate them: the core's rules for buttons, check boxes, number
// fields and sliders, plus combo boxes (the item index), radio buttons and menu entries, which a
// user also operates with one click.
#pragma once

#include "core/Control.h"

namespace kreisel {

int MacroControlValue(const Control& control, int property);

// Nothing happens to a disabled control. Combo boxes select item v; radio buttons are clicked
// for v > 0; menu entries with a check mark behave as check boxes whose change is the user's
// click, other menu entries are clicked.
void MacroSetControl(Control& control, int v, bool invert);

} // namespace kreisel

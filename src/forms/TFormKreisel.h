// The main window's model: its controls, by name, in creation order.
#pragma once

#include "core/ControlFactory.h"
#include "core/Form.h"
#include "transport/MainControls.h"

namespace kreisel {

class TFormKreisel : public Form, public MainControls {
  public:
    TFormKreisel()
        : Form("FormKreisel", "Kreisel"), MainControls(static_cast<Form&>(*this)),
          LabelMacroDisp(make::Hidden(make::Label(*this, "LabelMacroDisp", "Makros"))),
          CBShowMacrosErrors(make::Check(*this, "CBShowMacrosErrors", "bei Fehlern abbrechen", true)),
          SBShowMacros(make::Switch(*this, "SBShowMacros", "Makros", "Makro- und Tasten-Steuerung zeigen")) {}

    // Shown while macros are active; red while a macro waits for time, a loop end or a tick.
    Control& LabelMacroDisp;
    // A failed macro statement is reported and ends its macro.
    Control& CBShowMacrosErrors;
    // Shows the macro window.
    Control& SBShowMacros;
};

} // namespace kreisel

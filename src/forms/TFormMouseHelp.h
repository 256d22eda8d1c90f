// The mouse-help window's model: one read-only text that shows the help of the control under the
// mouse pointer, and the font size the settings file keeps for it.
#pragma once

#include "core/ControlFactory.h"
#include "core/Form.h"

namespace kreisel {

class TFormMouseHelp : public Form {
  public:
    TFormMouseHelp()
        : Form("FormMouseHelp", "Assistent (Maus-Hilfe)"),
          MemoMouseHelp(make::Make(*this, "MemoMouseHelp", ControlKind::TextEditor)) {
        MemoMouseHelp.SetLines({"Hilfe ..."});
    }

    Control& MemoMouseHelp;
    int FontSize = 10;
};

} // namespace kreisel

// The timed input box's window model: message, the buttons "&Ok", "&Nein", "&Abbruch" and the
// remaining-time panel. The box's logic lives in shell/TimedInputBox.
#pragma once

#include "core/Form.h"
#include "shell/TimedInputBox.h"

namespace kreisel {

class TFormTimedInput : public Form, public TimedBoxControls {
  public:
    TFormTimedInput() : Form("FormTimedInput", "Meldung"), TimedBoxControls(static_cast<Form&>(*this)) {}
};

} // namespace kreisel

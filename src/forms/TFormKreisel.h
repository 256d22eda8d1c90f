// The main window's model: its controls, by name, in creation order.
#pragma once

#include "core/Form.h"
#include "transport/MainControls.h"

namespace kreisel {

class TFormKreisel : public Form, public MainControls {
  public:
    TFormKreisel() : Form("FormKreisel", "Kreisel"), MainControls(static_cast<Form&>(*this)) {}
};

} // namespace kreisel

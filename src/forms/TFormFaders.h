// The faders window "Haupt-Regler": it shows the master faders, their labels and meters, which
// belong to the loop mixer window.
#pragma once

#include "core/Form.h"
#include "mixer/Faders.h"

namespace kreisel {

class TFormFaders : public Form {
  public:
    explicit TFormFaders(FaderControls& faders) : Form("FormFaders", "Haupt-Regler"), Faders(faders) {}

    FaderControls& Faders;

    // Top of the unity mark (PanelZeroFaderIn, PanelZeroFaderOut) beside a level fader: where
    // the fader's thumb sits at position 38.
    static int ZeroMarkTop(int faderTop, int faderHeight, const Control& fader) {
        return (faderHeight + 2) * 39 / (fader.Max() - fader.Min() + 2) + faderTop + 2;
    }
};

} // namespace kreisel

// The loop mixer window's model ("Loops"): one row per loop slot plus the live input, the input
// mode, the presets and the master faders, which the faders window "Haupt-Regler" shows but
// which macros find here. Rows are renamed when their loop gets a name ("TBAmpLeft_A1").
#pragma once

#include "core/Form.h"
#include "mixer/Faders.h"
#include "mixer/MixerControls.h"
#include "transport/LoopRowControls.h"

namespace kreisel {

class TFormLoops : public Form, public MixerControls, public FaderControls {
  public:
    TFormLoops();

    // The play and mark switches of slots 1.. as loop numbering sees them.
    LoopRowControls Rows;
    // While down, marks and the loop-end takeover concern every group, not only the active one.
    Control& SBAllGroups;
};

} // namespace kreisel

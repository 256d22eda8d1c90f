// The loop mixer window's model. So far it holds each slot's play switch (SBLoop_<n>, ">>"
// while down) and mark switch (SBLoopMarker_<n>, captioned with the loop's name); a row is
// renamed when its loop gets a name ("SBLoop_A1").
#pragma once

#include "core/Form.h"
#include "transport/LoopRowControls.h"

#include <string>

namespace kreisel {

class TFormLoops : public Form {
  public:
    TFormLoops();

    LoopRowControls Rows;
    Control& SBAllowMultipleLoopLength;
    Control& SBAllGroups;
};

} // namespace kreisel

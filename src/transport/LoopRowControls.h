// The per-loop switches of the loop mixer that loop numbering and groups work with: the play
// switch SBLoop_<n> and the mark switch SBLoopMarker_<n> of each slot. The mixer window
// creates them; renaming a row to its loop's name ("SBLoop_A1") is the window's business.
#pragma once

#include "core/Control.h"
#include "engine/Engine.h"

#include <array>
#include <functional>
#include <string>

namespace kreisel {

struct LoopRowControls {
    std::array<Control*, LoopSlotCapacity + 1> Play{}; // index 0 unused here
    std::array<Control*, LoopSlotCapacity + 1> Mark{};
    // Gives the row's per-loop controls the suffix (the slot number or the loop's name).
    std::function<void(int slot, const std::string& suffix)> RenameRow;
    // The mixer shows all groups: play switches of every group follow their marks.
    std::function<bool()> AllGroupsShown;
    // The loop panels: stood together group by group, and sized to "Max.Anz. Loops".
    std::function<void()> ArrangeRows;
    std::function<void(int maxLoops)> SizeRowPanels;
};

} // namespace kreisel

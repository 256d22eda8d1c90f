// The loop mixer window's controls and the view of them that loop numbering uses.
#include "forms/TFormLoops.h"

namespace kreisel {

TFormLoops::TFormLoops()
    : Form("FormLoops", "Loops"), MixerControls(static_cast<Form&>(*this)),
      FaderControls(static_cast<Form&>(*this)), SBAllGroups(SBAllLoopsMarked) {
    for (int n = 1; n <= LoopSlotCapacity; ++n) {
        Rows.Play[static_cast<size_t>(n)] = MixerRows[static_cast<size_t>(n)].Play;
        Rows.Mark[static_cast<size_t>(n)] = MixerRows[static_cast<size_t>(n)].Marker;
    }
    Rows.RenameRow = [this](int slot, const std::string& suffix) { RenameRow(slot, suffix); };
    Rows.AllGroupsShown = [this] { return SBAllLoopsMarked.Down(); };
}

} // namespace kreisel

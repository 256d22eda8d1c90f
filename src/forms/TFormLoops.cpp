#include "forms/TFormLoops.h"

namespace kreisel {

TFormLoops::TFormLoops()
    : Form("FormLoops", "Loops"),
      SBAllowMultipleLoopLength(Add("SBAllowMultipleLoopLength", ControlKind::SwitchButton)),
      SBAllGroups(Add("SBAllGroups", ControlKind::SwitchButton)) {
    SBAllowMultipleLoopLength.SetHint("multiple Loop-Längen");
    for (int n = 1; n <= LoopSlotCapacity; ++n) {
        Control& play = Add("SBLoop_" + std::to_string(n), ControlKind::SwitchButton);
        Control& mark = Add("SBLoopMarker_" + std::to_string(n), ControlKind::SwitchButton);
        mark.SetText(std::to_string(n));
        play.SetEnabled(false);
        Rows.Play[static_cast<size_t>(n)] = &play;
        Rows.Mark[static_cast<size_t>(n)] = &mark;
    }
    Rows.RenameRow = [this](int slot, const std::string& suffix) {
        Rename(*Rows.Play[static_cast<size_t>(slot)], "SBLoop_" + suffix);
        Rename(*Rows.Mark[static_cast<size_t>(slot)], "SBLoopMarker_" + suffix);
    };
    Rows.AllGroupsShown = [this] { return SBAllGroups.Down(); };
}

} // namespace kreisel

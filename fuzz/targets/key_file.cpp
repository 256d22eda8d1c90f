// The key file ("Kreisel.tas"): read into the key handler, shown in the key overview, and every
// assigned key pressed once so that its command runs.
#include "FuzzRig.h"
#include "macros/MacroText.h"

using namespace kreisel;

KREISEL_FUZZ_TARGET(key_file) {
    fuzz::FuzzRig& rig = fuzz::Rig();
    rig.Fresh();
    const auto file = rig.folder / "Fuzz.tas";
    fuzz::WriteFile(file, std::string_view(reinterpret_cast<const char*>(data), size));
    KeyHandler& keys = rig.core->Keys();
    if (!keys.LoadKeyFile(file)) return 0;
    keys.Overview(true, {0, 0, 0, 0});
    for (int k = 1; k < kFirstSequenceKey; ++k) {
        if (keys.KeyCommand[static_cast<size_t>(k)].empty()) continue;
        keys.DispatchKey(k);
        rig.clock.Advance(10);
    }
    rig.core->Interpreter().StopMacros();
    rig.core->T().ResetAll();
    return 0;
}

// Mixer sets ("Take.mix"): loaded whole and values only into the loop mixer, then saved back.
#include "FuzzRig.h"

using namespace kreisel;

KREISEL_FUZZ_TARGET(mixer_set) {
    fuzz::FuzzRig& rig = fuzz::Rig();
    rig.Fresh();
    const bool valuesOnly = size > 0 && (data[0] & 1);
    const auto file = rig.folder / "Fuzz.mix";
    fuzz::WriteFile(file, std::string_view(reinterpret_cast<const char*>(data), size));
    rig.core->LoadSaveMixerSet(file, false, valuesOnly);
    rig.core->LoadSaveMixerSet(file, true, false);
    return 0;
}

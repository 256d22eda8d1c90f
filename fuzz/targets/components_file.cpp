// The control file ("Kreisel.CTR") as the macro window loads it: captions, hints and mouse
// help applied to every window, with and without the captions.
#include "FuzzRig.h"
#include "macros/MacroText.h"
#include "shell/ComponentsFile.h"

#include <cstdlib>

using namespace kreisel;

KREISEL_FUZZ_TARGET(components_file) {
    fuzz::FuzzRig& rig = fuzz::Rig();
    rig.Fresh();
    const bool captions = size > 0 && (data[0] & 1);
    const auto file = rig.folder / "Fuzz.CTR";
    fuzz::WriteFile(file, std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> lines;
    if (!ReadTextLines(file, lines)) return 0;
    std::vector<std::string> errors;
    const int count = ApplyComponentsList(rig.core->Forms(), lines, captions, errors);
    if (count != static_cast<int>(errors.size())) std::abort();
    // The file the windows now make is complete text again.
    ComponentsFileText(rig.core->Forms());
    return 0;
}

// The settings file ("Kreisel.LPS"): the ini parser, its rewrite, and the program's walk over
// every section and key, applied to the whole core, then saved again.
#include "FuzzRig.h"

#include <cstdlib>

using namespace kreisel;

KREISEL_FUZZ_TARGET(settings_file) {
    fuzz::FuzzRig& rig = fuzz::Rig();
    rig.Fresh();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IniFile ini = IniFile::FromText(bytes);
    // What the file says survives a rewrite unchanged.
    const std::string text = ini.Text();
    if (IniFile::FromText(text).Text() != text) std::abort();
    for (const std::string& s : ini.Sections())
        for (const std::string& k : ini.Keys(s)) {
            ini.ReadInteger(s, k, 0);
            if (!ini.ValueExists(s, k)) std::abort();
        }

    const auto file = rig.folder / "Fuzz.LPS";
    fuzz::WriteFile(file, bytes);
    rig.core->LoadSaveSettings(file, false);
    rig.core->ApplyAfterLoad();
    rig.core->LoadSaveSettings(file, true);
    return 0;
}

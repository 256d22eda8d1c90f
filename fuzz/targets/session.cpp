// A session folder: the input is cut at "\n@@@\n" into the settings file, the mixer set and the
// loop files A1, A2, B1, B2, C1, D1 of session "Fuzz"; the session is loaded, saved and loaded
// again, and the folder emptied for the next input.
#include "FuzzRig.h"

#include <cstdlib>

using namespace kreisel;
namespace fs = std::filesystem;

KREISEL_FUZZ_TARGET(session) {
    fuzz::FuzzRig& rig = fuzz::Rig();
    rig.Fresh();
    const fs::path folder = rig.folder / "session";
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directory(folder, ec);
    const std::vector<std::string_view> parts = fuzz::SplitInput(data, size, "\n@@@\n");
    const char* loops[] = {"A1", "A2", "B1", "B2", "C1", "D1"};
    const fs::path session = folder / "Fuzz.lps";
    for (size_t i = 0; i < parts.size() && i < 8; ++i) {
        fs::path file;
        if (i == 0) file = session;
        else if (i == 1) file = folder / "Fuzz.mix";
        else file = Session::LoopFile(session, loops[i - 2]);
        fuzz::WriteFile(file, parts[i]);
    }
    rig.core->LoadSaveSession(session, false);
    // What was loaded is saved and loads again.
    const fs::path again = folder / "Again.lps";
    if (rig.core->LoadSaveSession(again, true)) rig.core->LoadSaveSession(again, false);
    rig.core->T().ResetAll();
    return 0;
}

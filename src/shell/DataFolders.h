// Where the looper keeps its companion files: beside the program when that folder is writable
// (a portable or build-tree run), else in $XDG_CONFIG_HOME/kreisel (~/.config/kreisel). Files the
// install ships (the demo session, defaults) lie in its share folder, or in the source tree's
// data folder when the program runs from the build tree.
#pragma once

#include <filesystem>
#include <string>

namespace kreisel {

struct DataFolders {
    std::filesystem::path programFile; // the running program
    std::filesystem::path program;     // its folder
    std::filesystem::path data;        // where settings, mixer sets and sessions live
    std::filesystem::path shipped;     // the shipped files; empty when none were found

    std::filesystem::path SettingsFile() const { return data / "Kreisel.LPS"; }
    std::filesystem::path MixerSetFile() const { return data / "Kreisel.mix"; }
    std::filesystem::path ComponentsFile() const { return data / "Kreisel.CTR"; }
    // A file of the user's data folder, or the shipped one of that name when the user has none.
    std::filesystem::path UserOrShipped(const std::string& name) const;
};

// `programFile` is the running program (/proc/self/exe). The data folder is created when
// missing; `error` gets a German message when that fails (the folder is still returned).
DataFolders FindDataFolders(const std::filesystem::path& programFile, std::string* error = nullptr);

// The running program's own path.
std::filesystem::path ProgramFile();

} // namespace kreisel

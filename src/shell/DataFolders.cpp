// Finding the data folder and the shipped files.
#include "shell/DataFolders.h"

#include "core/IniFile.h" // FileErrorText

#include <unistd.h>

#include <cstdlib>

namespace kreisel {

namespace fs = std::filesystem;

namespace {

bool Writable(const fs::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }

fs::path ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg == '/') return xdg;
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : "/tmp") / ".config";
}

} // namespace

fs::path DataFolders::UserOrShipped(const std::string& name) const {
    std::error_code ec;
    if (fs::exists(data / name, ec) || shipped.empty()) return data / name;
    if (fs::exists(shipped / name, ec)) return shipped / name;
    return data / name;
}

DataFolders FindDataFolders(const fs::path& programFile, std::string* error) {
    DataFolders f;
    f.programFile = programFile;
    f.program = programFile.parent_path();
    std::error_code ec;
    // An installed program (…/bin/kreisel) has its files in …/share/kreisel; a build-tree run
    // finds the source tree's data folder the build recorded.
    const fs::path installed = f.program.parent_path() / "share" / "kreisel";
    if (fs::is_directory(installed, ec))
        f.shipped = installed;
#ifdef KREISEL_SOURCE_DATA_DIR
    else if (fs::is_directory(KREISEL_SOURCE_DATA_DIR, ec))
        f.shipped = KREISEL_SOURCE_DATA_DIR;
#endif
    // An installed program's folder is never the data folder, even when root may write to it.
    if (!f.program.empty() && Writable(f.program) && f.shipped != installed) {
        f.data = f.program;
        return f;
    }
    f.data = ConfigHome() / "kreisel";
    fs::create_directories(f.data, ec);
    if (ec && error != nullptr)
        *error = "Der Daten-Ordner \"" + f.data.string() + "\" kann nicht angelegt werden: " + FileErrorText(ec.value());
    return f;
}

fs::path ProgramFile() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : p;
}

} // namespace kreisel

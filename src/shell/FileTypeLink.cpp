// Desktop entry and MIME type of session files.
#include "shell/FileTypeLink.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace kreisel {

namespace fs = std::filesystem;

namespace {

// Written beside the target and renamed over it, so a half-written entry never confuses the
// desktop.
bool WriteText(const fs::path& file, const std::string& text, std::string* error) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string name = ".";
    name += file.filename().string();
    name += ".neu";
    const fs::path temporary = file.parent_path() / name;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            fs::remove(temporary, ec);
            if (error != nullptr) *error = "Datei \"" + file.string() + "\" kann nicht geschrieben werden.";
            return false;
        }
    }
    fs::rename(temporary, file, ec);
    if (ec) {
        fs::remove(temporary, ec);
        if (error != nullptr) *error = "Datei \"" + file.string() + "\" kann nicht geschrieben werden.";
        return false;
    }
    return true;
}

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a tool of the desktop if it is installed; its outcome does not matter, the files are in
// place either way and the desktop picks them up at its next scan.
void RunIfPresent(const char* tool, const std::string& argument) {
    std::vector<char*> argv{const_cast<char*>(tool), const_cast<char*>(argument.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, tool, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

FileTypeLink::FileTypeLink(fs::path dataHome, fs::path program)
    : dataHome_(std::move(dataHome)), program_(std::move(program)) {}

fs::path FileTypeLink::DataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && fs::path(xdg).is_absolute()) return xdg;
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : "/") / ".local" / "share";
}

fs::path FileTypeLink::DesktopFile() const {
    return dataHome_ / "applications" / "kreisel-session.desktop";
}

fs::path FileTypeLink::MimeFile() const {
    return dataHome_ / "mime" / "packages" / "kreisel.xml";
}

std::string FileTypeLink::ExecLine() const {
    // Inside double quotes a desktop entry escapes " ` $ and \ with a backslash, and the
    // backslash itself is doubled once more as in every string value of the file.
    std::string quoted = "\"";
    for (char ch : program_.string()) {
        if (ch == '"' || ch == '`' || ch == '$') quoted += "\\\\";
        if (ch == '\\') quoted += "\\\\\\";
        if (ch == '%') quoted += '%';
        quoted += ch;
    }
    quoted += "\"";
    return "Exec=" + quoted + " %f";
}

bool FileTypeLink::Register(std::string* error) {
    const std::string mime =
        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                    "  <mime-type type=\"") +
        MimeType +
        "\">\n"
        "    <comment>Kreisel-Session</comment>\n"
        "    <glob pattern=\"*.lps\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    const std::string desktop = std::string("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Kreisel\n"
                                            "Comment=Kreisel-Session\n") +
                                ExecLine() +
                                "\n"
                                "MimeType=" +
                                MimeType +
                                ";\n"
                                "Terminal=false\n"
                                "NoDisplay=true\n";
    if (!WriteText(MimeFile(), mime, error) || !WriteText(DesktopFile(), desktop, error)) return false;
    RefreshCaches();
    return true;
}

bool FileTypeLink::Unregister(std::string* error) {
    bool ok = true;
    for (const fs::path& file : {DesktopFile(), MimeFile()}) {
        std::error_code ec;
        fs::remove(file, ec);
        if (ec && ok) {
            ok = false;
            if (error != nullptr) *error = "Datei \"" + file.string() + "\" kann nicht gelöscht werden.";
        }
    }
    RefreshCaches();
    return ok;
}

bool FileTypeLink::IsRegistered() const {
    const std::string mime = ReadText(MimeFile());
    if (mime.find(std::string("type=\"") + MimeType + "\"") == std::string::npos ||
        mime.find("pattern=\"*.lps\"") == std::string::npos)
        return false;
    std::istringstream desktop(ReadText(DesktopFile()));
    bool execMatches = false;
    bool typeListed = false;
    for (std::string line; std::getline(desktop, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Exec=", 0) == 0) execMatches = line == ExecLine();
        if (line.rfind("MimeType=", 0) == 0) typeListed = line.find(MimeType) != std::string::npos;
    }
    return execMatches && typeListed;
}

void FileTypeLink::RefreshCaches() const {
    RunIfPresent("update-mime-database", (dataHome_ / "mime").string());
    RunIfPresent("update-desktop-database", (dataHome_ / "applications").string());
}

} // namespace kreisel

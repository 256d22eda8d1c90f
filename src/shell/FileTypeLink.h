// The link between session files (*.lps) and the program on a Linux desktop: a shared-mime-info
// type application/x-kreisel-session and a desktop entry that opens such files with this
// program, both installed for the user under $XDG_DATA_HOME (default ~/.local/share). A double
// click on a session file then starts the program with the file as its first argument.
#pragma once

#include <filesystem>
#include <string>

namespace kreisel {

class FileTypeLink {
  public:
    static constexpr const char* MimeType = "application/x-kreisel-session";

    // `dataHome` as DataHome() gives it; `program` the program file's full path.
    FileTypeLink(std::filesystem::path dataHome, std::filesystem::path program);

    // $XDG_DATA_HOME when set to an absolute path, else $HOME/.local/share.
    static std::filesystem::path DataHome();

    std::filesystem::path DesktopFile() const; // applications/kreisel-session.desktop
    std::filesystem::path MimeFile() const;    // mime/packages/kreisel.xml

    // Installs both files and refreshes the desktop's caches (when their tools exist). False
    // with a German message in `error` when a file could not be written.
    bool Register(std::string* error);
    // Removes both files; nothing there is no error.
    bool Unregister(std::string* error);
    // Both files exist and the desktop entry opens files with this very program.
    bool IsRegistered() const;

    // The Exec line of the desktop entry: the program quoted as desktop entries want it, then
    // the file.
    std::string ExecLine() const;

  private:
    void RefreshCaches() const;

    std::filesystem::path dataHome_;
    std::filesystem::path program_;
};

} // namespace kreisel

// Ini files: tolerant parsing, case-insensitive lookup, and saving that never leaves a half-written
// file behind.
#include "core/IniFile.h"

#include "core/Encoding.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kreisel {

std::string FileErrorText(int error) {
    switch (error) {
    case ENOENT:
        return "nicht vorhanden";
    case ENOTDIR:
        return "Ordner nicht vorhanden";
    case EACCES:
    case EPERM:
        return "keine Berechtigung";
    case ENOSPC:
    case EDQUOT:
        return "Datenträger voll";
    case EFBIG:
        return "Datei zu groß";
    case EROFS:
        return "Datenträger schreibgeschützt";
    case EISDIR:
        return "ist ein Ordner";
    case EIO:
        return "Ein-/Ausgabefehler";
    default:
        return "Fehler " + std::to_string(error) + " (" + std::generic_category().message(error) + ")";
    }
}

namespace {

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::optional<int> ParseInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    long long magnitude = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && FoldCase(c) >= 'a' && FoldCase(c) <= 'f') {
            digit = FoldCase(c) - 'a' + 10;
        } else {
            return std::nullopt;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

std::string WriteError(const std::filesystem::path& path, int error) {
    return "Datei \"" + path.string() + "\" kann nicht geschrieben werden: " + FileErrorText(error);
}

// A name for the temporary file that no other save, in this process or another, is using.
std::string TemporarySuffix() {
    static std::atomic<unsigned> counter{0};
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(static_cast<unsigned long long>(ticks) % 1000000007ULL);
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

IniFile IniFile::FromText(std::string_view bytes) {
    IniFile ini;
    const std::string text = DecodeTextFile(bytes);
    std::size_t start = 0;
    while (start < text.size()) {
        // Lines end with CRLF, LF or a lone CR.
        std::size_t end = text.find_first_of("\r\n", start);
        std::size_t next = end;
        if (end == std::string::npos) {
            end = next = text.size();
        } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        const std::string line = text.substr(start, end - start);
        start = next;

        const std::string_view trimmed = Trim(line);
        if (!trimmed.empty() && trimmed[0] == '[') {
            const std::size_t close = trimmed.find(']');
            Section section;
            section.name =
                std::string(Trim(trimmed.substr(1, close == std::string_view::npos ? close : close - 1)));
            section.header = line;
            ini.sections_.push_back(std::move(section));
            continue;
        }
        if (ini.sections_.empty()) {
            Section preamble;
            preamble.hasHeader = false;
            ini.sections_.push_back(std::move(preamble));
        }
        Line entry;
        entry.text = line;
        const std::size_t equals = trimmed.find('=');
        if (!trimmed.empty() && trimmed[0] != ';' && equals != std::string_view::npos) {
            entry.key = std::string(Trim(trimmed.substr(0, equals)));
            if (!entry.key.empty()) entry.value = std::string(Trim(trimmed.substr(equals + 1)));
        }
        ini.sections_.back().lines.push_back(std::move(entry));
    }
    return ini;
}

IniFile::LoadResult IniFile::Load(const std::filesystem::path& path, std::string* error) {
    sections_.clear();
    auto fail = [&](int code) {
        if (error) *error = "Datei \"" + path.string() + "\" kann nicht gelesen werden: " + FileErrorText(code);
        return LoadResult::Failed;
    };
    // Non-blocking so that a FIFO in place of the file cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return LoadResult::Missing;
        return fail(errno);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int code = errno;
        ::close(fd);
        return fail(code);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        if (S_ISDIR(info.st_mode)) return fail(EISDIR);
        if (error) *error = "Datei \"" + path.string() + "\" kann nicht gelesen werden: keine normale Datei";
        return LoadResult::Failed;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(fd);
            return fail(code);
        }
        if (count == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    *this = FromText(bytes);
    return LoadResult::Loaded;
}

bool IniFile::Save(const std::filesystem::path& path, std::string* error) const {
    namespace fs = std::filesystem;
    // Saving through a symbolic link replaces the file it points to and keeps the link.
    fs::path target = path;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::path resolved = fs::canonical(path, ec);
        if (!ec) target = std::move(resolved);
    }

    // What stands under the name is replaced only when it is a file the user may write: a
    // read-only file is kept, and a device or pipe is never turned into a file.
    struct stat present {};
    if (::stat(target.c_str(), &present) == 0) {
        const char* refusal = nullptr;
        if (!S_ISREG(present.st_mode))
            refusal = S_ISDIR(present.st_mode) ? "ist ein Ordner" : "keine normale Datei";
        else if ((present.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
            refusal = "schreibgeschützt";
        if (refusal != nullptr) {
            if (error) *error = "Datei \"" + path.string() + "\" kann nicht geschrieben werden: " + refusal;
            return false;
        }
    }

    int fd = -1;
    std::string temporary;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target.string() + TemporarySuffix();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        if (error) *error = WriteError(path, errno);
        return false;
    }

    int code = 0;
    // A rewritten file keeps the permissions of the old one.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) (void)::fchmod(fd, old.st_mode & 07777);
    if (!WriteAll(fd, Text()) || ::fsync(fd) != 0) code = errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) code = errno;
    if (code != 0) {
        ::unlink(temporary.c_str());
        if (error) *error = WriteError(path, code);
        return false;
    }
    // Make the rename itself durable; some file systems cannot sync a folder, which is harmless.
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::string IniFile::Text() const {
    std::string text;
    for (const Section& section : sections_) {
        if (section.hasHeader) text += section.header + '\n';
        for (const Line& line : section.lines)
            text += line.text + '\n';
    }
    return text;
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
    for (Section& section : sections_) {
        if (section.hasHeader && EqualsNoCase(section.name, name)) return &section;
    }
    return nullptr;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
    return const_cast<IniFile*>(this)->FindSection(name);
}

const IniFile::Line* IniFile::FindLine(std::string_view section, std::string_view key) const {
    const Section* found = FindSection(section);
    if (!found) return nullptr;
    for (const Line& line : found->lines) {
        if (!line.key.empty() && EqualsNoCase(line.key, key)) return &line;
    }
    return nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const Line* line = FindLine(section, key);
    return std::string(line ? std::string_view(line->value) : defaultValue);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const Line* line = FindLine(section, key);
    if (!line) return defaultValue;
    return ParseInteger(line->value).value_or(defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    const Line* line = FindLine(section, key);
    if (!line) return defaultValue;
    const std::optional<int> value = ParseInteger(line->value);
    return value ? *value != 0 : defaultValue;
}

bool IniFile::WriteString(std::string_view rawSection, std::string_view rawKey, std::string_view rawValue) {
    // The file is UTF-8 throughout: one stray byte would make the next load read the whole file
    // as Windows-1252 and garble every other umlaut in it.
    const std::string sectionText = ToValidUtf8(rawSection);
    const std::string keyText = ToValidUtf8(rawKey);
    const std::string valueText = ToValidUtf8(rawValue);
    const std::string_view section = sectionText;
    const std::string_view key = keyText;
    const std::string_view value = valueText;
    const std::string_view trimmedKey = Trim(key);
    if (Trim(section).empty() || HasLineBreak(section) || section.find(']') != std::string_view::npos ||
        trimmedKey.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos ||
        trimmedKey[0] == ';' || trimmedKey[0] == '[' || HasLineBreak(value))
        return false;

    Section* target = FindSection(Trim(section));
    if (!target) {
        // New sections go to the end, set off from the text before by a blank line.
        if (!sections_.empty()) {
            Section& last = sections_.back();
            const bool endsBlank =
                last.lines.empty() ? !last.hasHeader : Trim(last.lines.back().text).empty();
            if (!endsBlank) last.lines.push_back(Line{});
        }
        Section added;
        added.name = std::string(Trim(section));
        added.header = "[" + added.name + "]";
        sections_.push_back(std::move(added));
        target = &sections_.back();
    }
    for (Line& line : target->lines) {
        if (!line.key.empty() && EqualsNoCase(line.key, trimmedKey)) {
            line.value = std::string(Trim(value));
            line.text = line.key + "=" + std::string(value);
            return true;
        }
    }
    // A new key follows the section's last non-blank line, before the blank lines that part it
    // from the next section.
    auto position = target->lines.end();
    while (position != target->lines.begin() && Trim(std::prev(position)->text).empty())
        --position;
    Line added;
    added.key = std::string(trimmedKey);
    added.value = std::string(Trim(value));
    added.text = added.key + "=" + std::string(value);
    target->lines.insert(position, std::move(added));
    return true;
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool IniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != nullptr;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
    return FindLine(section, key) != nullptr;
}

void IniFile::EraseSection(std::string_view section) {
    std::erase_if(sections_, [&](const Section& s) { return s.hasHeader && EqualsNoCase(s.name, section); });
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
    Section* found = FindSection(section);
    if (!found) return;
    std::erase_if(found->lines,
                  [&](const Line& line) { return !line.key.empty() && EqualsNoCase(line.key, key); });
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const Section& section : sections_) {
        if (section.hasHeader && FindSection(section.name) == &section) names.push_back(section.name);
    }
    return names;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    const Section* found = FindSection(section);
    if (!found) return keys;
    for (const Line& line : found->lines) {
        if (line.key.empty()) continue;
        bool seen = false;
        for (const std::string& key : keys)
            seen = seen || EqualsNoCase(key, line.key);
        if (!seen) keys.push_back(line.key);
    }
    return keys;
}

IniFile::LoadResult OpenIniFile(IniFile& ini, const std::filesystem::path& file, bool save, Dialogs& dialogs) {
    std::string error;
    const IniFile::LoadResult loaded = ini.Load(file, &error);
    if (loaded == IniFile::LoadResult::Failed)
        dialogs.ShowMessage(error);
    else if (!save && loaded == IniFile::LoadResult::Missing)
        dialogs.ShowMessage("Ini-Datei \"" + file.string() + "\" nicht gefunden!!");
    return loaded;
}

} // namespace kreisel

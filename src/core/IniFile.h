// Ini files in the manner of Windows private-profile files: the settings, key, mixer-set and
// components files of the looper. Sections and keys are found without regard to case; whatever
// the program does not know (other sections and keys, comments, their order) survives a rewrite.
#pragma once

#include "core/HostServices.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kreisel {

// A file error as a German text for messages ("Datenträger voll", "Datei zu groß").
std::string FileErrorText(int error);

class IniFile {
  public:
    enum class LoadResult {
        Loaded,  // the file was read
        Missing, // there is no such file: the caller's defaults apply
        Failed,  // the file exists but could not be read
    };

    IniFile() = default;

    // Parses file bytes (UTF-8, or Windows-1252 in older files; CRLF or LF).
    static IniFile FromText(std::string_view bytes);

    // Replaces the content by the file's. When the file is missing or unreadable the content is
    // empty afterwards, so every read returns its default; on Failed `error` (if given) gets a
    // German message. Keep a Failed file from being saved over if its content matters.
    LoadResult Load(const std::filesystem::path& path, std::string* error = nullptr);

    // Writes the content as UTF-8 with LF line ends. The text goes to a temporary file in the same
    // folder, is flushed to disk and then renamed over the old file, so the old file stays
    // complete until the new one is; on failure the old file is untouched, no temporary file is
    // left behind, false is returned and `error` (if given) gets a German message.
    bool Save(const std::filesystem::path& path, std::string* error = nullptr) const;

    // The file text that Save writes.
    std::string Text() const;

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Accepts blanks around an optional sign and decimal digits, or hex as "$FF" / "0xFF";
    // anything else, and numbers beyond the int range, give the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // Any integer other than 0 is true; a value that is no integer gives the default.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // Sets the value, adding the section at the end and the key at the end of its section when
    // they are missing. Returns false and changes nothing when the text cannot be stored: an empty
    // or line-breaking section or key, a section name with ']', a key with '=' or starting with
    // ';' or '[', or a value with a line break. Bytes that are not UTF-8 are stored as the
    // Windows-1252 characters they are, so that the file stays UTF-8.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, int value);
    bool WriteBool(std::string_view section, std::string_view key, bool value); // "1" / "0"

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view key);

    // Names as spelt in the file, in file order, each once.
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

  private:
    struct Line {
        std::string text;  // the line as it is written back
        std::string key;   // empty for comments, blank lines and lines without '='
        std::string value; // trimmed
    };
    struct Section {
        std::string name;
        bool hasHeader = true; // false for the lines before the first section
        std::string header;
        std::vector<Line> lines;
    };

    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;
    const Line* FindLine(std::string_view section, std::string_view key) const;

    std::vector<Section> sections_;
};

// Opens a settings-type file (settings, mixer set) for loading or saving through the windows'
// routines: an unreadable file is reported and gives Failed, so that it is neither applied nor
// saved over; a missing one is reported when loading as "Ini-Datei "…" nicht gefunden!!" and
// leaves `ini` empty, so every key keeps its present value.
IniFile::LoadResult OpenIniFile(IniFile& ini, const std::filesystem::path& file, bool save, Dialogs& dialogs);

} // namespace kreisel

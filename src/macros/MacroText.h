// The words of macro lines: normalising a line into its fields, the code part before "#", the
// synonym list that rewrites words before they are read, and the key names with their indexes
// (keys, press sequences and the platform's virtual key codes) shared with the key files.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kreisel {

constexpr int kMacroLines = 501;    // lines 0..500 have table entries
constexpr int kKeyCount = 101;      // key indexes 1..101
constexpr int kFirstSequenceKey = 72;
constexpr int kNoValue = -9999;

// The n-th field (from 1) of a text: tabs become blanks, runs of blanks one blank, the text is
// cut at the separator, one leading and one trailing blank are removed.
std::string GetField(std::string_view text, int n, std::string_view separator);

// The part of a line before "#", normalised; empty for comment and blank lines.
std::string CodePart(std::string_view line);

std::string UpperAscii(std::string_view text);

// Reads a whole decimal integer with optional "-"; false for anything else.
bool ReadInteger(std::string_view text, int& value);

// A text file's lines (UTF-8, or Windows-1252 for older files); false when it cannot be read.
bool ReadTextLines(const std::filesystem::path& file, std::vector<std::string>& lines);
bool WriteTextLines(const std::filesystem::path& file, const std::vector<std::string>& lines);

class SynonymList {
  public:
    // Loads the synonym file's code lines; a missing file keeps the list as it was.
    void Load(const std::filesystem::path& file);
    void SetLines(std::vector<std::string> lines);
    const std::vector<std::string>& Lines() const { return lines_; }

    // Single letters become their place in the alphabet ("B" -> "2"); otherwise the first line
    // that matches rewrites the word: "LEFT==RIGHT" for the whole word, "PRE*==NEW*" for a prefix.
    std::string Translate(const std::string& word) const;

  private:
    std::vector<std::string> lines_;
};

// A statement's six words (w1..w6, empty where the line has fewer) after upper-casing and
// translation; a synonym may expand into several words.
using MacroWords = std::array<std::string, 6>;
MacroWords SplitWords(std::string_view code, const SynonymList& synonyms);

// Key names: "Key_A" -> 38, "Key_F12" -> 12, "Key_HOME" -> 67, "KeySequ_122" -> 81; 0 invalid.
int KeyNameToIndex(std::string_view name);
std::string KeyIndexToName(int index);
int SequenceToNumber(std::string_view sequence); // "1"/"K" short, "2"/"L" long
std::string NumberToSequence(int number);
int VirtualKeyToIndex(int code); // -1 when the code names no key
int IndexToVirtualKey(int index); // -1 when no code gives the index

} // namespace kreisel

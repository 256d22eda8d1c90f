// Normalising macro lines, synonyms and key names.
#include "macros/MacroText.h"

#include "core/Encoding.h"
#include "core/Text.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

namespace kreisel {

namespace {

constexpr std::array<std::string_view, 8> kNamedKeys{"RETURN", "INSERT", "DELETE", "HOME",
                                                     "END",    "PAGEUP", "PAGEDOWN", "SPACE"};
constexpr std::array<int, 8> kNamedKeyCodes{13, 45, 46, 36, 35, 33, 34, 32};

std::string Normalise(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\t') c = ' ';
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

} // namespace

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string GetField(std::string_view text, int n, std::string_view separator) {
    std::string s = Normalise(text);
    for (int i = 1; i < n; ++i) {
        const std::size_t at = s.find(separator);
        if (at == std::string::npos) {
            s.clear();
            break;
        }
        s.erase(0, at + separator.size());
    }
    const std::size_t at = s.find(separator);
    if (at != std::string::npos) s.erase(at);
    if (!s.empty() && s.front() == ' ') s.erase(0, 1);
    if (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string CodePart(std::string_view line) {
    return GetField(line, 1, "#");
}

bool ReadInteger(std::string_view text, int& value) {
    if (text.empty()) return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    int v = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, v);
    if (ec != std::errc() || ptr != end) return false;
    value = v;
    return true;
}

bool ReadTextLines(const std::filesystem::path& file, std::vector<std::string>& lines) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    lines = SplitLines(DecodeTextFile(bytes));
    return true;
}

bool WriteTextLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines)
        out << line << '\n';
    out.flush();
    return static_cast<bool>(out);
}

void SynonymList::Load(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    if (ReadTextLines(file, lines)) SetLines(std::move(lines));
}

void SynonymList::SetLines(std::vector<std::string> lines) {
    lines_.clear();
    for (const std::string& line : lines) {
        std::string code = CodePart(line);
        if (!code.empty()) lines_.push_back(std::move(code));
    }
}

std::string SynonymList::Translate(const std::string& word) const {
    if (word.size() == 1 && word[0] >= 'A' && word[0] <= 'Z') return std::to_string(word[0] - 'A' + 1);
    for (const std::string& raw : lines_) {
        const std::string line = UpperAscii(CodePart(raw));
        const std::string left = GetField(line, 1, "==");
        const std::string right = GetField(line, 2, "==");
        const std::size_t star = line.find('*');
        if (star != std::string::npos) {
            const std::string prefix = left.substr(0, std::min(star, left.size()));
            if (word.compare(0, prefix.size(), prefix) == 0) {
                std::string result = right;
                const std::size_t rs = result.find('*');
                if (rs != std::string::npos) result.erase(rs, 1);
                return result + word.substr(prefix.size());
            }
        } else if (word == left) {
            return right;
        }
    }
    return word;
}

MacroWords SplitWords(std::string_view code, const SynonymList& synonyms) {
    const std::string upper = UpperAscii(code);
    std::string rebuilt;
    for (int i = 1; i <= 6; ++i) {
        if (i > 1) rebuilt += ' ';
        rebuilt += synonyms.Translate(GetField(upper, i, " "));
    }
    MacroWords words;
    for (int i = 0; i < 6; ++i)
        words[static_cast<std::size_t>(i)] = GetField(rebuilt, i + 1, " ");
    return words;
}

int SequenceToNumber(std::string_view sequence) {
    int v = 0;
    for (const char c : sequence) {
        if (c == '1' || c == 'K' || c == 'k') v = 2 * v + 1;
        if (c == '2' || c == 'L' || c == 'l') v = 2 * v + 2;
        if (v > 1000) return v; // far beyond any sequence; stops an overflow on long texts
    }
    return v;
}

std::string NumberToSequence(int number) {
    std::string s;
    while (number > 0) {
        s.insert(s.begin(), number % 2 == 1 ? '1' : '2');
        number = (number - 1) / 2;
    }
    return s;
}

int KeyNameToIndex(std::string_view name) {
    std::string rest = UpperAscii(name);
    if (const std::size_t at = rest.find("KEY"); at != std::string::npos) rest.erase(0, at + 3);
    if (!rest.empty() && rest.front() == '_') {
        rest.erase(0, 1);
        if (rest.size() == 1 && rest[0] >= '0' && rest[0] <= 'Z') return rest[0] - 27;
        for (std::size_t i = 0; i < kNamedKeys.size(); ++i)
            if (rest == kNamedKeys[i]) return 64 + static_cast<int>(i);
        if (rest.size() >= 2 && rest.front() == 'F') {
            const std::string digits = rest.substr(1, 2);
            int n = 0;
            if (ReadInteger(digits, n) && digits.front() != '-' && n >= 1 && n <= 20) return n;
        }
        return 0;
    }
    if (rest.compare(0, 5, "SEQU_") == 0) {
        const std::string_view seq = std::string_view(rest).substr(5);
        const bool clean = !seq.empty() && seq.size() <= 4 &&
                           std::all_of(seq.begin(), seq.end(), [](char c) { return c == '1' || c == '2' || c == 'K' || c == 'L'; });
        if (clean) return 71 + SequenceToNumber(seq);
    }
    return 0;
}

std::string KeyIndexToName(int index) {
    if (index >= 64 && index <= 71) return "Key_" + std::string(kNamedKeys[static_cast<std::size_t>(index - 64)]);
    if (index >= 1 && index <= 20) return "Key_F" + std::to_string(index);
    if (index >= kFirstSequenceKey && index <= kKeyCount) return "KeySequ_" + NumberToSequence(index - 71);
    if (index >= 21 && index < 64) return "Key_" + std::string(1, static_cast<char>(index + 27));
    return {};
}

int VirtualKeyToIndex(int code) {
    for (std::size_t i = 0; i < kNamedKeyCodes.size(); ++i)
        if (code == kNamedKeyCodes[i]) return 64 + static_cast<int>(i);
    if (code >= 112 && code <= 131) return code - 111;
    if (code >= 48 && code <= 90) return code - 27;
    return -1;
}

int IndexToVirtualKey(int index) {
    for (int code = 1; code <= 255; ++code)
        if (VirtualKeyToIndex(code) == index) return code;
    return -1;
}

} // namespace kreisel

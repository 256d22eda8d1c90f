// Text encodings of the looper's files: they are written in UTF-8, while older files written on
// Windows are Windows-1252 and must still be read with their umlauts.
#pragma once

#include <string>
#include <string_view>

namespace kreisel {

// True when text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Converts Windows-1252 text to UTF-8. The five bytes that code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number, so no byte
// is lost.
std::string Windows1252ToUtf8(std::string_view text);

// Text made valid UTF-8: well-formed sequences are kept, every other byte is read as
// Windows-1252.
std::string ToValidUtf8(std::string_view text);

// The text of a file's bytes: leading UTF-8 byte order marks are dropped; each line that is valid
// UTF-8 is kept as it is, any other line is read as Windows-1252.
std::string DecodeTextFile(std::string_view bytes);

} // namespace kreisel

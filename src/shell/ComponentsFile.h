// The components file: every window and named control with its caption and hint, one entry per
// line ("name;caption;hint;", components indented with " - "), the hint's long part as tab-led
// help lines. Written from the window models, it is the control file a user edits to rename
// captions and write mouse help, and the list of names that macros address.
#pragma once

#include "core/Form.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kreisel {

// Marks the program keeps inside a control's hint: the control's own name after the name mark,
// key prefixes in front of the key separator (tool-tip part) and the sequence separator
// (mouse-help part).
extern const std::string kHintNameMark;     // "\r\n$$"
extern const std::string kKeySeparator;     // "\r\n" + 33 "-" + "\r\n"
extern const std::string kSequenceSeparator; // "\r\n" + 37 "-" + "  \r\n"

// A hint as the components file writes it: without the name mark and the key prefixes.
std::string PlainHint(const std::string& hint);
// The help link of a text: up to 9 characters after "F1=", up to a carriage return, as a decimal
// number; 0 without one.
int HelpLinkOf(const std::string& text);

std::string ComponentsFileText(const FormRegistry& forms);

// The components file for the controls as they are now, keeping the captions, tool tips and
// mouse-help lines of an earlier file (`old`, its lines) for every control it names; controls
// new since then come with their built-in texts, entries of controls that are gone are left out.
std::string UpdatedComponentsFileText(const FormRegistry& forms, const std::vector<std::string>& old);

// The components listing of the macro window's "Save Controls": header, every window (a line of
// '#' before each) with its named controls sorted by name, one set of per-loop controls (slot 1),
// and the count at the end. Controls tagged -8888 are left out; -9999 are listed as "[dyn]".
std::string ComponentsListing(const FormRegistry& forms);

// Applies a control file's lines: captions (with `captions`, except "[dyn]" and tag -9999; not
// to sliders and number fields), hints made of the short hint, "|", the mouse-help lines and the
// name mark with the control's name, and help links ("F1=" in a help line). Controls tagged -8888
// are left alone. Names no window holds add one line each to `errors`; the count of errors is
// returned.
int ApplyComponentsList(FormRegistry& forms, const std::vector<std::string>& lines, bool captions,
                        std::vector<std::string>& errors);

// Writes the text atomically; false with a German message in `error` when it fails.
bool WriteComponentsFile(const FormRegistry& forms, const std::filesystem::path& file, std::string* error);
// Writes the given text as the components file, the same way (a temporary file renamed over it).
bool WriteComponentsText(const std::string& text, const std::filesystem::path& file, std::string* error);

} // namespace kreisel

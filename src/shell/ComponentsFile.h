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

std::string ComponentsFileText(const FormRegistry& forms);

// The components listing of the macro window's "Save Controls": header, every window (a line of
// '#' before each) with its named controls sorted by name, one set of per-loop controls (slot 1),
// and the count at the end. Controls tagged -8888 are left out; -9999 are listed as "[dyn]".
std::string ComponentsListing(const FormRegistry& forms);

// Applies a control file's lines: captions (with `captions`, except "[dyn]" and tag -9999),
// short hints and mouse-help lines. Names no window holds add one line each to `errors`; the
// count of errors is returned.
int ApplyComponentsList(FormRegistry& forms, const std::vector<std::string>& lines, bool captions,
                        std::vector<std::string>& errors);

// Writes the text atomically; false with a German message in `error` when it fails.
bool WriteComponentsFile(const FormRegistry& forms, const std::filesystem::path& file, std::string* error);

} // namespace kreisel

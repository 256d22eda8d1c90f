// The components file: every window and named control with its caption and hint, one entry per
// line ("name;caption;hint;", components indented with " - "), the hint's long part as tab-led
// help lines. Written from the window models, it is the control file a user edits to rename
// captions and write mouse help, and the list of names that macros address.
#pragma once

#include "core/Form.h"

#include <filesystem>
#include <string>

namespace kreisel {

std::string ComponentsFileText(const FormRegistry& forms);

// Writes the text atomically; false with a German message in `error` when it fails.
bool WriteComponentsFile(const FormRegistry& forms, const std::filesystem::path& file, std::string* error);

} // namespace kreisel

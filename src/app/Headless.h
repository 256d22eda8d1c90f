// The looper without windows: the whole core on the chosen device, a file from the command line
// loaded, its loops played, the output exported to a WAV file for a given time, then the end with
// exit code 0, or 1 with a German message when something failed.
#pragma once

#include "shell/CommandLine.h"
#include "shell/DataFolders.h"

#include <ostream>
#include <string>

namespace kreisel {

// Writes the components file of every window and control (names for macros, captions, hints).
int ExportControls(const std::string& file, std::ostream& err);
// Rewrites a components file for the controls as they are, keeping the texts it already has.
int UpdateControls(const std::string& file, std::ostream& err);

int RunHeadless(const CommandLine& commandLine, const DataFolders& folders, std::ostream& out, std::ostream& err);

} // namespace kreisel

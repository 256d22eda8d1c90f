// A fixture for runs without windows: a fresh data folder of its own and the run's output and
// error text.
#pragma once

#include "app/Headless.h"
#include "support/ScratchFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace kreisel {

class HeadlessRun : public ::testing::Test {
  protected:
    explicit HeadlessRun(const std::string& name) : scratch(name) { folders.program = folders.data = dir; }

    int Run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return RunHeadless(ParseCommandLine(args), folders, out, err);
    }

    test::ScratchFolder scratch;
    const std::filesystem::path dir = scratch.Dir();
    DataFolders folders;
    std::ostringstream out;
    std::ostringstream err;
};

} // namespace kreisel

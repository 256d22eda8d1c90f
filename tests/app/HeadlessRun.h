// A fixture for runs without windows: a fresh data folder of its own and the run's output and
// error text.
#pragma once

#include "app/Headless.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace kreisel {

class HeadlessRun : public ::testing::Test {
  protected:
    explicit HeadlessRun(const std::string& name) {
        dir = std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        folders.program = folders.data = dir;
    }
    ~HeadlessRun() override { std::filesystem::remove_all(dir); }

    int Run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return RunHeadless(ParseCommandLine(args), folders, out, err);
    }

    std::filesystem::path dir;
    DataFolders folders;
    std::ostringstream out;
    std::ostringstream err;
};

} // namespace kreisel

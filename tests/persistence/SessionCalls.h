// Session tests follow the settings file, the mixer set and the sound-card restart by their
// calls: each is logged as "save <file>", "load <file>" or "restart"; a saved settings file is a
// marker file, and loading one succeeds when it exists.
#pragma once

#include "persistence/Session.h"
#include "persistence/SoundFiles.h"

#include <string>
#include <vector>

namespace kreisel::test {

inline std::string SessionCall(const std::filesystem::path& file, bool save) {
    return std::string(save ? "save " : "load ") + file.filename().string();
}

inline void LogSessionCalls(Session& s, std::vector<std::string>& calls) {
    s.LoadSaveSettings = [&calls](const std::filesystem::path& file, bool save) {
        calls.push_back(SessionCall(file, save));
        if (save) WriteBytes(file.string(), "[Kreisel]\n");
        return save || std::filesystem::exists(file);
    };
    s.LoadSaveMixerSet = [&calls](const std::filesystem::path& file, bool save) {
        calls.push_back(SessionCall(file, save));
        return true;
    };
    s.RestartSoundCard = [&calls] { calls.push_back("restart"); };
}

} // namespace kreisel::test

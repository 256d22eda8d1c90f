// A started core with a scratch folder, loops imported from made-up audio, and the loop rows.
#pragma once

#include "persistence/SoundFiles.h"
#include "scenarios/Stage.h"

#include <map>
#include <set>

namespace kreisel::test {

class LoopStage : public Stage {
  protected:
    // A loop of `frames` stereo frames, never silent and different in every loop and frame.
    void AddLoop(int frames, int seed) {
        std::vector<int16_t> v;
        for (int i = 0; i < 2 * frames; ++i)
            v.push_back(static_cast<int16_t>((i * 37 + seed * 1013) % 30000 + 1000));
        WriteSound(in / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, v);
        ASSERT_EQ(core->Importer().ImportLoops({in / "in.wav"}), 1);
    }
    std::string Audio(int n) {
        const LoopSlot& s = E().Slots[static_cast<size_t>(n)];
        return std::string(reinterpret_cast<const char*>(s.Buffer.Data()),
                           static_cast<size_t>(s.LoopLenBytes));
    }
    Control& Mark(int n) { return *core->Loops().Rows.Mark[static_cast<size_t>(n)]; }
    Control& Play(int n) { return *core->Loops().Rows.Play[static_cast<size_t>(n)]; }
    // Every file of the folder with its bytes.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            files[entry.path().filename().string()] = ReadBytes(entry.path().string());
        return files;
    }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& [name, bytes] : Files())
            names.insert(name);
        return names;
    }

    ScratchFolder dir, in{"in"};
};

} // namespace kreisel::test

// Sessions: the settings file, the mixer set and one WAV file per recorded loop under one base
// name (Take.lps, Take.mix, Take_A1.wav, Take_B1.wav, ...). Loading replaces all recordings and
// numbers the loops group by group in the order of their names. Saving never destroys the
// previous save before the new one is complete: the loop files are written under temporary
// names first and only renamed over the old ones when every one of them was written.
#pragma once

#include "core/HostServices.h"
#include "engine/Engine.h"
#include "transport/LoopRowControls.h"
#include "transport/MainControls.h"
#include "transport/Transport.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kreisel {

class Session {
  public:
    Session(Engine& engine, Transport& transport, MainControls& controls, LoopRowControls& rows,
            Control& inputModeBox, Dialogs& dialogs);

    // What a session asks of the parts around it; each may be left empty. The settings and
    // mixer-set routines report their own problems and return false when a save failed.
    std::function<bool(const std::filesystem::path& file, bool save)> LoadSaveSettings;
    std::function<void()> ApplyAfterLoad;
    std::function<bool(const std::filesystem::path& file, bool save)> LoadSaveMixerSet; // whole set
    std::function<void()> RestartSoundCard;
    std::function<void(int loop)> DrawLoopGraph;
    std::function<void()> AdaptGraphs;
    // Writes one loop as a WAV file; WriteLoopWav unless replaced (tests make it fail).
    std::function<bool(int loop, const std::string& path, std::string* error)> WriteLoopFile;

    // Where bare file names are looked for.
    std::filesystem::path ProgramFolder;

    // Loads or saves the session `file`. Returns false when a save did not complete (reported
    // in German, with the files it left new and old) or when neither the settings file nor a
    // loop could be loaded.
    bool LoadSave(const std::filesystem::path& file, bool save);

    // The session file for a name as the user or the command line gives it: the program folder
    // in front of a relative name, ".lps" appended when it has no extension.
    static std::filesystem::path Complete(const std::filesystem::path& file,
                                          const std::filesystem::path& programFolder);
    // base + "_" + loop name + ".wav"; the base is the session file without its extension.
    static std::filesystem::path LoopFile(const std::filesystem::path& sessionFile,
                                          const std::string& loopName);

  private:
    bool Save(const std::filesystem::path& file);
    bool Load(const std::filesystem::path& file);
    void Wait(const std::string& text);

    Engine& e_;
    Transport& transport_;
    MainControls& c_;
    LoopRowControls& rows_;
    Control& inputModeBox_;
    Dialogs& dialogs_;
    // Loop files that the last load found and could not take (no slot, too long, damaged): their
    // audio is not in memory, so no save removes or overwrites them.
    std::set<std::filesystem::path> notLoaded_;
};

} // namespace kreisel

// Import of audio files as new loops: each chosen file becomes the next loop of the active group,
// numbered and named as a recorded loop would be, converted to the loop format of the current
// input mode and rate. Files that cannot be used are reported by name and skipped; the import
// ends at the last loop slot.
#pragma once

#include "core/HostServices.h"
#include "engine/Engine.h"
#include "transport/MainControls.h"
#include "transport/Transport.h"

#include <functional>
#include <string>
#include <vector>

namespace kreisel {

class WavImport {
  public:
    WavImport(Engine& engine, MainControls& controls, Transport& transport, Dialogs& dialogs);

    // What the loop mixer does for a new loop; each may be left empty.
    std::function<void(int loop)> DrawLoopGraph;
    std::function<void()> ArrangeRowsByGroup;

    // Stops the transport and imports the files in the given order. Returns the number of loops
    // made; the problems are shown together in one message at the end.
    int ImportLoops(const std::vector<std::string>& paths);

    // The last slot an import may fill: the loop count allowed by the settings.
    int LastSlot() const;

  private:
    Engine& e_;
    MainControls& c_;
    Transport& transport_;
    Dialogs& dialogs_;
};

} // namespace kreisel

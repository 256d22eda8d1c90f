// The macros' view of the looper: engine values read and written through the transport's
// operations, controls by name over every window, the loop names, the session load of
// LOAD_LOOPSET and the main window's displays.
#pragma once

#include "macros/MacroInterpreter.h"

#include <functional>

namespace kreisel {

class KreiselCore;

class MacroLink : public MacroHost {
  public:
    explicit MacroLink(KreiselCore& core) : core_(core) {}

    Control* FindControlByName(std::string_view name) override;
    std::optional<int> EngineValue(std::string_view word) override;
    bool SetEngineValue(std::string_view word, int v) override;
    int MaxLoopCount() override;
    int LoopCount() override;
    std::string LoopName(int slot) override;
    std::string MarkedLoopName() override;
    int ActiveGroupIdx() override;
    int TempoBPM() override;
    std::string ResolveFile(const std::string& name) override;
    bool ResetAll() override;
    void LoadSession(const std::string& file) override;
    void ShowStatus(const std::string& text) override;
    void ShowWaiting(bool waiting) override;
    void ResetKeyState() override;
    bool StopOnErrors() override;
    LastKeyState LastKey() override { return Key; }

    LastKeyState Key;
    // DISPLAY texts besides the status line (a run without windows prints them).
    std::function<void(const std::string&)> OnDisplay;

  private:
    void RequestGroup(int group);

    KreiselCore& core_;
};

} // namespace kreisel

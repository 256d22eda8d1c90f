// A macro interpreter on a small window of controls and a table of engine values, with the
// manual clock and scripted dialogs.
#pragma once

#include "core/Form.h"
#include "core/Text.h"
#include "macros/MacroInterpreter.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <map>

namespace kreisel::test {

class FakeMacroHost : public MacroHost {
  public:
    FormRegistry forms;
    std::map<std::string, int> engine{{"ACTGROUP", 1}, {"ACTSMPPOS", 0}, {"MAXSMPPOS", 0}, {"DORECORD", 0},
                                      {"DOPLAY", 0},   {"DOPAUSE", 0},   {"ACTLOOP", -1},  {"RECLOOP", -1},
                                      {"RECORDEDLOOP", -1}, {"MARKEDLOOP", 1}, {"MAXLOOP", 0}};
    std::vector<std::string> loopNames; // slot 1.. names of recorded loops
    int maxLoopCount = 8;
    int tempo = 120;
    bool stopOnErrors = true;
    bool resetAllAllowed = true;
    LastKeyState lastKey;
    std::vector<std::string> shown;   // DISPLAY texts
    std::vector<std::string> calls;   // SetEngineValue, ResetAll, LoadSession
    std::string folder = ".";

    Control* FindControlByName(std::string_view name) override { return forms.FindControlByName(name); }
    std::optional<int> EngineValue(std::string_view word) override {
        auto it = engine.find(std::string(word));
        if (it == engine.end()) return std::nullopt;
        return it->second;
    }
    bool SetEngineValue(std::string_view word, int v) override {
        calls.push_back(std::string(word) + "=" + std::to_string(v));
        engine[std::string(word)] = v;
        return true;
    }
    int MaxLoopCount() override { return maxLoopCount; }
    int LoopCount() override { return static_cast<int>(loopNames.size()); }
    std::string LoopName(int slot) override { return loopNames.at(static_cast<std::size_t>(slot - 1)); }
    std::string MarkedLoopName() override { return loopNames.empty() ? "A1" : loopNames.back(); }
    int ActiveGroupIdx() override { return engine["ACTGROUP"] - 1; }
    int TempoBPM() override { return tempo; }
    std::string ResolveFile(const std::string& name) override { return folder + "/" + name; }
    bool ResetAll() override {
        calls.push_back("ResetAll");
        return resetAllAllowed;
    }
    void LoadSession(const std::string& file) override { calls.push_back("LoadSession " + file); }
    void ShowStatus(const std::string& text) override { shown.push_back(text); }
    void ShowWaiting(bool) override {}
    void ResetKeyState() override {}
    bool StopOnErrors() override { return stopOnErrors; }
    LastKeyState LastKey() override { return lastKey; }
};

class MacroRig : public ::testing::Test {
  protected:
    MacroRig() : pump(clock, 10), window("FormKreisel"), macros(host, clock, pump, dialogs) {
        host.forms.Add(window);
    }

    // Starts the macros of a text whose lines are joined with '\n'.
    bool Start(const std::string& text) { return macros.StartMacros(SplitLines(text)); }

    ManualClock clock;
    ManualEventPump pump;
    ScriptedDialogs dialogs;
    FakeMacroHost host;
    Form window;
    MacroInterpreter macros;
};

} // namespace kreisel::test

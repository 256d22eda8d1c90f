// Engine values and displays for macros.
#include "shell/MacroLink.h"

#include "shell/KreiselCore.h"

#include <algorithm>

namespace kreisel {

Control* MacroLink::FindControlByName(std::string_view name) {
    return core_.Forms().FindControlByName(name);
}

std::optional<int> MacroLink::EngineValue(std::string_view word) {
    const Engine& e = core_.E();
    if (word == "ACTGROUP") return e.ActGroupIdx + 1;
    if (word == "ACTSMPPOS") return e.PlayPos;
    if (word == "MAXSMPPOS") return e.PlayLoopEnd;
    if (word == "DORECORD") return e.Recording ? 1 : 0;
    if (word == "DOPLAY") return e.Playing ? 1 : 0;
    if (word == "DOPAUSE") return e.Paused ? 1 : 0;
    if (word == "ACTLOOP" || word == "RECLOOP" || word == "RECORDEDLOOP") return e.RecLoopNr;
    if (word == "MARKEDLOOP") return e.NextToRecLoopNr;
    if (word == "MAXLOOP") return e.LoopCount;
    return std::nullopt;
}

// A group change as the group buttons make it, one step at a time, so that a running transport
// switches at the cycle end and a stopped one at once.
void MacroLink::RequestGroup(int group) {
    Engine& e = core_.E();
    TFormKreisel& m = core_.Main();
    for (int guard = 0; guard < 64 && e.ToGroupIdx != group; ++guard) {
        const int before = e.ToGroupIdx;
        (e.ToGroupIdx < group ? m.SBGroupNext : m.SBGroupBack).Click();
        if (e.ToGroupIdx == before) break;
    }
}

bool MacroLink::SetEngineValue(std::string_view word, int v) {
    Engine& e = core_.E();
    if (word == "ACTGROUP") {
        if (v >= 1 && v <= e.LastGroupIdx + 2) RequestGroup(v - 1);
    } else if (word == "ACTLOOP" || word == "RECLOOP") {
        // Only loops that exist: a slot without its group would be recorded outside every group.
        if (v >= 1 && v <= e.LoopCount) e.RecLoopNr = v;
    } else if (word == "MAXLOOP") {
        // Lowering only: a higher count would take in slots that hold no recording.
        e.LoopCount = std::clamp(v, 0, e.LoopCount);
    } else if (word == "ACTSMPPOS") {
        e.PlayPos = std::max(0, v);
    } else {
        return false;
    }
    return true;
}

int MacroLink::MaxLoopCount() {
    return core_.E().MaxLoopCount;
}
int MacroLink::LoopCount() {
    return core_.E().LoopCount;
}
std::string MacroLink::LoopName(int slot) {
    return core_.T().LoopName(slot);
}
std::string MacroLink::MarkedLoopName() {
    return core_.T().LoopName(core_.E().NextToRecLoopNr);
}
int MacroLink::ActiveGroupIdx() {
    return core_.E().ActGroupIdx;
}
int MacroLink::TempoBPM() {
    return core_.Metro().Tempo();
}

std::string MacroLink::ResolveFile(const std::string& name) {
    std::filesystem::path p(name);
    if (p.is_relative() && !core_.ProgramFolder.empty()) p = core_.ProgramFolder / p;
    return p.string();
}

bool MacroLink::ResetAll() {
    core_.Main().ButtonResetAll.Click();
    return core_.E().LoopCount == 0 && !core_.T().UnsavedRecordings;
}

void MacroLink::LoadSession(const std::string& file) {
    core_.LoadSaveSession(file, false);
}

void MacroLink::ShowStatus(const std::string& text) {
    core_.Main().LabelStatus.SetText(text);
    core_.Main().LabelStatus.SetFontColor(std::nullopt);
    if (OnDisplay) OnDisplay(text);
}

void MacroLink::ShowWaiting(bool waiting) {
    core_.Main().LabelMacroDisp.SetFontColor(waiting ? Colors::Red : Colors::Black);
}

void MacroLink::ResetKeyState() {
    core_.ResetKeyState();
}

bool MacroLink::StopOnErrors() {
    return core_.Main().CBShowMacrosErrors.Checked();
}

} // namespace kreisel

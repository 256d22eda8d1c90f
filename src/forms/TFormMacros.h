// The macro window's model ("Makro- und Tasten-Steuerung"): the macro editor, the buttons that
// start, stop, pause and reset the macros, load and save macro files, and the status panel with
// the export and import of the components listing. The interpreter lives here because the
// window owns the macro state for the whole run.
#pragma once

#include "core/Form.h"
#include "core/HostServices.h"
#include "macros/MacroInterpreter.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kreisel {

class FormRegistry;

class TFormMacros : public Form {
  public:
    TFormMacros(MacroHost& host, Clock& clock, EventPump& pump, Dialogs& dialogs, FormRegistry& forms);

    Control& MemoMacros;
    Control& ButtonStartStopMacros;
    Control& SBDoMacrosPause;
    Control& ButtonResetMacros;
    Control& ButtonLoadMacros;
    Control& ButtonSaveMacros;
    Control& ButtonSaveMacrosDefault;
    Control& LabelMacroStatus;
    Control& LabelDebug;
    // The status panel (shown with "_Debugging.txt" in the current folder).
    Control& PanelMacroStatus;
    Control& ButtonSaveControls;
    Control& ButtonLoadControls;
    Control& CBLoadCaptions;
    Control& MemoComps;
    Control& MemoCompsErrors;

    MacroInterpreter Interpreter;
    // "Load Controls" hands the file's lines to the help texts when they are there.
    std::function<void(const std::vector<std::string>& lines)> ApplyControlFile;

    // The editor's text at creation: the default macro file, or the built-in template when it
    // is missing or unreadable.
    // "als Standard speichern" writes DefaultMacroFile.
    std::filesystem::path DefaultMacroFile;
    void LoadDefaultMacros(const std::filesystem::path& file);
    static std::vector<std::string> TemplateText();

    // One handler for the three load and save buttons.
    void AnyLoadSaveClick(const Control& sender);
    // A click into the editor at a line: "(Z.n)".
    void MemoMacrosClick(int line);
    // The line being parsed or run, for highlighting; -1 when none.
    int RunningLine() const { return runningLine_; }

    // "Save Controls" and "Load Controls": the components listing as a control file.
    void ButtonSaveControlsClick();
    void ButtonLoadControlsClick();

  private:
    void SetButtons(bool active, bool running);
    bool AskOverwrite(const std::filesystem::path& file);

    Dialogs& dialogs_;
    FormRegistry& forms_;
    int runningLine_ = -1;
};

} // namespace kreisel

// Help texts and the mouse help. The components file gives every window and control its caption,
// tool tip, mouse-help lines and help link; building the help texts applies it, adds the keys of
// the key file to the tool tips of the controls they drive, and reports names no window has in
// the macro window's error text. The mouse-help window "Assistent (Maus-Hilfe)" shows the help of
// the control under the pointer, with Ctrl the names under which macros address it.
#pragma once

#include "forms/TFormLoops.h"
#include "forms/TFormMacros.h"
#include "forms/TFormMouseHelp.h"
#include "macros/KeyHandler.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kreisel {

class MouseHelp {
  public:
    static constexpr int DefaultHelpContext = 1000;
    static constexpr int MacroHelpContext = 1600;
    // How long a tool tip stays up.
    static constexpr int ToolTipMs = 30000;
    // Marks inside a hint: the control's own name follows NameMark; key prefixes stand before
    // the key separator (tool tip) and the sequence separator (mouse help).
    static const std::string& NameMark;
    static const std::string& KeySeparator;
    static const std::string& SequenceSeparator;

    MouseHelp(Form& main, FormRegistry& forms, TFormLoops& loops, TFormMacros& macros, const KeyHandler& keys,
              const SynonymList& synonyms);
    MouseHelp(const MouseHelp&) = delete;
    MouseHelp& operator=(const MouseHelp&) = delete;

    // The window; the core registers it after the other windows.
    TFormMouseHelp Window;
    // Menu entry "Assistent (Maus-Hilfe)" of the main window (F2), ticked by default.
    Control& MIMouseHelp;
    // The macro window's "Hilfe+Beispiele": the help on macros.
    Control& ButtonHelpMacros;
    // The help link of the control under the mouse pointer (F1 opens the help there).
    int HelpContextCurrent = DefaultHelpContext;

    // Reads the components file and builds the help texts from it; false when it cannot be read.
    bool LoadComponentsFile(const std::filesystem::path& file);
    // Applies a components list (start-up and the macro window's "Load Controls"); returns the
    // number of names no window has, which are listed in the macro window's error text.
    int BuildHelpTexts(const std::vector<std::string>& componentsList);

    // The application's hint event: the hint of the control under the pointer, with the
    // modifiers held. Sets HelpContextCurrent and, while the menu entry is ticked, the text of
    // the mouse-help window (Shift alone leaves it as it is).
    void DisplayHelp(const std::string& hint, bool ctrl, bool shift);

    // The menu entry's click and the state applied at the end of start-up: the window is shown
    // while the entry is ticked.
    void MIMouseHelpClick();
    void ApplyMouseHelpSetting();
    // The window's close box clears the check mark.
    void WindowClosed();

    // The view brings the window to the front (on top for a moment) and gives the main window
    // the focus back.
    std::function<void()> BringToFront;
    std::function<void()> FocusMain;
    // Opens the user guide at a help link.
    std::function<void(int helpContext)> OpenHelp;

    // The tool-tip part and the mouse-help part of a hint; the help link ("F1=") of a hint, 0
    // when it has none.
    static std::string ShortPart(const std::string& hint);
    static std::string LongPart(const std::string& hint);
    static int HelpLink(const std::string& text);

  private:
    void CopyPerLoopHints();
    void AddKeyHints();

    FormRegistry& forms_;
    TFormLoops& loops_;
    TFormMacros& macros_;
    const KeyHandler& keys_;
    const SynonymList& synonyms_;
};

} // namespace kreisel

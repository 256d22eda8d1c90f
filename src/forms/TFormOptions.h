// The options window's model and the main window's display and window switches (menus
// "Anzeigen" and "Fenster", the system tool bar). The option controls themselves belong to the
// windows whose behaviour they set; the options window only shows them on its pages, so this
// model holds the page switch and nothing else.
#pragma once

#include "core/Form.h"

#include <functional>
#include <string>

namespace kreisel {

class TFormOptions : public Form {
  public:
    // Pages in the order of the tabs.
    enum Page : int { PageRecording = 0, PageTempo, PageMixer, PageSoundCard, PageLatency, PageCount };

    TFormOptions();

    // The page on top: a combo box whose items are the page captions.
    Control& PageControlOptions;

    // Brings a page to the front when the options follow the user's actions
    // (CheckOptionsTabSheet); without the following switch it does nothing.
    void CheckOptionsTabSheet(int page);
    void SetFollowingSwitch(const Control* following) { following_ = following; }

  private:
    const Control* following_ = nullptr;
};

// Display options and window switches. They are controls of the main window's form (macros and
// the settings file reach them there); a control of the same name that the form already has is
// used as it is.
struct WindowSwitches {
    WindowSwitches(Form& main, FormRegistry& forms, TFormOptions& options);
    WindowSwitches(const WindowSwitches&) = delete;
    WindowSwitches& operator=(const WindowSwitches&) = delete;

    // Menu "Anzeigen"
    Control& PMShowSubControls;
    Control& PMShowAddedControls;
    Control& PMShowOtherDisplays;
    Control& PMShowAddedDisplays;
    Control& PMControlsShowLabels;
    Control& PMControlsAutoSize;
    Control& PMControlsStayOnTop;
    Control& PMLoopsStayOnTop;
    Control& PMFadersStayOnTop;
    Control& PMOptionsStayOnTop;
    Control& PMOptionsFollowing;
    Control& PMAutoSavePreferences;
    Control& PMAndSaveMixers;
    Control& PMDebugMode;
    // The sound-card counters in the main window, shown in debug mode.
    Control& PanelSKCounters;

    // Window switches: tool button and menu entry of the menu "Fenster"
    Control& ToolShowLoops;
    Control& PMShowLoops;
    Control& ToolShowFaders;
    Control& PMShowFaders;
    Control& ToolShowOptions;
    Control& PMShowOptions;
    Control& SpeedButtonSoundkarte;
    Control& ToolShowMixers;
    // The macros and keys window: tool button, menu entry and the speed button SBShowMacros.
    Control& ToolShowMacrosKeys;
    Control& PMShowMacrosKeys;

    // Display sizes
    Control& TBProgressBarSize;
    Control& LabelProgressBarSize;
    Control& TBScrollStepsPerMixer;
    Control& LabelScrollStepsPerMixer;

    // The windows the switches show, by form name.
    static constexpr const char* LoopsForm = "FormLoops";
    static constexpr const char* FadersForm = "FormFaders";
    static constexpr const char* OptionsForm = "FormOptions";
    static constexpr const char* SoundCardForm = "FormThreadSK";
    static constexpr const char* MacrosForm = "FormMacros";

    // Scroll steps per mixer row from the slider (0: the mixer does not scroll by itself).
    int ScrollStepsPerMixer() const { return scrollSteps_; }
    // Shows or hides a window through its switch, as a click on the tool button does (the close
    // box of a window runs this with false).
    void ShowWindow(const std::string& formName, bool show);

    // Hooks: the transport display after a window switch (UpdateControls); the settings file
    // when "Allgemeine Einstellungen bei Beenden immer speichern" changes; the loop mixer when
    // its scroll step changes.
    std::function<void()> UpdateControls;
    std::function<void(bool on)> AutoSavePreferencesChanged;
    std::function<void(int steps)> ScrollStepsChanged;
    // The system decimal separator of the percent label.
    char DecimalSeparator = '.';

  private:
    void ToolShowingsClick(Control& sender);
    void OtherControlsClick(Control& sender);
    void TBProgressBarSizeChange();
    void TBScrollStepsPerMixerChange();

    FormRegistry& forms_;
    TFormOptions& options_;
    int scrollSteps_ = 1;
    Control* mixersMirror_ = nullptr;
    Control* fadersMirror_ = nullptr;
    Control* macrosSpeed_ = nullptr;
};

} // namespace kreisel

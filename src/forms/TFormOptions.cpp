// The options window's page switch; the display options and window switches of the main window.
#include "forms/TFormOptions.h"

#include "core/Text.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace kreisel {

namespace {

Control& FindOrAdd(Form& f, const char* name, ControlKind kind) {
    Control* c = f.Find(name);
    return c != nullptr ? *c : f.Add(name, kind);
}

Control& Menu(Form& f, const char* name, const char* caption, bool checked) {
    const bool existed = f.Find(name) != nullptr;
    Control& c = FindOrAdd(f, name, ControlKind::MenuEntry);
    if (!existed) {
        c.SetText(caption);
        c.SetAutoCheck(true);
        c.SetChecked(checked);
    }
    return c;
}

Control& Switch(Form& f, const char* name, const char* caption, const char* hint = "") {
    const bool existed = f.Find(name) != nullptr;
    Control& c = FindOrAdd(f, name, ControlKind::SwitchButton);
    if (!existed) {
        c.SetText(caption);
        c.SetHint(hint);
    }
    return c;
}

Control& Slider(Form& f, const char* name, int min, int max, int position) {
    const bool existed = f.Find(name) != nullptr;
    Control& c = FindOrAdd(f, name, ControlKind::Slider);
    if (!existed) {
        c.SetRange(min, max);
        c.SetPosition(position);
    }
    return c;
}

Control& Label(Form& f, const char* name) {
    return FindOrAdd(f, name, ControlKind::Label);
}

} // namespace

TFormOptions::TFormOptions()
    : Form("FormOptions", "Optionen"), PageControlOptions(Add("PageControlOptions", ControlKind::ComboBox)) {
    PageControlOptions.SetItems({"Aufnahme", "Metronom / Tap", "Mixer", "Sound-Karte", "Latenz"});
    PageControlOptions.SetItemIndex(PageRecording);
}

void TFormOptions::CheckOptionsTabSheet(int page) {
    if (following_ == nullptr || !following_->Checked()) return;
    PageControlOptions.SetItemIndex(page);
}

WindowSwitches::WindowSwitches(Form& m, FormRegistry& forms, TFormOptions& options)
    : PMShowSubControls(Menu(m, "PMShowSubControls", "Systemleiste", true)),
      PMShowAddedControls(Menu(m, "PMShowAddedControls", "Schalterleiste", true)),
      PMShowOtherDisplays(Menu(m, "PMShowOtherDisplays", "Loop-Position/Zeit", true)),
      PMShowAddedDisplays(Menu(m, "PMShowAddedDisplays", "Weitere Loop-Informationen", true)),
      PMControlsShowLabels(Menu(m, "PMControlsShowLabels", "Labels in Hauptfenster anzeigen", true)),
      PMControlsAutoSize(Menu(m, "PMControlsAutoSize", "Breite der Bedienelemente anpassen", true)),
      PMControlsStayOnTop(Menu(m, "PMControlsStayOnTop", "Hauptfenster immer im Vordergrund", false)),
      PMLoopsStayOnTop(Menu(m, "PMLoopsStayOnTop", "Loop-Fenster immer im Vordergrund", false)),
      PMFadersStayOnTop(Menu(m, "PMFadersStayOnTop", "Haupt-Regler immer im Vordergrund", false)),
      PMOptionsStayOnTop(Menu(m, "PMOptionsStayOnTop", "Optionen immer im Vordergrund", false)),
      PMOptionsFollowing(Menu(m, "PMOptionsFollowing", "Optionen folgen automatisch", false)),
      PMAutoSavePreferences(
          Menu(m, "PMAutoSavePreferences", "Allgemeine Einstellungen bei Beenden immer speichern", false)),
      PMAndSaveMixers(Menu(m, "PMAndSaveMixers", "Mixer-Einstellungen immer mitspeichern", false)),
      PMDebugMode(Menu(m, "PMDebugMode", "Debug-Mode", false)),
      PanelSKCounters(FindOrAdd(m, "PanelSKCounters", ControlKind::Panel)),
      ToolShowLoops(Switch(m, "ToolShowLoops", "Loops", "Loop-Fenster anzeigen")),
      PMShowLoops(Menu(m, "PMShowLoops", "Loops", false)),
      ToolShowFaders(Switch(m, "ToolShowFaders", "Regler", "Haupt-Regler anzeigen")),
      PMShowFaders(Menu(m, "PMShowFaders", "Haupt-Regler", false)),
      ToolShowOptions(Switch(m, "ToolShowOptions", "Optionen", "Optionen anzeigen")),
      PMShowOptions(Menu(m, "PMShowOptions", "Optionen", false)),
      SpeedButtonSoundkarte(Switch(m, "SpeedButtonSoundkarte", "Soundkarte", "Sound-Karte - Spezielles ...")),
      ToolShowMixers(Switch(m, "ToolShowMixers", "Mixer", "Alle Mixer anzeigen")),
      ToolShowMacrosKeys(Switch(m, "ToolShowMacrosKeys", "Makros", "Makro- und Tasten-Steuerung anzeigen")),
      PMShowMacrosKeys(Menu(m, "PMShowMacrosKeys", "Makros und Tasten", false)),
      TBProgressBarSize(Slider(m, "TBProgressBarSize", 4, 100, 20)),
      LabelProgressBarSize(Label(m, "LabelProgressBarSize")),
      TBScrollStepsPerMixer(Slider(m, "TBScrollStepsPerMixer", 1, 6, 6)),
      LabelScrollStepsPerMixer(Label(m, "LabelScrollStepsPerMixer")), forms_(forms), options_(options) {
    options.SetFollowingSwitch(&PMOptionsFollowing);
    macrosSpeed_ = m.Find("SBShowMacros");
    if (macrosSpeed_ != nullptr) macrosSpeed_->SetOnClick([this](Control& sender) { OtherControlsClick(sender); });

    for (Control* c : {&PMShowSubControls, &PMShowAddedControls, &PMShowOtherDisplays, &PMShowAddedDisplays,
                       &PMControlsShowLabels, &PMControlsAutoSize, &PMControlsStayOnTop, &PMLoopsStayOnTop,
                       &PMFadersStayOnTop, &PMOptionsStayOnTop, &PMOptionsFollowing, &PMAutoSavePreferences,
                       &PMAndSaveMixers, &PMDebugMode})
        c->SetOnClick([this](Control& sender) { ToolShowingsClick(sender); });
    for (Control* c : {&ToolShowLoops, &PMShowLoops, &ToolShowFaders, &PMShowFaders, &ToolShowOptions,
                       &PMShowOptions, &SpeedButtonSoundkarte, &ToolShowMixers, &ToolShowMacrosKeys,
                       &PMShowMacrosKeys})
        c->SetOnClick([this](Control& sender) { OtherControlsClick(sender); });
    TBProgressBarSize.SetOnChange([this](Control&) { TBProgressBarSizeChange(); });
    TBScrollStepsPerMixer.SetOnChange([this](Control&) { TBScrollStepsPerMixerChange(); });

    // The loop mixer's own "Alle Mixer anzeigen" and "Faders" only forward to these switches.
    if (Form* loops = forms.FindForm(LoopsForm)) {
        mixersMirror_ = loops->Find("SBMixers");
        fadersMirror_ = loops->Find("SBFaders");
        for (const auto& [mirror, switchTo] :
             {std::pair{mixersMirror_, &ToolShowMixers}, std::pair{fadersMirror_, &ToolShowFaders}}) {
            // Captured through a plain variable: clang 14 cannot capture a structured binding.
            Control* target = switchTo;
            if (mirror != nullptr)
                mirror->SetOnClick([target](Control& sender) {
                    if (target->Down() != sender.Down()) target->SetDown(sender.Down());
                    target->Click();
                });
        }
    }

    ToolShowingsClick(PMShowSubControls);
    TBProgressBarSizeChange();
    TBScrollStepsPerMixerChange();
}

void WindowSwitches::ToolShowingsClick(Control& sender) {
    // The effects on tool bars, panels and window flags are the views'; they follow the ticks.
    PMShowOtherDisplays.SetEnabled(PMShowAddedControls.Checked());
    PMControlsAutoSize.SetEnabled(PMControlsShowLabels.Checked());
    PMAndSaveMixers.SetEnabled(PMAutoSavePreferences.Checked());
    PanelSKCounters.SetVisible(PMDebugMode.Checked());
    if (&sender == &PMAutoSavePreferences && AutoSavePreferencesChanged)
        AutoSavePreferencesChanged(PMAutoSavePreferences.Checked());
}

void WindowSwitches::OtherControlsClick(Control& sender) {
    struct Pair {
        Control* tool;
        Control* menu;
        Control* speed;
        const char* form;
        int page;
    };
    const std::array<Pair, 6> pairs{{
        {&ToolShowLoops, &PMShowLoops, nullptr, LoopsForm, TFormOptions::PageMixer},
        {&ToolShowFaders, &PMShowFaders, nullptr, FadersForm, TFormOptions::PageMixer},
        {&ToolShowOptions, &PMShowOptions, nullptr, OptionsForm, -1},
        {&SpeedButtonSoundkarte, nullptr, nullptr, SoundCardForm, TFormOptions::PageSoundCard},
        {&ToolShowMixers, nullptr, nullptr, nullptr, TFormOptions::PageMixer},
        {&ToolShowMacrosKeys, &PMShowMacrosKeys, macrosSpeed_, MacrosForm, -1},
    }};
    for (const Pair& p : pairs) {
        if (&sender != p.tool && &sender != p.menu && (p.speed == nullptr || &sender != p.speed)) continue;
        const bool shown = sender.Down();
        for (Control* partner : {p.tool, p.menu, p.speed})
            if (partner != nullptr && partner != &sender) {
                SuppressActions quiet(*partner);
                partner->SetDown(shown);
            }
        if (p.form != nullptr)
            if (Form* f = forms_.FindForm(p.form)) f->SetVisible(shown);
        Control* mirror = p.tool == &ToolShowMixers   ? mixersMirror_
                          : p.tool == &ToolShowFaders ? fadersMirror_
                                                      : nullptr;
        if (mirror != nullptr && mirror != &sender) {
            SuppressActions quiet(*mirror);
            mirror->SetDown(shown);
        }
        // The mixers inside the main window come with the loop mixer window.
        if (&sender == &ToolShowMixers && shown && !ToolShowLoops.Down()) ShowWindow(LoopsForm, true);
        if (shown && p.page >= 0) options_.CheckOptionsTabSheet(p.page);
        break;
    }
    if (UpdateControls) UpdateControls();
}

void WindowSwitches::ShowWindow(const std::string& formName, bool show) {
    Control* tool = nullptr;
    if (formName == LoopsForm) tool = &ToolShowLoops;
    if (formName == FadersForm) tool = &ToolShowFaders;
    if (formName == OptionsForm) tool = &ToolShowOptions;
    if (formName == SoundCardForm) tool = &SpeedButtonSoundkarte;
    if (formName == MacrosForm) tool = &ToolShowMacrosKeys;
    if (tool == nullptr || tool->Down() == show) return;
    tool->SetDown(show);
    tool->Click();
}

void WindowSwitches::TBProgressBarSizeChange() {
    LabelProgressBarSize.SetText(std::to_string(TBProgressBarSize.Position()) + " Px.");
}

void WindowSwitches::TBScrollStepsPerMixerChange() {
    static constexpr std::array<int, 7> kSteps{0, 0, 16, 8, 4, 2, 1};
    const int p = TBScrollStepsPerMixer.Position();
    scrollSteps_ = p <= 1 ? 0 : kSteps[static_cast<std::size_t>(std::min(p, 6))];
    if (scrollSteps_ == 0)
        LabelScrollStepsPerMixer.SetText("AUS");
    else
        LabelScrollStepsPerMixer.SetText(
            FormatFloat("0.##", (10000 / scrollSteps_) / 100.0, DecimalSeparator) + " %");
    if (ScrollStepsChanged) ScrollStepsChanged(scrollSteps_);
}

} // namespace kreisel

// Creation of the loop mixer's controls with their captions, ranges and start positions, and
// the renaming of a row when its loop gets a name.
#include "mixer/MixerControls.h"

#include <algorithm>

namespace kreisel {

namespace {

Control& Make(Form& f, const std::string& name, ControlKind kind, const char* caption = "",
              const char* hint = "") {
    Control& c = f.Add(name, kind);
    c.SetText(caption);
    c.SetHint(hint);
    return c;
}

Control& RowSlider(Form& f, const std::string& name, Orientation o, int position, int row) {
    Control& c = f.Add(name, ControlKind::Slider);
    c.SetOrientation(o);
    c.SetRange(0, 16);
    c.SetPosition(position);
    c.SetTag(row);
    return c;
}

constexpr Rgb kInputRowGreen{0, 128, 0};

} // namespace

MixerControls::MixerControls(Form& form)
    : Owner(form), PanelMixers(Make(form, "PanelMixers", ControlKind::Panel)),
      ScrollBarLoops(Make(form, "ScrollBarLoops", ControlKind::Slider)),
      LabelChanges(Make(form, "LabelChanges", ControlKind::Label)),
      LabelInputMode(Make(form, "LabelInputMode", ControlKind::Label, "Input-Mode:")),
      ComboBoxInputMode(Make(form, "ComboBoxInputMode", ControlKind::ComboBox)),
      CBMixSymm(Make(form, "CBMixSymm", ControlKind::CheckBox, "Locked (symm. regeln)")),
      CBInputMixer(Make(form, "CBInputMixer", ControlKind::CheckBox, "In-to-Out - Mixer zeigen")),
      SBShowPresetControls(Make(form, "SBShowPresetControls", ControlKind::SwitchButton, "Presets anzeigen")),
      SBMixers(Make(form, "SBMixers", ControlKind::SwitchButton, "Alle Mixer anzeigen")),
      SBFaders(Make(form, "SBFaders", ControlKind::SwitchButton, "Faders")),
      SBAllowMultipleLoopLength(
          Make(form, "SBAllowMultipleLoopLength", ControlKind::SwitchButton, "", "multiple Loop-Längen")),
      PanelPresets(Make(form, "PanelPresets", ControlKind::Panel)),
      SBAllLoopsMarked(Make(form, "SBAllLoopsMarked", ControlKind::SwitchButton, "ABC",
                            "alle übernehmen an Loopende, sofort mit DoppelKlick")),
      ButtonAllLoopsOn(Make(form, "ButtonAllLoopsOn", ControlKind::Button, "ein")),
      ButtonAllLoopsOff(Make(form, "ButtonAllLoopsOff", ControlKind::Button, "aus")),
      ButtonAllLoopsInv(Make(form, "ButtonAllLoopsInv", ControlKind::Button, "invers")),
      ButtonLeftsOn(Make(form, "ButtonLeftsOn", ControlKind::Button, "L")),
      ButtonRightsOn(Make(form, "ButtonRightsOn", ControlKind::Button, "R")),
      ButtonLeftsOff(Make(form, "ButtonLeftsOff", ControlKind::Button, "L")),
      ButtonRightsOff(Make(form, "ButtonRightsOff", ControlKind::Button, "R")),
      ButtonOn(Make(form, "ButtonOn", ControlKind::Button, "ein")),
      ButtonOff(Make(form, "ButtonOff", ControlKind::Button, "aus")),
      ButtonSetFromMixFile(Make(form, "ButtonSetFromMixFile", ControlKind::Button, "Startwerte")),
      ButtonSetDefault(Make(form, "ButtonSetDefault", ControlKind::Button, "L <--   --> R")),
      ButtonSetInvers(Make(form, "ButtonSetInvers", ControlKind::Button, "R <- x -> L")),
      ButtonSetMono(Make(form, "ButtonSetMono", ControlKind::Button, "Mitte")),
      ButtonSetLeft(Make(form, "ButtonSetLeft", ControlKind::Button, "alles links")),
      ButtonSetRight(Make(form, "ButtonSetRight", ControlKind::Button, "alles rechts")),
      ButtonSetEqual1(Make(form, "ButtonSetEqual1", ControlKind::Button, "wie Nr.1")),
      ButtonLoadSet(Make(form, "ButtonLoadSet", ControlKind::Button, "Set laden")),
      ButtonSaveSet(Make(form, "ButtonSaveSet", ControlKind::Button, "Set speichern")) {
    ScrollBarLoops.SetOrientation(Orientation::Vertical);
    ScrollBarLoops.SetRange(1, 1);
    std::vector<std::string> modes(InputModeNames.begin(), InputModeNames.end());
    ComboBoxInputMode.SetItems(std::move(modes));
    ComboBoxInputMode.SetItemIndex(0);
    CBInputMixer.SetChecked(true);
    // Only shown when the program's folder holds the marker file for it.
    SBAllowMultipleLoopLength.SetVisible(false);
    PanelPresets.SetVisible(false);
    ButtonLoadSet.SetVisible(false);
    ButtonSaveSet.SetVisible(false);
    SBAllLoopsMarked.SetAllowAllUp(true);

    for (int n = 0; n <= LoopSlotCapacity; ++n) {
        MixerRowControls& r = MixerRows[static_cast<size_t>(n)];
        const std::string num = std::to_string(n);
        suffix_[static_cast<size_t>(n)] = num;
        r.Panel = &form.Add("", ControlKind::Panel);
        r.Marker = &Make(form, "SBLoopMarker_" + num, ControlKind::SwitchButton);
        r.Marker->SetText(n == 0 ? "Inp" : num + ":");
        r.Play = &Make(form, "SBLoop_" + num, ControlKind::SwitchButton);
        r.AmpLeft = &RowSlider(form, "TBAmpLeft_" + num, Orientation::Vertical, 4, n);
        r.AmpRight = &RowSlider(form, "TBAmpRight_" + num, Orientation::Vertical, 4, n);
        r.LabelAmp = &Make(form, "", ControlKind::Label, "L              R");
        r.PanLeft = &RowSlider(form, "TBPanLeft_" + num, Orientation::Horizontal, 0, n);
        r.PanRight = &RowSlider(form, "TBPanRight_" + num, Orientation::Horizontal, 16, n);
        r.LabelPanLeft = &Make(form, "", ControlKind::Label, "L    < L >    R");
        r.LabelPanRight = &Make(form, "", ControlKind::Label, "L    < R >    R");
        r.Graph = &Make(form, "PBGraph_" + num, ControlKind::PaintBox);
        for (Control* c : {r.Panel, r.Marker, r.Play, r.LabelAmp, r.LabelPanLeft, r.LabelPanRight, r.Graph})
            c->SetTag(n);
        if (n == 0) {
            // The live input sounds from the start; loop rows wait for their loop.
            r.Panel->SetColor(kInputRowGreen);
            r.Play->SetDown(true);
            r.Play->SetText(">>");
        } else {
            r.Play->SetEnabled(false);
        }
    }
}

bool MixerControls::ApplySuffix(int row, const std::string& suffix) {
    MixerRowControls& r = MixerRows[static_cast<size_t>(row)];
    bool ok = true;
    ok = Owner.Rename(*r.Play, "SBLoop_" + suffix) && ok;
    ok = Owner.Rename(*r.Marker, "SBLoopMarker_" + suffix) && ok;
    ok = Owner.Rename(*r.AmpLeft, "TBAmpLeft_" + suffix) && ok;
    ok = Owner.Rename(*r.AmpRight, "TBAmpRight_" + suffix) && ok;
    ok = Owner.Rename(*r.PanLeft, "TBPanLeft_" + suffix) && ok;
    ok = Owner.Rename(*r.PanRight, "TBPanRight_" + suffix) && ok;
    if (ok) suffix_[static_cast<size_t>(row)] = suffix;
    return ok;
}

void MixerControls::RenameRow(int row, const std::string& suffix) {
    if (row < 1 || row > LoopSlotCapacity || suffix.empty()) return;
    for (int other = 1; other <= LoopSlotCapacity; ++other)
        if (other != row && SameControlName(suffix_[static_cast<size_t>(other)], suffix) &&
            ApplySuffix(other, std::to_string(other)))
            MixerRows[static_cast<size_t>(other)].Marker->SetText(std::to_string(other) + ":");
    const std::string old = suffix_[static_cast<size_t>(row)];
    if (ApplySuffix(row, suffix))
        MixerRows[static_cast<size_t>(row)].Marker->SetText(
            std::all_of(suffix.begin(), suffix.end(), [](char ch) { return ch >= '0' && ch <= '9'; }) ? suffix + ":"
                                                                                                      : suffix);
    else
        ApplySuffix(row, old); // never leave a row with names of two suffixes
}

} // namespace kreisel

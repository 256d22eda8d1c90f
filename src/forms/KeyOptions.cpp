// Slider positions are milliseconds; a position between two steps is moved onto the nearer step.
#include "forms/KeyOptions.h"

#include "core/ControlFactory.h"

namespace kreisel {

using make::Check;
using make::Label;
using make::Make;
using make::Switch;
using make::Slider;

KeyOptions::KeyOptions(Form& f, KeySettings& settings)
    : TBKeyLongMinMSec(Slider(f, "TBKeyLongMinMSec", 100, 1000, settings.KeyLongMinMSec)),
      LabelKeyLongMinMSec(Label(f, "LabelKeyLongMinMSec")),
      TBKeyDistMaxMSec(Slider(f, "TBKeyDistMaxMSec", 100, 1000, settings.KeyDistMaxMSec)),
      LabelKeyDistMaxMSec(Label(f, "LabelKeyDistMaxMSec")), settings_(settings) {
    TBKeyLongMinMSec.SetOnChange(
        [this](Control& c) { Changed(c, LabelKeyLongMinMSec, settings_.KeyLongMinMSec); });
    TBKeyDistMaxMSec.SetOnChange(
        [this](Control& c) { Changed(c, LabelKeyDistMaxMSec, settings_.KeyDistMaxMSec); });
    Changed(TBKeyLongMinMSec, LabelKeyLongMinMSec, settings_.KeyLongMinMSec);
    Changed(TBKeyDistMaxMSec, LabelKeyDistMaxMSec, settings_.KeyDistMaxMSec);
}

void KeyOptions::Changed(Control& slider, Control& label, int& setting) {
    const int stepped = (slider.Position() + 25) / 50 * 50;
    if (stepped != slider.Position()) {
        slider.SetPosition(stepped); // runs this again with the stepped value
        return;
    }
    setting = stepped;
    label.SetText(std::to_string(stepped) + " mSek.");
}

KeyOverviewControls::KeyOverviewControls(Form& f, const KeyHandler& keys, const std::array<int, 4>& portKeys)
    : SBShowKeys(Switch(f, "SBShowKeys", "Tastenbelegung", "Alle Tastenbelegungen anzeigen")),
      CBKeysAll(Check(f, "CBKeysAll", "alle anz.", false)), MemoKeys(Make(f, "MemoKeys", ControlKind::TextEditor)),
      keys_(keys), portKeys_(portKeys) {
    SBShowKeys.SetOnClick([this](Control&) { Refresh(); });
    CBKeysAll.SetOnChange([this](Control&) { Refresh(); });
    Refresh();
}

void KeyOverviewControls::Refresh() {
    const bool shown = SBShowKeys.Down();
    CBKeysAll.SetVisible(shown);
    MemoKeys.SetVisible(shown);
    if (!shown) return;
    // Built from scratch each time: macros and the key file may have changed.
    std::vector<std::string> lines;
    const std::string text =
        keys_.Overview(CBKeysAll.Checked(), portKeys_, MidiSwitches ? MidiSwitches() : decltype(MidiSwitches())());
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    MemoKeys.SetLines(std::move(lines));
}

} // namespace kreisel

// Slider positions are milliseconds; a position between two steps is moved onto the nearer step.
#include "forms/KeyOptions.h"

#include "core/ControlFactory.h"

namespace kreisel {

using make::Label;
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

} // namespace kreisel

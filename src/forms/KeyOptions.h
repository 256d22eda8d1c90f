// The key timing on the options page: the shortest long press and the pause that ends a press
// sequence, each a slider of 100 to 1000 ms in steps of 50 with its value beside it.
#pragma once

#include "core/Form.h"
#include "macros/KeyHandler.h"

#include <functional>

namespace kreisel {

class KeyOptions {
  public:
    KeyOptions(Form& form, KeySettings& settings);

    Control& TBKeyLongMinMSec;
    Control& LabelKeyLongMinMSec;
    Control& TBKeyDistMaxMSec;
    Control& LabelKeyDistMaxMSec;

  private:
    void Changed(Control& slider, Control& label, int& setting);

    KeySettings& settings_;
};

// The key overview of the macro window: "Tastenbelegung" shows every assignment, "alle anz."
// (shown only with the overview) also the keys without one.
class KeyOverviewControls {
  public:
    KeyOverviewControls(Form& form, const KeyHandler& keys, const std::array<int, 4>& portKeys);

    Control& SBShowKeys;
    Control& CBKeysAll;
    Control& MemoKeys;

    void Refresh();
    // The MIDI pedal's messages and their keys, for the overview; may be left empty.
    std::function<std::vector<std::pair<std::string, int>>()> MidiSwitches;

  private:
    const KeyHandler& keys_;
    const std::array<int, 4>& portKeys_;
};

} // namespace kreisel

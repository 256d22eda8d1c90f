// The load/save dialog's model: the group box with the six choices (standard settings, mixer
// set, session, export of the output, settings file, import of audio files). Which choices are
// shown depends on the direction; the dialog itself only chooses, the main window acts.
#pragma once

#include "core/Form.h"

#include <functional>

namespace kreisel {

class TFormLoadSaveDlg : public Form {
  public:
    TFormLoadSaveDlg();

    Control& PanelLoadSaveDlg;
    Control& GBLoadSaveDlg;
    Control& RBPrefsAndMixers_Defaults;
    Control& RBMixers;
    Control& RBLoops;
    Control& RBExportOutput;
    Control& RBPrefs;
    Control& RBImportLoop;

    // Captions and visible choices for a direction.
    void Prepare(bool save);
    // Any click in the group box: a hidden export choice gives way to the session.
    void AnyLoadSaveDlgClick();
    // The checked choice; nullptr when none is.
    Control* Selected() const;

    // Shows the dialog and waits for OK (true) or Cancel (false). The application opens its
    // window; without a view the dialog counts as cancelled.
    std::function<bool()> ShowModal;
    bool Run();
};

} // namespace kreisel

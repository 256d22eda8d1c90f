// The macro window "Makro- und Tasten-Steuerung": the buttons above, the macro editor with the
// line being run highlighted, the status lines, and the components panel (shown when a file
// "_Debugging.txt" lies in the current folder).
#pragma once

#include "forms/TFormMacros.h"
#include "gui/ViewParts.h"

class QPlainTextEdit;

namespace kreisel {

class MacroWindow : public FormWindow {
    Q_OBJECT
  public:
    MacroWindow(TFormMacros& form, Binder& binder, QWidget* parent = nullptr);

    QPlainTextEdit* Editor() const { return editor_; }

  private:
    // The model's lines into the editor when they changed there; read-only while macros run;
    // the running line marked.
    void Follow();

    TFormMacros& form_;
    QPlainTextEdit* editor_ = nullptr;
    std::vector<std::string> shownLines_;
    int shownLine_ = -2;
    bool writing_ = false;
};

} // namespace kreisel

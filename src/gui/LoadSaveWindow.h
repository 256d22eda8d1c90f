// The load/save dialog's window: the six choices in their group box, OK and Cancel. It runs
// modally when the model asks for it; the choices are the model's radio buttons, so the binder
// keeps captions, visibility and the selection in step.
#pragma once

#include "forms/TFormLoadSaveDlg.h"
#include "gui/Binder.h"

#include <QDialog>

namespace kreisel {

class LoadSaveWindow : public QDialog {
    Q_OBJECT
  public:
    // Takes over the model's ShowModal.
    LoadSaveWindow(TFormLoadSaveDlg& form, Binder& binder, QWidget* parent = nullptr);
    ~LoadSaveWindow() override;

  private:
    TFormLoadSaveDlg& form_;
    Binder& binder_;
};

} // namespace kreisel

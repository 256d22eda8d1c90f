// The load/save dialog's choices.
#include "forms/TFormLoadSaveDlg.h"

#include "core/ControlFactory.h"

namespace kreisel {

namespace {

Control& Choice(Form& f, const char* name, const char* caption, const char* hint) {
    Control& c = make::Make(f, name, ControlKind::RadioButton, caption, hint);
    c.SetGroupIndex(1);
    return c;
}

} // namespace

TFormLoadSaveDlg::TFormLoadSaveDlg()
    : Form("FormLoadSaveDlg", "Laden / Speichern - Dialog"),
      PanelLoadSaveDlg(make::Panel(*this, "PanelLoadSaveDlg")),
      GBLoadSaveDlg(make::Panel(*this, "GBLoadSaveDlg", "  Laden / Speichern  ")),
      RBPrefsAndMixers_Defaults(Choice(*this, "RBPrefsAndMixers_Defaults", "Standard  (Kreisel.LPS+MIX)",
                                       "Allgemeine Einstellungen  (Kreisel.LPS)")),
      RBMixers(Choice(*this, "RBMixers", "Loop-Mixer-Set   (*.MIX)",
                      "Loop-Mixer-Einstellungen als Set  (*.MIX-Datei)")),
      RBLoops(Choice(*this, "RBLoops", "Session  (*.LPS+MIX+WAV-Dateien)",
                     "Daten der Loop-Aufnahmen als WAV-Dateien")),
      RBExportOutput(Choice(*this, "RBExportOutput", "Export Output  (*.WAV-Datei)",
                            "Exportieren der Gesamt-Aufnahme als WAV-Datei")),
      RBPrefs(Choice(*this, "RBPrefs", "Einstellungen  (*.LPS)", "Allgemeine Einstellungen  (Kreisel.LPS)")),
      RBImportLoop(
          Choice(*this, "RBImportLoop", "Import Audio  (*.WAV-Dateien)", "Importieren von WAV-Dateien")) {
    RBLoops.SetChecked(true);
    RBImportLoop.SetVisible(false);
    for (Control* c :
         {&RBPrefsAndMixers_Defaults, &RBMixers, &RBLoops, &RBExportOutput, &RBPrefs, &RBImportLoop})
        c->SetOnClick([this](Control&) { AnyLoadSaveDlgClick(); });
}

void TFormLoadSaveDlg::Prepare(bool save) {
    const char* caption = save ? " Speichern " : " Laden ";
    GBLoadSaveDlg.SetText(caption);
    SetCaption(caption);
    RBExportOutput.SetVisible(save);
    RBImportLoop.SetVisible(!save);
    AnyLoadSaveDlgClick();
}

void TFormLoadSaveDlg::AnyLoadSaveDlgClick() {
    if (RBExportOutput.Checked() && !RBExportOutput.Visible()) RBLoops.SetChecked(true);
    // The import choice stands in the export's place and gives way the same way.
    if (RBImportLoop.Checked() && !RBImportLoop.Visible()) RBLoops.SetChecked(true);
}

Control* TFormLoadSaveDlg::Selected() const {
    for (Control* c :
         {&RBPrefsAndMixers_Defaults, &RBMixers, &RBLoops, &RBExportOutput, &RBPrefs, &RBImportLoop})
        if (c->Checked()) return c;
    return nullptr;
}

bool TFormLoadSaveDlg::Run() {
    if (!ShowModal) return false;
    SetVisible(true);
    const bool ok = ShowModal();
    SetVisible(false);
    return ok;
}

} // namespace kreisel

// The macro window: editor, start/stop/pause/reset, macro files and the components listing.
#include "forms/TFormMacros.h"

#include "core/ControlFactory.h"
#include "core/Text.h"
#include "shell/ComponentsFile.h"

#include <fstream>

namespace kreisel {

namespace {

const char* const kMacroFilter = "Makro-Dateien (*.mak)|*.mak|alle Dateien (*.*)|*.*";
const char* const kControlFilter = "Control-Dateien (*.ctr)|*.ctr|alle Dateien (*.*)|*.*";

} // namespace

TFormMacros::TFormMacros(MacroHost& host, Clock& clock, EventPump& pump, Dialogs& dialogs, FormRegistry& forms)
    : Form("FormMacros", "Makro- und Tasten-Steuerung"),
      MemoMacros(make::Make(*this, "MemoMacros", ControlKind::TextEditor)),
      ButtonStartStopMacros(make::Button(*this, "ButtonStartStopMacros", "Start Makros", "Makros starten oder anhalten")),
      SBDoMacrosPause(make::Switch(*this, "SBDoMacrosPause", "Pause", "Makros anhalten und fortsetzen")),
      ButtonResetMacros(make::Button(*this, "ButtonResetMacros", "Reset", "Makros zurücksetzen, Variablen löschen")),
      ButtonLoadMacros(make::Button(*this, "ButtonLoadMacros", "Makros (dazu) laden")),
      ButtonSaveMacros(make::Button(*this, "ButtonSaveMacros", "speichern ...")),
      ButtonSaveMacrosDefault(make::Button(*this, "ButtonSaveMacrosDefault", "als Standard speichern")),
      LabelMacroStatus(make::Label(*this, "LabelMacroStatus")),
      LabelDebug(make::Label(*this, "LabelDebug")),
      PanelMacroStatus(make::Hidden(make::Panel(*this, "PanelMacroStatus"))),
      ButtonSaveControls(make::Button(*this, "ButtonSaveControls", "Save Controls", "Export Komponententexte")),
      ButtonLoadControls(make::Button(*this, "ButtonLoadControls", "Load Controls", "Import Komponententexte")),
      CBLoadCaptions(make::Check(*this, "CBLoadCaptions", "Captions", true)),
      MemoComps(make::Hidden(make::Make(*this, "MemoComps", ControlKind::TextEditor))),
      MemoCompsErrors(make::Hidden(make::Make(*this, "MemoCompsErrors", ControlKind::TextEditor, "",
                                              "Doppelklicken zum Löschen !!!"))),
      Interpreter(host, clock, pump, dialogs), dialogs_(dialogs), forms_(forms) {
    SBDoMacrosPause.SetAllowAllUp(true);
    MemoMacros.SetLines(TemplateText());
    Interpreter.OnLine = [this](int line) { runningLine_ = line; };
    Interpreter.OnStatus = [this](const std::string& raw) { LabelMacroStatus.SetText(raw); };
    Interpreter.OnDebug = [this](const std::string& text) { LabelDebug.SetText(text); };
    Interpreter.OnState = [this](bool active, bool running) { SetButtons(active, running); };
    ButtonStartStopMacros.SetOnClick([this](Control&) {
        if (!Interpreter.MacrosActive())
            Interpreter.StartMacros(MemoMacros.Lines());
        else
            Interpreter.StopMacros();
    });
    SBDoMacrosPause.SetOnClick([this](Control&) { Interpreter.TogglePause(); });
    ButtonResetMacros.SetOnClick([this](Control&) {
        if (Interpreter.MacrosActive()) Interpreter.StopMacros();
        Interpreter.ResetMacros(true);
    });
    for (Control* c : {&ButtonLoadMacros, &ButtonSaveMacros, &ButtonSaveMacrosDefault})
        c->SetOnClick([this](Control& sender) { AnyLoadSaveClick(sender); });
    ButtonSaveControls.SetOnClick([this](Control&) { ButtonSaveControlsClick(); });
    ButtonLoadControls.SetOnClick([this](Control&) { ButtonLoadControlsClick(); });
    SetButtons(false, false);
}

std::vector<std::string> TFormMacros::TemplateText() {
    return {
        "# Kreisel-Makros. \"#\" beginnt einen Kommentar; Groß-/Kleinschreibung ist egal.",
        "# Ein Makro beginnt mit ON und endet mit RETURN:",
        "#   ON Key_x | ON KeySequ_12 | ON LOOPEND | ON METRONOMTICK | ON ALLKEYS_INIT | ON ALLKEYS_FINISH",
        "# Anweisungen:",
        "#   SET Name [Wert|ON|OFF|INV|MIN|MAX|ZERO|NOW] [+|-|*|/ Zahl]",
        "#   IF_EQUAL / IF_NOT / IF_HIGHER / IF_LOWER / IF_MINIMAL / IF_MAXIMAL Name [Wert] ... ENDIF",
        "#   MARKE:   GOTO MARKE Anzahl",
        "#   WAIT n [SEC|BEAT] | WAIT LOOPEND | WAIT METRONOMTICK | WAIT Key_x | WAITINLOOP n [SEC|BEAT]",
        "#   LOAD_LOOPSET Datei | DISPLAY Text und Werte",
        "# Per-Loop-Regler: TBAmpLeft_A1, TBAmpLeft_@* (aktive Gruppe), TBAmpLeft_%* (alle), SBLoopMarker_@@",
        "# Anweisungen nach dem letzten RETURN laufen einmal beim Start der Makros.",
        "",
        "ON Key_A            # Gruppe A",
        "SET ACTGROUP A",
        "RETURN",
        "",
        "ON Key_B            # Gruppe B",
        "SET ACTGROUP B",
        "RETURN",
        "",
        "ON Key_1            # Loop 1 der aktiven Gruppe markieren",
        "SET SBLoopMarker_@1 INV",
        "RETURN",
        "",
        "ON Key_2",
        "SET SBLoopMarker_@2 INV",
        "RETURN",
        "",
        "ON Key_M            # Metronom ein/aus",
        "SET SBMetronom",
        "RETURN",
    };
}

void TFormMacros::LoadDefaultMacros(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    if (!file.empty() && ReadTextLines(file, lines))
        MemoMacros.SetLines(std::move(lines));
    else
        MemoMacros.SetLines(TemplateText());
}

void TFormMacros::SetButtons(bool active, bool running) {
    SBDoMacrosPause.SetEnabled(active);
    {
        SuppressActions quiet(SBDoMacrosPause);
        SBDoMacrosPause.SetDown(active && !running);
    }
    ButtonStartStopMacros.SetText(active ? "Stop Makros" : "Start Makros");
    MemoMacros.SetEnabled(!active); // read-only and greyed while the macros run
    for (Control* c : {&ButtonLoadMacros, &ButtonSaveMacros, &ButtonSaveMacrosDefault})
        c->SetEnabled(!active);
    if (!active) runningLine_ = -1;
}

bool TFormMacros::AskOverwrite(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return true;
    Question q;
    q.caption = "Kreisel";
    q.text = "überschreiben?";
    q.buttons = DialogButtons::OkCancel;
    q.defaultResult = DialogResult::Ok;
    q.icon = DialogIcon::Question;
    return dialogs_.Ask(q) != DialogResult::Cancel;
}

void TFormMacros::AnyLoadSaveClick(const Control& sender) {
    auto save = [this](const std::filesystem::path& file) {
        if (!WriteTextLines(file, MemoMacros.Lines()))
            dialogs_.ShowMessage("Makro-Datei \"" + file.string() + "\" kann nicht geschrieben werden!");
    };
    if (&sender == &ButtonSaveMacrosDefault) {
        if (AskOverwrite(DefaultMacroFile)) save(DefaultMacroFile);
        return;
    }
    FileDialogOptions o;
    o.filter = kMacroFilter;
    o.defaultExtension = "MAK";
    if (&sender == &ButtonSaveMacros) {
        o.title = "Makros speichern";
        o.okCaption = "Speichern";
        const std::optional<std::string> file = dialogs_.SaveFile(o);
        if (file && AskOverwrite(*file)) save(*file);
        return;
    }
    o.title = "Makros dazu laden";
    o.okCaption = "Laden";
    o.mustExist = true;
    const std::vector<std::string> files = dialogs_.OpenFiles(o);
    if (files.empty()) return;
    std::vector<std::string> lines = MemoMacros.Lines();
    const bool empty = std::all_of(lines.begin(), lines.end(), [](const std::string& l) { return l.empty(); });
    if (!empty) {
        Question q;
        q.caption = "Meldung";
        q.text = "bestehende Makros vorher entfernen ?";
        q.buttons = DialogButtons::OkNoCancel;
        q.defaultResult = DialogResult::Cancel;
        q.timeoutMs = 0;
        const DialogResult r = dialogs_.Ask(q);
        if (r == DialogResult::Cancel || r == DialogResult::None) return;
        if (r == DialogResult::Ok) lines.clear();
    } else {
        lines.clear();
    }
    std::vector<std::string> added;
    if (!ReadTextLines(files.front(), added)) {
        dialogs_.ShowMessage("Makro-Datei \"" + files.front() + "\" kann nicht gelesen werden!");
        return;
    }
    lines.insert(lines.end(), added.begin(), added.end());
    MemoMacros.SetLines(std::move(lines));
    Interpreter.ResetMacros(true);
}

void TFormMacros::MemoMacrosClick(int line) {
    LabelMacroStatus.SetText("(Z." + std::to_string(line) + ")");
}

void TFormMacros::ButtonSaveControlsClick() {
    const std::string text = ComponentsListing(forms_);
    MemoComps.SetLines(SplitLines(text));
    MemoComps.SetVisible(true);
    FileDialogOptions o;
    o.title = "Controls speichern";
    o.filter = kControlFilter;
    o.defaultExtension = "CTR";
    o.fileName = "*.ctr";
    const std::optional<std::string> file = dialogs_.SaveFile(o);
    if (!file || !AskOverwrite(*file)) return;
    std::ofstream out(*file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) dialogs_.ShowMessage("Control-Datei \"" + *file + "\" kann nicht geschrieben werden!");
}

void TFormMacros::ButtonLoadControlsClick() {
    FileDialogOptions o;
    o.title = "Controls laden";
    o.filter = kControlFilter;
    o.defaultExtension = "CTR";
    o.mustExist = true;
    const std::vector<std::string> files = dialogs_.OpenFiles(o);
    if (files.empty()) return;
    std::vector<std::string> lines;
    if (!ReadTextLines(files.front(), lines)) {
        dialogs_.ShowMessage("Control-Datei \"" + files.front() + "\" kann nicht gelesen werden!");
        return;
    }
    std::vector<std::string> errors = {"Errors:", std::string(50, '=')};
    const int count = ApplyComponentsList(forms_, lines, CBLoadCaptions.Checked(), errors);
    if (count > 0) {
        errors.push_back(std::string(50, '#'));
        errors.push_back("## " + std::to_string(count) + " Errors found!");
        errors.push_back("## (End of Errors)");
        errors.push_back(std::string(50, '#'));
        errors.push_back("## (" + MemoCompsErrors.Hint() + ")");
    }
    MemoCompsErrors.SetLines(std::move(errors));
    MemoCompsErrors.SetVisible(count > 0);
}

} // namespace kreisel

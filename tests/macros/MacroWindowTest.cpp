// The macro window: buttons while macros run, macro files with their questions, the default
// file or template, and the components listing exported and imported.
#include "macros/MacroRig.h"

#include "core/ControlFactory.h"
#include "forms/TFormMacros.h"
#include "shell/ComponentsFile.h"
#include "support/ScratchFiles.h"

#include <fstream>

namespace kreisel::test {
namespace {

class MacroWindow : public MacroRig {
  protected:
    MacroWindow() : form(host, clock, pump, dialogs, host.forms) {
        host.forms.Add(form);
        form.DefaultMacroFile = dir + "/Kreisel.mak";
    }
    std::vector<std::string> FileLines(const std::string& file) {
        std::vector<std::string> lines;
        ReadTextLines(file, lines);
        return lines;
    }

    TFormMacros form;
    ScratchFolder scratch{"macrowindow"};
    const std::string dir = scratch.Path();
};

TEST_F(MacroWindow, StartStopPauseAndResetDriveButtonsAndEditor) {
    form.MemoMacros.SetLines({"ON KEY_A", "SET MEMO_1 MEMO_1 + 1", "RETURN", "SET MEMO_2 7"});
    EXPECT_FALSE(form.SBDoMacrosPause.Enabled());
    form.ButtonStartStopMacros.UserClick();
    EXPECT_TRUE(form.Interpreter.MacrosActive());
    EXPECT_EQ(form.ButtonStartStopMacros.Text(), "Stop Makros");
    EXPECT_FALSE(form.MemoMacros.Enabled() || form.ButtonLoadMacros.Enabled());
    EXPECT_TRUE(form.SBDoMacrosPause.Enabled());
    EXPECT_EQ(form.Interpreter.Memo[2], 7);
    EXPECT_EQ(form.LabelMacroStatus.Text(), "SET MEMO_2 7");

    form.SBDoMacrosPause.UserClick();
    EXPECT_TRUE(form.SBDoMacrosPause.Down());
    EXPECT_FALSE(form.Interpreter.DispatchKey(38));
    form.SBDoMacrosPause.UserClick();
    EXPECT_TRUE(form.Interpreter.DispatchKey(38));
    EXPECT_EQ(form.Interpreter.Memo[1], 1);

    form.ButtonStartStopMacros.UserClick();
    EXPECT_FALSE(form.Interpreter.MacrosActive());
    EXPECT_EQ(form.ButtonStartStopMacros.Text(), "Start Makros");
    EXPECT_TRUE(form.MemoMacros.Enabled());
    EXPECT_EQ(form.Interpreter.Memo[1], 1); // stopping keeps the variables ...
    form.ButtonResetMacros.UserClick();
    EXPECT_EQ(form.Interpreter.Memo[1], 0); // ... the reset clears them

    form.MemoMacrosClick(12);
    EXPECT_EQ(form.LabelMacroStatus.Text(), "(Z.12)");
}

TEST_F(MacroWindow, MacroFilesAskBeforeTheyReplaceOrOverwrite) {
    // No default file: the template; a readable one replaces it.
    form.LoadDefaultMacros(dir + "/fehlt.mak");
    EXPECT_EQ(form.MemoMacros.Lines(), TFormMacros::TemplateText());
    make::Switch(window, "SBMetronom", "Metronom");
    EXPECT_TRUE(form.Interpreter.StartMacros(TFormMacros::TemplateText())) << "the template parses";
    EXPECT_TRUE(form.Interpreter.Errors().empty()) << form.Interpreter.Errors().front();
    form.Interpreter.StopMacros();

    std::ofstream(dir + "/a.mak") << "ON KEY_A\nRETURN\n";
    struct Case { DialogResult answer; std::vector<std::string> after; };
    const Case cases[] = {{DialogResult::Cancel, {"# alt"}},
                          {DialogResult::No, {"# alt", "ON KEY_A", "RETURN"}},
                          {DialogResult::Ok, {"ON KEY_A", "RETURN"}}};
    for (const Case& c : cases) {
        form.MemoMacros.SetLines({"# alt"});
        dialogs.AnswerOpen({dir + "/a.mak"});
        dialogs.Answer(c.answer);
        form.ButtonLoadMacros.UserClick();
        const auto& q = dialogs.Requests().back().question;
        EXPECT_EQ(q.text, "bestehende Makros vorher entfernen ?");
        EXPECT_TRUE(q.buttons == DialogButtons::OkNoCancel && q.defaultResult == DialogResult::Cancel);
        EXPECT_EQ(q.timeoutMs, 0);
        EXPECT_EQ(form.MemoMacros.Lines(), c.after);
    }
    const auto& open = dialogs.Requests()[dialogs.Requests().size() - 2].options;
    EXPECT_EQ(open.title, "Makros dazu laden");
    EXPECT_EQ(open.okCaption, "Laden");
    EXPECT_EQ(open.filter, "Makro-Dateien (*.mak)|*.mak|alle Dateien (*.*)|*.*");

    // Saving: a new file at once, an existing one only after "überschreiben?".
    form.ButtonSaveMacrosDefault.UserClick();
    EXPECT_EQ(FileLines(dir + "/Kreisel.mak"), form.MemoMacros.Lines());
    form.MemoMacros.SetLines({"# neu"});
    dialogs.Answer(DialogResult::Cancel);
    form.ButtonSaveMacrosDefault.UserClick();
    EXPECT_EQ(dialogs.Requests().back().Text(), "überschreiben?");
    EXPECT_EQ(FileLines(dir + "/Kreisel.mak"), (std::vector<std::string>{"ON KEY_A", "RETURN"}));
    dialogs.AnswerSave(dir + "/a.mak");
    dialogs.Answer(DialogResult::Ok);
    form.ButtonSaveMacros.UserClick();
    EXPECT_EQ(FileLines(dir + "/a.mak"), (std::vector<std::string>{"# neu"}));
    form.LoadDefaultMacros(dir + "/a.mak");
    EXPECT_EQ(form.MemoMacros.Lines(), (std::vector<std::string>{"# neu"}));
}

TEST_F(MacroWindow, ComponentsListingAndControlFiles) {
    make::Switch(window, "SBRecord", "Aufnahme", "Aufnahme starten|Startet die Aufnahme");
    make::Slider(window, "TBAmpLeft_1", 0, 16, 4);
    make::Slider(window, "TBAmpLeft_2", 0, 16, 4);
    make::Label(window, "LabelStatus", "läuft").SetTag(-9999);
    make::Button(window, "ButtonGeheim", "x").SetTag(-8888);
    const std::string listing = ComponentsListing(host.forms);
    EXPECT_EQ(listing.rfind("## (\"#\" startet Kommentarzeile!)\n## Components:\n", 0), 0u);
    EXPECT_NE(listing.find(" - SBRecord;Aufnahme;Aufnahme starten;\n\tStartet die Aufnahme\n"), std::string::npos);
    EXPECT_NE(listing.find(" - TBAmpLeft_1;TBAmpLeft_1;;"), std::string::npos);
    EXPECT_EQ(listing.find("TBAmpLeft_2"), std::string::npos); // one set of per-loop controls
    EXPECT_EQ(listing.find("ButtonGeheim"), std::string::npos);
    EXPECT_NE(listing.find(" - LabelStatus;[dyn];;"), std::string::npos);
    EXPECT_LT(listing.find(" - LabelStatus"), listing.find(" - SBRecord")); // sorted
    EXPECT_NE(listing.find("## 20 Components found!\n## (End of Components)"), std::string::npos) << listing;

    dialogs.AnswerSave(dir + "/c.ctr");
    form.ButtonSaveControls.UserClick();
    EXPECT_EQ(dialogs.Requests().back().options.title, "Controls speichern");
    std::vector<std::string> lines = FileLines(dir + "/c.ctr");
    ASSERT_FALSE(lines.empty());

    // Import: new captions and hints; "[dyn]", tag -9999 and unknown names as the file says.
    std::ofstream(dir + "/neu.ctr") << "# Kommentar\nFormKreisel;Hauptfenster;;\n"
                                       " - SBRecord;Rec;Aufnahme!;\n\tZeile 1\n\tZeile 2\n"
                                       " - LabelStatus;neu;;\n - Unbekannt;x;;\nFensterLos;;;\n";
    for (bool captions : {false, true}) {
        form.CBLoadCaptions.SetChecked(captions);
        dialogs.AnswerOpen({dir + "/neu.ctr"});
        form.ButtonLoadControls.UserClick();
        EXPECT_EQ(window.Find("SBRecord")->Text(), captions ? "Rec" : "Aufnahme");
        // The hint ends with the control's name, which the mouse help shows with Ctrl.
        EXPECT_EQ(window.Find("SBRecord")->Hint(), "Aufnahme!|Zeile 1\r\nZeile 2\r\n$$SBRecord");
        EXPECT_EQ(window.Find("LabelStatus")->Text(), "läuft");
    }
    EXPECT_EQ(window.Caption(), "Hauptfenster");
    const std::vector<std::string>& errors = form.MemoCompsErrors.Lines();
    EXPECT_TRUE(form.MemoCompsErrors.Visible());
    for (const char* error : {"Komponente \"Unbekannt\" nicht gefunden!", "Komponente \"FensterLos\" nicht gefunden!",
                              "## 2 Errors found!"})
        EXPECT_NE(std::find(errors.begin(), errors.end(), error), errors.end()) << error;
}

} // namespace
} // namespace kreisel::test

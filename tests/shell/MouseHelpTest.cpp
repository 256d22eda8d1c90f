// Help texts from a components file, the key hints and what the mouse-help window shows.
#include "shell/MouseHelp.h"

#include "macros/MacroText.h"
#include "scenarios/Stage.h"
#include "shell/ComponentsFile.h"
#include "shell/ProgramLifecycle.h"
#include "support/ScratchFiles.h"

#include <algorithm>

namespace kreisel::test {
namespace {

class Help : public Stage {
  protected:
    MouseHelp& H() { return core->HelpTexts(); }
    std::string Shown() {
        std::string text;
        for (const std::string& line : H().Window.MemoMouseHelp.Lines())
            text += line + "\n";
        return text;
    }
    int Build(const std::string& text) { return H().BuildHelpTexts(SplitLines(text)); }
};

TEST_F(Help, EntryGivesCaptionToolTipMouseHelpAndLinkAndUnknownNamesAreCounted) {
    const int errors = Build("# Kommentar\n"
                             "FormKreisel;Kreisel;;\n"
                             " - SBRecord;Aufnahme;Aufnahme starten;\n"
                             "\tStartet die Aufnahme\n"
                             "# zwischen den Hilfezeilen\n"
                             "\tF1=1200\n"
                             " - TBMetronomBPM;Tempo;Tempo in BPM;\n"
                             "SBPlay;Play;;\n"
                             " - NoSuchControl;x;y;\n");
    Control& record = M().SBRecord;
    EXPECT_EQ(record.Text(), "Aufnahme");
    EXPECT_EQ(MouseHelp::ShortPart(record.Hint()), "Aufnahme starten");
    EXPECT_EQ(record.HelpContext(), 1200);
    // Sliders keep their caption; their hint still comes from the file.
    EXPECT_EQ(M().TBMetronomBPM.Text(), "");
    EXPECT_EQ(MouseHelp::ShortPart(M().TBMetronomBPM.Hint()), "Tempo in BPM");

    // SBPlay without indentation is looked up as a window: not found, and so is the control
    // after it, since no window is current any more.
    EXPECT_EQ(errors, 2);
    const std::vector<std::string>& lines = core->Macros().MemoCompsErrors.Lines();
    EXPECT_TRUE(core->Macros().MemoCompsErrors.Visible());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Komponente \"SBPlay\" nicht gefunden!"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "## 2 Errors found!"), lines.end());

    H().DisplayHelp(record.Hint(), false, false);
    EXPECT_EQ(Shown(), "Startet die Aufnahme\n(Weitere Hilfe hierzu mit F1)\n");
    EXPECT_EQ(H().HelpContextCurrent, 1200);
    H().DisplayHelp(M().TBMetronomBPM.Hint(), false, false);
    EXPECT_EQ(H().HelpContextCurrent, MouseHelp::DefaultHelpContext);
    const std::string empty = Shown();
    // Shift alone leaves the text; with the entry unticked only the link follows the pointer.
    H().DisplayHelp(record.Hint(), false, true);
    EXPECT_EQ(Shown(), empty);
    H().MIMouseHelp.UserClick();
    EXPECT_FALSE(H().Window.Visible());
    H().DisplayHelp(record.Hint(), false, false);
    EXPECT_EQ(H().HelpContextCurrent, 1200);
    EXPECT_EQ(Shown(), empty);
}

TEST_F(Help, KeysOfTheKeyFileStandBeforeToolTipAndMouseHelp) {
    const int keyA = KeyNameToIndex("Key_A");
    const int sequence = KeyNameToIndex("KeySequ_12");
    ASSERT_GT(sequence, keyA);
    core->Keys().KeyCommand[static_cast<std::size_t>(keyA)] = "SBRecord";
    core->Keys().KeyCommand[static_cast<std::size_t>(sequence)] = "sbrecord 1";
    Build("FormKreisel;Kreisel;;\n - SBRecord;Aufnahme;Aufnahme starten;\n\tStartet die Aufnahme\n");
    // A second list that leaves the control out keeps its keys once.
    Build("FormKreisel;Kreisel;;\n");

    const std::string& hint = M().SBRecord.Hint();
    EXPECT_EQ(MouseHelp::ShortPart(hint), "Taste=[A]    " + MouseHelp::KeySeparator + "Aufnahme starten");
    H().DisplayHelp(hint, false, false);
    // The lowest key index comes first.
    EXPECT_EQ(Shown(), "Taste=[A]    Steuersequenz=[kurz-lang]    \n" + std::string(37, '-') +
                           "  \nStartet die Aufnahme\n");
    // The components file writes the texts without the keys.
    EXPECT_EQ(PlainHint(hint), "Aufnahme starten|Startet die Aufnahme");
}

TEST_F(Help, CtrlShowsTheNamesMacrosUseAndRowsShareTheFirstRowsTexts) {
    Build("FormKreisel;Kreisel;;\n - SBRecord;Aufnahme;;\n - SBPlay;Play;;\n\tF1=1300\n"
          "FormLoops;Loops;;\n - SBLoop_1;>>;Loop ein/aus;\n\tSchaltet die Loop\n");
    H().DisplayHelp(M().SBRecord.Hint(), true, false);
    EXPECT_EQ(Shown(), "\nName des Bedien-Elementes in Makros:\n\nSBRecord\n");

    core->Interpreter().Synonyms.SetLines({"AUFNAHME==SBRECORD  # Aufnahme", "PLAY==SBPLAY"});
    H().DisplayHelp(M().SBRecord.Hint(), true, false);
    EXPECT_EQ(Shown(), "\nName des Bedien-Elementes in Makros:\n\nAUFNAHME\n");
    H().DisplayHelp(M().SBPlay.Hint(), true, true);
    EXPECT_EQ(Shown(), "\nName des Bedien-Elementes in Makros:\n\nPLAY\n(intern: SBPlay)\nF1-Link=1300\n");

    Control* row7 = core->Forms().FindControlByName("SBLoop_7");
    ASSERT_NE(row7, nullptr);
    EXPECT_EQ(MouseHelp::ShortPart(row7->Hint()), "Loop ein/aus");
    H().DisplayHelp(row7->Hint(), true, false);
    EXPECT_EQ(Shown(), "\nName des Bedien-Elementes in Makros:\n\nSBLoop_7\n");
}

TEST_F(Help, ClosingTheWindowClearsTheMenuEntryAndTheEntryShowsItAgain) {
    int fronts = 0;
    H().BringToFront = [&fronts] { ++fronts; };
    H().ApplyMouseHelpSetting();
    EXPECT_TRUE(H().Window.Visible());
    H().WindowClosed();
    EXPECT_FALSE(H().MIMouseHelp.Checked());
    EXPECT_FALSE(H().Window.Visible());
    H().HelpContextCurrent = 1200;
    H().MIMouseHelp.UserClick();
    EXPECT_TRUE(H().Window.Visible());
    EXPECT_EQ(H().HelpContextCurrent, MouseHelp::DefaultHelpContext);
    EXPECT_EQ(fronts, 2);

    int opened = 0;
    H().OpenHelp = [&opened](int context) { opened = context; };
    H().ButtonHelpMacros.UserClick();
    EXPECT_EQ(opened, MouseHelp::MacroHelpContext);
}

TEST_F(Help, StartUpAppliesTheComponentsFileAndTheProcessorLabelShowsTheClock) {
    ScratchFolder scratch("help");
    const std::filesystem::path dir = scratch.Dir();
    std::ofstream(dir / "Kreisel.CTR") << "FormKreisel;Kreisel;;\n - SBRecord;Rec;Aufnahme starten;\n"
                                          " - LabelCPU;Prozessor;;\n";
    std::ofstream(dir / "Kreisel.tas") << "[Keys]\n";
    DataFolders folders;
    folders.program = folders.data = dir;
    system.clockMHz = 2400;
    {
        ProgramLifecycle life(*core, dialogs, folders, ParseCommandLine({}));
        life.FormCreate();
        life.FormActivate();
    }
    EXPECT_EQ(M().SBRecord.Text(), "Rec");
    EXPECT_EQ(MouseHelp::ShortPart(M().SBRecord.Hint()), "Aufnahme starten");
    EXPECT_EQ(core->StatusDisplays().LabelCPU.Text(), "CPU (2400 MHz):");
    // The menu entry is ticked by default: the window comes up at the end of the start.
    EXPECT_TRUE(H().Window.Visible());
}

} // namespace
} // namespace kreisel::test

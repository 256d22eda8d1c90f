// Macro lines, synonyms, key names, and what the parser compiles and reports.
#include "macros/MacroRig.h"

#include <array>

namespace kreisel::test {
namespace {

TEST(MacroText, LinesAreNormalisedIntoUpperCaseWordsAndSynonymsRewriteThem) {
    SynonymList none;
    const MacroWords w = SplitWords(CodePart("  set   TBAmpLeft_A1\t5  # Kommentar"), none);
    EXPECT_EQ((std::array{w[0], w[1], w[2], w[3]}), (std::array<std::string, 4>{"SET", "TBAMPLEFT_A1", "5", ""}));
    EXPECT_EQ(CodePart("   # nur Kommentar"), "");

    SynonymList syn;
    syn.SetLines({"# Kommentarzeile", "", "B==ZWEI", "tbl*==tbampleft_*  # Präfix", "CLICK==SET", "LAUT==SET TBOUTLEVEL"});
    struct Case { const char* line; const char* w1; const char* w2; const char* w3; };
    const Case cases[] = {
        {"SET ACTGROUP B", "SET", "ACTGROUP", "2"}, // single letters are group numbers, never looked up
        {"set TBLA3 4", "SET", "TBAMPLEFT_A3", "4"},
        {"CLICK SBRecord", "SET", "SBRECORD", ""},
        {"LAUT 5", "SET", "TBOUTLEVEL", "5"}, // a synonym may expand into several words
    };
    for (const Case& c : cases) {
        const MacroWords words = SplitWords(CodePart(c.line), syn);
        EXPECT_EQ((std::array{words[0], words[1], words[2]}), (std::array<std::string, 3>{c.w1, c.w2, c.w3}))
            << c.line;
    }
}

TEST(MacroText, KeyNamesSequencesAndVirtualKeys) {
    const std::pair<const char*, int> names[] = {
        {"Key_A", 38},      {"KEY_F12", 12},  {"Key_Home", 67}, {"KeySequ_122", 81}, {"Key_0", 21},
        {"Key_@", 37},      {"Key_SPACE", 71}, {"KeySequ_2222", 101}, {"KeySequ_1", 72}, {"Key_AB", 0},
        {"Key_F21", 0},     {"KeySequ_", 0},  {"KeySequ_11111", 0}, {"Key_FX", 0},
    };
    for (const auto& [name, index] : names)
        EXPECT_EQ(KeyNameToIndex(name), index) << name;
    for (int n = 1; n <= 30; ++n)
        EXPECT_EQ(SequenceToNumber(NumberToSequence(n)), n);
    EXPECT_EQ(NumberToSequence(9), "121");
    EXPECT_EQ(SequenceToNumber("KLK"), 9);
    for (int k = 1; k <= kKeyCount; ++k)
        EXPECT_EQ(KeyNameToIndex(KeyIndexToName(k)), k) << KeyIndexToName(k);
    const std::pair<int, int> codes[] = {{13, 64}, {32, 71}, {112, 1}, {131, 20}, {65, 38}, {48, 21}, {16, -1}, {200, -1}};
    for (const auto& [code, index] : codes) {
        EXPECT_EQ(VirtualKeyToIndex(code), index) << code;
        if (index > 0) {
            EXPECT_EQ(IndexToVirtualKey(index), code);
        }
    }
}

class MacroParser : public MacroRig {};

TEST_F(MacroParser, EachMessageQuotesItsLineAndOkIgnoresTheStatement) {
    struct Case { const char* line; const char* message; };
    const Case cases[] = {
        {"TOGGLE SBRecord", "\"TOGGLE SBRecord\":\r\nFalsches Schlüsselwort \"TOGGLE\" ! (wird ignoriert)"},
        {"IF_SAME x 1", "\"IF_SAME x 1\":\r\nFalsches Schlüsselwort \"IF_SAME\" ! (wird ignoriert)"},
        {"ON Key_AB", "\"ON Key_AB\":\r\nUngültiger Tastenname \"KEY_AB\" ! (wird ignoriert)"},
        {"WAIT KEY_F99", "\"WAIT KEY_F99\":\r\nUngültiger Tastenname \"KEY_F99\" ! (wird ignoriert)"},
        {"GOTO nirgends 3", "\"GOTO nirgends 3\":\r\nSprungmarke \"NIRGENDS:\" nicht gefunden! (wird ignoriert)"},
        {"LOAD_LOOPSET Fehlt", "\"LOAD_LOOPSET Fehlt\":\r\nDatei \"Fehlt.lps\" nicht gefunden! (wird ignoriert)"},
    };
    for (const Case& c : cases) {
        dialogs.AnswerTimeout();
        EXPECT_TRUE(Start(std::string("ON KEY_C\n") + c.line + "\nON KEY_B\nRETURN")) << c.line;
        const Question& q = dialogs.Requests().back().question;
        EXPECT_EQ(q.text, c.message);
        EXPECT_EQ(q.caption, "Meldung");
        EXPECT_EQ(q.timeoutMs, 5000);
        EXPECT_TRUE(q.buttons == DialogButtons::OkCancel && q.defaultResult == DialogResult::Ok);
        EXPECT_EQ(macros.KeyMacroLine[39], 3) << "the parse went on after " << c.line;
    }
}

TEST_F(MacroParser, CancelStopsTheMacrosAndABadGotoCountAlwaysDoes) {
    dialogs.Answer(DialogResult::Cancel);
    EXPECT_FALSE(Start("FOO\nSET MEMO_1 1"));
    EXPECT_FALSE(macros.MacrosActive());
    EXPECT_EQ(macros.Memo[1], 0);

    // Label and count both wrong: the label first (ignored), then the count, which ends it all.
    dialogs.Answer(DialogResult::Ok);
    dialogs.Answer(DialogResult::Ok);
    EXPECT_FALSE(Start("GOTO weg viele\nSET MEMO_1 1"));
    ASSERT_GE(dialogs.Requests().size(), 3u);
    const Question& q = dialogs.Requests().back().question;
    EXPECT_EQ(q.text, "\"GOTO weg viele\":\r\nGoto-Maximal-Zähler \"VIELE\" nicht gültig! (Abbruch)");
    EXPECT_EQ(q.buttons, DialogButtons::Ok);
    EXPECT_EQ(q.timeoutMs, 0);
    EXPECT_FALSE(macros.MacrosActive());
    EXPECT_EQ(macros.Memo[1], 0);
}

TEST_F(MacroParser, SetStatementsAreCheckedAgainstTheControls) {
    window.Add("SBRecord", ControlKind::SwitchButton);
    EXPECT_TRUE(Start("ON KEY_A\nSET SBRecord ON\nSET SBNirgends ON\nRETURN"));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].Text(), "Fehler in Zeile \"SET SBNirgends ON\" !");
    EXPECT_FALSE(window.Find("SBRecord")->Down()); // checked, not run
}

TEST_F(MacroParser, TablesEntriesAndTheStartUpSection) {
    ASSERT_TRUE(Start("MARKE:\n"         // 0
                      "SET MEMO_1 1\n"   // 1
                      "ON KEY_A\n"       // 2
                      "GOTO Marke 3\n"   // 3: label above and below, the one above wins
                      "RETURN\n"         // 4
                      "marke:\n"         // 5
                      "ON LOOPEND\n"     // 6
                      "WAIT KEY_B\n"     // 7
                      "RETURN\n"         // 8
                      "ON keysequ_12\n"  // 9
                      "ON METRONOMTICK\n" // 10
                      "ON ALLKEYS_INIT\n" // 11
                      "ON ALLKEYS_FINISH\n" // 12
                      "ON Key_A\n"        // 13: a later ON replaces the earlier
                      "RETURN\n"          // 14
                      "  # Kommentar\n"   // 15
                      "SET MEMO_2 5"));   // 16
    // WAIT KEY_B (line 7) also enters key B's macro after the WAIT; the start-up section ran.
    EXPECT_EQ((std::vector{macros.GotoTarget[3], macros.GotoCount[3], macros.GotoTarget[4], macros.KeyMacroLine[38],
                           macros.KeyMacroLine[39], macros.KeyMacroLine[71 + 4], macros.LoopEndMacroLine,
                           macros.MetronomTickMacroLine, macros.AllKeysInitLine, macros.AllKeysFinishLine,
                           macros.AutoStartLine, macros.Memo[2], macros.Memo[1]}),
              (std::vector{1, 3, -1, 14, 8, 10, 7, 11, 12, 13, 16, 5, 0}));
    EXPECT_EQ(macros.MacroLinePos[1], 8);
    EXPECT_EQ(macros.MacroLinePos[2], 8 + 14);

    struct Case { const char* text; int autoStart; };
    // No start-up section before an ON block, nor with a label, ENDIF or RETURN in it.
    const Case cases[] = {{"SET MEMO_1 1\nSET MEMO_1 2", 0},
                          {"SET MEMO_1 1\nON KEY_A\nRETURN", -1},
                          {"ON KEY_A\nRETURN\nSET MEMO_1 1\nHIER:\nSET MEMO_1 2", -1},
                          {"ON KEY_A\nRETURN\nSET MEMO_1 1\nENDIF", -1},
                          {"ON KEY_A\nRETURN\nSET MEMO_1 1\nRETURN", -1},
                          {"ON KEY_A\nRETURN\n\n# x\nSET MEMO_1 1", 4}};
    for (const Case& c : cases) {
        ASSERT_TRUE(Start(c.text)) << c.text;
        EXPECT_EQ(macros.AutoStartLine, c.autoStart) << c.text;
    }
}

TEST_F(MacroParser, TextsBeyondTheTablesAreRefusedWhole) {
    std::vector<std::string> lines(502, "SET MEMO_1 MEMO_1 + 1");
    EXPECT_FALSE(macros.StartMacros(lines));
    EXPECT_FALSE(macros.MacrosActive());
    EXPECT_EQ(macros.Memo[1], 0);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].Text(),
              "Der Makro-Text hat 502 Zeilen; Makros können höchstens 501 Zeilen haben. Die Makros werden nicht gestartet!");
    lines.pop_back();
    EXPECT_TRUE(macros.StartMacros(lines));
    EXPECT_EQ(macros.Memo[1], 501);
}

} // namespace
} // namespace kreisel::test

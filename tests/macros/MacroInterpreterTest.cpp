// Running macros: jumps, conditions, waits, values, indexed names and controls of every kind.
#include "macros/MacroRig.h"

#include "core/ControlFactory.h"
#include "macros/ControlsByName.h"
#include "support/ScratchFiles.h"

namespace kreisel::test {
namespace {

class Interpreter : public MacroRig {};

TEST_F(Interpreter, GotoCountersBoundLoopsAndRearm) {
    struct Case { int count; int runs; };
    for (const Case c : {Case{30, 31}, Case{0, 1}, Case{1, 2}}) {
        const std::string n = std::to_string(c.count);
        ASSERT_TRUE(Start("ON KEY_A\nRUNDE:\nSET MEMO_1 MEMO_1 + 1\nGOTO RUNDE " + n + "\nSET MEMO_2 GOTOCOUNTER\nRETURN"));
        macros.Memo = {};
        EXPECT_TRUE(macros.DispatchKey(38));
        EXPECT_EQ(macros.Memo[1], c.runs) << n;
        EXPECT_EQ(macros.Memo[2], 0) << n; // the counter as read by the last GOTO
        EXPECT_EQ(macros.GotoCount[3], c.count) << "re-armed";
        EXPECT_TRUE(macros.DispatchKey(38));
        EXPECT_EQ(macros.Memo[1], 2 * c.runs) << n;
    }
}

TEST_F(Interpreter, AGotoLoopWithoutWaitCannotHoldTheCoreThread) {
    ASSERT_TRUE(Start("ON KEY_A\nRUNDE:\nSET MEMO_1 1\nGOTO Runde 2000000000\nSET MEMO_2 1\nRETURN"));
    EXPECT_TRUE(macros.DispatchKey(38));
    EXPECT_EQ(macros.Memo[2], 0);
    ASSERT_FALSE(dialogs.Requests().empty());
    const std::string text = dialogs.Requests().back().Text();
    EXPECT_EQ(text.rfind("Makro in Zeile ", 0), 0u) << text;
    EXPECT_NE(text.find(" nach 100000 Schritten ohne WAIT abgebrochen!"), std::string::npos) << text;
    EXPECT_TRUE(macros.MacrosActive()); // only that macro ended
}

TEST_F(Interpreter, IfSkipsToTheNextEndifAndDoesNotNest) {
    auto& rec = make::Switch(window, "SBRecord", "Aufnahme");
    struct Case { const char* body; bool down; int memo1; int memo2; };
    const Case cases[] = {
        {"IF_EQUAL SBRecord\nSET MEMO_1 1\nENDIF\nSET MEMO_2 1", true, 1, 1},
        {"IF_EQUAL SBRecord\nSET MEMO_1 1\nENDIF\nSET MEMO_2 1", false, 0, 1},
        {"IF_NOT SBRecord ON\nSET MEMO_1 1\nENDIF\nSET MEMO_2 1", true, 0, 1},
        // the line after a false IF_ is always skipped, even an ENDIF: skipping runs to the next one
        {"IF_EQUAL SBRecord\nENDIF\nSET MEMO_1 1\nENDIF\nSET MEMO_2 1", false, 0, 1},
        // an inner IF_ is skipped with the rest: the first ENDIF ends the outer one
        {"IF_EQUAL SBRecord\nIF_EQUAL MEMO_3 0\nSET MEMO_1 1\nENDIF\nSET MEMO_2 1\nENDIF", false, 0, 1},
        {"IF_HIGHER 3 2\nSET MEMO_1 1\nENDIF\nIF_LOWER 3 2\nSET MEMO_2 1\nENDIF", false, 1, 0},
        {"IF_MINIMAL 2 2\nSET MEMO_1 1\nENDIF\nIF_MAXIMAL 3 2\nSET MEMO_2 1\nENDIF", false, 1, 0},
        {"IF_EQUAL KEY_A\nSET MEMO_1 1\nENDIF\nIF_EQUAL KEY_B\nSET MEMO_2 1\nENDIF", false, 1, 0},
    };
    host.lastKey.Code = 65;
    for (const Case& c : cases) {
        rec.SetDown(c.down);
        ASSERT_TRUE(Start(std::string("ON KEY_A\n") + c.body + "\nRETURN"));
        macros.Memo = {};
        macros.DispatchKey(38);
        EXPECT_EQ(macros.Memo[1], c.memo1) << c.body;
        EXPECT_EQ(macros.Memo[2], c.memo2) << c.body;
    }
}

TEST_F(Interpreter, EachWaitResumesAtItsEvent) {
    host.tempo = 120;
    ASSERT_TRUE(Start("ON KEY_A\n"
                      "SET MEMO_1 1\nWAIT 500 MS\n"
                      "SET MEMO_1 2\nWAIT 2 BEAT\n"
                      "SET MEMO_1 3\nWAIT 1 SEC\n"
                      "SET MEMO_1 4\nWAIT LOOPEND\n"
                      "SET MEMO_1 5\nWAIT METRONOMTICK\n"
                      "SET MEMO_1 6\nWAIT KEY_B\n"
                      "SET MEMO_1 7\nRETURN"));
    macros.DispatchKey(38);
    EXPECT_EQ(macros.Memo[1], 1);
    const std::int64_t t0 = clock.TickCount();
    auto runUntil = [&](int memo) {
        int ms = 0;
        while (macros.Memo[1] != memo && ms < 5000) {
            clock.Advance(10);
            ms += 10;
            macros.ContinueWaitingMacros();
        }
        return ms;
    };
    EXPECT_EQ(runUntil(2), 510);  // the first block after the deadline
    EXPECT_EQ(runUntil(3), 1010); // 2 beats at 120 bpm
    EXPECT_EQ(runUntil(4), 1010);
    EXPECT_GT(clock.TickCount(), t0);
    // Blocks, ticks and other keys do not resume a loop-end wait.
    clock.Advance(5000);
    macros.ContinueWaitingMacros();
    macros.ContinueWaitingMacrosForMetronomTick();
    EXPECT_FALSE(macros.ContinueWaitingMacrosForKey(39));
    EXPECT_EQ(macros.Memo[1], 4);
    EXPECT_TRUE(macros.ContinueWaitingMacrosForLoopend());
    EXPECT_EQ(macros.Memo[1], 5);
    EXPECT_FALSE(macros.ContinueWaitingMacrosForLoopend());
    EXPECT_TRUE(macros.ContinueWaitingMacrosForMetronomTick());
    EXPECT_EQ(macros.Memo[1], 6);
    EXPECT_FALSE(macros.DispatchKey(40)); // C has no macro
    EXPECT_TRUE(macros.DispatchKey(39));
    EXPECT_EQ(macros.Memo[1], 7);
    EXPECT_EQ(macros.TimedWaitCount + macros.LoopEndWaitCount + macros.TickWaitCount + macros.KeyWaitCount, 0);

    // WAITINLOOP waits in place while the audio goes on.
    ASSERT_TRUE(Start("SET MEMO_1 1\nWAITINLOOP 200\nSET MEMO_1 2"));
    EXPECT_EQ(macros.Memo[1], 2);
    EXPECT_GE(pump.BlocksFed(), 20);
}

TEST_F(Interpreter, PausedMacrosNeitherRunNorResumeAndStartUpWaitsWork) {
    ASSERT_TRUE(Start("ON KEY_A\nSET MEMO_1 1\nRETURN\nSET MEMO_2 1\nWAIT LOOPEND\nSET MEMO_2 2"));
    EXPECT_EQ(macros.Memo[2], 1);
    macros.TogglePause();
    EXPECT_FALSE(macros.DispatchKey(38));
    EXPECT_FALSE(macros.ContinueWaitingMacrosForLoopend());
    EXPECT_EQ(macros.Memo[1], 0);
    macros.TogglePause();
    EXPECT_TRUE(macros.ContinueWaitingMacrosForLoopend());
    EXPECT_EQ(macros.Memo[2], 2);
    macros.StopMacros();
    EXPECT_FALSE(macros.DispatchKey(38));
}

TEST_F(Interpreter, ValuesOperatorsAndVariables) {
    auto& bpm = make::Slider(window, "TBMetronomBPM", 30, 240, 120);
    host.engine["MAXLOOP"] = 3;
    struct Case { const char* statement; int memo1; };
    // Division halves to the even neighbour; an operator without operand is ignored.
    const Case cases[] = {
        {"SET MEMO_1 7 * 6", 42},         {"SET MEMO_1 7 / 2", 4},
        {"SET MEMO_1 5 / 2", 2},          {"SET MEMO_1 -9 + 2", -7},
        {"SET MEMO_1 1 -", 1},            {"SET MEMO_1 TBMetronomBPM", 120},
        {"SET MEMO_1 TBMetronomBPM + 5", 125}, {"SET MEMO_1 TBMetronomBPM MAX", 240},
        {"SET MEMO_1 TBMetronomBPM MIN - 10", 20}, {"SET MEMO_1 MAXLOOP * MAXLOOP", 9},
        {"SET MEMO_1 KEY_A", 65},         {"SET MEMO_1 ON", 1},
        {"SET MEMO_1 MEMO_100 + 3", 3},   {"SET MEMO_1 RANDOM 1", 0}};
    for (const Case& c : cases) {
        ASSERT_TRUE(Start(std::string("SET MEMO_1 -1\n") + c.statement)) << c.statement;
        EXPECT_EQ(macros.Memo[1], c.memo1) << c.statement;
    }
    EXPECT_EQ(bpm.Position(), 120);
    ASSERT_TRUE(Start("SET MEMO_X 4\nSET MEMO_Y MEMO_X * 2\nSET MEMO_Z MEMO_Y - MEMO_X\nSET MEMO_101 5"));
    EXPECT_EQ(macros.MemoZ, 4);
    // Division by zero and unknown names fail the statement.
    const std::size_t before = macros.Errors().size();
    ASSERT_TRUE(Start("SET MEMO_1 1 / 0"));
    EXPECT_EQ(macros.Errors().size(), before + 2); // when the start checks it, and when it runs
    EXPECT_EQ(dialogs.Requests().back().Text(), "Fehler in Zeile \"SET MEMO_1 1 / 0\" !");
    host.stopOnErrors = false;
    ASSERT_TRUE(Start("SET Niemand 1\nSET MEMO_2 1"));
    EXPECT_EQ(macros.Memo[2], 1); // ignored, the macro goes on
}

TEST_F(Interpreter, SetOperatesEveryKindOfControlAsAUserWould) {
    int clicks = 0, changes = 0;
    auto count = [&](Control& c) {
        c.SetOnClick([&](Control&) { ++clicks; });
        c.SetOnChange([&](Control&) { ++changes; });
        return &c;
    };
    Control* metro = count(make::Switch(window, "SBMetronom", "M"));
    Control* stop = count(make::Button(window, "ButtonStop", "Stop"));
    Control* box = count(make::Check(window, "CBUsePrepareTime", "V", false));
    Control* field = count(make::Number(window, "SEFixMaxLoopNr", 1, 32, 3));
    Control* amp = count(make::Slider(window, "TBAmpLeft_A1", 0, 16, 4));
    Control* level = count(make::Slider(window, "TBInpLevel", 0, 120, 38));
    level->SetOrientation(Orientation::Vertical);
    Control* combo = count(window.Add("ComboBoxInputMode", ControlKind::ComboBox));
    combo->SetItems({"Stereo", "Mono L", "Mono R", "Mono L+R"});
    Control* menu = count(window.Add("PMShowOtherDisplays", ControlKind::MenuEntry));
    menu->SetAutoCheck(true);
    Control* off = count(make::Switch(window, "SBGenerator", "G"));
    off->SetEnabled(false);

    struct Case {
        const char* statement;
        Control* control;
        int value; // as macros read it afterwards
        int clicks;
        int changes;
    };
    const Case cases[] = {
        {"SET SBMetronom", metro, 1, 1, 1},       // toggles
        {"SET SBMetronom ON", metro, 1, 1, 0},    // already down: still clicked
        {"SET SBMetronom INV", metro, 0, 1, 1},
        {"SET ButtonStop", stop, 0, 1, 0},
        {"SET CBUsePrepareTime ON", box, 1, 0, 1},
        {"SET CBUsePrepareTime ON", box, 1, 0, 0}, // no change, no action
        {"SET CBUsePrepareTime", box, 0, 0, 1},
        {"SET SEFixMaxLoopNr 7", field, 7, 0, 1},
        {"SET SEFixMaxLoopNr + 1", field, 8, 0, 1},
        {"SET TBAmpLeft_A1 MAX", amp, 12, 0, 1},  // max - zero
        {"SET TBAmpLeft_A1 ZERO", amp, 0, 0, 1},
        {"SET TBAmpLeft_A1 -2", amp, -2, 0, 1},
        {"SET TBInpLevel 3", level, 3, 0, 1},    // vertical: position 35
        {"SET TBInpLevel MIN", level, -82, 0, 1},
        {"SET ComboBoxInputMode 2", combo, 2, 0, 1},
        {"SET PMShowOtherDisplays ON", menu, 1, 1, 1},
        {"SET PMShowOtherDisplays ON", menu, 1, 0, 0},
        {"SET PMShowOtherDisplays", menu, 0, 1, 1},
        {"SET SBGenerator ON", off, 0, 0, 0},     // disabled: nothing, no error
    };
    for (const Case& c : cases) {
        clicks = changes = 0;
        ASSERT_TRUE(Start(c.statement)) << c.statement;
        EXPECT_EQ(MacroControlValue(*c.control, PropValue), c.value) << c.statement;
        EXPECT_EQ(clicks, c.clicks) << c.statement;
        EXPECT_EQ(changes, c.changes) << c.statement;
    }
    EXPECT_EQ(level->Position(), 120);
    EXPECT_TRUE(macros.Errors().empty());
}

TEST_F(Interpreter, IndexedNamesRunOverTheLoopsOfGroups) {
    host.loopNames = {"A1", "A2", "B1"};
    host.maxLoopCount = 5;
    const char* rows[] = {"A1", "A2", "B1", "4", "5"};
    std::vector<Control*> amp, mark;
    for (const char* r : rows) {
        amp.push_back(&make::Slider(window, (std::string("TBAmpLeft_") + r).c_str(), 0, 16, 8));
        mark.push_back(&make::Switch(window, (std::string("SBLoopMarker_") + r).c_str(), r));
    }
    auto positions = [&] {
        std::string s;
        for (Control* c : amp)
            s += std::to_string(c->Position()) + " ";
        return s;
    };
    struct Case {
        int activeGroup; // ACTGROUP
        const char* statement;
        const char* after;
    };
    const Case cases[] = {
        {1, "SET TBAmpLeft_%* - 1", "7 7 7 7 7 "},  // every slot, empty ones by number
        {1, "SET TBAmpLeft_@* - 1", "7 7 8 8 8 "},  // the active group's loops
        {2, "SET TBAmpLeft_@* - 1", "8 8 7 8 8 "},
        {1, "SET TBAmpLeft_B* 0", "8 8 4 8 8 "},
        {1, "SET TBAmpLeft_%1 1", "5 8 5 8 8 "},    // loop 1 of every group
        {2, "SET TBAmpLeft_@2 1", "8 8 8 8 8 "},    // B2 does not exist: dropped without a message
        {1, "SET TBAmpLeft_@@ 2", "8 8 6 8 8 "},    // the marked loop
        {1, "SET TBAmpLeft_ 1", "5 5 8 8 8 "},      // a bare prefix means the active group
    };
    for (const Case& c : cases) {
        for (Control* a : amp)
            a->SetPosition(8);
        host.engine["ACTGROUP"] = c.activeGroup;
        ASSERT_TRUE(Start(c.statement)) << c.statement;
        EXPECT_EQ(positions(), c.after) << c.statement;
    }
    EXPECT_TRUE(macros.Errors().empty());

    // Conditions hold for every slot taken; MEMOARRAY rows keep one entry per slot.
    mark[0]->SetDown(true);
    mark[1]->SetDown(true);
    ASSERT_TRUE(Start("ON KEY_A\nIF_EQUAL SBLoopMarker_A* ON\nSET MEMO_1 1\nENDIF\n"
                      "IF_EQUAL SBLoopMarker_%* ON\nSET MEMO_2 1\nENDIF\n"
                      "SET MEMOARRAY_3 TBAmpLeft_%*\n"
                      "SET TBAmpLeft_%* MEMOARRAY_3 + 1\n"
                      "SET MEMO_X 2\nSET TBAmpLeft_AMEMO_X 3\nRETURN"));
    macros.DispatchKey(38);
    EXPECT_EQ(macros.Memo[1], 1);
    EXPECT_EQ(macros.Memo[2], 0);
    EXPECT_EQ(macros.MemoArray[3][1], 1); // each slot's own value (position - zero)
    EXPECT_EQ(macros.MemoArray[3][3], 4);
    EXPECT_EQ(positions(), "6 7 9 9 9 ");
}

TEST_F(Interpreter, DisplayLoadLoopsetAndEngineValues) {
    host.engine["MAXLOOP"] = 3;
    ASSERT_TRUE(Start("DISPLAY Loop MAXLOOP # Kommentar\nDISPLAY Gruppe ACTGROUP von MAXLOOP"));
    EXPECT_EQ(host.shown, (std::vector<std::string>{"Loop 3", "Gruppe 1 von 3"}));

    ASSERT_TRUE(Start("SET ACTGROUP 2\nSET MAXLOOP 1\nSET ACTSMPPOS 0\nSET RECLOOP 2"));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"ACTGROUP=2", "MAXLOOP=1", "ACTSMPPOS=0", "RECLOOP=2"}));

    // A missing file asks whether to go on; an existing one resets, stops the macros and loads.
    host.calls.clear();
    dialogs.Answer(DialogResult::Ok); // the parser's message
    dialogs.Answer(DialogResult::Cancel);
    ASSERT_TRUE(Start("LOAD_LOOPSET Fehlt\nSET MEMO_1 1"));
    EXPECT_EQ(dialogs.Requests().back().Text(), "\"LOAD_LOOPSET Fehlt\":\r\nDatei \"Fehlt.lps\" nicht gefunden! Ignorieren? ");
    EXPECT_EQ(dialogs.Requests().back().question.timeoutMs, 3000);
    EXPECT_EQ(macros.Memo[1], 0);

    ScratchFolder scratch("loopset");
    const std::string dir = scratch.Path();
    host.folder = dir;
    WriteBytes(dir + "/Take.lps", "[Options]\n");
    ASSERT_FALSE(Start("SET MEMO_1 1\nLOAD_LOOPSET Take\nSET MEMO_2 1"));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"ResetAll", "LoadSession " + dir + "/Take.lps"}));
    EXPECT_EQ(macros.Memo[1], 0); // variables cleared by the reset
    EXPECT_EQ(macros.Memo[2], 0);
    EXPECT_FALSE(macros.MacrosActive());
}

} // namespace
} // namespace kreisel::test

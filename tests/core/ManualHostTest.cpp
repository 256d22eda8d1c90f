// The test doubles other tests rely on: timer order on the manual clock, the stepping event pump
// and the scripted dialogs' bookkeeping.
#include <string>
#include <vector>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "support/ManualHost.h"

namespace kreisel {
namespace {

TEST(ManualClock, FiresDueTimersInTimeOrderAtTheirOwnTime) {
    ManualClock clock(1000);
    std::vector<std::string> log;
    auto note = [&](std::string what) { log.push_back(what + "@" + std::to_string(clock.TickCount())); };
    clock.Start(30, false, [&] { note("once30"); });
    int periodic = clock.Start(20, true, [&] { note("every20"); });
    clock.Start(20, false, [&] { note("once20"); }); // same due as the periodic one, armed later

    clock.Advance(19);
    EXPECT_TRUE(log.empty());
    clock.Advance(31);
    EXPECT_EQ(log, (std::vector<std::string>{"every20@1020", "once20@1020", "once30@1030", "every20@1040"}));
    EXPECT_EQ(clock.TickCount(), 1050);
    EXPECT_EQ(clock.ActiveCount(), 1u);
    EXPECT_EQ(clock.NextDue(), 1060);

    clock.Stop(periodic);
    clock.Stop(periodic); // harmless
    clock.Stop(0);
    clock.Advance(-5);
    EXPECT_EQ(clock.TickCount(), 1050);
    clock.Advance(100);
    EXPECT_EQ(log.size(), 4u);
}

TEST(ManualClock, CallbacksMayStartAndStopTimers) {
    ManualClock clock;
    std::vector<std::string> log;
    int periodic = 0;
    int victim = 0;
    periodic = clock.Start(10, true, [&] {
        log.push_back("tick@" + std::to_string(clock.TickCount()));
        if (clock.TickCount() == 20) clock.Stop(periodic); // stops itself
    });
    victim = clock.Start(15, false, [&] { log.push_back("victim"); });
    clock.Start(5, false, [&] {
        clock.Stop(victim);
        clock.Start(3, false, [&] { log.push_back("child@" + std::to_string(clock.TickCount())); });
    });
    clock.Advance(100);
    EXPECT_EQ(log, (std::vector<std::string>{"child@8", "tick@10", "tick@20"}));
    EXPECT_FALSE(clock.IsActive(periodic));
    EXPECT_EQ(clock.ActiveCount(), 0u);

    // A zero interval still moves time on, so a periodic timer cannot stall the clock.
    int fired = 0;
    clock.Start(0, true, [&] { ++fired; });
    clock.Advance(5);
    EXPECT_EQ(fired, 5);
}

TEST(ManualClock, NestedAdvanceDoesNotRefireTheRunningTimer) {
    ManualClock clock;
    int outer = 0, other = 0;
    clock.Start(10, true, [&] {
        if (++outer == 1) clock.Advance(25); // a waiting loop inside a timer callback
    });
    clock.Start(15, false, [&] { ++other; });
    clock.Advance(10);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(other, 1);
    EXPECT_EQ(clock.TickCount(), 35);
    clock.Advance(0); // the periodic timer is overdue (20, 30) and catches up now
    EXPECT_EQ(outer, 3);
}

TEST(ManualEventPump, StepsTheClockAndFeedsOneBlockPerStep) {
    ManualClock clock;
    ManualEventPump pump(clock, 23);
    int blocks = 0;
    std::vector<std::int64_t> blockTimes;
    pump.SetFeed([&] {
        ++blocks;
        blockTimes.push_back(clock.TickCount());
    });
    int timerFired = 0;
    clock.Start(30, false, [&] { timerFired = static_cast<int>(clock.TickCount()); });

    pump.ProcessPendingEvents();
    pump.ProcessPendingEvents();
    EXPECT_EQ(blockTimes, (std::vector<std::int64_t>{23, 46}));
    EXPECT_EQ(timerFired, 30);

    pump.WaitForEvents(10); // not yet at the next block
    EXPECT_EQ(clock.TickCount(), 56);
    EXPECT_EQ(blocks, 2);
    pump.WaitForEvents(100); // only up to the block
    EXPECT_EQ(clock.TickCount(), 69);
    EXPECT_EQ(blocks, 3);
    pump.WaitForEvents(0);
    EXPECT_EQ(clock.TickCount(), 70);
    EXPECT_EQ(pump.Calls(), 5);
    EXPECT_EQ(pump.BlocksFed(), 3);
}

TEST(ScriptedDialogs, AnswersInOrderAndRecordsTheWording) {
    ScriptedDialogs dialogs;
    dialogs.Answer(DialogResult::Yes);
    dialogs.AnswerTimeout();
    dialogs.AnswerOpen({"/a.wav", "/b.wav"});
    dialogs.AnswerSave(std::nullopt);
    dialogs.AnswerFolder("/home/x");

    EXPECT_EQ(dialogs.Ask({"Kreisel", "Aufnahmen speichern?", DialogButtons::YesNoCancel}),
              DialogResult::Yes);
    Question timed{"Kreisel", "Datei überschreiben?", DialogButtons::OkNoCancel, DialogResult::No, 5000};
    EXPECT_EQ(dialogs.Ask(timed), DialogResult::No);
    FileDialogOptions open;
    open.title = "WAV laden";
    open.allowMultiple = true;
    EXPECT_EQ(dialogs.OpenFiles(open), (std::vector<std::string>{"/a.wav", "/b.wav"}));
    EXPECT_EQ(dialogs.SaveFile({.title = "Controls speichern"}), std::nullopt);
    EXPECT_EQ(dialogs.SelectFolder("Ordner", "/"), "/home/x");
    dialogs.ShowMessage("Fertig.");

    ASSERT_EQ(dialogs.Requests().size(), 6u);
    EXPECT_EQ(dialogs.Requests()[1].question.timeoutMs, 5000);
    EXPECT_EQ(dialogs.Requests()[3].kind, ScriptedDialogs::Kind::Save);
    EXPECT_TRUE(dialogs.WasShown("überschreiben?"));
    EXPECT_TRUE(dialogs.WasShown("Fertig."));
    EXPECT_FALSE(dialogs.WasShown("Abbrechen"));
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);
}

TEST(ScriptedDialogs, ScriptMistakesFailTheTest) {
    ScriptedDialogs dialogs;
    DialogResult result = DialogResult::Ok;
    EXPECT_NONFATAL_FAILURE(result = dialogs.Ask({"Kreisel", "Neu starten?", DialogButtons::YesNo}),
                            "unscripted question");
    EXPECT_EQ(result, DialogResult::Cancel);

    dialogs.Answer(DialogResult::Ok);
    EXPECT_NONFATAL_FAILURE(result = dialogs.Ask({"Kreisel", "Weiter?", DialogButtons::YesNo}),
                            "not a button of the box");
    EXPECT_EQ(result, DialogResult::Cancel);

    dialogs.Answer(DialogResult::Ok);
    std::vector<std::string> files{"x"};
    EXPECT_NONFATAL_FAILURE(files = dialogs.OpenFiles({.title = "Laden"}), "asked: open dialog");
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(dialogs.PendingAnswers(), 1u);

    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs leftover;
            leftover.AnswerSave("/x.lps");
        },
        "never asked for");
    EXPECT_EQ(dialogs.Ask({"Kreisel", "Ok?", DialogButtons::OkCancel}), DialogResult::Ok); // consume the Ok
}

} // namespace
} // namespace kreisel

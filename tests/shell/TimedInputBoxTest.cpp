// The timed box on the manual clock: countdown and colour, answers by button, focus and
// time-out, pausing, and the questions of the Dialogs service.
#include "shell/TimedInputBox.h"

#include "forms/TFormTimedInput.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <functional>

namespace kreisel::test {
namespace {

struct TimedInputBoxTest : ::testing::Test {
    ManualClock clock;
    ManualEventPump pump{clock, 10};
    TFormTimedInput form;
    TimedInputBox box{form, clock, clock, pump};

    // Something that happens while the box waits, ms after now.
    void At(int ms, std::function<void()> what) { clock.Start(ms, false, std::move(what)); }
    struct Seen {
        std::string seconds;
        bool red = false;
    };
    Seen Look() const { return {form.LabelTimeSec.Text(), form.PanelTime.Color().has_value()}; }
};

TEST_F(TimedInputBoxTest, CountsDownTurnsRedAndAnswersWithTheDefault) {
    std::vector<Seen> seen;
    bool shown = false;
    for (int t : {50, 2950, 3050, 5550, 6550, 7950})
        At(t, [&] { seen.push_back(Look()); });
    At(10, [&] {
        shown = form.Visible() && form.PanelTime.Visible() && form.ButtonNo.Visible() &&
                !form.ButtonCancel.Visible() && form.Caption() == "Meldung";
    });
    EXPECT_EQ(box.TimedOkNo("Weiter?", 8000, TimedNo), TimedNo);
    EXPECT_EQ(clock.TickCount(), 8000);
    EXPECT_TRUE(shown);
    ASSERT_EQ(seen.size(), 6u);
    // Whole seconds, halves to even: 2.5 s and 1.5 s both show 2.
    const char* seconds[] = {"8", "5", "5", "2", "2", "0"};
    const bool red[] = {false, false, true, true, true, true};
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].seconds, seconds[i]) << i;
        EXPECT_EQ(seen[i].red, red[i]) << i;
    }
    EXPECT_TRUE(box.Warned());
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(clock.ActiveCount(), 0u) << "countdown stopped";

    // Nobody answers a message: OK after its time, with no time left.
    EXPECT_FALSE(box.TimedMessage("Zeile ignoriert", 5000));
    EXPECT_EQ(clock.TickCount(), 13000);
}

TEST_F(TimedInputBoxTest, ButtonsOrTheFocusAnswerAndTheTimeLeftComesBack) {
    // The focus moved to Cancel answers when the time runs out.
    At(500, [&] { form.Focused = &form.ButtonCancel; });
    EXPECT_EQ(box.TimedOkNoCancel("Speichern?", 3000, TimedNo), TimedCancel);
    EXPECT_EQ(clock.TickCount(), 3000);

    At(1500, [&] { form.ButtonNo.UserClick(); });
    int remaining = 10000;
    EXPECT_EQ(box.Show(ShowOk | ShowNo, "Kreisel", "Frage?", TimedOk, remaining), TimedNo);
    EXPECT_EQ(remaining, 8500);
    EXPECT_EQ(form.Caption(), "Kreisel");

    At(1000, [&] { form.ButtonOk.UserClick(); });
    EXPECT_TRUE(box.TimedMessage("Gespeichert", 5000));

    // Without time there is no countdown: the box waits for a button.
    bool panel = true;
    At(10, [&] { panel = form.PanelTime.Visible(); });
    At(600000, [&] { form.ButtonOk.UserClick(); });
    const int64_t before = clock.TickCount();
    EXPECT_EQ(box.TimedOkNo("Weiter?", 0, TimedNo), TimedOk);
    EXPECT_FALSE(panel);
    EXPECT_EQ(clock.TickCount() - before, 600000);
}

TEST_F(TimedInputBoxTest, ClickOnTheTimePausesAndResumesWithTenSecondsAtLeast) {
    std::string whilePaused;
    At(1050, [&] { form.PanelTime.UserClick(); });
    At(20000, [&] { whilePaused = form.LabelTimeSec.Text() + (box.Paused() ? " paused" : ""); });
    At(30050, [&] { form.LabelTimeSec.UserClick(); });
    EXPECT_EQ(box.TimedOkCancel("Abbrechen?", 6000, TimedOk), TimedOk);
    EXPECT_EQ(whilePaused, "(gestoppt) paused");
    EXPECT_EQ(clock.TickCount(), 40050);
}

TEST_F(TimedInputBoxTest, DialogQuestionsRunThroughTheBox) {
    ScriptedDialogs others; // nothing but questions is asked here
    TimedBoxDialogs dialogs(box, others);
    Question q{.caption = "Kreisel",
               .text = "Loops löschen?",
               .buttons = DialogButtons::YesNo,
               .defaultResult = DialogResult::No,
               .timeoutMs = 2000};
    EXPECT_EQ(dialogs.Ask(q), DialogResult::No);
    At(100, [&] { form.ButtonOk.UserClick(); });
    EXPECT_EQ(dialogs.Ask(q), DialogResult::Yes);
    At(100, [&] { box.Close(); });
    EXPECT_EQ(dialogs.Ask(q), DialogResult::Cancel);

    // A question raised while a box is open takes its own default at once and leaves the open
    // box's answer alone.
    DialogResult inner = DialogResult::None;
    Question nested{.text = "Noch eine?",
                    .buttons = DialogButtons::OkCancel,
                    .defaultResult = DialogResult::Cancel,
                    .timeoutMs = 9000};
    At(500, [&] { inner = dialogs.Ask(nested); });
    q.defaultResult = DialogResult::Yes;
    EXPECT_EQ(dialogs.Ask(q), DialogResult::Yes);
    EXPECT_EQ(inner, DialogResult::Cancel);
    EXPECT_EQ(clock.TickCount(), 4200);
}

} // namespace
} // namespace kreisel::test

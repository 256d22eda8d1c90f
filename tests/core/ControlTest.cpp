// Named controls: lookup and renaming, when actions run, group rules, and the values macros read
// and set.
#include <array>
#include <climits>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Control.h"
#include "core/Form.h"

namespace kreisel {
namespace {

TEST(ControlNames, ZeroPositionFollowsTheNameAndCanBeOverridden) {
    // only the two mixer level sliders sit at 38
    EXPECT_EQ((std::array{TrackBarNorm("TBInpLevel"), TrackBarNorm("tboutlevel"), TrackBarNorm("TBAmpLeft_A1"),
                          TrackBarNorm("TBPanRight_7"), TrackBarNorm("TBMetronomBPM"), TrackBarNorm("TBInpLevel2")}),
              (std::array{38, 38, 4, 8, 0, 0}));

    Control slider("TBPanLeft_3", ControlKind::Slider);
    slider.SetZeroPosition(2);
    EXPECT_EQ(slider.ZeroPosition(), 2);
    slider.SetZeroPosition(std::nullopt);
    EXPECT_EQ(slider.ZeroPosition(), 8);
}

TEST(ControlNames, LookupIgnoresCaseAndRenamingMovesTheName) {
    Form loops("FormLoops");
    Control& amp = loops.Add("TBAmpLeft_3", ControlKind::Slider);
    Control& other = loops.Add("TBAmpLeft_4", ControlKind::Slider);
    EXPECT_EQ(loops.Find("tbampleft_3"), &amp);
    EXPECT_EQ(loops.Find("TBAMPLEFT_4"), &other);
    EXPECT_EQ(loops.Find("TBAmpLeft_5"), nullptr);
    EXPECT_THROW(loops.Add("tbAMPleft_3", ControlKind::Slider), std::invalid_argument);

    ASSERT_TRUE(loops.Rename(amp, "TBAmpLeft_B1"));
    EXPECT_EQ(loops.Find("TBAMPLEFT_B1"), &amp);
    EXPECT_EQ(loops.Find("TBAmpLeft_3"), nullptr);
    EXPECT_EQ(amp.Name(), "TBAmpLeft_B1");

    EXPECT_FALSE(loops.Rename(other, "tbampleft_b1")); // taken
    EXPECT_EQ(loops.Find("TBAmpLeft_4"), &other);
    EXPECT_TRUE(loops.Rename(amp, "TBAMPLEFT_B1")); // its own name in other case
    EXPECT_EQ(loops.Find("tbampleft_b1"), &amp);
    EXPECT_FALSE(loops.Rename(amp, ""));

    Form foreign("Other");
    EXPECT_FALSE(foreign.Rename(amp, "X"));
    EXPECT_EQ(foreign.Find("X"), nullptr);

    // A former name is free again for another control.
    EXPECT_TRUE(loops.Rename(other, "TBAmpLeft_3"));
    EXPECT_EQ(loops.Find("TBAmpLeft_3"), &other);
    EXPECT_EQ(&loops.ControlAt(0), &amp); // creation order is kept
}

TEST(ControlNames, RegistrySearchesFormsInOrder) {
    Form main("FormKreisel"), mixer("FormLoops");
    Control& inMain = main.Add("Shared", ControlKind::Label);
    mixer.Add("shared", ControlKind::Label);
    Control& onlyMixer = mixer.Add("TBInpLevel", ControlKind::Slider);
    FormRegistry registry;
    EXPECT_TRUE(registry.Add(main));
    EXPECT_TRUE(registry.Add(mixer));
    EXPECT_FALSE(registry.Add(main));
    EXPECT_EQ(registry.FindControlByName("SHARED"), &inMain);
    EXPECT_EQ(registry.FindControlByName("tbinplevel"), &onlyMixer);
    EXPECT_EQ(registry.FindControlByName("Nothing"), nullptr);
    EXPECT_EQ(registry.FindForm("formloops"), &mixer);
}

TEST(ControlActions, ChangeRunsOnlyOnARealChange) {
    Form form("F");
    Control& slider = form.Add("TBMetroLevel", ControlKind::Slider);
    slider.SetRange(0, 20);
    std::vector<int> seen;
    slider.SetOnChange([&](Control& c) { seen.push_back(c.Position()); });
    slider.SetPosition(5);
    slider.SetPosition(5);
    slider.SetPosition(99); // clamped to 20
    slider.SetPosition(25); // still 20: no change
    slider.SetRange(0, 10); // pulls the position in
    EXPECT_EQ(seen, (std::vector<int>{5, 20, 10}));

    Control& combo = form.Add("CBInputMode", ControlKind::ComboBox);
    combo.SetItems({"Stereo", "Mono L", "Mono R"});
    combo.SetItemIndex(2);
    EXPECT_EQ(combo.ItemIndex(), 2);
    combo.SetItemIndex(3);
    EXPECT_EQ(combo.ItemIndex(), -1);
    combo.SetItemIndex(1);
    combo.SetItems({"Stereo"});
    EXPECT_EQ(combo.ItemIndex(), -1);

    Control& spin = form.Add("SEUnbounded", ControlKind::NumberField); // no range: a spin edit's "no limit"
    spin.SetValue(-12345);
    EXPECT_EQ(spin.Value(), -12345);
}

TEST(ControlActions, SuppressedControlsChangeSilently) {
    Form form("F");
    Control& box = form.Add("CBX", ControlKind::CheckBox);
    Control& button = form.Add("SBX", ControlKind::SwitchButton);
    int actions = 0;
    box.SetOnChange([&](Control&) { ++actions; });
    button.SetOnClick([&](Control&) { ++actions; });
    {
        SuppressActions quiet(box);
        box.SetChecked(true);
        button.UserClick(); // not covered by the guard
    }
    EXPECT_TRUE(box.Checked());
    EXPECT_EQ(actions, 1);
    {
        SuppressActions quiet(form);
        SuppressActions nested(form);
        box.SetChecked(false);
        button.UserClick();
    }
    EXPECT_FALSE(box.Checked());
    EXPECT_FALSE(button.Down());
    EXPECT_EQ(actions, 1);
    box.SetChecked(true);
    EXPECT_EQ(actions, 2);
}

TEST(ControlActions, UserClickTogglesThenClicksAndDisabledIgnoresIt) {
    Form form("F");
    Control& box = form.Add("CBContinuousRecordingLoops", ControlKind::CheckBox);
    std::vector<std::string> log;
    box.SetOnChange([&](Control& c) { log.push_back(c.Checked() ? "change on" : "change off"); });
    box.SetOnClick([&](Control& c) { log.push_back(c.Checked() ? "click on" : "click off"); });
    box.UserClick();
    EXPECT_EQ(log, (std::vector<std::string>{"change on", "click on"}));

    log.clear();
    box.SetEnabled(false);
    box.UserClick();
    box.UserSetValue(0);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(box.Checked());
    box.SetChecked(false); // the program may still change a disabled control
    EXPECT_FALSE(box.Checked());

    Control& slider = form.Add("TBPrepareTime", ControlKind::Slider);
    slider.SetEnabled(false);
    slider.UserSetValue(7);
    EXPECT_EQ(slider.Position(), 0);
    slider.SetEnabled(true);
    slider.UserSetValue(7);
    EXPECT_EQ(slider.Position(), 7);

    Control& entry = form.Add("MIMouseHelp", ControlKind::MenuEntry);
    entry.SetAutoCheck(true);
    entry.UserClick();
    EXPECT_TRUE(entry.Checked());
}

TEST(ControlActions, SwitchButtonGroupsBehaveLikeSpeedButtons) {
    Form form("F");
    Control &a = form.Add("SBA", ControlKind::SwitchButton), &b = form.Add("SBB", ControlKind::SwitchButton);
    Control &c = form.Add("SBC", ControlKind::SwitchButton), &free = form.Add("SBFree", ControlKind::SwitchButton);
    for (Control* s : {&a, &b, &c})
        s->SetGroupIndex(1);
    int clicks = 0;
    a.SetOnClick([&](Control&) { ++clicks; });

    a.UserClick();
    b.UserClick();
    EXPECT_FALSE(a.Down());
    EXPECT_TRUE(b.Down());
    b.UserClick(); // no AllowAllUp: a pressed member stays down
    EXPECT_TRUE(b.Down());
    b.SetDown(false);
    EXPECT_TRUE(b.Down());
    c.SetDown(true); // the program pressing one releases the others too
    EXPECT_FALSE(b.Down());
    EXPECT_EQ(clicks, 1);

    for (Control* s : {&a, &b, &c})
        s->SetAllowAllUp(true);
    c.UserClick();
    EXPECT_FALSE(a.Down() || b.Down() || c.Down());

    free.UserClick();
    free.UserClick();
    c.UserClick();
    EXPECT_FALSE(free.Down()); // group 0 toggles on its own and is in no group
    free.UserClick();
    EXPECT_TRUE(free.Down() && c.Down());

    Control& r1 = form.Add("RB1", ControlKind::RadioButton);
    Control& r2 = form.Add("RB2", ControlKind::RadioButton);
    r1.UserClick();
    r2.UserClick();
    EXPECT_FALSE(r1.Checked());
    EXPECT_TRUE(r2.Checked());
}

TEST(ControlValue, SlidersReadRelativeToTheirZero) {
    Form form("FormLoops");
    Control& amp = form.Add("TBAmpLeft_A1", ControlKind::Slider);
    amp.SetRange(0, 16);
    amp.SetPosition(4);
    EXPECT_EQ((std::array{GetControlValue(amp, PropValue), GetControlValue(amp, PropMin),
                          GetControlValue(amp, PropMax), GetControlValue(amp, PropZero)}),
              (std::array{0, -4, 12, 0}));
    SetControlValue(amp, GetControlValue(amp, PropMax), false);
    EXPECT_EQ(amp.Position(), 16);
    EXPECT_EQ(GetControlValue(amp, PropNow), 12);
    SetControlValue(amp, 16, false); // beyond the end: clamped, not z + v
    EXPECT_EQ(amp.Position(), 16);

    Control& level = form.Add("TBInpLevel", ControlKind::Slider);
    level.SetOrientation(Orientation::Vertical);
    level.SetRange(0, 120);
    level.SetPosition(38 + 3);
    EXPECT_EQ((std::array{GetControlValue(level, PropValue), GetControlValue(level, PropMin),
                          GetControlValue(level, PropMax)}),
              (std::array{-3, 38 - 120, 38}));
    SetControlValue(level, 10, false);
    EXPECT_EQ(level.Position(), 28);
    EXPECT_EQ(GetControlValue(level, PropValue), 10);

    // Extreme macro values must not overflow on the way to the clamp.
    SetControlValue(level, INT_MIN, false);
    EXPECT_EQ(level.Position(), 120);
    SetControlValue(amp, INT_MAX, false);
    EXPECT_EQ(amp.Position(), 16);
    SetControlValue(amp, INT_MIN, false);
    EXPECT_EQ(amp.Position(), 0);
}

// The statements' own cases (toggle, ON, INV, buttons, boxes, disabled controls) are walked by
// the interpreter's SET table; these are the reads and bounds it does not reach.
TEST(ControlValue, SwitchesReadOneAndFieldsClampToTheirRange) {
    Form form("F");
    Control& sb = form.Add("SBMetronom", ControlKind::SwitchButton);
    sb.SetDown(true);
    for (int p = 0; p <= 4; ++p)
        EXPECT_EQ(GetControlValue(sb, p), 1);
    sb.SetEnabled(false); // refused here too, not only by the interpreter's own check
    SetControlValue(sb, 0, false);
    EXPECT_TRUE(sb.Down());

    Control& field = form.Add("SEFixMaxLoopNr", ControlKind::NumberField);
    field.SetRange(1, 32);
    EXPECT_EQ((std::pair{GetControlValue(field, PropMin), GetControlValue(field, PropMax)}), (std::pair{1, 32}));
    SetControlValue(field, 40, false);
    EXPECT_EQ(field.Value(), 32);
    SetControlValue(field, 0, false);
    EXPECT_EQ(field.Value(), 1);
    // A range given upside down holds its minimum only, and a slider of one position stays there.
    Control& one = form.Add("TBOne", ControlKind::Slider);
    one.SetRange(5, 3);
    one.SetPosition(9);
    EXPECT_EQ((std::pair{one.Max(), one.Position()}), (std::pair{5, 5}));

    Control& combo = form.Add("CBMode", ControlKind::ComboBox);
    combo.SetItems({"a", "b"});
    SetControlValue(combo, 1, false); // not settable by macros
    EXPECT_EQ(combo.ItemIndex(), -1);
}

// Views copy only controls whose revision moved: every change a view shows moves it, a setter
// that changes nothing leaves it, and a group partner released by a press moves too.
TEST(ControlRevision, MovesWithEveryVisibleChangeOnly) {
    Form form("FormTest");
    Control& c = form.Add("CBx", ControlKind::ComboBox);
    Control &a = form.Add("SBa", ControlKind::SwitchButton), &b = form.Add("SBb", ControlKind::SwitchButton);
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"items", [&] { c.SetItems({"eins", "zwei"}); }},
        {"item index", [&] { c.SetItemIndex(1); }},
        {"text", [&] { c.SetText("neu"); }},
        {"assigned text", [&] { c.AssignText("neuer"); }},
        {"hint", [&] { c.SetHint("Hinweis"); }},
        {"enabled", [&] { c.SetEnabled(false); }},
        {"visible", [&] { c.SetVisible(false); }},
        {"colour", [&] { c.SetColor(Rgb{1, 2, 3}); }},
        {"font colour", [&] { c.SetFontColor(Rgb{4, 5, 6}); }},
        {"range", [&] { c.SetRange(0, 9); }},
        {"lines", [&] { c.SetLines({"a"}); }},
        {"orientation", [&] { c.SetOrientation(Orientation::Vertical); }},
        {"down", [&] { c.SetDown(true); }},
        {"name", [&] { form.Rename(c, "CBy"); }},
    };
    for (const auto& [what, change] : changes) {
        uint64_t before = c.Revision();
        change();
        EXPECT_NE(c.Revision(), before) << what;
        before = c.Revision();
        change(); // the same again changes nothing
        EXPECT_EQ(c.Revision(), before) << what << " again";
    }

    a.SetGroupIndex(1);
    b.SetGroupIndex(1);
    a.SetDown(true);
    const uint64_t partner = a.Revision();
    b.SetDown(true);
    EXPECT_FALSE(a.Down());
    EXPECT_NE(a.Revision(), partner);
}

} // namespace
} // namespace kreisel

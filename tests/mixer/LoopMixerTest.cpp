// The loop mixer on the loop window's controls: levels the engine reads, coupling, presets, marks,
// renaming, input mode and the automatic scrolling.
#include "mixer/LoopMixer.h"

#include "engine/LevelTables.h"
#include "forms/TFormLoops.h"

#include <gtest/gtest.h>

#include <memory>

namespace kreisel::test {
namespace {

struct LoopMixerTest : ::testing::Test {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    Engine& e = *engine;
    TFormLoops form;
    LoopMixer mixer{e, form};

    MixerRowControls& Row(int n) { return form.MixerRows[static_cast<size_t>(n)]; }
    const MixerRow& Levels(int n) const { return e.Rows[static_cast<size_t>(n)]; }
    void SetRow(int n, int ampLeft, int ampRight, int panLeft, int panRight) {
        Row(n).AmpLeft->UserSetValue(ampLeft);
        Row(n).AmpRight->UserSetValue(ampRight);
        Row(n).PanLeft->UserSetValue(panLeft);
        Row(n).PanRight->UserSetValue(panRight);
    }
    std::array<int, 4> Positions(int n) {
        return {Row(n).AmpLeft->Position(), Row(n).AmpRight->Position(), Row(n).PanLeft->Position(),
                Row(n).PanRight->Position()};
    }
    // Loops 1..groups.size() with the given groups, group 0 active.
    void Loops(std::initializer_list<int> groups) {
        int m = 0;
        for (int g : groups)
            e.Slots[static_cast<size_t>(++m)].LoopGroup = g;
        e.LoopCount = m;
        e.ActGroupIdx = 0;
    }
};

TEST_F(LoopMixerTest, SlidersGiveTheEngineTheTableLevels) {
    // A fresh row: unity, left source fully left, right source fully right; the input sounds.
    for (int n : {0, 5, 32}) {
        const MixerRow& r = Levels(n);
        EXPECT_EQ((std::array{r.LoopLevelL, r.LoopLevelR, r.LoopLL, r.LoopLR, r.LoopRL, r.LoopRR}),
                  (std::array{0, 0, 0, -1200, -1200, 0}))
            << n;
    }
    EXPECT_TRUE(Levels(0).LoopOn);

    for (auto [position, level] : {std::pair{0, 180}, {4, 0}, {15, -450}, {16, -1200}}) {
        Row(5).AmpLeft->UserSetValue(position);
        EXPECT_EQ(Levels(5).LoopLevelL, level) << position;
    }
    EXPECT_EQ(Levels(5).LoopLevelR, 0);
    for (int p = 0; p <= 16; ++p) {
        Row(5).PanLeft->UserSetValue(p);
        EXPECT_EQ(Levels(5).LoopLL, p <= 8 ? 0 : PanLevelTable[static_cast<size_t>(p)]) << p;
        EXPECT_EQ(Levels(5).LoopLR, p >= 8 ? 0 : PanLevelTable[static_cast<size_t>(16 - p)]) << p;
    }
    Row(5).PanRight->UserSetValue(12);
    EXPECT_EQ((std::array{Levels(5).LoopRL, Levels(5).LoopRR, Levels(4).LoopRL}), (std::array{-120, 0, -1200}))
        << "other rows stay";

    Row(5).AmpRight->UserSetValue(11);
    EXPECT_EQ(form.LabelChanges.Text(), "Loop 5, Verstärkung Rechts:  V =  -21 dB");
    Row(5).PanRight->UserSetValue(0);
    EXPECT_EQ(form.LabelChanges.Text(), "Loop 5, Panorama Rechts:  Links/Rechts = 0 dB / AUS");

    // A macro moves the vertical level slider "up" for more.
    SetControlValue(*form.Find("TBAmpLeft_7"), 3, false);
    EXPECT_EQ(Row(7).AmpLeft->Position(), 1);
    EXPECT_EQ(Levels(7).LoopLevelL, 120);
}

TEST_F(LoopMixerTest, LockedRowsMoveBothSidesTogether) {
    form.CBMixSymm.UserClick();
    ASSERT_TRUE(mixer.MixSymm());
    Row(3).PanLeft->UserSetValue(5);
    EXPECT_EQ(Row(3).PanRight->Position(), 11);
    EXPECT_EQ((std::pair{Levels(3).LoopRL, Levels(3).LoopRR}), (std::pair{-90, 0}));
    EXPECT_EQ(form.LabelChanges.Text(), "Loop 3, Panorama Links:  Links/Rechts = 0 dB / -9 dB");
    Row(3).PanRight->UserSetValue(14);
    EXPECT_EQ(Row(3).PanLeft->Position(), 2);
    Row(3).AmpRight->UserSetValue(7);
    EXPECT_EQ(Row(3).AmpLeft->Position(), 7);
    EXPECT_EQ(Levels(3).LoopLevelL, -90);
    EXPECT_EQ(Positions(4), (std::array{4, 4, 0, 16}));

    form.CBMixSymm.UserClick();
    Row(3).PanLeft->UserSetValue(8);
    EXPECT_EQ(Row(3).PanRight->Position(), 14);
}

TEST_F(LoopMixerTest, PresetButtonsSetEveryRowIncludingTheInput) {
    struct Case { Control* button; std::array<int, 4> expected; };
    const Case cases[] = {
        {&form.ButtonLeftsOn, {4, 6, 3, 13}},    {&form.ButtonRightsOn, {2, 4, 3, 13}},
        {&form.ButtonLeftsOff, {16, 6, 3, 13}},  {&form.ButtonRightsOff, {2, 16, 3, 13}},
        {&form.ButtonOn, {4, 4, 3, 13}},         {&form.ButtonOff, {16, 16, 3, 13}},
        {&form.ButtonSetDefault, {4, 4, 0, 16}}, {&form.ButtonSetInvers, {2, 6, 16, 0}},
        {&form.ButtonSetMono, {2, 6, 8, 8}},     {&form.ButtonSetLeft, {2, 6, 0, 0}},
        {&form.ButtonSetRight, {2, 6, 16, 16}},  {&form.ButtonSetEqual1, {1, 9, 5, 7}},
        {&form.ButtonAllLoopsOn, {2, 6, 3, 13}}};
    form.CBMixSymm.SetChecked(true); // presets must not couple
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button->Name());
        form.CBMixSymm.SetChecked(false);
        for (int n = 0; n <= 32; ++n)
            SetRow(n, 2, 6, 3, 13);
        SetRow(1, 1, 9, 5, 7);
        form.CBMixSymm.SetChecked(true);
        c.button->UserClick();
        for (int n : {0, 17, 32})
            EXPECT_EQ(Positions(n), c.expected) << "row " << n;
        const MixerRow& r = Levels(0);
        EXPECT_EQ(r.LoopLevelR, AmpLevelTable[static_cast<size_t>(c.expected[1])]);
        EXPECT_EQ(r.LoopLL, PanLevelTable[static_cast<size_t>(c.expected[2])]);
        EXPECT_EQ(r.LoopRR, PanLevelTable[static_cast<size_t>(16 - c.expected[3])]);
        EXPECT_TRUE(mixer.MixSymm()) << "coupling comes back";
    }

    // In a mono mode the default centres both panoramas.
    form.ComboBoxInputMode.UserSetValue(1);
    form.ButtonSetDefault.UserClick();
    EXPECT_EQ(Positions(9), (std::array{4, 4, 8, 8}));

    // "Startwerte" loads the default set, then the engine gets the loaded positions.
    mixer.LoadStartValues = [this] {
        SuppressActions quiet(form);
        Row(2).AmpLeft->SetPosition(16);
    };
    form.ButtonSetFromMixFile.UserClick();
    EXPECT_EQ(Levels(2).LoopLevelL, -1200);
}

TEST_F(LoopMixerTest, MarksWaitWhilePlaySwitchesSoundAtOnce) {
    Loops({0, 0, 1});
    form.ButtonAllLoopsOn.UserClick();
    EXPECT_TRUE(Row(1).Marker->Down() && Row(2).Marker->Down());
    EXPECT_FALSE(Row(3).Marker->Down()) << "another group";
    EXPECT_FALSE(Levels(1).LoopOn) << "marks only";
    form.ButtonAllLoopsInv.UserClick();
    EXPECT_FALSE(Row(1).Marker->Down());

    form.SBAllLoopsMarked.UserClick();
    ASSERT_TRUE(form.Rows.AllGroupsShown());
    form.ButtonAllLoopsOn.UserClick();
    EXPECT_TRUE(Row(3).Marker->Down());
    EXPECT_FALSE(Levels(3).LoopOn);
    mixer.TakeOverMarks();
    for (int m : {1, 2, 3}) {
        EXPECT_TRUE(Levels(m).LoopOn) << m;
        EXPECT_TRUE(Row(m).Play->Down()) << m;
        EXPECT_EQ(Row(m).Play->Text(), ">>") << m;
    }

    form.SBAllLoopsMarked.UserClick();
    form.ButtonAllLoopsOff.UserClick();
    Row(3).Marker->SetDown(false);
    mixer.TakeOverMarks();
    EXPECT_FALSE(Levels(1).LoopOn);
    EXPECT_FALSE(Row(2).Play->Down());
    EXPECT_FALSE(Levels(3).LoopOn) << "every loop in use takes its mark, whatever its group";

    // A play switch sounds at once and becomes the mark; the lowering counts it.
    e.Switches.UseLowerOutput = true;
    e.Switches.LowerOutputPerLoop = 10;
    e.AnyChange_LowerOutput();
    const int32_t lowered = e.LowerOutputLevel;
    Row(2).Play->SetEnabled(true);
    Row(2).Play->UserClick();
    EXPECT_TRUE(Levels(2).LoopOn && Row(2).Marker->Down());
    EXPECT_EQ(Row(2).Play->Text(), ">>");
    EXPECT_EQ(e.LowerOutputLevel, lowered + 5);
    Row(0).Play->UserClick();
    EXPECT_FALSE(Levels(0).LoopOn) << "input row off";

    // Clicking a row makes a recorded loop the next to record.
    std::vector<int> activated;
    mixer.ActivateLoop = [&](int loop) { activated.push_back(loop); };
    Row(2).Panel->UserClick();
    Row(3).LabelPanLeft->UserClick();
    Row(4).Panel->UserClick();
    Row(0).Panel->UserClick();
    EXPECT_EQ(activated, (std::vector{2, 3}));
}

TEST_F(LoopMixerTest, RenamedRowIsFoundByTheLoopName) {
    form.Rows.RenameRow(3, "B1");
    for (const char* prefix :
         {"SBLoop_", "SBLoopMarker_", "TBAmpLeft_", "TBAmpRight_", "TBPanLeft_", "TBPanRight_"}) {
        SCOPED_TRACE(prefix);
        EXPECT_NE(form.Find(std::string(prefix) + "b1"), nullptr);
        EXPECT_EQ(form.Find(std::string(prefix) + "3"), nullptr);
    }
    EXPECT_EQ(form.Find("TBAMPLEFT_B1"), Row(3).AmpLeft);
    EXPECT_EQ(form.Find("PBGraph_3"), Row(3).Graph);
    EXPECT_EQ(Row(3).Marker->Text(), "B1");
    SetControlValue(*form.Find("TBAmpLeft_B1"), GetControlValue(*Row(3).AmpLeft, PropMax), false);
    EXPECT_EQ(Levels(3).LoopLevelL, 180);

    // The name moves to another slot: the old holder goes back to its number.
    form.Rows.RenameRow(5, "B1");
    EXPECT_EQ(form.Find("TBPanRight_B1"), Row(5).PanRight);
    EXPECT_EQ(form.Find("TBPanRight_3"), Row(3).PanRight);
    EXPECT_EQ(Row(3).Marker->Text(), "3:");
    form.Rows.RenameRow(5, "5");
    EXPECT_EQ(form.Find("SBLoopMarker_5"), Row(5).Marker);
    EXPECT_EQ(Row(5).Marker->Text(), "5:");
    EXPECT_EQ(Row(0).Marker->Text(), "Inp");
}

TEST_F(LoopMixerTest, InputModeChangeNeedsTheReset) {
    int applied = 0, resets = 0;
    bool allowReset = false;
    mixer.InputModeApplied = [&] { ++applied; };
    mixer.ResetAll = [&] {
        ++resets;
        EXPECT_EQ(e.InputMode, 2) << "the old mode holds while the question is open";
        return allowReset;
    };
    Row(4).AmpRight->UserSetValue(9);

    // While starting up the mode just applies.
    form.ComboBoxInputMode.UserSetValue(2);
    EXPECT_EQ((std::array{e.InputMode, resets, applied}), (std::array{2, 0, 1}));
    EXPECT_FALSE(form.CBMixSymm.Enabled() || form.ButtonRightsOff.Visible() || Row(4).AmpRight->Visible() ||
                 Row(4).PanRight->Visible());
    EXPECT_TRUE(Row(4).PanLeft->Visible());
    EXPECT_EQ(Row(4).AmpRight->Position(), 9) << "kept for the mixer set";

    mixer.Started = true;
    form.ComboBoxInputMode.UserSetValue(0);
    EXPECT_EQ((std::array{resets, form.ComboBoxInputMode.ItemIndex(), e.InputMode, applied}),
              (std::array{1, 2, 2, 1}))
        << "refused: back to the mode in force";

    allowReset = true;
    form.ComboBoxInputMode.UserSetValue(0);
    EXPECT_EQ((std::array{resets, e.InputMode, applied}), (std::array{2, 0, 2}));
    EXPECT_TRUE(form.CBMixSymm.Enabled() && Row(4).AmpRight->Visible());

    // Without a way to reset, recorded loops keep their mode.
    mixer.ResetAll = nullptr;
    e.LoopCount = 2;
    form.ComboBoxInputMode.UserSetValue(3);
    EXPECT_EQ(e.InputMode, 0);
    EXPECT_EQ(form.ComboBoxInputMode.ItemIndex(), 0);
}

TEST_F(LoopMixerTest, ScrollsStepByStepTowardsTheTarget) {
    Loops({0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2});
    mixer.VisibleHeight = 5 * LoopMixer::RowHeight;
    Control& bar = form.ScrollBarLoops;
    ASSERT_EQ(bar.Max(), 33);

    // Group C (rows 10..12) with a margin row: rows 9..13 end up visible, one step per block.
    mixer.SetScrollTarget(2, -1);
    for (int i = 0; i < 8; ++i)
        mixer.StepScrollToGroupIDXOrLoopNr(1);
    EXPECT_EQ(bar.Position(), 9);
    EXPECT_TRUE(mixer.ScrollTargetSet());
    mixer.StepScrollToGroupIDXOrLoopNr(1);
    EXPECT_EQ(mixer.ScrollOffset(), 9 * LoopMixer::RowHeight);
    EXPECT_FALSE(mixer.ScrollTargetSet());
    form.Rows.RenameRow(9, "B5");
    mixer.LayoutRows();
    EXPECT_EQ(form.LabelChanges.Text(), "Loop B5");

    // Back up to loop 2: at most three steps per call, until row 1 shows at the top.
    mixer.SetScrollTarget(0, 2);
    mixer.StepScrollToGroupIDXOrLoopNr(3);
    mixer.StepScrollToGroupIDXOrLoopNr(3);
    EXPECT_TRUE(mixer.ScrollTargetSet());
    mixer.StepScrollToGroupIDXOrLoopNr(3);
    EXPECT_EQ(mixer.ScrollOffset(), 1 * LoopMixer::RowHeight);
    EXPECT_FALSE(mixer.ScrollTargetSet());

    // A group too long for the window shows its end.
    mixer.VisibleHeight = 3 * LoopMixer::RowHeight;
    mixer.SetScrollTarget(1, -1);
    mixer.StepScrollToGroupIDXOrLoopNr(50);
    EXPECT_EQ(mixer.ScrollOffset(), 8 * LoopMixer::RowHeight);

    // The user's scrolling takes over; no steps while scrolling is off.
    mixer.SetScrollTarget(0, -1);
    bar.UserSetValue(20);
    EXPECT_FALSE(mixer.ScrollTargetSet());
    mixer.SetScrollTarget(0, -1);
    mixer.ScrollStepsPerMixer = 0;
    mixer.StepScrollToGroupIDXOrLoopNr(50);
    EXPECT_EQ(bar.Position(), 20);

    // Four positions per row; without the input row, loop 1 is the top row.
    form.CBInputMixer.UserClick();
    mixer.SetScrollStepsPerMixer(4);
    EXPECT_EQ(bar.Max(), 31 * 4 + 1);
    bar.UserSetValue(7);
    EXPECT_EQ(mixer.ScrollOffset(), 60);
    EXPECT_EQ(form.LabelChanges.Text(), "Loop 2");
}

} // namespace
} // namespace kreisel::test

// The main window's shortcuts and followers: the options page that comes to the front, the
// window switches and their menu partners, the scroll-speed label, the tempo label's double
// click, the sound-card byte total and the Alt+F4 keys.
#include "scenarios/Stage.h"
#include "persistence/SoundFiles.h"

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

class Shortcuts : public Stage {
  protected:
    int Page() { return core->Options().PageControlOptions.ItemIndex(); }
    void SetPage(int page) { core->Options().PageControlOptions.SetItemIndex(page); }
    WindowSwitches& S() { return core->Switches(); }
};

TEST_F(Shortcuts, ActionsBringTheirOptionsPageToTheFrontWhileTheOptionsFollow) {
    StartPlain();
    struct Case {
        const char* what;
        Control* control;
        int page;
    };
    const Case cases[] = {
        {"metronome", &M().SBMetronom, TFormOptions::PageTempo},
        {"series", &M().ToolContinuousRecordingLoops, TFormOptions::PageRecording},
        {"fixed length", &M().ToolUseFixedLoopTime, TFormOptions::PageRecording},
        {"cyclic", &M().ToolReRecordCyclic, TFormOptions::PageRecording},
        {"loops window", &S().ToolShowLoops, TFormOptions::PageMixer},
        {"faders menu", &S().PMShowFaders, TFormOptions::PageMixer},
        {"mixers", &S().ToolShowMixers, TFormOptions::PageMixer},
        {"sound card", &S().SpeedButtonSoundkarte, TFormOptions::PageSoundCard},
    };
    for (bool following : {false, true}) {
        S().PMOptionsFollowing.SetChecked(following);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (following ? " following" : " not following"));
            const int other = c.page == TFormOptions::PageLatency ? TFormOptions::PageMixer : TFormOptions::PageLatency;
            SetPage(other);
            // Switched on (a window switch only follows when it shows its window).
            if (c.control->Down()) c.control->UserClick();
            if (c.control == &M().SBMetronom && E().MetroOn) c.control->UserClick();
            SetPage(other);
            c.control->UserClick();
            EXPECT_EQ(Page(), following ? c.page : other);
        }
    }
}

TEST_F(Shortcuts, WindowSwitchesKeepToolAndMenuInStepAndTheScrollLabelShowsTheSpeed) {
    StartPlain();
    struct Pair {
        Control* tool;
        Control* menu;
        const char* form;
    };
    const Pair pairs[] = {{&S().ToolShowLoops, &S().PMShowLoops, WindowSwitches::LoopsForm},
                          {&S().ToolShowFaders, &S().PMShowFaders, WindowSwitches::FadersForm},
                          {&S().ToolShowOptions, &S().PMShowOptions, WindowSwitches::OptionsForm}};
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.form);
        Form& window = *core->Forms().FindForm(p.form);
        for (Control* clicked : {p.tool, p.menu, p.tool, p.menu}) {
            const bool shown = !window.Visible();
            clicked->UserClick();
            EXPECT_EQ(window.Visible(), shown);
            EXPECT_EQ(p.tool->Down(), shown);
            EXPECT_EQ(p.menu->Checked() || p.menu->Down(), shown);
        }
    }
    // The sound-card switch shows the window when hidden and hides it when shown.
    Form& card = *core->Forms().FindForm(WindowSwitches::SoundCardForm);
    const bool cardShown = card.Visible();
    S().SpeedButtonSoundkarte.UserClick();
    EXPECT_NE(card.Visible(), cardShown);

    // The mixers inside the main window bring the loop mixer window with them.
    if (S().ToolShowLoops.Down()) S().ToolShowLoops.UserClick();
    if (S().ToolShowMixers.Down()) S().ToolShowMixers.UserClick();
    S().ToolShowMixers.UserClick();
    EXPECT_TRUE(S().ToolShowLoops.Down());
    EXPECT_TRUE(core->Forms().FindForm(WindowSwitches::LoopsForm)->Visible());

    const std::pair<int, const char*> speeds[] = {{1, "AUS"},    {2, "6.25 %"}, {3, "12.5 %"},
                                                  {4, "25 %"},   {5, "50 %"},   {6, "100 %"}};
    for (const auto& [position, label] : speeds) {
        S().TBScrollStepsPerMixer.SetPosition(position);
        EXPECT_EQ(S().LabelScrollStepsPerMixer.Text(), label) << position;
        EXPECT_EQ(core->Mixer().ScrollStepsPerMixer, position <= 1 ? 0 : 1 << (6 - position)) << position;
    }
}

TEST_F(Shortcuts, DoubleClickOnTheTempoLabelSetsSixtyBeats) {
    StartPlain();
    M().TBMetronomBPM.SetPosition(135);
    M().LabelMetronom.DblClick();
    EXPECT_EQ(M().TBMetronomBPM.Position(), 60);
    EXPECT_EQ(M().LabelMetronom.Text(), "60 BpM");
    EXPECT_EQ(core->Metro().HalfBeatFrames(), kRate * 30 / 60);
}

TEST_F(Shortcuts, SoundCardByteTotalShowsOnlyWithCountersOnTheSoundCardPage) {
    StartPlain();
    Control& label = M().LabelSndInputCount;
    SetPage(TFormOptions::PageSoundCard);
    core->SoundCardForm().CBUpdateCounters.SetChecked(true);
    Blocks(2);
    EXPECT_EQ(label.Text(), "SK:" + std::to_string(2 * kFrames * 4));

    SetPage(TFormOptions::PageMixer);
    Blocks(1);
    EXPECT_EQ(label.Text(), "SK:" + std::to_string(2 * kFrames * 4));
    SetPage(TFormOptions::PageSoundCard);
    core->SoundCardForm().CBUpdateCounters.SetChecked(false);
    Blocks(1);
    EXPECT_EQ(label.Text(), "SK:" + std::to_string(2 * kFrames * 4));
    core->SoundCardForm().CBUpdateCounters.SetChecked(true);
    Blocks(1);
    EXPECT_EQ(label.Text(), "SK:" + std::to_string(5 * kFrames * 4)); // the total ran on meanwhile
}

class AltF4 : public Shortcuts {
  protected:
    AltF4() {
        core->ProgramFolder = dir.Path();
        core->CloseProgram = [this] {
            ++closes;
            unsavedAtClose = T().UnsavedRecordings;
        };
        M().CBContinuousRecordingLoops.SetChecked(false);
        StartPlain();
        // One loop, A1, playing.
        Press(M().SBRecord);
        Blocks(3, 700);
        Press(M().SBRecord);
        Blocks(1);
    }
    bool AltF4Key(bool ctrl) { return core->KeyDown(115, false, ctrl, true); }

    ScratchFolder dir;
    int closes = 0;
    bool unsavedAtClose = false;
};

TEST_F(AltF4, AltF4ClosesAndWithCtrlSavesTheSessionFirst) {
    ASSERT_EQ(E().LoopCount, 1);
    EXPECT_TRUE(AltF4Key(false));
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(unsavedAtClose) << "the shutdown still asks about the recording";
    EXPECT_FALSE(fs::exists(dir / "F4Backup.lps"));

    EXPECT_TRUE(AltF4Key(true));
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(unsavedAtClose);
    for (const char* file : {"F4Backup.lps", "F4Backup.mix", "F4Backup_A1.wav"})
        EXPECT_TRUE(fs::exists(dir / file)) << file;
    EXPECT_EQ(fs::file_size(dir / "F4Backup_A1.wav"), 44u + 3u * kFrames * 4u);

    // With a file from the command line the session goes there.
    core->StartFile = fs::path(dir / "Gig.lps");
    T().UnsavedRecordings = true;
    EXPECT_TRUE(AltF4Key(true));
    EXPECT_TRUE(fs::exists(dir / "Gig_A1.wav"));
    EXPECT_FALSE(unsavedAtClose);
}

TEST_F(AltF4, FailedBackupLeavesTheEarlierOneAndTheRecordingUnsaved) {
    ASSERT_TRUE(AltF4Key(true));
    const auto earlier = fs::last_write_time(dir / "F4Backup_A1.wav");
    T().UnsavedRecordings = true;
    // The mixer set cannot be written: the save fails.
    fs::remove(dir / "F4Backup.mix");
    fs::create_directories(dir / "F4Backup.mix");
    AltF4Key(true);
    EXPECT_EQ(closes, 2);
    EXPECT_TRUE(unsavedAtClose);
    EXPECT_EQ(fs::last_write_time(dir / "F4Backup_A1.wav"), earlier);
}

} // namespace
} // namespace kreisel::test

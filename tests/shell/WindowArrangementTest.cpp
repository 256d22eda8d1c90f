// Window switches, display options and window places: what the settings file keeps across a
// restart, and windows pulled back when their monitor is gone.
#include "shell/WindowPlacement.h"

#include "scenarios/Stage.h"

#include <unistd.h>

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

class Arrangement : public Stage {
  protected:
    Arrangement() {
        file = fs::temp_directory_path() / ("kreisel-arrangement-" + std::to_string(::getpid()) + ".lps");
        core->SetDefaultFiles(file, fs::path(file).replace_extension(".mix"));
    }
    ~Arrangement() override { fs::remove(file); }
    void Restart() {
        core.reset();
        core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
        core->SetDefaultFiles(file, fs::path(file).replace_extension(".mix"));
    }
    WindowSwitches& S() { return core->Switches(); }
    fs::path file;
};

TEST_F(Arrangement, ShownWindowsStayOnTopEntriesAndPlacesSurviveASaveAndARestart) {
    Press(S().ToolShowMacrosKeys);
    EXPECT_TRUE(core->Macros().Visible());
    EXPECT_TRUE(S().PMShowMacrosKeys.Checked());
    EXPECT_TRUE(M().SBShowMacros.Down());
    Press(S().ToolShowFaders);
    Press(core->TunerC().CBShowInputFreq);
    Press(S().PMShowOptions); // the menu entry moves its tool button along
    EXPECT_TRUE(S().ToolShowOptions.Down());
    for (Control* c :
         {&S().PMLoopsStayOnTop, &S().PMFadersStayOnTop, &S().PMOptionsStayOnTop, &S().PMControlsStayOnTop,
          &S().PMShowAddedDisplays, &S().PMControlsShowLabels, &S().PMDebugMode})
        Press(*c);
    EXPECT_TRUE(S().PanelSKCounters.Visible());
    EXPECT_FALSE(S().PMControlsAutoSize.Enabled());
    Press(core->HelpTexts().MIMouseHelp);
    EXPECT_FALSE(core->HelpTexts().Window.Visible());
    core->HelpTexts().Window.Geometry() = {1700, 40, 300, 200};
    core->HelpTexts().Window.FontSize = 14;
    core->Macros().Geometry() = {-900, 100, 500, 400};
    S().TBProgressBarSize.SetPosition(36);
    ASSERT_TRUE(core->LoadSaveSettings(file, true));

    Restart();
    ASSERT_TRUE(core->LoadSaveSettings(file, false));
    core->ApplyAfterLoad();
    EXPECT_TRUE(core->Macros().Visible() && M().SBShowMacros.Down() && core->FadersForm().Visible());
    EXPECT_TRUE(core->Options().Visible() && core->TunerC().CBShowInputFreq.Checked());
    for (Control* c : {&S().PMShowMacrosKeys, &S().PMShowOptions, &S().PMLoopsStayOnTop,
                       &S().PMFadersStayOnTop, &S().PMOptionsStayOnTop, &S().PMControlsStayOnTop})
        EXPECT_TRUE(c->Checked()) << c->Name();
    for (Control* c : {&S().PMShowAddedDisplays, &S().PMControlsShowLabels, &core->HelpTexts().MIMouseHelp})
        EXPECT_FALSE(c->Checked()) << c->Name();
    EXPECT_TRUE(S().PanelSKCounters.Visible());
    EXPECT_FALSE(S().PMControlsAutoSize.Enabled() || core->HelpTexts().Window.Visible());
    EXPECT_EQ(core->HelpTexts().Window.Geometry().Left, 1700);
    EXPECT_EQ(core->HelpTexts().Window.Geometry().Height, 200);
    EXPECT_EQ(core->HelpTexts().Window.FontSize, 14);
    EXPECT_EQ(core->Macros().Geometry().Left, -900);
    EXPECT_EQ(S().TBProgressBarSize.Position(), 36);
    EXPECT_EQ(S().LabelProgressBarSize.Text(), "36 Px.");
}

TEST(WindowPlacement, WindowsOffEveryScreenArePulledBackOntoTheNearest) {
    const std::vector<ScreenArea> twoScreens{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    const std::vector<ScreenArea> oneScreen{{0, 0, 1920, 1080}};
    struct Case {
        WindowGeometry frame;
        const std::vector<ScreenArea>* screens;
        WindowGeometry placed;
    };
    const Case cases[] = {
        // On the second monitor: stays while it is there.
        {{2400, 100, 600, 400}, &twoScreens, {2400, 100, 600, 400}},
        // The second monitor is gone: onto the right edge of the first.
        {{2400, 100, 600, 400}, &oneScreen, {1320, 100, 600, 400}},
        // Mostly off the left edge, but a grip's width still on screen: left alone.
        {{-500, 200, 560, 300}, &oneScreen, {-500, 200, 560, 300}},
        // Only a sliver on screen: pulled in.
        {{-500, 200, 520, 300}, &oneScreen, {0, 200, 520, 300}},
        // Above the screen and larger than it: shrunk to fit.
        {{100, -3000, 2500, 1200}, &oneScreen, {0, 0, 1920, 1080}},
        // Below the second screen, in the gap under it: to the nearest, the second.
        {{2600, 1500, 300, 200}, &twoScreens, {2600, 824, 300, 200}},
        // Not known yet: nothing to do.
        {{5000, 5000, 0, 0}, &oneScreen, {5000, 5000, 0, 0}},
    };
    for (const Case& c : cases) {
        const WindowGeometry g = KeepOnScreen(c.frame, *c.screens);
        EXPECT_TRUE(g.Left == c.placed.Left && g.Top == c.placed.Top && g.Width == c.placed.Width &&
                    g.Height == c.placed.Height)
            << c.frame.Left << "," << c.frame.Top << " -> " << g.Left << "," << g.Top << " " << g.Width << "x"
            << g.Height;
    }
}

} // namespace
} // namespace kreisel::test

// The master faders: the fader table, the balance split, the labels and the unity click.
#include "mixer/Faders.h"

#include "forms/TFormFaders.h"
#include "forms/TFormLoops.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace kreisel::test {
namespace {

struct FadersTest : ::testing::Test {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    Engine& e = *engine;
    TFormLoops loops;
    TFormFaders window{loops};
    Faders faders{e, window.Faders};
    FaderControls& c = window.Faders;
};

TEST_F(FadersTest, TableFallsFromPlus48ThroughUnityToSilence) {
    EXPECT_EQ((std::array{FaderLevelTable[0], FaderLevelTable[kFaderUnity], FaderLevelTable[120]}),
              (std::array{480, 0, -1200}));
    for (size_t i = 1; i < FaderLevelTable.size(); ++i)
        EXPECT_LT(FaderLevelTable[i], FaderLevelTable[i - 1]) << i;
}

TEST_F(FadersTest, FadersSetTheEngineLevelsAndLabels) {
    EXPECT_EQ((std::array{e.InputLevel, e.InputLevelL, e.InputLevelR, e.OutputLevel, e.OutputLevelL,
                          e.OutputLevelR}),
              (std::array{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c.LabelInpLevelVal.Text(), "0 dB");
    EXPECT_EQ(c.PanelOutLevelLR.Text(), "0  /  0");

    faders.DecimalSeparator = ',';
    c.TBInpLevel.UserSetValue(63);
    EXPECT_EQ(e.InputLevel, -51);
    EXPECT_EQ(c.LabelInpLevelVal.Text(), "-5,1 dB");
    c.TBInpLevel.UserSetValue(0);
    EXPECT_EQ(c.LabelInpLevelVal.Text(), "+48 dB");
    c.TBOutLevel.UserSetValue(120);
    EXPECT_EQ(e.OutputLevel, -1200);
    EXPECT_EQ(c.LabelOutLevelVal.Text(), "AUS");

    // Balance: the side turned away from is lowered, the other stays at unity.
    c.TBOutLevelPan.UserSetValue(0);
    EXPECT_EQ((std::pair{e.OutputLevelL, e.OutputLevelR}), (std::pair{0, -1200}));
    EXPECT_EQ(c.PanelOutLevelLR.Text(), "0  /  -120");
    c.TBInpLevelPan.UserSetValue(11);
    EXPECT_EQ((std::pair{e.InputLevelL, e.InputLevelR}), (std::pair{-90, 0}));
    EXPECT_EQ(c.PanelInpLevelLR.Text(), "-9  /  0");

    // Macros see the level faders around unity, higher meaning louder.
    c.TBInpLevel.SetPosition(kFaderUnity);
    EXPECT_EQ(GetControlValue(c.TBInpLevel, PropValue), 0);
    SetControlValue(*loops.Find("TBInpLevel"), 10, false);
    EXPECT_EQ(c.TBInpLevel.Position(), 28);
    EXPECT_EQ(e.InputLevel, 21);
    EXPECT_EQ(GetControlValue(c.TBInpLevelPan, PropMin), -8);
}

TEST_F(FadersTest, LevelLabelClickReturnsToUnity) {
    c.TBOutLevel.UserSetValue(90);
    c.LabelOutLevelVal.UserClick();
    EXPECT_EQ((std::pair{c.TBOutLevel.Position(), e.OutputLevel}), (std::pair{kFaderUnity, 0}));
    EXPECT_EQ(c.LabelOutLevelVal.Text(), "0 dB");

    // Already at unity: the levels are still rewritten from the faders.
    e.InputLevel = 77;
    c.LabelInpLevelVal.UserClick();
    EXPECT_EQ(e.InputLevel, 0);
    EXPECT_EQ(c.TBOutLevel.Position(), kFaderUnity);
}

} // namespace
} // namespace kreisel::test

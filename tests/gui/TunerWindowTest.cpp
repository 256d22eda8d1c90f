// The tuner window on the real core: it follows "Input-Frequenz", its sliders reach the tone
// generator, and its wave box tells the tuner its size for the zoom automatics.
#include "gui/TunerWindow.h"
#include "GuiRig.h"

#include <QLineEdit>
#include <QSlider>

namespace kreisel {
namespace {

TEST(TunerWindow, FollowsItsSwitchAndItsSlidersTuneTheGenerator) {
    GuiRig rig;
    TunerWindow window(rig.core.TunerC(), rig.core.TunerPanel(), rig.binder, {&rig.core.Main()});
    window.Follow();
    EXPECT_FALSE(window.isVisible());
    rig.core.TunerC().CBShowInputFreq.SetChecked(true);
    window.Follow();
    ASSERT_TRUE(window.isVisible());

    auto* octave = window.findChild<QSlider*>(QStringLiteral("TBGenFreqOctave"));
    auto* tone = window.findChild<QSlider*>(QStringLiteral("TBGenFreqTon"));
    ASSERT_NE(octave, nullptr);
    ASSERT_NE(tone, nullptr);
    octave->setValue(5);
    tone->setValue(12); // c1
    EXPECT_NEAR(rig.core.Generator().GenFreq(), 261.63, 0.01);
    RunEvents(3 * Binder::RefreshIntervalMs);
    auto* edit = window.findChild<QLineEdit*>(QStringLiteral("EditGenFreq"));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("261.626"));

    auto* box = window.findChild<QWidget*>(QStringLiteral("PBInputWave"));
    ASSERT_NE(box, nullptr);
    box->resize(500, 200);
    RunEvents(10);
    EXPECT_EQ(rig.core.TunerPanel().BoxWidth, box->width());
}

} // namespace
} // namespace kreisel

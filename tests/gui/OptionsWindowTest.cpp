// The foot-switch groups of the options window on the real core: the key timing sliders, the
// serial port's switch and options, and the MIDI group with a pedal double (choosing a mapping,
// editing its key, learning it from the pedal).
#include "gui/OptionsWindow.h"
#include "GuiRig.h"
#include "support/FakeMidi.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

namespace kreisel {
namespace {

TEST(OptionsWindow, KeyPortAndMidiGroupsShowAndDriveTheirControls) {
    test::FakeMidi pedal;
    GuiRig rig;
    rig.core.Midi().UseInputs(pedal);
    std::vector<Form*> forms;
    for (std::size_t i = 0; i < rig.core.Forms().FormCount(); ++i)
        forms.push_back(&rig.core.Forms().FormAt(i));
    OptionsWindow window(rig.options, rig.binder, forms);
    window.show();

    // Key timing.
    Child<QSlider>(window, "TBKeyLongMinMSec")->setValue(600);
    EXPECT_EQ(rig.core.Keys().Settings.KeyLongMinMSec, 600);

    // Serial port: "beide Signalübergänge" takes the inversion away.
    Child<QAbstractButton>(window, "CBPortUseBothTransitions")->click();
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_TRUE(rig.core.Port().PortUseBothTransitions);
    EXPECT_FALSE(Child<QAbstractButton>(window, "CBPortUseInverting")->isEnabled());
    for (const char* shape : {"ShapeCTS", "ShapeDSR", "ShapeRLSD", "ShapeRING"})
        Child<QWidget>(window, shape);

    // MIDI: switched on, the pedal's input is listed and open.
    rig.core.Midi().MidiPortName = "JACK: pedal:out";
    auto* midiSwitch = Child<QToolButton>(window, "SBMidiKeys");
    midiSwitch->click();
    RunEvents(3 * Binder::RefreshIntervalMs);
    ASSERT_TRUE(rig.core.Midi().IsOpen());
    EXPECT_TRUE(midiSwitch->isChecked());
    EXPECT_EQ(Child<QComboBox>(window, "CBMidiPorts")->currentText(), QStringLiteral("JACK: pedal:out"));

    auto* mapping = Child<QComboBox>(window, "CBMidiMapping");
    auto* state = Child<QLabel>(window, "LabelMidiState");
    ASSERT_EQ(mapping->count(), MidiKeys::kMappings);
    emit mapping->activated(2);
    Child<QSpinBox>(window, "SEMidiKey")->setValue(32);
    EXPECT_EQ(rig.core.Midi().Mappings[2].Key, 32);
    Child<QPushButton>(window, "ButtonMidiLearn")->click();
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_TRUE(state->text().startsWith(QStringLiteral("Warte auf MIDI-Nachricht")));
    pedal.Send({0x99, 38, 100});
    RunEvents(400); // the status timer takes the message without any block flowing
    EXPECT_EQ(mapping->itemText(2), QStringLiteral("3: Note 38 = Taste 32 (SPACE)"));
    EXPECT_EQ(Child<QComboBox>(window, "CBMidiKind")->currentIndex(), 1);
    EXPECT_EQ(Child<QSpinBox>(window, "SEMidiNumber")->value(), 38);
    EXPECT_TRUE(state->text().startsWith(QStringLiteral("Gelernt: 3: Note 38")));
}

} // namespace
} // namespace kreisel

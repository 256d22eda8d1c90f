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
    auto find = [&window](auto* type, const char* name) {
        auto* w = window.findChild<std::remove_pointer_t<decltype(type)>*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    };

    // Key timing.
    auto* longMin = find(static_cast<QSlider*>(nullptr), "TBKeyLongMinMSec");
    ASSERT_NE(longMin, nullptr);
    longMin->setValue(600);
    EXPECT_EQ(rig.core.Keys().Settings.KeyLongMinMSec, 600);

    // Serial port: "beide Signalübergänge" takes the inversion away.
    auto* both = find(static_cast<QAbstractButton*>(nullptr), "CBPortUseBothTransitions");
    auto* inverting = find(static_cast<QAbstractButton*>(nullptr), "CBPortUseInverting");
    ASSERT_TRUE(both && inverting);
    both->click();
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_TRUE(rig.core.Port().PortUseBothTransitions);
    EXPECT_FALSE(inverting->isEnabled());
    for (const char* shape : {"ShapeCTS", "ShapeDSR", "ShapeRLSD", "ShapeRING"})
        EXPECT_NE(find(static_cast<QWidget*>(nullptr), shape), nullptr);

    // MIDI: switched on, the pedal's input is listed and open.
    rig.core.Midi().MidiPortName = "JACK: pedal:out";
    auto* midiSwitch = find(static_cast<QToolButton*>(nullptr), "SBMidiKeys");
    ASSERT_NE(midiSwitch, nullptr);
    midiSwitch->click();
    RunEvents(3 * Binder::RefreshIntervalMs);
    ASSERT_TRUE(rig.core.Midi().IsOpen());
    EXPECT_TRUE(midiSwitch->isChecked());
    auto* ports = find(static_cast<QComboBox*>(nullptr), "CBMidiPorts");
    ASSERT_NE(ports, nullptr);
    EXPECT_EQ(ports->currentText(), QStringLiteral("JACK: pedal:out"));

    auto* mapping = find(static_cast<QComboBox*>(nullptr), "CBMidiMapping");
    auto* key = find(static_cast<QSpinBox*>(nullptr), "SEMidiKey");
    auto* learn = find(static_cast<QPushButton*>(nullptr), "ButtonMidiLearn");
    auto* state = find(static_cast<QLabel*>(nullptr), "LabelMidiState");
    ASSERT_TRUE(mapping && key && learn && state);
    ASSERT_EQ(mapping->count(), MidiKeys::kMappings);
    emit mapping->activated(2);
    key->setValue(32);
    EXPECT_EQ(rig.core.Midi().Mappings[2].Key, 32);
    learn->click();
    RunEvents(3 * Binder::RefreshIntervalMs);
    EXPECT_TRUE(state->text().startsWith(QStringLiteral("Warte auf MIDI-Nachricht")));
    pedal.Send({0x99, 38, 100});
    RunEvents(400); // the status timer takes the message without any block flowing
    EXPECT_EQ(mapping->itemText(2), QStringLiteral("3: Note 38 = Taste 32 (SPACE)"));
    EXPECT_EQ(find(static_cast<QComboBox*>(nullptr), "CBMidiKind")->currentIndex(), 1);
    EXPECT_EQ(find(static_cast<QSpinBox*>(nullptr), "SEMidiNumber")->value(), 38);
    EXPECT_TRUE(state->text().startsWith(QStringLiteral("Gelernt: 3: Note 38")));
}

} // namespace
} // namespace kreisel

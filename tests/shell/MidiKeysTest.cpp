// MIDI foot switches through an input double: which messages are presses and releases, what
// is ignored (system messages, fragments, other channels), learning a mapping on the options
// page, and an input that is missing and comes back.
#include "shell/MidiKeys.h"
#include "core/Form.h"
#include "forms/MidiOptions.h"
#include "support/FakeMidi.h"

#include <gtest/gtest.h>

namespace kreisel::test {
namespace {

using Bytes = std::vector<unsigned char>;

TEST(MidiDecode, NotesAndControllersAreSwitchesAndEverythingElseIsIgnored) {
    struct Case {
        Bytes bytes;
        MidiKind kind;
        int channel, number;
        bool down;
    };
    const Case cases[] = {
        {{0x90, 60, 100}, MidiKind::Note, 1, 60, true},
        {{0x9F, 36, 1}, MidiKind::Note, 16, 36, true},
        {{0x90, 60, 0}, MidiKind::Note, 1, 60, false}, // note on, velocity 0
        {{0x83, 60, 64}, MidiKind::Note, 4, 60, false},
        {{0xB0, 64, 127}, MidiKind::Controller, 1, 64, true},
        {{0xB1, 64, 64}, MidiKind::Controller, 2, 64, true},
        {{0xB1, 64, 63}, MidiKind::Controller, 2, 64, false},
    };
    for (const Case& c : cases) {
        const auto s = DecodeMidiSwitch(c.bytes.data(), c.bytes.size());
        ASSERT_TRUE(s) << int{c.bytes[0]};
        EXPECT_TRUE(s->Kind == c.kind && s->Channel == c.channel && s->Number == c.number &&
                    s->Down == c.down)
            << int{c.bytes[0]} << " " << int{c.bytes[2]};
    }
    // Sysex, a running-status fragment, no status byte, too short or long, a status byte as data,
    // program change, pitch bend, aftertouch, clock.
    for (const Bytes& b : std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
                                             {0x40, 0x7F},
                                             {0x3C, 0x40, 0x00},
                                             {0x90, 60},
                                             {0x90},
                                             {},
                                             {0x90, 60, 100, 0x80},
                                             {0x90, 0x80, 100},
                                             {0xB0, 64, 0xFF},
                                             {0xC0, 5, 0},
                                             {0xE0, 0, 64},
                                             {0xA0, 60, 90},
                                             {0xF8, 0, 0}})
        EXPECT_FALSE(DecodeMidiSwitch(b.data(), b.size())) << b.size() << " bytes";
}

class MidiRig : public ::testing::Test {
  protected:
    MidiRig() {
        midi.SendKey = [this](int key, bool down) { keys += (down ? "v" : "^") + std::to_string(key) + " "; };
        midi.Report = [this](const std::string& text) { reports.push_back(text); };
        midi.Mappings[1] = {MidiKind::Note, 36, 32};
        midi.Mappings[2] = {MidiKind::Note, 38, 0};
    }
    void Play(const std::vector<Bytes>& messages) {
        for (const Bytes& m : messages)
            inputs.Send(m);
        midi.Deliver();
    }

    FakeMidi inputs;
    MidiKeys midi{inputs};
    std::string keys;
    std::vector<std::string> reports;
};

TEST_F(MidiRig, MessagesBecomeKeysOfTheirMappingOncePerChange) {
    struct Case {
        int channel;
        std::vector<Bytes> messages;
        const char* expected;
    };
    const Case cases[] = {
        // The sustain pedal repeats its value while held: one press, one release.
        {0, {{0xB0, 64, 127}, {0xB0, 64, 100}, {0xB0, 64, 90}, {0xB0, 64, 20}, {0xB0, 64, 0}}, "v13 ^13 "},
        {0, {{0x99, 36, 80}, {0x99, 36, 0}, {0x90, 36, 5}, {0x80, 36, 5}}, "v32 ^32 v32 ^32 "},
        // Other numbers, key 0, fragments and system messages send nothing.
        {0, {{0xB0, 65, 127}, {0x90, 38, 90}, {0x40, 0x7F}, {0xF0, 1, 2, 3, 0xF7}, {0x90, 36}}, ""},
        // A channel filter drops the other channels.
        {3, {{0xB0, 64, 127}, {0xB2, 64, 127}, {0xB1, 64, 0}, {0xB2, 64, 0}}, "v13 ^13 "},
        // A release without a press sends nothing.
        {0, {{0x80, 36, 0}, {0xB0, 64, 0}}, ""},
    };
    midi.MidiEnabled = true;
    ASSERT_TRUE(midi.Reopen("JACK: pedal:out"));
    for (const Case& c : cases) {
        midi.MidiChannel = c.channel;
        keys.clear();
        Play(c.messages);
        EXPECT_EQ(keys, c.expected) << "channel " << c.channel;
    }
    // Closing the input releases what the pedal still holds.
    keys.clear();
    Play({{0xB0, 64, 127}});
    midi.Close();
    EXPECT_EQ(keys, "v13 ^13 ");
    EXPECT_TRUE(reports.empty());
}

TEST_F(MidiRig, AFullRingDropsWhatItCannotHoldAndGoesOnAfterwards) {
    midi.MidiEnabled = true;
    ASSERT_TRUE(midi.Reopen("JACK: pedal:out"));
    int strokes = 0;
    midi.SendKey = [&](int, bool down) { strokes += down ? 1 : 0; };
    std::vector<Bytes> burst;
    for (int i = 0; i < 200; ++i) { // 400 messages between two blocks
        burst.push_back({0x90, 36, 100});
        burst.push_back({0x80, 36, 0});
    }
    Play(burst);
    EXPECT_EQ(strokes, 128);                // the ring holds 256 messages
    for (int round = 0; round < 3; ++round) // over the ring's wrap
        Play(std::vector<Bytes>(100, Bytes{0x90, 36, 100}));
    EXPECT_EQ(strokes, 129); // held down: one press
}

class MidiOptionsRig : public MidiRig {
  protected:
    Form form{"TFormKreisel"};
    MidiOptions options{form, midi};
};

TEST_F(MidiOptionsRig, LearnTakesTheNextPressOfTheChosenChannelForTheChosenMapping) {
    options.ButtonMidiLearn.UserClick(); // nothing is open: no waiting
    EXPECT_EQ(midi.Learning(), -1);
    EXPECT_EQ(options.LabelMidiState.Text(), "Erst die MIDI-Steuerung einschalten");

    options.SBMidiKeys.UserClick();
    ASSERT_TRUE(midi.IsOpen());
    midi.MidiChannel = 2;
    options.CBMidiMapping.UserSetValue(3);
    options.ButtonMidiLearn.UserClick();
    EXPECT_EQ(midi.Learning(), 3);
    Play({{0xB0, 20, 127}, {0xB1, 20, 0}, {0xFE}, {0xB1, 21, 127}, {0xB1, 21, 0}});
    EXPECT_EQ(keys, ""); // neither the other channel nor the learnt press and its release
    EXPECT_EQ(midi.Learning(), -1);
    EXPECT_EQ(midi.Mappings[3].Kind, MidiKind::Controller);
    EXPECT_EQ(midi.Mappings[3].Number, 21);
    EXPECT_EQ(options.CBMidiKind.ItemIndex(), 2);
    EXPECT_EQ(options.SEMidiNumber.Value(), 21);

    options.SEMidiKey.UserSetValue(80);
    EXPECT_EQ(options.CBMidiMapping.Items()[3], "4: Controller 21 = Taste 80 (P)");
    EXPECT_EQ(options.LabelMidiState.Text(), "Gelernt: 4: Controller 21 = Taste 0");
    Play({{0xB1, 21, 127}, {0xB1, 21, 0}});
    EXPECT_EQ(keys, "v80 ^80 ");

    // A second click stops waiting without learning.
    options.ButtonMidiLearn.UserClick();
    options.ButtonMidiLearn.UserClick();
    Play({{0xB1, 22, 127}});
    EXPECT_EQ(midi.Mappings[3].Number, 21);
}

TEST_F(MidiOptionsRig, AMissingInputIsReportedOnceAndWorksWhenSwitchedOnAgain) {
    inputs.present["JACK: pedal:out"] = false;
    midi.MidiPortName = "JACK: pedal:out";
    midi.MidiEnabled = true;
    options.Apply(); // as at start-up
    EXPECT_FALSE(options.SBMidiKeys.Down());
    EXPECT_FALSE(midi.MidiEnabled);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0],
              "MIDI-Eingang \"JACK: pedal:out\" momentan nicht verfügbar - MIDI-Steuerung ausgeschaltet.");
    for (int i = 0; i < 10; ++i)
        midi.Deliver();
    EXPECT_EQ(reports.size(), 1u);

    inputs.present["JACK: pedal:out"] = true;
    options.SBMidiKeys.UserClick();
    EXPECT_TRUE(options.SBMidiKeys.Down());
    ASSERT_TRUE(midi.IsOpen());
    EXPECT_EQ(options.CBMidiPorts.Items(), std::vector<std::string>{"JACK: pedal:out"});
    Play({{0xB0, 64, 127}});
    EXPECT_EQ(keys, "v13 ");
    options.SBMidiKeys.UserClick(); // off: the held key is let go
    EXPECT_FALSE(midi.IsOpen());
    EXPECT_EQ(keys, "v13 ^13 ");
    EXPECT_EQ(reports.size(), 1u);
}

} // namespace
} // namespace kreisel::test

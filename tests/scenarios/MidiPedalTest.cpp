// A MIDI pedal on the whole looper through the input double: its presses are taken after the
// blocks and take the keyboard's way into a key sequence and its macro; the section "MidiKeys"
// of the settings file survives a save and a load.
#include "scenarios/Stage.h"
#include "core/IniFile.h"
#include "support/FakeMidi.h"

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <unistd.h>

namespace kreisel::test {
namespace {

class MidiPedal : public Stage {
  protected:
    MidiPedal() { core->Midi().UseInputs(inputs); }
    // The core outlives this fixture's members: its input port must go before the double does.
    ~MidiPedal() override { core->Midi().Close(); }
    // Blocks as the sound card hands them over (the pedal's keys follow each block).
    void CardBlocks(int n) {
        for (int b = 0; b < n; ++b) {
            clock.Advance(kBlockMs);
            core->Card().InputDataEvent(input.data(), kFrames * 4);
        }
    }
    FakeMidi inputs;
};

TEST_F(MidiPedal, ALongAndAShortPressStartTheMacroOfKeySequ21) {
    M().CBContinuousRecordingLoops.SetChecked(false);
    StartPlain();
    // With no loop yet a sequence key records; once A1 plays, its presses are timed.
    Press(M().SBRecord);
    Blocks(50);
    Press(M().SBRecord);
    ASSERT_TRUE(BlocksUntil([this] { return E().Playing && !E().Recording; }, 100));
    core->Macros().MemoMacros.SetLines({"ON KeySequ_21", "SET MEMO_1 7", "RETURN"});
    core->Macros().ButtonStartStopMacros.Click();
    ASSERT_TRUE(core->Interpreter().MacrosActive());
    MidiKeys& midi = core->Midi();
    midi.MidiPortName = "JACK: pedal:out";
    core->MidiControls().SBMidiKeys.UserClick();
    ASSERT_TRUE(midi.IsOpen());

    const int longMs = core->Keys().Settings.KeyLongMinMSec + 200;
    inputs.Send({0xB0, 64, 127});
    CardBlocks(longMs / kBlockMs);
    inputs.Send({0xB0, 64, 0});
    CardBlocks(10);
    inputs.Send({0xB0, 64, 127});
    CardBlocks(10);
    inputs.Send({0xB0, 64, 0});
    CardBlocks(2);
    EXPECT_EQ(core->Interpreter().Memo[1], 0); // the sequence is still open
    CardBlocks(core->Keys().Settings.KeyDistMaxMSec / kBlockMs + 2);
    EXPECT_EQ(core->Interpreter().Memo[1], 7);
    EXPECT_EQ(M().LabelStatus.Text(), "Sequenz: 21");

    // The key overview lists the pedal after the serial port's lines.
    core->KeyOverview().SBShowKeys.UserClick();
    const auto& lines = core->KeyOverview().MemoKeys.Lines();
    const auto heading = std::find(lines.begin(), lines.end(), " <<< MIDI-Fußschalter steuern folgende Tasten: >>> ");
    ASSERT_NE(heading, lines.end());
    ASSERT_NE(heading + 1, lines.end());
    EXPECT_EQ(heading[1].rfind("Controller 64:\t RETURN    (ascii=13)", 0), 0u) << heading[1];
}

TEST_F(MidiPedal, TheMidiSectionSurvivesASaveAndALoad) {
    StartPlain();
    const auto file = std::filesystem::temp_directory_path() / ("kreisel-midi-" + std::to_string(getpid()) + ".LPS");
    MidiKeys& midi = core->Midi();
    midi.MidiEnabled = true;
    midi.MidiPortName = "JACK: pedal:out";
    midi.MidiChannel = 10;
    midi.Mappings[0] = {MidiKind::Note, 36, 13};
    midi.Mappings[7] = {MidiKind::Controller, 80, 65};
    ASSERT_TRUE(core->LoadSaveSettings(file, true));
    IniFile ini;
    ASSERT_EQ(ini.Load(file), IniFile::LoadResult::Loaded);
    EXPECT_EQ(ini.ReadInteger("MidiKeys", "Map8Number", -1), 80);

    midi.MidiEnabled = false;
    midi.MidiPortName.clear();
    midi.MidiChannel = 0;
    midi.Mappings = {};
    // Values a hand-edited file may hold are brought into range.
    ini.WriteInteger("MidiKeys", "Map2Kind", 9);
    ini.WriteInteger("MidiKeys", "Map2Number", 300);
    ASSERT_TRUE(ini.Save(file));
    ASSERT_TRUE(core->LoadSaveSettings(file, false));
    core->ApplyAfterLoad();
    std::filesystem::remove(file);
    std::filesystem::remove(MixerSet::ForSettingsFile(file));

    EXPECT_TRUE(midi.MidiEnabled);
    EXPECT_TRUE(midi.IsOpen());
    EXPECT_TRUE(core->MidiControls().SBMidiKeys.Down());
    EXPECT_EQ(midi.MidiPortName, "JACK: pedal:out");
    EXPECT_EQ(core->MidiControls().CBMidiChannel.ItemIndex(), 10);
    auto mapping = [&](size_t i) {
        return std::tuple(midi.Mappings[i].Kind, midi.Mappings[i].Number, midi.Mappings[i].Key);
    };
    EXPECT_EQ(mapping(0), std::tuple(MidiKind::Note, 36, 13));
    EXPECT_EQ(mapping(1), std::tuple(MidiKind::Controller, 127, 0));
    EXPECT_EQ(mapping(7), std::tuple(MidiKind::Controller, 80, 65));
}

} // namespace
} // namespace kreisel::test

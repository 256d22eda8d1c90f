// Mixer set files: the coupling on loading, row counts that differ from the slot count,
// "Startwerte", the dialogs and saves that fail.
#include "mixer/MixerSet.h"

#include "engine/LevelTables.h"
#include "forms/TFormLoops.h"
#include "persistence/SoundFiles.h"
#include "support/ManualHost.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace kreisel::test {
namespace {

struct MixerSetTest : ::testing::Test {
    std::unique_ptr<Engine> engine = std::make_unique<Engine>();
    TFormLoops form;
    LoopMixer mixer{*engine, form};
    ScriptedDialogs dialogs;
    MixerSet sets{*engine, form, mixer, dialogs};
    ScratchFolder dir;

    MixerRowControls& Row(int n) { return form.MixerRows[static_cast<size_t>(n)]; }
    std::array<int, 4> Positions(int n) {
        return {Row(n).AmpLeft->Position(), Row(n).AmpRight->Position(), Row(n).PanLeft->Position(),
                Row(n).PanRight->Position()};
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir / name;
        WriteBytes(path, text);
        return path;
    }
};

TEST_F(MixerSetTest, WithTheCouplingOnTheRightHandValuesDecide) {
    const std::string file = Write("Take.mix", "[Options]\nMixSymm=1\n[Loop3]\nAmpLeft=2\nAmpRight=6\n"
                                               "PanLeft=0\nPanRight=12\n");
    EXPECT_TRUE(sets.LoadSave(file, false, false));
    EXPECT_TRUE(form.CBMixSymm.Checked());
    EXPECT_EQ(Positions(3), (std::array{6, 6, 4, 12}));
    const MixerRow& r = engine->Rows[3];
    EXPECT_EQ((std::array{r.LoopLevelL, r.LoopLR, r.LoopRL}),
              (std::array{AmpLevelTable[6], PanLevelTable[12], PanLevelTable[12]}));
    EXPECT_EQ(Positions(4), (std::array{4, 4, 0, 16})); // rows the file does not name stay
}

TEST_F(MixerSetTest, RowsBeyondEitherSlotCountAreLeftAlone) {
    Row(2).AmpLeft->UserSetValue(9);
    Row(8).PanRight->UserSetValue(3);
    Row(8).Marker->SetDown(true);
    form.CBInputMixer.SetChecked(false);
    form.MixerRows[0].Play->UserClick(); // the live input off
    const std::string all = dir / "all.mix";
    ASSERT_TRUE(sets.LoadSave(all, true, false));
    EXPECT_NE(ReadBytes(all).find("[Loop32]"), std::string::npos);

    // Loaded with fewer slots: the surplus sections are ignored.
    auto smallEngine = std::make_unique<Engine>();
    smallEngine->MaxLoopCount = 4;
    TFormLoops smallForm;
    LoopMixer smallMixer{*smallEngine, smallForm};
    MixerSet smallSets{*smallEngine, smallForm, smallMixer, dialogs};
    smallForm.MixerRows[8].PanRight->UserSetValue(5);
    ASSERT_TRUE(smallSets.LoadSave(all, false, false));
    EXPECT_EQ((std::pair{smallForm.MixerRows[2].AmpLeft->Position(), smallForm.MixerRows[8].PanRight->Position()}),
              (std::pair{9, 5}));
    EXPECT_FALSE(smallForm.CBInputMixer.Checked() || smallEngine->Rows[0].LoopOn);

    // A set of fewer rows, loaded with more slots: the extra rows keep their present values.
    const std::string few = dir / "few.mix";
    ASSERT_TRUE(smallSets.LoadSave(few, true, false));
    EXPECT_EQ(ReadBytes(few).find("[Loop5]"), std::string::npos);
    Row(8).PanRight->UserSetValue(11);
    Row(2).AmpLeft->UserSetValue(1);
    ASSERT_TRUE(sets.LoadSave(few, false, false));
    EXPECT_EQ(Row(2).AmpLeft->Position(), 9);
    EXPECT_EQ(Row(8).PanRight->Position(), 11);
    EXPECT_TRUE(Row(8).Marker->Down());
}

TEST_F(MixerSetTest, StartValuesRestoreOnlyTheSliders) {
    sets.DefaultFile = Write("Kreisel.mix", "[Options]\nMixSymm=1\nShowInputMixer=0\n"
                                            "[Loop1]\nSBLoopMarker=1\nAmpLeft=7\nPanRight=9\n");
    Row(1).AmpLeft->UserSetValue(12);
    form.ButtonSetFromMixFile.UserClick();
    EXPECT_EQ(Positions(1), (std::array{7, 4, 0, 9}));
    EXPECT_FALSE(Row(1).Marker->Down() || form.CBMixSymm.Checked() || !form.CBInputMixer.Checked());

    sets.DefaultFile = dir / "gone.mix";
    form.ButtonSetFromMixFile.UserClick();
    EXPECT_TRUE(dialogs.WasShown("Ini-Datei \"" + sets.DefaultFile.string() + "\" nicht gefunden!!"));
    EXPECT_EQ(Positions(1), (std::array{7, 4, 0, 9}));
}

TEST_F(MixerSetTest, DialogsAskBeforeOverwritingAndFailedSavesKeepTheOldFile) {
    const std::string file = Write("Set.mix", "[Loop1]\nAmpLeft=3\n[Mine]\nnote=kept\n");
    Row(1).AmpLeft->UserSetValue(10);

    dialogs.AnswerSave(file);
    dialogs.Answer(DialogResult::Cancel);
    form.ButtonSaveSet.Click();
    EXPECT_EQ(dialogs.Requests()[0].options.title + "|" + dialogs.Requests()[0].options.okCaption,
              "Mixer-Einstellungen speichern|Speichern");
    EXPECT_EQ(dialogs.Requests()[1].question.text, "überschreiben?");
    EXPECT_NE(ReadBytes(file).find("AmpLeft=3"), std::string::npos);

    dialogs.AnswerSave(file);
    dialogs.Answer(DialogResult::Ok);
    form.ButtonSaveSet.Click();
    EXPECT_NE(ReadBytes(file).find("AmpLeft=10"), std::string::npos);
    EXPECT_NE(ReadBytes(file).find("note=kept"), std::string::npos);

    Row(1).AmpLeft->UserSetValue(2);
    dialogs.AnswerOpen({file});
    form.ButtonLoadSet.Click();
    EXPECT_EQ(dialogs.Requests().back().options.title, "Mixer-Einstellungen laden");
    EXPECT_EQ(Row(1).AmpLeft->Position(), 10);

    // A read-only folder (and, for root, a file size limit) makes the save fail.
    const std::string before = ReadBytes(file);
    Row(1).AmpLeft->UserSetValue(5);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tiny{64, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &tiny);
    const bool ok = sets.LoadSave(file, true, false);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(dialogs.WasShown("Mixer-Einstellungen nicht gespeichert!"));
    EXPECT_EQ(ReadBytes(file), before);
}

TEST(MixerSetFile, BelongsToTheSettingsFileWhateverItsExtension) {
    EXPECT_EQ(MixerSet::ForSettingsFile("/s/Take.lps"), std::filesystem::path("/s/Take.mix"));
    EXPECT_EQ(MixerSet::ForSettingsFile("/s/Take.v2.INI"), std::filesystem::path("/s/Take.v2.mix"));
    EXPECT_EQ(MixerSet::ForSettingsFile("Take"), std::filesystem::path("Take.mix"));
}

} // namespace
} // namespace kreisel::test

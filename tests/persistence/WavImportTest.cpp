// Importing audio files as loops on the whole core: numbering, groups, playback, problems and
// the last slot.
#include "persistence/WavImport.h"

#include "persistence/LoopStage.h"

namespace kreisel::test {
namespace {

class Import : public LoopStage {
  protected:
    Import() : importer(E(), M(), T(), dialogs) {}

    // `frames` stereo frames of a constant left and right value.
    std::string Constant(const std::string& name, int frames, int16_t l, int16_t r) {
        std::vector<int16_t> v;
        for (int i = 0; i < frames; ++i)
            v.insert(v.end(), {l, r});
        WriteSound(dir / name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, v);
        return dir / name;
    }
    WavImport importer;
};

TEST_F(Import, FilesBecomeTheNextLoopsOfTheActiveGroupAndPlay) {
    StartPlain();
    const std::string a = Constant("a.wav", 4800, 1000, 0);
    const std::string b = Constant("b.wav", 9600, 300, 0);
    EXPECT_EQ(importer.ImportLoops({a, b}), 2);
    EXPECT_TRUE(dialogs.Requests().empty());
    EXPECT_EQ(E().LoopCount, 2);
    EXPECT_EQ(E().RecLoopNr, 2);
    EXPECT_EQ(E().Slots[2].LoopLenBytes, 9600 * 4);
    EXPECT_EQ(E().GroupFirstLoop(0), 1);
    EXPECT_EQ(E().PlayLoopEnd, 9600 * 2); // the longest loop of the group
    EXPECT_EQ(E().Slots[1].LoopLastBlock, 9);
    EXPECT_EQ(List(), (std::vector<std::string>{"2 Loops / Akt.Gr.: A", "* A1: 0.100 Sek.(4800 Smp.)",
                                                "* A2: 0.200 Sek.(9600 Smp.)"}));
    EXPECT_EQ(Mark(2).Text(), "A2");
    EXPECT_TRUE(Mark(2).Down() && Play(2).Down());
    EXPECT_TRUE(M().SBPlay.Enabled());
    EXPECT_EQ(M().LabelStatus.Text(), "");

    // Both loops are heard; the shorter one falls silent after its end.
    Press(M().SBPlay);
    Blocks(3);
    EXPECT_EQ(OutL(0), 1300);
    Blocks(10);
    EXPECT_EQ(OutL(0), 300);

    // An import while playing stops first; a new group asked for gets the loop.
    Press(M().SBGroupNext);
    EXPECT_EQ(importer.ImportLoops({Constant("c.wav", 960, 5, 5)}), 1);
    EXPECT_FALSE(E().Playing);
    EXPECT_EQ(E().LastGroupIdx, 1);
    EXPECT_EQ(E().GroupFirstLoop(1), 3);
    EXPECT_EQ(Mark(3).Text(), "B1");
    EXPECT_EQ(E().PlayLoopEnd, 960 * 2);
}

TEST_F(Import, UnusableFilesAreReportedTheOthersImportedUpToTheLastSlot) {
    StartPlain();
    ASSERT_EQ(importer.LastSlot(), 3);
    WriteBytes(dir / "text.wav", "kein Klang\n");
    WriteSound(dir / "empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, {});
    const std::vector<std::string> files = {dir / "text.wav",
                                            Constant("1.wav", 480, 1, 1),
                                            dir / "empty.wav",
                                            dir / "missing.wav",
                                            Constant("2.wav", 480, 2, 2),
                                            Constant("3.wav", 480, 3, 3),
                                            Constant("4.wav", 480, 4, 4),
                                            Constant("5.wav", 480, 5, 5)};
    EXPECT_EQ(importer.ImportLoops(files), 3);
    EXPECT_EQ(E().LoopCount, 3);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(E().Slots[static_cast<size_t>(n)].Buffer.ValueAt(0), n);

    // One message names every file that was left out, and why.
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const std::string text = dialogs.Requests()[0].Text();
    for (const std::string& told : {"Datei \"" + dir / "text.wav" + "\" ist keine lesbare Audio-Datei.",
                                    "Datei \"" + dir / "empty.wav" + "\" enthält keine Audio-Daten.",
                                    "Datei \"" + dir / "missing.wav" + "\" nicht gefunden.",
                                    std::string("Maximalzahl der Loops erreicht !!"),
                                    "\"" + dir / "4.wav" + "\"\n\"" + dir / "5.wav" + "\""})
        EXPECT_NE(text.find(told), std::string::npos) << told << "\n--- in ---\n" << text;
    EXPECT_EQ(text.find("3.wav"), std::string::npos);

    // With every slot taken, nothing more is imported.
    EXPECT_EQ(importer.ImportLoops({dir / "1.wav"}), 0);
    EXPECT_EQ(E().LoopCount, 3);
    EXPECT_TRUE(dialogs.WasShown("Maximalzahl der Loops erreicht !!"));
}

} // namespace
} // namespace kreisel::test

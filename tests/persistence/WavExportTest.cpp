// The export of the output: questions, header, size display, limit and a full disk.
#include "persistence/WavExport.h"

#include "forms/TFormKreisel.h"
#include "persistence/SoundFiles.h"
#include "support/ManualHost.h"

#include <memory>

namespace kreisel::test {
namespace {

constexpr int kFrames = 480;

class Export : public ::testing::Test {
  protected:
    Export() : engine(std::make_unique<Engine>()), exporter(*engine, form, dialogs, system) {
        engine->SampleRate = 48000;
        form.SBDoExport.SetOnClick([this](Control&) { exporter.SBDoExportClick(); });
        form.SBDoExportMarker.SetOnClick([this](Control&) { exporter.SBDoExportMarkerClick(); });
        form.SBFinishExport.SetOnClick([this](Control&) { exporter.Finish(); });
        for (int i = 0; i < kFrames; ++i)
            block.insert(block.end(), {static_cast<int16_t>(i), static_cast<int16_t>(-7 * i)});
    }
    // What the block processor does while SBDoExport is down.
    void Blocks(int n) {
        for (int b = 0; b < n; ++b)
            if (engine->Switches.DoExport) exporter.ExportBlock(block.data(), kFrames * 4);
    }
    // The header declares exactly the data in the file, and that is `frames` frames of blocks.
    void ExpectValidFile(int64_t frames) {
        const std::string bytes = ReadBytes(path);
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
        EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
        const SoundRead sound = ReadSound(path);
        EXPECT_EQ(sound.info.channels, 2);
        EXPECT_EQ(sound.info.samplerate, 48000);
        ASSERT_EQ(sound.info.frames, frames);
        for (size_t i = 0; i < sound.values.size(); ++i)
            ASSERT_EQ(sound.values[i], block[i % block.size()]) << i;
    }

    ScratchFolder dir;
    std::string path = dir / "Gig.wav";
    std::unique_ptr<Engine> engine;
    TFormKreisel form;
    ScriptedDialogs dialogs;
    FakeSystemInfo system;
    WavExport exporter;
    std::vector<int16_t> block;
};

TEST_F(Export, FileIsValidWhileItGrowsAndWhenFinished) {
    exporter.LimitExportFilesizeMB = 1;
    ASSERT_TRUE(exporter.Start(path));
    EXPECT_EQ(form.LabelStatus.Text(), "Export nach \"" + path + "\" ...");
    EXPECT_TRUE(form.PanelExport.Visible() && engine->Switches.ExportPanelVisible);
    EXPECT_EQ(form.LabelExportSize.Text(), "Max.: 1 MB = 5 Sek.");
    Blocks(5); // not switched on yet
    ExpectValidFile(0);

    form.SBDoExport.UserClick();
    EXPECT_TRUE(form.SBDoExportMarker.Down() && engine->Switches.DoExportMarker);
    Blocks(50);
    ExpectValidFile(50 * kFrames);
    exporter.RefreshDisplay();
    EXPECT_EQ(form.LabelExportSize.Text(), "93 kB / 0.5 Sek. v. 5.5 Sek.");

    form.SBFinishExport.UserClick();
    EXPECT_FALSE(exporter.Running());
    EXPECT_EQ(form.LabelStatus.Text(), "beendet: Export nach \"" + path + "\" ...");
    EXPECT_FALSE(form.PanelExport.Visible() || form.SBDoExport.Enabled() || form.SBDoExportMarker.Enabled());
    ExpectValidFile(50 * kFrames);
}

TEST_F(Export, ExistingFileIsAppendedToOrOverwrittenAsAnswered) {
    ASSERT_TRUE(exporter.Start(path));
    form.SBDoExport.UserClick();
    Blocks(10);
    dialogs.Answer(DialogResult::Yes);
    ASSERT_TRUE(exporter.Start(path)); // finishes the running export first
    EXPECT_EQ(dialogs.Requests().back().Text(), "Datei \"" + path + "\" existiert schon! Anhängen?");
    form.SBDoExport.UserClick();
    Blocks(10);
    exporter.Finish();
    ExpectValidFile(20 * kFrames);

    // Cancel at either question leaves the file and the display alone.
    dialogs.Answer(DialogResult::Cancel);
    dialogs.Answer(DialogResult::No);
    dialogs.Answer(DialogResult::Cancel);
    const std::string status = form.LabelStatus.Text();
    EXPECT_FALSE(exporter.Start(path));
    EXPECT_FALSE(exporter.Start(path));
    EXPECT_EQ(dialogs.Requests().back().Text(), "Datei \"" + path + "\" überschreiben?");
    EXPECT_FALSE(exporter.Running() || form.PanelExport.Visible());
    EXPECT_EQ(form.LabelStatus.Text(), status);
    ExpectValidFile(20 * kFrames);

    dialogs.Answer(DialogResult::No);
    dialogs.Answer(DialogResult::Ok);
    ASSERT_TRUE(exporter.Start(path));
    ExpectValidFile(0);

    EXPECT_FALSE(exporter.Start(dir / "no-folder/x.wav"));
    EXPECT_EQ(form.LabelStatus.Text(), "Fehler in \"ExportLoops\" !!");
}

TEST_F(Export, AFileOfAnotherLayoutIsNeverAppendedTo) {
    const std::string note = dir / "Notiz.wav", deep = dir / "24bit.wav", slow = dir / "44100.wav",
                      mono = dir / "mono.wav";
    WriteBytes(note, "Setliste: 1. Kreisel 2. Zugabe\n");
    WriteSound(deep, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, StereoRamp(1000));
    WriteSound(slow, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, StereoRamp(1000));
    WriteSound(mono, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 48000, StereoRamp(500));
    for (const std::string& file : {note, deep, slow, mono}) {
        const std::string before = ReadBytes(file);
        dialogs.Answer(DialogResult::Cancel);
        EXPECT_FALSE(exporter.Start(file));
        EXPECT_EQ(dialogs.Requests().back().Text(),
                  "Datei \"" + file +
                      "\" ist keine 16-Bit-Stereo-WAV-Datei mit 48000 Hz aus diesem "
                      "Programm und kann nicht ergänzt werden.\nÜberschreiben? (Nein: anderer Name)");
        EXPECT_EQ(ReadBytes(file), before) << file;
        EXPECT_FALSE(exporter.Running());
    }

    // No: another name, where the export goes; the file stays as it was.
    const std::string before = ReadBytes(deep);
    dialogs.Answer(DialogResult::No);
    dialogs.AnswerSave(path);
    ASSERT_TRUE(exporter.Start(deep));
    EXPECT_EQ(exporter.FileName(), path);
    form.SBDoExport.UserClick();
    Blocks(3);
    exporter.Finish();
    ExpectValidFile(3 * kFrames);
    EXPECT_EQ(ReadBytes(deep), before);

    // Yes: overwritten with the export.
    dialogs.Answer(DialogResult::Yes);
    ASSERT_TRUE(exporter.Start(note));
    path = note;
    form.SBDoExport.UserClick();
    Blocks(2);
    exporter.Finish();
    ExpectValidFile(2 * kFrames);
}

TEST_F(Export, StopsAtTheLimit) {
    exporter.LimitExportFilesizeMB = 1;
    ASSERT_TRUE(exporter.Start(path));
    form.SBDoExport.UserClick();
    Blocks(600);
    EXPECT_FALSE(engine->Switches.DoExport || engine->Switches.DoExportMarker);
    exporter.RefreshDisplay();
    EXPECT_EQ(form.LabelExportSize.Text(), "Limit erreicht: 1024 kB / 5.5 Sek.");
    EXPECT_FALSE(form.SBDoExport.Down() || form.SBDoExportMarker.Down());
    EXPECT_TRUE(exporter.Running()); // open until finished
    ExpectValidFile((1048576 - 44) / 4);

    // Without a fixed limit the free space of the folder decides, in whole MiB.
    exporter.LimitExportFilesizeMB = 0;
    system.freeDisk[dir.Path()] = 3 * 1048576 + 700000;
    dialogs.Answer(DialogResult::No);
    dialogs.Answer(DialogResult::Ok);
    ASSERT_TRUE(exporter.Start(path));
    EXPECT_EQ(form.LabelExportSize.Text(), "Max.: 3 MB = 16 Sek.");
}

TEST_F(Export, WriteErrorLeavesAValidFile) {
    ASSERT_TRUE(exporter.Start(path));
    form.SBDoExport.UserClick();
    // A file size limit makes the writes fail as a full disk would, two bytes into a frame.
    WithFileSizeLimit(65538, [&] { Blocks(40); });

    EXPECT_FALSE(engine->Switches.DoExport);
    ExpectValidFile((65536 - 44) / 4);
    exporter.RefreshDisplay();
    EXPECT_FALSE(exporter.Running());
    EXPECT_EQ(form.LabelStatus.Text(), "Export nach \"" + path + "\" abgebrochen: Datei zu groß.");
}

} // namespace
} // namespace kreisel::test

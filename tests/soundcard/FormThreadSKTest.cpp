// The sound-card window: its settings section, the restart hint, the device information text
// and its creation.
#include "soundcard/SoundRig.h"
#include "support/ScratchFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

struct FormThreadSKTest : ::testing::Test, SoundRig {
    ScratchFolder scratch{"sk"};
    const fs::path dir = scratch.Dir();

    fs::path Ini(const std::string& text) {
        const fs::path path = dir / "Kreisel.LPS";
        std::ofstream(path) << text;
        return path;
    }
};

TEST_F(FormThreadSKTest, BlockLengthIsStoredInBytesAndAMissingFileKeepsTheValues) {
    EXPECT_TRUE(window.LoadSaveIniFile(Ini("[Soundkarte]\nMemBlockLength=3000\n"), false));
    EXPECT_EQ(window.SEMemBlockFrames.Value(), 750);
    EXPECT_EQ(engine->BlockBytes, 3000);
    window.LoadSaveIniFile(Ini("[Soundkarte]\nMemBlockLength=4002\n"), false);
    EXPECT_EQ(window.SEMemBlockFrames.Value(), 1000);
    EXPECT_EQ(engine->BlockBytes, 4000);
    window.LoadSaveIniFile(Ini("[soundkarte]\nmemblocklength=4000\nFreq=48000\nOutFreqDeviation=-12\n"
                               "UpdateCounters=0\nShowWaveErrors=1\nInDevID=0\nTop=17\n"),
                           false);
    EXPECT_EQ(window.SEMemBlockFrames.Value(), 1000);
    EXPECT_EQ(window.SEFreq.Value(), 48000);
    EXPECT_EQ(window.SEOutFreqDeviation.Value(), -12);
    EXPECT_FALSE(window.CBUpdateCounters.Checked());
    EXPECT_TRUE(window.CBShowWaveErrors.Checked());
    EXPECT_EQ(window.Top, 17);
    EXPECT_FALSE(window.LabelInfoRestart.Visible()); // loading is no change by the user
    EXPECT_TRUE(dialogs.Requests().empty());

    const fs::path missing = dir / "fehlt.LPS";
    EXPECT_FALSE(window.LoadSaveIniFile(missing, false));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].question.text, "Ini-Datei \"" + missing.string() + "\" nicht gefunden!!");
    EXPECT_EQ(window.SEMemBlockFrames.Value(), 1000);
    EXPECT_EQ(window.SEFreq.Value(), 48000);
}

TEST_F(FormThreadSKTest, SavingWritesTheSectionAndKeepsTheRest) {
    const fs::path path = Ini("[Controls]\nDebugMode=1\n[Soundkarte]\nMemBlockLength=4000\nFremd=x\n");
    window.FormCreate(&device, path);
    window.SEMemBlockFrames.SetValue(750);
    window.SEFreq.SetValue(22050);
    window.CBShowWaveErrors.SetChecked(true);
    Card().SetDeviceIds(0, 3);
    window.ButtonSave.UserClick();

    IniFile ini;
    ASSERT_EQ(ini.Load(path), IniFile::LoadResult::Loaded);
    EXPECT_EQ(ini.ReadInteger("Soundkarte", "MemBlockLength", 0), 3000);
    EXPECT_EQ(ini.ReadInteger("Soundkarte", "Freq", 0), 22050);
    EXPECT_EQ(ini.ReadInteger("Soundkarte", "OutDevID", 0), 3);
    EXPECT_EQ(ini.ReadString("Soundkarte", "ShowWaveErrors", ""), "1");
    EXPECT_EQ(ini.ReadString("Soundkarte", "UpdateCounters", ""), "1");
    EXPECT_EQ(ini.ReadString("Soundkarte", "Fremd", ""), "x");
    EXPECT_EQ(ini.ReadInteger("Controls", "DebugMode", 0), 1);
}

TEST_F(FormThreadSKTest, ChangesWhileRunningWaitForTheNextStart) {
    window.LabelInQueued.SetText("12");
    window.FormCreate(&device, dir / "Kreisel.LPS"); // no file yet: reported
    for (Control* label : window.DisplayLabels())
        EXPECT_EQ(label->Text(), "(-)") << label->Name();
    ASSERT_EQ(window.CBxInDev.Items(), std::vector<std::string>{"Stille"});
    ASSERT_EQ(window.CBxOutDev.Items(), std::vector<std::string>{"keine Ausgabe"});
    EXPECT_EQ(window.CBxInDev.ItemIndex(), 0);
    window.ButtonStartStop.UserClick();
    ASSERT_FALSE(Card().Stopped());

    window.CBxInDev.UserSetValue(-1);
    EXPECT_TRUE(window.LabelInfoRestart.Visible());
    EXPECT_EQ(Card().InDeviceId(), -1);
    EXPECT_TRUE(device.IsOpen()); // the running streams stay as they are
    InBlock(1);
    EXPECT_EQ(engine->BlockCounter, 1);

    window.LoadSaveIniFile(Ini("[Soundkarte]\nMemBlockLength=2000\n"), false);
    EXPECT_EQ(window.SEMemBlockFrames.Value(), 500);
    EXPECT_EQ(engine->BlockBytes, 4000); // the engine keeps the running block length
    InBlock(1);
    EXPECT_EQ(engine->InputFrameCounter, 2000);

    window.ButtonStartStop.UserClick(); // stop
    EXPECT_FALSE(window.LabelInfoRestart.Visible());
    window.ButtonStartStop.UserClick(); // start with the new block length, on a device that is not there
    EXPECT_TRUE(Card().Stopped());
    EXPECT_TRUE(ErrorListHas("Record format not supported"));
    window.CBxInDev.UserSetValue(0);
    window.ButtonStartStop.UserClick();
    EXPECT_FALSE(Card().Stopped());
    EXPECT_EQ(engine->BlockBytes, 2000);
}

class ListedDevice : public FileDevice {
  public:
    std::vector<AudioDeviceInfo> InputDevices() override {
        AudioDeviceInfo d;
        d.Name = "USB Audio";
        d.InputChannels = 2;
        d.SampleRates = {44100, 48000, 32000};
        return {d};
    }
};

TEST_F(FormThreadSKTest, DeviceInformationNamesWhatTheDeviceTells) {
    ListedDevice listed;
    DeviceSwap swap(Card(), listed);
    const std::string text = window.HardwareInfoText();
    const std::string head = "Input:\n\nwMid (Hersteller-ID): $0000\nwPid (Produkt-ID): $0000\n"
                             "vDriverVersion: $00000000\nszPname: USB Audio\ndwFormats: $0000CC00\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_NE(text.find("wChannels: $0002\nwReserved1: $0000\n\n\nOutput:\n\n"), std::string::npos);
    EXPECT_NE(
        text.find("szPname: keine Ausgabe\ndwFormats: $00000000\nwChannels: $0002\ndwSupport: $00000000\n"),
        std::string::npos);
    Card().SetDeviceIds(0, 5);
    window.ButtonHardwareInfo.UserClick();
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    const std::string& shown = dialogs.Requests()[0].question.text;
    EXPECT_NE(shown.find("szPname: USB Audio\n"), std::string::npos); // the input part is still there
    EXPECT_NE(shown.find("\n\n\nWave-Out-Device Error Nr. $00000002 !\n"), std::string::npos);
}

} // namespace
} // namespace kreisel::test

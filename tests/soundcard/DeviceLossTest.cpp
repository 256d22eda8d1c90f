// A device lost under the running card (a sound server that went away): one German report, the
// loops kept, quiet attempts to open it again once a second from the poll timer, and the blocks
// flowing again as soon as it is back; a free-length take in progress ends where it stood.
#include "soundcard/CoreRig.h"

#include <gtest/gtest.h>

#include <string>

namespace kreisel {
namespace {

// The built-in device that can go away and come back, as a JACK server does.
class LosableDevice : public AudioDevice {
  public:
    FileDevice inner;
    bool gone = false;
    int openAttempts = 0;

    std::string ApiName() const override { return inner.ApiName(); }
    std::vector<AudioDeviceInfo> InputDevices() override { return inner.InputDevices(); }
    std::vector<AudioDeviceInfo> OutputDevices() override { return inner.OutputDevices(); }
    int QueryInput(int d, const StreamFormat& f) override {
        ++openAttempts;
        return gone ? AudioNoDriver : inner.QueryInput(d, f);
    }
    int QueryOutput(int d, const StreamFormat& f) override { return gone ? AudioNoDriver : inner.QueryOutput(d, f); }
    int OpenInput(int d, const StreamFormat& f, InputCallback c) override {
        return gone ? AudioNoDriver : inner.OpenInput(d, f, std::move(c));
    }
    int OpenOutput(int d, const StreamFormat& f, OutputCallback c) override {
        return gone ? AudioNoDriver : inner.OpenOutput(d, f, std::move(c));
    }
    void SetErrorCallback(ErrorCallback c) override { error_ = std::move(c); }
    int Start() override { return inner.Start(); }
    void Close() override { inner.Close(); }
    bool IsOpen() const override { return inner.IsOpen(); }
    int64_t InputPosition() const override { return inner.InputPosition(); }
    int64_t OutputPosition() const override { return inner.OutputPosition(); }
    int InputLatencyFrames() const override { return 0; }
    int OutputLatencyFrames() const override { return 0; }
    std::string ErrorText(int code) const override {
        return code == AudioDeviceLost ? "Audiogerät verloren" : inner.ErrorText(code);
    }
    // The server dies: the streams stop and the device says so from a thread of its own.
    void Lose() {
        gone = true;
        if (error_) error_(AudioDeviceLost);
    }

  private:
    ErrorCallback error_;
};

struct DeviceLoss : ::testing::Test {
    test::CoreRig rig;
    LosableDevice device;

    DeviceLoss() {
        device.inner.SetPacing(FileDevice::Pacing::LockStep);
        device.inner.SetInputTone(441.0, 4000);
        rig.Card().SetDevice(&device);
    }
    ~DeviceLoss() override {
        rig.Card().Stop();
        rig.Card().SetDevice(&rig.device);
    }
    // Blocks while the device plays; time passes (and the poll timer runs) either way.
    void Blocks(int n) {
        for (int i = 0; i < n; ++i) {
            device.inner.StepInput(rig.Frames());
            rig.clock.Advance(rig.Frames() * 1000 / 44100);
            rig.Card().ServeInput();
            device.inner.StepOutput(rig.Frames());
        }
    }
    // A1 starts recording with a free length.
    void StartFreeLengthTake() {
        rig.Start();
        rig.M().CBUseFixedLoopTime.SetChecked(false);
        rig.M().CBContinuousRecordingLoops.SetChecked(false);
        rig.M().SBRecord.UserClick();
    }
    int Lines(const std::string& piece) const {
        int n = 0;
        for (const std::string& line : rig.core->SoundCardForm().MemoErrors.Lines())
            n += line.find(piece) != std::string::npos;
        return n;
    }
};

TEST_F(DeviceLoss, ReportedOnceRetriedEverySecondAndPlaysAgainWithTheLoopsKept) {
    StartFreeLengthTake();
    Blocks(50);
    rig.M().SBRecord.UserClick();
    Blocks(5);
    ASSERT_EQ(rig.E().LoopCount, 1);
    ASSERT_TRUE(rig.E().Playing);
    const LoopSlot& a1 = rig.E().Slots[1];
    const std::string audio(reinterpret_cast<const char*>(a1.Buffer.Data()), static_cast<size_t>(a1.LoopLenBytes));

    const int attempts = device.openAttempts;
    device.Lose();
    for (int second = 0; second < 5; ++second)
        rig.clock.Advance(1000);
    EXPECT_FALSE(rig.Card().Stopped());
    EXPECT_TRUE(rig.Card().WaitingForDevice());
    EXPECT_EQ(Lines("Audiogerät verloren"), 1);
    EXPECT_EQ(Lines("neuer Versuch jede Sekunde"), 1);
    EXPECT_EQ(rig.Card().ErrorCount(), 1) << "failed attempts are not listed";
    EXPECT_GE(device.openAttempts - attempts, 4);
    EXPECT_LE(device.openAttempts - attempts, 5);

    device.gone = false;
    const int32_t playPos = rig.E().PlayPos;
    rig.clock.Advance(1000);
    EXPECT_FALSE(rig.Card().WaitingForDevice());
    EXPECT_EQ(Lines("es spielt weiter"), 1);
    Blocks(30);
    EXPECT_EQ(rig.Card().Counters().InBlocks, 30);
    EXPECT_TRUE(rig.E().Playing);
    EXPECT_NE(rig.E().PlayPos, playPos) << "A1 plays again";
    EXPECT_EQ(rig.E().LoopCount, 1);
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(a1.Buffer.Data()), audio.size()) == audio);
    EXPECT_EQ(a1.LoopLenBytes, static_cast<int>(audio.size()));

    // Stopped by hand while it waits: no more attempts.
    device.Lose();
    rig.clock.Advance(1000);
    rig.Card().Stop();
    const int afterStop = device.openAttempts;
    rig.clock.Advance(5000);
    EXPECT_EQ(device.openAttempts, afterStop);
    EXPECT_FALSE(rig.Card().WaitingForDevice());
}

TEST_F(DeviceLoss, AFreeLengthTakeInProgressEndsWhereItStood) {
    StartFreeLengthTake();
    Blocks(40);
    ASSERT_TRUE(rig.E().Recording);
    device.Lose();
    rig.clock.Advance(300);
    device.gone = false;
    rig.clock.Advance(1000);
    ASSERT_FALSE(rig.Card().WaitingForDevice());
    Blocks(3);
    EXPECT_FALSE(rig.E().Recording);
    EXPECT_EQ(rig.E().LoopCount, 1);
    // The forty blocks before the loss, nothing of what came after.
    EXPECT_EQ(rig.E().Slots[1].LoopLenBytes, 40 * 4 * rig.Frames());
    EXPECT_TRUE(rig.E().Playing);
}

} // namespace
} // namespace kreisel

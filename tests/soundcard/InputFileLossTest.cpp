// The built-in device's input file deleted, cut short, replaced or overwritten while it plays:
// the card reports it once in German, silence comes in, and the blocks go on.
#include "soundcard/CoreRig.h"
#include "support/ScratchFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

namespace kreisel {
namespace {

namespace fs = std::filesystem;

void WriteTone(const fs::path& path, int frames) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> data(2 * static_cast<size_t>(frames));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<short>(8000 * std::sin(static_cast<double>(i / 2) * 0.06));
    sf_writef_short(f, data.data(), frames);
    sf_close(f);
}

struct Damage {
    const char* name;
    std::function<void(const fs::path&)> apply;
    FileDevice::InputLoss loss;
    const char* text;
};

TEST(InputFileLoss, ReportedOnceSilenceComesInAndTheBlocksGoOn) {
    const Damage cases[] = {
        {"deleted", [](const fs::path& p) { fs::remove(p); }, FileDevice::InputLoss::Deleted, "ist verschwunden"},
        {"cut short", [](const fs::path& p) { fs::resize_file(p, 2000); }, FileDevice::InputLoss::CutShort,
         "wurde gekürzt"},
        {"replaced",
         [](const fs::path& p) {
             WriteTone(p.string() + ".neu", 44100 * 10);
             fs::rename(p.string() + ".neu", p);
         },
         FileDevice::InputLoss::Replaced, "wurde ersetzt"},
        {"overwritten in place", [](const fs::path& p) { WriteTone(p, 44100 * 10); },
         FileDevice::InputLoss::Replaced, "wurde ersetzt"},
    };
    for (const Damage& damage : cases) {
        SCOPED_TRACE(damage.name);
        test::ScratchFolder scratch("inputloss");
        const fs::path in = scratch.Dir() / "eingang.wav";
        WriteTone(in, 44100 * 10);
        test::CoreRig rig;
        rig.device.SetInputFile(in);
        rig.Start();
        int peak = 0;
        auto engineInput = rig.Card().InputDataEvent;
        rig.Card().InputDataEvent = [&](const int16_t* block, int bytes) {
            peak = 0;
            for (int i = 0; i < bytes / 2; ++i)
                peak = std::max(peak, std::abs(int{block[i]}));
            engineInput(block, bytes);
        };
        rig.Cycle(20);
        ASSERT_GT(peak, 4000);
        damage.apply(in);
        // Within a quarter second of input it is seen; a poll of the card reports it.
        rig.Cycle(FileDevice::kWatchFrames / rig.Frames() + 2);
        rig.Card().Poll();
        EXPECT_EQ(rig.device.InputFileLoss(), damage.loss);
        EXPECT_TRUE(rig.ErrorListHas(damage.text));
        EXPECT_TRUE(rig.ErrorListHas("eingang.wav"));
        const int errors = rig.Card().ErrorCount();
        const int64_t before = rig.Card().Counters().InBlocks;
        rig.Cycle(200);
        rig.Card().Poll();
        EXPECT_EQ(peak, 0);
        EXPECT_EQ(rig.Card().ErrorCount(), errors);
        EXPECT_FALSE(rig.Card().Stopped());
        EXPECT_EQ(rig.Card().Counters().InBlocks, before + 200);
        EXPECT_EQ(rig.device.OutputPosition(), rig.device.InputPosition());
    }
}

TEST(InputFileLoss, AFileThatEndsOnItsOwnIsNoLoss) {
    test::ScratchFolder scratch("inputloss");
    const fs::path in = scratch.Dir() / "kurz.wav";
    WriteTone(in, 5000);
    test::CoreRig rig;
    rig.device.SetInputFile(in);
    rig.Start();
    rig.Cycle(40);
    rig.Card().Poll();
    EXPECT_TRUE(rig.device.InputFinished());
    EXPECT_EQ(rig.device.InputFileLoss(), FileDevice::InputLoss::None);
    fs::remove(in); // after its end nobody reads it any more
    rig.Cycle(40);
    rig.Card().Poll();
    EXPECT_EQ(rig.Card().ErrorCount(), 0);
}

} // namespace
} // namespace kreisel

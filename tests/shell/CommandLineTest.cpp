// The command line: options, the memory switch of the first argument, audio choices and how a
// file argument is completed.
#include "shell/CommandLine.h"
#include "support/ScratchFiles.h"

namespace kreisel {
namespace {

namespace fs = std::filesystem;

TEST(CommandLine, HeadlessOptionsAndTheirErrors) {
    CommandLine cl = ParseCommandLine({"--headless", "--audio", "file:in.wav:out.wav", "--fast",
                                       "--export=mix.wav", "--seconds", "2.5", "Take"});
    EXPECT_TRUE(cl.errors.empty() && cl.headless && cl.fast);
    EXPECT_EQ(cl.exportFile, "mix.wav");
    ASSERT_TRUE(cl.seconds);
    EXPECT_DOUBLE_EQ(*cl.seconds, 2.5);
    EXPECT_EQ(cl.file, "Take");

    // --export only headless; --fast only with a built-in device.
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--export", "x.wav"},
                                               {"--headless", "--seconds", "0"},
                                               {"--headless", "--seconds"},
                                               {"--headless", "--audio", "jack", "--fast"},
                                               {"a.lps", "b.lps"},
                                               {"--audio", "midi"}})
        EXPECT_EQ(ParseCommandLine(bad).errors.size(), 1u) << bad[0] << " " << bad.size();
}

TEST(CommandLine, MemorySwitchIsNeverAFileAndOnlyTakesOneToHundred) {
    CommandLine cl = ParseCommandLine({"ini_memsize_percent=075"});
    EXPECT_EQ(cl.memSizePercent, 75);
    EXPECT_TRUE(cl.file.empty());
    EXPECT_TRUE(cl.warnings.empty());
    EXPECT_EQ(ParseCommandLine({"INI_MEMSIZE_PERCENT=100"}).memSizePercent, 100);

    for (const char* bad : {"INI_MEMSIZE_PERCENT=0", "INI_MEMSIZE_PERCENT=101", "INI_MEMSIZE_PERCENT=5x",
                            "INI_MEMSIZE_PERCENT=", "INI_MEMSIZE_PERCENT=1000", "INI_MEMSIZE_PERCENT=-5"}) {
        CommandLine c = ParseCommandLine({bad});
        EXPECT_FALSE(c.memSizePercent) << bad;
        EXPECT_EQ(c.warnings.size(), 1u) << bad;
        EXPECT_TRUE(c.file.empty()) << bad;
    }
}

TEST(CommandLine, AudioChoices) {
    auto alsa = ParseAudioChoice("alsa:hw:0");
    ASSERT_TRUE(alsa);
    EXPECT_EQ(alsa->kind, AudioChoice::Kind::Api);
    EXPECT_EQ(alsa->api, "alsa");
    EXPECT_EQ(alsa->device, "hw:0");
    EXPECT_EQ(ParseAudioChoice("jack")->device, "");
    EXPECT_EQ(ParseAudioChoice("")->kind, AudioChoice::Kind::SoundCard);
    auto file = ParseAudioChoice("file:in.wav:out.wav");
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->BuiltIn());
    EXPECT_EQ(file->input, "in.wav");
    EXPECT_EQ(file->output, "out.wav");
    EXPECT_EQ(ParseAudioChoice("silence:o.wav")->output, "o.wav");
    EXPECT_FALSE(ParseAudioChoice("file:"));
    EXPECT_FALSE(ParseAudioChoice("file:a:b:c"));
    EXPECT_FALSE(ParseAudioChoice("file:a.wav:"));
}

TEST(CommandLine, FileArgumentIsCompleted) {
    test::ScratchFolder scratch("cl");
    const fs::path dir = scratch.Dir();
    fs::create_directories(dir / "cwd" / "sub");
    const fs::path oldCwd = fs::current_path();
    fs::current_path(dir / "cwd");
    const fs::path data = dir / "data";

    EXPECT_EQ(CompleteFileArgument("Take", data), data / "Take.lps");
    EXPECT_EQ(CompleteFileArgument("Take.LPS", data), data / "Take.LPS");
    EXPECT_EQ(CompleteFileArgument("sub/Take", data), dir / "cwd" / "sub" / "Take.lps");
    EXPECT_EQ(CompleteFileArgument("/abs/Take", data), fs::path("/abs/Take.lps"));
    std::ofstream(dir / "cwd" / "Here.lps") << "[Options]\n";
    EXPECT_EQ(CompleteFileArgument("Here", data), dir / "cwd" / "Here.lps"); // the shell's folder first

    fs::current_path(oldCwd);
}

} // namespace
} // namespace kreisel

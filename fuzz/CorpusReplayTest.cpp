// Every file of every fuzz target's corpus (the seeds and the inputs that once crashed) run
// through its target again: none may crash, abort or trip a sanitizer.
#include "FuzzRig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <iterator>

#define KREISEL_DECLARE_TARGET(name) int FuzzTarget_##name(const uint8_t* data, size_t size);
KREISEL_DECLARE_TARGET(audio_file)
KREISEL_DECLARE_TARGET(settings_file)
KREISEL_DECLARE_TARGET(mixer_set)
KREISEL_DECLARE_TARGET(session)
KREISEL_DECLARE_TARGET(components_file)
KREISEL_DECLARE_TARGET(macro_text)
KREISEL_DECLARE_TARGET(key_file)

namespace {

namespace fs = std::filesystem;

struct Target {
    const char* name;
    int (*run)(const uint8_t*, size_t);
};

void PrintTo(const Target& target, std::ostream* out) {
    *out << target.name;
}

class CorpusReplay : public ::testing::TestWithParam<Target> {};

TEST_P(CorpusReplay, EveryFileRunsThrough) {
    const fs::path folder = fs::path(KREISEL_FUZZ_CORPUS) / GetParam().name;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(GetParam().run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
        ++files;
    }
    EXPECT_GT(files, 0);
}

#define KREISEL_TARGET(name) Target{#name, &FuzzTarget_##name}
INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay,
                         ::testing::Values(KREISEL_TARGET(audio_file), KREISEL_TARGET(settings_file),
                                           KREISEL_TARGET(mixer_set), KREISEL_TARGET(session),
                                           KREISEL_TARGET(components_file), KREISEL_TARGET(macro_text),
                                           KREISEL_TARGET(key_file)),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

} // namespace

// The tuner's window has no form of its own; its place still comes back after a restart.
#include "scenarios/Stage.h"

#include <unistd.h>

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

class TunerWindowPlace : public Stage {};

TEST_F(TunerWindowPlace, SurvivesASaveAndARestart) {
    const fs::path file = fs::temp_directory_path() / ("kreisel-tuner-" + std::to_string(::getpid()) + ".lps");
    core->TunerC().Window = {-1500, 60, 900, 500};
    ASSERT_TRUE(core->LoadSaveSettings(file, true));

    core.reset();
    core = std::make_unique<KreiselCore>(Host{clock, clock, pump, dialogs, system});
    EXPECT_FALSE(core->TunerC().Window.Known());
    ASSERT_TRUE(core->LoadSaveSettings(file, false));
    fs::remove(file);
    const WindowGeometry& g = core->TunerC().Window;
    EXPECT_EQ(std::vector<int>({g.Left, g.Top, g.Width, g.Height}), std::vector<int>({-1500, 60, 900, 500}));
}

} // namespace
} // namespace kreisel::test

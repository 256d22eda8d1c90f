// Every file the looper writes during a performance, written where it cannot be: on a disk that
// is full (a file-size limit, so writes fail with EFBIG) and into a folder that refuses writes.
// Each save runs in a forked child while two loops play; the child reports what it was told and
// whether the loops played on. Afterwards every earlier file is unchanged and loads again, and
// no temporary file is left behind.
#include "persistence/LoopStage.h"
#include "persistence/WavFile.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace kreisel::test {
namespace {

namespace fs = std::filesystem;

enum class Place { FullDisk, ReadOnlyFolder };
enum class Kind { Session, Settings, MixerSet, LoopFile, Export };

class FullDisk : public LoopStage {
  protected:
    FullDisk() {
        StartPlain();
        core->SetDefaultFiles(dir / "Kreisel.LPS", dir / "Kreisel.mix");
        AddLoop(4800, 1);
        AddLoop(9600, 2);
    }

    // Runs `save` in a child at the place, the loops playing before, during and after it. The
    // child reports "<saved><played on>" and what it was shown.
    std::string InChild(Place place, const std::function<bool()>& save) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        if (place == Place::ReadOnlyFolder) {
            EXPECT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            if (place == Place::FullDisk) {
                std::signal(SIGXFSZ, SIG_IGN);
                // Two bytes past a whole export frame: the write that fills the disk ends
                // inside a frame.
                rlimit tiny{1026, 1026};
                ::setrlimit(RLIMIT_FSIZE, &tiny);
            } else if (::geteuid() == 0) {
                // Permissions do not stop root: the child gives its rights up.
                if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
            }
            Blocks(20, 100, 100);
            const bool saved = save();
            const int64_t before = E().BlockCounter;
            Blocks(50, 100, 100);
            const bool sound = std::any_of(lastOut.begin(), lastOut.end(), [](int16_t v) { return v != 0; });
            const bool playedOn = E().Playing && E().BlockCounter == before + 50 && sound;
            std::string report = std::string(saved ? "1" : "0") + (playedOn ? "1" : "0");
            for (const auto& r : dialogs.Requests())
                report += r.Text() + "\n";
            FILE* out = ::fdopen(fds[1], "w");
            std::fputs((report + M().LabelStatus.Text()).c_str(), out);
            std::fclose(out);
            ::_exit(0);
        }
        ::close(fds[1]);
        std::string report;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
            report.append(buffer, static_cast<size_t>(n));
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::chmod(dir.Path().c_str(), 0755);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
        return report;
    }
};

TEST_F(FullDisk, NoFailedWriteCostsATakeOrAnEarlierFileAndThePerformanceGoesOn) {
    const struct {
        const char* name;
        Kind kind;
        Place place;
        const char* told; // a piece of the German message the child must have been shown
    } cases[] = {
        {"session, disk full", Kind::Session, Place::FullDisk, "Datei zu groß"},
        {"session, read-only", Kind::Session, Place::ReadOnlyFolder, "keine Berechtigung"},
        {"settings, disk full", Kind::Settings, Place::FullDisk, "Datei zu groß"},
        {"settings, read-only", Kind::Settings, Place::ReadOnlyFolder, "Einstellungen nicht gespeichert"},
        {"mixer set, disk full", Kind::MixerSet, Place::FullDisk, "Datei zu groß"},
        {"mixer set, read-only", Kind::MixerSet, Place::ReadOnlyFolder, "kann nicht geschrieben werden"},
        {"loop file, disk full", Kind::LoopFile, Place::FullDisk, "Datei zu groß"},
        {"loop file, read-only", Kind::LoopFile, Place::ReadOnlyFolder, "keine Berechtigung"},
        {"export, disk full", Kind::Export, Place::FullDisk, "Datei zu groß"},
        {"export, read-only", Kind::Export, Place::ReadOnlyFolder, "ExportLoops"},
    };
    // The earlier saves of every kind, made while the disk had room.
    const std::string take = dir / "Take.lps";
    ASSERT_TRUE(core->LoadSaveSession(take, true));
    ASSERT_TRUE(core->LoadSaveSettings(dir / "Kreisel.LPS", true));
    ASSERT_TRUE(core->LoadSaveMixerSet(dir / "Kreisel.mix", true, false));
    std::string error;
    ASSERT_TRUE(WriteLoopWav(E(), 1, dir / "Loop.wav", &error)) << error;
    // The loops as that session gives them back (the settings file brings its own rate).
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    const std::string a1 = Audio(1), a2 = Audio(2);
    const std::map<std::string, std::string> earlier = Files();
    Press(M().SBPlay);
    Blocks(5);
    ASSERT_TRUE(E().Playing);
    // What the saves would write differs from what is on disk.
    M().TBMetronomBPM.SetPosition(M().TBMetronomBPM.Position() + 7);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string o = InChild(c.place, [&] {
            switch (c.kind) {
            case Kind::Session:
                T().UnsavedRecordings = true;
                return core->LoadSaveSession(take, true);
            case Kind::Settings:
                return core->LoadSaveSettings(dir / "Kreisel.LPS", true);
            case Kind::MixerSet:
                return core->LoadSaveMixerSet(dir / "Kreisel.mix", true, false);
            case Kind::LoopFile: {
                std::string message;
                const bool ok = WriteLoopWav(E(), 2, dir / "Loop.wav", &message);
                dialogs.ShowMessage(message);
                return ok;
            }
            case Kind::Export: {
                if (!core->Exporter().Start(dir / "Mix.wav")) return false;
                Press(M().SBDoExport);
                Blocks(10, 100, 100);
                core->Exporter().RefreshDisplay();
                return core->Exporter().Running();
            }
            }
            return true;
        });
        EXPECT_EQ(o.substr(0, 2), "01"); // not saved, and the loops played on
        EXPECT_NE(o.find(c.told), std::string::npos) << o;

        std::map<std::string, std::string> now = Files();
        if (c.kind == Kind::Export && c.place == Place::FullDisk) {
            // The export stopped at the full disk as a valid WAV file of whole frames.
            ASSERT_EQ(now.count("Mix.wav"), 1u);
            const std::string mix = now["Mix.wav"];
            ASSERT_GE(mix.size(), 44u);
            EXPECT_EQ(Le32(mix, 40), mix.size() - 44);
            EXPECT_EQ(Le32(mix, 4), mix.size() - 8);
            EXPECT_EQ((mix.size() - 44) % 4, 0u);
            fs::remove(dir / "Mix.wav");
            now.erase("Mix.wav");
        }
        EXPECT_TRUE(now == earlier) << "files now: " << now.size() << ", before: " << earlier.size();
    }

    // The earlier session is whole and loads.
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    ASSERT_EQ(E().LoopCount, 2);
    EXPECT_TRUE(Audio(1) == a1 && Audio(2) == a2);
}

} // namespace
} // namespace kreisel::test

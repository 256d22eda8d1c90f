// Damaged RIFF files are refused before libsndfile parses them, on every way the program reads
// audio (import, session load, the built-in file device); sound files of many kinds still load.
#include "persistence/RiffCheck.h"

#include "persistence/SoundFiles.h"
#include "persistence/WavFile.h"
#include "scenarios/Stage.h"
#include "soundcard/filedevice/FileDevice.h"

#include <algorithm>
#include <fcntl.h>
#include <functional>

namespace kreisel::test {
namespace {

// A chunk with the size its body has, in the byte order of the file.
std::string Sized(uint32_t v, bool big) {
    std::string s = Le(v, 4);
    if (big) std::swap(s[0], s[3]), std::swap(s[1], s[2]);
    return s;
}

std::string Chunk(const std::string& name, const std::string& body, bool big = false) {
    return name + Sized(static_cast<uint32_t>(body.size()), big) + body + std::string(body.size() % 2, '\0');
}

std::string Fmt(bool big = false) {
    std::string f;
    for (auto [v, size] : {std::pair{1u, 2}, {2u, 2}, {48000u, 4}, {192000u, 4}, {4u, 2}, {16u, 2}}) {
        std::string b = Le(v, size);
        if (big) std::reverse(b.begin(), b.end());
        f += b;
    }
    return Chunk("fmt ", f, big);
}

std::string Riff(const std::string& chunks, const std::string& id = "RIFF", bool big = false) {
    return id + Sized(static_cast<uint32_t>(chunks.size() + 4), big) + "WAVE" + chunks;
}

const std::string kSound = Chunk("data", std::string(64, '\x10'));

// The file that made libsndfile spin forever: a LIST whose only entry's size wraps around.
const std::string kSpinner = {"\x52\x49\x46\x46\x67\x01\x00\x00\x57\x41\x56\x45\x66\x6d\x74\x20"
                              "\x10\x00\x00\x00\x01\x00\x02\x00\x80\xbb\x00\x00\x00\xdc\x05\x00"
                              "\x08\x00\x20\x00\x4c\x49\x53\x54\x40\x00\x00\x00\x7f\xff\xff\xff"
                              "\xff\xff\xff\xff\xff\xff\xff\xff\xf7\xff\xff\xff",
                              60};

std::string WrappingList(bool big) {
    return "LIST" + Sized(16, big) + "INFO" + "Ixyz" + Sized(0xFFFFFFF7u, big) + "abcd";
}

struct Damaged {
    const char* what;
    std::string bytes;
};

std::vector<Damaged> DamagedFiles() {
    const std::string ds64 =
        Chunk("ds64", Le(200, 4) + Le(0, 4) + Le(64, 4) + Le(0, 4) + Le(16, 4) + Le(0, 4) + Le(0, 4));
    return {
        {"the 60-byte file", kSpinner},
        {"wrapping entry after the data", Riff(Fmt() + kSound + WrappingList(false))},
        {"wrapping entry, big-endian",
         Riff(Fmt(true) + WrappingList(true) + Chunk("data", "abcd", true), "RIFX", true)},
        {"wrapping entry in RF64",
         "RF64" + Le(0xFFFFFFFF, 4) + "WAVE" + ds64 + Fmt() + WrappingList(false) + kSound},
        {"chunk past the end", Riff(Fmt() + kSound + "junk" + Le(1000, 4) + "abcd")},
        {"entry past the list", Riff(Fmt() + "LIST" + Le(12, 4) + "INFOISFT" + Le(20, 4) + kSound)},
        {"odd entry without its pad byte",
         Riff(Fmt() + "LIST" + Le(17, 4) + "INFOISFT" + Le(5, 4) + "abcde" + kSound)},
        {"zero-size list", Riff(Fmt() + "LIST" + Le(0, 4) + kSound)},
        {"zero-size format", Riff("fmt " + Le(0, 4) + kSound)},
        {"cue count beyond its size", Riff(Fmt() + "cue " + Le(4, 4) + Le(1, 4) + kSound)},
        {"odd chunk with a text pad byte",
         Riff(Fmt() + "junk" + Le(3, 4) + "abcLIST" + Le(4, 4) + "INFO" + kSound)},
        {"odd chunk with a nonzero pad byte before a whole chunk",
         Riff(Fmt() + "junk" + Le(3, 4) + "abc\x01" + Chunk("LIST", "INFO") + kSound)},
    };
}

// Runs `read` in a child process that is killed when it takes more than a few seconds: a parser
// that loops forever fails the test instead of hanging it.
void FinishesSoon(const std::function<void()>& read) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(10);
            read();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(RiffCheck, DamagedFilesAreRefusedByTheReader) {
    ScratchFolder dir;
    LoopBuffer buffer;
    ASSERT_TRUE(buffer.Reserve(1 << 16));
    for (const auto& [what, bytes] : DamagedFiles()) {
        SCOPED_TRACE(what);
        const std::string path = dir / "bad.wav";
        WriteBytes(path, bytes);
        FinishesSoon([&] { ReadAudioFile(path, 0, 48000, buffer); });
        if (HasFailure()) return;
        const AudioFileRead r = ReadAudioFile(path, 0, 48000, buffer);
        EXPECT_EQ(r.status, AudioFileRead::Status::NotAudio);
        EXPECT_EQ(r.message, "Datei \"" + path + "\" ist keine lesbare Audio-Datei.");
    }
}

TEST(RiffCheck, SoundFilesPassTheCheck) {
    ScratchFolder dir;
    const std::vector<int16_t> ramp = StereoRamp(100);
    const std::string list = Chunk("LIST", "INFO" + Chunk("ISFT", "Kreisel") + Chunk("ICMT", ""));
    const std::pair<const char*, std::string> built[] = {
        {"odd chunks with pad bytes",
         Riff(Fmt() + Chunk("junk", "abc") + list + kSound + Chunk("afsp", "x"))},
        {"cut-off recording", Riff(Fmt() + "data" + Le(100000, 4) + "abcd")},
        {"zero-size chunk and zeros at the end",
         Riff(Fmt() + Chunk("junk", "") + kSound) + std::string(9, '\0')},
        {"big-endian", Riff(Fmt(true) + Chunk("data", "abcd", true), "RIFX", true)},
        {"odd last chunk without its pad byte", Riff(Fmt() + kSound + "junk" + Le(3, 4) + "abc")},
    };
    auto sound = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        const bool ok = RiffStructureSound(fd);
        ::close(fd);
        return ok;
    };
    for (const auto& [what, bytes] : built) {
        WriteBytes(dir / "a.wav", bytes);
        EXPECT_TRUE(sound(dir / "a.wav")) << what;
    }
    // As libsndfile writes them, with text, cue points and broadcast data.
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                       SF_FORMAT_RF64 | SF_FORMAT_PCM_24, SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG}) {
        SF_INFO info{0, 48000, 2, format, 0, 0};
        SNDFILE* f = sf_open((dir / "b.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << format;
        sf_set_string(f, SF_STR_TITLE, "Kreis");
        sf_set_string(f, SF_STR_COMMENT, "ungerade");
        SF_CUES cues{};
        cues.cue_count = 2;
        cues.cue_points[1].position = 50;
        // libsndfile writes the cue chunk of a big-endian file little-endian and cannot read it back.
        if ((format & SF_FORMAT_ENDMASK) != SF_ENDIAN_BIG) sf_command(f, SFC_SET_CUE, &cues, sizeof(cues));
        sf_writef_short(f, ramp.data(), 100);
        sf_close(f);
        EXPECT_TRUE(sound(dir / "b.wav")) << format;
        SF_INFO read{};
        SNDFILE* back = OpenAudioFile(dir / "b.wav", read);
        EXPECT_NE(back, nullptr) << format;
        if (back != nullptr) sf_close(back);
    }
}

class RiffCheckOnTheCore : public Stage {
  protected:
    RiffCheckOnTheCore() { StartPlain(); }
    std::string Good(const std::string& name) {
        WriteSound(dir / name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, StereoRamp(480));
        return dir / name;
    }
    ScratchFolder dir;
};

TEST_F(RiffCheckOnTheCore, AnImportSkipsTheDamagedFileAndGoesOn) {
    WriteBytes(dir / "bad.wav", kSpinner);
    const std::string good = Good("good.wav");
    FinishesSoon([&] { core->Importer().ImportLoops({dir / "bad.wav", good}); });
    if (HasFailure()) return;
    EXPECT_EQ(core->Importer().ImportLoops({dir / "bad.wav", good}), 1);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_NE(dialogs.Requests()[0].Text().find("bad.wav\" ist keine lesbare Audio-Datei."),
              std::string::npos);
}

TEST_F(RiffCheckOnTheCore, ASessionLoadSkipsTheDamagedLoopFileAndGoesOn) {
    const std::filesystem::path take = dir / "Take.lps";
    WriteBytes(take.string(), "[Kreisel]\n");
    WriteBytes(dir / "Take.mix", "[Options]\n");
    WriteBytes(dir / "Take_A1.wav", kSpinner);
    // At the rate a session without settings of its own plays at.
    WriteSound(dir / "Take_A2.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, StereoRamp(480));
    FinishesSoon([&] { core->LoadSaveSession(take, false); });
    if (HasFailure()) return;
    ASSERT_TRUE(core->LoadSaveSession(take, false));
    EXPECT_EQ(E().LoopCount, 1);
    EXPECT_EQ(E().Slots[1].LoopLenBytes, 480 * 4);
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].Text(),
              "Datei \"" + dir / "Take_A1.wav" + "\" ist keine lesbare Audio-Datei. Nicht geladen.");
}

TEST(RiffCheck, TheFileDeviceRefusesADamagedInput) {
    ScratchFolder dir;
    WriteBytes(dir / "in.wav", kSpinner);
    FileDevice d;
    d.SetInputFile(dir / "in.wav");
    FinishesSoon([&] { d.OpenInput(0, {48000, 2, 480}, {}); });
    if (HasFailure()) return;
    EXPECT_EQ(d.OpenInput(0, {48000, 2, 480}, {}), AudioFileError);
    EXPECT_NE(d.ErrorText(AudioFileError).find("\"" + dir / "in.wav" + "\": keine lesbare Audio-Datei"),
              std::string::npos);
}

} // namespace
} // namespace kreisel::test

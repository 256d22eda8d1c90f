// The audio reader behind imports and session loads, and loops written as WAV files.
#include "persistence/WavFile.h"

#include "engine/Gain.h"
#include "persistence/SoundFiles.h"

#include <cmath>
#include <memory>

namespace kreisel::test {
namespace {

constexpr int kRate = 48000;

std::vector<int16_t> Values(const LoopBuffer& b, int64_t bytes) {
    const auto* p = reinterpret_cast<const int16_t*>(b.Data());
    return {p, p + bytes / 2};
}

// A WAV file with a LIST chunk of odd size before the data and, when the data is complete, a
// chunk after it.
std::string WavWithExtraChunks(const std::vector<int16_t>& values, uint32_t declaredDataBytes) {
    const std::string data(reinterpret_cast<const char*>(values.data()), values.size() * 2);
    std::string body = "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(2, 2) + Le(kRate, 4) + Le(kRate * 4, 4) +
                       Le(4, 2) + Le(16, 2) + "LIST" + Le(5, 4) + "INFOx" + std::string(1, '\0') + "data" +
                       Le(declaredDataBytes, 4) + data;
    if (declaredDataBytes == data.size()) body += "junk" + Le(4, 4) + "abcd";
    return "RIFF" + Le(static_cast<uint32_t>(body.size()), 4) + body;
}

TEST(AudioReader, ReadsEveryCommonFormatAsTheSameValues) {
    ScratchFolder dir;
    const std::vector<int16_t> ramp = StereoRamp(300);
    WriteBytes(dir / "chunks.wav", WavWithExtraChunks(ramp, 1200));
    const std::pair<const char*, int> formats[] = {
        {"ext24.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24}, {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"u8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},      {"int32.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        {"x.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},     {"x.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16}};
    for (const auto& [name, format] : formats)
        WriteSound(dir / name, format, 2, kRate, ramp);

    LoopBuffer buffer;
    ASSERT_TRUE(buffer.Reserve(1 << 20));
    for (const char* name :
         {"chunks.wav", "ext24.wav", "float.wav", "u8.wav", "int32.wav", "x.aiff", "x.flac"}) {
        const AudioFileRead r = ReadAudioFile(dir / name, 0, kRate, buffer);
        ASSERT_EQ(r.status, AudioFileRead::Status::Loaded) << name << r.message;
        EXPECT_EQ(Values(buffer, r.bytes), ramp) << name;
        EXPECT_EQ(buffer.Position(), 0u);
    }
}

TEST(AudioReader, ChannelsFollowTheInputMode) {
    ScratchFolder dir;
    WriteSound(dir / "stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, {1000, 3000, 1000, 3000});
    WriteSound(dir / "mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate, {2000, -2000});
    LoopBuffer buffer;
    ASSERT_TRUE(buffer.Reserve(4096));
    auto read = [&](const char* name, int mode) {
        return Values(buffer, ReadAudioFile(dir / name, mode, kRate, buffer).bytes);
    };
    using V = std::vector<int16_t>;
    // Stereo material is treated as the live input of that mode would be.
    const int16_t mixed = ApplyGainSat(4000, -2);
    EXPECT_EQ(read("stereo.wav", 0), (V{1000, 3000, 1000, 3000}));
    EXPECT_EQ(read("stereo.wav", 1), (V{mixed, mixed}));
    EXPECT_EQ(read("stereo.wav", 2), (V{1000, 1000}));
    EXPECT_EQ(read("stereo.wav", 3), (V{3000, 3000}));
    // Mono material plays on both sides in stereo and stays as it is in every mono mode.
    EXPECT_EQ(read("mono.wav", 0), (V{2000, 2000, -2000, -2000}));
    for (int mode : {1, 2, 3})
        EXPECT_EQ(read("mono.wav", mode), (V{2000, -2000}));
}

TEST(AudioReader, ConvertsTheRateAndStopsAtTheEndOfDataAndBuffer) {
    ScratchFolder dir;
    // One second of 1 kHz at 48 kHz, for a loop store running at 44.1 kHz.
    std::vector<int16_t> sine;
    for (int i = 0; i < kRate; ++i) {
        const auto v = static_cast<int16_t>(std::lround(16000 * std::sin(2 * M_PI * 1000 * i / kRate)));
        sine.insert(sine.end(), {v, v});
    }
    WriteSound(dir / "sine.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, sine);
    LoopBuffer buffer;
    ASSERT_TRUE(buffer.Reserve(1 << 20));
    const AudioFileRead r = ReadAudioFile(dir / "sine.wav", 0, 44100, buffer);
    EXPECT_NEAR(static_cast<double>(r.bytes) / 4, 44100, 20);
    const std::vector<int16_t> v = Values(buffer, r.bytes);
    int crossings = 0, peak = 0;
    for (size_t i = 2; i + 2 < v.size(); i += 2) {
        crossings += (v[i - 2] < 0) != (v[i] < 0);
        peak = std::max(peak, std::abs(int{v[i]}));
    }
    EXPECT_NEAR(crossings, 2000, 4); // still 1 kHz
    EXPECT_NEAR(peak, 16000, 300);

    // A data chunk that declares more than the file holds yields what is there, in whole frames.
    const std::vector<int16_t> ramp = StereoRamp(100);
    WriteBytes(dir / "cut.wav", WavWithExtraChunks(ramp, 40000) + "\x01");
    const AudioFileRead cut = ReadAudioFile(dir / "cut.wav", 0, kRate, buffer);
    ASSERT_EQ(cut.status, AudioFileRead::Status::Loaded);
    EXPECT_EQ(Values(buffer, cut.bytes), ramp);

    // A file longer than the loop can hold gives its beginning, with a note.
    LoopBuffer small;
    ASSERT_TRUE(small.Reserve(202));
    const AudioFileRead part = ReadAudioFile(dir / "cut.wav", 0, kRate, small);
    EXPECT_TRUE(part.cut);
    EXPECT_EQ(Values(small, part.bytes), std::vector<int16_t>(ramp.begin(), ramp.begin() + 100));
    EXPECT_EQ(part.message,
              "Datei \"" + dir / "cut.wav" + "\" ist zu lang für einen Loop und wurde auf 0.0 Sek. gekürzt.");
}

TEST(LoopWav, WritesTheRecordedPartAndReadsBackBitIdentical) {
    ScratchFolder dir;
    auto engine = std::make_unique<Engine>(); // too large for the stack
    Engine& e = *engine;
    e.SampleRate = 44100;
    LoopSlot& s = e.Slots[2];
    ASSERT_TRUE(s.Buffer.Reserve(1 << 16));
    std::vector<int16_t> values;
    for (int i = 0; i < 1000; ++i)
        values.push_back(static_cast<int16_t>(i * 65 - 32768));
    s.Buffer.Write(values.data(), values.size() * 2);
    s.LoopLenBytes = 1600; // the rest lies beyond the loop's end

    for (const uint32_t channels : {1u, 2u}) {
        e.InputMode = channels == 2 ? 0 : 1;
        const std::string path = dir / ("Take_A" + std::to_string(channels) + ".wav");
        std::string error;
        ASSERT_TRUE(WriteLoopWav(e, 2, path, &error)) << error;
        const std::string bytes = ReadBytes(path);
        ASSERT_EQ(bytes.size(), 44u + 1600);
        EXPECT_EQ(Le32(bytes, 4), 1600u + 36);
        EXPECT_EQ(Le32(bytes, 20), 1u | channels << 16);
        EXPECT_EQ(Le32(bytes, 28), 44100u * 2 * channels);
        EXPECT_EQ(Le32(bytes, 32), 2u * channels | 16u << 16);
        EXPECT_EQ(Le32(bytes, 40), 1600u);

        LoopBuffer back;
        ASSERT_TRUE(back.Reserve(1 << 16));
        const AudioFileRead r = ReadAudioFile(path, e.InputMode, 44100, back);
        EXPECT_EQ(Values(back, r.bytes), std::vector<int16_t>(values.begin(), values.begin() + 800));
    }

    // A failed write leaves the target alone and no temporary file behind.
    std::filesystem::create_directory(dir / "taken.wav");
    std::string error;
    EXPECT_FALSE(WriteLoopWav(e, 2, dir / "taken.wav", &error));
    EXPECT_EQ(error.rfind("Datei \"" + dir / "taken.wav" + "\" kann nicht geschrieben werden: ", 0), 0u)
        << error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

} // namespace
} // namespace kreisel::test

// Any file offered as audio (import, loop files of a session): the RIFF structure check, the
// opening through libsndfile and the reading into a loop buffer in each input mode and at a
// rate that asks for conversion. The first byte picks mode and rate; the rest is the file.
#include "FuzzRig.h"
#include "persistence/RiffCheck.h"
#include "persistence/WavFile.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace kreisel;

KREISEL_FUZZ_TARGET(audio_file) {
    if (size < 1) return 0;
    static LoopBuffer buffer;
    static const size_t capacity = [] {
        if (!buffer.Reserve(1 << 20)) std::abort();
        return buffer.Capacity();
    }();
    const int mode = data[0] % 4;
    const int rates[] = {48000, 44100, 22050, 96000};
    const int rate = rates[(data[0] >> 2) % 4];
    const auto file = fuzz::Scratch() / "in.wav";
    fuzz::WriteFile(file, std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

    const int fd = open(file.c_str(), O_RDONLY);
    if (fd >= 0) {
        RiffStructureSound(fd);
        close(fd);
    }
    SF_INFO info{};
    if (SNDFILE* sf = OpenAudioFile(file, info)) sf_close(sf);

    const AudioFileRead read = ReadAudioFile(file.string(), mode, rate, buffer);
    // Nothing lands beyond the buffer, the buffer is rewound, a load has audio.
    if (read.bytes < 0 || static_cast<size_t>(read.bytes) > capacity) std::abort();
    if (buffer.Position() != 0) std::abort();
    if (read.status == AudioFileRead::Status::Loaded && read.bytes == 0) std::abort();
    if (read.status != AudioFileRead::Status::Loaded && read.message.empty()) std::abort();
    return 0;
}

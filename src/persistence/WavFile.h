// WAV files of the looper: the canonical 44-byte header that loops and the export are written
// with, writing a loop's audio as a WAV file, and reading any audio file libsndfile knows into a
// loop buffer in the loop format of the current input mode.
#pragma once

#include "core/IniFile.h" // FileErrorText
#include "engine/Engine.h"
#include "engine/LoopBuffer.h"

#include <array>
#include <cstdint>
#include <string>

namespace kreisel {

constexpr int kWavHeaderBytes = 44;
using WavHeader = std::array<uint8_t, kWavHeaderBytes>;

// The canonical RIFF/WAVE PCM header, numbers little-endian. The size fields are 32-bit: a data
// size beyond them is written as the largest size they hold.
WavHeader MakeWavHeader(int64_t dataSize, int channelCount, int blockAlign, int byteRate, int sampleRate,
                        int bitsPerSample);

// Writes the recorded part of a loop (LoopLenBytes) as a 16-bit WAV file with the engine's
// channel count and sample rate. The file is written under a temporary name in the same folder
// and renamed over `path` only when it is complete, so an earlier file of that name stays intact
// when writing fails; `error` then gets a German message naming the file.
bool WriteLoopWav(const Engine& engine, int loop, const std::string& path, std::string* error);

struct AudioFileRead {
    enum class Status {
        Loaded,   // `bytes` of loop material are in the buffer (maybe cut, see `message`)
        Missing,  // no such file
        NotAudio, // not a file libsndfile can read as audio
        Empty,    // audio without a single frame
        Failed,   // the file or the conversion failed
    };
    Status status = Status::Failed;
    int64_t bytes = 0;
    bool cut = false;    // longer than the buffer holds: only the beginning was taken
    std::string message; // German, naming the file; set unless loaded completely
};

// Reads an audio file (WAV with any chunks or WAVE_FORMAT_EXTENSIBLE, 8 to 32-bit and float,
// AIFF, FLAC, ...) into `target` from its start as 16-bit values in the layout of `inputMode`:
// stereo frames in mode 0; in the mono modes one value per frame, a stereo file mixed or picked
// as the mode treats the live input. A mono file plays on both sides in stereo. A file at another
// rate is converted to `sampleRate`. Nothing is read past the end of the file, nothing is written
// past the buffer's capacity, and the buffer is rewound afterwards. Not for the block path.
AudioFileRead ReadAudioFile(const std::string& path, int inputMode, int sampleRate, LoopBuffer& target);

} // namespace kreisel

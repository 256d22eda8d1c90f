// The chunk structure of RIFF, RIFX and RF64 files, checked before libsndfile parses them: its
// parser loops forever on some damaged sizes (a LIST entry whose size wraps around makes it jump
// backwards), so every audio file the program reads goes through here first.
#pragma once

#include <sndfile.h>

#include <filesystem>

namespace kreisel {

// False for a RIFF/RIFX/RF64 file whose chunks do not add up: a chunk reaching past the end of
// the file (only the data chunk may, as in a recording that was cut off), a LIST whose entries
// overrun it, a chunk too short for what it must hold, a chunk name that is no text. True for a
// sound one and for any other format, which is left to libsndfile. Reads with pread, so the file
// position is left alone.
bool RiffStructureSound(int fd);

// Opens a regular file for reading through libsndfile, a RIFF file only when its structure is
// sound; nullptr otherwise (missing, a FIFO or folder, damaged, or not audio).
SNDFILE* OpenAudioFile(const std::filesystem::path& path, SF_INFO& info);

} // namespace kreisel

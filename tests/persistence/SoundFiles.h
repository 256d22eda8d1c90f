// Helpers of the WAV tests: sound files written through libsndfile or byte by byte, and read back.
#pragma once

#include "support/ScratchFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace kreisel::test {

// Interleaved 16-bit values in a libsndfile format; float files get samples in -1..1, as audio
// programs write them.
inline void WriteSound(const std::string& path, int format, int channels, int rate,
                       const std::vector<int16_t>& values) {
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(values.size()) / channels;
    std::vector<double> scaled(values.begin(), values.end());
    for (double& x : scaled)
        x /= 32768;
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT)
        sf_writef_double(f, scaled.data(), frames);
    else
        sf_writef_short(f, values.data(), frames);
    sf_close(f);
}

struct SoundRead {
    SF_INFO info{};
    std::vector<int16_t> values;
};

inline SoundRead ReadSound(const std::string& path) {
    SoundRead r;
    if (SNDFILE* f = sf_open(path.c_str(), SFM_READ, &r.info)) {
        r.values.resize(static_cast<size_t>(r.info.frames * r.info.channels));
        sf_readf_short(f, r.values.data(), r.info.frames);
        sf_close(f);
    }
    return r;
}

inline uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
}

inline std::string Le(uint32_t v, int size) {
    std::string s;
    for (int i = 0; i < size; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// Runs `write` with files limited to `bytes`: writes beyond fail (EFBIG) as on a full disk.
inline void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& write) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    write();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
}

// A stereo ramp whose values every format down to 8 bits holds exactly.
inline std::vector<int16_t> StereoRamp(int frames) {
    std::vector<int16_t> v;
    for (int i = 0; i < frames; ++i)
        v.insert(v.end(),
                 {static_cast<int16_t>((i % 200 - 100) * 256), static_cast<int16_t>((i % 50 - 25) * -512)});
    return v;
}

} // namespace kreisel::test

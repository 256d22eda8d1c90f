// WAV header, loop files and the audio reader behind imports and session loads.
#include "persistence/WavFile.h"

#include "core/Text.h"
#include "engine/Gain.h"
#include "persistence/RiffCheck.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace kreisel {

namespace {

void Put32(WavHeader& h, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i)
        h[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put16(WavHeader& h, size_t at, uint16_t v) {
    h[at] = static_cast<uint8_t>(v);
    h[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutTag(WavHeader& h, size_t at, std::string_view tag) {
    std::memcpy(h.data() + at, tag.data(), 4);
}

uint32_t Clamp32(int64_t v) {
    return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, UINT32_MAX));
}

bool WriteAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

std::string Quoted(const std::string& path) {
    return "Datei \"" + path + "\"";
}

// 16-bit value of a normalised sample, rounded to the nearest value; exact for 8 and 16-bit
// sources, whose samples are multiples of 1/32768.
int16_t ToSample(float x) {
    const double v = std::nearbyint(static_cast<double>(x) * 32768.0);
    if (std::isnan(v)) return 0;
    return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}

class SndFile {
  public:
    SndFile(int fd, SNDFILE* file) : fd_(fd), file_(file) {}
    ~SndFile() {
        if (file_ != nullptr) sf_close(file_);
        if (fd_ >= 0) ::close(fd_);
    }
    SndFile(const SndFile&) = delete;
    SndFile& operator=(const SndFile&) = delete;
    SNDFILE* get() const { return file_; }

  private:
    int fd_;
    SNDFILE* file_;
};

class Resampler {
  public:
    explicit Resampler(int channels) {
        int error = 0;
        state_ = src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error);
    }
    ~Resampler() {
        if (state_ != nullptr) src_delete(state_);
    }
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;
    SRC_STATE* get() const { return state_; }

  private:
    SRC_STATE* state_ = nullptr;
};

// Takes converted frames and stores them in the loop buffer until it is full.
class LoopSink {
  public:
    LoopSink(LoopBuffer& target, int channels)
        : target_(target), frameBytes_(2 * static_cast<size_t>(channels)),
          room_(target.Capacity() / frameBytes_ * frameBytes_) {}

    // Returns false once the buffer is full and the rest must be dropped.
    bool Put(const int16_t* values, size_t frames) {
        const size_t bytes = std::min(frames * frameBytes_, room_ - written_);
        target_.Write(values, bytes);
        written_ += bytes;
        if (bytes < frames * frameBytes_) full_ = true;
        return !full_;
    }
    size_t Written() const { return written_; }
    bool Full() const { return full_; }

  private:
    LoopBuffer& target_;
    size_t frameBytes_;
    size_t room_;
    size_t written_ = 0;
    bool full_ = false;
};

} // namespace

WavHeader MakeWavHeader(int64_t dataSize, int channelCount, int blockAlign, int byteRate, int sampleRate,
                        int bitsPerSample) {
    WavHeader h{};
    PutTag(h, 0, "RIFF");
    Put32(h, 4, Clamp32(std::min<int64_t>(dataSize, UINT32_MAX - 36) + 36));
    PutTag(h, 8, "WAVE");
    PutTag(h, 12, "fmt ");
    Put32(h, 16, 16);
    Put16(h, 20, 1);
    Put16(h, 22, static_cast<uint16_t>(channelCount));
    Put32(h, 24, Clamp32(sampleRate));
    Put32(h, 28, Clamp32(byteRate));
    Put16(h, 32, static_cast<uint16_t>(blockAlign));
    Put16(h, 34, static_cast<uint16_t>(bitsPerSample));
    PutTag(h, 36, "data");
    Put32(h, 40, Clamp32(std::min<int64_t>(dataSize, UINT32_MAX - 36)));
    return h;
}

bool WriteLoopWav(const Engine& engine, int loop, const std::string& path, std::string* error) {
    auto fail = [&](int code) {
        if (error != nullptr)
            *error = Quoted(path) + " kann nicht geschrieben werden: " + FileErrorText(code);
        return false;
    };
    if (loop < 1 || loop > LoopSlotCapacity) return fail(EINVAL);
    const LoopSlot& slot = engine.Slots[static_cast<size_t>(loop)];
    const int channels = engine.ChannelCount();
    const int frameBytes = 2 * channels;
    int64_t bytes = std::clamp<int64_t>(slot.LoopLenBytes, 0, static_cast<int64_t>(slot.Buffer.Capacity()));
    bytes -= bytes % frameBytes;
    const WavHeader header =
        MakeWavHeader(bytes, channels, frameBytes, engine.SampleRate * frameBytes, engine.SampleRate, 16);

    const std::string temporary = TemporaryName(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return fail(errno);
    int code = 0;
    if (!WriteAll(fd, header.data(), header.size()) ||
        (bytes > 0 && !WriteAll(fd, slot.Buffer.Data(), static_cast<size_t>(bytes))) || ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0) code = errno;
    if (code == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) code = errno;
    if (code != 0) {
        ::unlink(temporary.c_str());
        return fail(code);
    }
    return true;
}

AudioFileRead ReadAudioFile(const std::string& path, int inputMode, int sampleRate, LoopBuffer& target) {
    using Status = AudioFileRead::Status;
    AudioFileRead result;
    auto fail = [&](Status status, std::string text) {
        result.status = status;
        result.bytes = 0;
        result.message = Quoted(path) + text;
        target.Seek(0);
        return result;
    };

    // Non-blocking, so that a FIFO in place of the file cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR) return fail(Status::Missing, " nicht gefunden.");
        return fail(Status::Failed, " kann nicht gelesen werden: " + FileErrorText(code) + ".");
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !RiffStructureSound(fd)) {
        ::close(fd);
        return fail(Status::NotAudio, " ist keine lesbare Audio-Datei.");
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    SF_INFO format{};
    SndFile file(fd, sf_open_fd(fd, SFM_READ, &format, SF_FALSE));
    if (file.get() == nullptr || format.channels < 1 || format.samplerate < 1)
        return fail(Status::NotAudio, " ist keine lesbare Audio-Datei.");
    if (format.frames == 0) return fail(Status::Empty, " enthält keine Audio-Daten.");

    const int outChannels = inputMode == 0 ? 2 : 1;
    const bool convertRate = format.samplerate != sampleRate;
    const double ratio = static_cast<double>(sampleRate) / format.samplerate;
    if (sampleRate < 1 || (convertRate && src_is_valid_ratio(ratio) == 0))
        return fail(Status::Failed, " hat eine Abtastrate (" + std::to_string(format.samplerate) +
                                        " Hz), die nicht umgerechnet werden kann.");
    Resampler resampler(convertRate ? outChannels : 1);
    if (convertRate && resampler.get() == nullptr)
        return fail(Status::Failed, " kann nicht umgerechnet werden.");

    constexpr sf_count_t kChunk = 4096;
    const auto inChannels = static_cast<size_t>(format.channels);
    std::vector<float> in(static_cast<size_t>(kChunk) * inChannels);
    std::vector<int16_t> frames(static_cast<size_t>(kChunk) * 2);
    // Room for the converted frames of one chunk at the largest ratio, plus the filter's tail.
    const auto outRoom = static_cast<size_t>(kChunk * std::max(ratio, 1.0)) + 64;
    std::vector<float> rateIn, rateOut;
    std::vector<int16_t> rateFrames;
    if (convertRate) {
        rateIn.resize(static_cast<size_t>(kChunk) * static_cast<size_t>(outChannels));
        rateOut.resize(outRoom * static_cast<size_t>(outChannels));
        rateFrames.resize(rateOut.size());
    }

    target.Seek(0);
    LoopSink sink(target, outChannels);
    int64_t framesRead = 0;

    // Feeds converted frames through the rate conversion; `last` drains its filter.
    auto resample = [&](long count, bool last) {
        SRC_DATA data{};
        src_short_to_float_array(frames.data(), rateIn.data(), static_cast<int>(count * outChannels));
        data.data_in = rateIn.data();
        data.input_frames = count;
        data.src_ratio = ratio;
        data.end_of_input = last ? 1 : 0;
        for (;;) {
            data.data_out = rateOut.data();
            data.output_frames = static_cast<long>(outRoom);
            if (src_process(resampler.get(), &data) != 0) return false;
            src_float_to_short_array(rateOut.data(), rateFrames.data(),
                                     static_cast<int>(data.output_frames_gen * outChannels));
            if (!sink.Put(rateFrames.data(), static_cast<size_t>(data.output_frames_gen))) return true;
            data.data_in += data.input_frames_used * outChannels;
            data.input_frames -= data.input_frames_used;
            if (data.input_frames == 0 && (!last || data.output_frames_gen == 0)) return true;
        }
    };

    while (!sink.Full()) {
        const sf_count_t got = sf_readf_float(file.get(), in.data(), kChunk);
        if (got <= 0) break;
        framesRead += got;
        for (sf_count_t f = 0; f < got; ++f) {
            const float* s = in.data() + static_cast<size_t>(f) * inChannels;
            const int16_t l = ToSample(s[0]);
            const int16_t r = inChannels > 1 ? ToSample(s[1]) : l;
            const auto at = static_cast<size_t>(f);
            if (outChannels == 2) {
                frames[2 * at] = l;
                frames[2 * at + 1] = r;
            } else if (inChannels == 1) {
                frames[at] = l;
            } else {
                // The mono modes treat a stereo file as they treat the live input.
                switch (inputMode) {
                case 1:
                    frames[at] = ApplyGainSat(int32_t{l} + r, -2);
                    break;
                case 3:
                    frames[at] = r;
                    break;
                default:
                    frames[at] = l;
                    break;
                }
            }
        }
        if (convertRate) {
            if (!resample(static_cast<long>(got), false))
                return fail(Status::Failed, " kann nicht umgerechnet werden.");
        } else {
            sink.Put(frames.data(), static_cast<size_t>(got));
        }
    }
    if (framesRead == 0) return fail(Status::Empty, " enthält keine Audio-Daten.");
    if (convertRate && !sink.Full() && !resample(0, true))
        return fail(Status::Failed, " kann nicht umgerechnet werden.");
    if (sink.Written() == 0) return fail(Status::Empty, " enthält keine Audio-Daten.");

    result.status = Status::Loaded;
    result.bytes = static_cast<int64_t>(sink.Written());
    result.cut = sink.Full();
    if (result.cut) {
        const int values = static_cast<int>(std::min<int64_t>(result.bytes / 2, INT32_MAX));
        result.message = Quoted(path) + " ist zu lang für einen Loop und wurde auf " +
                         TimeText(values, outChannels, sampleRate, 1) + " gekürzt.";
    }
    target.Seek(0);
    return result;
}

} // namespace kreisel

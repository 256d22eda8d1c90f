// The built-in device: WAV files through libsndfile, rate conversion through libsamplerate.
#include "soundcard/filedevice/FileDevice.h"

#include "persistence/RiffCheck.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

#include <sys/stat.h>

namespace kreisel {

namespace {

// Frames handled in one go; callbacks may get shorter runs than the caller asked for.
constexpr int kChunk = 4096;

int64_t ModifiedNs(const struct stat& st) {
    return int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Reading: any channel count (mono doubled, beyond two the first two), any rate.

class FileDevice::Reader {
  public:
    static std::unique_ptr<Reader> Open(const std::filesystem::path& path, int rate, std::string& error) {
        auto r = std::unique_ptr<Reader>(new Reader());
        r->file_ = OpenAudioFile(path, r->info_);
        if (r->file_ == nullptr) {
            std::error_code ec;
            error = "\"" + path.string() + "\": " +
                    (std::filesystem::exists(path, ec) ? "keine lesbare Audio-Datei" : "nicht gefunden");
            return nullptr;
        }
        if (r->info_.channels < 1 || r->info_.samplerate < 1) {
            error = "\"" + path.string() + "\": keine Audiodaten";
            return nullptr;
        }
        const auto channels = static_cast<size_t>(r->info_.channels);
        if (r->info_.samplerate != rate) {
            r->ratio_ = static_cast<double>(rate) / r->info_.samplerate;
            if (src_is_valid_ratio(r->ratio_) == 0) {
                error = "\"" + path.string() + "\": Abtastrate " + std::to_string(r->info_.samplerate) +
                        " Hz lässt sich nicht umrechnen";
                return nullptr;
            }
            int code = 0;
            r->src_ = src_callback_new(&Reader::Supply, SRC_SINC_MEDIUM_QUALITY, 2, &code, r.get());
            if (r->src_ == nullptr) {
                error = src_strerror(code);
                return nullptr;
            }
            r->rawFloat_.resize(kChunk * channels);
            r->stereoFloat_.resize(kChunk * 2);
            r->outFloat_.resize(kChunk * 2);
        } else {
            r->rawShort_.resize(kChunk * channels);
        }
        return r;
    }

    ~Reader() {
        if (src_ != nullptr) src_delete(src_);
        if (file_ != nullptr) sf_close(file_);
    }

    // Fills up to `frames` stereo frames; fewer only at the end of the file.
    int Read(int16_t* out, int frames) {
        int done = 0;
        while (done < frames && !ended_) {
            const int n = std::min(frames - done, kChunk);
            int got = 0;
            if (src_ != nullptr) {
                got = static_cast<int>(src_callback_read(src_, ratio_, n, outFloat_.data()));
                if (got > 0)
                    src_float_to_short_array(outFloat_.data(), out + 2 * static_cast<size_t>(done), 2 * got);
            } else {
                got = static_cast<int>(sf_readf_short(file_, rawShort_.data(), n));
                ToStereo(rawShort_.data(), got, out + 2 * static_cast<size_t>(done));
            }
            if (got <= 0) ended_ = true;
            done += std::max(got, 0);
        }
        return done;
    }

  private:
    Reader() = default;

    template <typename T> void ToStereo(const T* in, int frames, T* out) const {
        const int ch = info_.channels;
        for (int i = 0; i < frames; ++i) {
            const T* frame = in + static_cast<size_t>(i) * ch;
            out[2 * i] = frame[0];
            out[2 * i + 1] = ch >= 2 ? frame[1] : frame[0];
        }
    }

    static long Supply(void* self, float** data) {
        auto* r = static_cast<Reader*>(self);
        const sf_count_t got = sf_readf_float(r->file_, r->rawFloat_.data(), kChunk);
        r->ToStereo(r->rawFloat_.data(), static_cast<int>(std::max<sf_count_t>(got, 0)),
                    r->stereoFloat_.data());
        *data = r->stereoFloat_.data();
        return static_cast<long>(std::max<sf_count_t>(got, 0));
    }

    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    SRC_STATE* src_ = nullptr;
    double ratio_ = 1.0;
    bool ended_ = false;
    std::vector<short> rawShort_;
    std::vector<float> rawFloat_, stereoFloat_, outFloat_;
};

// ---------------------------------------------------------------------------------------------
// Writing: 16-bit stereo WAV.

class FileDevice::Writer {
  public:
    static std::unique_ptr<Writer> Open(const std::filesystem::path& path, int rate, std::string& error) {
        auto w = std::unique_ptr<Writer>(new Writer());
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        w->file_ = sf_open(path.c_str(), SFM_WRITE, &info);
        if (w->file_ == nullptr) {
            error = "\"" + path.string() + "\": " + sf_strerror(nullptr);
            return nullptr;
        }
        return w;
    }

    ~Writer() {
        if (file_ != nullptr) sf_close(file_);
    }

    bool Write(const int16_t* frames, int count) { return sf_writef_short(file_, frames, count) == count; }

  private:
    Writer() = default;
    SNDFILE* file_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Configuration and device lists

FileDevice::FileDevice() = default;

FileDevice::~FileDevice() {
    Close();
}

void FileDevice::SetInputSilence() {
    source_ = Source::Silence;
}

void FileDevice::SetInputTone(double frequencyHz, int16_t amplitude) {
    source_ = Source::Tone;
    toneHz_ = frequencyHz;
    toneAmplitude_ = amplitude;
}

void FileDevice::SetInputFile(std::filesystem::path path) {
    source_ = Source::File;
    inPath_ = std::move(path);
}

void FileDevice::SetOutputFile(std::filesystem::path path) {
    outPath_ = std::move(path);
}

std::vector<AudioDeviceInfo> FileDevice::InputDevices() {
    AudioDeviceInfo info;
    switch (source_) {
    case Source::Silence:
        info.Name = "Stille";
        break;
    case Source::Tone:
        info.Name = "Testton " + std::to_string(static_cast<int>(std::lround(toneHz_))) + " Hz";
        break;
    case Source::File:
        info.Name = "WAV-Datei " + inPath_.filename().string();
        break;
    }
    info.InputChannels = 2;
    info.DefaultInput = true;
    return {info};
}

std::vector<AudioDeviceInfo> FileDevice::OutputDevices() {
    AudioDeviceInfo info;
    info.Name = outPath_.empty() ? "keine Ausgabe" : "WAV-Datei " + outPath_.filename().string();
    info.OutputChannels = 2;
    info.DefaultOutput = true;
    return {info};
}

std::string FileDevice::ErrorText(int code) const {
    switch (code) {
    case AudioOk:
        return {};
    case AudioBadDeviceId:
        return "Gerät nicht vorhanden";
    case AudioBadFormat:
        return "Format nicht unterstützt (16 Bit Stereo, Abtastrate ab 1 Hz)";
    case AudioFileError:
        return "Datei-Fehler: " + fileError_;
    case AudioInputFileLost: {
        const std::string name = "Eingangsdatei \"" + inPath_.filename().string() + "\" ";
        switch (InputFileLoss()) {
        case InputLoss::Deleted:
            return name + "ist verschwunden, weiter mit Stille";
        case InputLoss::CutShort:
            return name + "wurde gekürzt, weiter mit Stille";
        case InputLoss::Replaced:
            return name + "wurde ersetzt oder überschrieben, weiter mit Stille";
        case InputLoss::None:
            break;
        }
        return name + "ist nicht mehr lesbar, weiter mit Stille";
    }
    default:
        return "unbekannter Fehler";
    }
}

void FileDevice::ReportFileError(const std::string& text) {
    fileError_ = text;
}

// ---------------------------------------------------------------------------------------------
// Open, start, close

int FileDevice::QueryInput(int device, const StreamFormat& format) {
    if (device != 0) return AudioBadDeviceId;
    // The file itself is checked by the open: a missing file is no question of the format.
    if (format.Channels != 2 || format.SampleRate < 1 || format.PeriodFrames < 1) return AudioBadFormat;
    return AudioOk;
}

int FileDevice::QueryOutput(int device, const StreamFormat& format) {
    if (device != 0) return AudioBadDeviceId;
    if (format.Channels != 2 || format.SampleRate < 1 || format.PeriodFrames < 1) return AudioBadFormat;
    return AudioOk;
}

int FileDevice::OpenInput(int device, const StreamFormat& format, InputCallback callback) {
    if (started_) return AudioAllocated;
    if (const int result = QueryInput(device, format); result != AudioOk) return result;
    reader_.reset();
    if (source_ == Source::File) {
        std::string error;
        reader_ = Reader::Open(inPath_, format.SampleRate, error);
        if (reader_ == nullptr) {
            ReportFileError(error);
            return AudioFileError;
        }
    }
    inFormat_ = format;
    inCallback_ = std::move(callback);
    inBuffer_.assign(2 * kChunk, 0);
    inPos_.store(0, std::memory_order_relaxed);
    inputFinished_.store(false, std::memory_order_release);
    inputLoss_.store(InputLoss::None, std::memory_order_release);
    if (struct stat st{}; reader_ != nullptr && ::stat(inPath_.c_str(), &st) == 0) {
        inDev_ = st.st_dev;
        inIno_ = st.st_ino;
        inSize_ = st.st_size;
        inModified_ = ModifiedNs(st);
    }
    watchCountdown_ = kWatchFrames;
    tonePhase_ = 0;
    inOpen_ = true;
    return AudioOk;
}

int FileDevice::OpenOutput(int device, const StreamFormat& format, OutputCallback callback) {
    if (started_) return AudioAllocated;
    if (const int result = QueryOutput(device, format); result != AudioOk) return result;
    writer_.reset();
    if (!outPath_.empty()) {
        std::string error;
        writer_ = Writer::Open(outPath_, format.SampleRate, error);
        if (writer_ == nullptr) {
            ReportFileError(error);
            return AudioFileError;
        }
    }
    outFormat_ = format;
    outCallback_ = std::move(callback);
    outBuffer_.assign(2 * kChunk, 0);
    outPos_.store(0, std::memory_order_relaxed);
    outCarry_ = 0;
    outOpen_ = true;
    return AudioOk;
}

void FileDevice::SetErrorCallback(ErrorCallback callback) {
    errorCallback_ = std::move(callback);
}

int FileDevice::Start() {
    if (!inOpen_ && !outOpen_) return AudioUnspecified;
    if (started_) return AudioOk;
    started_ = true;
    if (pacing_ == Pacing::RealTime) {
        quit_.store(false, std::memory_order_release);
        thread_ = std::thread([this] { PaceLoop(); });
    }
    return AudioOk;
}

void FileDevice::Close() {
    quit_.store(true, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    started_ = false;
    inOpen_ = outOpen_ = false;
    // Closing the writer completes the WAV header.
    reader_.reset();
    writer_.reset();
    inCallback_ = nullptr;
    outCallback_ = nullptr;
}

bool FileDevice::IsOpen() const {
    return inOpen_ || outOpen_;
}

// ---------------------------------------------------------------------------------------------
// Running

void FileDevice::RunInput(int frames) {
    while (frames > 0) {
        const int n = std::min(frames, kChunk);
        int16_t* buffer = inBuffer_.data();
        switch (source_) {
        case Source::Silence:
            std::fill_n(buffer, 2 * n, int16_t{0});
            break;
        case Source::Tone: {
            const double step = 2 * std::numbers::pi * toneHz_ / inFormat_.SampleRate;
            for (int i = 0; i < n; ++i) {
                const auto v = static_cast<int16_t>(std::lround(toneAmplitude_ * std::sin(tonePhase_)));
                buffer[2 * i] = buffer[2 * i + 1] = v;
                tonePhase_ += step;
                if (tonePhase_ >= 2 * std::numbers::pi) tonePhase_ -= 2 * std::numbers::pi;
            }
            break;
        }
        case Source::File: {
            WatchInputFile(n);
            const bool lost = InputFileLoss() != InputLoss::None;
            int got = reader_ != nullptr && !lost ? reader_->Read(buffer, n) : 0;
            // An end before the file's length: look at once whether it was cut short.
            if (got < n && !lost && !InputFinished()) {
                watchCountdown_ = 0;
                WatchInputFile(0);
                if (InputFileLoss() != InputLoss::None) got = 0;
            }
            std::fill(buffer + 2 * static_cast<size_t>(got), buffer + 2 * static_cast<size_t>(n), int16_t{0});
            if (got < n) inputFinished_.store(true, std::memory_order_release);
            break;
        }
        }
        if (inCallback_) inCallback_(buffer, n);
        inPos_.fetch_add(n, std::memory_order_relaxed);
        frames -= n;
    }
}

void FileDevice::WatchInputFile(int frames) {
    if (reader_ == nullptr || InputFinished() || InputFileLoss() != InputLoss::None) return;
    watchCountdown_ -= frames;
    if (watchCountdown_ > 0) return;
    watchCountdown_ = kWatchFrames;
    struct stat st{};
    InputLoss loss = InputLoss::None;
    if (::stat(inPath_.c_str(), &st) != 0)
        loss = InputLoss::Deleted;
    else if (static_cast<uint64_t>(st.st_dev) != inDev_ || static_cast<uint64_t>(st.st_ino) != inIno_)
        loss = InputLoss::Replaced;
    else if (st.st_size < inSize_)
        loss = InputLoss::CutShort;
    else if (ModifiedNs(st) != inModified_)
        loss = InputLoss::Replaced;
    if (loss == InputLoss::None) return;
    inputLoss_.store(loss, std::memory_order_release);
    if (errorCallback_) errorCallback_(AudioInputFileLost);
}

void FileDevice::RunOutput(int frames) {
    while (frames > 0) {
        const int n = std::min(frames, kChunk);
        int16_t* buffer = outBuffer_.data();
        std::fill_n(buffer, 2 * n, int16_t{0});
        if (outCallback_) outCallback_(buffer, n);
        if (writer_ != nullptr && !writer_->Write(buffer, n)) {
            // The disk is full or gone: report once, go on without the file.
            writer_.reset();
            if (errorCallback_) errorCallback_(AudioFileError);
        }
        outPos_.fetch_add(n, std::memory_order_relaxed);
        frames -= n;
    }
}

int FileDevice::OutputFramesFor(int inputFrames) {
    if (!inOpen_ || inFormat_.SampleRate == outFormat_.SampleRate) return inputFrames;
    outCarry_ += static_cast<double>(inputFrames) * outFormat_.SampleRate / inFormat_.SampleRate;
    const auto n = static_cast<int>(outCarry_);
    outCarry_ -= n;
    return n;
}

void FileDevice::Step(int frames) {
    if (!started_ || pacing_ != Pacing::LockStep || frames <= 0) return;
    if (inOpen_) RunInput(frames);
    if (outOpen_) RunOutput(OutputFramesFor(frames));
}

void FileDevice::Pump() {
    Step(inOpen_ ? inFormat_.PeriodFrames : outFormat_.PeriodFrames);
}

void FileDevice::StepInput(int frames) {
    if (started_ && pacing_ == Pacing::LockStep && inOpen_ && frames > 0) RunInput(frames);
}

void FileDevice::StepOutput(int frames) {
    if (started_ && pacing_ == Pacing::LockStep && outOpen_ && frames > 0) RunOutput(frames);
}

void FileDevice::PaceLoop() {
    using Clock = std::chrono::steady_clock;
    const StreamFormat& base = inOpen_ ? inFormat_ : outFormat_;
    const int period = std::max(1, base.PeriodFrames);
    const int rate = std::max(1, base.SampleRate);
    auto start = Clock::now();
    int64_t frames = 0;
    while (!quit_.load(std::memory_order_acquire)) {
        frames += period;
        const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(static_cast<double>(frames) / rate));
        std::this_thread::sleep_until(due);
        if (quit_.load(std::memory_order_acquire)) break;
        if (inOpen_) RunInput(period);
        if (outOpen_) RunOutput(OutputFramesFor(period));
        // After a long stall (a suspended machine) go on from now instead of catching up.
        if (Clock::now() - due > std::chrono::seconds(1)) {
            start = Clock::now();
            frames = 0;
        }
    }
}

} // namespace kreisel

// Export of the output as it plays.
#include "persistence/WavExport.h"

#include "core/Text.h"
#include "persistence/WavFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kreisel {

// The output block is written as it lies in memory.
static_assert(std::endian::native == std::endian::little, "export writes blocks in host byte order");

namespace {

constexpr int64_t kMiB = 1048576;
constexpr int kFrameBytes = 4;

bool PutLE32(int fd, off_t at, int64_t value) {
    const auto v = static_cast<uint32_t>(std::clamp<int64_t>(value, 0, UINT32_MAX));
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                              static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    return ::pwrite(fd, bytes, 4, at) == 4;
}

// Whether the file starts with the header an export at this rate writes; its two sizes do not
// matter, they are brought up to date.
bool OwnExportHeader(int fd, int64_t size, int sampleRate) {
    if (size < kWavHeaderBytes) return false;
    WavHeader present{};
    if (::pread(fd, present.data(), present.size(), 0) != static_cast<ssize_t>(present.size())) return false;
    const WavHeader own = MakeWavHeader(0, 2, kFrameBytes, sampleRate * kFrameBytes, sampleRate, 16);
    return std::memcmp(present.data(), own.data(), 4) == 0 &&
           std::memcmp(present.data() + 8, own.data() + 8, 32) == 0;
}

} // namespace

WavExport::WavExport(Engine& engine, MainControls& controls, Dialogs& dialogs, SystemInfo& systemInfo)
    : e_(engine), c_(controls), dialogs_(dialogs), systemInfo_(systemInfo) {}

WavExport::~WavExport() {
    CloseFile();
}

bool WavExport::Start(const std::string& path) {
    Finish();
    path_ = path;
    writeError_ = 0;
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        if (errno != ENOENT) return Fail();
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0) return Fail();
    } else {
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return Fail();
        if (info.st_size > 0 && !OwnExportHeader(fd_, info.st_size, e_.SampleRate)) {
            // Its first bytes would become our header and our frames would follow data of another
            // layout: the file would be destroyed. Overwrite it, or export under another name.
            CloseFile();
            Question foreign;
            foreign.caption = "Kreisel";
            foreign.text =
                "Datei \"" + path + "\" ist keine 16-Bit-Stereo-WAV-Datei mit " +
                std::to_string(e_.SampleRate) +
                " Hz aus diesem Programm und kann nicht ergänzt werden.\nÜberschreiben? (Nein: anderer Name)";
            foreign.buttons = DialogButtons::YesNoCancel;
            foreign.defaultResult = DialogResult::Cancel;
            foreign.icon = DialogIcon::Warning;
            const DialogResult answer = dialogs_.Ask(foreign);
            if (answer == DialogResult::No) {
                FileDialogOptions o;
                o.title = "Exportieren aller Loops";
                o.filter = "Sound-Dateien (*.wav)|*.wav|alle Dateien (*.*)|*.*";
                o.defaultExtension = "WAV";
                o.folder = std::filesystem::path(path).parent_path().string();
                const std::optional<std::string> other = dialogs_.SaveFile(o);
                return other && Start(*other);
            }
            if (answer != DialogResult::Yes) return false;
            fd_ = ::open(path.c_str(), O_RDWR | O_TRUNC | O_CLOEXEC);
            if (fd_ < 0) return Fail();
            return Begin();
        }
        Question append;
        append.caption = "Kreisel";
        append.text = "Datei \"" + path + "\" existiert schon! Anhängen?";
        append.buttons = DialogButtons::YesNoCancel;
        append.defaultResult = DialogResult::Yes;
        append.icon = DialogIcon::Question;
        const DialogResult answer = dialogs_.Ask(append);
        bool keep = answer == DialogResult::Yes;
        if (answer == DialogResult::No) {
            Question overwrite;
            overwrite.caption = "Kreisel";
            overwrite.text = "Datei \"" + path + "\" überschreiben?";
            overwrite.buttons = DialogButtons::OkCancel;
            overwrite.defaultResult = DialogResult::Ok;
            overwrite.icon = DialogIcon::Question;
            if (dialogs_.Ask(overwrite) == DialogResult::Ok) {
                if (::ftruncate(fd_, 0) != 0) return Fail();
                keep = true;
            }
        }
        if (!keep) {
            CloseFile();
            return false;
        }
    }

    return Begin();
}

bool WavExport::Begin() {
    // A fresh header at the start; an appended file keeps its samples. A stray byte after the
    // last whole frame is padded, so that appended frames keep left and right apart.
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return Fail();
    int64_t size = info.st_size;
    int64_t padded = std::max<int64_t>(size, kWavHeaderBytes);
    padded += (kFrameBytes - (padded - kWavHeaderBytes) % kFrameBytes) % kFrameBytes;
    if (padded > size && ::ftruncate(fd_, padded) != 0) return Fail();
    size = padded;
    const WavHeader header =
        MakeWavHeader(size - kWavHeaderBytes, 2, kFrameBytes, e_.SampleRate * kFrameBytes, e_.SampleRate, 16);
    if (::pwrite(fd_, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) return Fail();
    if (::lseek(fd_, 0, SEEK_END) < 0) return Fail();
    fileSize_ = size;
    ShowActive();
    return true;
}

bool WavExport::Fail() {
    CloseFile();
    c_.LabelStatus.SetText("Fehler in \"ExportLoops\" !!");
    return false;
}

void WavExport::Finish() {
    const bool wasOpen = Running();
    e_.Switches.DoExport = false;
    SetSwitch(c_.SBDoExport, false);
    if (wasOpen) c_.LabelStatus.SetText("beendet: Export nach \"" + path_ + "\" ...");
    ShowFinished();
    CloseFile();
}

void WavExport::CloseFile() {
    if (fd_ < 0) return;
    // The sizes of the file as it is; errors here can change nothing any more.
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && info.st_size >= kWavHeaderBytes) {
        (void)PutLE32(fd_, 4, info.st_size - 8);
        (void)PutLE32(fd_, 40, info.st_size - kWavHeaderBytes);
    }
    ::close(fd_);
    fd_ = -1;
}

void WavExport::WriteSizes() {
    (void)PutLE32(fd_, 4, fileSize_ - 8);
    (void)PutLE32(fd_, 40, fileSize_ - kWavHeaderBytes);
}

void WavExport::ExportBlock(const int16_t* frames, int bytes) {
    if (fd_ < 0 || writeError_ != 0 || bytes <= 0) return;
    // Never beyond the limit: the last block is cut to the frames that still fit.
    const int64_t room = std::max<int64_t>(limit_ - fileSize_, 0);
    int64_t count = std::min<int64_t>(bytes, room);
    count -= count % kFrameBytes;
    const auto* p = reinterpret_cast<const uint8_t*>(frames);
    int64_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(fd_, p + written, static_cast<size_t>(count - written));
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            writeError_ = n < 0 ? errno : ENOSPC;
            break;
        }
        written += n;
    }
    if (writeError_ != 0) {
        // Keep whole frames only, so that the header describes exactly the data in the file;
        // should even the cut fail, the header still covers whole frames only.
        written -= written % kFrameBytes;
        if (::ftruncate(fd_, fileSize_ + written) == 0) ::lseek(fd_, fileSize_ + written, SEEK_SET);
    }
    fileSize_ += written;
    WriteSizes();
    sizeChanged_ = true;
    if (fileSize_ >= limit_ || writeError_ != 0) e_.Switches.DoExport = e_.Switches.DoExportMarker = false;
}

void WavExport::SwitchFollowsMarker(bool down) {
    SetSwitch(c_.SBDoExport, down);
}

void WavExport::SBDoExportClick() {
    const bool down = c_.SBDoExport.Down();
    SetSwitch(c_.SBDoExportMarker, down);
    e_.Switches.DoExport = e_.Switches.DoExportMarker = down && Running();
}

void WavExport::SBDoExportMarkerClick() {
    e_.Switches.DoExportMarker = c_.SBDoExportMarker.Down() && Running();
}

void WavExport::RefreshDisplay() {
    if (fd_ < 0) return;
    if (writeError_ != 0) {
        const std::string text =
            "Export nach \"" + path_ + "\" abgebrochen: " + FileErrorText(writeError_) + ".";
        Finish();
        c_.LabelStatus.SetText(text);
        return;
    }
    SetSwitch(c_.SBDoExport, e_.Switches.DoExport);
    SetSwitch(c_.SBDoExportMarker, e_.Switches.DoExportMarker);
    if (sizeChanged_) {
        sizeChanged_ = false;
        ShowSize();
    }
}

void WavExport::SetSwitch(Control& c, bool down) {
    SuppressActions quiet(c);
    c.SetDown(down);
}

std::string WavExport::Seconds(int64_t fileBytes, const char* pattern) const {
    const double frames =
        static_cast<double>(std::max<int64_t>(fileBytes - kWavHeaderBytes, 0)) / kFrameBytes;
    return FormatFloat(pattern, frames / std::max(e_.SampleRate, 1), DecimalSeparator);
}

void WavExport::ShowActive() {
    if (LimitExportFilesizeMB > 0) {
        limit_ = LimitExportFilesizeMB * kMiB;
    } else {
        const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
        const auto free = systemInfo_.FreeDiskBytes(folder.empty() ? "." : folder.string());
        // Unknown free space leaves only the limit of the header itself.
        limit_ = free ? static_cast<int64_t>(std::min<uint64_t>(*free, kMaxExportBytes)) / kMiB * kMiB
                      : kMaxExportBytes;
    }
    limit_ = std::min(limit_, kMaxExportBytes);
    limitText_ = Seconds(limit_, "0.0") + " Sek.";
    c_.LabelStatus.SetText("Export nach \"" + path_ + "\" ...");
    c_.PanelExport.SetVisible(true);
    e_.Switches.ExportPanelVisible = true;
    for (Control* c : {&c_.SBDoExport, &c_.SBDoExportMarker}) {
        c->SetEnabled(true);
        SetSwitch(*c, false);
    }
    e_.Switches.DoExport = e_.Switches.DoExportMarker = false;
    c_.LabelExportSize.SetText("Max.: " + std::to_string(limit_ / kMiB) + " MB = " + Seconds(limit_, "0") +
                               " Sek.");
    sizeChanged_ = false;
    if (fileSize_ > kWavHeaderBytes) ShowSize();
}

void WavExport::ShowFinished() {
    c_.PanelExport.SetVisible(false);
    e_.Switches.ExportPanelVisible = false;
    e_.Switches.DoExport = e_.Switches.DoExportMarker = false;
    for (Control* c : {&c_.SBDoExport, &c_.SBDoExportMarker}) {
        SetSwitch(*c, false);
        c->SetEnabled(false);
    }
}

void WavExport::ShowSize() {
    const std::string text =
        std::to_string(fileSize_ / 1024) + " kB / " + Seconds(fileSize_, "0.0") + " Sek.";
    if (fileSize_ < limit_) {
        c_.LabelExportSize.SetText(text + " v. " + limitText_);
    } else {
        c_.LabelExportSize.SetText("Limit erreicht: " + text);
        e_.Switches.DoExport = e_.Switches.DoExportMarker = false;
        SetSwitch(c_.SBDoExport, false);
        SetSwitch(c_.SBDoExportMarker, false);
    }
}

} // namespace kreisel

// The RIFF chunk walk that keeps damaged files away from libsndfile's parser.
//
// libsndfile walks the chunks to the end of the file (not only to the end the RIFF size gives)
// and, in a few places, moves backwards by a size taken from the file: inside a LIST when an
// entry's size wraps around, in a cue chunk whose count does not match its size, and in a LIST
// shorter than its own type. Lists of camera data ("exif") are counted wrongly and leave it in
// the middle of the list. The walk here accepts only files in which every chunk it meets lies
// where libsndfile will look for it.
#include "persistence/RiffCheck.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace kreisel {

namespace {

// More chunk headers than any real file has; a file made of tiny chunks is refused after these
// instead of being walked for a long time.
constexpr int kMaxChunks = 1 << 16;

class ChunkWalk {
  public:
    ChunkWalk(int fd, int64_t size) : fd_(fd), size_(size) {}

    bool Sound() {
        std::array<uint8_t, 12> head{};
        if (size_ < 4 || !Read(0, head.data(), 4)) return true; // too short to be RIFF: not ours
        const std::string_view id(reinterpret_cast<const char*>(head.data()), 4);
        const bool rf64 = id == "RF64";
        if (id == "RIFX")
            bigEndian_ = true;
        else if (id != "RIFF" && !rf64)
            return true;
        if (!Read(0, head.data(), 12) || std::memcmp(head.data() + 8, "WAVE", 4) != 0) return false;
        if (U32(head.data() + 4) < 4) return false;

        int64_t pos = 12;
        int64_t dataSize64 = -1;
        while (size_ - pos >= 8) {
            uint8_t header[8];
            if (++chunks_ > kMaxChunks || !Read(pos, header, 8)) return false;
            const std::string_view name(reinterpret_cast<const char*>(header), 4);
            const int64_t size = U32(header + 4);
            if (!Printable(header)) return RestIsZero(pos);
            const int64_t body = pos + 8;
            if (rf64 && pos == 12) {
                // An RF64 file gives the real sizes in the ds64 chunk that must come first.
                uint8_t sizes[16];
                if (name != "ds64" || size < 24 || body + size > size_ || !Read(body, sizes, 16))
                    return false;
                dataSize64 = static_cast<int64_t>(U64(sizes + 8) & INT64_MAX);
            }
            if (name == "data") {
                const int64_t dataSize = rf64 && size == UINT32_MAX ? dataSize64 : size;
                // A recording cut off (or still being written) ends inside its data: libsndfile
                // reads what is there and stops.
                if (body + dataSize >= size_) return true;
                pos = Next(body, dataSize);
                if (pos < 0) return false;
                continue;
            }
            if (body + size > size_ || !BodyFits(name, body, size)) return false;
            pos = Next(body, size);
            if (pos < 0) return false;
        }
        // libsndfile takes four bytes left over as one more chunk name.
        return size_ - pos < 4 || RestIsZero(pos);
    }

  private:
    bool Read(int64_t at, void* to, size_t n) const {
        return ::pread(fd_, to, n, static_cast<off_t>(at)) == static_cast<ssize_t>(n);
    }

    uint32_t U32(const uint8_t* p) const {
        return bigEndian_ ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
                          : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }

    uint64_t U64(const uint8_t* p) const {
        const uint64_t low = U32(p);
        const uint64_t high = U32(p + 4);
        return bigEndian_ ? (low << 32) | high : (high << 32) | low;
    }

    static bool Printable(const uint8_t* name) {
        for (int i = 0; i < 4; ++i)
            if (name[i] < 0x20 || name[i] > 0x7E) return false;
        return true;
    }

    // Where the chunk after a body of `size` bytes starts: behind the pad byte of an odd size,
    // which must be zero (libsndfile does not skip it and takes it as the start of a name).
    // -1 for a nonzero pad byte.
    int64_t Next(int64_t body, int64_t size) const {
        const int64_t end = body + size;
        if (size % 2 == 0 || end >= size_) return end;
        uint8_t pad = 0;
        if (!Read(end, &pad, 1) || pad != 0) return -1;
        return end + 1;
    }

    // Zeros after the last chunk (a writer that filled the file up to a block) end the walk, as
    // they end libsndfile's; anything else that is no chunk name is damage.
    bool RestIsZero(int64_t from) const {
        std::array<uint8_t, 4096> block{};
        for (int64_t at = from; at < size_; at += static_cast<int64_t>(block.size())) {
            const auto n =
                static_cast<size_t>(std::min<int64_t>(size_ - at, static_cast<int64_t>(block.size())));
            if (!Read(at, block.data(), n)) return false;
            for (size_t i = 0; i < n; ++i)
                if (block[i] != 0) return false;
        }
        return true;
    }

    // The chunks libsndfile reads field by field must hold those fields.
    bool BodyFits(std::string_view name, int64_t body, int64_t size) {
        if (name == "fmt ") return size >= 16;
        if (name == "fact") return size >= 4;
        if (name == "cue ") {
            uint8_t count[4];
            return size >= 4 && Read(body, count, 4) && 4 + 24 * int64_t{U32(count)} == size;
        }
        if (name == "LIST") return ListSound(body, size, true);
        if (name == "INFO") return ListSound(body, size, false);
        return true;
    }

    // A list: its type (unless it is a bare INFO chunk), then entries that each lie inside it,
    // pad byte included. Four zero bytes end it, as libsndfile skips the rest of the list then.
    bool ListSound(int64_t body, int64_t size, bool typed) {
        if (size < 4) return false;
        const int64_t end = body + size;
        int64_t pos = body;
        if (typed) {
            uint8_t type[4];
            if (!Read(body, type, 4) || std::memcmp(type, "exif", 4) == 0) return false;
            pos += 4;
        }
        while (end - pos >= 8) {
            uint8_t header[8];
            if (++chunks_ > kMaxChunks || !Read(pos, header, 8)) return false;
            if (std::memcmp(header, "\0\0\0\0", 4) == 0) return true;
            const std::string_view name(reinterpret_cast<const char*>(header), 4);
            // libsndfile takes these as names without a size, or leaves the list at "data".
            if (!Printable(header) || name == "INFO" || name == "adtl" || name == "data" || name == "exif")
                return false;
            const int64_t entry = U32(header + 4);
            const int64_t next = pos + 8 + entry + entry % 2;
            if (next > end) return false;
            pos = next;
        }
        return true;
    }

    int fd_;
    int64_t size_;
    bool bigEndian_ = false;
    int chunks_ = 0;
};

} // namespace

bool RiffStructureSound(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    return ChunkWalk(fd, static_cast<int64_t>(info.st_size)).Sound();
}

SNDFILE* OpenAudioFile(const std::filesystem::path& path, SF_INFO& info) {
    // Non-blocking, so that a FIFO in place of the file cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !RiffStructureSound(fd)) {
        ::close(fd);
        return nullptr;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    info = SF_INFO{};
    // libsndfile closes the descriptor with the file, and also when it cannot open it.
    return sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
}

} // namespace kreisel

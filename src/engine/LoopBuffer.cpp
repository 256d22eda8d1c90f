// Loop buffers on anonymous private mappings: untouched pages cost no memory and read as zero.
#include "engine/LoopBuffer.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace kreisel {

namespace {
size_t PageRound(size_t bytes) {
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}
} // namespace

LoopBuffer::~LoopBuffer() {
    Reset();
}

LoopBuffer::LoopBuffer(LoopBuffer&& other) noexcept
    : data_(other.data_), capacity_(other.capacity_), mapped_(other.mapped_), position_(other.position_) {
    other.data_ = nullptr;
    other.capacity_ = other.mapped_ = other.position_ = 0;
}

LoopBuffer& LoopBuffer::operator=(LoopBuffer&& other) noexcept {
    if (this != &other) {
        Reset();
        data_ = other.data_;
        capacity_ = other.capacity_;
        mapped_ = other.mapped_;
        position_ = other.position_;
        other.data_ = nullptr;
        other.capacity_ = other.mapped_ = other.position_ = 0;
    }
    return *this;
}

bool LoopBuffer::Reserve(size_t bytes, size_t keepBytes) {
    const size_t want = PageRound(bytes + kGuardBytes);
    if (data_ != nullptr && want == mapped_) {
        capacity_ = bytes;
        return true;
    }
    void* p = mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        Reset();
        return false;
    }
    auto* fresh = static_cast<uint8_t*>(p);
    if (data_ != nullptr) {
        std::memcpy(fresh, data_, std::min({keepBytes, capacity_, bytes}));
        munmap(data_, mapped_);
    }
    data_ = fresh;
    mapped_ = want;
    capacity_ = bytes;
    position_ = std::min(position_, capacity_);
    return true;
}

void LoopBuffer::Release() {
    if (data_ != nullptr) madvise(data_, mapped_, MADV_DONTNEED);
    position_ = 0;
}

void LoopBuffer::Reset() {
    if (data_ != nullptr) munmap(data_, mapped_);
    data_ = nullptr;
    capacity_ = mapped_ = position_ = 0;
}

size_t LoopBuffer::Read(void* dest, size_t count) {
    const size_t n = position_ >= capacity_ ? 0 : std::min(count, capacity_ - position_);
    if (n > 0) std::memcpy(dest, data_ + position_, n);
    position_ += n;
    return n;
}

size_t LoopBuffer::Write(const void* src, size_t count) {
    const size_t n = position_ >= capacity_ ? 0 : std::min(count, capacity_ - position_);
    if (n > 0) std::memcpy(data_ + position_, src, n);
    position_ += n;
    return n;
}

} // namespace kreisel

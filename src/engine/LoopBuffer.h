// The audio of one loop. The whole capacity is reserved as address space when the buffer is
// sized, but pages are only committed by the kernel when they are first written, so resident
// memory follows the audio actually recorded, not the budget. Nothing here allocates once the
// buffer is sized, so it is safe in the block path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kreisel {

class LoopBuffer {
  public:
    // Bytes past the capacity that always read as zero, so that a frame read that starts inside
    // the buffer never runs off its end.
    static constexpr size_t kGuardBytes = 64;

    LoopBuffer() = default;
    ~LoopBuffer();
    LoopBuffer(const LoopBuffer&) = delete;
    LoopBuffer& operator=(const LoopBuffer&) = delete;
    LoopBuffer(LoopBuffer&& other) noexcept;
    LoopBuffer& operator=(LoopBuffer&& other) noexcept;

    // Reserves room for `bytes` bytes, keeping the first `keepBytes` of the content (only those
    // are copied, so a resize does not commit the whole old capacity); returns false when the
    // address space cannot be had (the buffer is then empty). Not for the block path.
    bool Reserve(size_t bytes, size_t keepBytes = 0);
    // Gives all memory back to the system; the capacity stays reserved and reads as zero.
    void Release();
    // Frees the reservation too.
    void Reset();

    size_t Capacity() const { return capacity_; }
    size_t Position() const { return position_; }
    void Seek(size_t bytePos) { position_ = bytePos; }

    // Reads up to `count` bytes at the position and advances it; returns the bytes read.
    size_t Read(void* dest, size_t count);
    // Writes at the position and advances it. Writing past the capacity would need memory in
    // the block path, so what does not fit is dropped; returns the bytes written.
    size_t Write(const void* src, size_t count);

    int16_t ReadValue() {
        int16_t v = 0;
        Read(&v, 2);
        return v;
    }
    void WriteValue(int16_t v) { Write(&v, 2); }

    // Direct access for the mixer: the value at a byte position, 0 past the capacity.
    int16_t ValueAt(size_t bytePos) const {
        if (data_ == nullptr || bytePos + 2 > capacity_ + kGuardBytes) return 0;
        int16_t v;
        std::memcpy(&v, data_ + bytePos, 2);
        return v;
    }
    const uint8_t* Data() const { return data_; }
    uint8_t* Data() { return data_; }

  private:
    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
    size_t mapped_ = 0;
    size_t position_ = 0;
};

} // namespace kreisel

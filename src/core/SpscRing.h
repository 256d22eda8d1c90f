// A fixed ring for one producer thread and one consumer thread. Neither side allocates, locks or
// waits: a push into a full ring fails, a pop from an empty one returns false.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kreisel {

template <typename T, std::size_t N> class SpscRing {
    static_assert(N >= 2 && (N & (N - 1)) == 0, "the size is a power of two");

  public:
    // Producer side.
    bool Push(const T& item) noexcept {
        const std::uint64_t write = write_.load(std::memory_order_relaxed);
        if (write - read_.load(std::memory_order_acquire) >= N) return false;
        slots_[write & (N - 1)] = item;
        write_.store(write + 1, std::memory_order_release);
        return true;
    }

    // Consumer side.
    bool Pop(T& item) noexcept {
        const std::uint64_t read = read_.load(std::memory_order_relaxed);
        if (read == write_.load(std::memory_order_acquire)) return false;
        item = slots_[read & (N - 1)];
        read_.store(read + 1, std::memory_order_release);
        return true;
    }

  private:
    std::array<T, N> slots_{};
    alignas(64) std::atomic<std::uint64_t> write_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
};

} // namespace kreisel

#include "engine/LoopBuffer.h"
#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>
#include <array>
#include <vector>

namespace kreisel {
namespace {

int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

TEST(LoopBuffer, ReadsWritesAndDropsWhatDoesNotFit) {
    LoopBuffer b;
    ASSERT_TRUE(b.Reserve(8));
    const int16_t values[5] = {1, -2, 3, -4, 5};
    b.Seek(0);
    EXPECT_EQ(b.Write(values, 10), 8u); // the fifth value does not fit
    EXPECT_EQ(b.Position(), 8u);
    b.Seek(2);
    EXPECT_EQ(b.ReadValue(), -2);
    int16_t tail[4] = {9, 9, 9, 9};
    b.Seek(4);
    EXPECT_EQ(b.Read(tail, 8), 4u);
    EXPECT_EQ((std::array{tail[0], tail[1], tail[2]}), (std::array<int16_t, 3>{3, -4, 9}));
    // the guard past the end reads silence
    EXPECT_EQ((std::pair{b.ValueAt(8), b.ValueAt(1u << 20)}), (std::pair<int16_t, int16_t>{0, 0}));

    // Growing keeps what is asked to be kept; releasing gives silence back.
    ASSERT_TRUE(b.Reserve(1 << 20, 8));
    EXPECT_EQ(b.ValueAt(6), -4);
    b.Release();
    EXPECT_EQ(b.ValueAt(6), 0);
    LoopBuffer empty;
    EXPECT_EQ(empty.ValueAt(0), 0);
}

TEST(LoopBuffer, ResidentMemoryFollowsTheRecordedAudio) {
    const int64_t before = ResidentBytes();
    LoopBuffer b;
    ASSERT_TRUE(b.Reserve(size_t{512} << 20));
    EXPECT_LT(ResidentBytes() - before, int64_t{4} << 20);
    std::vector<int16_t> block(2000, 7);
    b.Seek(0);
    for (int i = 0; i < 2500; ++i)
        b.Write(block.data(), block.size() * 2); // 10 MB
    const int64_t grown = ResidentBytes() - before;
    EXPECT_GT(grown, int64_t{9} << 20);
    EXPECT_LT(grown, int64_t{16} << 20);
    b.Release();
    EXPECT_LT(ResidentBytes() - before, int64_t{4} << 20);
}

TEST(LoopBuffer, LoopShareIsCappedSoPositionsStay32Bit) {
    auto e = std::make_unique<Engine>();
    // Half of 24 GiB for three loops would give 4 GiB each.
    ASSERT_TRUE(e->SizeLoopBuffers(int64_t{12} << 30, 3));
    EXPECT_EQ(e->MaxLoopBytes, kMaxLoopBytesCap);
    // The longest cycle plus the largest offset still fits a 32-bit byte position.
    EXPECT_LT(2 * (e->MaxLoopBytes / 2 + 1000000) + 40000, int64_t{INT32_MAX});
    ASSERT_TRUE(e->SizeLoopBuffers(int64_t{100} << 20, 32));
    EXPECT_EQ(e->MaxLoopBytes % 4, 0);
    EXPECT_EQ(e->MaxLoopBytes, (int64_t{100} << 20) / 32 / 4 * 4);
}

} // namespace
} // namespace kreisel

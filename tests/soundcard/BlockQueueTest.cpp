// The block queue between the audio threads and the core: assembly of device periods into
// blocks, the bounds of both rings, playing frame by frame, silence and the wake-up.
#include "soundcard/BlockQueue.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace kreisel {
namespace {

// Stereo frames whose left value is the running frame number (mod 2^15) and right its negative.
std::vector<int16_t> Numbered(int64_t first, int count) {
    std::vector<int16_t> v(2 * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        v[2 * static_cast<size_t>(i)] = static_cast<int16_t>((first + i) % 32768);
        v[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>(-((first + i) % 32768));
    }
    return v;
}

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

TEST(BlockQueueTest, OddPeriodsBecomeExactBlocksInOrder) {
    BlockQueue q;
    q.Reset(1000 * 4);
    ASSERT_GE(q.WakeFd(), 0);
    EXPECT_FALSE(Readable(q.WakeFd()));

    int64_t pushed = 0;
    for (int period : {333, 1, 999, 667, 2500, 500}) { // 5000 frames
        q.PushInput(Numbered(pushed, period).data(), period);
        pushed += period;
    }
    EXPECT_EQ(q.InputFrames(), 5000);
    ASSERT_EQ(q.InputBlocksReady(), 5);
    EXPECT_TRUE(Readable(q.WakeFd()));
    q.ConsumeWakeups();
    EXPECT_FALSE(Readable(q.WakeFd()));

    for (int b = 0; b < 5; ++b) {
        const int16_t* block = q.ClaimInput();
        ASSERT_NE(block, nullptr);
        const std::vector<int16_t> expected = Numbered(int64_t{b} * 1000, 1000);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block)) << "block " << b;
        q.ReleaseInput(block);
    }
    EXPECT_EQ(q.ClaimInput(), nullptr);
    // A partial block stays inside until its last frame arrives.
    q.PushInput(Numbered(5000, 999).data(), 999);
    EXPECT_EQ(q.InputBlocksReady(), 0);
    q.PushInput(Numbered(5999, 1).data(), 1);
    EXPECT_EQ(q.InputBlocksReady(), 1);
}

TEST(BlockQueueTest, FullInputRingDropsWholeBlocksAndCountsThem) {
    BlockQueue q(false);
    q.Reset(100 * 4);
    EXPECT_EQ(q.WakeFd(), -1);
    for (int b = 0; b < BlockQueue::kInputBlocks + 3; ++b)
        q.PushInput(Numbered(int64_t{b} * 100, 100).data(), 100);
    EXPECT_EQ(q.InputBlocksReady(), BlockQueue::kInputBlocks);
    EXPECT_EQ(q.Overruns(), 3);
    EXPECT_EQ(q.InputBlocksCompleted(), BlockQueue::kInputBlocks + 3);

    // Room again: the next block goes in whole, after the 64 kept ones.
    q.ReleaseInput(q.ClaimInput());
    q.PushInput(Numbered(99900, 100).data(), 100);
    EXPECT_EQ(q.Overruns(), 3);
    const int16_t* block = nullptr;
    for (int b = 1; b < BlockQueue::kInputBlocks; ++b)
        q.ReleaseInput(q.ClaimInput());
    block = q.ClaimInput();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], static_cast<int16_t>(99900 % 32768));
}

TEST(BlockQueueTest, BlocksClaimedInsideAnotherAreFreedInOrder) {
    BlockQueue q(false);
    q.Reset(10 * 4);
    for (int b = 0; b < 3; ++b)
        q.PushInput(Numbered(int64_t{b} * 10, 10).data(), 10);
    const int16_t* outer = q.ClaimInput();
    const int16_t* inner = q.ClaimInput(); // served by a waiting loop while `outer` is processed
    ASSERT_NE(inner, outer);
    EXPECT_EQ(inner[0], 10);
    q.ReleaseInput(inner);
    EXPECT_EQ(q.InputBlocksInProcess(), 2); // the outer block still holds its slot
    EXPECT_EQ(outer[0], 0);
    q.ReleaseInput(outer);
    EXPECT_EQ(q.InputBlocksInProcess(), 0);
    const int16_t* last = q.ClaimInput();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last[0], 20);
    EXPECT_EQ(q.ClaimInput(), nullptr);
}

TEST(BlockQueueTest, OutputPlaysBlocksFrameByFrameThenSilence) {
    BlockQueue q(false);
    q.Reset(1000 * 4);
    std::vector<int16_t> out(2 * 700);
    // Before the first block the output is silent without an underrun: nothing has played yet.
    q.PullOutput(out.data(), 700);
    EXPECT_EQ(q.Underruns(), 0);
    EXPECT_EQ(q.SilentFrames(), 700);

    ASSERT_TRUE(q.WriteOutput(Numbered(0, 1000).data(), 1000));
    ASSERT_TRUE(q.WriteOutput(Numbered(1000, 600).data(), 600)); // a shortened block
    EXPECT_EQ(q.QueuedOutput(), 2);

    std::vector<int16_t> played;
    for (int period : {700, 700, 700}) {
        q.PullOutput(out.data(), period);
        played.insert(played.end(), out.begin(), out.begin() + 2 * period);
    }
    const std::vector<int16_t> expected = Numbered(0, 1600);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()));
    EXPECT_TRUE(std::all_of(played.begin() + 3200, played.end(), [](int16_t v) { return v == 0; }));
    EXPECT_EQ(q.QueuedOutput(), 0);
    EXPECT_EQ(q.OutputBlocksReturned(), 2);
    EXPECT_EQ(q.ReturnedAtFrame(0), 700 + 1000);
    EXPECT_EQ(q.ReturnedAtFrame(1), 700 + 1600);
    EXPECT_EQ(q.PlayedBlockFrames(), 1600);
    // Running dry is one underrun however long the silence lasts.
    EXPECT_EQ(q.Underruns(), 1);
    q.PullOutput(out.data(), 700);
    EXPECT_EQ(q.Underruns(), 1);
    ASSERT_TRUE(q.WriteOutput(Numbered(0, 100).data(), 100));
    q.PullOutput(out.data(), 700);
    EXPECT_EQ(q.Underruns(), 2);
}

// A producer and a consumer thread at once: every frame arrives once, in order.
TEST(BlockQueueTest, ThreadsHandOverEveryFrameInOrder) {
    BlockQueue q;
    q.Reset(256 * 4);
    constexpr int kBlocks = 3000;
    std::atomic<int64_t> released{0};
    std::thread producer([&q, &released] {
        int64_t sent = 0;
        const int periods[] = {100, 37, 512, 256, 3};
        for (int i = 0; sent < int64_t{kBlocks} * 256; ++i) {
            // Wait for room rather than lose blocks: this test is about order, not overruns.
            while (q.InputBlocksCompleted() - released.load() > BlockQueue::kInputBlocks - 4)
                std::this_thread::yield();
            const int n = static_cast<int>(std::min<int64_t>(periods[i % 5], int64_t{kBlocks} * 256 - sent));
            q.PushInput(Numbered(sent, n).data(), n);
            sent += n;
        }
    });
    int64_t expectedFrame = 0;
    bool inOrder = true;
    for (int b = 0; b < kBlocks;) {
        const int16_t* block = q.ClaimInput();
        if (block == nullptr) {
            std::this_thread::yield();
            continue;
        }
        for (int i = 0; i < 256; ++i, ++expectedFrame)
            inOrder = inOrder && block[2 * i] == static_cast<int16_t>(expectedFrame % 32768);
        q.ReleaseInput(block);
        released.fetch_add(1);
        ++b;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(q.Overruns(), 0);
}

} // namespace
} // namespace kreisel

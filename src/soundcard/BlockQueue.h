// The hand-over between the audio threads and the core thread: two single-producer,
// single-consumer rings with fixed storage. The input side assembles device periods of any size
// into blocks of exactly BlockBytes; the output side holds the engine's blocks, which the output
// callback plays frame by frame. The audio side never allocates, locks or waits; the core thread
// is woken per complete input block through a counter and, optionally, an eventfd.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

namespace kreisel {

class BlockQueue {
  public:
    static constexpr int kInputBlocks = 64;
    static constexpr int kOutputBlocks = 64;
    // The core drops input blocks while this many output blocks wait (the writer may go beyond
    // it up to kOutputBlocks, as the filling-up of the output queue does).
    static constexpr int kMaxQueuedOutput = 60;
    static constexpr int kMaxBlockBytes = 40000;
    static constexpr int kMaxBlockFrames = kMaxBlockBytes / 4;

    // With `wakeFd` an eventfd is made that becomes readable for each complete input block.
    explicit BlockQueue(bool wakeFd = true);
    ~BlockQueue();
    BlockQueue(const BlockQueue&) = delete;
    BlockQueue& operator=(const BlockQueue&) = delete;

    // Core thread, while no callback runs: empties both sides and sets the block length (whole
    // stereo frames, 1..kMaxBlockFrames; other values are clamped).
    void Reset(int blockBytes);
    int BlockBytes() const { return blockFrames_ * 4; }
    int BlockFrames() const { return blockFrames_; }

    // --- Audio threads (one producer for the input, one consumer for the output).
    // Takes `count` recorded stereo frames.
    void PushInput(const int16_t* frames, int count);
    // Fills `count` stereo frames from the queued blocks, silence when there are none.
    void PullOutput(int16_t* frames, int count);

    // --- Core thread: input.
    // Complete blocks not yet claimed. A claimed block stays readable until it is released;
    // blocks may be claimed while earlier ones are still being processed (a waiting loop inside
    // the processing serves later blocks), and their slots are freed in order.
    int InputBlocksReady() const;
    const int16_t* ClaimInput(); // nullptr when no complete block is unclaimed
    void ReleaseInput(const int16_t* block);
    // Claimed and not yet released.
    int InputBlocksInProcess() const;
    // The input frame (counted as InputFrames counts) at which a claimed block began.
    int64_t InputStartFrame(const int16_t* block) const;
    // The eventfd (-1 without one) and its reset after a wake-up.
    int WakeFd() const { return wakeFd_; }
    void ConsumeWakeups();
    // Complete input blocks since the reset, including those lost to a full ring.
    int64_t InputBlocksCompleted() const { return inBlocksDone_.load(std::memory_order_acquire); }

    // --- Core thread: output.
    // Output blocks written and not yet played to their end (the one playing counts).
    int QueuedOutput() const;
    // Queues `frameCount` frames (1..kMaxBlockFrames); false when all slots are taken.
    bool WriteOutput(const int16_t* frames, int frameCount);
    int64_t OutputBlocksWritten() const { return outWrite_.load(std::memory_order_relaxed); }
    int64_t OutputBlocksReturned() const { return outRead_.load(std::memory_order_acquire); }
    // Output frames played when block `seq` (0-based, in write order) ended; valid once it has
    // returned and until 64 later blocks have been written.
    int64_t ReturnedAtFrame(int64_t seq) const;
    // Where block `seq` began to play, on the input's count: the input frame that arrived as its
    // first frame was taken (were output fed straight back into input, that frame's number).
    // Valid as ReturnedAtFrame is.
    int64_t StartedAtInputFrame(int64_t seq) const;

    // --- Counters, readable from any thread.
    int64_t InputFrames() const { return inFrames_.load(std::memory_order_relaxed); }
    int64_t OutputFrames() const { return outFrames_.load(std::memory_order_relaxed); }
    // Output frames that came from blocks (the rest was silence).
    int64_t PlayedBlockFrames() const { return blockFramesPlayed_.load(std::memory_order_relaxed); }
    // Times the output ran dry after it had blocks, and the silent frames it played so.
    int64_t Underruns() const { return underruns_.load(std::memory_order_relaxed); }
    int64_t SilentFrames() const { return silentFrames_.load(std::memory_order_relaxed); }
    // Input blocks lost because all input slots were taken.
    int64_t Overruns() const { return overruns_.load(std::memory_order_relaxed); }

  private:
    int16_t* InSlot(uint64_t index) const;
    int16_t* OutSlot(uint64_t index) const;

    int blockFrames_ = 1000;
    int wakeFd_ = -1;
    std::unique_ptr<int16_t[]> inData_;
    std::unique_ptr<int16_t[]> outData_;
    std::array<int, kOutputBlocks> outLength_{};
    std::array<int64_t, kOutputBlocks> returnedAt_{};
    std::array<int64_t, kOutputBlocks> startedAtInput_{};
    std::array<int64_t, kInputBlocks> inStart_{};

    // Input: the producer owns inWrite_ and its partial block, the consumer inRead_.
    alignas(64) std::atomic<uint64_t> inWrite_{0};
    int inFill_ = 0;
    bool inDropping_ = false;
    alignas(64) std::atomic<uint64_t> inRead_{0};
    uint64_t inClaimed_ = 0;
    std::array<bool, kInputBlocks> inDone_{};
    // Output: the core owns outWrite_, the output callback outRead_ and its place in the block.
    alignas(64) std::atomic<uint64_t> outWrite_{0};
    alignas(64) std::atomic<uint64_t> outRead_{0};
    int outOffset_ = 0;
    bool hadBlocks_ = false;
    bool dry_ = false;

    std::atomic<int64_t> inFrames_{0};
    std::atomic<int64_t> inBlocksDone_{0};
    std::atomic<int64_t> outFrames_{0};
    std::atomic<int64_t> blockFramesPlayed_{0};
    std::atomic<int64_t> underruns_{0};
    std::atomic<int64_t> silentFrames_{0};
    std::atomic<int64_t> overruns_{0};
};

} // namespace kreisel

// The lock-free hand-over between the audio threads and the core thread.
#include "soundcard/BlockQueue.h"

#include <algorithm>
#include <cstring>

#include <sys/eventfd.h>
#include <unistd.h>

namespace kreisel {

namespace {

constexpr size_t kSlotValues = BlockQueue::kMaxBlockBytes / 2;

} // namespace

BlockQueue::BlockQueue(bool wakeFd)
    : inData_(std::make_unique<int16_t[]>(kSlotValues * kInputBlocks)),
      outData_(std::make_unique<int16_t[]>(kSlotValues * kOutputBlocks)) {
    if (wakeFd) wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

BlockQueue::~BlockQueue() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

int16_t* BlockQueue::InSlot(uint64_t index) const {
    return inData_.get() + (index % kInputBlocks) * kSlotValues;
}

int16_t* BlockQueue::OutSlot(uint64_t index) const {
    return outData_.get() + (index % kOutputBlocks) * kSlotValues;
}

void BlockQueue::Reset(int blockBytes) {
    blockFrames_ = std::clamp(blockBytes / 4, 1, kMaxBlockFrames);
    inWrite_.store(0, std::memory_order_relaxed);
    inRead_.store(0, std::memory_order_relaxed);
    inClaimed_ = 0;
    inDone_.fill(false);
    inFill_ = 0;
    inDropping_ = false;
    outWrite_.store(0, std::memory_order_relaxed);
    outRead_.store(0, std::memory_order_relaxed);
    outOffset_ = 0;
    hadBlocks_ = false;
    dry_ = false;
    outLength_.fill(0);
    returnedAt_.fill(0);
    startedAtInput_.fill(0);
    inStart_.fill(0);
    for (auto* counter : {&inFrames_, &inBlocksDone_, &outFrames_, &blockFramesPlayed_, &underruns_,
                          &silentFrames_, &overruns_})
        counter->store(0, std::memory_order_relaxed);
    ConsumeWakeups();
    std::atomic_thread_fence(std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------
// Audio threads

void BlockQueue::PushInput(const int16_t* frames, int count) {
    if (frames == nullptr || count <= 0) return;
    int64_t position = inFrames_.fetch_add(count, std::memory_order_relaxed);
    uint64_t write = inWrite_.load(std::memory_order_relaxed);
    while (count > 0) {
        if (inFill_ == 0) {
            // A new block needs a free slot; without one its frames are lost as a whole.
            inDropping_ = write - inRead_.load(std::memory_order_acquire) >= kInputBlocks;
            if (!inDropping_) inStart_[write % kInputBlocks] = position;
        }
        const int take = std::min(count, blockFrames_ - inFill_);
        if (!inDropping_)
            std::memcpy(InSlot(write) + 2 * static_cast<size_t>(inFill_), frames,
                        4 * static_cast<size_t>(take));
        frames += 2 * static_cast<size_t>(take);
        count -= take;
        position += take;
        inFill_ += take;
        if (inFill_ < blockFrames_) break;
        inFill_ = 0;
        inBlocksDone_.fetch_add(1, std::memory_order_relaxed);
        if (inDropping_) {
            overruns_.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        ++write;
        inWrite_.store(write, std::memory_order_release);
        if (wakeFd_ >= 0) {
            const uint64_t one = 1;
            // A full counter only means the core has plenty to wake up for already.
            [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
        }
    }
}

void BlockQueue::PullOutput(int16_t* frames, int count) {
    if (frames == nullptr || count <= 0) return;
    int64_t played = outFrames_.fetch_add(count, std::memory_order_relaxed);
    // How far the input is ahead of the output as this period is taken; together with the
    // output position it puts a block's start on the input's count.
    const int64_t lead = inFrames_.load(std::memory_order_relaxed) - played;
    uint64_t read = outRead_.load(std::memory_order_relaxed);
    int64_t fromBlocks = 0;
    while (count > 0) {
        if (read == outWrite_.load(std::memory_order_acquire)) {
            std::memset(frames, 0, 4 * static_cast<size_t>(count));
            silentFrames_.fetch_add(count, std::memory_order_relaxed);
            if (hadBlocks_ && !dry_) underruns_.fetch_add(1, std::memory_order_relaxed);
            dry_ = true;
            break;
        }
        dry_ = false;
        hadBlocks_ = true;
        const size_t slot = read % kOutputBlocks;
        if (outOffset_ == 0) startedAtInput_[slot] = played + lead;
        const int take = std::min(count, outLength_[slot] - outOffset_);
        std::memcpy(frames, OutSlot(read) + 2 * static_cast<size_t>(outOffset_),
                    4 * static_cast<size_t>(take));
        frames += 2 * static_cast<size_t>(take);
        count -= take;
        outOffset_ += take;
        played += take;
        fromBlocks += take;
        if (outOffset_ >= outLength_[slot]) {
            outOffset_ = 0;
            returnedAt_[slot] = played;
            ++read;
            outRead_.store(read, std::memory_order_release);
        }
    }
    blockFramesPlayed_.fetch_add(fromBlocks, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------------------------
// Core thread

int BlockQueue::InputBlocksReady() const {
    return static_cast<int>(inWrite_.load(std::memory_order_acquire) - inClaimed_);
}

int BlockQueue::InputBlocksInProcess() const {
    return static_cast<int>(inClaimed_ - inRead_.load(std::memory_order_relaxed));
}

const int16_t* BlockQueue::ClaimInput() {
    if (inClaimed_ == inWrite_.load(std::memory_order_acquire)) return nullptr;
    inDone_[inClaimed_ % kInputBlocks] = false;
    return InSlot(inClaimed_++);
}

void BlockQueue::ReleaseInput(const int16_t* block) {
    if (block == nullptr) return;
    const auto slot = static_cast<size_t>(block - inData_.get()) / kSlotValues;
    if (slot >= static_cast<size_t>(kInputBlocks)) return;
    inDone_[slot] = true;
    uint64_t read = inRead_.load(std::memory_order_relaxed);
    while (read < inClaimed_ && inDone_[read % kInputBlocks])
        ++read;
    inRead_.store(read, std::memory_order_release);
}

int64_t BlockQueue::InputStartFrame(const int16_t* block) const {
    if (block == nullptr) return 0;
    const auto slot = static_cast<size_t>(block - inData_.get()) / kSlotValues;
    return slot < static_cast<size_t>(kInputBlocks) ? inStart_[slot] : 0;
}

void BlockQueue::ConsumeWakeups() {
    if (wakeFd_ < 0) return;
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &value, sizeof value);
}

int BlockQueue::QueuedOutput() const {
    return static_cast<int>(outWrite_.load(std::memory_order_relaxed) -
                            outRead_.load(std::memory_order_acquire));
}

bool BlockQueue::WriteOutput(const int16_t* frames, int frameCount) {
    if (frames == nullptr || frameCount <= 0) return false;
    frameCount = std::min(frameCount, kMaxBlockFrames);
    const uint64_t write = outWrite_.load(std::memory_order_relaxed);
    if (write - outRead_.load(std::memory_order_acquire) >= kOutputBlocks) return false;
    std::memcpy(OutSlot(write), frames, 4 * static_cast<size_t>(frameCount));
    outLength_[write % kOutputBlocks] = frameCount;
    outWrite_.store(write + 1, std::memory_order_release);
    return true;
}

int64_t BlockQueue::StartedAtInputFrame(int64_t seq) const {
    if (seq < 0) return 0;
    return startedAtInput_[static_cast<size_t>(seq) % kOutputBlocks];
}

int64_t BlockQueue::ReturnedAtFrame(int64_t seq) const {
    if (seq < 0) return 0;
    return returnedAt_[static_cast<size_t>(seq) % kOutputBlocks];
}

} // namespace kreisel

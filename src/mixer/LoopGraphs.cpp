// Loop graph points and cursors.
#include "mixer/LoopGraphs.h"

#include "core/Text.h"
#include "mixer/LevelMeters.h"

#include <algorithm>
#include <vector>

namespace kreisel {

LoopGraphs::LoopGraphs(Engine& engine) : e_(engine) {}

uint8_t LoopGraphs::PointOfPeak(int32_t peak) {
    return static_cast<uint8_t>(1 + (LevelScale(peak) * 254 + 16383) / 32767);
}

int32_t LoopGraphs::HeightOfPoint(uint8_t point) {
    return point == 0 ? 0 : (int32_t{point} - 1) * 32767 / 254;
}

int LoopGraphs::X(int block, int lastBlock, int boxWidth) {
    if (lastBlock < 1) return 4;
    return RoundHalfEven(static_cast<double>(boxWidth - 8) / lastBlock * block) + 4;
}

int LoopGraphs::Y(int32_t height, int boxHeight) {
    return RoundHalfEven((1.0 - height / 32767.0) * (boxHeight - 8)) + 4;
}

int LoopGraphs::LastBlockForX(int row) const {
    if (Adapt && ValidLoop(row)) return e_.Slots[static_cast<size_t>(row)].LoopLastBlock;
    return CommonLastBlock ? CommonLastBlock() : 0;
}

int LoopGraphs::LastPoint(int row) const {
    if (!ValidLoop(row)) return -1;
    return std::min(e_.Slots[static_cast<size_t>(row)].LoopLastBlock, kGraphPoints - 1);
}

uint8_t LoopGraphs::Point(int row, int channel, int block) const {
    if (!ValidLoop(row) || block < 0 || block >= kGraphPoints || channel < 0 || channel > 1) return 0;
    return e_.Slots[static_cast<size_t>(row)]
        .GraphPeaks[static_cast<size_t>(channel)][static_cast<size_t>(block)];
}

void LoopGraphs::RecordPoint(int loop, int block, int32_t peakL, int32_t peakR) {
    if (!ValidLoop(loop) || block < 0) return;
    RowState& r = rows_[Row(loop)];
    r.record = block;
    ++r.generation;
    // Blocks past the arrays keep their cursor but have no point.
    if (block >= kGraphPoints) return;
    auto& peaks = e_.Slots[static_cast<size_t>(loop)].GraphPeaks;
    peaks[0][static_cast<size_t>(block)] = PointOfPeak(peakL);
    if (e_.StereoStore()) peaks[1][static_cast<size_t>(block)] = PointOfPeak(peakR);
    ++r.points;
}

void LoopGraphs::PlayCursor(int loop, int block, bool marked) {
    if (!ValidLoop(loop)) return;
    RowState& r = rows_[Row(loop)];
    if (r.play == block && r.marked == marked) return;
    r.play = block;
    r.marked = marked;
    ++r.generation;
}

void LoopGraphs::GroupCursors(int group, int block) {
    const int first = group >= 0 && group <= LoopSlotCapacity ? e_.GroupFirstLoop(group) : -1;
    const int firstLast = ValidLoop(first) ? e_.Slots[static_cast<size_t>(first)].LoopLastBlock : -1;
    const bool marked = firstLast >= 0 && (block + 1) % (firstLast + 1) == 0;
    const int last = std::min(e_.MaxLoopCount, LoopSlotCapacity);
    for (int m = 1; m <= last; ++m) {
        const LoopSlot& s = e_.Slots[static_cast<size_t>(m)];
        if (s.LoopLastBlock < 0) continue;
        if (s.LoopGroup == group || e_.Rows[static_cast<size_t>(m)].LoopOn) PlayCursor(m, block, marked);
    }
}

void LoopGraphs::CursorsToLastBlock() {
    const int last = std::min(e_.MaxLoopCount, LoopSlotCapacity);
    for (int m = 1; m <= last; ++m) {
        const LoopSlot& s = e_.Slots[static_cast<size_t>(m)];
        if (s.LoopGroup != e_.ActGroupIdx || s.LoopLastBlock < 0) continue;
        PlayCursor(m, s.LoopLastBlock, false);
        RowState& r = rows_[Row(m)];
        if (r.record >= 0) {
            r.record = -1;
            ++r.generation;
        }
    }
}

void LoopGraphs::DrawLoadedLoop(int loop) {
    if (!ValidLoop(loop)) return;
    LoopSlot& s = e_.Slots[static_cast<size_t>(loop)];
    const int cc = e_.ChannelCount();
    const int frames = std::max(e_.BlockStoredValues() / cc, 1);
    std::vector<int16_t> block(static_cast<size_t>(frames * cc));
    s.Buffer.Seek(0);
    const int last = std::min(s.LoopLastBlock, kGraphPoints - 1);
    for (int i = 0; i <= last; ++i) {
        const size_t got = s.Buffer.Read(block.data(), block.size() * 2) / 2;
        int32_t peakL = -1, peakR = -1;
        for (size_t v = 0; v + static_cast<size_t>(cc) <= got; v += static_cast<size_t>(cc)) {
            peakL = std::max<int32_t>(peakL, block[v]);
            if (cc == 2) peakR = std::max<int32_t>(peakR, block[v + 1]);
        }
        s.GraphPeaks[0][static_cast<size_t>(i)] = PointOfPeak(peakL);
        if (cc == 2) s.GraphPeaks[1][static_cast<size_t>(i)] = PointOfPeak(peakR);
    }
    s.Buffer.Seek(0);
    RowState& r = rows_[Row(loop)];
    ++r.points;
    ++r.generation;
}

void LoopGraphs::ForgetCursors() {
    for (RowState& r : rows_) {
        r.play = r.record = -1;
        r.marked = false;
    }
    RepaintAll();
}

void LoopGraphs::RepaintAll() {
    for (RowState& r : rows_) {
        ++r.points;
        ++r.generation;
    }
}

} // namespace kreisel

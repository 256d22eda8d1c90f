// The loop graphs of the mixer rows: one point per block of a loop and channel, a play cursor
// and a record cursor per row. Points live in the engine's loop slots as bytes of the level
// scale (0 = no point), so a graph can be drawn again at any size; the cursors and the change
// counters live here. The block processor sets points and cursors; the views read them at
// their own pace and repaint only rows whose counter moved.
#pragma once

#include "engine/Engine.h"

#include <array>
#include <cstdint>
#include <functional>

namespace kreisel {

class LoopGraphs {
  public:
    static constexpr int kRows = LoopSlotCapacity + 1; // row 0 is the live input

    explicit LoopGraphs(Engine& engine);

    // LoopGraphs (SBGraph), AdaptGraphs (CBAdaptGraphs), PenWidth (TBPenWidth, 1..7).
    bool Shown = false;
    bool Adapt = false;
    int PenWidth = 1;
    // The last block index of the longest loop that may be recorded: the x scale while Adapt is off.
    std::function<int()> CommonLastBlock;

    // A peak as a stored point 1..255 and back to a height value 0..32767.
    static uint8_t PointOfPeak(int32_t peak);
    static int32_t HeightOfPoint(uint8_t point);
    // Pixel positions inside a paint box. `lastBlock` < 1 puts every block at the left edge.
    static int X(int block, int lastBlock, int boxWidth);
    static int Y(int32_t height, int boxHeight);

    // The x scale's last block index of a row.
    int LastBlockForX(int row) const;
    // The blocks with points in a row: 0 .. this (capped at the end of the arrays), -1 for none.
    int LastPoint(int row) const;
    uint8_t Point(int row, int channel, int block) const;
    bool Stereo() const { return e_.StereoStore(); }

    // -- from the block processor
    // The recorded block's input peaks at `block`, and the record cursor there.
    void RecordPoint(int loop, int block, int32_t peakL, int32_t peakR);
    void PlayCursor(int loop, int block, bool marked);
    // The play cursor of every loop of `group` and of every loop switched on.
    void GroupCursors(int group, int block);

    // -- between blocks
    // A stop: the cursors of the active group's loops stand at their last block.
    void CursorsToLastBlock();
    // The points of a loaded or imported loop from its audio; the stream is left at its start.
    void DrawLoadedLoop(int loop);
    // No cursor anywhere (a reset), and every row drawn again.
    void ForgetCursors();
    // Every row again (adapt switched, pen width, graphs switched on).
    void RepaintAll();

    int PlayCursorAt(int row) const { return rows_[Row(row)].play; }
    bool PlayCursorMarked(int row) const { return rows_[Row(row)].marked; }
    int RecordCursorAt(int row) const { return rows_[Row(row)].record; }
    // Moves on with any change of a row (points or cursors); PointsGeneration only with points.
    uint32_t Generation(int row) const { return rows_[Row(row)].generation; }
    uint32_t PointsGeneration(int row) const { return rows_[Row(row)].points; }

  private:
    struct RowState {
        int play = -1;
        int record = -1;
        bool marked = false;
        uint32_t generation = 0;
        uint32_t points = 0;
    };
    static size_t Row(int row) { return static_cast<size_t>(row < 0 || row >= kRows ? 0 : row); }
    static bool ValidLoop(int loop) { return loop >= 1 && loop <= LoopSlotCapacity; }

    Engine& e_;
    std::array<RowState, kRows> rows_{};
};

} // namespace kreisel

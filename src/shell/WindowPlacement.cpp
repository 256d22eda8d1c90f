// Pulling windows back onto a screen.
#include "shell/WindowPlacement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace kreisel {

namespace {

int Overlap(int a0, int a1, int b0, int b1) {
    return std::max(0, std::min(a1, b1) - std::max(a0, b0));
}

// Squared distance from a point to a screen (0 inside).
std::int64_t Distance(const ScreenArea& s, std::int64_t x, std::int64_t y) {
    const std::int64_t dx = x < s.Left ? s.Left - x : x > s.Left + s.Width ? x - (s.Left + s.Width) : 0;
    const std::int64_t dy = y < s.Top ? s.Top - y : y > s.Top + s.Height ? y - (s.Top + s.Height) : 0;
    return dx * dx + dy * dy;
}

} // namespace

WindowGeometry KeepOnScreen(const WindowGeometry& frame, const std::vector<ScreenArea>& screens) {
    if (screens.empty() || !frame.Known()) return frame;
    const int right = frame.Left + frame.Width;
    const int bottom = frame.Top + frame.Height;
    for (const ScreenArea& s : screens) {
        const int w = Overlap(frame.Left, right, s.Left, s.Left + s.Width);
        const int h = Overlap(frame.Top, bottom, s.Top, s.Top + s.Height);
        if (w >= std::min(kMinVisibleWidth, frame.Width) && h >= std::min(kMinVisibleHeight, frame.Height))
            return frame;
    }
    const std::int64_t cx = frame.Left + static_cast<std::int64_t>(frame.Width) / 2;
    const std::int64_t cy = frame.Top + static_cast<std::int64_t>(frame.Height) / 2;
    const ScreenArea* nearest = &screens.front();
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (const ScreenArea& s : screens)
        if (const std::int64_t d = Distance(s, cx, cy); d < best) {
            best = d;
            nearest = &s;
        }
    WindowGeometry g = frame;
    g.Width = std::min(g.Width, nearest->Width);
    g.Height = std::min(g.Height, nearest->Height);
    g.Left = std::clamp(g.Left, nearest->Left, nearest->Left + nearest->Width - g.Width);
    g.Top = std::clamp(g.Top, nearest->Top, nearest->Top + nearest->Height - g.Height);
    return g;
}

} // namespace kreisel

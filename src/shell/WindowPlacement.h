// Where a window may come up: a position saved on another monitor setup can lie where no screen is
// any more (a monitor was removed, the resolution went down). Such a window is pulled back onto
// the nearest screen so that its title bar can be grabbed.
#pragma once

#include "core/Form.h"

#include <vector>

namespace kreisel {

struct ScreenArea {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

// A window counts as on screen while this much of its frame lies on one screen.
inline constexpr int kMinVisibleWidth = 60;
inline constexpr int kMinVisibleHeight = 30;

// The geometry unchanged when the frame is at least partly on one of the screens; otherwise moved
// (and, when larger, shrunk) to lie wholly on the screen nearest to it. Without screens, or for a
// geometry that is not known, nothing changes.
WindowGeometry KeepOnScreen(const WindowGeometry& frame, const std::vector<ScreenArea>& screens);

} // namespace kreisel

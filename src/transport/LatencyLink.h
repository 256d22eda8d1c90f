// The metronome as the acoustic latency measurement sees it: where the next click starts, the
// beat, and switching it on for the measurement and off again through its buttons.
#pragma once

#include "engine/Latency.h"
#include "transport/MainControls.h"
#include "transport/Metronome.h"

namespace kreisel {

LatencyMetronome MetronomeForLatency(Engine& engine, Metronome& metronome, MainControls& controls);

} // namespace kreisel

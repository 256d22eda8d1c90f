#include "transport/LatencyLink.h"

namespace kreisel {

LatencyMetronome MetronomeForLatency(Engine& engine, Metronome& metronome, MainControls& controls) {
    LatencyMetronome link;
    link.NextClickFrame = [&metronome] { return metronome.NextClickFrame(); };
    link.HalfBeatFrames = [&metronome] { return metronome.HalfBeatFrames(); };
    link.PrepareForMeasurement = [&engine, &metronome, &controls] {
        if (!engine.MetroOn) metronome.AnyChange_MetronomBPM(&controls.SBMetronom);
        // The click must reach the input only through the air.
        controls.CBMetronomRecord.SetChecked(false);
        controls.TBMetroLevel.SetPosition(2);
    };
    link.SwitchOff = [&engine, &metronome, &controls] {
        if (engine.MetroOn) metronome.AnyChange_MetronomBPM(&controls.SBMetronom);
    };
    return link;
}

} // namespace kreisel

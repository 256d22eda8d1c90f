// The controls of the level meters and loop graphs and what they do: the "VU" buttons, the
// clip lamps, smooth mode and refresh interval, the graph switch, adaptation and pen width.
// The block processor's peaks and cursor moves land in LevelMeters and LoopGraphs.
#pragma once

#include "core/Form.h"
#include "engine/Engine.h"
#include "mixer/Faders.h"
#include "mixer/LevelMeters.h"
#include "mixer/LoopGraphs.h"

namespace kreisel {

struct MeterGraphControls {
    // The graph controls and clip lamps belong to the loop mixer, the meter options to the
    // main window.
    MeterGraphControls(Form& loops, Form& main);
    MeterGraphControls(const MeterGraphControls&) = delete;
    MeterGraphControls& operator=(const MeterGraphControls&) = delete;

    Control& SBGraph;       // "Alle Grafiken anzeigen"
    Control& CBAdaptGraphs; // "autom. anpassen"
    Control& TBPenWidth;    // 1..7
    Control& ShapeCutInpLeft;
    Control& ShapeCutInpRight;
    Control& ShapeCutOutLeft;
    Control& ShapeCutOutRight;
    Control& TBLevelMeterRefreshInterval; // blocks between meter updates
    Control& LabelLevelMeterRefreshInterval;
    Control& CBLevelMeterSmooth; // "Smooth Faders"
};

class MetersAndGraphs {
  public:
    MetersAndGraphs(Engine& engine, FaderControls& faders, MeterGraphControls& controls);

    LevelMeters Meters;
    LoopGraphs Graphs;
    // FaderDelayStep of the settings (1..255); the fall step follows from it at each reset.
    int DelayStep = 16;

    // A block's peaks of a side; the clip lamps follow when one lit.
    void FeedBlock(LevelMeters::Side side, int32_t peakL, int32_t peakR);
    // The fall step from the delay step and the block format (settings loaded, engine reset).
    void RecomputeFallStep();
    // The meters of a side dark and its clip lamps green.
    void ResetInpLevelMeters();
    void ResetOutLevelMeters();
    void SBGraphClick();
    void CBAdaptGraphsClick();
    // Settings that were loaded without their actions.
    void ApplySettings();

  private:
    void SyncSwitches();
    void LampsChanged();
    void RefreshIntervalChange();

    Engine& e_;
    FaderControls& f_;
    MeterGraphControls& c_;
};

} // namespace kreisel

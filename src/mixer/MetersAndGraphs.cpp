// Wiring of the meter and graph controls.
#include "mixer/MetersAndGraphs.h"

#include "core/ControlFactory.h"

#include <algorithm>

namespace kreisel {

namespace {
constexpr Rgb kLampGreen{0, 200, 0};
constexpr Rgb kLampRed{255, 0, 0};
} // namespace

MeterGraphControls::MeterGraphControls(Form& loops, Form& main)
    : SBGraph(make::Switch(loops, "SBGraph", "Grafik", "Alle Grafiken anzeigen")),
      CBAdaptGraphs(make::Check(loops, "CBAdaptGraphs", "autom. anpassen", false)),
      TBPenWidth(make::Slider(loops, "TBPenWidth", 1, 7, 1, "Strich-Stärke")),
      ShapeCutInpLeft(make::Make(loops, "ShapeCutInpLeft", ControlKind::Shape)),
      ShapeCutInpRight(make::Make(loops, "ShapeCutInpRight", ControlKind::Shape)),
      ShapeCutOutLeft(make::Make(loops, "ShapeCutOutLeft", ControlKind::Shape)),
      ShapeCutOutRight(make::Make(loops, "ShapeCutOutRight", ControlKind::Shape)),
      TBLevelMeterRefreshInterval(make::Slider(main, "TBLevelMeterRefreshInterval", 1, 100, 4)),
      LabelLevelMeterRefreshInterval(make::Label(main, "LabelLevelMeterRefreshInterval", "4 Blöcke")),
      CBLevelMeterSmooth(make::Check(main, "CBLevelMeterSmooth", "Smooth Faders", false)) {
    SBGraph.SetDown(true);
    for (Control* lamp : {&ShapeCutInpLeft, &ShapeCutInpRight, &ShapeCutOutLeft, &ShapeCutOutRight})
        lamp->SetColor(kLampGreen);
}

MetersAndGraphs::MetersAndGraphs(Engine& engine, FaderControls& faders, MeterGraphControls& controls)
    : Graphs(engine), e_(engine), f_(faders), c_(controls) {
    f_.SBLevelMeterInp.SetOnClick([this](Control&) {
        SyncSwitches();
        ResetInpLevelMeters();
        ResetOutLevelMeters();
    });
    f_.SBLevelMeterOut.SetOnClick([this](Control&) {
        SyncSwitches();
        ResetInpLevelMeters();
        ResetOutLevelMeters();
    });
    for (Control* lamp : {&c_.ShapeCutInpLeft, &c_.ShapeCutInpRight})
        lamp->SetOnClick([this](Control&) { ResetInpLevelMeters(); });
    for (Control* lamp : {&c_.ShapeCutOutLeft, &c_.ShapeCutOutRight})
        lamp->SetOnClick([this](Control&) { ResetOutLevelMeters(); });
    c_.CBLevelMeterSmooth.SetOnChange([this](Control&) {
        Meters.Smooth = c_.CBLevelMeterSmooth.Checked();
        ResetInpLevelMeters();
        ResetOutLevelMeters();
    });
    c_.TBLevelMeterRefreshInterval.SetOnChange([this](Control&) { RefreshIntervalChange(); });
    c_.SBGraph.SetOnClick([this](Control&) { SBGraphClick(); });
    c_.CBAdaptGraphs.SetOnChange([this](Control&) { CBAdaptGraphsClick(); });
    c_.TBPenWidth.SetOnChange([this](Control&) {
        Graphs.PenWidth = std::clamp(c_.TBPenWidth.Position(), 1, 7);
        Graphs.RepaintAll();
    });
    ApplySettings();
}

void MetersAndGraphs::SyncSwitches() {
    Meters.SideOn = {f_.SBLevelMeterInp.Down(), f_.SBLevelMeterOut.Down()};
    Meters.Smooth = c_.CBLevelMeterSmooth.Checked();
    Graphs.Shown = c_.SBGraph.Down();
    Graphs.Adapt = c_.CBAdaptGraphs.Checked();
    Graphs.PenWidth = std::clamp(c_.TBPenWidth.Position(), 1, 7);
    e_.Switches.GraphsShown = Graphs.Shown;
}

void MetersAndGraphs::RefreshIntervalChange() {
    Meters.RefreshInterval = std::clamp(c_.TBLevelMeterRefreshInterval.Position(), 1, 100);
    c_.LabelLevelMeterRefreshInterval.SetText(std::to_string(Meters.RefreshInterval) + " Blöcke");
}

void MetersAndGraphs::FeedBlock(LevelMeters::Side side, int32_t peakL, int32_t peakR) {
    const auto before = Meters.State(side).Clipped;
    Meters.Feed(side, peakL, peakR);
    if (Meters.State(side).Clipped != before) LampsChanged();
}

void MetersAndGraphs::RecomputeFallStep() {
    Meters.FallStep = MeterFallStep(std::clamp(DelayStep, 1, 255), e_.BlockBytes, e_.SampleRate);
}

void MetersAndGraphs::LampsChanged() {
    const auto& in = Meters.State(LevelMeters::Input).Clipped;
    const auto& out = Meters.State(LevelMeters::Output).Clipped;
    c_.ShapeCutInpLeft.SetColor(in[0] ? kLampRed : kLampGreen);
    c_.ShapeCutInpRight.SetColor(in[1] ? kLampRed : kLampGreen);
    c_.ShapeCutOutLeft.SetColor(out[0] ? kLampRed : kLampGreen);
    c_.ShapeCutOutRight.SetColor(out[1] ? kLampRed : kLampGreen);
}

void MetersAndGraphs::ResetInpLevelMeters() {
    e_.InPeakL = e_.InPeakR = 0;
    Meters.Reset(LevelMeters::Input);
    LampsChanged();
}

void MetersAndGraphs::ResetOutLevelMeters() {
    e_.OutPeakL = e_.OutPeakR = 0;
    Meters.Reset(LevelMeters::Output);
    LampsChanged();
}

void MetersAndGraphs::SBGraphClick() {
    SyncSwitches();
    Graphs.RepaintAll();
}

void MetersAndGraphs::CBAdaptGraphsClick() {
    SyncSwitches();
    Graphs.RepaintAll();
}

void MetersAndGraphs::ApplySettings() {
    SyncSwitches();
    RefreshIntervalChange();
    RecomputeFallStep();
    Graphs.RepaintAll();
}

} // namespace kreisel

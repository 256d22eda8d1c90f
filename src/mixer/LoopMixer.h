// The loop mixer: per-row play and mark switches, level and panorama sliders and the six levels
// per row that the block processor reads; the symmetric coupling, the preset buttons, the input
// mode, row activation and the automatic scrolling towards the group or loop being played or
// recorded. Row 0 is the live input, rows 1.. the loop slots.
#pragma once

#include "core/Control.h"
#include "engine/Engine.h"
#include "mixer/MixerControls.h"

#include <array>
#include <functional>
#include <string>

namespace kreisel {

class LoopMixer {
  public:
    static constexpr int RowHeight = 40; // pixels between rows, the unit of the scroll geometry

    // Wires the mixer's controls and derives every row's levels from its sliders.
    LoopMixer(Engine& engine, MixerControls& controls);
    LoopMixer(const LoopMixer&) = delete;
    LoopMixer& operator=(const LoopMixer&) = delete;

    // What the mixer asks of the main window; each may be left empty.
    // Reset-all before an input mode change; false when it was refused or failed. Without it a
    // mode change is refused while loops exist.
    std::function<bool()> ResetAll;
    // After the input mode has been applied to the engine (sizes, labels, sound card).
    std::function<void()> InputModeApplied;
    // The output lowering depends on the number of sounding rows; without it the engine's own
    // recomputation runs.
    std::function<void()> OutputLoweringChanged;
    // Makes a loop the next one to record.
    std::function<void(int loop)> ActivateLoop;
    // "Startwerte": loads the slider positions of the default mixer set.
    std::function<void()> LoadStartValues;
    // The window toggles of the main window follow the preset panel.
    std::function<void()> WindowTogglesChanged;

    // Set once the main window has been activated: from then on an input mode change resets.
    bool Started = false;
    // Scroll-bar positions per row; 0 switches the automatic scrolling off.
    int ScrollStepsPerMixer = 1;
    // Height of the visible part of the row area, in the pixels of RowHeight; set by the view.
    int VisibleHeight = 8 * RowHeight;
    char DecimalSeparator = '.';

    bool MixSymm() const { return mixSymm_; }
    int InputMode() const { return inputMode_; }

    // -- Rows
    // The change operation of any row slider (TBAmpLeftChange, TBAmpRightChange, TBPanLeftChange,
    // TBPanRightChange): the row's levels, the coupling and the LabelChanges line.
    void SliderChange(Control& slider);
    void SBLoopClick(int row);
    // The double click on SBAllLoopsMarked: marks become play states at once.
    void TakeOverMarks();
    void ActivateLoopClick(int row);
    // The preset operation; nullptr recomputes every row without a preset.
    void ButtonSetAllClick(const Control* button);
    // Recomputes the six levels of a row from its sliders, without coupling or label.
    void RecomputeRow(int row);

    // -- Window
    void CBMixSymmClick();
    void ComboBoxInputModeChange();
    void SetInputMode();
    void CBInputMixerClick();
    void SBShowPresetControlsClick();
    // Scroll range and geometry after rows were shown or hidden or the step count changed.
    void LayoutRows();
    void SetScrollStepsPerMixer(int steps);

    // -- Scrolling
    // Scroll towards a group (loop < 1: the whole group) or a loop of it; allows the down-pass.
    void SetScrollTarget(int group, int loop);
    // Takes at most maxSteps scroll steps up, then at most maxSteps down, towards the target.
    void StepScrollToGroupIDXOrLoopNr(int maxSteps);
    bool ScrollTargetSet() const { return targetGroup_ >= 0 || targetLoop_ >= 1; }
    // Pixels the row area is scrolled up by.
    int ScrollOffset() const;
    int LargeScrollStep() const { return 4 * Steps(); }

    // -- Row panels
    // Rows stand in this order: the input row, then the loops group by group (a group's loops
    // in slot order), then the empty slots. Re-arranged when a loop joins a group that is not
    // the last one.
    void ArrangeRowsByGroup();
    // Slots beyond "Max.Anz. Loops" shrink to a thin line; slot 1 and the input row never do.
    void SizeRowPanels(int maxLoops);
    int PanelHeight(int row) const { return panelHeight_[static_cast<size_t>(row)]; }
    // Place of a row from the top (the input row is place 0) and the row at a place.
    int PlaceOf(int row) const { return placeOf_[static_cast<size_t>(row)]; }
    int RowAt(int place) const { return rowAt_[static_cast<size_t>(place)]; }
    // Counts every change of order or height, so that views re-place the rows.
    int LayoutGeneration() const { return layoutGeneration_; }

  private:
    int LastRow() const;
    int FirstShownRow() const;
    int Steps() const { return ScrollStepsPerMixer > 0 ? ScrollStepsPerMixer : 1; }
    bool LoopInActiveGroup(int loop) const;
    bool Concerned(int loop) const;
    void SetRowPositions(int row, int ampLeft, int ampRight, int panLeft, int panRight);
    void LoweringChanged();
    void ScrollBarChange();
    void ShowTopRow();
    std::string RowName(int row) const;

    Engine& engine_;
    MixerControls& c_;
    bool mixSymm_ = false;
    int inputMode_ = 0;
    int targetGroup_ = -1;
    int targetLoop_ = -1;
    bool downPassAllowed_ = false;
    bool programScroll_ = false;
    bool resetPending_ = false; // an input mode change waits for its reset
    int pendingMode_ = 0;
    std::array<int, LoopSlotCapacity + 1> placeOf_{};
    std::array<int, LoopSlotCapacity + 1> rowAt_{};
    std::array<int, LoopSlotCapacity + 1> panelHeight_{};
    int layoutGeneration_ = 0;
};

} // namespace kreisel

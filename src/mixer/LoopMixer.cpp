// Loop mixer operations: slider positions to the engine's row levels, switches, presets, input
// mode and the automatic scrolling of the rows.
#include "mixer/LoopMixer.h"

#include "core/Text.h"
#include "engine/LevelTables.h"

#include <algorithm>

namespace kreisel {

namespace {

void SetSwitchQuietly(Control& c, bool down) {
    SuppressActions quiet(c);
    c.SetDown(down);
}

void ShowPlayState(Control& play, bool on) {
    SetSwitchQuietly(play, on);
    play.SetText(on ? ">>" : "");
}

} // namespace

LoopMixer::LoopMixer(Engine& engine, MixerControls& controls) : engine_(engine), c_(controls) {
    for (int n = 0; n <= LoopSlotCapacity; ++n) {
        placeOf_[static_cast<size_t>(n)] = rowAt_[static_cast<size_t>(n)] = n;
        panelHeight_[static_cast<size_t>(n)] = RowHeight;
    }
    for (int n = 0; n <= LoopSlotCapacity; ++n) {
        MixerRowControls& r = c_.MixerRows[static_cast<size_t>(n)];
        for (Control* slider : {r.AmpLeft, r.AmpRight, r.PanLeft, r.PanRight})
            slider->SetOnChange([this](Control& s) { SliderChange(s); });
        r.Play->SetOnClick([this, n](Control&) { SBLoopClick(n); });
        for (Control* area : {r.Panel, r.LabelAmp, r.LabelPanLeft, r.LabelPanRight})
            area->SetOnClick([this, n](Control&) { ActivateLoopClick(n); });
    }
    c_.ComboBoxInputMode.SetOnChange([this](Control&) { ComboBoxInputModeChange(); });
    c_.CBMixSymm.SetOnChange([this](Control&) { CBMixSymmClick(); });
    c_.CBInputMixer.SetOnChange([this](Control&) { CBInputMixerClick(); });
    c_.SBShowPresetControls.SetOnClick([this](Control&) { SBShowPresetControlsClick(); });
    c_.ScrollBarLoops.SetOnChange([this](Control&) { ScrollBarChange(); });
    for (Control* b : {&c_.ButtonAllLoopsOn, &c_.ButtonAllLoopsOff, &c_.ButtonAllLoopsInv, &c_.ButtonLeftsOn,
                       &c_.ButtonRightsOn, &c_.ButtonLeftsOff, &c_.ButtonRightsOff, &c_.ButtonOn,
                       &c_.ButtonOff, &c_.ButtonSetFromMixFile, &c_.ButtonSetDefault, &c_.ButtonSetInvers,
                       &c_.ButtonSetMono, &c_.ButtonSetLeft, &c_.ButtonSetRight, &c_.ButtonSetEqual1})
        b->SetOnClick([this](Control& pressed) { ButtonSetAllClick(&pressed); });

    // The engine's mode is the one in force; the combo box shows it.
    inputMode_ = std::clamp(engine_.InputMode, 0, 3);
    {
        SuppressActions quiet(c_.ComboBoxInputMode);
        c_.ComboBoxInputMode.SetItemIndex(inputMode_);
    }
    engine_.Rows[0].LoopOn = c_.MixerRows[0].Play->Down();
    LayoutRows();
    mixSymm_ = c_.CBMixSymm.Checked();
    ButtonSetAllClick(nullptr);
    c_.PanelPresets.SetVisible(c_.SBShowPresetControls.Down());
}

int LoopMixer::LastRow() const {
    return std::clamp(engine_.MaxLoopCount, 0, LoopSlotCapacity);
}

int LoopMixer::FirstShownRow() const {
    return c_.CBInputMixer.Checked() ? 0 : 1;
}

// -- Rows

void LoopMixer::RecomputeRow(int row) {
    if (row < 0 || row > LoopSlotCapacity) return;
    const MixerRowControls& r = c_.MixerRows[static_cast<size_t>(row)];
    MixerRow& m = engine_.Rows[static_cast<size_t>(row)];
    const int panLeft = r.PanLeft->Position();
    const int panRight = r.PanRight->Position();
    m.LoopLevelL = LevelOfPosition(AmpLevelTable, r.AmpLeft->Position());
    m.LoopLevelR = LevelOfPosition(AmpLevelTable, r.AmpRight->Position());
    m.LoopLL = LevelOfPosition(PanLevelTable, panLeft);
    m.LoopLR = LevelOfPosition(PanLevelTable, 16 - panLeft);
    m.LoopRL = LevelOfPosition(PanLevelTable, panRight);
    m.LoopRR = LevelOfPosition(PanLevelTable, 16 - panRight);
}

void LoopMixer::SliderChange(Control& slider) {
    const int row = slider.Tag();
    if (row < 0 || row > LoopSlotCapacity) return;
    MixerRowControls& r = c_.MixerRows[static_cast<size_t>(row)];
    const int p = slider.Position();
    const bool left = &slider == r.AmpLeft || &slider == r.PanLeft;
    const bool level = &slider == r.AmpLeft || &slider == r.AmpRight;
    if (mixSymm_) {
        // The partner follows without running its own change: one row, one description.
        Control& partner = level ? (left ? *r.AmpRight : *r.AmpLeft) : (left ? *r.PanRight : *r.PanLeft);
        SuppressActions quiet(partner);
        partner.SetPosition(level ? p : 16 - p);
    }
    RecomputeRow(row);

    const char sep = DecimalSeparator;
    const std::string side = left ? "Links" : "Rechts";
    std::string text = "Loop " + std::to_string(row);
    if (level)
        text += ", Verstärkung " + side + ":  V =  " + LevelText(LevelOfPosition(AmpLevelTable, p), sep);
    else
        text += ", Panorama " + side +
                ":  Links/Rechts = " + LevelText(LevelOfPosition(PanLevelTable, p), sep) + " / " +
                LevelText(LevelOfPosition(PanLevelTable, 16 - p), sep);
    c_.LabelChanges.SetText(text);
}

void LoopMixer::LoweringChanged() {
    if (OutputLoweringChanged)
        OutputLoweringChanged();
    else
        engine_.AnyChange_LowerOutput();
}

void LoopMixer::SBLoopClick(int row) {
    if (row < 0 || row > LoopSlotCapacity) return;
    MixerRowControls& r = c_.MixerRows[static_cast<size_t>(row)];
    const bool on = r.Play->Down();
    engine_.Rows[static_cast<size_t>(row)].LoopOn = on;
    r.Play->SetText(on ? ">>" : "");
    SetSwitchQuietly(*r.Marker, on);
    LoweringChanged();
}

bool LoopMixer::LoopInActiveGroup(int loop) const {
    return engine_.Slots[static_cast<size_t>(loop)].LoopGroup == engine_.ActGroupIdx;
}

bool LoopMixer::Concerned(int loop) const {
    return c_.SBAllLoopsMarked.Down() || LoopInActiveGroup(loop);
}

void LoopMixer::TakeOverMarks() {
    // Every loop in use, whatever its group: the marks say what sounds from now on.
    for (int m = 1; m <= std::min(engine_.LoopCount, LoopSlotCapacity); ++m) {
        MixerRowControls& r = c_.MixerRows[static_cast<size_t>(m)];
        const bool on = r.Marker->Down();
        engine_.Rows[static_cast<size_t>(m)].LoopOn = on;
        ShowPlayState(*r.Play, on);
    }
    LoweringChanged();
}

void LoopMixer::ActivateLoopClick(int row) {
    if (row >= 1 && row <= engine_.LoopCount && ActivateLoop) ActivateLoop(row);
}

void LoopMixer::SetRowPositions(int row, int ampLeft, int ampRight, int panLeft, int panRight) {
    MixerRowControls& r = c_.MixerRows[static_cast<size_t>(row)];
    if (ampLeft >= 0) r.AmpLeft->SetPosition(ampLeft);
    if (ampRight >= 0) r.AmpRight->SetPosition(ampRight);
    if (panLeft >= 0) r.PanLeft->SetPosition(panLeft);
    if (panRight >= 0) r.PanRight->SetPosition(panRight);
}

void LoopMixer::ButtonSetAllClick(const Control* button) {
    const MixerControls& c = c_;
    mixSymm_ = false;
    int ampLeft = -1, ampRight = -1, panLeft = -1, panRight = -1; // -1: left alone
    const bool marks =
        button == &c.ButtonAllLoopsOn || button == &c.ButtonAllLoopsOff || button == &c.ButtonAllLoopsInv;
    if (marks) {
        for (int m = 1; m <= std::min(engine_.LoopCount, LastRow()); ++m) {
            if (!Concerned(m)) continue;
            Control& mark = *c_.MixerRows[static_cast<size_t>(m)].Marker;
            SetSwitchQuietly(mark,
                             button == &c.ButtonAllLoopsInv ? !mark.Down() : button == &c.ButtonAllLoopsOn);
        }
    } else if (button == &c.ButtonLeftsOn) {
        ampLeft = 4;
    } else if (button == &c.ButtonRightsOn) {
        ampRight = 4;
    } else if (button == &c.ButtonLeftsOff) {
        ampLeft = 16;
    } else if (button == &c.ButtonRightsOff) {
        ampRight = 16;
    } else if (button == &c.ButtonOn) {
        ampLeft = ampRight = 4;
    } else if (button == &c.ButtonOff) {
        ampLeft = ampRight = 16;
    } else if (button == &c.ButtonSetFromMixFile) {
        if (LoadStartValues) LoadStartValues();
    } else if (button == &c.ButtonSetDefault) {
        ampLeft = ampRight = 4;
        const bool stereo = inputMode_ == 0;
        panLeft = stereo ? 0 : 8;
        panRight = stereo ? 16 : 8;
    } else if (button == &c.ButtonSetInvers) {
        panLeft = 16;
        panRight = 0;
    } else if (button == &c.ButtonSetMono) {
        panLeft = panRight = 8;
    } else if (button == &c.ButtonSetLeft) {
        panLeft = panRight = 0;
    } else if (button == &c.ButtonSetRight) {
        panLeft = panRight = 16;
    } else if (button == &c.ButtonSetEqual1) {
        const MixerRowControls& first = c.MixerRows[1];
        ampLeft = first.AmpLeft->Position();
        ampRight = first.AmpRight->Position();
        panLeft = first.PanLeft->Position();
        panRight = first.PanRight->Position();
    }
    for (int n = 0; n <= LastRow(); ++n) {
        SetRowPositions(n, ampLeft, ampRight, panLeft, panRight);
        MixerRowControls& r = c_.MixerRows[static_cast<size_t>(n)];
        for (Control* slider : {r.AmpLeft, r.AmpRight, r.PanLeft, r.PanRight})
            SliderChange(*slider);
    }
    mixSymm_ = c_.CBMixSymm.Checked();
    LoweringChanged();
}

// -- Window

void LoopMixer::CBMixSymmClick() {
    mixSymm_ = c_.CBMixSymm.Checked();
}

void LoopMixer::ComboBoxInputModeChange() {
    Control& combo = c_.ComboBoxInputMode;
    const int wanted = combo.ItemIndex();
    auto showMode = [&combo](int mode) {
        SuppressActions quiet(combo);
        combo.SetItemIndex(mode);
    };
    if (wanted < 0 || wanted > 3) {
        showMode(inputMode_);
        return;
    }
    if (!Started) {
        SetInputMode();
        return;
    }
    if (resetPending_) {
        // A change while the reset question of an earlier one is still open: the first one decides.
        showMode(pendingMode_);
        return;
    }
    if (wanted == inputMode_) return;
    // Loops recorded in one mode cannot be played in another: nothing changes unless they are gone.
    resetPending_ = true;
    pendingMode_ = wanted;
    const bool reset = ResetAll ? ResetAll() : engine_.LoopCount == 0;
    resetPending_ = false;
    showMode(reset ? wanted : inputMode_);
    if (reset) SetInputMode();
}

void LoopMixer::SetInputMode() {
    const int item = c_.ComboBoxInputMode.ItemIndex();
    if (item < 0 || item > 3) return;
    inputMode_ = item;
    engine_.InputMode = item;
    const bool stereo = item == 0;
    c_.CBMixSymm.SetEnabled(stereo);
    for (Control* b : {&c_.ButtonLeftsOn, &c_.ButtonRightsOn, &c_.ButtonLeftsOff, &c_.ButtonRightsOff})
        b->SetVisible(stereo);
    // In mono only the left-source controls act; the right positions stay as they are.
    for (MixerRowControls& r : c_.MixerRows)
        for (Control* right : {r.AmpRight, r.PanRight, r.LabelAmp, r.LabelPanRight})
            right->SetVisible(stereo);
    if (InputModeApplied) InputModeApplied();
}

void LoopMixer::CBInputMixerClick() {
    c_.MixerRows[0].Panel->SetVisible(c_.CBInputMixer.Checked());
    LayoutRows();
}

void LoopMixer::SBShowPresetControlsClick() {
    c_.PanelPresets.SetVisible(c_.SBShowPresetControls.Down());
    if (WindowTogglesChanged) WindowTogglesChanged();
}

void LoopMixer::LayoutRows() {
    const int rows = LastRow() - FirstShownRow() + 1;
    programScroll_ = true;
    c_.ScrollBarLoops.SetRange(1, std::max(rows - 1, 0) * Steps() + 1);
    programScroll_ = false;
    ShowTopRow();
}

void LoopMixer::SetScrollStepsPerMixer(int steps) {
    ScrollStepsPerMixer = std::max(steps, 0);
    programScroll_ = true;
    c_.ScrollBarLoops.SetPosition(c_.ScrollBarLoops.Min());
    programScroll_ = false;
    LayoutRows();
}

// -- Scrolling

int LoopMixer::ScrollOffset() const {
    return (c_.ScrollBarLoops.Position() - 1) * RowHeight / Steps();
}

std::string LoopMixer::RowName(int row) const {
    return row == 0 ? "Inp" : c_.RowSuffix(row);
}

void LoopMixer::ShowTopRow() {
    const int top = std::min(FirstShownRow() + ScrollOffset() / RowHeight, LastRow());
    c_.LabelChanges.SetText("Loop " + RowName(RowAt(top)));
}

void LoopMixer::ScrollBarChange() {
    if (!programScroll_) targetGroup_ = targetLoop_ = -1; // the user has taken over
    ShowTopRow();
}

void LoopMixer::SetScrollTarget(int group, int loop) {
    targetGroup_ = group >= 0 ? group : -1;
    targetLoop_ = loop >= 1 ? loop : -1;
    downPassAllowed_ = true;
}

void LoopMixer::StepScrollToGroupIDXOrLoopNr(int maxSteps) {
    if (ScrollStepsPerMixer <= 0 || !ScrollTargetSet()) return;
    const int lastRow = LastRow();
    if (lastRow < 1) return;
    // In places from the top: a group's rows stand together.
    int first = -1, last = -1;
    if (targetLoop_ >= 1) {
        first = last = PlaceOf(std::min(targetLoop_, lastRow));
    } else {
        for (int m = 1; m <= std::min(engine_.LoopCount, LoopSlotCapacity); ++m) {
            if (engine_.Slots[static_cast<size_t>(m)].LoopGroup != targetGroup_) continue;
            const int place = PlaceOf(m);
            if (first < 0 || place < first) first = place;
            last = std::max(last, place);
        }
        // A group without loops yet: where its first loop will go.
        if (first < 0) first = last = PlaceOf(std::clamp(engine_.LoopCount + 1, 1, lastRow));
        first = std::min(first, lastRow);
        last = std::min(last, lastRow);
        // With a row of margin above and below, the group's end matters more than its start.
        const int fit = VisibleHeight / RowHeight;
        if (last - first + 3 > fit) first = std::clamp(last + 3 - fit, first, last);
    }
    const int above = std::max(first - 1, FirstShownRow());
    const int below = std::min(last + 1, lastRow);
    auto top = [this](int place) { return (place - FirstShownRow()) * RowHeight; };
    Control& bar = c_.ScrollBarLoops;
    auto step = [this, &bar](int by) {
        programScroll_ = true;
        bar.SetPosition(bar.Position() + by);
        programScroll_ = false;
    };

    bool done = true;
    int steps = 0;
    while (top(above) < ScrollOffset() && bar.Position() > bar.Min()) {
        if (steps++ == maxSteps) {
            done = false;
            break;
        }
        step(-1);
        downPassAllowed_ = false;
    }
    if (downPassAllowed_) {
        steps = 0;
        while (top(below) + RowHeight > ScrollOffset() + VisibleHeight && bar.Position() < bar.Max()) {
            if (steps++ == maxSteps) {
                done = false;
                break;
            }
            step(1);
        }
    }
    if (done) targetGroup_ = targetLoop_ = -1;
}

// -- Row panels

void LoopMixer::ArrangeRowsByGroup() {
    std::array<int, LoopSlotCapacity + 1> order{};
    for (int n = 0; n <= LoopSlotCapacity; ++n)
        order[static_cast<size_t>(n)] = n;
    // Empty slots (no group) after every group; within a group the slots keep their order.
    auto key = [this](int row) {
        const int group = engine_.Slots[static_cast<size_t>(row)].LoopGroup;
        return group < 0 ? 1 << 20 : group;
    };
    // Insertion sort: stable, and unlike std::stable_sort it takes no temporary buffer, so a
    // series recording that opens a slot at a loop end allocates nothing.
    for (size_t i = 2; i < order.size(); ++i) {
        const int row = order[i];
        size_t j = i;
        for (; j > 1 && key(order[j - 1]) > key(row); --j)
            order[j] = order[j - 1];
        order[j] = row;
    }
    for (int place = 0; place <= LoopSlotCapacity; ++place) {
        const int row = order[static_cast<size_t>(place)];
        rowAt_[static_cast<size_t>(place)] = row;
        placeOf_[static_cast<size_t>(row)] = place;
    }
    ++layoutGeneration_;
}

void LoopMixer::SizeRowPanels(int maxLoops) {
    for (int n = 2; n <= LoopSlotCapacity; ++n)
        panelHeight_[static_cast<size_t>(n)] = n > maxLoops ? 2 : RowHeight;
    ++layoutGeneration_;
}

} // namespace kreisel

// The controls of the loop mixer window that the mixer works with: one row per loop slot plus
// the live input (row 0), the input mode, the symmetric switch, the preset panel and the scroll
// bar. The window's form creates them in itself; the mixer takes this set, so it never depends
// on the window class.
#pragma once

#include "core/Control.h"
#include "core/Form.h"
#include "engine/Engine.h"

#include <array>
#include <string>

namespace kreisel {

// The entries of ComboBoxInputMode, in the order of the engine's input modes.
inline constexpr std::array<const char*, 4> InputModeNames{"Stereo  ( L / R )", "Mono   (  L+R  )",
                                                           "Mono   ( nur L )", "Mono   ( nur R )"};

// One mixer row. Every control carries its row number as its tag. The row panel and the small
// labels have no names: macros never address them, and the row view finds them here.
struct MixerRowControls {
    Control* Panel = nullptr;    // clicking the row (strip, labels, slider panels) activates it
    Control* Marker = nullptr;   // SBLoopMarker_<n>: the mark, taken over at the next loop end
    Control* Play = nullptr;     // SBLoop_<n>: the row sounds while down (">>")
    Control* AmpLeft = nullptr;  // TBAmpLeft_<n>, vertical 0..16, unity at 4
    Control* AmpRight = nullptr; // TBAmpRight_<n>
    Control* PanLeft = nullptr;  // TBPanLeft_<n>, horizontal 0..16, 0 = fully left
    Control* PanRight = nullptr; // TBPanRight_<n>
    Control* LabelAmp = nullptr; // "L              R"
    Control* LabelPanLeft = nullptr;
    Control* LabelPanRight = nullptr;
    Control* Graph = nullptr; // PBGraph_<n>; keeps the slot number when the loop is named
};

struct MixerControls {
    explicit MixerControls(Form& form);
    MixerControls(const MixerControls&) = delete;
    MixerControls& operator=(const MixerControls&) = delete;

    Form& Owner;
    std::array<MixerRowControls, LoopSlotCapacity + 1> MixerRows{};

    Control& PanelMixers; // the scrolling area holding the rows
    Control& ScrollBarLoops;
    Control& LabelChanges;
    Control& LabelInputMode;
    Control& ComboBoxInputMode;
    Control& CBMixSymm;
    Control& CBInputMixer;
    Control& SBShowPresetControls;
    Control& SBMixers;
    Control& SBFaders;
    Control& SBAllowMultipleLoopLength;

    // Preset panel
    Control& PanelPresets;
    Control& SBAllLoopsMarked;
    Control& ButtonAllLoopsOn;
    Control& ButtonAllLoopsOff;
    Control& ButtonAllLoopsInv;
    Control& ButtonLeftsOn;
    Control& ButtonRightsOn;
    Control& ButtonLeftsOff;
    Control& ButtonRightsOff;
    Control& ButtonOn;
    Control& ButtonOff;
    Control& ButtonSetFromMixFile;
    Control& ButtonSetDefault;
    Control& ButtonSetInvers;
    Control& ButtonSetMono;
    Control& ButtonSetLeft;
    Control& ButtonSetRight;
    Control& ButtonSetEqual1;

    // Mixer set files; hidden, reached through the load/save dialog.
    Control& ButtonLoadSet;
    Control& ButtonSaveSet;

    // The row's per-loop controls carry this suffix: the slot number, or the loop's name.
    const std::string& RowSuffix(int row) const { return suffix_.at(static_cast<size_t>(row)); }
    // Gives row `row` the suffix on all its per-loop controls (not PBGraph_) and shows it on the
    // mark button. A row that holds the suffix already goes back to its slot number first, so a
    // name always finds the row that was named last.
    void RenameRow(int row, const std::string& suffix);

  private:
    bool ApplySuffix(int row, const std::string& suffix);
    std::array<std::string, LoopSlotCapacity + 1> suffix_{};
};

} // namespace kreisel

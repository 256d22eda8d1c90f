// The loop mixer window "Loops": one row per loop slot and the live input (green), each with its
// mark and play buttons, two vertical level sliders, two horizontal panorama sliders and the
// black graph area; above them the input mode, the switches and the preset panel. The rows
// scroll as the mixer's scroll bar says, so the automatic scrolling of the model moves them.
#pragma once

#include "forms/TFormLoops.h"
#include "gui/ViewParts.h"
#include "mixer/LoopMixer.h"

#include <array>

class QScrollBar;

namespace kreisel {

class LoopsWindow : public FormWindow {
    Q_OBJECT
  public:
    static constexpr int RowPixels = 50;

    // `mixer` may be null: the rows then scroll by the bar alone. `engine` tells how many slots
    // exist; `showMixers` is the main window's switch that shows the sliders (else the graph
    // covers them).
    LoopsWindow(TFormLoops& form, Binder& binder, Engine& engine, LoopMixer* mixer, const Control* showMixers,
                QWidget* parent = nullptr);

    // Row positions, shown rows and slider visibility as the models say now.
    void Follow();
    QWidget* Row(int row) const { return rows_.at(static_cast<std::size_t>(row)).frame; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct RowView {
        QWidget* frame = nullptr;
        QWidget* sliders = nullptr; // level and panorama panels
        QWidget* graph = nullptr;
    };

    QWidget* BuildTop(Binder& binder);
    QWidget* BuildPresets(Binder& binder);
    void BuildRow(int row, Binder& binder);
    void PlaceRows();
    int VisibleRowArea() const;

    TFormLoops& form_;
    Engine& engine_;
    LoopMixer* mixer_;
    const Control* showMixers_;
    QWidget* area_ = nullptr;
    QScrollBar* bar_ = nullptr;
    QWidget* allMarked_ = nullptr;
    std::array<RowView, LoopSlotCapacity + 1> rows_{};
    int placedOffset_ = -1;
    int placedLastRow_ = -1;
    int placedFirstRow_ = -1;
    int placedShowMixers_ = -1;
    int placedWidth_ = -1;
    int placedLayout_ = -1;
};

} // namespace kreisel

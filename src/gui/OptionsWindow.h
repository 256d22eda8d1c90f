// The options window: one page each for recording, metronome and tap, mixer, sound card and
// latency. Its pages show the option controls of the other windows by name, so an option that a
// model adds later only needs its place in the page tables.
#pragma once

#include "forms/TFormOptions.h"
#include "gui/ViewParts.h"

class QTabWidget;

namespace kreisel {

class OptionsWindow : public FormWindow {
    Q_OBJECT
  public:
    // `forms`: where the option controls are looked up, in this order.
    OptionsWindow(TFormOptions& options, Binder& binder, std::vector<Form*> forms, QWidget* parent = nullptr);

    QTabWidget* Pages() const { return pages_; }

    // Width the window widens to when debug mode is switched on; switched off, it has the size it
    // had before.
    static constexpr int DebugWidth = 740;
    void FollowDebugMode();

  private:
    QTabWidget* pages_ = nullptr;
    const Control* debugMode_ = nullptr;
    int shownDebug_ = -1;
    QSize sizeBeforeDebug_;
};

} // namespace kreisel

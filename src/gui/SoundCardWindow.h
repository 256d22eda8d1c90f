// The sound-card window "Sound-Karte - Spezielles ...".
#pragma once

#include "forms/TFormThreadSK.h"
#include "gui/ViewParts.h"

namespace kreisel {

// Devices, rate and block length, start and stop, the counters and the error list.
class SoundCardWindow : public FormWindow {
    Q_OBJECT
  public:
    SoundCardWindow(TFormThreadSK& form, Binder& binder, QWidget* parent = nullptr);
};

} // namespace kreisel

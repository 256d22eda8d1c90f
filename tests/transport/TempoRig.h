// The main window's controls, an engine on the harness and a metronome whose hooks the block
// processor calls: the stage of the metronome, tap and count-in tests.
#pragma once

#include "support/EngineHarness.h"
#include "transport/Metronome.h"

namespace kreisel::test {

class MetronomeHooks : public LoggingHooks {
  public:
    MetronomeHooks(Engine& e, Metronome& m) : LoggingHooks(e), m_(m) {}
    void MetronomeStep(int frames) override { m_.HalfBeatStep(frames); }
    void MetronomeBlock(int frames, int16_t* l, int16_t* r, int32_t* monL, int32_t* monR) override {
        m_.AddClick(frames, l, r, monL, monR);
    }

  private:
    Metronome& m_;
};

struct TempoRig {
    Form form{"FormKreisel"};
    MainControls c{form};
    EngineHarness h{44100, 1000};
    Engine& e = h.E();
    Metronome m{e, c};
    MetronomeHooks hooks{e, m};

    TempoRig() { e.SetHooks(&hooks); }
};

} // namespace kreisel::test

// Prepare time and count-in before the first recording (and when leaving a pause), and the time
// and beat texts of lengths that the loop list, the length labels and the displays show.
#pragma once

#include "core/HostServices.h"
#include "engine/Engine.h"
#include "transport/MainControls.h"
#include "transport/Metronome.h"

#include <cstdint>
#include <string>

namespace kreisel {

class TimedStart {
  public:
    // The count-in sleeps at most this long between two looks at the clock.
    static constexpr int kCountInWaitMs = 20;

    TimedStart(Engine& engine, MainControls& controls, Clock& clock, EventPump& pump, Metronome& metronome);
    TimedStart(const TimedStart&) = delete;
    TimedStart& operator=(const TimedStart&) = delete;

    // TBPrepareTime, CBUsePrepareTime, CBPrepareTimeUseBPM and the tempo.
    void AnyChange_PrepareTime();
    int PrepareTimeMs() const { return prepareTimeMs_; }

    // Counts in for `ms` milliseconds while events (and audio) go on being served; returns
    // whether it ran to its end. A count-in already running is not started again (false).
    bool Run(int ms);
    // A key press during the count-in ends it; Run then returns false.
    void Abort() { running_ = false; }
    bool Running() const { return running_; }

    // Texts of lengths in stored values.
    std::string TimeText(int64_t lengthValues, int digits) const;
    std::string BeatText(int lengthValues) const;
    // The beat text when the fixed length counts beats ("[beats]"), else the time text.
    std::string TimeOrBeatText(int lengthValues, int digits) const;
    // The recorded length of loop slot n.
    std::string LoopTimeText(int loop) const;

    // LabelMaxLoopTime and LabelLoopTimeVal, after every change of the loop-length rule.
    void UpdateTimeLabels();

    char DecimalSeparator = '.';

  private:
    void ShowRemaining(int64_t now, int64_t end, bool beats);

    Engine& e_;
    MainControls& c_;
    Clock& clock_;
    EventPump& pump_;
    Metronome& metronome_;
    int prepareTimeMs_ = 0;
    bool running_ = false;
};

} // namespace kreisel

// The reference tone: a sine of a typed, stepped or note-chosen frequency that the block
// processor mixes into the output and, when asked, into the recording. One generator period holds
// a whole number of sine periods, so its samples are computed once per frequency and the block
// path only reads them.
#pragma once

#include "core/HostServices.h"
#include "engine/Engine.h"
#include "tuner/Notes.h"
#include "tuner/TunerControls.h"

#include <functional>
#include <string>
#include <vector>

namespace kreisel {

class ToneGenerator {
  public:
    static constexpr int kAmplitude = 2048;

    ToneGenerator(Engine& engine, TunerControls& controls);
    ToneGenerator(const ToneGenerator&) = delete;
    ToneGenerator& operator=(const ToneGenerator&) = delete;

    // The generator buttons switch it; any sender rereads the frequency and shows it.
    void AnyChange_GenFreq(const Control* sender);
    // The note and octave sliders and the base frequency give the frequency.
    void TBGenFreqChange();
    // Arrow keys and the up-down controls: +1 / -1 (0.1 with Ctrl) Hz, base frequency 0.25
    // (0.05 with Ctrl) Hz.
    void StepGenFreq(int direction, bool ctrl);
    void StepBaseFreq(int direction, bool ctrl);
    // Typing a frequency ends the note name.
    void EditGenFreqEnter();
    // The level slider and "auch aufnehmen".
    void LevelChanged();
    // Opens the system's mixer; a German message when there is none.
    void ButtonWinMixerClick();

    // Sets the played frequency (1..20000 Hz) and restarts the phase.
    void SetFrequency(double requested);
    int16_t Wave(int phase) const {
        return phase >= 0 && phase < static_cast<int>(table_.size()) ? table_[static_cast<size_t>(phase)] : 0;
    }
    double GenFreq() const { return tuning_.Frequency; }
    const GeneratorTuning& Tuning() const { return tuning_; }
    double BaseFrequency() const;
    bool On() const { return c_.SBGenerator.Down(); }

    // The note sliders to a note (the tuner's following).
    void FollowNote(int nameIndex, int octave);

    Desktop* desktop = nullptr;
    Dialogs* dialogs = nullptr;
    // The options window brings the generator's page to the front.
    std::function<void()> OnShowGeneratorPage;
    char DecimalSeparator = '.';

  private:
    void Sync();

    Engine& e_;
    TunerControls& c_;
    GeneratorTuning tuning_;
    std::vector<int16_t> table_;
    std::string noteName_;
};

// A number typed with a decimal point or comma; nullopt when it is none.
std::optional<double> ParseNumber(const std::string& text);

} // namespace kreisel

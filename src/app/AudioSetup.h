// Which device the program plays through: the sound card by RtAudio on its first API with
// devices, or the built-in device (silence or a WAV file in, a WAV file or nothing out) when
// there is no sound card, when it does not start, or when the command line asks for it.
#pragma once

#include "forms/TFormThreadSK.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace kreisel {

struct AudioChoice {
    bool builtIn = false; // the built-in device, not the sound card
    std::string input;    // WAV file to play in; empty: silence
    std::string output;   // WAV file to write; empty: discard
};

// "" (the sound card), "silence", "file:IN.wav" or "file:IN.wav:OUT.wav"; nullopt when the
// text is none of these.
std::optional<AudioChoice> ParseAudioChoice(const QString& choice);

class AudioSetup {
  public:
    explicit AudioSetup(TFormThreadSK& soundCard) : sk_(soundCard) {}
    ~AudioSetup();
    AudioSetup(const AudioSetup&) = delete;
    AudioSetup& operator=(const AudioSetup&) = delete;

    // Creates the sound-card window's device and loads its settings; Start then opens it.
    void Open(const AudioChoice& choice, const std::string& settingsFile);
    // Starts the device; a sound card that does not start gives way to the built-in device.
    bool Start();
    std::string DeviceName() const;

  private:
    void UseBuiltIn(const AudioChoice& choice);
    TFormThreadSK& sk_;
    std::unique_ptr<AudioDevice> device_;
    bool builtIn_ = false;
};

} // namespace kreisel

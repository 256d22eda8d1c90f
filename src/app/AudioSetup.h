// Which device the program plays through: the sound card by RtAudio (the first API with devices,
// or the one the command line names), or the built-in device (silence or a WAV file in, a WAV
// file or nothing out) when there is no sound card, when it does not start, or when the command
// line asks for it.
#pragma once

#include "forms/TFormThreadSK.h"
#include "shell/CommandLine.h"

#include <memory>
#include <ostream>
#include <string>

namespace kreisel {

class FileDevice;

class AudioSetup {
  public:
    // `log` gets one line for every fall-back to the built-in device.
    AudioSetup(TFormThreadSK& soundCard, std::ostream& log) : sk_(soundCard), log_(log) {}
    ~AudioSetup();
    AudioSetup(const AudioSetup&) = delete;
    AudioSetup& operator=(const AudioSetup&) = delete;

    // Creates the sound-card window's device and loads its settings section. A named API that
    // has no devices, or a device it does not have, is an error (false, `error` in German); the
    // default choice falls back to the built-in device instead.
    bool Open(const AudioChoice& choice, const std::string& settingsFile, bool freeRunning,
              std::string* error = nullptr);
    // Starts the device; a sound card that does not start gives way to the built-in device
    // unless the command line named it.
    bool Start();
    std::string DeviceName() const;
    bool BuiltIn() const { return builtIn_; }
    // The built-in device, or nullptr.
    FileDevice* File() const;

  private:
    void UseBuiltIn(const AudioChoice& choice);
    TFormThreadSK& sk_;
    std::ostream& log_;
    std::unique_ptr<AudioDevice> device_;
    bool builtIn_ = false;
    bool named_ = false;
    bool freeRunning_ = false;
};

// Every audio API with its input and output devices, as --list-devices prints it.
std::string ListAudioDevices();

} // namespace kreisel

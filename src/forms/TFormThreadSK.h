// The sound-card window's model: devices, rate, block length and output rate correction, the
// start/stop button, counters and error list, the device information and the window's section
// of the settings file. It owns the sound card's core-thread part.
#pragma once

#include "core/Form.h"
#include "core/HostServices.h"
#include "core/IniFile.h"
#include "engine/Engine.h"
#include "soundcard/AudioDevice.h"
#include "soundcard/SoundCard.h"
#include "soundcard/SoundCardControls.h"

#include <filesystem>
#include <string>

namespace kreisel {

class TFormThreadSK : public Form, public SoundCardControls {
  public:
    static constexpr const char* kSection = "Soundkarte";

    // Wires the handlers of the window's controls.
    TFormThreadSK(Engine& engine, Dialogs& dialogs, Clock& clock, Timers& timers, EventPump& pump);

    SoundCard& Card() { return card_; }

    // Takes the device (not owned), fills the device lists, loads the section from the settings
    // file, and shows "(-)" in the displays.
    void FormCreate(AudioDevice* device, const std::filesystem::path& settingsFile);
    // The device lists from the device, selecting the chosen ids.
    void FillDeviceLists();

    void ButtonStartStopClick();
    void CBxInOutDevChange();
    void SEFreqBlockChange();
    void ButtonResetCountersClick();
    void ButtonHardwareInfoClick();
    void ButtonSaveClick();
    // Hides the window; true when that is its closing (the close button still has the caption
    // it had at creation), false when the program only hides it.
    bool ButtonCloseClick();
    // A double click on MemoErrors.
    void MemoErrorsDblClick();

    // The "Soundkarte" section, read or written in the given file content.
    void LoadSaveSection(IniFile& ini, bool save);
    // The same on a file; a missing file on loading is reported and the values stay. False on
    // any failure (reported as a message).
    bool LoadSaveIniFile(const std::filesystem::path& file, bool save);
    const std::filesystem::path& SettingsFile() const { return settingsFile_; }

    // The capabilities of the chosen input and output device, as the information box shows them.
    std::string HardwareInfoText();

    // Window geometry, kept for the settings file.
    int Left = 300;
    int Top = 200;
    int Height = 460;

  private:
    Engine& e_;
    Dialogs& dialogs_;
    SoundCard card_;
    std::filesystem::path settingsFile_;
    std::string closeCaption_;
};

} // namespace kreisel

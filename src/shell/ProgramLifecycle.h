// How the looper comes up and goes down: the window creation step, the start-up sequence of the
// first activation (settings, sound card, the file named on the command line) and the shutdown,
// which never ends the program while recordings would be lost against the performer's answer.
// The windowed program and headless runs both go through here; the view gives the splash and wait
// message displays and the device start.
#pragma once

#include "shell/CommandLine.h"
#include "shell/DataFolders.h"

#include <functional>
#include <string>

namespace kreisel {

class KreiselCore;
class Dialogs;

class ProgramLifecycle {
  public:
    ProgramLifecycle(KreiselCore& core, Dialogs& dialogs, DataFolders folders, CommandLine commandLine);

    // The splash window's text; an empty text hides the splash.
    std::function<void(const std::string& text)> LoadingMessage;
    // The main window's wait message; an empty text removes it.
    std::function<void(const std::string& text)> WaitMessage;
    // Opens and starts the sound card (the device choice is the caller's); false when it did not
    // start, which the sound card has reported itself.
    std::function<bool()> StartSoundCard;
    // Lets the windows catch up (pending events) before a file from the command line loads.
    std::function<void()> ProcessPendingEvents;
    // Closes the sound card's devices at the end of the shutdown.
    std::function<void()> CloseDevices;
    // Waits this long between the device start and the engine's second reset (100 ms).
    std::function<void(int ms)> Sleep;

    // The main window's creation: title and caption, the default mixer set of the loop mixer.
    void FormCreate();
    // The first activation; later calls do nothing. True unless a file named on the command line
    // could not be loaded (the program runs on either way).
    bool FormActivate();
    // The close request: true when the program may end now. Stopping, the question about unsaved
    // recordings (Cancel and its time-out keep the program running), the settings when they are
    // saved at every end, the devices closed.
    bool FormCloseQuery();

    bool Started() const { return started_; }
    bool InStartUp() const { return inStartUp_; }
    bool Closing() const { return closing_; }
    bool MemSizeFromParameter() const { return commandLine_.memSizePercent.has_value(); }
    const DataFolders& Folders() const { return folders_; }
    const CommandLine& Arguments() const { return commandLine_; }
    // True when the data folder had neither the settings file nor the default mixer set when
    // the program came up: a new user, whose defaults are written instead of missing files
    // being reported.
    bool FirstStart() const { return firstStart_; }
    // The line that tells a new user where the defaults were written; empty on later starts.
    const std::string& FirstStartNote() const { return firstStartNote_; }
    // The file named on the command line as completed at start-up; empty when none.
    const std::filesystem::path& CommandLineFile() const { return commandLineFile_; }

    static std::string Title(); // "Kreisel V.<version>"

  private:
    void Loading(const std::string& text);
    void Wait(const std::string& text);
    void WriteDefaults();

    KreiselCore& core_;
    Dialogs& dialogs_;
    DataFolders folders_;
    CommandLine commandLine_;
    std::filesystem::path commandLineFile_;
    bool firstStart_ = false;
    std::string firstStartNote_;
    bool started_ = false;
    bool inStartUp_ = false;
    bool closing_ = false;
};

} // namespace kreisel

// The program's command line: the file or memory switch of the first argument, the choice of
// audio device and the options of runs without windows. Parsed without Qt so that the windowed
// and the headless program read it the same way.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kreisel {

struct CommandLine {
    bool help = false;
    bool listDevices = false;
    bool headless = false;
    bool fast = false;    // the built-in device runs as fast as the core takes blocks
    bool showAll = false; // every window shown at start
    bool play = false;    // playback starts once the file named is loaded
    bool punch = false;   // with play: a punch-in into the active loop that never ends (load tests)
    std::string audio;    // raw text of --audio; empty: the sound card
    std::string exportFile;
    std::string tunerLog; // (headless) every steady note of the tuner as a line of this file
    std::optional<double> seconds;
    std::string screenshotDir;
    std::string exportControls; // write the components file of every window and control, then end
    std::string updateControls; // the same, keeping the texts that file already gives its controls
    std::string macroFile;      // (headless) macros loaded into the editor and started after loading
    int screenshotDelayMs = 2000;
    // The first free argument: a settings or session file to open, unless it is the memory switch.
    std::string file;
    // "INI_MEMSIZE_PERCENT=" with a number from 1 to 100.
    std::optional<int> memSizePercent;
    // German messages for the user: a bad memory switch is reported and ignored; errors make the
    // program end before it starts.
    std::vector<std::string> warnings;
    std::vector<std::string> errors;
};

// Arguments without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// What --help prints.
std::string CommandLineHelp();

// The file a command-line argument names, made absolute: ".lps" appended when the name holds no
// dot; a bare name is the data folder's file unless the current folder holds one of that name.
std::filesystem::path CompleteFileArgument(const std::string& argument,
                                           const std::filesystem::path& dataFolder);

// Where the audio comes from and goes to.
struct AudioChoice {
    enum class Kind {
        SoundCard, // the first audio API with devices (JACK, PulseAudio or ALSA)
        Api,       // one named API ("jack", "alsa", "pulse"), optionally one device of it
        Silence,   // the built-in device with silence in
        File,      // the built-in device with a WAV file in
    };
    Kind kind = Kind::SoundCard;
    std::string api;    // Api: "jack", "alsa" or "pulse"
    std::string device; // Api: a device name or number; empty: the API's default
    std::string input;  // File: the WAV file played in
    std::string output; // Silence/File: WAV file the output goes to; empty: discarded
    bool BuiltIn() const { return kind == Kind::Silence || kind == Kind::File; }
};

// "" (the sound card), "jack", "alsa[:DEVICE]", "pulse[:DEVICE]", "silence[:OUT.wav]",
// "file:IN.wav[:OUT.wav]"; nullopt when the text is none of these.
std::optional<AudioChoice> ParseAudioChoice(const std::string& text);

} // namespace kreisel

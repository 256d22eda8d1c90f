// The one key handler of the program. Every window's key presses come here as virtual-key codes:
// the program-wide keys (help, close, keyboard lock, punch-in, tap), the single commands of the
// key file, the key macros, and the sequence keys whose long and short presses make up a press
// sequence (KeySequ_1 ... KeySequ_2222) that is looked up like a key. Foot switches arrive as
// simulated presses of the same keys.
#pragma once

#include "core/HostServices.h"
#include "macros/MacroInterpreter.h"

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kreisel {

struct KeySettings {
    std::array<int, 4> SequencingKey{13, 32, 65, 89}; // 0: none
    int PunchingKey = 32;
    int TappingKey = 32;
    int KeyLongMinMSec = 400; // a press this long or longer is a long press
    int KeyDistMaxMSec = 400; // a pause this long ends a sequence
};

class KeyHandler {
  public:
    static constexpr int kF1 = 112;
    static constexpr int kF4 = 115;
    static constexpr int kPauseBreak = 19;

    KeyHandler(MacroInterpreter& macros, Clock& clock, Timers& timers);
    ~KeyHandler();
    KeyHandler(const KeyHandler&) = delete;
    KeyHandler& operator=(const KeyHandler&) = delete;

    KeySettings Settings;
    // Single commands by key index (1..101, sequences at 71 + sequence number).
    std::array<std::string, kKeyCount + 1> KeyCommand{};

    // Reads sections "Keys" and "KeySequences" of a key file; false (and every command empty)
    // when the file is missing.
    bool LoadKeyFile(const std::filesystem::path& file);

    // -- What the handler does to the rest of the looper. Each may be left empty.
    std::function<void(const std::string& text, bool red)> ShowStatus; // the status line
    std::function<void(const std::string& text, bool visible)> ShowMessage; // the message panel
    std::function<void()> Help;
    std::function<void(bool saveFirst)> Close;           // Alt+F4, with Ctrl: save first
    std::function<bool()> PunchAllowed;                  // not recording and punch-in enabled
    std::function<void()> PunchDown;
    std::function<bool()> PunchUp;                       // true when a punch-in was under way
    std::function<bool()> TapExpected;                   // taps wanted and keys may tap
    std::function<void()> Tap;
    std::function<bool()> SequenceKeyRecords;            // true: the record button was clicked
    std::function<bool(int virtualKey)> OtherKey;        // any other key; true when taken

    // Key down and key up; true when the key was taken (the focused widget does not see it).
    bool KeyDown(int virtualKey, bool shift = false, bool ctrl = false, bool alt = false);
    bool KeyUp(int virtualKey);
    // A key index reaching the macros and the key file; true when something handled it.
    bool DispatchKey(int keyIndex);
    void ResetKeyState();

    bool KeyboardLocked() const { return keyboardLocked_; }
    bool KeyHeld() const { return keyHeld_; }
    const std::string& SequenceString() const { return sequence_; }
    const LastKeyState& LastKey() const { return lastKey_; }

    // The key overview: all single commands, switch lines, punch, tap and sequence keys, the
    // sequences and the keys that macros use. `all` also lists keys without an assignment.
    // portKeys: the keys sent by the modem-status lines CTS, DSR, RLSD, RING; midiKeys: the
    // MIDI pedal's messages (label) and their keys, listed after them when there are any.
    std::string Overview(bool all, const std::array<int, 4>& portKeys,
                         const std::vector<std::pair<std::string, int>>& midiKeys = {}) const;

  private:
    void FinishSequence();
    void StopSequenceTimer();
    void Status(const std::string& text, bool red) {
        if (ShowStatus) ShowStatus(text, red);
    }
    std::string KeyLine(const std::string& label, int code) const;
    bool HasMacro(int keyIndex) const;

    MacroInterpreter& macros_;
    Clock& clock_;
    Timers& timers_;
    LastKeyState lastKey_;
    bool keyboardLocked_ = false;
    bool keyHeld_ = false;
    bool sequenceKeyDown_ = false;
    bool punchByKey_ = false;
    std::int64_t keyDownTick_ = 0;
    std::int64_t keyUpTick_ = 0;
    std::string sequence_;
    int timer_ = 0;
};

} // namespace kreisel

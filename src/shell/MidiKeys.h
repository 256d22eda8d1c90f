// Foot switches on a MIDI input: a pedal's notes or controllers become presses and releases of
// configurable keys, which then take the keyboard keys' way (sequence keys, punch-in, tap,
// key-file commands and macros), as the serial-port lines do. The MIDI thread only puts the raw
// messages into a lock-free ring; the core thread takes them out after each processed block and
// on the status timer, decodes them and sends the keys.
#pragma once

#include "core/SpscRing.h"
#include "shell/MidiInput.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kreisel {

enum class MidiKind { None = 0, Note = 1, Controller = 2 };

// One decoded message that a pedal may send: a note going on or off, or a controller crossing
// the middle (64 and above is down).
struct MidiSwitch {
    MidiKind Kind = MidiKind::None;
    int Channel = 1; // 1..16
    int Number = 0;  // note or controller number
    bool Down = false;
};

// Note on, note off and control change with their full length and data bytes below 128; anything
// else (system messages, other channel messages, fragments, short or long messages) is nullopt.
std::optional<MidiSwitch> DecodeMidiSwitch(const unsigned char* data, std::size_t size);

struct MidiMapping {
    MidiKind Kind = MidiKind::None;
    int Number = 0; // 0..127
    int Key = 0;    // virtual key code; 0 sends nothing
};

class MidiKeys : private MidiReceiver {
  public:
    static constexpr int kMappings = 8;

    explicit MidiKeys(MidiInputs& inputs) : inputs_(&inputs) {}
    ~MidiKeys();
    MidiKeys(const MidiKeys&) = delete;
    MidiKeys& operator=(const MidiKeys&) = delete;

    // Settings. Channel 0 takes every channel (omni). By default the sustain pedal (controller
    // 64) is the return key, a sequence key.
    bool MidiEnabled = false;
    std::string MidiPortName;
    int MidiChannel = 0;
    std::array<MidiMapping, kMappings> Mappings{{{MidiKind::Controller, 64, 13}}};

    MidiInputs& Inputs() { return *inputs_; }
    // Another source of inputs (tests); the open input is closed.
    void UseInputs(MidiInputs& inputs);

    // Closes the input and, while MIDI control is on, opens the named one. An input that does
    // not open is reported once and leaves MIDI control off; false then.
    bool Reopen(const std::string& name);
    // Keys still held by the pedal are released.
    void Close();
    bool IsOpen() const { return port_ != nullptr; }

    // The next note-on or controller press of the selected channel sets mapping `index` to it
    // instead of sending a key; -1 stops waiting.
    void Learn(int index);
    int Learning() const { return learning_; }

    // The mappings in use while MIDI control is on, as "Note 36" or "Controller 64" and key.
    std::vector<std::pair<std::string, int>> SwitchKeys() const;

    // Core thread: takes the messages received since the last call and sends their keys.
    void Deliver();

    std::function<void(int virtualKey, bool down)> SendKey;
    std::function<void(const std::string& text)> Report;
    std::function<void(int index)> Learned;

  private:
    struct Raw {
        std::array<unsigned char, 3> bytes{};
        std::uint8_t size = 0;
    };
    void Receive(const unsigned char* data, std::size_t size) noexcept override;
    void Handle(const MidiSwitch& s);

    MidiInputs* inputs_;
    std::unique_ptr<MidiPort> port_;
    SpscRing<Raw, 256> ring_;
    std::array<bool, kMappings> held_{};
    int learning_ = -1;
};

} // namespace kreisel

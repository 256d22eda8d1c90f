// MIDI inputs as sources of foot switches: a pedal board's notes or controllers. The looper only
// lists the inputs, opens one and receives its messages; the messages arrive on the MIDI
// library's own thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace kreisel {

// Takes the messages of an open input. Called on the MIDI thread: it must not wait, lock or
// allocate.
class MidiReceiver {
  public:
    virtual void Receive(const unsigned char* data, std::size_t size) noexcept = 0;

  protected:
    ~MidiReceiver() = default;
};

// An open input; closed when it is destroyed, after which the receiver is no longer called.
class MidiPort {
  public:
    virtual ~MidiPort() = default;
};

class MidiInputs {
  public:
    virtual ~MidiInputs() = default;
    // The inputs present now, each named with its system: "JACK: ..." or "ALSA: ...".
    virtual std::vector<std::string> List() = 0;
    // Opens the named input; null when it is not there or does not open.
    virtual std::unique_ptr<MidiPort> Open(const std::string& name, MidiReceiver& receiver) = 0;
};

// The inputs of the system through RtMidi: JACK MIDI and the ALSA sequencer.
std::unique_ptr<MidiInputs> MakeSystemMidiInputs();

} // namespace kreisel

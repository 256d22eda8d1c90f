// MIDI inputs through RtMidi. Listing makes a short-lived client per system; an open input keeps
// its own client, whose callback thread hands each message straight to the receiver.
#include "shell/MidiInput.h"

#include <rtmidi/RtMidi.h>

#include <array>
#include <unistd.h>
#include <utility>

namespace kreisel {

namespace {

struct Api {
    RtMidi::Api api;
    const char* prefix;
};
constexpr std::array<Api, 2> kApis{{{RtMidi::UNIX_JACK, "JACK: "}, {RtMidi::LINUX_ALSA, "ALSA: "}}};

// Warnings (no JACK server, no sequencer device) are the normal case on many machines; a missing
// system simply lists no inputs.
void Quiet(RtMidiError::Type, const std::string&, void*) {}

std::unique_ptr<RtMidiIn> Client(RtMidi::Api api) {
    // Without the sequencer device ALSA would only print its complaint.
    if (api == RtMidi::LINUX_ALSA && access("/dev/snd/seq", R_OK | W_OK) != 0) return nullptr;
    try {
        auto in = std::make_unique<RtMidiIn>(api, "Kreisel");
        in->setErrorCallback(&Quiet);
        return in;
    } catch (const RtMidiError&) {
        return nullptr;
    }
}

// ALSA names end in the client and port numbers ("Pedal:Pedal MIDI 1 24:0"), which change when
// the device is plugged in again; an input is found again by its name without them.
std::string WithoutNumbers(const std::string& name) {
    const auto blank = name.rfind(' ');
    if (blank == std::string::npos) return name;
    const std::string tail = name.substr(blank + 1);
    const auto colon = tail.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == tail.size()) return name;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (i != colon && (tail[i] < '0' || tail[i] > '9')) return name;
    return name.substr(0, blank);
}

class RtPort : public MidiPort {
  public:
    RtPort(std::unique_ptr<RtMidiIn> in, MidiReceiver& receiver) : in_(std::move(in)), receiver_(receiver) {}
    ~RtPort() override {
        try {
            in_->cancelCallback();
            in_->closePort();
        } catch (const RtMidiError&) {
        }
    }
    RtPort(const RtPort&) = delete;
    RtPort& operator=(const RtPort&) = delete;

    bool Start(unsigned index) {
        try {
            in_->ignoreTypes(true, true, true); // sysex, clock and active sensing never reach us
            in_->setCallback(&RtPort::Callback, this);
            in_->openPort(index, "Fussschalter");
            return in_->isPortOpen();
        } catch (const RtMidiError&) {
            return false;
        }
    }

  private:
    static void Callback(double, std::vector<unsigned char>* message, void* self) {
        if (message != nullptr && !message->empty())
            static_cast<RtPort*>(self)->receiver_.Receive(message->data(), message->size());
    }

    std::unique_ptr<RtMidiIn> in_;
    MidiReceiver& receiver_;
};

class RtInputs : public MidiInputs {
  public:
    std::vector<std::string> List() override {
        std::vector<std::string> names;
        for (const Api& api : kApis) {
            auto in = Client(api.api);
            if (!in) continue;
            try {
                const unsigned count = in->getPortCount();
                for (unsigned i = 0; i < count; ++i) {
                    std::string name = in->getPortName(i);
                    // Our own input port is no source.
                    if (name.rfind("Kreisel", 0) != 0 && !name.empty()) names.push_back(api.prefix + name);
                }
            } catch (const RtMidiError&) {
            }
        }
        return names;
    }

    std::unique_ptr<MidiPort> Open(const std::string& name, MidiReceiver& receiver) override {
        for (const Api& api : kApis) {
            const std::string prefix = api.prefix;
            if (name.rfind(prefix, 0) != 0) continue;
            const std::string wanted = name.substr(prefix.size());
            auto in = Client(api.api);
            if (!in) return nullptr;
            int found = -1;
            try {
                const unsigned count = in->getPortCount();
                for (unsigned i = 0; i < count && found < 0; ++i)
                    if (in->getPortName(i) == wanted) found = static_cast<int>(i);
                for (unsigned i = 0; i < count && found < 0; ++i)
                    if (WithoutNumbers(in->getPortName(i)) == WithoutNumbers(wanted)) found = static_cast<int>(i);
            } catch (const RtMidiError&) {
                return nullptr;
            }
            if (found < 0) return nullptr;
            auto port = std::make_unique<RtPort>(std::move(in), receiver);
            if (!port->Start(static_cast<unsigned>(found))) return nullptr;
            return port;
        }
        return nullptr;
    }
};

} // namespace

std::unique_ptr<MidiInputs> MakeSystemMidiInputs() { return std::make_unique<RtInputs>(); }

} // namespace kreisel

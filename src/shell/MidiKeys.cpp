// Messages into key strokes. A pedal that repeats its state (controllers are often sent again
// and again while held) presses its key once: only changes of a mapping's state are sent.
#include "shell/MidiKeys.h"

namespace kreisel {

std::optional<MidiSwitch> DecodeMidiSwitch(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size != 3) return std::nullopt;
    const unsigned status = data[0];
    if (status < 0x80 || data[1] >= 0x80 || data[2] >= 0x80) return std::nullopt;
    MidiSwitch s;
    s.Channel = static_cast<int>(status & 0x0F) + 1;
    s.Number = data[1];
    switch (status & 0xF0) {
    case 0x80:
        s.Kind = MidiKind::Note;
        s.Down = false;
        return s;
    case 0x90:
        s.Kind = MidiKind::Note;
        s.Down = data[2] != 0; // note on with velocity 0 is a note off
        return s;
    case 0xB0:
        s.Kind = MidiKind::Controller;
        s.Down = data[2] >= 64;
        return s;
    default:
        return std::nullopt;
    }
}

MidiKeys::~MidiKeys() { port_.reset(); }

void MidiKeys::UseInputs(MidiInputs& inputs) {
    Close();
    inputs_ = &inputs;
}

void MidiKeys::Close() {
    port_.reset(); // the MIDI thread has stopped calling: what it left is dropped
    Raw raw;
    while (ring_.Pop(raw)) {
    }
    for (std::size_t i = 0; i < held_.size(); ++i) {
        if (!held_[i]) continue;
        held_[i] = false;
        if (Mappings[i].Key != 0 && SendKey) SendKey(Mappings[i].Key, false);
    }
}

bool MidiKeys::Reopen(const std::string& name) {
    Close();
    if (!MidiEnabled) return true;
    if (!name.empty()) port_ = inputs_->Open(name, *this);
    if (port_ == nullptr) {
        MidiEnabled = false;
        learning_ = -1;
        if (Report)
            Report(name.empty() ? std::string("Kein MIDI-Eingang gewählt - MIDI-Steuerung ausgeschaltet.")
                                : "MIDI-Eingang \"" + name +
                                      "\" momentan nicht verfügbar - MIDI-Steuerung ausgeschaltet.");
        return false;
    }
    MidiPortName = name;
    return true;
}

std::vector<std::pair<std::string, int>> MidiKeys::SwitchKeys() const {
    std::vector<std::pair<std::string, int>> keys;
    if (!MidiEnabled) return keys;
    for (const MidiMapping& m : Mappings)
        if (m.Kind != MidiKind::None && m.Key != 0)
            keys.emplace_back((m.Kind == MidiKind::Note ? "Note " : "Controller ") + std::to_string(m.Number), m.Key);
    return keys;
}

void MidiKeys::Learn(int index) { learning_ = index >= 0 && index < kMappings ? index : -1; }

void MidiKeys::Receive(const unsigned char* data, std::size_t size) noexcept {
    // Only what can be a pedal's message is kept; a full ring drops it.
    if (size == 0 || size > 3) return;
    Raw raw;
    for (std::size_t i = 0; i < size; ++i)
        raw.bytes[i] = data[i];
    raw.size = static_cast<std::uint8_t>(size);
    ring_.Push(raw);
}

void MidiKeys::Deliver() {
    Raw raw;
    while (ring_.Pop(raw)) {
        const auto s = DecodeMidiSwitch(raw.bytes.data(), raw.size);
        if (!s || (MidiChannel != 0 && s->Channel != MidiChannel)) continue;
        Handle(*s);
    }
}

void MidiKeys::Handle(const MidiSwitch& s) {
    if (learning_ >= 0) {
        if (!s.Down) return;
        const int index = learning_;
        learning_ = -1;
        MidiMapping& m = Mappings[static_cast<std::size_t>(index)];
        m.Kind = s.Kind;
        m.Number = s.Number;
        held_[static_cast<std::size_t>(index)] = false; // its release sends nothing
        if (Learned) Learned(index);
        return;
    }
    for (std::size_t i = 0; i < Mappings.size(); ++i) {
        const MidiMapping& m = Mappings[i];
        if (m.Kind != s.Kind || m.Number != s.Number || held_[i] == s.Down) continue;
        held_[i] = s.Down;
        if (m.Key != 0 && SendKey) SendKey(m.Key, s.Down);
    }
}

} // namespace kreisel

// A MIDI input double: named inputs that can vanish, and messages the test sends from its own
// thread as the MIDI library's thread would.
#pragma once

#include "shell/MidiInput.h"

#include <map>
#include <string>
#include <vector>

namespace kreisel::test {

class FakeMidi : public MidiInputs {
  public:
    std::map<std::string, bool> present{{"JACK: pedal:out", true}};
    MidiReceiver* receiver = nullptr; // of the open input
    int opened = 0;

    std::vector<std::string> List() override {
        std::vector<std::string> names;
        for (const auto& [name, there] : present)
            if (there) names.push_back(name);
        return names;
    }
    std::unique_ptr<MidiPort> Open(const std::string& name, MidiReceiver& r) override {
        auto it = present.find(name);
        if (it == present.end() || !it->second) return nullptr;
        receiver = &r;
        ++opened;
        return std::make_unique<Port>(*this);
    }
    void Send(std::vector<unsigned char> bytes) {
        if (receiver) receiver->Receive(bytes.data(), bytes.size());
    }

  private:
    class Port : public MidiPort {
      public:
        explicit Port(FakeMidi& owner) : owner_(owner) {}
        ~Port() override { owner_.receiver = nullptr; }

      private:
        FakeMidi& owner_;
    };
};

} // namespace kreisel::test

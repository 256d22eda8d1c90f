// A serial port double: named ports whose modem lines the test sets, and which can vanish.
#pragma once

#include "shell/SerialPort.h"

#include <map>
#include <string>

namespace kreisel::test {

class FakePorts : public SerialPorts {
  public:
    struct Line {
        unsigned bits = 0;
        bool present = true;
    };
    std::map<std::string, Line> lines{{"/dev/ttyUSB0", {}}};

    std::vector<std::string> List() override {
        std::vector<std::string> names;
        for (const auto& [name, line] : lines)
            if (line.present) names.push_back(name);
        return names;
    }
    std::unique_ptr<SerialPort> Open(const std::string& name) override {
        auto it = lines.find(name);
        if (it == lines.end() || !it->second.present) return nullptr;
        return std::make_unique<Port>(it->second);
    }

  private:
    class Port : public SerialPort {
      public:
        explicit Port(Line& line) : line_(line) {}
        bool ReadModemStatus(unsigned& bits) override {
            if (!line_.present) return false;
            bits = line_.bits;
            return true;
        }

      private:
        Line& line_;
    };
};

} // namespace kreisel::test

// Foot switches on a serial port. Once per processed block the modem lines are read; every change
// of a line becomes a press or release of that line's key. The keys are queued without allocating
// and handed to the key handler after the block, so they take the keyboard keys' way (sequence
// keys, punch-in, tap, key-file commands and macros).
#pragma once

#include "shell/SerialPort.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace kreisel {

class PortControl {
  public:
    explicit PortControl(SerialPorts& ports) : ports_(ports) {}

    // Settings: lines in the order CTS, DSR, RLSD, RING; a key code of 0 sends nothing.
    bool PortEnabled = false;
    std::string PortName;
    bool PortUseInverting = false;
    bool PortUseBothTransitions = false;
    std::array<int, 4> SendOfPortBit{13, 32, 80, 0};
    static constexpr std::array<unsigned, 4> kLineBits{kModemCTS, kModemDSR, kModemRLSD, kModemRING};

    // Closes the port and, while port control is on, opens the named one. A port that does not
    // open is reported and leaves port control off. False then.
    bool Reopen(const std::string& name);
    void Close();
    bool IsOpen() const { return port_ != nullptr; }
    unsigned LastModemStatus() const { return last_; }

    // The block path: reads the lines and queues key events; nothing waits, nothing allocates.
    void PortActions();
    // After the block: delivers the queued keys and reports a lost port (once).
    void Deliver();

    std::function<void(int virtualKey, bool down)> SendKey;
    std::function<void(const std::string& text)> Report;
    std::function<void()> StatusChanged; // the four indicators

  private:
    void Queue(int key, bool down);

    SerialPorts& ports_;
    std::unique_ptr<SerialPort> port_;
    unsigned last_ = 0;
    struct Event {
        int key;
        bool down;
    };
    std::array<Event, 64> queue_{};
    int queued_ = 0;
    bool lost_ = false;
    bool statusChanged_ = false;
};

} // namespace kreisel

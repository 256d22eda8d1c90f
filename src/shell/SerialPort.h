// Serial ports as sources of four switch inputs: the modem-status lines CTS, DSR, RING and RLSD
// (DCD). Foot switches wired between an output line (DTR or RTS) and an input line change these
// bits; the looper only lists ports, opens one and reads the bits.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kreisel {

// Modem-status bits as the looper keeps them.
enum ModemBits : unsigned { kModemCTS = 0x10, kModemDSR = 0x20, kModemRING = 0x40, kModemRLSD = 0x80 };

class SerialPort {
  public:
    virtual ~SerialPort() = default;
    // Reads the lines now without waiting; false when the port is gone or the read failed.
    virtual bool ReadModemStatus(unsigned& bits) = 0;
};

class SerialPorts {
  public:
    virtual ~SerialPorts() = default;
    // The ports present now (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*).
    virtual std::vector<std::string> List() = 0;
    // Opens a port with DTR and RTS on, so the switches have a line to connect; null on failure.
    virtual std::unique_ptr<SerialPort> Open(const std::string& name) = 0;
};

// The ports of the system through libserialport.
std::unique_ptr<SerialPorts> MakeSystemSerialPorts();

} // namespace kreisel

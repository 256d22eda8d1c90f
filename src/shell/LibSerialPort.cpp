// Serial ports through libserialport. Reading the modem lines is one ioctl, no waiting read, so
// it may run once per processed block.
#include "shell/SerialPort.h"

#include <libserialport.h>

#include <algorithm>

namespace kreisel {

namespace {

class LibPort : public SerialPort {
  public:
    explicit LibPort(sp_port* port) : port_(port) {}
    ~LibPort() override {
        sp_close(port_);
        sp_free_port(port_);
    }
    LibPort(const LibPort&) = delete;
    LibPort& operator=(const LibPort&) = delete;

    bool ReadModemStatus(unsigned& bits) override {
        sp_signal signals{};
        if (sp_get_signals(port_, &signals) != SP_OK) return false;
        bits = 0;
        if ((signals & SP_SIG_CTS) != 0) bits |= kModemCTS;
        if ((signals & SP_SIG_DSR) != 0) bits |= kModemDSR;
        if ((signals & SP_SIG_DCD) != 0) bits |= kModemRLSD;
        if ((signals & SP_SIG_RI) != 0) bits |= kModemRING;
        return true;
    }

  private:
    sp_port* port_;
};

class LibPorts : public SerialPorts {
  public:
    std::vector<std::string> List() override {
        std::vector<std::string> names;
        sp_port** ports = nullptr;
        if (sp_list_ports(&ports) != SP_OK) return names;
        for (sp_port** p = ports; *p != nullptr; ++p) {
            const std::string name = sp_get_port_name(*p);
            for (const char* prefix : {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"})
                if (name.rfind(prefix, 0) == 0) names.push_back(name);
        }
        sp_free_port_list(ports);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::unique_ptr<SerialPort> Open(const std::string& name) override {
        sp_port* port = nullptr;
        if (sp_get_port_by_name(name.c_str(), &port) != SP_OK) return nullptr;
        if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
            sp_free_port(port);
            return nullptr;
        }
        // The output lines feed the switches; no flow control may drop them.
        sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE);
        sp_set_dtr(port, SP_DTR_ON);
        sp_set_rts(port, SP_RTS_ON);
        return std::make_unique<LibPort>(port);
    }
};

} // namespace

std::unique_ptr<SerialPorts> MakeSystemSerialPorts() { return std::make_unique<LibPorts>(); }

} // namespace kreisel

// Port control on the options page: the switch "Port-Steuerung:", the port list, the two
// transition options and the four line indicators, driving a PortControl.
#pragma once

#include "core/Form.h"
#include "shell/PortControl.h"

namespace kreisel {

class PortOptions {
  public:
    PortOptions(Form& form, PortControl& port, SerialPorts& ports);

    Control& SBPortControl;
    Control& CBPorts;
    Control& CBPortUseInverting;
    Control& CBPortUseBothTransitions;
    Control& ShapeCTS;
    Control& ShapeDSR;
    Control& ShapeRLSD;
    Control& ShapeRING;

    // Fills the port list with the ports present now and selects the saved name (closing the
    // port first, as a port in use is not listed on every system).
    void RefreshPorts();
    // After loading settings and after resets: the controls follow the settings and the port
    // is reopened while port control is on.
    void Apply();
    void UpdateIndicators();

  private:
    void SettingsChange(const Control* sender);
    void SelectName(const std::string& name);

    PortControl& port_;
    SerialPorts& ports_;
};

} // namespace kreisel

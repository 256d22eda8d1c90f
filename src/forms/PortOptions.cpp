// The switch toggles port control; the port named by the list is opened, and a port that does
// not open puts the switch up again.
#include "forms/PortOptions.h"

#include "core/ControlFactory.h"

#include <algorithm>

namespace kreisel {

using make::Check;
using make::Make;
using make::Switch;

namespace {
constexpr Rgb kLineSet{0xE3, 0xE3, 0xE3}; // the light 3-D colour
constexpr Rgb kLineClear{0, 0x80, 0};
} // namespace

PortOptions::PortOptions(Form& f, PortControl& port, SerialPorts& ports)
    : SBPortControl(Switch(f, "SBPortControl", "Port-Steuerung:", "Fußschalter am seriellen Port")),
      CBPorts(Make(f, "CBPorts", ControlKind::ComboBox)),
      CBPortUseInverting(Check(f, "CBPortUseInverting", "Signalübergänge invertieren", false)),
      CBPortUseBothTransitions(Check(f, "CBPortUseBothTransitions", "beide Signalübergänge benutzen", false)),
      ShapeCTS(Make(f, "ShapeCTS", ControlKind::Shape, "CTS")),
      ShapeDSR(Make(f, "ShapeDSR", ControlKind::Shape, "DSR")),
      ShapeRLSD(Make(f, "ShapeRLSD", ControlKind::Shape, "RLSD")),
      ShapeRING(Make(f, "ShapeRING", ControlKind::Shape, "RING")), port_(port), ports_(ports) {
    SBPortControl.SetOnClick([this](Control& c) { SettingsChange(&c); });
    CBPorts.SetOnChange([this](Control& c) { SettingsChange(&c); });
    CBPortUseBothTransitions.SetOnChange([this](Control& c) { SettingsChange(&c); });
    CBPortUseInverting.SetOnChange([this](Control& c) { port_.PortUseInverting = c.Checked(); });
    port_.StatusChanged = [this] { UpdateIndicators(); };
    UpdateIndicators();
}

void PortOptions::SelectName(const std::string& name) {
    const auto& items = CBPorts.Items();
    const auto it = std::find(items.begin(), items.end(), name);
    SuppressActions quiet(CBPorts);
    CBPorts.SetItemIndex(it == items.end() ? -1 : static_cast<int>(it - items.begin()));
}

void PortOptions::RefreshPorts() {
    port_.Close();
    {
        SuppressActions quiet(CBPorts);
        CBPorts.SetItems(ports_.List());
    }
    SelectName(port_.PortName);
}

void PortOptions::Apply() {
    {
        SuppressActions quiet(CBPortUseInverting);
        CBPortUseInverting.SetChecked(port_.PortUseInverting);
    }
    {
        SuppressActions quiet(CBPortUseBothTransitions);
        CBPortUseBothTransitions.SetChecked(port_.PortUseBothTransitions);
    }
    RefreshPorts();
    SettingsChange(nullptr);
}

void PortOptions::SettingsChange(const Control* sender) {
    port_.PortUseBothTransitions = CBPortUseBothTransitions.Checked();
    CBPortUseInverting.SetEnabled(!port_.PortUseBothTransitions);
    if (sender == &CBPortUseBothTransitions) return;
    if (sender == &SBPortControl) port_.PortEnabled = SBPortControl.Down();
    const int index = CBPorts.ItemIndex();
    const std::string name = index >= 0 ? CBPorts.Items()[static_cast<std::size_t>(index)] : port_.PortName;
    if (!port_.Reopen(name)) SelectName(port_.PortName);
    SuppressActions quiet(SBPortControl);
    SBPortControl.SetDown(port_.PortEnabled);
}

void PortOptions::UpdateIndicators() {
    const unsigned bits = port_.LastModemStatus();
    Control* shapes[] = {&ShapeCTS, &ShapeDSR, &ShapeRLSD, &ShapeRING};
    for (std::size_t i = 0; i < PortControl::kLineBits.size(); ++i)
        shapes[i]->SetColor((bits & PortControl::kLineBits[i]) != 0 ? kLineSet : kLineClear);
}

} // namespace kreisel

// One pass over the settings file ("Kreisel.LPS") in one direction. The program walks its
// sections and keys once in file order for loading and for saving, so every key is written as
// it is read: on saving with the present value, on loading with the present value as its
// default, applied at once. Integers are decimal text, booleans "1"/"0".
#pragma once

#include "core/Control.h"
#include "core/Form.h"
#include "core/IniFile.h"

#include <optional>
#include <string>
#include <string_view>

namespace kreisel {

class SettingsPass {
  public:
    SettingsPass(IniFile& ini, bool save) : ini_(ini), save_(save) {}

    bool Saving() const { return save_; }
    bool Loading() const { return !save_; }
    IniFile& Ini() { return ini_; }
    const std::string& CurrentSection() const { return section_; }

    // The keys that follow belong to this section.
    void Section(std::string name) { section_ = std::move(name); }

    // Plain variables.
    void Int(std::string_view key, int& value);
    void Bool(std::string_view key, bool& value);
    void String(std::string_view key, std::string& value);
    // Keys that the program reads and never writes (a value put in by hand survives saves).
    void LoadOnly(std::string_view key, int& value);
    void LoadOnly(std::string_view key, std::string& value);

    // A slider's position or a number field's value; a new value runs the change action.
    void Value(std::string_view key, Control& control);
    // A check box or menu entry; a new state runs the change action (the handler of check
    // boxes), never the click action.
    void Checked(std::string_view key, Control& control);
    // A switch button whose handler is its click: a new state also runs the click action, as
    // if the button had been pressed into that state.
    void Switch(std::string_view key, Control& control);

    // Left, Top and (withSize) Width, Height of a window. Nothing is written while the window's
    // geometry is not known, so what the file holds stays.
    void Geometry(WindowGeometry& geometry, bool withSize = true);

  private:
    IniFile& ini_;
    bool save_;
    std::string section_;
};

// Decimal fractions as an edit box shows them, with the system's decimal separator ("440,5").
std::string FractionText(double value, char decimalSeparator);
// The text-to-number conversion of such a box: optional blanks and sign, digits with at most one
// decimal separator, an optional exponent; nullopt for anything else (the old value then stays).
std::optional<double> ParseFraction(std::string_view text, char decimalSeparator);

} // namespace kreisel

// Reading and writing single settings keys in the direction of the pass.
#include "persistence/SettingsFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kreisel {

void SettingsPass::Int(std::string_view key, int& value) {
    if (save_)
        ini_.WriteInteger(section_, key, value);
    else
        value = ini_.ReadInteger(section_, key, value);
}

void SettingsPass::Bool(std::string_view key, bool& value) {
    if (save_)
        ini_.WriteBool(section_, key, value);
    else
        value = ini_.ReadBool(section_, key, value);
}

void SettingsPass::String(std::string_view key, std::string& value) {
    if (save_)
        ini_.WriteString(section_, key, value);
    else
        value = ini_.ReadString(section_, key, value);
}

void SettingsPass::LoadOnly(std::string_view key, int& value) {
    if (!save_) value = ini_.ReadInteger(section_, key, value);
}

void SettingsPass::LoadOnly(std::string_view key, std::string& value) {
    if (!save_) value = ini_.ReadString(section_, key, value);
}

void SettingsPass::Value(std::string_view key, Control& control) {
    if (save_)
        ini_.WriteInteger(section_, key, control.Value());
    else
        control.SetValue(ini_.ReadInteger(section_, key, control.Value()));
}

void SettingsPass::Checked(std::string_view key, Control& control) {
    if (save_)
        ini_.WriteBool(section_, key, control.Checked());
    else
        control.SetChecked(ini_.ReadBool(section_, key, control.Checked()));
}

void SettingsPass::Switch(std::string_view key, Control& control) {
    if (save_) {
        ini_.WriteBool(section_, key, control.Down());
        return;
    }
    const bool down = ini_.ReadBool(section_, key, control.Down());
    if (down == control.Down()) return;
    control.SetDown(down);
    if (control.Down() == down) control.Click();
}

void SettingsPass::Geometry(WindowGeometry& g, bool withSize) {
    // A window whose size the views never reported keeps what the file holds; one stored by
    // its position alone always has one.
    if (save_ && withSize && !g.Known()) return;
    // A window never loads a size it could not be shown at.
    WindowGeometry read = g;
    Int("Left", read.Left);
    Int("Top", read.Top);
    if (withSize) {
        Int("Width", read.Width);
        Int("Height", read.Height);
    }
    if (save_) return;
    g.Left = read.Left;
    g.Top = read.Top;
    if (read.Width > 0 && read.Height > 0) {
        g.Width = read.Width;
        g.Height = read.Height;
    }
}

std::string FractionText(double value, char decimalSeparator) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text = buffer;
    for (char& c : text)
        if (c == '.') c = decimalSeparator;
    return text;
}

std::optional<double> ParseFraction(std::string_view text, char decimalSeparator) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    std::string plain(text);
    if (!plain.empty() && plain[0] == '+') plain.erase(0, 1);
    int separators = 0;
    for (char& c : plain) {
        if (c == decimalSeparator) {
            c = '.';
            ++separators;
        } else if (c == '.' || c == ',') {
            return std::nullopt; // the other separator is not this system's
        }
    }
    if (separators > 1) return std::nullopt;
    double value = 0;
    const char* end = plain.data() + plain.size();
    const auto [ptr, ec] = std::from_chars(plain.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace kreisel

// Writing the components file from the window models.
#include "shell/ComponentsFile.h"

#include <fstream>
#include <system_error>

namespace kreisel {

namespace {

// The entry fields are separated by ';' and lines end the entry: neither may appear in a field.
std::string Field(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == ';')
            out += ',';
        else if (c == '\r' || c == '\n')
            out += ' ';
        else
            out += c;
    }
    return out;
}

// Texts the program writes while it runs keep their caption: the file says so with "[dyn]".
bool DynamicCaption(ControlKind kind) {
    return kind == ControlKind::Label || kind == ControlKind::Panel || kind == ControlKind::Edit ||
           kind == ControlKind::TextEditor || kind == ControlKind::Shape || kind == ControlKind::PaintBox;
}

bool HasCaption(ControlKind kind) {
    return kind != ControlKind::Slider && kind != ControlKind::NumberField && kind != ControlKind::ComboBox;
}

void Entry(std::string& out, const std::string& indent, const std::string& name, const std::string& caption,
           const std::string& hint) {
    const std::size_t bar = hint.find('|');
    out += indent + Field(name) + ';' + Field(caption) + ';' + Field(hint.substr(0, bar)) + ";\n";
    if (bar == std::string::npos) return;
    std::string help = hint.substr(bar + 1);
    std::size_t start = 0;
    while (start <= help.size()) {
        std::size_t end = help.find('\n', start);
        if (end == std::string::npos) end = help.size();
        std::string line = help.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out += '\t' + line + '\n';
        start = end + 1;
    }
}

} // namespace

std::string ComponentsFileText(const FormRegistry& forms) {
    std::string out = "# Kreisel: Fenster und Bedienelemente mit Beschriftung und Hinweis.\n"
                      "# Eintrag: Name;Beschriftung;Kurz-Hinweis;  Bedienelemente eingerückt mit \" - \".\n"
                      "# Zeilen mit Tabulator am Anfang sind Maus-Hilfe; \"[dyn]\" lässt die Beschriftung,\n"
                      "# die das Programm selbst setzt.\n";
    for (std::size_t f = 0; f < forms.FormCount(); ++f) {
        const Form& form = forms.FormAt(f);
        out += '\n';
        Entry(out, "", form.Name(), form.Caption(), "");
        for (std::size_t c = 0; c < form.ControlCount(); ++c) {
            const Control& control = form.ControlAt(c);
            if (control.Name().empty()) continue;
            const std::string caption =
                DynamicCaption(control.Kind()) ? "[dyn]" : HasCaption(control.Kind()) ? control.Text() : "";
            Entry(out, " - ", control.Name(), caption, control.Hint());
        }
    }
    return out;
}

bool WriteComponentsFile(const FormRegistry& forms, const std::filesystem::path& file, std::string* error) {
    const std::filesystem::path temp = file.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << ComponentsFileText(forms);
        out.flush();
        if (!out) {
            if (error != nullptr) *error = "Komponenten-Datei \"" + file.string() + "\" kann nicht geschrieben werden!";
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        if (error != nullptr) *error = "Komponenten-Datei \"" + file.string() + "\" kann nicht geschrieben werden!";
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace kreisel

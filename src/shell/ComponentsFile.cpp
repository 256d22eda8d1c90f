// Writing the components file from the window models.
#include "shell/ComponentsFile.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <system_error>

namespace kreisel {

const std::string kHintNameMark = "\r\n$$";
const std::string kKeySeparator = "\r\n" + std::string(33, '-') + "\r\n";
const std::string kSequenceSeparator = "\r\n" + std::string(37, '-') + "  \r\n";

std::string PlainHint(const std::string& hint) {
    std::string h = hint.substr(0, hint.find(kHintNameMark));
    const std::size_t bar = h.find('|');
    std::string shortPart = h.substr(0, bar);
    std::string longPart = bar == std::string::npos ? std::string() : h.substr(bar + 1);
    if (const std::size_t k = shortPart.find(kKeySeparator); k != std::string::npos)
        shortPart.erase(0, k + kKeySeparator.size());
    if (const std::size_t k = longPart.find(kSequenceSeparator); k != std::string::npos)
        longPart.erase(0, k + kSequenceSeparator.size());
    return bar == std::string::npos ? shortPart : shortPart + '|' + longPart;
}

int HelpLinkOf(const std::string& text) {
    const std::size_t at = text.find("F1=");
    if (at == std::string::npos) return 0;
    std::string digits = text.substr(at + 3, 9);
    digits = digits.substr(0, digits.find('\r'));
    int value = 0;
    bool any = false;
    for (const char c : digits) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        any = true;
    }
    return any ? value : 0;
}

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
    const std::string plain = PlainHint(hint);
    const std::size_t bar = plain.find('|');
    out += indent + Field(name) + ';' + Field(caption) + ';' + Field(plain.substr(0, bar)) + ";\n";
    if (bar == std::string::npos) return;
    std::string help = plain.substr(bar + 1);
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

namespace {

struct OldEntry {
    std::string caption;
    std::string shortHint;
    std::vector<std::string> helpLines; // with their leading tab
};

std::string EntryKey(const std::string& form, const std::string& name) {
    return ControlNameKey(form) + '\n' + ControlNameKey(name);
}

std::map<std::string, OldEntry> ReadOldEntries(const std::vector<std::string>& lines) {
    std::map<std::string, OldEntry> entries;
    std::string form;
    OldEntry* last = nullptr;
    for (const std::string& raw : lines) {
        std::string line = raw;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '\t') {
            if (last != nullptr) last->helpLines.push_back(line);
            continue;
        }
        bool component = false;
        while (line.rfind(" - ", 0) == 0) {
            line.erase(0, 3);
            component = true;
        }
        line += ";;;";
        const std::size_t a = line.find(';');
        const std::size_t b = line.find(';', a + 1);
        const std::size_t c = line.find(';', b + 1);
        const std::string name = line.substr(0, a);
        if (!component) form = name;
        last = &entries[EntryKey(form, component ? name : std::string())];
        *last = OldEntry{line.substr(a + 1, b - a - 1), line.substr(b + 1, c - b - 1), {}};
    }
    return entries;
}

void UpdatedEntry(std::string& out, const std::map<std::string, OldEntry>& old, const std::string& formName,
                  const std::string& indent, const std::string& name, const std::string& caption,
                  const std::string& hint) {
    const auto it = old.find(EntryKey(formName, indent.empty() ? std::string() : name));
    if (it == old.end()) {
        Entry(out, indent, name, caption, hint);
        return;
    }
    // Built-in texts fill only what the earlier file left empty.
    std::string builtIn;
    Entry(builtIn, indent, name, caption, hint);
    const OldEntry& e = it->second;
    const std::string plain = PlainHint(hint);
    const std::string shortHint = e.shortHint.empty() ? Field(plain.substr(0, plain.find('|'))) : e.shortHint;
    out += indent + Field(name) + ';' + e.caption + ';' + shortHint + ";\n";
    if (!e.helpLines.empty()) {
        for (const std::string& line : e.helpLines)
            out += line + '\n';
    } else if (const std::size_t nl = builtIn.find('\n'); nl + 1 < builtIn.size()) {
        out += builtIn.substr(nl + 1);
    }
}

} // namespace

std::string UpdatedComponentsFileText(const FormRegistry& forms, const std::vector<std::string>& oldLines) {
    const std::map<std::string, OldEntry> old = ReadOldEntries(oldLines);
    std::string out = "# Kreisel: Fenster und Bedienelemente mit Beschriftung und Hinweis.\n"
                      "# Eintrag: Name;Beschriftung;Kurz-Hinweis;  Bedienelemente eingerückt mit \" - \".\n"
                      "# Zeilen mit Tabulator am Anfang sind Maus-Hilfe (\"F1=\" und eine Nummer: Hilfe-Seite);\n"
                      "# \"[dyn]\" lässt die Beschriftung, die das Programm selbst setzt.\n";
    for (std::size_t f = 0; f < forms.FormCount(); ++f) {
        const Form& form = forms.FormAt(f);
        out += '\n';
        UpdatedEntry(out, old, form.Name(), "", form.Name(), form.Caption(), "");
        for (std::size_t c = 0; c < form.ControlCount(); ++c) {
            const Control& control = form.ControlAt(c);
            if (control.Name().empty()) continue;
            const std::string caption =
                DynamicCaption(control.Kind()) ? "[dyn]" : HasCaption(control.Kind()) ? control.Text() : "";
            UpdatedEntry(out, old, form.Name(), " - ", control.Name(), caption, control.Hint());
        }
    }
    return out;
}

namespace {

constexpr std::string_view kPerLoopPrefixes[] = {"TBAMPLEFT_", "TBAMPRIGHT_", "TBPANLEFT_", "TBPANRIGHT_",
                                                 "PBGRAPH_",   "SBLOOP_",     "SBLOOPMARKER_"};

bool NumberFrom(const std::string& name, std::size_t at, int& n) {
    if (at >= name.size()) return false;
    n = 0;
    for (std::size_t i = at; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 100000) return false;
        n = n * 10 + (name[i] - '0');
    }
    return true;
}

// One set of each repeated control is enough to find the names.
bool LeftOutOfListing(const Control& c) {
    if (c.Name().empty() || c.Tag() == -8888) return true;
    const std::string key = ControlNameKey(c.Name());
    int n = 0;
    if (c.Kind() == ControlKind::Panel && c.Text().empty() && key.rfind("PANEL", 0) == 0 && NumberFrom(key, 5, n) && n >= 2)
        return true;
    if (key.rfind("TOOLBUTTON", 0) == 0 && NumberFrom(key, 10, n) && n >= 2) return true;
    for (std::string_view prefix : kPerLoopPrefixes)
        if (key.rfind(prefix, 0) == 0 && NumberFrom(key, prefix.size(), n) && n >= 2) return true;
    return false;
}

} // namespace

std::string ComponentsListing(const FormRegistry& forms) {
    std::string out = "## (\"#\" startet Kommentarzeile!)\n## Components:\n" + std::string(50, '#') +
                      "\n## Format:\n## Control-Name; Control-Beschriftung; Control-Hint;\n"
                      "## <TAB> Zeile(1) der Maus-Hilfe\n## <TAB> Zeile(2)\n## <TAB> ...\n"
                      "## <TAB> Zeile(n) der Maus-Hilfe\n";
    int count = 0;
    for (std::size_t f = 0; f < forms.FormCount(); ++f) {
        const Form& form = forms.FormAt(f);
        out += std::string(50, '#') + '\n';
        Entry(out, "", form.Name(), form.Caption(), "");
        ++count;
        std::vector<const Control*> controls;
        for (std::size_t c = 0; c < form.ControlCount(); ++c)
            if (!LeftOutOfListing(form.ControlAt(c))) controls.push_back(&form.ControlAt(c));
        std::sort(controls.begin(), controls.end(), [](const Control* a, const Control* b) {
            return ControlNameKey(a->Name()) < ControlNameKey(b->Name());
        });
        for (const Control* control : controls) {
            const ControlKind kind = control->Kind();
            std::string caption = control->Text();
            if (control->Tag() == -9999 || kind == ControlKind::Edit || kind == ControlKind::TextEditor)
                caption = "[dyn]";
            else if (kind == ControlKind::Slider || kind == ControlKind::NumberField)
                caption = control->Name();
            Entry(out, " - ", control->Name(), caption, control->Hint());
            ++count;
        }
    }
    const std::string found = "## " + std::to_string(count) + " Components found!\n";
    out += std::string(80, '#') + '\n' + found + "## (End of Components)\n" + std::string(80, '#') + '\n';
    return out;
}

int ApplyComponentsList(FormRegistry& forms, const std::vector<std::string>& lines, bool captions,
                        std::vector<std::string>& errors) {
    int count = 0;
    Form* current = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        if (line.empty() || line[0] == '#' || line[0] == '\t') continue;
        bool component = false;
        while (line.rfind(" - ", 0) == 0) {
            line.erase(0, 3);
            component = true;
        }
        line += ";;;";
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (int k = 0; k < 3; ++k) {
            const std::size_t semi = line.find(';', start);
            fields.push_back(line.substr(start, semi - start));
            start = semi + 1;
        }
        // The mouse-help lines that follow, comment lines skipped.
        std::string help;
        bool hasHelp = false;
        while (i + 1 < lines.size() && (lines[i + 1].empty() || lines[i + 1][0] == '\t' || lines[i + 1][0] == '#')) {
            const std::string& next = lines[i + 1];
            if (next.empty() && !hasHelp) break;
            ++i;
            if (next.empty() || next[0] == '#') {
                if (next.empty()) help += "\r\n";
                continue;
            }
            help += (hasHelp ? "\r\n" : "") + next.substr(1);
            hasHelp = true;
        }
        Control* control = nullptr;
        if (!component) {
            current = forms.FindForm(fields[0]);
            if (current == nullptr) {
                errors.push_back("Komponente \"" + fields[0] + "\" nicht gefunden!");
                ++count;
            } else if (captions && fields[1] != "[dyn]") {
                current->SetCaption(fields[1]);
            }
            continue;
        }
        if (current != nullptr) control = current->Find(fields[0]);
        if (control == nullptr) {
            errors.push_back("Komponente \"" + fields[0] + "\" nicht gefunden!");
            ++count;
            continue;
        }
        if (control->Tag() == -8888) continue;
        if (const int link = HelpLinkOf(help); link > 0) control->SetHelpContext(link);
        if (captions && control->Tag() != -9999 && fields[1] != "[dyn]" && control->Kind() != ControlKind::Slider &&
            control->Kind() != ControlKind::NumberField)
            control->SetText(fields[1]);
        std::string hint = fields[2];
        if (hasHelp) hint += "|" + help;
        if (hint.find('|') == std::string::npos) hint += '|';
        control->SetHint(hint + kHintNameMark + control->Name());
    }
    return count;
}

bool WriteComponentsFile(const FormRegistry& forms, const std::filesystem::path& file, std::string* error) {
    return WriteComponentsText(ComponentsFileText(forms), file, error);
}

bool WriteComponentsText(const std::string& text, const std::filesystem::path& file, std::string* error) {
    const std::filesystem::path temp = file.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
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

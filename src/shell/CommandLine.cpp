// Reading the command line.
#include "shell/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kreisel {

namespace {

constexpr std::string_view MemSwitch = "INI_MEMSIZE_PERCENT=";

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The memory switch anywhere in the argument, as the argument is searched upper-cased. The number
// follows the switch directly: one to three digits, 1 to 100.
void ReadMemSwitch(const std::string& arg, CommandLine& cl) {
    const std::size_t at = Upper(arg).find(MemSwitch);
    const std::string number = arg.substr(at + MemSwitch.size());
    int value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    const bool digitsOnly =
        !number.empty() && number.size() <= 3 &&
        std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); });
    if (ec == std::errc() && end == number.data() + number.size() && digitsOnly && value >= 1 &&
        value <= 100) {
        cl.memSizePercent = value;
        return;
    }
    cl.warnings.push_back("Aufruf-Parameter \"" + arg +
                          "\": nach \"INI_MEMSIZE_PERCENT=\" wird eine Zahl von 1 bis 100 erwartet; "
                          "der Parameter wird nicht beachtet.");
}

std::optional<double> ReadSeconds(const std::string& text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !(v > 0) || v > 24 * 3600)
        return std::nullopt;
    return v;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    bool firstFree = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // Options take their value after "=" or as the next argument.
        auto value = [&](const std::string& name) -> std::optional<std::string> {
            if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0)
                return a.substr(name.size() + 1);
            if (a == name) {
                if (i + 1 < args.size()) return args[++i];
                cl.errors.push_back("Die Option " + name + " braucht einen Wert.");
                return std::string();
            }
            return std::nullopt;
        };
        if (a == "--help" || a == "-h") {
            cl.help = true;
        } else if (a == "--list-devices") {
            cl.listDevices = true;
        } else if (a == "--headless") {
            cl.headless = true;
        } else if (a == "--fast") {
            cl.fast = true;
        } else if (a == "--show-all") {
            cl.showAll = true;
        } else if (a == "--play") {
            cl.play = true;
        } else if (a == "--punch") {
            cl.punch = true;
        } else if (auto v = value("--audio")) {
            cl.audio = *v;
            if (!ParseAudioChoice(cl.audio))
                cl.errors.push_back("--audio \"" + cl.audio +
                                    "\": erwartet jack, alsa[:GERÄT], pulse[:GERÄT], silence[:AUS.wav] "
                                    "oder file:EIN.wav[:AUS.wav].");
        } else if (auto v = value("--export")) {
            cl.exportFile = *v;
        } else if (auto v = value("--seconds")) {
            cl.seconds = ReadSeconds(*v);
            if (!cl.seconds && !v->empty())
                cl.errors.push_back("--seconds \"" + *v + "\": erwartet eine Zeit in Sekunden über 0.");
        } else if (auto v = value("--macro")) {
            cl.macroFile = *v;
        } else if (auto v = value("--tuner-log")) {
            cl.tunerLog = *v;
        } else if (auto v = value("--export-controls")) {
            cl.exportControls = *v;
        } else if (auto v = value("--update-controls")) {
            cl.updateControls = *v;
        } else if (auto v = value("--screenshot")) {
            cl.screenshotDir = *v;
        } else if (auto v = value("--screenshot-delay")) {
            const auto ms = ReadSeconds(*v);
            if (ms) cl.screenshotDelayMs = static_cast<int>(*ms);
        } else if (a.size() > 1 && a[0] == '-') {
            cl.errors.push_back("Unbekannte Option \"" + a + "\" (siehe --help).");
        } else if (firstFree) {
            firstFree = false;
            if (Upper(a).find(MemSwitch) != std::string::npos)
                ReadMemSwitch(a, cl);
            else
                cl.file = a;
        } else {
            cl.errors.push_back("Nur eine Datei kann geöffnet werden: \"" + a + "\" ist zu viel.");
        }
    }
    if (!cl.headless && (!cl.exportFile.empty() || cl.seconds || cl.fast || !cl.macroFile.empty()) && !cl.help)
        cl.errors.push_back("--export, --seconds, --fast und --macro gelten nur mit --headless.");
    if (!cl.headless && !cl.tunerLog.empty() && !cl.help)
        cl.errors.push_back("--tuner-log gilt nur mit --headless.");
    if (cl.fast && !cl.audio.empty() && !ParseAudioChoice(cl.audio).value_or(AudioChoice{}).BuiltIn())
        cl.errors.push_back("--fast geht nur mit dem eingebauten Gerät (--audio silence oder file:…).");
    return cl;
}

std::string CommandLineHelp() {
    return "Aufruf: kreisel [OPTIONEN] [DATEI.lps | INI_MEMSIZE_PERCENT=NNN]\n"
           "\n"
           "Kreisel - Live-Looper. DATEI ist eine Session oder Einstellungs-Datei; ein Name ohne\n"
           "Ordner wird im aktuellen Ordner, sonst im Daten-Ordner gesucht; ohne Punkt wird\n"
           "\".lps\" angehängt.\n"
           "INI_MEMSIZE_PERCENT=NNN legt den Anteil des Arbeitsspeichers für die Loops fest (1-100).\n"
           "\n"
           "Optionen:\n"
           "  --audio GERÄT        jack | alsa[:GERÄT] | pulse[:GERÄT] | silence[:AUS.wav] |\n"
           "                       file:EIN.wav[:AUS.wav]   (ohne: die Sound-Karte, sonst das\n"
           "                       eingebaute Gerät)\n"
           "  --headless           ohne Fenster: Fragen nehmen sofort ihre Vorgabe-Antwort,\n"
           "                       Meldungen gehen auf die Fehlerausgabe\n"
           "  --export DATEI       (headless) den Ausgang als WAV-Datei aufnehmen\n"
           "  --tuner-log DATEI    (headless) das Stimmgerät messen lassen und jede stabile\n"
           "                       Messung (Zeit, Note mit Oktave, Cent, Hz) als Zeile schreiben\n"
           "  --seconds N          (headless) nach N Sekunden enden (ohne: bis das Eingangs-\n"
           "                       WAV zu Ende ist, sonst bis Strg+C)\n"
           "  --fast               (headless, eingebautes Gerät) so schnell wie möglich statt in\n"
           "                       Echtzeit\n"
           "  --macro DATEI.mak    (headless) die Makros der Datei nach dem Laden starten;\n"
           "                       DISPLAY schreibt auf die Ausgabe, Fehler auf die Fehlerausgabe\n"
           "  --list-devices       Audio-Schnittstellen und Geräte auflisten\n"
           "  --export-controls DATEI  alle Fenster und Bedienelemente mit Beschriftung und\n"
           "                       Hinweis in eine Komponenten-Datei schreiben\n"
           "  --update-controls DATEI  die Komponenten-Datei auf den Stand der Bedienelemente\n"
           "                       bringen; ihre Texte bleiben erhalten\n"
           "  --show-all           alle Fenster zeigen\n"
           "  --play               die geladene Sitzung gleich abspielen\n"
           "  --punch              (mit --play) in den aktiven Loop einstanzen, bis zum Ende\n"
           "  --screenshot DIR     jedes Fenster als DIR/<Name>.png speichern und enden\n"
           "  --screenshot-delay MS  Wartezeit vor den Bildern (2000)\n"
           "  --help               diese Hilfe\n"
           "\n"
           "Beispiele:\n"
           "  kreisel --headless --audio silence --fast Take.lps --export mix.wav --seconds 30\n"
           "  kreisel --headless --audio file:gitarre.wav:aus.wav\n"
           "  kreisel --headless --fast --macro Auftritt.mak --audio file:ein.wav --export aus.wav\n"
           "  kreisel --headless --audio jack Take.lps\n";
}

std::filesystem::path CompleteFileArgument(const std::string& argument,
                                           const std::filesystem::path& dataFolder) {
    std::filesystem::path p(argument);
    if (p.filename().string().find('.') == std::string::npos) p += ".lps";
    // A bare name typed in a shell means the file there when it exists; otherwise the data folder's.
    std::error_code ec;
    if (!p.has_parent_path() && !std::filesystem::exists(p, ec)) return dataFolder / p;
    return std::filesystem::absolute(p, ec);
}

std::optional<AudioChoice> ParseAudioChoice(const std::string& text) {
    AudioChoice c;
    if (text.empty()) return c;
    const std::size_t colon = text.find(':');
    const std::string head = text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (head == "jack" || head == "alsa" || head == "pulse") {
        c.kind = AudioChoice::Kind::Api;
        c.api = head;
        c.device = rest;
        return c;
    }
    if (head == "silence") {
        c.kind = AudioChoice::Kind::Silence;
        c.output = rest;
        return c;
    }
    if (head == "file" && !rest.empty()) {
        c.kind = AudioChoice::Kind::File;
        const std::size_t split = rest.find(':');
        c.input = rest.substr(0, split);
        if (split != std::string::npos) {
            c.output = rest.substr(split + 1);
            if (c.output.find(':') != std::string::npos || c.output.empty()) return std::nullopt;
        }
        return c.input.empty() ? std::nullopt : std::optional<AudioChoice>(c);
    }
    return std::nullopt;
}

} // namespace kreisel

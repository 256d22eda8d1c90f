// Key presses into actions: the order of the checks decides which meaning a key has, so the
// program-wide keys come first and a key that a macro or key-file command handled never reaches
// the transport.
#include "macros/KeyHandler.h"

#include "core/IniFile.h"

namespace kreisel {

KeyHandler::KeyHandler(MacroInterpreter& macros, Clock& clock, Timers& timers)
    : macros_(macros), clock_(clock), timers_(timers) {}

KeyHandler::~KeyHandler() { StopSequenceTimer(); }

bool KeyHandler::LoadKeyFile(const std::filesystem::path& file) {
    for (std::string& c : KeyCommand)
        c.clear();
    IniFile ini;
    if (ini.Load(file) != IniFile::LoadResult::Loaded) return false;
    for (int k = 1; k < kFirstSequenceKey; ++k)
        KeyCommand[static_cast<std::size_t>(k)] = ini.ReadString("Keys", KeyIndexToName(k), "");
    for (int k = kFirstSequenceKey; k <= kKeyCount; ++k)
        KeyCommand[static_cast<std::size_t>(k)] = ini.ReadString("KeySequences", KeyIndexToName(k), "");
    return true;
}

void KeyHandler::StopSequenceTimer() {
    timers_.Stop(timer_);
    timer_ = 0;
}

void KeyHandler::ResetKeyState() {
    keyHeld_ = false;
    sequenceKeyDown_ = false;
    StopSequenceTimer();
    keyUpTick_ = clock_.TickCount();
    sequence_.clear();
}

bool KeyHandler::KeyDown(int key, bool shift, bool ctrl, bool alt) {
    Status("", false);
    if (key == kF1) {
        if (Help) Help();
        return true;
    }
    StopSequenceTimer();
    if (keyHeld_) return true; // the auto-repeat of a held key
    sequenceKeyDown_ = false;
    keyDownTick_ = clock_.TickCount();
    if (key == kF4 && alt) {
        if (Close) Close(ctrl);
        return true;
    }
    if (key == kPauseBreak) {
        keyboardLocked_ = !keyboardLocked_;
        if (!keyboardLocked_) {
            if (ShowMessage) ShowMessage("Keyboard unlocked ...", false);
            return true;
        }
    }
    if (keyboardLocked_) {
        if (ShowMessage) ShowMessage("Keyboard locked !!  (Press \"Break/Pause\")", true);
        keyHeld_ = true;
        return true;
    }
    lastKey_ = LastKeyState{key, shift, ctrl, alt};
    if (key != 0 && key == Settings.PunchingKey && PunchAllowed && PunchAllowed()) {
        keyHeld_ = true;
        punchByKey_ = true;
        if (PunchDown) PunchDown();
        return true;
    }
    if (key != 0 && key == Settings.TappingKey && TapExpected && TapExpected()) {
        keyHeld_ = true;
        if (Tap) Tap();
        return true;
    }
    if (const int k = VirtualKeyToIndex(key); k > 0) {
        keyHeld_ = true;
        if (DispatchKey(k)) {
            // The handled key is still down: its repeats are swallowed until it is released.
            keyHeld_ = true;
            return true;
        }
    }
    for (const int sequencing : Settings.SequencingKey) {
        if (key == 0 || key != sequencing) continue;
        // Held before the key acts: a count-in it starts serves its release while waiting, and
        // that release must stand when the action returns.
        keyHeld_ = true;
        if (SequenceKeyRecords && SequenceKeyRecords()) return true;
        sequenceKeyDown_ = true;
        return true;
    }
    return OtherKey && OtherKey(key);
}

bool KeyHandler::KeyUp(int key) {
    (void)key;
    keyUpTick_ = clock_.TickCount();
    keyHeld_ = false;
    bool taken = false;
    if (punchByKey_) {
        punchByKey_ = false;
        if (PunchUp) taken = PunchUp();
    }
    if (!sequenceKeyDown_) return taken;
    sequenceKeyDown_ = false;
    sequence_ += keyUpTick_ - keyDownTick_ >= Settings.KeyLongMinMSec ? '2' : '1';
    if (sequence_.size() < 4)
        timer_ = timers_.Start(Settings.KeyDistMaxMSec, false, [this] { FinishSequence(); });
    else
        FinishSequence();
    return true;
}

void KeyHandler::FinishSequence() {
    StopSequenceTimer();
    const std::string sequence = sequence_;
    Status("Sequenz: " + sequence, false);
    if (!DispatchKey(KeyNameToIndex("KeySequ_" + sequence))) {
        Status("Sequenz: " + sequence + " ungültig", true);
        keyUpTick_ = clock_.TickCount();
        keyHeld_ = false;
    }
    sequence_.clear();
}

bool KeyHandler::HasMacro(int k) const {
    return k >= 1 && k <= kKeyCount && macros_.KeyMacroLine[static_cast<std::size_t>(k)] >= 0;
}

bool KeyHandler::DispatchKey(int k) {
    if (k < 1 || k > kKeyCount) return false;
    const bool running = macros_.MacrosRunning();
    // The macros decide first: a waiting macro resumes, the all-keys macros run around the key's
    // own macro, and a key with a macro leaves its key-file command alone.
    const bool hasMacro = running && HasMacro(k);
    bool handled = running && macros_.DispatchKey(k);
    const std::string& command = KeyCommand[static_cast<std::size_t>(k)];
    if (!handled && !hasMacro && !command.empty()) {
        macros_.CurrentSlot = k;
        handled = macros_.ExecLine(command);
    }
    if (handled) ResetKeyState();
    return handled;
}

namespace {

std::string Word(int code) {
    const int k = VirtualKeyToIndex(code);
    if (k <= 0) return "";
    std::string name = KeyIndexToName(k);
    if (name.rfind("Key_", 0) == 0) name.erase(0, 4);
    return name;
}

void PadTo(std::string& text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
}

const std::string kRule(50, '-');

} // namespace

std::string KeyHandler::KeyLine(const std::string& label, int code) const {
    std::string word = Word(code);
    PadTo(word, 9);
    std::string line = label + "\t" + " " + word + " (ascii=" + std::to_string(code) + ")";
    const int k = VirtualKeyToIndex(code);
    if (k > 0 && !KeyCommand[static_cast<std::size_t>(k)].empty())
        line += "\tSteuert \"" + KeyCommand[static_cast<std::size_t>(k)] + "\"!";
    if (HasMacro(k)) line += "\t(Steuert Makro, s.u.)";
    return line + "\n";
}

std::string KeyHandler::Overview(bool all, const std::array<int, 4>& portKeys,
                                 const std::vector<std::pair<std::string, int>>& midiKeys) const {
    std::string out = " <<< Einzelbefehls-Tasten: >>> \n";
    for (int k = 1; k < kFirstSequenceKey; ++k) {
        const std::string& command = KeyCommand[static_cast<std::size_t>(k)];
        const bool listedEmpty = all && ((k >= 3 && k <= 30) || (k >= 38 && k <= 71));
        if (command.empty() && !listedEmpty) continue;
        std::string word = KeyIndexToName(k).substr(4);
        PadTo(word, 10);
        out += word + ": '" + command + "'";
        if (HasMacro(k)) out += "\t\t\t(Steuert Makro, s.u.)";
        out += "\n";
    }
    out += kRule + "\n <<< Die (Fuß-)Schalter an COM-Port steuern folgende Tasten: >>> \n";
    static const std::array<const char*, 4> kLines{"CTS:", "DSR:", "RLSD:", "RING:"};
    for (std::size_t i = 0; i < portKeys.size(); ++i)
        if (portKeys[i] != 0) out += KeyLine(kLines[i], portKeys[i]);
    if (!midiKeys.empty()) {
        out += kRule + "\n <<< MIDI-Fußschalter steuern folgende Tasten: >>> \n";
        for (const auto& [label, key] : midiKeys)
            out += KeyLine(label + ":", key);
    }
    out += kRule + "\n <<< Punch-In-Aufnahmetaste: >>> \n" + KeyLine("", Settings.PunchingKey);
    out += kRule + "\n <<< Tap-Taste: >>> \n" + KeyLine("", Settings.TappingKey);
    out += kRule + "\n <<< Sequenz-Taste(n): >>> \n";
    for (std::size_t i = 0; i < Settings.SequencingKey.size(); ++i)
        if (Settings.SequencingKey[i] != 0)
            out += KeyLine(std::to_string(i + 1) + ".:", Settings.SequencingKey[i]);
    out += kRule + "\n <<< Tasten-Sequenzen: >>> \n";
    for (int n = 1; n <= kKeyCount - kFirstSequenceKey + 1; ++n) {
        const std::string& command = KeyCommand[static_cast<std::size_t>(71 + n)];
        if (command.empty() && !all) continue;
        std::string sequence = NumberToSequence(n);
        std::string letters = sequence;
        for (char& c : letters)
            c = c == '1' ? 'K' : 'L';
        PadTo(sequence, 4);
        std::string line = "KeySequ_" + sequence + " (=" + letters + "): ";
        PadTo(line, 22);
        out += line + "\"" + command + "\"\n";
    }
    out += kRule + "\n <<< Belegt durch Makros: >>> \n";
    const std::vector<std::string>& lines = macros_.Lines();
    for (int k = 1; k <= kKeyCount; ++k) {
        if (!HasMacro(k)) continue;
        // The entry is the line after the ON (or WAIT) line: its 0-based index is the 1-based
        // number of the ON line.
        const int line = macros_.KeyMacroLine[static_cast<std::size_t>(k)] - 1;
        std::string number = std::to_string(line + 1) + "+:";
        PadTo(number, 4 + 2);
        const std::string text = static_cast<std::size_t>(line) < lines.size() ? lines[static_cast<std::size_t>(line)] : "";
        out += "Z." + number + text + "\n";
    }
    return out + std::string(50, '=') + "\n";
}

} // namespace kreisel

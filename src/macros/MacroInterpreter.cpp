// Running macros: statements, values, indexed names, waits and the events that resume them.
#include "macros/MacroInterpreter.h"

#include "macros/ControlsByName.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace kreisel {

namespace {

bool StartsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const std::string& s, std::string_view piece) {
    return s.find(piece) != std::string::npos;
}

bool IsOperator(const std::string& s) {
    return s == "+" || s == "-" || s == "*" || s == "/";
}

bool IsMemoXYZ(const std::string& s) {
    return s == "MEMO_X" || s == "MEMO_Y" || s == "MEMO_Z";
}

constexpr std::string_view kEngineWords[] = {"ACTGROUP", "ACTSMPPOS", "MAXSMPPOS", "DORECORD",  "DOPLAY",
                                             "DOPAUSE",  "ACTLOOP",   "RECLOOP",   "RECORDEDLOOP",
                                             "MARKEDLOOP", "MAXLOOP"};

bool IsEngineWord(const std::string& s) {
    return std::find(std::begin(kEngineWords), std::end(kEngineWords), s) != std::end(kEngineWords);
}

int Clamp32(long long v) {
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

// A name with group and loop index after its first "_", as macros write per-loop controls.
struct IndexedName {
    bool indexed = false;
    std::string name;
    std::string prefix;
    char group = 0;
    std::string loopPart;
    bool allGroups = false;
    bool allLoops = false;
};

} // namespace

MacroInterpreter::MacroInterpreter(MacroHost& host, Clock& clock, EventPump& pump, Dialogs& dialogs)
    : host_(host), clock_(clock), pump_(pump), dialogs_(dialogs) {
    ResetMacros(true);
}

// -- Start, stop, pause, reset

bool MacroInterpreter::StartMacros(const std::vector<std::string>& lines) {
    if (lines.size() > static_cast<std::size_t>(kMacroLines)) {
        const std::string text = "Der Makro-Text hat " + std::to_string(lines.size()) +
                                 " Zeilen; Makros können höchstens " + std::to_string(kMacroLines) +
                                 " Zeilen haben. Die Makros werden nicht gestartet!";
        dialogs_.ShowMessage(text);
        RecordError(text, true);
        return false;
    }
    ReadFileSynonyms();
    ResetMacros(false);
    lines_ = lines;
    if (!running_) TogglePause();
    active_ = true;
    SetState();
    ReadMacros();
    if (!active_) return false;
    if (AutoStartLine >= 0) {
        CurrentSlot = SlotAutoStart;
        ProcMacro(AutoStartLine);
    }
    return active_;
}

void MacroInterpreter::StopMacros() {
    CurrentLine = -1;
    if (running_) TogglePause();
    active_ = false;
    SetState();
}

void MacroInterpreter::ResetMacros(bool clearVariables) {
    running_ = true;
    StopMacros();
    AutoStartLine = -1;
    GotoCounter = -1;
    GotoTarget.fill(-1);
    GotoCount.fill(-1);
    MacroLinePos.fill(-1);
    LoopEndMacroLine = MetronomTickMacroLine = AllKeysInitLine = AllKeysFinishLine = -1;
    KeyMacroLine.fill(-1);
    TimedWaitLine.fill(-1);
    TimedWaitDeadline.fill(-1);
    LoopEndWaitLine.fill(-1);
    TickWaitLine.fill(-1);
    KeyWaitLine.fill(-1);
    KeyWaitKey.fill(-1);
    TimedWaitCount = LoopEndWaitCount = TickWaitCount = KeyWaitCount = 0;
    if (clearVariables) {
        MemoX = MemoY = MemoZ = 0;
        Memo.fill(0);
        for (auto& row : MemoArray)
            row.fill(0);
    }
    UpdateWaitingIndicator();
}

void MacroInterpreter::TogglePause() {
    running_ = !running_;
    SetState();
    if (running_ && CurrentLine >= 0) ProcMacro(CurrentLine);
}

void MacroInterpreter::SetState() {
    if (OnState) OnState(active_, running_);
}

void MacroInterpreter::UpdateWaitingIndicator() {
    const bool waiting = TimedWaitCount > 0 || LoopEndWaitCount > 0 || TickWaitCount > 0;
    if (waiting == waitingShown_) return;
    waitingShown_ = waiting;
    host_.ShowWaiting(waiting);
}

void MacroInterpreter::RecordError(const std::string& text, bool shown) {
    errors_.push_back(text);
    if (OnError) OnError(text, shown);
}

// -- Running

std::string MacroInterpreter::LineCode(int line) const {
    if (line < 0 || line >= static_cast<int>(lines_.size())) return {};
    return UpperAscii(CodePart(lines_[static_cast<std::size_t>(line)]));
}

void MacroInterpreter::ReloadGotoCount(int line) {
    const MacroWords w = SplitWords(LineCode(line), Synonyms);
    int count = 1000;
    if (!ReadInteger(w[2], count)) count = 1000;
    GotoCount[static_cast<std::size_t>(line)] = count;
}

bool MacroInterpreter::ProcMacro(int startLine) {
    if (runDepth_ == 0) steps_ = 0;
    ++runDepth_;
    CurrentLine = startLine;
    bool finished = true;
    const int lineCount = static_cast<int>(lines_.size());
    while (CurrentLine >= 0 && CurrentLine < lineCount) {
        if (!running_) {
            finished = false; // paused: the pause button continues here
            break;
        }
        if (++steps_ > kMaxStepsPerRun) {
            const std::string text = "Makro in Zeile " + std::to_string(CurrentLine + 1) + " nach " +
                                     std::to_string(kMaxStepsPerRun) +
                                     " Schritten ohne WAIT abgebrochen!";
            dialogs_.ShowMessage(text);
            RecordError(text, true);
            break;
        }
        const int line = CurrentLine;
        if (OnLine) OnLine(line);
        const std::string code = LineCode(line);
        if (code == "RETURN") break;
        if (IsResolvedGoto(line)) {
            const auto at = static_cast<std::size_t>(line);
            GotoCounter = GotoCount[at];
            if (GotoCounter > 0) {
                GotoCount[at] -= 1;
                CurrentLine = GotoTarget[at];
            } else {
                ReloadGotoCount(line);
                CurrentLine = line + 1;
            }
            continue;
        }
        if (code.empty() || code == "ENDIF" ||
            (Contains(code, ":") && !StartsWith(code, "LOAD_") && !StartsWith(code, "DISPLAY"))) {
            CurrentLine = line + 1;
            continue;
        }
        skipToEndif_ = false;
        if (!ExecLine(lines_[static_cast<std::size_t>(line)])) {
            skipToEndif_ = false;
            break;
        }
        CurrentLine += 1;
        if (CurrentLine >= kMacroLines) break;
        while (skipToEndif_ && CurrentLine < lineCount) {
            if (IsResolvedGoto(CurrentLine)) ReloadGotoCount(CurrentLine);
            CurrentLine += 1;
            if (LineCode(CurrentLine) == "ENDIF") {
                skipToEndif_ = false;
                CurrentLine += 1;
            }
        }
    }
    skipToEndif_ = false;
    --runDepth_;
    // A finished macro leaves nothing for the pause button to continue.
    if (finished && running_) CurrentLine = -1;
    return true;
}

bool MacroInterpreter::ExecLine(const std::string& rawLine) {
    return ExecStatement(CodePart(rawLine), rawLine);
}

bool MacroInterpreter::ExecStatement(const std::string& code, const std::string& rawLine) {
    if (OnStatus) OnStatus(rawLine);
    const MacroWords w = SplitWords(code, Synonyms);
    const std::string& w1 = w[0];

    if (StartsWith(w1, "IF_") || w1 == "SET") {
        MemoArrayIndex = kNoValue;
        bool condition = false;
        bool indexed = false;
        const bool ok = RunIndexed(w, condition);
        // Names that stand for several loops, or for loops that come and go with the active
        // group, fail quietly: a slot without that control is no error of the text.
        for (int i : {1, 2}) {
            const std::string& word = w[static_cast<std::size_t>(i)];
            indexed = indexed || (Contains(word, "_") && (Contains(word, "%") || Contains(word, "@") ||
                                                           Contains(word, "*")));
        }
        if (StartsWith(w1, "IF_")) skipToEndif_ = !condition;
        if (!ok) return Fail(rawLine, indexed);
        return true;
    }
    if (w1 == "ON") return true;
    if (StartsWith(w1, "WAIT")) {
        switch (WaitStatement(w)) {
        case WaitResult::Suspended:
            return false;
        case WaitResult::Waited:
            return active_;
        case WaitResult::Failed:
            break;
        }
        return Fail(rawLine, false);
    }
    if (w1 == "LOAD_LOOPSET") return LoadLoopSet(rawLine, w);
    if (w1 == "DISPLAY") {
        Display(rawLine, w);
        return true;
    }
    return Fail(rawLine, false);
}

bool MacroInterpreter::Fail(const std::string& rawLine, bool indexed) {
    host_.ResetKeyState();
    if (indexed) return true;
    const std::string text = "Fehler in Zeile \"" + rawLine + "\" !";
    const bool stop = host_.StopOnErrors();
    if (stop) dialogs_.ShowMessage(text);
    RecordError(text, stop);
    return !stop;
}

MacroInterpreter::WaitResult MacroInterpreter::WaitStatement(const MacroWords& w) {
    const std::string& w1 = w[0];
    const std::string& w2 = w[1];
    const auto slot = static_cast<std::size_t>(CurrentSlot);
    if (w2 == "LOOPEND" || w2 == "METRONOMTICK") {
        if (!SlotValid()) return WaitResult::Failed;
        auto& table = w2 == "LOOPEND" ? LoopEndWaitLine : TickWaitLine;
        int& count = w2 == "LOOPEND" ? LoopEndWaitCount : TickWaitCount;
        if (table[slot] < 0) count += 1; // a second wait of the slot replaces the first
        table[slot] = CurrentLine + 1;
        UpdateWaitingIndicator();
        return WaitResult::Suspended;
    }
    if (StartsWith(w2, "KEY")) {
        const int k = KeyNameToIndex(w2);
        if (k <= 0 || !SlotValid()) return WaitResult::Failed;
        if (KeyWaitLine[slot] < 0) KeyWaitCount += 1;
        KeyWaitKey[slot] = k;
        KeyWaitLine[slot] = CurrentLine + 1;
        return WaitResult::Suspended;
    }
    const int value = EvaluateValue(w2, w[2], w[3], w[4]);
    if (value == kNoValue) return WaitResult::Failed;
    long long t = value;
    if (StartsWith(w[2], "BEAT")) {
        const int bpm = host_.TempoBPM();
        if (bpm <= 0) return WaitResult::Failed;
        t = t * 60000 / bpm;
    } else if (StartsWith(w[2], "SEC")) {
        t *= 1000;
    }
    const std::int64_t deadline = clock_.TickCount() + t;
    if (w1 == "WAITINLOOP") {
        // The audio and the other macros go on while this one waits in place.
        steps_ = 0;
        while (active_ && clock_.TickCount() < deadline) {
            const std::int64_t left = deadline - clock_.TickCount();
            pump_.WaitForEvents(static_cast<int>(std::min<std::int64_t>(left, 20)));
        }
        return WaitResult::Waited;
    }
    if (!SlotValid()) return WaitResult::Failed;
    if (TimedWaitLine[slot] < 0) TimedWaitCount += 1;
    TimedWaitDeadline[slot] = deadline;
    TimedWaitLine[slot] = CurrentLine + 1;
    UpdateWaitingIndicator();
    return WaitResult::Suspended;
}

bool MacroInterpreter::LoadLoopSet(const std::string& rawLine, const MacroWords& w) {
    // The file name as written in the line: file names on this system keep their case.
    std::string name = GetField(CodePart(rawLine), 2, " ");
    if (name.empty()) name = w[1];
    if (name.find('.') == std::string::npos) name += ".lps";
    const std::string file = host_.ResolveFile(name);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        Question q;
        q.caption = "Meldung";
        q.text = "\"" + rawLine + "\":\r\nDatei \"" + name + "\" nicht gefunden! Ignorieren? ";
        q.buttons = DialogButtons::OkCancel;
        q.defaultResult = DialogResult::Ok;
        q.timeoutMs = 3000;
        RecordError(q.text, true);
        return dialogs_.Ask(q) != DialogResult::Cancel;
    }
    if (!host_.ResetAll()) return true;
    if (active_) StopMacros();
    ResetMacros(true);
    host_.LoadSession(file);
    host_.ResetKeyState();
    CurrentLine = 999999;
    return true;
}

void MacroInterpreter::Display(const std::string& rawLine, const MacroWords& w) {
    std::string text;
    for (int i = 1; i < 6; ++i) {
        const std::string& word = w[static_cast<std::size_t>(i)];
        const int v = EvaluateValue(word, "", "", "");
        if (i > 1) text += ' ';
        text += v != kNoValue ? std::to_string(v) : GetField(rawLine, i + 1, " ");
    }
    if (const std::size_t hash = text.find('#'); hash != std::string::npos) text.erase(hash);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    host_.ShowStatus(text);
}

// -- SET and IF_ over indexed names

namespace {

IndexedName Expand(const std::string& word, MacroHost& host, const MacroInterpreter& m) {
    IndexedName n;
    n.name = word;
    const std::size_t p = word.find('_');
    if (p == std::string::npos || Contains(word, "KEY_") || IsMemoXYZ(word) || StartsWith(word, "MEMO_") ||
        StartsWith(word, "MEMOARRAY_"))
        return n;
    n.indexed = true;
    std::string s = word;
    if (p + 1 == s.size())
        s += "@*";
    else if (p + 2 == s.size())
        s += "*";
    if (const std::size_t at = s.find("@@"); at != std::string::npos) {
        s = s.substr(0, at) + UpperAscii(host.MarkedLoopName());
    } else {
        if (p + 2 <= s.size()) {
            const std::string after = s.substr(p + 2);
            if (IsMemoXYZ(after)) s = s.substr(0, p + 2) + std::to_string(m.GetMemoVariable(after));
        }
        if (const std::size_t at = s.find('@'); at != std::string::npos) {
            const int group = std::max(0, host.ActiveGroupIdx());
            s[at] = static_cast<char>('A' + group);
            if (at + 1 == s.size()) s += '*';
        }
    }
    n.prefix = s.substr(0, p + 1);
    n.group = p + 1 < s.size() ? s[p + 1] : 0;
    n.allGroups = n.group == '%';
    if (n.allGroups && p + 2 == s.size()) s += '*';
    n.loopPart = p + 2 <= s.size() ? s.substr(p + 2) : std::string();
    n.allLoops = n.loopPart == "*";
    n.name = s;
    return n;
}

} // namespace

bool MacroInterpreter::RunIndexed(const MacroWords& w, bool& condition) {
    const IndexedName a = Expand(w[1], host_, *this);
    const IndexedName b = Expand(w[2], host_, *this);
    MacroWords words = w;
    words[1] = a.name;
    words[2] = b.name;
    const bool iterate = (a.indexed && (a.allGroups || a.allLoops)) || (b.indexed && (b.allGroups || b.allLoops));
    if (!iterate) {
        const bool ok = DoCommand(words);
        condition = ok && condition_;
        return ok;
    }
    const bool allGroups = a.allGroups || b.allGroups;
    const bool allLoops = a.allLoops || b.allLoops;
    const int loops = host_.LoopCount();
    bool any = false;
    condition = true;
    for (int i = 1; i <= host_.MaxLoopCount(); ++i) {
        const std::string slot = i <= loops ? UpperAscii(host_.LoopName(i)) : std::to_string(i);
        if (!allGroups && !((a.indexed && slot[0] == a.group) || (b.indexed && slot[0] == b.group))) continue;
        if (!allLoops && !(i <= loops && ((a.indexed && slot.substr(1) == a.loopPart) ||
                                          (b.indexed && slot.substr(1) == b.loopPart))))
            continue;
        MemoArrayIndex = i;
        auto rebuild = [&slot](const IndexedName& n) {
            if (!n.indexed) return n.name;
            if (n.allGroups && n.allLoops) return n.prefix + slot;
            if (n.allGroups) return n.prefix + slot[0] + n.loopPart;
            if (n.allLoops) return n.prefix + n.group + slot.substr(1);
            return n.name;
        };
        words[1] = rebuild(a);
        words[2] = rebuild(b);
        any = true;
        if (!DoCommand(words)) {
            condition = false;
            return false; // the rest of the iteration is dropped
        }
        condition = condition && condition_;
    }
    if (!any) condition = false;
    return true;
}

bool MacroInterpreter::DoCommand(const MacroWords& w) {
    const std::string& command = w[0];
    const std::string& target = w[1];
    const std::string& value = w[2];
    condition_ = false;
    int v = kNoValue;
    const bool relative = value == "MIN" || value == "MAX" || value == "NOW" || value == "ZERO" || IsOperator(value);
    if (relative)
        v = EvaluateValue(target, value, w[3], w[4]);
    else if (value.empty())
        v = Contains(target, "KEY_") ? host_.LastKey().Code : -1;
    else
        v = EvaluateValue(value, w[3], w[4], w[5]);
    if (v == kNoValue) return false;

    if (StartsWith(command, "IF_")) {
        if (value.empty()) v = Contains(target, "KEY_") ? host_.LastKey().Code : 1;
        const int t = EvaluateValue(target, "", "", "");
        if (command == "IF_EQUAL") condition_ = t == v;
        else if (command == "IF_NOT") condition_ = t != v;
        else if (command == "IF_HIGHER") condition_ = t > v;
        else if (command == "IF_LOWER") condition_ = t < v;
        else if (command == "IF_MINIMAL") condition_ = t >= v;
        else if (command == "IF_MAXIMAL") condition_ = t <= v;
        else return false;
        return t != kNoValue;
    }
    if (command == "SET") return DoSet(target, v, value == "INV" || value.empty());
    return false;
}

bool MacroInterpreter::DoSet(const std::string& name, int v, bool invert) {
    if (OnDebug) OnDebug("#DoSet: " + name + " " + std::to_string(v));
    if (name == "ACTGROUP" || name == "ACTLOOP" || name == "RECLOOP" || name == "MAXLOOP" || name == "ACTSMPPOS") {
        host_.SetEngineValue(name, v);
        return true;
    }
    if (StartsWith(name, "MEMO")) return SetMemoVariable(name, v);
    Control* control = host_.FindControlByName(name);
    if (control == nullptr) return false;
    MacroSetControl(*control, v, invert);
    return true;
}

int MacroInterpreter::EvaluateValue(const std::string& token, std::string a, std::string b, std::string c) {
    if (token.empty()) return kNoValue;
    long long value = kNoValue;
    bool shifted = false;
    if (token == "ON") value = 1;
    else if (token == "OFF") value = 0;
    else if (token == "INV") value = -1;
    else if (StartsWith(token, "KEYASC")) value = host_.LastKey().Code;
    else if (StartsWith(token, "KEYSHIFT")) value = host_.LastKey().Shift ? 1 : 0;
    else if (StartsWith(token, "KEYCTRL")) value = host_.LastKey().Ctrl ? 1 : 0;
    else if (StartsWith(token, "KEYALT")) value = host_.LastKey().Alt ? 1 : 0;
    else if (token == "GOTOCOUNTER") value = GotoCounter;
    else if (IsEngineWord(token)) value = host_.EngineValue(token).value_or(kNoValue);
    else if (token == "RANDOM") {
        const int n = EvaluateValue(a, "", "", "");
        if (n == kNoValue || n <= 0) return kNoValue;
        value = std::uniform_int_distribution<int>(0, n - 1)(random_);
        a = b;
        b = c;
        c.clear();
        shifted = true;
    } else {
        int literal = 0;
        if (ReadInteger(token, literal)) value = literal;
    }
    if (value == kNoValue && Contains(token, "KEY")) {
        const int k = KeyNameToIndex(token);
        if (k > 0) {
            const int code = IndexToVirtualKey(k);
            if (code > 0) value = code;
        }
    }
    if (value == kNoValue) value = GetMemoVariable(token);
    if (value == kNoValue && !shifted) {
        const Control* control = host_.FindControlByName(token);
        if (control == nullptr) return kNoValue;
        if (IsOperator(a)) {
            c = b;
            b = a;
            a = "NOW";
        }
        if (a.empty() || a == "NOW") value = MacroControlValue(*control, PropValue);
        else if (a == "MIN") value = MacroControlValue(*control, PropMin);
        else if (a == "MAX") value = MacroControlValue(*control, PropMax);
        else if (a == "ZERO") value = 0;
        else return kNoValue;
        a = b;
        b = c;
    }
    if (value != kNoValue && !a.empty() && !b.empty()) {
        int operand = 0;
        if (!ReadInteger(b, operand)) operand = EvaluateValue(b, "", "", "");
        if (operand == kNoValue) return kNoValue;
        const std::optional<int> r = ApplyOperator(static_cast<int>(value), a, operand);
        if (!r) return kNoValue;
        value = *r;
    }
    return Clamp32(value);
}

std::optional<int> MacroInterpreter::ApplyOperator(int x, const std::string& op, int y) {
    const long long a = x;
    const long long b = y;
    if (op == "+") return Clamp32(a + b);
    if (op == "-") return Clamp32(a - b);
    if (op == "*") return Clamp32(a * b);
    if (op == "/") {
        if (b == 0) return std::nullopt;
        // Nearest integer, halves to the even one.
        return Clamp32(static_cast<long long>(std::nearbyint(static_cast<double>(a) / static_cast<double>(b))));
    }
    return std::nullopt;
}

int MacroInterpreter::GetMemoVariable(const std::string& name) const {
    if (!StartsWith(name, "MEMO")) return kNoValue;
    if (name == "MEMO_X") return MemoX;
    if (name == "MEMO_Y") return MemoY;
    if (name == "MEMO_Z") return MemoZ;
    int n = 0;
    if (StartsWith(name, "MEMOARRAY_")) {
        if (!ReadInteger(name.substr(10, 3), n) || n < 0 || n > 100) return kNoValue;
        if (MemoArrayIndex < 0 || MemoArrayIndex > 32) return kNoValue;
        return MemoArray[static_cast<std::size_t>(n)][static_cast<std::size_t>(MemoArrayIndex)];
    }
    if (StartsWith(name, "MEMO_")) {
        if (!ReadInteger(name.substr(5, 3), n) || n < 0 || n > 100) return kNoValue;
        return Memo[static_cast<std::size_t>(n)];
    }
    return kNoValue;
}

bool MacroInterpreter::SetMemoVariable(const std::string& name, int v) {
    if (!StartsWith(name, "MEMO")) return false;
    int n = 0;
    if (name == "MEMO_X") MemoX = v;
    else if (name == "MEMO_Y") MemoY = v;
    else if (name == "MEMO_Z") MemoZ = v;
    else if (StartsWith(name, "MEMOARRAY_")) {
        if (ReadInteger(name.substr(10, 3), n) && n >= 0 && n <= 100 && MemoArrayIndex >= 0 && MemoArrayIndex <= 32)
            MemoArray[static_cast<std::size_t>(n)][static_cast<std::size_t>(MemoArrayIndex)] = v;
    } else if (StartsWith(name, "MEMO_")) {
        if (ReadInteger(name.substr(5, 3), n) && n >= 0 && n <= 100) Memo[static_cast<std::size_t>(n)] = v;
    }
    return true;
}

// -- Events

bool MacroInterpreter::ContinueWaitingMacros() {
    if (!running_) return false;
    UpdateWaitingIndicator();
    if (TimedWaitCount <= 0) return false;
    bool ran = false;
    for (int slot = 1; slot <= kWaitSlots; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        if (TimedWaitLine[s] < 0 || TimedWaitDeadline[s] >= clock_.TickCount()) continue;
        const int line = TimedWaitLine[s];
        TimedWaitLine[s] = -1;
        TimedWaitDeadline[s] = -1;
        TimedWaitCount -= 1;
        CurrentSlot = slot;
        ProcMacro(line);
        ran = true;
        if (!running_) break;
    }
    UpdateWaitingIndicator();
    return ran;
}

namespace {

template <typename Table>
bool ResumeWaiting(MacroInterpreter& m, int entryLine, int entrySlot, Table& table, int& count) {
    bool ran = false;
    if (entryLine >= 0) {
        m.CurrentSlot = entrySlot;
        m.ProcMacro(entryLine);
        ran = true;
    }
    if (count <= 0) return ran;
    for (int slot = 1; slot <= kWaitSlots && m.MacrosRunning(); ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        if (table[s] < 0) continue;
        const int line = table[s];
        table[s] = -1;
        count -= 1;
        m.CurrentSlot = slot;
        m.ProcMacro(line);
        ran = true;
    }
    return ran;
}

} // namespace

bool MacroInterpreter::ContinueWaitingMacrosForLoopend() {
    if (!running_) return false;
    const bool ran = ResumeWaiting(*this, LoopEndMacroLine, SlotLoopEnd, LoopEndWaitLine, LoopEndWaitCount);
    UpdateWaitingIndicator();
    return ran;
}

bool MacroInterpreter::ContinueWaitingMacrosForMetronomTick() {
    if (!running_) return false;
    const bool ran = ResumeWaiting(*this, MetronomTickMacroLine, SlotMetronomTick, TickWaitLine, TickWaitCount);
    UpdateWaitingIndicator();
    return ran;
}

bool MacroInterpreter::ContinueWaitingMacrosForKey(int keyIndex) {
    if (!running_ || KeyWaitCount <= 0) return false;
    bool ran = false;
    for (int slot = 1; slot <= kWaitSlots && running_; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        if (KeyWaitKey[s] != keyIndex || KeyWaitLine[s] < 0) continue;
        const int line = KeyWaitLine[s];
        KeyWaitLine[s] = -1;
        KeyWaitKey[s] = -1;
        KeyWaitCount -= 1;
        CurrentSlot = slot;
        ProcMacro(line);
        ran = true;
    }
    return ran;
}

bool MacroInterpreter::DispatchKey(int keyIndex) {
    if (!running_ || keyIndex < 1 || keyIndex > kKeyCount) return false;
    if (ContinueWaitingMacrosForKey(keyIndex)) return true;
    if (AllKeysInitLine >= 0) {
        CurrentSlot = SlotAllKeysInit;
        ProcMacro(AllKeysInitLine);
    }
    const int line = KeyMacroLine[static_cast<std::size_t>(keyIndex)];
    bool result = false;
    if (line >= 0 && running_) {
        CurrentSlot = keyIndex;
        result = ProcMacro(line);
    }
    if (AllKeysFinishLine >= 0 && running_) {
        CurrentSlot = SlotAllKeysFinish;
        ProcMacro(AllKeysFinishLine);
    }
    return line >= 0 && result;
}

} // namespace kreisel

// ReadMacros: one pass over the macro text that checks each statement, resolves the jump labels
// and records the entry lines of the events and the start-up section.
#include "macros/MacroInterpreter.h"

#include <filesystem>

namespace kreisel {

namespace {

bool StartsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool IsIfKeyword(const std::string& w) {
    return w == "IF_EQUAL" || w == "IF_NOT" || w == "IF_HIGHER" || w == "IF_LOWER" || w == "IF_MINIMAL" ||
           w == "IF_MAXIMAL";
}

} // namespace

bool MacroInterpreter::ParseMessage(const std::string& rawLine, const std::string& text) {
    Question q;
    q.caption = "Meldung";
    q.text = "\"" + rawLine + "\":\r\n" + text;
    q.buttons = DialogButtons::OkCancel;
    q.defaultResult = DialogResult::Ok;
    q.timeoutMs = 5000;
    RecordError(q.text, true);
    if (dialogs_.Ask(q) != DialogResult::Cancel) return true;
    StopMacros();
    return false;
}

void MacroInterpreter::ReadMacros() {
    bool outside = true;
    AutoStartLine = -1;
    int position = 0;
    const int lineCount = static_cast<int>(lines_.size());
    for (int i = 0; i < lineCount && active_; ++i) {
        const std::string& raw = lines_[static_cast<std::size_t>(i)];
        if (OnLine) OnLine(i);
        MacroLinePos[static_cast<std::size_t>(i)] = position;
        position += static_cast<int>(raw.size()) + 2;
        const std::string code = CodePart(raw);
        if (code.empty()) continue;
        const MacroWords w = SplitWords(code, Synonyms);
        const std::string& w1 = w[0];
        const std::string& w2 = w[1];
        bool go = true;

        if (w1 == "SET") {
            std::string check = "IF_EQUAL " + w2 + " " + (w[2].empty() ? w2 : w[2]);
            for (int k = 3; k < 6; ++k)
                check += " " + w[static_cast<std::size_t>(k)];
            const int keep = CurrentLine;
            CurrentLine = i;
            ExecStatement(check, raw);
            CurrentLine = keep;
            skipToEndif_ = false;
        } else if (StartsWith(w1, "IF")) {
            if (!IsIfKeyword(w1)) go = ParseMessage(raw, "Falsches Schlüsselwort \"" + w1 + "\" ! (wird ignoriert)");
        } else if (w1 == "ENDIF" || w1 == "RETURN" || w1.find(':') != std::string::npos || w1 == "DISPLAY") {
            // accepted as they stand
        } else if (w1 == "GOTO") {
            const std::string label = w2.find(':') == std::string::npos ? w2 + ":" : w2;
            int found = -1;
            for (int j = i - 1; j >= 0 && found < 0; --j)
                if (UpperAscii(GetField(CodePart(lines_[static_cast<std::size_t>(j)]), 1, " ")) == label) found = j;
            for (int j = i + 1; j < lineCount && found < 0; ++j)
                if (UpperAscii(GetField(CodePart(lines_[static_cast<std::size_t>(j)]), 1, " ")) == label) found = j;
            int count = 0;
            const bool countOk = ReadInteger(w[2], count);
            if (found < 0) go = ParseMessage(raw, "Sprungmarke \"" + label + "\" nicht gefunden! (wird ignoriert)");
            if (go && !countOk) {
                Question q;
                q.caption = "Meldung";
                q.text = "\"" + raw + "\":\r\nGoto-Maximal-Zähler \"" + w[2] + "\" nicht gültig! (Abbruch)";
                q.buttons = DialogButtons::Ok;
                q.defaultResult = DialogResult::Ok;
                RecordError(q.text, true);
                dialogs_.Ask(q);
                StopMacros();
                go = false;
            } else if (found >= 0 && countOk) {
                GotoTarget[static_cast<std::size_t>(i)] = found + 1;
                GotoCount[static_cast<std::size_t>(i)] = count;
            }
        } else if (w1 == "ON") {
            int* entry = nullptr;
            if (w2 == "LOOPEND") entry = &LoopEndMacroLine;
            else if (w2 == "METRONOMTICK") entry = &MetronomTickMacroLine;
            else if (w2 == "ALLKEYS_INIT") entry = &AllKeysInitLine;
            else if (w2 == "ALLKEYS_FINISH") entry = &AllKeysFinishLine;
            else if (StartsWith(w2, "KEY")) {
                const int k = KeyNameToIndex(w2);
                if (k > 0)
                    entry = &KeyMacroLine[static_cast<std::size_t>(k)];
                else
                    go = ParseMessage(raw, "Ungültiger Tastenname \"" + w2 + "\" ! (wird ignoriert)");
            }
            if (entry != nullptr) *entry = i + 1;
        } else if (StartsWith(w1, "WAIT")) {
            if (StartsWith(w2, "KEY")) {
                const int k = KeyNameToIndex(w2);
                if (k > 0)
                    KeyMacroLine[static_cast<std::size_t>(k)] = i + 1;
                else
                    go = ParseMessage(raw, "Ungültiger Tastenname \"" + w2 + "\" ! (wird ignoriert)");
            }
        } else if (w1 == "LOAD_LOOPSET") {
            std::string name = GetField(code, 2, " ");
            if (name.find('.') == std::string::npos) name += ".lps";
            std::error_code ec;
            if (!std::filesystem::exists(host_.ResolveFile(name), ec))
                go = ParseMessage(raw, "Datei \"" + name + "\" nicht gefunden! (wird ignoriert)");
        } else {
            go = ParseMessage(raw, "Falsches Schlüsselwort \"" + w1 + "\" ! (wird ignoriert)");
        }
        if (!go) break;

        // The start-up section: the last stretch of statements after a RETURN (or the text's
        // start) that no ON, ENDIF, RETURN or label follows.
        if (w1 == "ON" || w1 == "ENDIF" || w1 == "RETURN" || w1.find(':') != std::string::npos) {
            outside = false;
            AutoStartLine = -1;
        }
        if (AutoStartLine < 0 && outside) AutoStartLine = i;
        if (w1 == "RETURN") outside = true;
    }
    CurrentLine = -1;
}

} // namespace kreisel

// The macro language: ReadMacros compiles the text into per-line tables and entry lines, and
// the interpreter runs it statement by statement on the core thread. Macros act on the looper
// only through names: engine values the host reads and writes, their own variables, and
// controls they set or click exactly as a user would.
#pragma once

#include "core/Control.h"
#include "core/HostServices.h"
#include "macros/MacroText.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kreisel {

// The state of the last key press, for KEYASC, KEYSHIFT, KEYCTRL and KEYALT.
struct LastKeyState {
    int Code = 0;
    bool Shift = false;
    bool Ctrl = false;
    bool Alt = false;
};

// What the interpreter needs of the rest of the looper. Setting an engine value goes through the
// same operations as the buttons do.
class MacroHost {
  public:
    virtual ~MacroHost() = default;
    virtual Control* FindControlByName(std::string_view name) = 0;
    // ACTGROUP, ACTSMPPOS, MAXSMPPOS, DORECORD, DOPLAY, DOPAUSE, ACTLOOP, RECLOOP, RECORDEDLOOP,
    // MARKEDLOOP, MAXLOOP; nullopt for any other word.
    virtual std::optional<int> EngineValue(std::string_view word) = 0;
    // ACTGROUP, ACTLOOP, RECLOOP, MAXLOOP, ACTSMPPOS; false for any other word.
    virtual bool SetEngineValue(std::string_view word, int v) = 0;
    virtual int MaxLoopCount() = 0;     // slots an indexed name runs over
    virtual int LoopCount() = 0;        // highest loop number in use
    virtual std::string LoopName(int slot) = 0; // "B2"
    virtual std::string MarkedLoopName() = 0;
    virtual int ActiveGroupIdx() = 0;
    virtual int TempoBPM() = 0;
    // A relative file name of LOAD_LOOPSET is taken from the data folder.
    virtual std::string ResolveFile(const std::string& name) = 0;
    // Resets everything as the reset-all button does; false when the user refused.
    virtual bool ResetAll() = 0;
    virtual void LoadSession(const std::string& file) = 0;
    virtual void ShowStatus(const std::string& text) = 0; // DISPLAY
    virtual void ShowWaiting(bool waiting) = 0;           // the main window's macro indicator
    virtual void ResetKeyState() = 0;
    virtual bool StopOnErrors() = 0; // "bei Fehlern abbrechen"
    virtual LastKeyState LastKey() = 0;
};

// Slots of the running macro: 1..101 keys, then the event macros.
// Every slot has its own wait entries, so a WAIT works in the event macros and in the start-up
// section too.
enum MacroSlot : int {
    SlotLoopEnd = 102,
    SlotMetronomTick = 103,
    SlotAllKeysInit = 104,
    SlotAllKeysFinish = 105,
    SlotAutoStart = 106
};
constexpr int kWaitSlots = 106;

class MacroInterpreter {
  public:
    // A macro that runs this many statements without a WAIT is stopped: GOTO counts are
    // unbounded integers, and the core thread must come back to the audio.
    static constexpr int kMaxStepsPerRun = 100000;

    MacroInterpreter(MacroHost& host, Clock& clock, EventPump& pump, Dialogs& dialogs);

    // -- Start, stop, pause, reset
    // Parses `lines` (the editor's text) and runs the start-up section. A text beyond the
    // tables' 501 lines is refused as a whole. False when the macros did not start.
    bool StartMacros(const std::vector<std::string>& lines);
    void StopMacros();
    void ResetMacros(bool clearVariables);
    void TogglePause();
    bool MacrosActive() const { return active_; }
    bool MacrosRunning() const { return running_; }

    SynonymList Synonyms;
    std::filesystem::path SynonymFile;
    void ReadFileSynonyms() { Synonyms.Load(SynonymFile); }

    // -- Execution
    bool ProcMacro(int startLine);
    // One statement; true: go on with the next line, false: this macro stops.
    bool ExecLine(const std::string& rawLine);
    bool DoCommand(const MacroWords& w);
    bool LastCondition() const { return condition_; }
    bool DoSet(const std::string& name, int v, bool invert);
    int EvaluateValue(const std::string& token, std::string a, std::string b, std::string c);
    std::optional<int> ApplyOperator(int x, const std::string& op, int y);
    int GetMemoVariable(const std::string& name) const;
    bool SetMemoVariable(const std::string& name, int v);

    // -- Events. Each returns whether a macro ran.
    bool ContinueWaitingMacros();
    bool ContinueWaitingMacrosForLoopend();
    bool ContinueWaitingMacrosForMetronomTick();
    bool ContinueWaitingMacrosForKey(int keyIndex);
    // A key that reached the macros: waiting macros first, then the all-keys macros around the
    // key's own macro. True when a macro took it.
    bool DispatchKey(int keyIndex);

    // -- Tables, for the window and tests
    int CurrentLine = -1;
    int CurrentSlot = 0;
    int GotoCounter = -1;
    int AutoStartLine = -1;
    int LoopEndMacroLine = -1;
    int MetronomTickMacroLine = -1;
    int AllKeysInitLine = -1;
    int AllKeysFinishLine = -1;
    std::array<int, kMacroLines> MacroLinePos{};
    std::array<int, kMacroLines> GotoTarget{};
    std::array<int, kMacroLines> GotoCount{};
    std::array<int, kKeyCount + 1> KeyMacroLine{};
    std::array<int, kWaitSlots + 1> TimedWaitLine{};
    std::array<std::int64_t, kWaitSlots + 1> TimedWaitDeadline{};
    std::array<int, kWaitSlots + 1> LoopEndWaitLine{};
    std::array<int, kWaitSlots + 1> TickWaitLine{};
    std::array<int, kWaitSlots + 1> KeyWaitLine{};
    std::array<int, kWaitSlots + 1> KeyWaitKey{};
    int TimedWaitCount = 0, LoopEndWaitCount = 0, TickWaitCount = 0, KeyWaitCount = 0;
    int MemoX = 0, MemoY = 0, MemoZ = 0;
    std::array<int, 101> Memo{};
    std::array<std::array<int, 33>, 101> MemoArray{};
    int MemoArrayIndex = kNoValue;

    const std::vector<std::string>& Lines() const { return lines_; }
    // Every message the parser or a failed statement produced since the start, in order.
    const std::vector<std::string>& Errors() const { return errors_; }
    void SeedRandom(unsigned seed) { random_.seed(seed); }

    // -- Window hooks
    std::function<void(int line)> OnLine;                   // the line being parsed or run
    std::function<void(const std::string&)> OnStatus;       // the raw line of each statement
    std::function<void(const std::string&)> OnDebug;        // "#DoSet: NAME v"
    std::function<void(bool active, bool running)> OnState; // buttons, editor, indicator
    // Every parser message and failed statement, and whether a dialog showed it.
    std::function<void(const std::string& text, bool shown)> OnError;

  private:
    void ReadMacros();
    // A parse message; false when the user chose Cancel (the macros are stopped then).
    bool ParseMessage(const std::string& rawLine, const std::string& text);
    bool Fail(const std::string& rawLine, bool indexed);
    enum class WaitResult { Suspended, Waited, Failed };
    WaitResult WaitStatement(const MacroWords& w);
    bool LoadLoopSet(const std::string& rawLine, const MacroWords& w);
    void Display(const std::string& rawLine, const MacroWords& w);
    bool RunIndexed(const MacroWords& w, bool& condition);
    std::string LineCode(int line) const;
    bool IsResolvedGoto(int line) const { return line >= 0 && line < kMacroLines && GotoTarget[static_cast<std::size_t>(line)] >= 0; }
    void ReloadGotoCount(int line);
    void SetState();
    void UpdateWaitingIndicator();
    bool SlotValid() const { return CurrentSlot >= 1 && CurrentSlot <= kWaitSlots; }
    bool ExecStatement(const std::string& code, const std::string& rawLine);
    void RecordError(const std::string& text, bool shown);

    MacroHost& host_;
    Clock& clock_;
    EventPump& pump_;
    Dialogs& dialogs_;
    std::vector<std::string> lines_;
    std::vector<std::string> errors_;
    bool active_ = false;
    bool running_ = false;
    bool skipToEndif_ = false;
    bool condition_ = false;
    bool waitingShown_ = false;
    int steps_ = 0;
    int runDepth_ = 0;
    std::minstd_rand random_{12345};
};

} // namespace kreisel

// Macro text with a synonym file: the input is cut at "\n@@@\n" into the macros and the
// synonyms. The words of every line are split, the text is parsed and its start-up section
// run on the whole core (with the clock moving as the macros wait), then the key, loop-end and
// metronome events are sent once each.
#include "FuzzRig.h"
#include "macros/MacroText.h"

using namespace kreisel;

KREISEL_FUZZ_TARGET(macro_text) {
    fuzz::FuzzRig& rig = fuzz::Rig();
    rig.Fresh();
    const std::vector<std::string_view> parts = fuzz::SplitInput(data, size, "\n@@@\n");
    const auto synonyms = rig.folder / "Kreisel.syn";
    fuzz::WriteFile(synonyms, parts.size() > 1 ? parts[1] : std::string_view());
    const auto macros = rig.folder / "Fuzz.mak";
    fuzz::WriteFile(macros, parts[0]);

    MacroInterpreter& m = rig.core->Interpreter();
    m.SynonymFile = synonyms;
    m.ReadFileSynonyms();
    std::vector<std::string> lines;
    if (!ReadTextLines(macros, lines)) return 0;
    for (const std::string& line : lines) {
        const std::string code = CodePart(line);
        SplitWords(code, m.Synonyms);
        for (int n = 1; n <= 3; ++n)
            KeyNameToIndex(GetField(code, n, " "));
    }
    if (m.StartMacros(lines)) {
        rig.clock.Advance(50);
        for (int k = 1; k <= kKeyCount && m.MacrosActive(); k += 7)
            m.DispatchKey(k);
        m.ContinueWaitingMacrosForLoopend();
        m.ContinueWaitingMacrosForMetronomTick();
        rig.clock.Advance(2000);
    }
    m.StopMacros();
    rig.core->T().ResetAll();
    return 0;
}

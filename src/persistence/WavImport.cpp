// Import of audio files as loops.
#include "persistence/WavImport.h"

#include "persistence/WavFile.h"

#include <algorithm>

namespace kreisel {

WavImport::WavImport(Engine& engine, MainControls& controls, Transport& transport, Dialogs& dialogs)
    : e_(engine), c_(controls), transport_(transport), dialogs_(dialogs) {}

int WavImport::LastSlot() const {
    return std::min({c_.SEFixMaxLoopNr.Value(), e_.MaxLoopCount, LoopSlotCapacity});
}

int WavImport::ImportLoops(const std::vector<std::string>& paths) {
    Engine& e = e_;
    if (e.Recording || e.Playing || e.Paused) transport_.ButtonStopClick();
    std::vector<std::string> problems;
    int imported = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        const int n = e.LoopCount + 1;
        if (n > LastSlot()) {
            std::string text = "Maximalzahl der Loops erreicht !! Nicht importiert:";
            for (size_t j = i; j < paths.size(); ++j)
                text += "\n\"" + paths[j] + "\"";
            problems.push_back(std::move(text));
            break;
        }
        LoopSlot& slot = e.Slots[static_cast<size_t>(n)];
        c_.LabelStatus.SetText("Moment bitte - Datei \"" + path + "\" wird geladen ...");
        if (slot.Buffer.Capacity() == 0) {
            problems.push_back("Datei \"" + path + "\": kein Speicher für Loop " + std::to_string(n) +
                               ". Nicht importiert.");
            continue;
        }
        const AudioFileRead read = ReadAudioFile(path, e.InputMode, e.SampleRate, slot.Buffer);
        if (read.status != AudioFileRead::Status::Loaded) {
            slot.Buffer.Release();
            problems.push_back(read.message + " Nicht importiert.");
            continue;
        }
        if (read.cut) problems.push_back(read.message);

        // The loop joins the active group; with no group yet, or a new one asked for, the
        // group is opened as a recording would open it.
        if (e.LastGroupIdx < 0 || e.ToGroupIdx > e.LastGroupIdx || e.ActGroupIdx > e.LastGroupIdx)
            transport_.OpenNewGroup();
        if (e.ActGroupIdx < 0) e.ActGroupIdx = 0;
        e.ToGroupIdx = e.ActGroupIdx;
        transport_.SetRecLoopNr(n);
        const int group = slot.LoopGroup;
        slot.LoopLenBytes = static_cast<int32_t>(read.bytes);
        if (group >= 0)
            e.GroupFixMaxLoopNr(group) = std::max(e.GroupFixMaxLoopNr(group), transport_.CountLoops(group));
        e.PlayLoopEnd = e.GroupLength(e.ActGroupIdx);
        transport_.WriteLoopLine(n);
        slot.LoopLastBlock = slot.LoopLenBytes / std::max(e.BlockStoredValues(), 1) / 2 - 1;
        if (DrawLoopGraph) DrawLoopGraph(n);
        slot.Buffer.Seek(0);
        if (e.ActGroupIdx != e.LastGroupIdx && ArrangeRowsByGroup) ArrangeRowsByGroup();
        if (e.LastGroupIdx == 0) e.GroupFirstLoop(0) = 1;
        ++imported;
    }
    c_.LabelStatus.SetText("");
    // Imported loops are in no session yet: the reset asks before it discards them.
    if (imported > 0) transport_.UnsavedRecordings = true;
    transport_.RecomputeMemorySum();
    e.AnyChange_LowerOutput();
    transport_.UpdateControls();
    ShowProblems(dialogs_, problems);
    return imported;
}

} // namespace kreisel

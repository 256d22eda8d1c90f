// Loop numbers, names, groups and marks; the loop list and the loop memory budget.
#include "core/Text.h"
#include "transport/Metronome.h"
#include "transport/TimedStart.h"
#include "transport/Transport.h"

#include <algorithm>
#include <string>

namespace kreisel {

namespace {
std::string Letter(int group) {
    return std::string(1, static_cast<char>('A' + std::max(group, 0)));
}
} // namespace

int Transport::CountLoops(int group) const {
    int n = 0;
    for (int m = 1; m <= LoopSlotCapacity; ++m)
        if (engine_.Slots[static_cast<size_t>(m)].LoopGroup == group) ++n;
    return n;
}

std::string Transport::LoopName(int loop) const {
    const Engine& e = engine_;
    if (!ValidLoop(loop)) return "A1";
    const int group = e.Slots[static_cast<size_t>(loop)].LoopGroup;
    if (group < 0) {
        if (e.LastGroupIdx >= 0 && e.ToGroupIdx > e.LastGroupIdx) return Letter(e.LastGroupIdx + 1) + "1";
        return Letter(e.ToGroupIdx) + std::to_string(CountLoops(e.ToGroupIdx) + 1);
    }
    int place = 1;
    for (int m = 1; m < loop; ++m)
        if (e.Slots[static_cast<size_t>(m)].LoopGroup == group) ++place;
    return Letter(group) + std::to_string(place);
}

int Transport::PlaceInName(int loop) const {
    const std::string name = LoopName(loop);
    return std::stoi(name.substr(1));
}

bool Transport::GroupHasOnlyRecLoop() const {
    const Engine& e = engine_;
    if (e.RecLoopNr != e.GroupFirstLoop(e.ActGroupIdx)) return false;
    for (int m = e.RecLoopNr + 1; m <= std::min(e.LoopCount, LoopSlotCapacity); ++m)
        if (GroupOf(m) == e.ActGroupIdx) return false;
    return true;
}

void Transport::SetPlaySwitch(int loop, bool down) {
    if (ValidLoop(loop) && engine_.Rows[static_cast<size_t>(loop)].LoopOn != down) {
        engine_.Rows[static_cast<size_t>(loop)].LoopOn = down;
        // The output lowering counts the sounding loops.
        engine_.AnyChange_LowerOutput();
    }
    Control* c = ValidLoop(loop) ? rows_.Play[static_cast<size_t>(loop)] : nullptr;
    if (c == nullptr) return;
    SuppressActions quiet(*c);
    c->SetDown(down);
    c->SetText(down ? ">>" : "");
}

void Transport::SetMarkSwitch(int loop, bool down) {
    Control* c = ValidLoop(loop) ? rows_.Mark[static_cast<size_t>(loop)] : nullptr;
    if (c == nullptr) return;
    SuppressActions quiet(*c);
    c->SetDown(down);
}

bool Transport::OpenNewGroup() {
    Engine& e = engine_;
    // A new group needs a loop number of its own: with every allowed number in use its first
    // loop would have no buffer.
    if (MaxLoops() <= e.LoopCount || e.LastGroupIdx >= kMaxGroupIdx) return false;
    e.NextToRecLoopNr = e.LoopCount + 1;
    e.LastGroupIdx += 1;
    e.ActGroupIdx = e.LastGroupIdx;
    e.GroupFirstLoop(e.LastGroupIdx) = e.NextToRecLoopNr;
    e.GroupFixMaxLoopNr(e.LastGroupIdx) = LoopsPerGroup();
    SetActGroupIDX(e.LastGroupIdx);
    c_.LabelDisp1.SetText(Letter(e.ActGroupIdx));
    return true;
}

bool Transport::OpenRequestedGroup() {
    Engine& e = engine_;
    if (e.ToGroupIdx <= e.LastGroupIdx || OpenNewGroup()) return true;
    // The request goes with the refused recording.
    if (e.ActGroupIdx > e.LastGroupIdx)
        SetActGroupIDX(e.LastGroupIdx);
    else
        e.ToGroupIdx = e.ActGroupIdx;
    RefuseRecording();
    return false;
}

void Transport::SetRecLoopNr(int loop) {
    Engine& e = engine_;
    if (e.RecLoopNr > 0) WriteLoopLine(e.RecLoopNr);
    e.RecLoopNr = loop;
    if (MaxLoops() > 0 && MaxLoops() < e.RecLoopNr) e.RecLoopNr = e.GroupFirstLoop(e.ActGroupIdx);
    if (e.ToGroupIdx <= e.LastGroupIdx && e.RecLoopNr > e.LoopCount) {
        // A new slot; never beyond the 32 slots (the recording start reports that).
        if (ValidLoop(e.RecLoopNr)) {
            e.LoopCount = e.RecLoopNr;
            LoopSlot& s = e.Slots[static_cast<size_t>(e.RecLoopNr)];
            s.LoopGroup = e.ActGroupIdx;
            if (e.ActGroupIdx != e.LastGroupIdx && rows_.ArrangeRows) rows_.ArrangeRows();
            s.LoopPosInGroup = CountLoops(e.ActGroupIdx);
            const std::string name = LoopName(e.RecLoopNr);
            if (rows_.RenameRow) rows_.RenameRow(e.RecLoopNr, name);
            if (Control* mark = rows_.Mark[static_cast<size_t>(e.RecLoopNr)]) mark->SetText(name);
            SetMarkSwitch(e.RecLoopNr, true);
            if (Control* play = rows_.Play[static_cast<size_t>(e.RecLoopNr)]) play->SetEnabled(true);
            SetPlaySwitch(e.RecLoopNr, true);
        }
    } else if (e.ToGroupIdx > e.LastGroupIdx) {
        OpenNewGroup();
    }
    const int group = GroupOf(e.RecLoopNr);
    if (group >= 0 && group != e.ActGroupIdx) {
        SetActGroupIDX(group);
        if (e.GroupFirstLoop(group) < 1) e.GroupFirstLoop(group) = e.RecLoopNr;
    }
    if (e.RecLoopNr > 0) {
        e.NextToRecLoopNr = e.RecLoopNr + 1;
        while (e.NextToRecLoopNr <= e.LoopCount && GroupOf(e.NextToRecLoopNr) != e.ActGroupIdx)
            ++e.NextToRecLoopNr;
    }
    ActLoopNr = e.RecLoopNr;
    UpdateSBRecordNextAndPlayAll(false);
    c_.SBPlay.SetDown(!ContinuousOn());
    e.RecordNextToo = false;
}

void Transport::SetNextToRecLoopNr(int loop) {
    Engine& e = engine_;
    e.NextToRecLoopNr = loop;
    if (loop <= e.LoopCount) {
        if (GroupOf(loop) == e.ActGroupIdx) {
            ActLoopNr = loop;
            if (e.PunchOn) e.RecLoopNr = loop;
        } else {
            e.NextToRecLoopNr = e.LoopCount + 1;
        }
    }
    UpdateSBRecordNextAndPlayAll(true);
}

void Transport::UpdateSBRecordNextAndPlayAll(bool force) {
    Engine& e = engine_;
    e.FreeLengthRecording = false;
    if (MaxLoops() > 0 && e.NextToRecLoopNr > MaxLoops()) {
        e.NextToRecLoopNr = e.GroupFirstLoop(e.ToGroupIdx);
        if (e.NextToRecLoopNr < 1) e.NextToRecLoopNr = e.GroupFirstLoop(e.ActGroupIdx);
    }
    if (e.ToGroupIdx <= e.LastGroupIdx && LoopsPerGroup() > 0 && e.ToGroupIdx == e.ActGroupIdx &&
        ValidLoop(e.NextToRecLoopNr) && PlaceInName(e.NextToRecLoopNr) > LoopsPerGroup())
        e.NextToRecLoopNr = e.GroupFirstLoop(e.ActGroupIdx);

    const int marked = e.NextToRecLoopNr;
    if (e.LoopCount >= 1) {
        if (e.NextToRecLoopNr > e.LoopCount + 1) e.NextToRecLoopNr = e.LoopCount;
        std::string name = LoopName(e.NextToRecLoopNr);
        const std::string sign = CyclicOn() ? "+" : "-";
        const int group = GroupOf(e.NextToRecLoopNr);
        if (group < 0) {
            const int target = e.ToGroupIdx;
            if (target != e.ActGroupIdx && target >= 0 && target <= e.LastGroupIdx &&
                CountLoops(target) >= e.GroupFixMaxLoopNr(target))
                name = name.substr(0, name.size() - 1) + "1" + sign;
        } else if (PlaceInName(e.NextToRecLoopNr) == 1 && CountLoops(group) >= e.GroupFixMaxLoopNr(group)) {
            name += sign;
        }
        c_.LabelDisp2.SetText(name);
    } else {
        c_.LabelDisp1.SetText("-");
        c_.LabelDisp2.SetText("A1");
    }

    bool recordEnabled = true;
    if (e.LastGroupIdx >= 0 && e.ToGroupIdx <= e.LastGroupIdx &&
        e.NextToRecLoopNr == e.GroupFirstLoop(e.ActGroupIdx) && !force && !CyclicOn()) {
        const int first = e.GroupFirstLoop(e.ActGroupIdx);
        bool furtherLoops = false;
        for (int m = first + 1; m <= std::min(e.LoopCount, LoopSlotCapacity); ++m)
            if (GroupOf(m) == e.ActGroupIdx) furtherLoops = true;
        if (LastRecLoopNr != first || furtherLoops) recordEnabled = false;
    }
    if (e.Recording && !FirstLoopRuleOn()) recordEnabled = true;
    c_.SBRecord.SetEnabled(recordEnabled);

    for (int m = 1; m <= LoopSlotCapacity; ++m) {
        Control* mark = rows_.Mark[static_cast<size_t>(m)];
        if (mark == nullptr) continue;
        if ((e.Recording || e.PunchActive) && m == e.RecLoopNr)
            mark->SetColor(Colors::Red);
        else if (m == e.NextToRecLoopNr)
            mark->SetColor(c_.SBRecord.Down() ? Colors::Yellow : Colors::White);
        else
            mark->SetColor(std::nullopt);
    }

    const int markedGroup = GroupOf(e.NextToRecLoopNr) >= 0 ? GroupOf(e.NextToRecLoopNr) : e.ActGroupIdx;
    const bool backEnabled = e.LoopCount >= 1 && e.NextToRecLoopNr != e.GroupFirstLoop(markedGroup);
    const bool nextEnabled = e.LoopCount >= 1 && e.NextToRecLoopNr != e.LoopCount + 1 &&
                             (!ValidLoop(e.NextToRecLoopNr) || markedGroup < 0 ||
                              PlaceInName(e.NextToRecLoopNr) != e.GroupFixMaxLoopNr(markedGroup)) &&
                             (c_.SBRecord.Enabled() || backEnabled);
    const bool groupPending = c_.SBGroupBack.Down() || c_.SBGroupNext.Down();
    c_.ToolLoopBack.SetEnabled(backEnabled && !groupPending);
    c_.ToolLoopNext.SetEnabled(nextEnabled && !groupPending);
    (void)marked;
}

void Transport::SetActGroupIDX(int group) {
    Engine& e = engine_;
    e.ActGroupIdx = group;
    e.ToGroupIdx = group;
    UpdateGroupButtons();
    if (TellMixer) TellMixer(group, -1);
    const bool all = rows_.AllGroupsShown && rows_.AllGroupsShown();
    for (int m = 1; m <= std::min(e.LoopCount, LoopSlotCapacity); ++m) {
        WriteLoopLine(m);
        if (Control* mark = rows_.Mark[static_cast<size_t>(m)]) {
            mark->SetText(LoopName(m));
            SetPlaySwitch(m, mark->Down() && (GroupOf(m) == group || all));
        }
    }
    {
        SuppressActions quiet(c_.SEFixMaxLoopNrOfGroup);
        c_.SEFixMaxLoopNrOfGroup.SetValue(e.GroupFixMaxLoopNr(group));
    }
    e.NextToRecLoopNr = e.LoopCount + 1;
    ActLoopNr = e.GroupFirstLoop(group);
    UpdateSBRecordNextAndPlayAll(false);
    AnyChange_MaxLoopInputSmps();
}

void Transport::UpdateGroupButtons() {
    Engine& e = engine_;
    SuppressActions quietBack(c_.SBGroupBack), quietNext(c_.SBGroupNext);
    c_.SBGroupBack.SetDown(e.ToGroupIdx < e.ActGroupIdx);
    c_.SBGroupBack.SetEnabled(e.ToGroupIdx > 0 || e.ActGroupIdx > 0);
    c_.SBGroupNext.SetEnabled((MaxLoops() > e.LoopCount && e.LoopCount >= 1) ||
                              e.ActGroupIdx < e.LastGroupIdx);
    c_.SBGroupNext.SetDown(e.ToGroupIdx > e.ActGroupIdx && e.LoopCount >= 1);
}

void Transport::SBGroupClick(const Control* sender) {
    Engine& e = engine_;
    if (sender == &c_.SBGroupBack) {
        if (e.ToGroupIdx > 0) {
            e.ToGroupIdx -= 1;
            if (!Runs()) SetActGroupIDX(e.ToGroupIdx);
        }
    } else if (sender == &c_.SBGroupNext) {
        if (e.ToGroupIdx <= e.LastGroupIdx && e.ToGroupIdx < kMaxGroupIdx) {
            e.ToGroupIdx += 1;
            if (!Runs()) {
                if (e.ToGroupIdx > e.LastGroupIdx) e.GroupFixMaxLoopNr(e.ToGroupIdx) = LoopsPerGroup();
                SetActGroupIDX(e.ToGroupIdx);
            }
        }
    }
    if (sender == &c_.SBGroupBack || sender == &c_.SBGroupNext) {
        c_.ButtonRepeatLoop.SetDown(false);
        LastRecLoopNr = -1;
    }
    if (e.ToGroupIdx < 0 || e.ToGroupIdx > e.LastGroupIdx + 1) e.ToGroupIdx = e.ActGroupIdx;
    if (sender == nullptr || sender == &c_.SBGroupBack || sender == &c_.SBGroupNext)
        e.NextToRecLoopNr = e.LoopCount + 1;
    UpdateGroupButtons();
    const bool freeLength = e.FreeLengthRecording;
    UpdateSBRecordNextAndPlayAll(false);
    e.FreeLengthRecording = freeLength;
}

void Transport::SEFixMaxLoopNrOfGroupChange() {
    Engine& e = engine_;
    if (e.ActGroupIdx >= 0) e.GroupFixMaxLoopNr(e.ActGroupIdx) = LoopsPerGroup();
    e.NextToRecLoopNr = e.LoopCount + 1;
    UpdateControls();
}

void Transport::ToolLoopBackClick() {
    Engine& e = engine_;
    for (int m = e.NextToRecLoopNr - 1; m >= 1; --m) {
        if (GroupOf(m) == e.ActGroupIdx) {
            SetNextToRecLoopNr(m);
            if (TellMixer) TellMixer(e.ActGroupIdx, m);
            break;
        }
    }
    c_.ToolLoopBack.SetDown(false);
}

void Transport::ToolLoopNextClick() {
    Engine& e = engine_;
    for (int m = e.NextToRecLoopNr + 1; m <= e.LoopCount + 1; ++m) {
        if (m == e.LoopCount + 1 || GroupOf(m) == e.ActGroupIdx) {
            SetNextToRecLoopNr(m);
            if (TellMixer) TellMixer(e.ActGroupIdx, m);
            break;
        }
    }
    c_.ToolLoopNext.SetDown(false);
}

void Transport::WriteLoopLine(int loop, bool recordingStarts) {
    Engine& e = engine_;
    if (!ValidLoop(loop)) return;
    std::vector<std::string> lines = c_.MemoLoops.Lines();
    if (lines.size() < static_cast<size_t>(loop) + 1) lines.resize(static_cast<size_t>(loop) + 1);
    if (loop == e.LoopCount)
        lines[0] = std::to_string(e.LoopCount) + " Loops / Akt.Gr.: " + Letter(e.ActGroupIdx);
    const LoopSlot& s = e.Slots[static_cast<size_t>(loop)];
    const std::string state = recordingStarts ? "(Aufnahme)" : timedStart_.LoopTimeText(loop);
    lines[static_cast<size_t>(loop)] = std::string(s.LoopGroup == e.ActGroupIdx ? "* " : "   ") +
                                       LoopName(loop) + ": " + state + "(" +
                                       std::to_string(s.LoopLenBytes / 2 / e.ChannelCount()) + " Smp.)";
    c_.MemoLoops.SetLines(std::move(lines));
}

void Transport::MemoLoopsClick(int line) {
    if (line >= 1) SetNextToRecLoopNr(line);
}

void Transport::MemoLoopsDoubleClick(int line) {
    Engine& e = engine_;
    if (line < 1) return;
    e.NextToRecLoopNr = line;
    const int group = GroupOf(line);
    if (group >= 0 && group != e.ActGroupIdx) {
        e.ToGroupIdx = group;
        SBGroupClick(nullptr);
        e.NextToRecLoopNr = line;
        UpdateSBRecordNextAndPlayAll(true);
    }
}

void Transport::SetSBLoopsFromMarkers(int group) {
    Engine& e = engine_;
    const bool all = rows_.AllGroupsShown && rows_.AllGroupsShown();
    for (int m = 1; m <= std::min(e.LoopCount, LoopSlotCapacity); ++m) {
        Control* mark = rows_.Mark[static_cast<size_t>(m)];
        if (mark != nullptr && (GroupOf(m) == group || all)) SetPlaySwitch(m, mark->Down());
    }
    e.AnyChange_LowerOutput();
}

void Transport::UpdateLoopsInfos() {
    const Engine& e = engine_;
    c_.LabelLoopsInfos.SetText("Loops: " + std::to_string(e.LoopCount) + " (v." + std::to_string(MaxLoops()) +
                               ")   " + std::to_string(LoopsPerGroup()) + " Loops/Grp.   " +
                               timedStart_.TimeText(e.MaxLoopBytes / 2, 2) + "/Loop");
}

int64_t Transport::TotalLoopMemoryBytes() {
    const uint64_t physicalKB = systemInfo_.Memory().physicalBytes / 1024;
    return static_cast<int64_t>(physicalKB * static_cast<uint64_t>(std::clamp(MemPercent, 1, 100)) / 100) *
           1024;
}

void Transport::AnyChange_FixMaxLoopNr(bool maxChanged) {
    Engine& e = engine_;
    const int loopsPerGroup = LoopsPerGroup();
    {
        SuppressActions quiet(c_.SEFixMaxLoopNrOfGroup);
        c_.SEFixMaxLoopNrOfGroup.SetRange(1, MaxLoops());
        if (maxChanged) c_.SEFixMaxLoopNrOfGroup.SetValue(MaxLoops());
        if (LoopsPerGroup() > MaxLoops()) c_.SEFixMaxLoopNrOfGroup.SetValue(MaxLoops());
    }
    if (MaxLoops() >= 1 && MaxLoops() <= LoopSlotCapacity) {
        const int64_t total = TotalLoopMemoryBytes();
        c_.LabelStatus.SetText("Moment bitte - Speicher wird reserviert ...");
        const bool ok = e.SizeLoopBuffers(total, MaxLoops());
        c_.LabelStatus.SetText("");
        if (!ok) dialogs_.ShowMessage("Der Speicher für die Loops konnte nicht reserviert werden!");
        const int64_t perLoopKB = e.MaxLoopBytes / 1024;
        c_.LabelMaxLoopSize.SetText(timedStart_.TimeText(e.MaxLoopBytes / 2, 2) + " (" +
                                    std::to_string(perLoopKB) + " kb)");
        c_.LabelTotalMem.SetText("Ges. " + timedStart_.TimeText(total / 2, 2) + " (" +
                                 std::to_string(total / 1024) + " KB)");
    }
    if (rows_.SizeRowPanels) rows_.SizeRowPanels(MaxLoops());
    AnyChange_MaxLoopInputSmps();
    // A value set here counts as typed in for the active group.
    if (LoopsPerGroup() != loopsPerGroup && e.ActGroupIdx >= 0) SEFixMaxLoopNrOfGroupChange();
}

void Transport::RecomputeMemorySum() {
    MemorySum = 0;
    for (int m = 1; m <= std::min(engine_.MaxLoopCount, LoopSlotCapacity); ++m)
        MemorySum += engine_.Slots[static_cast<size_t>(m)].LoopLenBytes;
}

} // namespace kreisel

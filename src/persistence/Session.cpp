// Loading and saving sessions.
#include "persistence/Session.h"

#include "persistence/RiffCheck.h"
#include "persistence/WavFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <system_error>
#include <unistd.h>

namespace kreisel {

namespace fs = std::filesystem;

namespace {

std::string Letter(int group) {
    return std::string(1, static_cast<char>('A' + group));
}

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// Hidden and unmistakable for a loop file, so that neither a load nor the removal of the loop
// files of an earlier save ever takes it for one.
fs::path TemporaryFor(const fs::path& file) {
    std::string name = ".";
    name += file.filename().string();
    name += ".neu-";
    name += std::to_string(::getpid());
    return file.parent_path() / name;
}

void Remove(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
}

// A loop file that is not 16-bit PCM WAV in the session's own layout and rate is converted on
// loading; the user is told, since the loop then no longer is the recorded one bit for bit.
std::string FormatProblem(const fs::path& file, int channels, int sampleRate) {
    SF_INFO info{};
    SNDFILE* f = OpenAudioFile(file, info);
    if (f == nullptr) return {};
    sf_close(f);
    const bool own = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV &&
                     (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 && info.channels == channels &&
                     info.samplerate == sampleRate;
    if (own) return {};
    return "Datei \"" + file.string() + "\" ist keine 16-Bit-" + (channels == 2 ? "Stereo" : "Mono") +
           "-WAV-Datei mit " + std::to_string(sampleRate) + " Hz und wurde umgerechnet.";
}

} // namespace

Session::Session(Engine& engine, Transport& transport, MainControls& controls, LoopRowControls& rows,
                 Control& inputModeBox, Dialogs& dialogs)
    : e_(engine), transport_(transport), c_(controls), rows_(rows), inputModeBox_(inputModeBox),
      dialogs_(dialogs) {
    WriteLoopFile = [this](int loop, const std::string& path, std::string* error) {
        return WriteLoopWav(e_, loop, path, error);
    };
}

fs::path Session::Complete(const fs::path& file, const fs::path& programFolder) {
    fs::path f = file;
    if (f.is_relative() && !programFolder.empty()) f = programFolder / f;
    if (!f.has_extension()) f += ".lps";
    return f;
}

fs::path Session::LoopFile(const fs::path& sessionFile, const std::string& loopName) {
    fs::path base = sessionFile;
    base.replace_extension();
    base += "_" + loopName + ".wav";
    return base;
}

int Session::LastSlot() const {
    return std::min({c_.SEFixMaxLoopNr.Value(), e_.MaxLoopCount, LoopSlotCapacity});
}

void Session::Wait(const std::string& text) {
    c_.LabelStatus.SetColor(std::nullopt);
    c_.LabelStatus.SetText(text);
}

bool Session::LoadSave(const fs::path& file, bool save) {
    fs::path f = file;
    if (f.is_relative() && !ProgramFolder.empty()) f = ProgramFolder / f;
    Wait(std::string(save ? "Speichere" : "Lade") + " \"" + f.string() + "\" ...");
    f = Complete(f, {});
    bool ok = true;
    if (save)
        ok = Save(f);
    else
        Load(f);
    if (!ok) return false;
    c_.LabelStatus.SetColor(Colors::Aqua);
    c_.LabelStatus.SetText("Session \"" + f.filename().string() + "\"" +
                           (save ? " gespeichert." : " geladen."));
    return save || e_.LoopCount > 0;
}

bool Session::Save(const fs::path& f) {
    struct Pending {
        fs::path temporary;
        fs::path target;
    };
    std::vector<Pending> pending;
    auto dropPending = [&pending] {
        for (const Pending& p : pending)
            Remove(p.temporary);
    };
    auto fail = [&](const std::string& reason) {
        dropPending();
        c_.LabelStatus.SetColor(Colors::Red);
        c_.LabelStatus.SetText("Session \"" + f.filename().string() + "\" nicht gespeichert!");
        if (!reason.empty())
            dialogs_.ShowMessage("Session \"" + f.string() + "\" wurde nicht gespeichert:\n" + reason +
                                 "\nDie zuvor gespeicherte Session bleibt unverändert.");
        return false;
    };

    // The loops first, under temporary names: until all of them are written nothing of an
    // earlier save has been touched.
    Wait("Moment bitte - Dateien werden im WAV-Format gespeichert ...");
    std::set<fs::path> written;
    std::vector<fs::path> emptied; // loops of a group without audio: their old file goes
    for (int n = 1; n <= LoopSlotCapacity; ++n) {
        const LoopSlot& slot = e_.Slots[static_cast<size_t>(n)];
        if (slot.LoopGroup < 0) continue;
        const fs::path target = LoopFile(f, transport_.LoopName(n));
        if (slot.LoopLenBytes <= 0 || slot.Buffer.Capacity() == 0) {
            emptied.push_back(target);
            continue;
        }
        const fs::path temporary = TemporaryFor(target);
        pending.push_back({temporary, target});
        std::string error;
        if (!WriteLoopFile || !WriteLoopFile(n, temporary.string(), &error)) return fail(error);
        written.insert(target);
    }

    // Settings and mixer set replace their files only once they are complete.
    // No restart of the sound card here: a save changes no setting, and a restart would break the
    // sound of a performance that goes on while it is saved.
    if (LoadSaveSettings && !LoadSaveSettings(f, true)) return fail({});
    {
        SuppressActions quiet(inputModeBox_);
        inputModeBox_.SetItemIndex(e_.InputMode);
    }
    fs::path mix = f;
    mix.replace_extension(".mix");
    if (LoadSaveMixerSet && !LoadSaveMixerSet(mix, true)) return fail({});

    // The loop files of the earlier save: of each group letter the names from 1 on up to the
    // first that does not exist (files after a gap stay). Taken before the new files arrive.
    std::vector<fs::path> earlier;
    for (int g = 0; g < LoopSlotCapacity; ++g)
        for (int k = 1; k <= LoopSlotCapacity; ++k) {
            const fs::path old = LoopFile(f, Letter(g) + std::to_string(k));
            if (!Exists(old)) break;
            earlier.push_back(old);
        }

    for (size_t i = 0; i < pending.size(); ++i) {
        std::error_code ec;
        fs::rename(pending[i].temporary, pending[i].target, ec);
        if (ec) {
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(i));
            return fail("Datei \"" + pending.front().target.string() +
                        "\" kann nicht geschrieben werden: " + FileErrorText(ec.value()));
        }
    }
    pending.clear();
    for (const fs::path& old : earlier)
        if (written.count(old) == 0) Remove(old);
    for (const fs::path& old : emptied)
        Remove(old);

    transport_.UnsavedRecordings = false;
    Wait("");
    transport_.UpdateControls();
    return true;
}

void Session::Load(const fs::path& f) {
    if (LoadSaveSettings) LoadSaveSettings(f, false);
    if (ApplyAfterLoad) ApplyAfterLoad();
    if (RestartSoundCard) RestartSoundCard();
    transport_.ResetAll();

    // The settings file's input mode wins over the mixer set's.
    {
        SuppressActions quiet(inputModeBox_);
        inputModeBox_.SetItemIndex(e_.InputMode);
    }
    fs::path mix = f;
    mix.replace_extension(".mix");
    if (LoadSaveMixerSet) LoadSaveMixerSet(mix, false);
    {
        SuppressActions quiet(inputModeBox_);
        inputModeBox_.SetItemIndex(e_.InputMode);
    }

    Wait("Moment bitte - Dateien werden geladen ...");
    e_.NextToRecLoopNr = 1;
    transport_.UpdateSBRecordNextAndPlayAll(false);

    std::vector<std::string> problems;
    const int loopsPerGroup = c_.SEFixMaxLoopNrOfGroup.Value();
    int letter = -1; // group letter of the file names
    int place = 0;   // number of the last file name tried under that letter
    int group = -1;  // engine group the loops go to
    int count = 0;   // loops loaded into it
    int n = 1;
    while (n <= LoopSlotCapacity) {
        // The next name of this letter, else the first of the next letter; neither ends the load.
        fs::path file;
        if (letter >= 0) file = LoopFile(f, Letter(letter) + std::to_string(place + 1));
        if (letter < 0 || !Exists(file)) {
            if (letter + 1 >= LoopSlotCapacity) break;
            file = LoopFile(f, Letter(letter + 1) + "1");
            if (!Exists(file)) break;
            ++letter;
            place = 0;
            if (count > 0 || group < 0) ++group;
            count = 0;
        }
        ++place;
        if (n > LastSlot()) {
            problems.push_back("Maximalzahl der Loops erreicht !! Ab Datei \"" + file.string() +
                               "\" nicht geladen.");
            break;
        }

        LoopSlot& slot = e_.Slots[static_cast<size_t>(n)];
        const std::string format = FormatProblem(file, e_.ChannelCount(), e_.SampleRate);
        const AudioFileRead read = ReadAudioFile(file.string(), e_.InputMode, e_.SampleRate, slot.Buffer);
        if (read.status != AudioFileRead::Status::Loaded) {
            // A damaged file is skipped; the loops after it still come.
            slot.Buffer.Release();
            problems.push_back(read.message + " Nicht geladen.");
            continue;
        }
        if (!format.empty()) problems.push_back(format);
        if (read.cut) problems.push_back(read.message);

        if (group > e_.LastGroupIdx) {
            e_.LastGroupIdx = group;
            e_.ActGroupIdx = group;
            e_.ToGroupIdx = group;
        }
        slot.LoopGroup = group;
        if (e_.GroupFirstLoop(group) < 1) e_.GroupFirstLoop(group) = n;
        e_.LoopCount = n;
        ++count;
        e_.GroupFixMaxLoopNr(group) = std::max(loopsPerGroup, count);
        slot.LoopPosInGroup = count;
        slot.LoopLenBytes = static_cast<int32_t>(read.bytes);
        transport_.WriteLoopLine(n);
        ++e_.NextToRecLoopNr;
        const std::string name = transport_.LoopName(n);
        if (rows_.RenameRow) rows_.RenameRow(n, name);
        Control* mark = rows_.Mark[static_cast<size_t>(n)];
        if (mark != nullptr) mark->SetText(name);
        if (Control* play = rows_.Play[static_cast<size_t>(n)]) {
            const bool on = mark != nullptr && mark->Down();
            SuppressActions quiet(*play);
            play->SetDown(on);
            play->SetText(on ? ">>" : "");
            play->SetEnabled(true);
            e_.Rows[static_cast<size_t>(n)].LoopOn = on;
        }
        slot.LoopLastBlock = slot.LoopLenBytes / std::max(e_.BlockStoredValues(), 1) / 2 - 1;
        if (DrawLoopGraph) {
            Wait("Moment bitte - Datei wird gezeichnet ...");
            DrawLoopGraph(n);
            Wait("Moment bitte - Dateien werden geladen ...");
        }
        slot.Buffer.Seek(0);
        ++n;
    }

    if (e_.LoopCount > 0) {
        e_.NextToRecLoopNr = e_.LoopCount + 1;
        transport_.AnyChange_MaxLoopInputSmps();
        if (AdaptGraphs) AdaptGraphs();
        transport_.RecomputeMemorySum();
        transport_.SetActGroupIDX(0);
        e_.AnyChange_LowerOutput();
    } else {
        transport_.ResetAll();
    }
    transport_.UnsavedRecordings = false;
    Wait("");
    transport_.UpdateControls();
    ShowProblems(dialogs_, problems);
}

} // namespace kreisel

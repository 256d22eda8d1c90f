// Loading and saving sessions.
#include "persistence/Session.h"

#include "core/Text.h"
#include "persistence/RiffCheck.h"
#include "persistence/WavFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
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

// What a loop file holds, looked at before it is read: the bytes it takes as a loop in the
// current input mode and rate (0 when libsndfile cannot tell), and a note when it is not 16-bit PCM
// WAV in the session's own layout and rate, since the loop is then converted and no longer the
// recorded one bit for bit.
struct LoopFileProbe {
    int64_t bytes = 0;
    std::string conversion;
};

LoopFileProbe ProbeLoopFile(const fs::path& file, int inputMode, int sampleRate) {
    LoopFileProbe probe;
    SF_INFO info{};
    SNDFILE* f = OpenAudioFile(file, info);
    if (f == nullptr) return probe;
    sf_close(f);
    const int channels = inputMode == 0 ? 2 : 1;
    if (info.frames > 0 && info.samplerate > 0) {
        int64_t frames = info.frames;
        // A rate conversion may give a few frames more than the exact ratio.
        if (info.samplerate != sampleRate)
            frames =
                static_cast<int64_t>(std::ceil(static_cast<double>(frames) * sampleRate / info.samplerate)) +
                64;
        probe.bytes = frames * channels * 2;
    }
    const bool own = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV &&
                     (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 && info.channels == channels &&
                     info.samplerate == sampleRate;
    if (!own)
        probe.conversion = "Datei \"" + file.string() + "\" ist keine 16-Bit-" +
                           (channels == 2 ? "Stereo" : "Mono") + "-WAV-Datei mit " +
                           std::to_string(sampleRate) + " Hz und wurde umgerechnet.";
    return probe;
}

std::string Seconds(int64_t bytes, int channels, int sampleRate) {
    return TimeText(static_cast<int>(std::clamp<int64_t>(bytes / 2, 0, INT32_MAX)), channels, sampleRate, 1);
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

void Session::Wait(const std::string& text) {
    c_.LabelStatus.SetColor(std::nullopt);
    c_.LabelStatus.SetText(text);
}

bool Session::LoadSave(const fs::path& file, bool save) {
    fs::path f = file;
    if (f.is_relative() && !ProgramFolder.empty()) f = ProgramFolder / f;
    Wait(std::string(save ? "Speichere" : "Lade") + " \"" + f.string() + "\" ...");
    f = Complete(f, {});
    if (!(save ? Save(f) : Load(f))) return false;
    c_.LabelStatus.SetColor(Colors::Aqua);
    c_.LabelStatus.SetText("Session \"" + f.filename().string() + "\"" +
                           (save ? " gespeichert." : " geladen."));
    return true;
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
    fs::path mix = f;
    mix.replace_extension(".mix");
    std::vector<fs::path> fresh;   // files of this save already in place, in the order they came
    std::vector<fs::path> earlier; // loop files of the earlier save, once they are known
    auto fail = [&](const std::string& reason) {
        dropPending();
        c_.LabelStatus.SetColor(Colors::Red);
        if (fresh.empty()) {
            c_.LabelStatus.SetText("Session \"" + f.filename().string() + "\" nicht gespeichert!");
            if (!reason.empty())
                dialogs_.ShowMessage("Session \"" + f.string() + "\" wurde nicht gespeichert:\n" + reason +
                                     "\nDie zuvor gespeicherte Session bleibt unverändert.");
            return false;
        }
        // Part of the session is new on disk, part is still the earlier one: say which is which.
        auto names = [](const std::vector<fs::path>& files) {
            std::string text;
            for (const fs::path& p : files)
                text += (text.empty() ? "" : ", ") + p.filename().string();
            return text.empty() ? std::string("keine") : text;
        };
        std::vector<fs::path> old;
        std::vector<fs::path> before{f, mix};
        before.insert(before.end(), earlier.begin(), earlier.end());
        for (const fs::path& p : before)
            if (std::find(fresh.begin(), fresh.end(), p) == fresh.end() && Exists(p)) old.push_back(p);
        c_.LabelStatus.SetText("Session \"" + f.filename().string() + "\" nur teilweise gespeichert!");
        dialogs_.ShowMessage("Session \"" + f.string() + "\" wurde nur teilweise gespeichert:\n" +
                             (reason.empty() ? std::string() : reason + "\n") +
                             "Neu gespeichert: " + names(fresh) + "\nVom vorigen Speichern: " + names(old));
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
        // A loop file that the last load could not take holds audio found nowhere else.
        if (notLoaded_.count(target) != 0)
            return fail("Datei \"" + target.string() +
                        "\" wurde beim Laden nicht übernommen und würde überschrieben. Bitte unter "
                        "einem anderen Namen speichern.");
        const fs::path temporary = TemporaryFor(target);
        pending.push_back({temporary, target});
        std::string error;
        if (!WriteLoopFile || !WriteLoopFile(n, temporary.string(), &error)) return fail(error);
        written.insert(target);
    }

    // The loop files of the earlier save: of each group letter the names from 1 on up to the
    // first that does not exist (files after a gap stay). Taken before the new files arrive.
    for (int g = 0; g < LoopSlotCapacity; ++g)
        for (int k = 1; k <= LoopSlotCapacity; ++k) {
            const fs::path old = LoopFile(f, Letter(g) + std::to_string(k));
            if (!Exists(old)) break;
            earlier.push_back(old);
        }

    // Settings and mixer set replace their files only once they are complete.
    // No restart of the sound card here: a save changes no setting, and a restart would break the
    // sound of a performance that goes on while it is saved.
    if (LoadSaveSettings && !LoadSaveSettings(f, true)) return fail({});
    fresh.push_back(f);
    {
        SuppressActions quiet(inputModeBox_);
        inputModeBox_.SetItemIndex(e_.InputMode);
    }
    if (LoadSaveMixerSet && !LoadSaveMixerSet(mix, true)) return fail({});
    fresh.push_back(mix);

    for (size_t i = 0; i < pending.size(); ++i) {
        std::error_code ec;
        fs::rename(pending[i].temporary, pending[i].target, ec);
        if (ec) {
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(i));
            return fail("Datei \"" + pending.front().target.string() +
                        "\" kann nicht geschrieben werden: " + FileErrorText(ec.value()));
        }
        fresh.push_back(pending[i].target);
    }
    pending.clear();
    for (const fs::path& old : earlier)
        if (written.count(old) == 0 && notLoaded_.count(old) == 0) Remove(old);
    for (const fs::path& old : emptied)
        if (notLoaded_.count(old) == 0) Remove(old);

    transport_.UnsavedRecordings = false;
    Wait("");
    transport_.UpdateControls();
    return true;
}

bool Session::Load(const fs::path& f) {
    // A settings file alone is a session without loops.
    const bool settingsRead = LoadSaveSettings && LoadSaveSettings(f, false);
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
    notLoaded_.clear();
    // A file that does not come is named with the reason; a later save leaves it alone.
    auto refuse = [&](const fs::path& file, const std::string& reason) {
        notLoaded_.insert(file);
        problems.push_back("Datei \"" + file.string() + "\" nicht geladen: " + reason);
    };
    const int slots = std::min(e_.MaxLoopCount, LoopSlotCapacity);
    const int64_t budget = transport_.TotalLoopMemoryBytes();
    int64_t held = 0; // bytes of the loops loaded so far
    const int loopsPerGroup = c_.SEFixMaxLoopNrOfGroup.Value();
    int letter = -1; // group letter of the file names
    int place = 0;   // number of the last file name tried under that letter
    int group = -1;  // engine group the loops go to
    int count = 0;   // loops loaded into it
    int n = 1;
    for (;;) {
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
        if (n > slots) {
            refuse(file, "alle " + std::to_string(slots) + " Loop-Plätze sind belegt.");
            continue;
        }

        const int channels = e_.ChannelCount();
        const LoopFileProbe probe = ProbeLoopFile(file, e_.InputMode, e_.SampleRate);
        if (probe.bytes > kMaxLoopBytesCap) {
            refuse(file, "zu lang für einen Loop (" + Seconds(probe.bytes, channels, e_.SampleRate) +
                             ", höchstens " + Seconds(kMaxLoopBytesCap, channels, e_.SampleRate) + ").");
            continue;
        }
        if (held + probe.bytes > budget) {
            refuse(file, "der Loop-Speicher reicht nicht (" + Seconds(probe.bytes, channels, e_.SampleRate) +
                             " nötig, " +
                             Seconds(std::max<int64_t>(budget - held, 0), channels, e_.SampleRate) +
                             " frei).");
            continue;
        }
        // "Max.Anz. Loops" rises to take every loop of the session; the settings may hold fewer.
        if (n > c_.SEFixMaxLoopNr.Value()) {
            {
                SuppressActions quiet(c_.SEFixMaxLoopNr);
                c_.SEFixMaxLoopNr.SetValue(n);
            }
            transport_.AnyChange_FixMaxLoopNr(false);
            Wait("Moment bitte - Dateien werden geladen ...");
        }
        LoopSlot& slot = e_.Slots[static_cast<size_t>(n)];
        // The slot takes the whole loop, also beyond its share of the budget.
        if (static_cast<int64_t>(slot.Buffer.Capacity()) < probe.bytes &&
            !slot.Buffer.Reserve(static_cast<size_t>(probe.bytes))) {
            refuse(file, "kein Speicher für " + Seconds(probe.bytes, channels, e_.SampleRate) + ".");
            continue;
        }
        const AudioFileRead read = ReadAudioFile(file.string(), e_.InputMode, e_.SampleRate, slot.Buffer);
        if (read.status != AudioFileRead::Status::Loaded || read.cut) {
            // A damaged file is skipped; the loops after it still come.
            slot.Buffer.Release();
            notLoaded_.insert(file);
            problems.push_back(read.cut
                                   ? "Datei \"" + file.string() + "\" nicht geladen: zu lang für den Loop."
                                   : read.message + " Nicht geladen.");
            continue;
        }
        if (!probe.conversion.empty()) problems.push_back(probe.conversion);
        held += read.bytes;

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
    return settingsRead || e_.LoopCount > 0;
}

} // namespace kreisel

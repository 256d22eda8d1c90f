// Reading and writing mixer set files, and their file dialogs.
#include "mixer/MixerSet.h"

#include <algorithm>
#include <array>
#include <string>
#include <system_error>

namespace kreisel {

namespace {

constexpr const char* kOptions = "Options";

void SetSwitchQuietly(Control& c, bool down) {
    SuppressActions quiet(c);
    c.SetDown(down);
}

} // namespace

MixerSet::MixerSet(Engine& engine, MixerControls& controls, LoopMixer& mixer, Dialogs& dialogs)
    : e_(engine), c_(controls), mixer_(mixer), dialogs_(dialogs) {
    c_.ButtonLoadSet.SetOnClick([this](Control&) { ButtonLoadSetClick(); });
    c_.ButtonSaveSet.SetOnClick([this](Control&) { ButtonSaveSetClick(); });
    mixer_.LoadStartValues = [this] { LoadSave(DefaultFile, false, true); };
}

std::filesystem::path MixerSet::ForSettingsFile(const std::filesystem::path& settingsFile) {
    std::filesystem::path mix = settingsFile;
    mix.replace_extension(".mix");
    return mix;
}

void MixerSet::LoadSaveSections(IniFile& ini, bool save, bool valuesOnly) {
    if (!valuesOnly) {
        Control& play0 = *c_.MixerRows[0].Play;
        if (save) {
            ini.WriteBool(kOptions, "MixSymm", c_.CBMixSymm.Checked());
            ini.WriteInteger(kOptions, "InputMode", c_.ComboBoxInputMode.ItemIndex());
            ini.WriteBool(kOptions, "ShowInputMixer", c_.CBInputMixer.Checked());
            ini.WriteBool(kOptions, "InputMixerOn", play0.Down());
            ini.WriteBool(kOptions, "ShowPresetControls", c_.SBShowPresetControls.Down());
        } else {
            c_.CBMixSymm.SetChecked(ini.ReadBool(kOptions, "MixSymm", c_.CBMixSymm.Checked()));
            // Only the box's item: the loops of one mode cannot be played in another, so the
            // mode itself waits for the next reset of all recordings, which asks before anything
            // is discarded.
            const int mode = ini.ReadInteger(kOptions, "InputMode", c_.ComboBoxInputMode.ItemIndex());
            if (mode >= 0 && mode < static_cast<int>(InputModeNames.size())) {
                SuppressActions quiet(c_.ComboBoxInputMode);
                c_.ComboBoxInputMode.SetItemIndex(mode);
            }
            c_.CBInputMixer.SetChecked(ini.ReadBool(kOptions, "ShowInputMixer", c_.CBInputMixer.Checked()));
            const bool inputOn = ini.ReadBool(kOptions, "InputMixerOn", play0.Down());
            if (inputOn != play0.Down()) {
                SetSwitchQuietly(play0, inputOn);
                mixer_.SBLoopClick(0);
            }
            SetSwitchQuietly(c_.SBShowPresetControls,
                             ini.ReadBool(kOptions, "ShowPresetControls", c_.SBShowPresetControls.Down()));
            mixer_.SBShowPresetControlsClick();
        }
    }

    const int lastRow = std::clamp(e_.MaxLoopCount, 0, LoopSlotCapacity);
    for (int n = 0; n <= lastRow; ++n) {
        MixerRowControls& r = c_.MixerRows[static_cast<size_t>(n)];
        const std::string section = "Loop" + std::to_string(n);
        const std::array<std::pair<const char*, Control*>, 4> sliders{
            {{"AmpLeft", r.AmpLeft}, {"AmpRight", r.AmpRight}, {"PanLeft", r.PanLeft}, {"PanRight", r.PanRight}}};
        if (save) {
            if (!valuesOnly) ini.WriteBool(section, "SBLoopMarker", r.Marker->Down());
            for (const auto& [key, slider] : sliders)
                ini.WriteInteger(section, key, slider->Position());
            continue;
        }
        if (!valuesOnly)
            SetSwitchQuietly(*r.Marker, ini.ReadBool(section, "SBLoopMarker", r.Marker->Down()));
        // Each new position runs its change at once (with the coupling on it moves the partner);
        // then the row's four changes run once more, so with the coupling the right-hand values
        // decide.
        for (const auto& [key, slider] : sliders)
            slider->SetPosition(ini.ReadInteger(section, key, slider->Position()));
        for (const auto& [key, slider] : sliders)
            mixer_.SliderChange(*slider);
    }
}

bool MixerSet::LoadSave(const std::filesystem::path& file, bool save, bool valuesOnly) {
    IniFile ini;
    const IniFile::LoadResult loaded = OpenIniFile(ini, file, save, dialogs_);
    if (loaded == IniFile::LoadResult::Failed) return false;
    if (!save) {
        if (loaded == IniFile::LoadResult::Missing) return false;
        LoadSaveSections(ini, false, valuesOnly);
        return true;
    }
    LoadSaveSections(ini, true, valuesOnly);
    std::string error;
    if (!ini.Save(file, &error)) {
        dialogs_.ShowMessage("Mixer-Einstellungen nicht gespeichert!\n" + error);
        return false;
    }
    return true;
}

void MixerSet::ButtonLoadSetClick() {
    FileDialogOptions o;
    o.title = "Mixer-Einstellungen laden";
    o.filter = kFilter;
    o.defaultExtension = "MIX";
    o.folder = Folder;
    o.okCaption = "Laden";
    o.mustExist = true;
    const std::vector<std::string> files = dialogs_.OpenFiles(o);
    if (files.empty()) return;
    const std::filesystem::path file = files.front();
    Folder = file.parent_path().string();
    LoadSave(file, false, false);
    mixer_.CBInputMixerClick();
}

void MixerSet::ButtonSaveSetClick() {
    FileDialogOptions o;
    o.title = "Mixer-Einstellungen speichern";
    o.filter = kFilter;
    o.defaultExtension = "MIX";
    o.folder = Folder;
    o.okCaption = "Speichern";
    const std::optional<std::string> chosen = dialogs_.SaveFile(o);
    if (!chosen) return;
    const std::filesystem::path file = *chosen;
    Folder = file.parent_path().string();
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        Question q;
        q.caption = "Kreisel";
        q.text = "überschreiben?";
        q.buttons = DialogButtons::OkCancel;
        q.defaultResult = DialogResult::Cancel;
        q.icon = DialogIcon::Question;
        if (dialogs_.Ask(q) != DialogResult::Ok) return;
    }
    LoadSave(file, true, false);
}

} // namespace kreisel

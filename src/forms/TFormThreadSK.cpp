// The sound-card window: handlers, settings section and device information.
#include "forms/TFormThreadSK.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace kreisel {

namespace {

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

// The old format bits for the rates a device names: 16-bit mono and, with two channels, stereo
// at 11025, 22050, 44100, 48000 and 96000 Hz.
uint32_t FormatBits(const AudioDeviceInfo& info, int channels) {
    static constexpr int kRates[] = {11025, 22050, 44100, 48000, 96000};
    uint32_t bits = 0;
    for (int i = 0; i < 5; ++i) {
        bool has = false;
        for (int rate : info.SampleRates)
            has = has || rate == kRates[i];
        if (!has || channels < 1) continue;
        const uint32_t base = 1u << (4 * i);
        bits |= base << 2; // mono, 16 bit
        if (channels >= 2) bits |= base << 3;
    }
    return bits;
}

} // namespace

TFormThreadSK::TFormThreadSK(Engine& engine, Dialogs& dialogs, Clock& clock, Timers& timers, EventPump& pump)
    : Form("FormThreadSK", "Sound-Karte - Spezielles ..."), SoundCardControls(static_cast<Form&>(*this)),
      e_(engine), dialogs_(dialogs), card_(engine, *this, dialogs, clock, timers, pump) {
    closeCaption_ = ButtonClose.Text();
    ButtonStartStop.SetOnClick([this](Control&) { ButtonStartStopClick(); });
    ButtonResetCounters.SetOnClick([this](Control&) { ButtonResetCountersClick(); });
    ButtonHardwareInfo.SetOnClick([this](Control&) { ButtonHardwareInfoClick(); });
    ButtonSave.SetOnClick([this](Control&) { ButtonSaveClick(); });
    ButtonClose.SetOnClick([this](Control&) { ButtonCloseClick(); });
    for (Control* c : {&CBxInDev, &CBxOutDev})
        c->SetOnChange([this](Control&) { CBxInOutDevChange(); });
    for (Control* c : {&SEFreq, &SEMemBlockFrames, &SEOutFreqDeviation})
        c->SetOnChange([this](Control&) { SEFreqBlockChange(); });
}

void TFormThreadSK::FormCreate(AudioDevice* device, const std::filesystem::path& settingsFile) {
    card_.SetDevice(device);
    FillDeviceLists();
    settingsFile_ = settingsFile;
    // A missing settings file is reported once, by the settings load of the start-up.
    std::error_code ec;
    if (std::filesystem::exists(settingsFile_, ec)) LoadSaveIniFile(settingsFile_, false);
    for (Control* label : DisplayLabels())
        label->SetText("(-)");
    closeCaption_ = ButtonClose.Text();
}

void TFormThreadSK::FillDeviceLists() {
    std::vector<std::string> in, out;
    if (AudioDevice* device = card_.Device(); device != nullptr) {
        for (const AudioDeviceInfo& d : device->InputDevices())
            in.push_back(d.Name);
        for (const AudioDeviceInfo& d : device->OutputDevices())
            out.push_back(d.Name);
    }
    SuppressActions quiet(*this);
    CBxInDev.SetItems(std::move(in));
    CBxOutDev.SetItems(std::move(out));
    CBxInDev.SetItemIndex(card_.InDeviceId());
    CBxOutDev.SetItemIndex(card_.OutDeviceId());
}

void TFormThreadSK::ButtonStartStopClick() {
    card_.StartStop();
    LabelInfoRestart.SetVisible(false);
}

void TFormThreadSK::CBxInOutDevChange() {
    card_.SetDeviceIds(CBxInDev.ItemIndex(), CBxOutDev.ItemIndex());
    LabelInfoRestart.SetVisible(true);
}

void TFormThreadSK::SEFreqBlockChange() {
    LabelInfoRestart.SetVisible(true);
}

void TFormThreadSK::ButtonResetCountersClick() {
    card_.ResetCounters();
}

void TFormThreadSK::ButtonHardwareInfoClick() {
    dialogs_.ShowMessage(HardwareInfoText());
}

void TFormThreadSK::ButtonSaveClick() {
    LoadSaveIniFile(settingsFile_, true);
}

bool TFormThreadSK::ButtonCloseClick() {
    SetVisible(false);
    return ButtonClose.Text() == closeCaption_;
}

void TFormThreadSK::MemoErrorsDblClick() {
    card_.ClearErrors();
}

// ---------------------------------------------------------------------------------------------
// Settings

void TFormThreadSK::LoadSaveSection(IniFile& ini, bool save) {
    const char* s = kSection;
    if (save) {
        ini.WriteInteger(s, "Left", Left);
        ini.WriteInteger(s, "Top", Top);
        ini.WriteInteger(s, "Height", Height);
        ini.WriteInteger(s, "InDevID", card_.InDeviceId());
        ini.WriteInteger(s, "OutDevID", card_.OutDeviceId());
        ini.WriteInteger(s, "MemBlockLength", SEMemBlockFrames.Value() * 4);
        ini.WriteInteger(s, "Freq", SEFreq.Value());
        ini.WriteInteger(s, "OutFreqDeviation", SEOutFreqDeviation.Value());
        ini.WriteBool(s, "UpdateCounters", CBUpdateCounters.Checked());
        ini.WriteBool(s, "ShowWaveErrors", CBShowWaveErrors.Checked());
        return;
    }

    const int oldRate = SEFreq.Value();
    const int oldBytes = SEMemBlockFrames.Value() * 4;
    const int oldDeviation = SEOutFreqDeviation.Value();
    {
        SuppressActions quiet(*this);
        Left = ini.ReadInteger(s, "Left", Left);
        Top = ini.ReadInteger(s, "Top", Top);
        Height = ini.ReadInteger(s, "Height", Height);
        const int in = ini.ReadInteger(s, "InDevID", card_.InDeviceId());
        const int out = ini.ReadInteger(s, "OutDevID", card_.OutDeviceId());
        card_.SetDeviceIds(in, out);
        CBxInDev.SetItemIndex(in);
        CBxOutDev.SetItemIndex(out);
        SEMemBlockFrames.SetValue(ini.ReadInteger(s, "MemBlockLength", oldBytes) / 4);
        SEFreq.SetValue(ini.ReadInteger(s, "Freq", oldRate));
        SEOutFreqDeviation.SetValue(ini.ReadInteger(s, "OutFreqDeviation", oldDeviation));
        CBUpdateCounters.SetChecked(ini.ReadBool(s, "UpdateCounters", CBUpdateCounters.Checked()));
        CBShowWaveErrors.SetChecked(ini.ReadBool(s, "ShowWaveErrors", CBShowWaveErrors.Checked()));
    }

    const int bytes = SEMemBlockFrames.Value() * 4;
    if (!card_.Stopped()) {
        // The running streams keep their format until the next start.
        if (bytes != oldBytes || SEFreq.Value() != oldRate || SEOutFreqDeviation.Value() != oldDeviation)
            LabelInfoRestart.SetVisible(true);
        return;
    }
    if (bytes != e_.BlockBytes && bytes <= BlockQueue::kMaxBlockBytes) {
        e_.BlockBytes = bytes;
        e_.BuildFadeTables();
        if (card_.OnFormatChanged) card_.OnFormatChanged();
    }
}

bool TFormThreadSK::LoadSaveIniFile(const std::filesystem::path& file, bool save) {
    IniFile ini;
    const IniFile::LoadResult loaded = OpenIniFile(ini, file, save, dialogs_);
    if (loaded == IniFile::LoadResult::Failed) return false;
    if (!save) {
        LoadSaveSection(ini, false);
        return loaded == IniFile::LoadResult::Loaded;
    }
    LoadSaveSection(ini, true);
    std::string error;
    if (!ini.Save(file, &error)) {
        dialogs_.ShowMessage(error);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Device information

std::string TFormThreadSK::HardwareInfoText() {
    AudioDevice* device = card_.Device();
    std::vector<AudioDeviceInfo> ins, outs;
    if (device != nullptr) {
        ins = device->InputDevices();
        outs = device->OutputDevices();
    }
    auto pick = [device](const std::vector<AudioDeviceInfo>& list, int id,
                         uint32_t& error) -> const AudioDeviceInfo* {
        error = device == nullptr ? AudioNoDriver : AudioBadDeviceId;
        if (device == nullptr || id < 0 || id >= static_cast<int>(list.size())) return nullptr;
        error = 0;
        return &list[static_cast<size_t>(id)];
    };

    // The fields of the old wave device capabilities; those RtAudio has no figure for show 0.
    std::string text;
    auto section = [&](const AudioDeviceInfo* d, uint32_t error, const char* title, int channels,
                      const std::string& lastLine, const char* errorName) {
        if (d == nullptr) {
            text += std::string(errorName) + " Error Nr. $" + Hex(error, 8) + " !\n";
            return;
        }
        text += std::string(title) + ":\n\n";
        text += "wMid (Hersteller-ID): $" + Hex(0, 4) + "\n";
        text += "wPid (Produkt-ID): $" + Hex(0, 4) + "\n";
        text += "vDriverVersion: $" + Hex(0, 8) + "\n";
        text += "szPname: " + d->Name + "\n";
        text += "dwFormats: $" + Hex(FormatBits(*d, channels), 8) + "\n";
        text += "wChannels: $" + Hex(static_cast<uint32_t>(channels), 4) + "\n";
        text += lastLine;
    };
    uint32_t error = 0;
    const AudioDeviceInfo* in = pick(ins, card_.InDeviceId(), error);
    section(in, error, "Input", in ? in->InputChannels : 0, "wReserved1: $" + Hex(0, 4) + "\n", "Wave-In-Device");
    text += "\n\n";
    const AudioDeviceInfo* out = pick(outs, card_.OutDeviceId(), error);
    section(out, error, "Output", out ? out->OutputChannels : 0, "dwSupport: $" + Hex(0, 8) + "\n",
           "Wave-Out-Device");
    return text;
}

} // namespace kreisel

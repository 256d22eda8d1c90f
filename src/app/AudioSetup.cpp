// Choosing, opening and starting the device, with the fall-back to the built-in device.
#include "app/AudioSetup.h"

#include "soundcard/filedevice/FileDevice.h"
#include "soundcard/rtaudio/RtAudioDevice.h"

#include <sstream>

namespace kreisel {

namespace {

AudioApi ApiByName(const std::string& name) {
    if (name == "jack") return AudioApi::Jack;
    if (name == "pulse") return AudioApi::Pulse;
    return AudioApi::Alsa;
}

// A device by its number in the list, its exact name, or a part of its name.
int FindDevice(const std::vector<AudioDeviceInfo>& list, const std::string& wanted) {
    if (!wanted.empty() && wanted.size() < 7 && wanted.find_first_not_of("0123456789") == std::string::npos) {
        const int n = std::stoi(wanted);
        return n < static_cast<int>(list.size()) ? n : -1;
    }
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].Name == wanted) return static_cast<int>(i);
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].Name.find(wanted) != std::string::npos) return static_cast<int>(i);
    return -1;
}

} // namespace

AudioSetup::~AudioSetup() {
    sk_.Card().Stop();
    sk_.Card().SetDevice(nullptr);
}

void AudioSetup::UseBuiltIn(const AudioChoice& choice) {
    auto file = std::make_unique<FileDevice>();
    if (choice.kind == AudioChoice::Kind::File)
        file->SetInputFile(choice.input);
    else
        file->SetInputSilence();
    file->SetOutputFile(choice.output);
    file->SetPacing(freeRunning_ ? FileDevice::Pacing::LockStep : FileDevice::Pacing::RealTime);
    sk_.Card().SetDevice(file.get());
    sk_.Card().SetDeviceIds(0, 0); // its only input and output
    device_ = std::move(file);
    builtIn_ = true;
    sk_.FillDeviceLists();
}

bool AudioSetup::Open(const AudioChoice& choice, const std::string& settingsFile, bool freeRunning,
                      std::string* error) {
    freeRunning_ = freeRunning;
    named_ = choice.kind == AudioChoice::Kind::Api;
    if (!choice.BuiltIn()) {
        auto card = std::make_unique<RtAudioDevice>(named_ ? ApiByName(choice.api) : AudioApi::FirstWithDevices);
        const auto inputs = card->InputDevices();
        const auto outputs = card->OutputDevices();
        if (!inputs.empty() && !outputs.empty()) {
            sk_.FormCreate(card.get(), settingsFile);
            if (named_ && !choice.device.empty()) {
                const int in = FindDevice(inputs, choice.device);
                const int out = FindDevice(outputs, choice.device);
                if (in < 0 || out < 0) {
                    if (error != nullptr)
                        *error = "Audio-Gerät \"" + choice.device + "\" gibt es bei " + choice.api + " nicht.";
                    sk_.Card().SetDevice(nullptr);
                    return false;
                }
                sk_.Card().SetDeviceIds(in, out);
                sk_.FillDeviceLists();
            }
            device_ = std::move(card);
            return true;
        }
        if (named_) {
            if (error != nullptr) *error = "Audio-Schnittstelle \"" + choice.api + "\": keine Geräte gefunden.";
            return false;
        }
        log_ << "Kreisel: keine Sound-Karte gefunden, das eingebaute Gerät spielt.\n";
    }
    sk_.FormCreate(nullptr, settingsFile);
    UseBuiltIn(choice);
    return true;
}

bool AudioSetup::Start() {
    if (sk_.Card().Start()) return true;
    if (builtIn_ || named_) return false;
    log_ << "Kreisel: die Sound-Karte startet nicht, das eingebaute Gerät spielt.\n";
    sk_.Card().Stop();
    UseBuiltIn({});
    return sk_.Card().Start();
}

std::string AudioSetup::DeviceName() const { return device_ ? device_->ApiName() : std::string(); }

FileDevice* AudioSetup::File() const { return builtIn_ ? static_cast<FileDevice*>(device_.get()) : nullptr; }

std::string ListAudioDevices() {
    std::ostringstream out;
    const std::pair<const char*, AudioApi> apis[] = {
        {"jack", AudioApi::Jack}, {"pulse", AudioApi::Pulse}, {"alsa", AudioApi::Alsa}};
    for (const auto& [name, api] : apis) {
        RtAudioDevice device(api);
        const auto inputs = device.InputDevices();
        const auto outputs = device.OutputDevices();
        out << name << " (" << device.ApiName() << "):";
        if (inputs.empty() && outputs.empty()) out << " keine Geräte";
        out << '\n';
        for (std::size_t i = 0; i < inputs.size(); ++i)
            out << "  Eingang " << i << ": " << inputs[i].Name << " (" << inputs[i].InputChannels << " Kanäle)\n";
        for (std::size_t i = 0; i < outputs.size(); ++i)
            out << "  Ausgang " << i << ": " << outputs[i].Name << " (" << outputs[i].OutputChannels << " Kanäle)\n";
    }
    out << "eingebaut: --audio silence[:AUS.wav] oder --audio file:EIN.wav[:AUS.wav]\n";
    return out.str();
}

} // namespace kreisel

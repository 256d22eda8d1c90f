// Choosing, opening and starting the device, with the fall-back to the built-in device.
#include "app/AudioSetup.h"

#include "soundcard/filedevice/FileDevice.h"
// A build without the RtAudio device plays through the built-in device only.
#if __has_include("soundcard/rtaudio/RtAudioDevice.h")
#include "soundcard/rtaudio/RtAudioDevice.h"
#define KREISEL_HAS_RTAUDIO 1
#endif

#include <QStringList>

#include <cstdio>

namespace kreisel {

std::optional<AudioChoice> ParseAudioChoice(const QString& choice) {
    AudioChoice c;
    if (choice.isEmpty()) return c;
    if (choice == QLatin1String("silence")) {
        c.builtIn = true;
        return c;
    }
    if (!choice.startsWith(QLatin1String("file:"))) return std::nullopt;
    const QStringList parts = choice.mid(5).split(QLatin1Char(':'));
    if (parts.size() > 2 || parts.front().isEmpty()) return std::nullopt;
    c.builtIn = true;
    c.input = parts.front().toStdString();
    if (parts.size() == 2) c.output = parts.back().toStdString();
    return c;
}

AudioSetup::~AudioSetup() {
    sk_.Card().Stop();
    sk_.Card().SetDevice(nullptr);
}

void AudioSetup::UseBuiltIn(const AudioChoice& choice) {
    auto file = std::make_unique<FileDevice>();
    if (choice.input.empty())
        file->SetInputSilence();
    else
        file->SetInputFile(choice.input);
    file->SetOutputFile(choice.output);
    file->SetPacing(FileDevice::Pacing::RealTime);
    sk_.Card().SetDevice(file.get());
    sk_.Card().SetDeviceIds(0, 0); // its only input and output
    device_ = std::move(file);
    builtIn_ = true;
    sk_.FillDeviceLists();
}

void AudioSetup::Open(const AudioChoice& choice, const std::string& settingsFile) {
    if (!choice.builtIn) {
#ifdef KREISEL_HAS_RTAUDIO
        auto card = std::make_unique<RtAudioDevice>();
        if (!card->InputDevices().empty() && !card->OutputDevices().empty()) {
            sk_.FormCreate(card.get(), settingsFile);
            device_ = std::move(card);
            return;
        }
#endif
        std::fprintf(stderr, "kreisel: no sound card found, using the built-in device\n");
    }
    sk_.FormCreate(nullptr, settingsFile);
    UseBuiltIn(choice);
}

bool AudioSetup::Start() {
    if (sk_.Card().Start()) return true;
    if (builtIn_) return false;
    std::fprintf(stderr, "kreisel: the sound card did not start, using the built-in device\n");
    sk_.Card().Stop();
    UseBuiltIn({});
    return sk_.Card().Start();
}

std::string AudioSetup::DeviceName() const {
    return device_ ? device_->ApiName() : std::string();
}

} // namespace kreisel

#include "actions/UWaveUtilitiesModule.h"

#include <array>
#include <stdexcept>
#include <utility>

#include "wave/Streams.h"

TWaveUtilitiesModule* UtilitiesModule = nullptr;

namespace {

// The formats with a description, in the order they are compared.
constexpr std::array<std::pair<const char*, TPCMFormat>, 16> kPCMFormatTexts{{
    {"PCM: 8,000 kHz, 8 Bit, Mono", Mono8Bit8000Hz},
    {"PCM: 8,000 kHz, 8 Bit, Stereo", Stereo8bit8000Hz},
    {"PCM: 8,000 kHz, 16 Bit, Mono", Mono16bit8000Hz},
    {"PCM: 8,000 kHz, 16 Bit, Stereo", Stereo16bit8000Hz},
    {"PCM: 11,025 kHz, 8 Bit, Mono", Mono8bit11025Hz},
    {"PCM: 11,025 kHz, 8 Bit, Stereo", Stereo8bit11025Hz},
    {"PCM: 11,025 kHz, 16 Bit, Mono", Mono16bit11025Hz},
    {"PCM: 11,025 kHz, 16 Bit, Stereo", Stereo16bit11025Hz},
    {"PCM: 22,050 kHz, 8 Bit, Mono", Mono8bit22050Hz},
    {"PCM: 22,050 kHz, 8 Bit, Stereo", Stereo8bit22050Hz},
    {"PCM: 22,050 kHz, 16 Bit, Mono", Mono16bit22050Hz},
    {"PCM: 22,050 kHz, 16 Bit, Stereo", Stereo16bit22050Hz},
    {"PCM: 44,100 kHz, 8 Bit, Mono", Mono8bit44100Hz},
    {"PCM: 44,100 kHz, 8 Bit, Stereo", Stereo8bit44100Hz},
    {"PCM: 44,100 kHz, 16 Bit, Mono", Mono16bit44100Hz},
    {"PCM: 44,100 kHz, 16 Bit, Stereo", Stereo16bit44100Hz},
}};

} // namespace

TWaveUtilitiesModule& RunningUtilitiesModule() {
    if (UtilitiesModule == nullptr)
        throw std::logic_error("The plug-in's services are not running");
    return *UtilitiesModule;
}

TWaveUtilitiesModule::TWaveUtilitiesModule() : storage_(std::make_unique<TWaveStorage>()) {}

TWaveUtilitiesModule::~TWaveUtilitiesModule() = default;

void TWaveUtilitiesModule::GetWaveInfo(const std::string& fileName,
                                       std::vector<std::string>& info) {
    info.clear();
    if (!FileExists(fileName))
        return;
    TWave& wave = *storage_->Wave();
    TWaveClearGuard clear(wave);
    wave.LoadFromFile(fileName);
    info.push_back(wave.AudioFormatText());
    info.push_back(std::to_string(static_cast<std::uint32_t>(wave.DurationMs())));
    info.push_back(std::to_string(static_cast<std::uint32_t>(wave.KilobitsPerSecond())));
    info.push_back(std::to_string(wave.DataBytes()));
    info.push_back(std::to_string(wave.PeakPercent()));
}

TPCMFormat TWaveUtilitiesModule::PCMFormatFromText(const std::string& text) {
    for (const auto& [description, format] : kPCMFormatTexts)
        if (text == description)
            return format;
    return Stereo16bit48000Hz;
}

#include "actions/UWaveUtilitiesModule.h"

#include <array>
#include <utility>

#include "host/Lifecycle.h"
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

// Fills an empty list with the names of a direction's devices.
void GatherDeviceNames(TWaveAudioIO& device, std::vector<std::string>& names) {
    if (!names.empty())
        return;
    const auto count = static_cast<std::int64_t>(device.NumDevs());
    std::vector<std::string> gathered;
    for (std::int64_t id = -1; id < count; ++id) {
        std::string name;
        try {
            device.SetDeviceID(static_cast<std::int32_t>(id));
            name = device.DeviceName();
        } catch (const EWaveAudioSysError&) {
            // The device did not answer: its entry stays, without a name.
        }
        gathered.push_back(std::move(name));
    }
    names = std::move(gathered);
}

} // namespace

TWaveUtilitiesModule& RunningUtilitiesModule() {
    return RunningService(UtilitiesModule);
}

TWaveUtilitiesModule::TWaveUtilitiesModule()
    : storage_(std::make_unique<TWaveStorage>()), player_(new TStockAudioPlayer),
      recorder_(new TStockAudioRecorder) {}

TWaveUtilitiesModule::~TWaveUtilitiesModule() = default;

const std::vector<std::string>& TWaveUtilitiesModule::OutputDeviceNames() {
    GatherDeviceNames(*player_, outputNames_);
    return outputNames_;
}

const std::vector<std::string>& TWaveUtilitiesModule::InputDeviceNames() {
    GatherDeviceNames(*recorder_, inputNames_);
    return inputNames_;
}

void TWaveUtilitiesModule::GetWaveInfo(const std::string& fileName, std::vector<std::string>& info,
                                       std::string* refusal) {
    info.clear();
    if (!FileExists(fileName))
        return;
    TWave& wave = *storage_->Wave();
    TWaveClearGuard clear(wave);
    wave.LoadFromFile(fileName);
    if (refusal != nullptr)
        *refusal = wave.IsValidWave() ? std::string() : wave.Refusal();
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

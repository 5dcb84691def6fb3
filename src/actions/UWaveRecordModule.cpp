#include "actions/UWaveRecordModule.h"

#include "actions/UWaveUtilitiesModule.h"

namespace {

std::string Description(TPCMFormat format) {
    WAVEFORMATEX record{};
    MakePCMFormat(&record, format);
    return DescribeFormat(&record);
}

} // namespace

TWaveRecordModule::TWaveRecordModule() : recorder_(new TModuleRecorder) {
    AttachEvents(*recorder_);
}

void TWaveRecordModule::SelectInputDevice(const std::string& deviceName) {
    SelectDevice(RunningUtilitiesModule().InputDeviceNames(), deviceName);
}

std::vector<std::string> TWaveRecordModule::ListFormats() {
    const TPCMFormats supported = recorder_->DeviceFormats();
    std::vector<std::string> list;
    for (int f = Mono8Bit8000Hz; f <= Stereo16bit48000Hz; ++f)
        if (supported.test(static_cast<std::size_t>(f)))
            list.push_back(Description(static_cast<TPCMFormat>(f)));
    return list;
}

void TWaveRecordModule::SelectFormat(const std::string& text) {
    const TPCMFormats supported = recorder_->DeviceFormats();
    for (int f = Mono8Bit8000Hz; f <= Stereo16bit48000Hz; ++f) {
        const auto format = static_cast<TPCMFormat>(f);
        if (supported.test(static_cast<std::size_t>(f)) && Description(format) == text) {
            recorder_->SetPCMFormat(format);
            return;
        }
    }
}

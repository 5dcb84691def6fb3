#include "actions/UWavePlayerModule.h"

#include "actions/UWaveUtilitiesModule.h"

TWavePlayerModule::TWavePlayerModule() : player_(new TAudioPlayer) {
    AttachEvents(*player_);
}

void TWavePlayerModule::SelectOutputDevice(const std::string& deviceName) {
    SelectDevice(RunningUtilitiesModule().OutputDeviceNames(), deviceName);
}

std::vector<std::string> TWavePlayerModule::ActivateValues() {
    return {player_->DeviceName(), std::to_string(player_->Wave()->DurationMs())};
}

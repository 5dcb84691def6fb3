// A player object of host scripts: one TAudioPlayer and the bindings of its
// events (UWaveDeviceModule.h). Its activate binding reports the device's
// name and the wave's duration in milliseconds.
#pragma once

#include <string>
#include <vector>

#include "actions/UWaveDeviceModule.h"
#include "wave/WavePlayers.h"

class TWavePlayerModule : public TWaveDeviceModule {
public:
    TWavePlayerModule();

    TAudioPlayer& Player() { return *player_; }
    TWaveAudioIO& Device() override { return *player_; }

    // The player's output device by name, from the listing service's output
    // device list: a blank name keeps the device, a name not listed selects
    // the default device. The player must not be active.
    void SelectOutputDevice(const std::string& deviceName);

protected:
    ~TWavePlayerModule() override = default;
    std::vector<std::string> ActivateValues() override;

private:
    TWaveDevicePtr<TAudioPlayer> player_;
};

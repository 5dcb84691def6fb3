// duVozaPlayerIsPaused: whether the player is paused.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerIsPaused(ActionParams params) {
    return RunQueryAction(aiPlayerIsPaused, params, RunningPlayerModules(),
                          [](TWaveAudioIO& device) { return device.Paused(); });
}

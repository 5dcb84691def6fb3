// duVozaPlayerIsActive: whether the player plays (or is paused, or has been stopped
// and its close notification has not been handled yet).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerIsActive(ActionParams params) {
    return RunQueryAction(aiPlayerIsActive, params, RunningPlayerModules(),
                          [](TWaveAudioIO& device) { return device.Active(); });
}

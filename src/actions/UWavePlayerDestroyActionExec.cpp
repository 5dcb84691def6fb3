// duVozaPlayerDestroy: frees a player object and ends its playback,
// without running its bindings.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerDestroy(ActionParams params) {
    return RunDestroyAction(aiPlayerDestroy, params, RunningPlayerModules());
}

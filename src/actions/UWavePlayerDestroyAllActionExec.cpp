// duVozaPlayerDestroyAll: frees every player object.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerDestroyAll(ActionParams) {
    return RunDestroyAllAction(RunningPlayerModules());
}

// zxOnPlayerPause: the pause binding (the device variable receives the device's
// name).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecOnPlayerPause(ActionParams params) {
    return RunBindAction(aiOnPlayerPause, params, RunningPlayerModules(),
                         &TWaveDeviceModule::Pause);
}

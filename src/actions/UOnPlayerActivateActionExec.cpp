// zxOnPlayerActivate: the activate binding: the open notification has been handled
// (device name, then the wave's duration in milliseconds).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecOnPlayerActivate(ActionParams params) {
    return RunBindAction(aiOnPlayerActivate, params, RunningPlayerModules(),
                         &TWaveDeviceModule::Activate);
}

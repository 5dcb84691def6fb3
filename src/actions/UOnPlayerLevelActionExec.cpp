// zxOnPlayerLevel: the level binding: the peak level in percent of each buffer
// queued for playing, and 0 when the device closes.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecOnPlayerLevel(ActionParams params) {
    return RunBindAction(aiOnPlayerLevel, params, RunningPlayerModules(),
                         &TWaveDeviceModule::Level);
}

// zxOnPlayerError: the error binding: a device call of the player failed (the error
// variable receives the system's text).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecOnPlayerError(ActionParams params) {
    return RunBindAction(aiOnPlayerError, params, RunningPlayerModules(),
                         &TWaveDeviceModule::Error);
}

// zxOnPlayerResume: the resume binding (the device variable receives the device's
// name).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecOnPlayerResume(ActionParams params) {
    return RunBindAction(aiOnPlayerResume, params, RunningPlayerModules(),
                         &TWaveDeviceModule::Resume);
}

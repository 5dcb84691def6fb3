// zxOnRecordPause: the pause binding (the device variable receives the device's
// name).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecOnRecordPause(ActionParams params) {
    return RunBindAction(aiOnRecordPause, params, RunningRecordModules(),
                         &TWaveDeviceModule::Pause);
}

// zxOnRecordActivate: the activate binding: the open notification has been handled
// (device name).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecOnRecordActivate(ActionParams params) {
    return RunBindAction(aiOnRecordActivate, params, RunningRecordModules(),
                         &TWaveDeviceModule::Activate);
}

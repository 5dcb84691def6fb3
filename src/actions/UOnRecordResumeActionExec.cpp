// zxOnRecordResume: the resume binding (the device variable receives the device's
// name).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecOnRecordResume(ActionParams params) {
    return RunBindAction(aiOnRecordResume, params, RunningRecordModules(),
                         &TWaveDeviceModule::Resume);
}

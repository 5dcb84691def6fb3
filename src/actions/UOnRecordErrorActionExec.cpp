// zxOnRecordError: the error binding: a device call of the recorder failed (the
// error variable receives the system's text).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecOnRecordError(ActionParams params) {
    return RunBindAction(aiOnRecordError, params, RunningRecordModules(),
                         &TWaveDeviceModule::Error);
}

// zxOnRecordLevel: the level binding: the peak level in percent of each buffer
// recorded, and 0 when the device closes.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecOnRecordLevel(ActionParams params) {
    return RunBindAction(aiOnRecordLevel, params, RunningRecordModules(),
                         &TWaveDeviceModule::Level);
}

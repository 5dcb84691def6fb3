// zxOnRecordPosition: the position binding: the position in milliseconds, right
// after each level report.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecOnRecordPosition(ActionParams params) {
    return RunBindAction(aiOnRecordPosition, params, RunningRecordModules(),
                         &TWaveDeviceModule::Position);
}

// zxOnRecordDeactivate: the deactivate binding: the close notification has been
// handled (the file is complete).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecOnRecordDeactivate(ActionParams params) {
    return RunBindAction(aiOnRecordDeactivate, params, RunningRecordModules(),
                         &TWaveDeviceModule::Deactivate);
}

// duVozaRecordDestroy: frees a recorder object without running its bindings;
// a recording under way ends and its file is completed.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecRecordDestroy(ActionParams params) {
    return RunDestroyAction(aiRecordDestroy, params, RunningRecordModules());
}

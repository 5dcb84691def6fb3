// duVozaRecordCreate: a new recorder object; its number goes into the result
// variable.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecRecordCreate(ActionParams params) {
    return RunCreateAction(aiRecordCreate, params, RunningRecordModules());
}

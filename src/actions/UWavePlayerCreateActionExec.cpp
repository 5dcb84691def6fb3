// duVozaPlayerCreate: a new player object; its number goes into the result
// variable.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerCreate(ActionParams params) {
    return RunCreateAction(aiPlayerCreate, params, RunningPlayerModules());
}

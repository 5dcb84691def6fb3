// duVozaInputDevices: the names of the input devices, the default device
// first, and their number.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveUtilitiesModule.h"

std::int32_t ExecInputDevices(ActionParams params) {
    return RunDeviceListAction(aiInputDevices, params, RunningUtilitiesModule().InputDeviceNames());
}

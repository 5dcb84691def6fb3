// duVozaOutputDevices: the names of the output devices, the default device
// first, and their number.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveUtilitiesModule.h"

std::int32_t ExecOutputDevices(ActionParams params) {
    return RunDeviceListAction(aiOutputDevices, params,
                               RunningUtilitiesModule().OutputDeviceNames());
}

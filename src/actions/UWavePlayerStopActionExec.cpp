// duVozaPlayerStop: stops an active player; the device closes and the
// deactivate binding runs later, from the close notification.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerStop(ActionParams params) {
    return RunWhileActiveAction(
        aiPlayerStop, params, RunningPlayerModules(),
        [](TWaveDeviceModule& module) { module.Device().SetActive(false); });
}

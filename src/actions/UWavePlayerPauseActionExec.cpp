// duVozaPlayerPause: pauses an active player; its pause binding runs before the
// action answers (once: pausing a paused player does nothing).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerPause(ActionParams params) {
    return RunWhileActiveAction(aiPlayerPause, params, RunningPlayerModules(),
                                [](TWaveDeviceModule& module) { module.Device().SetPaused(true); });
}

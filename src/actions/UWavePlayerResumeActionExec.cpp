// duVozaPlayerResume: resumes an active player that is paused; its resume
// binding runs before the action answers.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerResume(ActionParams params) {
    return RunWhileActiveAction(
        aiPlayerResume, params, RunningPlayerModules(),
        [](TWaveDeviceModule& module) { module.Device().SetPaused(false); });
}

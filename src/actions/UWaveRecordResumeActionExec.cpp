// duVozaRecordResume: resumes an active recorder that is paused; its resume
// binding runs before the action answers.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecRecordResume(ActionParams params) {
    return RunWhileActiveAction(
        aiRecordResume, params, RunningRecordModules(),
        [](TWaveDeviceModule& module) { module.Device().SetPaused(false); });
}

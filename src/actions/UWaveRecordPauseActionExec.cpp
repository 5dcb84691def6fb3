// duVozaRecordPause: pauses an active recorder; its pause binding runs before the
// action answers (once: pausing a paused recorder does nothing).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecRecordPause(ActionParams params) {
    return RunWhileActiveAction(aiRecordPause, params, RunningRecordModules(),
                                [](TWaveDeviceModule& module) { module.Device().SetPaused(true); });
}

// duVozaRecordIsPaused: whether the recorder is paused.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecRecordIsPaused(ActionParams params) {
    return RunQueryAction(aiRecordIsPaused, params, RunningRecordModules(),
                          [](TWaveAudioIO& device) { return device.Paused(); });
}

// duVozaRecordIsActive: whether the recorder records (or is paused, or has been stopped
// and its close notification has not been handled yet).
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecRecordIsActive(ActionParams params) {
    return RunQueryAction(aiRecordIsActive, params, RunningRecordModules(),
                          [](TWaveAudioIO& device) { return device.Active(); });
}

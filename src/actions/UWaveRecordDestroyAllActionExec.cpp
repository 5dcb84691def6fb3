// duVozaRecordDestroyAll: frees every recorder object.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWaveRecordModules.h"

std::int32_t ExecRecordDestroyAll(ActionParams) {
    return RunDestroyAllAction(RunningRecordModules());
}

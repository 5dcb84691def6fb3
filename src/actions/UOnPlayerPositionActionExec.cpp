// zxOnPlayerPosition: the position binding: the position in milliseconds, right
// after each level report.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecOnPlayerPosition(ActionParams params) {
    return RunBindAction(aiOnPlayerPosition, params, RunningPlayerModules(),
                         &TWaveDeviceModule::Position);
}

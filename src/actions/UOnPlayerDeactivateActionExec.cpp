// zxOnPlayerDeactivate: the deactivate binding: the close notification has been
// handled.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecOnPlayerDeactivate(ActionParams params) {
    return RunBindAction(aiOnPlayerDeactivate, params, RunningPlayerModules(),
                         &TWaveDeviceModule::Deactivate);
}

// duVozaPlayerPosition: player, milliseconds, result. Moves an active
// player's playback to that point of the wave; on an idle player it does
// nothing, and answers "True" all the same.
#include "actions/UWaveDeviceActions.h"
#include "actions/UWavePlayerModules.h"

std::int32_t ExecPlayerPosition(ActionParams params) {
    ActionCall call(aiPlayerPosition, params);
    std::int32_t id = 0;
    std::int32_t ms = 0;
    // Both numbers are read before the player is looked up.
    if (call.ReadInteger(0, id))
        call.ReadInteger(1, ms);
    TWavePlayerModule* module = FindForAction(call, RunningPlayerModules(), id);
    const TWaveDeviceModule::TUse use(module);
    if (call.Ok() && module->Player().Active())
        module->Player().SetPosition(ms);
    return call.Finish();
}

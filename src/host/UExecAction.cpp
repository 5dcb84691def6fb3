// nbExecAction: the host runs one of the plug-in's actions.
#include "host/Dispatch.h"
#include "host/Exports.h"

extern "C" int32_t TV_HOSTCALL nbExecAction(int32_t actionId, char** params, int32_t lastIndex) {
    return ExecuteAction(kActionExecutors, actionId, HostArray(params, lastIndex));
}

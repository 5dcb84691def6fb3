// nbExecAction: the host runs one of the plug-in's actions.
#include "host/Dispatch.h"
#include "host/Exports.h"

extern "C" int32_t WINAPI nbExecAction(int32_t actionId, char** params) {
    return ExecuteAction(kActionExecutors, actionId, params);
}

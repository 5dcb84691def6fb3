// nbEditAction: the author edits the parameters of one of the plug-in's actions.
#include "host/Dispatch.h"
#include "host/Exports.h"

extern "C" int32_t TV_HOSTCALL nbEditAction(int32_t actionId, char** paramSlots,
                                            int32_t lastIndex) {
    return EditAction(kActionEditors, actionId, HostArray(paramSlots, lastIndex));
}

// nbEditAction: the author edits the parameters of one of the plug-in's actions.
#include "host/Dispatch.h"
#include "host/Exports.h"

extern "C" int32_t WINAPI nbEditAction(int32_t actionId, char** paramSlots) {
    return EditAction(kActionEditors, actionId, paramSlots);
}

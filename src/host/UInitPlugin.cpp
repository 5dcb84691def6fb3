// nbInitPlugIn: the host learns who the plug-in is.
#include "PluginStrings.h"
#include "host/Exports.h"
#include "host/HostBindings.h"
#include "host/HostServices.h"

extern "C" void TV_HOSTCALL nbInitPlugIn(void* hostWindow, char** titleSlot, char** authorSlot,
                                         char** descriptionSlot) {
    HostWindow = static_cast<HWND>(hostWindow);
    try {
        StoreHostString(descriptionSlot, strings::kDescription);
        StoreHostString(titleSlot, strings::kTitle);
        StoreHostString(authorSlot, strings::kAuthor);
    } catch (...) {
        // Out of memory: the slot concerned is left empty.
    }
}

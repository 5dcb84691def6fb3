// nbAbout: the host asks the plug-in to show its about box.
#include "host/Dispatch.h"
#include "host/Exports.h"

extern "C" void TV_HOSTCALL nbAbout(void) {
    ShowAboutBox(kAboutBox);
}

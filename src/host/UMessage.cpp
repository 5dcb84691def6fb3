// nbMessage: host notifications; the plug-in has no use for them.
#include "host/Exports.h"

extern "C" void TV_HOSTCALL nbMessage(int32_t, intptr_t) {}

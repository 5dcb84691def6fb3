// nbRegisterInterfaceAccess: the host's callback for interface requests.
#include "host/Exports.h"
#include "host/HostBindings.h"

extern "C" void TV_HOSTCALL nbRegisterInterfaceAccess(InterfaceAccessProc proc) {
    HostInterfaceAccess = proc;
}

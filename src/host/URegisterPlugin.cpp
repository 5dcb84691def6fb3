// nbRegisterPlugIn: the host hands over its callbacks and learns the actions.
#include "host/Catalogue.h"
#include "host/Exports.h"
#include "host/HostBindings.h"

extern "C" void TV_HOSTCALL nbRegisterPlugIn(AddActionProc addAction, void* reserved1,
                                             void* reserved2, SetVariableProc setVariable) {
    HostAddAction = addAction;
    HostReservedCallback1 = reserved1;
    HostReservedCallback2 = reserved2;
    HostSetVariable = setVariable;
    RegisterActions();
}

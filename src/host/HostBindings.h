// What the host handed over through the entry points. Each binding is set by
// one entry point, starts null when the library is loaded, and is simply
// dropped at unload.
#pragma once

#include "host/Exports.h"

extern HWND HostWindow;                         // nbInitPlugIn; kept only
extern AddActionProc HostAddAction;             // nbRegisterPlugIn
extern void* HostReservedCallback1;             // nbRegisterPlugIn; kept, never called
extern void* HostReservedCallback2;             // nbRegisterPlugIn; kept, never called
extern SetVariableProc HostSetVariable;         // nbRegisterPlugIn
extern ScriptProcessorProc HostScriptProcessor; // nbRegisterScriptProcessor
extern InterfaceAccessProc HostInterfaceAccess; // nbRegisterInterfaceAccess

#include "host/HostBindings.h"

HWND HostWindow = nullptr;
AddActionProc HostAddAction = nullptr;
void* HostReservedCallback1 = nullptr;
void* HostReservedCallback2 = nullptr;
SetVariableProc HostSetVariable = nullptr;
ScriptProcessorProc HostScriptProcessor = nullptr;
InterfaceAccessProc HostInterfaceAccess = nullptr;

// Temporary: entry points that answer nothing until the host bridge lands.
#include "host/Exports.h"

extern "C" {
void WINAPI nbInitPlugIn(void*, char**, char**, char**) {}
void WINAPI nbRegisterPlugIn(AddActionProc, void*, void*, SetVariableProc) {}
void WINAPI nbRegisterScriptProcessor(ScriptProcessorProc) {}
void WINAPI nbRegisterInterfaceAccess(InterfaceAccessProc) {}
int32_t WINAPI nbExecAction(int32_t, char**) {
    return 0;
}
int32_t WINAPI nbEditAction(int32_t, char**) {
    return 0;
}
void WINAPI nbMessage(int32_t, intptr_t) {}
void WINAPI nbAbout(void) {}
}

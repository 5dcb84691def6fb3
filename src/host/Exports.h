// The plug-in's binary interface with its host. Fixed: hosts and outside
// tests depend on every name, argument and calling convention here.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

extern "C" {

typedef void(WINAPI* AddActionProc)(int32_t id, const char* name, const char* hint,
                                    const uint8_t* typeCodes, int32_t lastIndex, int32_t count);
typedef void(WINAPI* SetVariableProc)(const char* name, const char* value);
typedef void(WINAPI* ScriptProcessorProc)(const char* commandLine);
typedef void(WINAPI* InterfaceAccessProc)(int32_t requestCode, char** slot);

TV_EXPORT void WINAPI nbInitPlugIn(void* hostWindow, char** titleSlot, char** authorSlot,
                                   char** descriptionSlot);
TV_EXPORT void WINAPI nbRegisterPlugIn(AddActionProc addAction, void* reserved1, void* reserved2,
                                       SetVariableProc setVariable);
TV_EXPORT void WINAPI nbRegisterScriptProcessor(ScriptProcessorProc proc);
TV_EXPORT void WINAPI nbRegisterInterfaceAccess(InterfaceAccessProc proc);
TV_EXPORT int32_t WINAPI nbExecAction(int32_t actionId, char** params);
TV_EXPORT int32_t WINAPI nbEditAction(int32_t actionId, char** paramSlots);
TV_EXPORT void WINAPI nbMessage(int32_t code, intptr_t reserved);
TV_EXPORT void WINAPI nbAbout(void);
}

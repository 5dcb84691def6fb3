// The plug-in's binary interface with its host. Fixed: hosts and outside
// tests depend on every name, argument and calling convention here.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

// What the host hands over for a parameter of each type code in the type array
// of an action's registration.
enum ParamTypeCode : uint8_t {
    kParamNone = 0,     // placeholder of a row without parameters
    kParamText = 1,     // a text used as given
    kParamInteger = 3,  // a text read as a 32-bit integer
    kParamVariable = 6, // the name of a host variable the plug-in writes
};

// The request codes of the interface-access callback. The pickers show the
// text in the slot and replace it with the author's choice.
enum class HostRequest : int32_t {
    PickObjectA = 1,    // pick a publication object
    SubroutineList = 5, // the names of the script's subroutines, separated by CR LF
    Version = 6,        // the host's version text
    PickObjectB = 8,    // pick a publication object (second picker)
    Message = 9,        // show the text in a message box
    PickVariable = 14,  // pick a variable (hosts from version 5)
};

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

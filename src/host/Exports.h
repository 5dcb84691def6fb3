// The plug-in's binary interface with its host. Fixed: hosts and outside
// tests depend on every name, argument and calling convention here, and this
// header is the only place that knows the convention.
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

// The host's calling convention, on every entry point and every callback:
// Delphi's "register". On 32-bit x86 the first three arguments travel in EAX,
// EDX and ECX, the others are pushed left to right, and the callee pops
// them; results come back in EAX (AL for a Boolean). GCC's regparm(3) with
// stdcall is exactly that for a function with at most one stack argument;
// one with more declares its stack arguments in reverse order, since C pushes
// right to left (see AddActionProc). A Delphi open array ("array of T") is
// two arguments: the address of its first element and the index of its last.
// Elsewhere (the native build) there is one convention, and this is it.
#if defined(__i386__)
#define TV_HOSTCALL __attribute__((regparm(3), stdcall))
#else
#define TV_HOSTCALL
#endif

extern "C" {

// The host's add-action callback: ID in EAX, name in EDX, hint in ECX, then
// the type-code array (address, index of its last element) and the parameter
// count pushed in that order, so that here they stand reversed.
typedef void(TV_HOSTCALL* AddActionProc)(int32_t id, const char* name, const char* hint,
                                         int32_t count, int32_t lastIndex,
                                         const uint8_t* typeCodes);
typedef void(TV_HOSTCALL* SetVariableProc)(const char* name, const char* value);
typedef void(TV_HOSTCALL* ScriptProcessorProc)(const char* commandLine);
// Answers in the slot; the Boolean it returns is not used.
typedef bool(TV_HOSTCALL* InterfaceAccessProc)(int32_t requestCode, char** slot);

TV_EXPORT void TV_HOSTCALL nbInitPlugIn(void* hostWindow, char** titleSlot, char** authorSlot,
                                        char** descriptionSlot);
TV_EXPORT void TV_HOSTCALL nbRegisterPlugIn(AddActionProc addAction, void* reserved1,
                                            void* reserved2, SetVariableProc setVariable);
TV_EXPORT void TV_HOSTCALL nbRegisterScriptProcessor(ScriptProcessorProc proc);
TV_EXPORT void TV_HOSTCALL nbRegisterInterfaceAccess(InterfaceAccessProc proc);
// The parameters come as an open array: `lastIndex` is the index of the last
// text at `params` (-1 for none).
TV_EXPORT int32_t TV_HOSTCALL nbExecAction(int32_t actionId, char** params, int32_t lastIndex);
TV_EXPORT int32_t TV_HOSTCALL nbEditAction(int32_t actionId, char** paramSlots, int32_t lastIndex);
TV_EXPORT void TV_HOSTCALL nbMessage(int32_t code, intptr_t reserved);
TV_EXPORT void TV_HOSTCALL nbAbout(void);
}

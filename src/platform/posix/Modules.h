// Loading libraries and finding their exports, over the POSIX dynamic loader.
// Names are Windows-1251 texts like every other path; a name without a folder
// is looked for beside the program first, as Windows does, then where the
// dynamic loader looks.
#pragma once

#include "platform/posix/Types.h"

using FARPROC = std::intptr_t (*)();

extern "C" {
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);
// Exports are found by name only; an ordinal (a "name" below 0x10000) finds nothing.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
// Null names the program itself; otherwise an already loaded library or null.
HMODULE GetModuleHandleA(LPCSTR moduleName);
// The full path of the program (null module) or of a loaded library, cut to
// fit `size` with its terminating zero; the result is the length copied.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
} // extern "C"

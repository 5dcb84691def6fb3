// The kernel32, advapi32 and shell32 services the plug-in uses, with the
// documented Windows behaviour: the last error code, global memory blocks,
// page memory, MulDiv, the tick count, Sleep, critical sections, the per-user
// registry, and the shell's "open" verb.
#pragma once

#include <cstdint>
#include <mutex>
#include <new>

#include "platform/posix/Errors.h"
#include "platform/posix/Files.h"
#include "platform/posix/Types.h"

extern "C" {
// --- last error -----------------------------------------------------------------
// The calling thread's last error code.
DWORD GetLastError();
void SetLastError(DWORD code);

// --- global memory ----------------------------------------------------------
// Only fixed blocks exist here: the handle is the block's address. Blocks are
// plain malloc blocks, so a POSIX host may release them with free() as well.
#define GMEM_FIXED 0x0000u
#define GMEM_ZEROINIT 0x0040u
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

// A block of `bytes` bytes (at least one is allocated), zero-filled with
// GMEM_ZEROINIT; null when out of memory or when flags other than GMEM_FIXED
// and GMEM_ZEROINIT are asked for.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Releases a block; null for success (also for a null block).
HGLOBAL GlobalFree(HGLOBAL block);

// --- page memory ---------------------------------------------------------------
// For large file contents. Pages are committed zero-filled
// with the reservation (MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE); large
// regions are backed by huge pages where the system offers them, which makes
// touching them for the first time much cheaper.
#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_RELEASE 0x00008000
#define PAGE_READWRITE 0x04
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
// Only MEM_RELEASE of a whole region (size 0) is supported.
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

// --- arithmetic and time ------------------------------------------------------
// number * numerator / denominator with a 64-bit intermediate, rounded half
// away from zero; -1 when the denominator is 0 or the result lies outside
// -2147483647..2147483647.
int MulDiv(int number, int numerator, int denominator);
// Milliseconds since an arbitrary start, wrapping around at 2^32.
DWORD GetTickCount();
// Suspends the calling thread; 0 gives up the rest of its time slice.
void Sleep(DWORD milliseconds);

// --- critical sections --------------------------------------------------------
// Recursive, as on Windows: the owning thread may enter again and must leave
// as often as it entered.
struct CRITICAL_SECTION {
    alignas(std::recursive_mutex) unsigned char storage[sizeof(std::recursive_mutex)];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);

// --- registry -------------------------------------------------------------------
// An in-memory per-user registry, empty when the process starts: the running
// system only reads it (the help file's location); tests create keys and
// values through the same functions as on Windows. Key paths and value names
// compare without regard to ASCII letter case.
using PHKEY = HKEY*;
using REGSAM = DWORD;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu
#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_BINARY 3u
#define REG_DWORD 4u

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
// The value's type and bytes (a REG_SZ value with its terminating zero).
// With data null only the type and size are reported; a buffer too small
// gives ERROR_MORE_DATA and the size needed.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataBytes);
LONG RegCloseKey(HKEY key);
// Opens the key, creating it and any missing parent first.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataBytes);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
// Deletes a key without subkeys, with its values (ERROR_ACCESS_DENIED while
// it has subkeys).
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);

// --- shell and windows --------------------------------------------------------
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5
#define SE_ERR_NOASSOC 31

// There is no shell to hand documents to: always fails with SE_ERR_NOASSOC.
HINSTANCE ShellExecuteA(HWND parent, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        INT showMode);
// No window of this process is ever active here: null.
HWND GetActiveWindow();
} // extern "C"

namespace posix {
// The variable behind GetLastError and SetLastError, for the platform's files.
extern thread_local DWORD lastError;
} // namespace posix

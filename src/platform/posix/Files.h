// The ANSI file functions of kernel32 for the POSIX platform. Names are
// Windows-1251 texts; they are converted to UTF-8 and backslashes become
// slashes before they reach the file system. File handles are kernel objects
// closed with CloseHandle. Share modes are enforced among the handles of this
// process, as Windows does: a conflicting open, and deleting or renaming away a
// file that an open handle does not share deleting, fail with
// ERROR_SHARING_VIOLATION; a rename never replaces a file that is open
// (ERROR_ACCESS_DENIED).
#pragma once

#include <optional>
#include <string>

#include "platform/posix/Errors.h"
#include "platform/posix/Types.h"

using LONGLONG = std::int64_t;
using PLONG = LONG*;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// Overlapped I/O is not supported: pass null.
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(-1))
#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFF))
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(-1))

#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_WRITE_THROUGH 0x00000008

extern "C" {
// Opens without ever waiting: a named pipe without a writer, say, is opened
// at once (as Wine opens it), and reads from it find nothing.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
// FILE_TYPE_DISK for a regular file, FILE_TYPE_CHAR for a character device,
// FILE_TYPE_PIPE for a pipe or a socket.
DWORD GetFileType(HANDLE file);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
// Fails with ERROR_INVALID_PARAMETER for what is neither a folder nor a
// regular file (a device, a pipe, a socket), as Wine answers for them.
DWORD GetFileAttributesA(LPCSTR fileName);
BOOL DeleteFileA(LPCSTR fileName);
BOOL MoveFileExA(LPCSTR existingName, LPCSTR newName, DWORD flags);
} // extern "C"

namespace posix {
// The UTF-8 path of a Windows-1251 file name, read as Windows reads one:
// backslashes become slashes and the last part loses its trailing blanks and
// dots ("a.wav. " is "a.wav"). A name with a character Windows allows in no
// file name (control characters, < > " | ? *) is none: nothing, and the
// thread's last error is ERROR_INVALID_NAME.
std::optional<std::string> PathFromAnsi(const char* name);
} // namespace posix

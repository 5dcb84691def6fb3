// Events, threads and the waits for them (kernel32) for the POSIX platform,
// with the documented Windows behaviour. Every waitable's state and every
// message queue is guarded by one lock, SyncMutex(); a wait blocks until the
// state it waits for holds, or until its time-out has passed on the
// platform's clock.
#pragma once

#include <functional>
#include <mutex>

#include "platform/posix/Clock.h"
#include "platform/posix/Handles.h"
#include "platform/posix/Types.h"

using LPHANDLE = HANDLE*;
// Defined with the file functions; events and threads take only a pointer.
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64

#define SYNCHRONIZE 0x00100000u
#define DUPLICATE_CLOSE_SOURCE 0x00000001u
#define DUPLICATE_SAME_ACCESS 0x00000002u

#define CREATE_SUSPENDED 0x00000004u
#define STILL_ACTIVE 259u
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID);

namespace posix {

// A kernel object that the Wait functions can wait for. Its signalled state
// is read and changed only while SyncMutex() is held; whoever changes it
// calls SyncChanged() so that waiting threads look again.
class Waitable : public KernelObject {
public:
    // Whether a wait for this object would be satisfied now.
    virtual bool IsSignalled() const = 0;
    // A wait has been satisfied by this object (an auto-reset event resets).
    virtual void Satisfy() {}
};

// The one lock over every waitable's state and every message queue.
std::mutex& SyncMutex();
// Wakes every thread blocked in a Wait or GetMessage function to re-check.
void SyncChanged();

// For the platform's own files:

// Blocks, SyncMutex() held through `lock`, until `ready` (read under the lock,
// without side effects; may be empty) holds, answering true, or until the
// platform clock reaches `deadline` (kNever: no time-out), answering false;
// a `ready` that holds as time runs out still counts. Under a virtual clock
// time moves only here: when every thread that has used the platform waits
// in this function, none of them is ready and no timed work is due, the clock
// jumps to the earliest deadline or timed work. Threads blocked elsewhere (a
// critical section, a C++ mutex, a join) hold the clock still, and so does a
// thread made by CreateThread from its creation (also while suspended).
bool SyncWaitUntil(std::unique_lock<std::mutex>& lock, Nanos deadline,
                   const std::function<bool()>& ready);
// SyncWaitUntil without a time-out.
void SyncWait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready);

// The platform's timed work (the simulated devices' thread), lock held:
// the platform time at which it is next due (kNever: never; now or earlier:
// at once, and a virtual clock waits for it). Wakes the timed work's wait.
void SetTimedWorkDue(Nanos when);
// The timed work's own wait, lock held: returns when `when` has come, or
// earlier when SetTimedWorkDue, a clock change or a spurious wake-up wakes
// it. Its thread never counts among the threads that hold a virtual clock.
void WaitForTimedWork(std::unique_lock<std::mutex>& lock, Nanos when);
// Wakes the timed work's wait (after a clock change), lock not held.
void WakeTimedWork();
// The wait of WaitForMultipleObjects and MsgWaitForMultipleObjects: for any
// or all of the handles and, when `input` is given, for it to hold (read
// under the lock); the input counts as object number `count`. The handles are
// checked here (WAIT_FAILED when one is not waitable), the count by the caller.
DWORD WaitForHandles(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds,
                     const std::function<bool()>& input);
// Sets an event, lock held; false when the handle is not an event. The caller
// wakes the waiting threads (SyncChanged) once it has let go of the lock.
bool SetEventLocked(HANDLE event);
// Called when a thread ends, lock not held: its message queue and windows go
// (Messages.cpp).
void ForgetThreadMessages(DWORD threadId);

} // namespace posix

extern "C" {
// Events and waits. Named events are not supported (CreateEventA fails).
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Threads and the process. The pseudo-handles stand for the caller's own
// thread and process; DuplicateHandle turns them into real, waitable handles.
HANDLE GetCurrentThread();
HANDLE GetCurrentProcess();
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target,
                     DWORD desiredAccess, BOOL inheritHandle, DWORD options);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId);
DWORD ResumeThread(HANDLE thread);
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
} // extern "C"

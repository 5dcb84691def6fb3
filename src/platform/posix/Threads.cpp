#include "platform/posix/Threads.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

namespace posix {
namespace {

using Lock = std::unique_lock<std::mutex>;

// A thread blocked in SyncWaitUntil.
struct Waiter {
    Nanos deadline;
    const std::function<bool()>* ready; // null: nothing but the deadline ends the wait
};

// The lock, the wake-up of every waiting thread and what a virtual clock
// needs to know. Never destroyed: detached threads may still use it while the
// process's statics are torn down.
struct Sync {
    std::mutex mutex;
    std::condition_variable changed;
    std::condition_variable timedWork;
    std::vector<Waiter*> waiters;
    int threads = 0; // threads that have used the platform and not ended
    Nanos timedWorkDue = kNever;
};

Sync& TheSync() {
    static Sync* sync = new Sync;
    return *sync;
}

// --- kernel objects -----------------------------------------------------------

class Event final : public Waitable {
public:
    Event(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}
    bool IsSignalled() const override { return signalled_; }
    void Satisfy() override {
        if (!manualReset_)
            signalled_ = false;
    }
    void Set(bool signalled) { signalled_ = signalled; }

private:
    const bool manualReset_;
    bool signalled_;
};

// A thread: signalled once it has ended.
class ThreadObject final : public Waitable {
public:
    explicit ThreadObject(DWORD id) : id(id) {}
    bool IsSignalled() const override { return finished; }

    const DWORD id;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD suspendCount = 0;
    int priority = THREAD_PRIORITY_NORMAL;
};

// The process: never signalled while anyone is there to wait for it.
class ProcessObject final : public Waitable {
public:
    bool IsSignalled() const override { return false; }
};

ProcessObject& TheProcess() {
    static ProcessObject* process = new ProcessObject;
    return *process;
}

bool IsPseudoThread(HANDLE h) {
    return reinterpret_cast<std::intptr_t>(h) == -2;
}

bool IsPseudoProcess(HANDLE h) {
    return reinterpret_cast<std::intptr_t>(h) == -1;
}

std::atomic<DWORD> nextThreadId{0x104};

DWORD NewThreadId() {
    return nextThreadId.fetch_add(4);
}

// --- the calling thread -----------------------------------------------------------

void EndThread(ThreadObject* thread, DWORD exitCode);

// The calling thread's object; made the first time a thread asks.
struct ThreadSlot {
    ThreadObject* thread = nullptr; // one reference, dropped when the thread ends
    ~ThreadSlot() {
        if (thread != nullptr)
            EndThread(thread, 0);
    }
};

thread_local ThreadSlot currentThread;

// One more thread that holds a virtual clock while it runs.
void CountThread(int change) {
    std::lock_guard lock(SyncMutex());
    TheSync().threads += change;
}

ThreadObject* Current() {
    if (currentThread.thread == nullptr) {
        currentThread.thread = new ThreadObject(NewThreadId());
        CountThread(1);
    }
    return currentThread.thread;
}

void EndThread(ThreadObject* thread, DWORD exitCode) {
    ForgetThreadMessages(thread->id);
    {
        std::lock_guard lock(SyncMutex());
        thread->finished = true;
        thread->exitCode = exitCode;
        --TheSync().threads;
    }
    SyncChanged();
    thread->Release();
}

// The waitable behind a handle, pseudo-handles included; null if none.
Waitable* ResolveWaitable(HANDLE h) {
    if (IsPseudoThread(h))
        return Current();
    if (IsPseudoProcess(h))
        return &TheProcess();
    return ObjectAs<Waitable>(h);
}

ThreadObject* ResolveThread(HANDLE h) {
    if (IsPseudoThread(h))
        return Current();
    return ObjectAs<ThreadObject>(h);
}

// Under a virtual clock, lock held: moves the clock to the earliest deadline
// or timed work when every platform thread waits, none is ready and no timed
// work is due. True when it moved.
bool AdvanceVirtualTime() {
    Sync& sync = TheSync();
    if (static_cast<int>(sync.waiters.size()) < sync.threads)
        return false;
    const Nanos now = ClockNow();
    if (sync.timedWorkDue <= now)
        return false;
    Nanos target = sync.timedWorkDue;
    for (const Waiter* waiter : sync.waiters) {
        if (waiter->ready != nullptr && (*waiter->ready)())
            return false;
        target = std::min(target, waiter->deadline);
    }
    if (target == kNever || target <= now)
        return false;
    AdvanceVirtualClock(target);
    sync.changed.notify_all();
    sync.timedWork.notify_all();
    return true;
}

// The common wait: objects (any or all of them) and, when `input` is given,
// its holding, which counts as object number objects.size().
DWORD Wait(const std::vector<Waitable*>& objects, bool waitAll, DWORD milliseconds,
           const std::function<bool()>& input) {
    const Nanos deadline =
        milliseconds == INFINITE ? kNever : ClockNow() + milliseconds * kNanosPerMilli;
    const auto count = static_cast<DWORD>(objects.size());
    // The index of the object (or count for the input) that ends the wait now, if any.
    const auto satisfied = [&]() -> DWORD {
        if (waitAll) {
            const bool all = std::all_of(objects.begin(), objects.end(),
                                         [](const Waitable* o) { return o->IsSignalled(); });
            return all && (!input || input()) ? 0 : WAIT_FAILED;
        }
        for (DWORD i = 0; i < count; ++i)
            if (objects[i]->IsSignalled())
                return i;
        return input && input() ? count : WAIT_FAILED;
    };
    Lock lock(SyncMutex());
    if (!SyncWaitUntil(lock, deadline, [&] { return satisfied() != WAIT_FAILED; }))
        return WAIT_TIMEOUT;
    const DWORD index = satisfied();
    if (waitAll) {
        for (Waitable* o : objects)
            o->Satisfy();
    } else if (index < count) {
        objects[index]->Satisfy();
    }
    return WAIT_OBJECT_0 + index;
}

// Resolves and holds the handles of a wait; false if one is not waitable.
class HeldObjects {
public:
    bool Hold(DWORD count, const HANDLE* handles) {
        for (DWORD i = 0; i < count; ++i) {
            Waitable* object = ResolveWaitable(handles[i]);
            if (object == nullptr)
                return false;
            object->AddRef();
            objects.push_back(object);
        }
        return true;
    }
    ~HeldObjects() {
        for (Waitable* object : objects)
            object->Release();
    }
    std::vector<Waitable*> objects;
};

} // namespace

std::mutex& SyncMutex() {
    return TheSync().mutex;
}

void SyncChanged() {
    TheSync().changed.notify_all();
}

bool SyncWaitUntil(std::unique_lock<std::mutex>& lock, Nanos deadline,
                   const std::function<bool()>& ready) {
    Sync& sync = TheSync();
    // Only a thread the platform knows can hold a virtual clock back.
    if (currentThread.thread == nullptr) {
        lock.unlock();
        Current();
        lock.lock();
    }
    Waiter self{deadline, ready ? &ready : nullptr};
    sync.waiters.push_back(&self);
    struct Leave {
        Sync& sync;
        Waiter* self;
        ~Leave() { std::erase(sync.waiters, self); }
    } leave{sync, &self};
    for (;;) {
        if (ready && ready())
            return true;
        const bool virtualClock = CurrentClockKind() == ClockKind::Virtual;
        const Nanos now = ClockNow();
        if (now >= deadline) {
            // Timed work due at the same moment runs first, so that what it
            // posts is there when the wait returns.
            if (!virtualClock || sync.timedWorkDue > now)
                return false;
            sync.changed.wait(lock);
        } else if (virtualClock) {
            if (!AdvanceVirtualTime())
                sync.changed.wait(lock);
        } else if (deadline == kNever) {
            sync.changed.wait(lock);
        } else {
            sync.changed.wait_until(lock, RealTimeAt(deadline));
        }
    }
}

void SyncWait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready) {
    SyncWaitUntil(lock, kNever, ready);
}

void SetTimedWorkDue(Nanos when) {
    Sync& sync = TheSync();
    sync.timedWorkDue = when;
    sync.timedWork.notify_all();
    // Waiters held back for the timed work look again.
    sync.changed.notify_all();
}

void WaitForTimedWork(std::unique_lock<std::mutex>& lock, Nanos when) {
    Sync& sync = TheSync();
    if (when == kNever || CurrentClockKind() == ClockKind::Virtual) {
        if (ClockNow() < when)
            sync.timedWork.wait(lock);
    } else {
        sync.timedWork.wait_until(lock, RealTimeAt(when));
    }
}

void WakeTimedWork() {
    std::lock_guard lock(SyncMutex());
    TheSync().timedWork.notify_all();
}

bool SetEventLocked(HANDLE event) {
    auto* object = ObjectAs<Event>(event);
    if (object == nullptr)
        return false;
    object->Set(true);
    return true;
}

DWORD WaitForHandles(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds,
                     const std::function<bool()>& input) {
    HeldObjects held;
    if (!held.Hold(count, handles))
        return WAIT_FAILED;
    return Wait(held.objects, waitAll, milliseconds, input);
}

} // namespace posix

using namespace posix;

// --- events and waits ---------------------------------------------------------

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                    LPCSTR name) {
    (void)attributes;
    if (name != nullptr && name[0] != '\0')
        return nullptr;
    return HandleFor(new Event(manualReset != FALSE, initialState != FALSE));
}

namespace {
BOOL SetEventState(HANDLE event, bool signalled) {
    auto* object = ObjectAs<Event>(event);
    if (object == nullptr)
        return FALSE;
    {
        std::lock_guard lock(SyncMutex());
        object->Set(signalled);
    }
    SyncChanged();
    return TRUE;
}
} // namespace

BOOL SetEvent(HANDLE event) {
    return SetEventState(event, true);
}

BOOL ResetEvent(HANDLE event) {
    return SetEventState(event, false);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr)
        return WAIT_FAILED;
    return WaitForHandles(count, handles, waitAll != FALSE, milliseconds, nullptr);
}

// --- threads and the process --------------------------------------------------

HANDLE GetCurrentThread() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));
}

HANDLE GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

DWORD GetCurrentThreadId() {
    return Current()->id;
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target,
                     DWORD desiredAccess, BOOL inheritHandle, DWORD options) {
    (void)desiredAccess;
    (void)inheritHandle;
    const auto isThisProcess = [](HANDLE h) {
        return IsPseudoProcess(h) || ObjectFromHandle(h) == &TheProcess();
    };
    if (!isThisProcess(sourceProcess) || (target != nullptr && !isThisProcess(targetProcess)))
        return FALSE;
    KernelObject* object = nullptr;
    if (IsPseudoThread(source))
        object = Current();
    else if (IsPseudoProcess(source))
        object = &TheProcess();
    else
        object = ObjectFromHandle(source);
    if (object == nullptr)
        return FALSE;
    if (target != nullptr) {
        object->AddRef();
        *target = HandleFor(object);
    }
    if ((options & DUPLICATE_CLOSE_SOURCE) != 0)
        CloseHandle(source);
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES attributes, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId) {
    (void)attributes;
    (void)stackSize;
    if (startAddress == nullptr)
        return nullptr;
    auto* thread = new ThreadObject(NewThreadId()); // the caller's reference
    thread->AddRef();                               // the running thread's own
    thread->suspendCount = (creationFlags & CREATE_SUSPENDED) != 0 ? 1 : 0;
    // Counted from now, so that a virtual clock waits for the thread to start.
    CountThread(1);
    try {
        std::thread([thread, startAddress, parameter] {
            {
                Lock lock(SyncMutex());
                TheSync().changed.wait(lock, [&] { return thread->suspendCount == 0; });
            }
            currentThread.thread = thread;
            const DWORD exitCode = startAddress(parameter);
            currentThread.thread = nullptr;
            EndThread(thread, exitCode);
        }).detach();
    } catch (...) {
        CountThread(-1);
        thread->Release();
        thread->Release();
        return nullptr;
    }
    if (threadId != nullptr)
        *threadId = thread->id;
    return HandleFor(thread);
}

DWORD ResumeThread(HANDLE thread) {
    ThreadObject* object = ResolveThread(thread);
    if (object == nullptr)
        return static_cast<DWORD>(-1);
    DWORD previous = 0;
    {
        std::lock_guard lock(SyncMutex());
        previous = object->suspendCount;
        if (object->suspendCount > 0)
            --object->suspendCount;
    }
    SyncChanged();
    return previous;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    ThreadObject* object = ResolveThread(thread);
    if (object == nullptr)
        return FALSE;
    // Recorded only: ordinary POSIX threads may not raise their priority.
    std::lock_guard lock(SyncMutex());
    object->priority = priority;
    return TRUE;
}

int GetThreadPriority(HANDLE thread) {
    ThreadObject* object = ResolveThread(thread);
    if (object == nullptr)
        return THREAD_PRIORITY_ERROR_RETURN;
    std::lock_guard lock(SyncMutex());
    return object->priority;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    ThreadObject* object = ResolveThread(thread);
    if (object == nullptr || exitCode == nullptr)
        return FALSE;
    std::lock_guard lock(SyncMutex());
    *exitCode = object->finished ? object->exitCode : STILL_ACTIVE;
    return TRUE;
}

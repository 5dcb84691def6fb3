// The callback channel of the device objects: the hidden window (one window
// class for all of them) or the callback thread to which the driver posts its
// notifications, posting to it, and the waits that dispatch its messages.
#include <cstdio>
#include <mutex>
#include <new>

#include "wave/WaveCore.h"
#include "wave/WaveIO.h"

using wavecore::Remaining;

namespace {

// One window class for every callback window of this copy of the engine,
// registered while windows exist and unregistered with the last one, so that
// a library unloaded and loaded again never finds a class whose window
// procedure is gone. The name carries an address of this copy, so that two
// copies in one process (a program and a library) keep their own classes.
// The lock is never destroyed (the unload uses it, and with MinGW's threads
// a std::mutex has a destructor that may run before), and it lives in the
// library's own memory, so that nothing of it outlives an unloaded library.
std::mutex& ClassLock() {
    alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
    static auto* lock = new (storage) std::mutex;
    return *lock;
}
int theClassUsers = 0;
char theClassName[48];

bool AcquireWindowClass(WNDPROC proc) {
    const std::lock_guard<std::mutex> guard(ClassLock());
    if (theClassUsers == 0) {
        std::snprintf(theClassName, sizeof theClassName, "TonvaldWaveCallback%p",
                      static_cast<void*>(&theClassUsers));
        WNDCLASSA wc{};
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = theClassName;
        if (RegisterClassA(&wc) == 0)
            return false;
    }
    ++theClassUsers;
    return true;
}

void ReleaseWindowClass() {
    const std::lock_guard<std::mutex> guard(ClassLock());
    if (theClassUsers > 0 && --theClassUsers == 0)
        UnregisterClassA(theClassName, GetModuleHandleA(nullptr));
}

} // namespace

// --- the callback thread ----------------------------------------------------------

// The thread object is shared by the device object and the thread: each side
// drops its reference when done with it, and the last one frees it. The
// device object waits for `loopLeft` before it may go away: after that the
// thread no longer touches it.
struct TWaveAudioIO::TWaveThread {
    TWaveAudioIO* owner = nullptr;
    HANDLE handle = nullptr;
    DWORD id = 0;
    HANDLE ready = nullptr;
    HANDLE loopLeft = nullptr;
    std::atomic<bool> quit{false};
    std::atomic<int> references{2};

    static void Drop(TWaveThread* thread) {
        if (thread->references.fetch_sub(1) != 1)
            return;
        for (HANDLE h : {thread->ready, thread->loopLeft, thread->handle})
            if (h != nullptr)
                CloseHandle(h);
        delete thread;
    }
};

DWORD WINAPI TWaveAudioIO::ThreadProc(LPVOID parameter) {
    auto* thread = static_cast<TWaveThread*>(parameter);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue exists from here
    SetEvent(thread->ready);
    while (!thread->quit && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!thread->quit)
            thread->owner->HandleDeviceMessage(msg.message, msg.lParam);
    }
    SetEvent(thread->loopLeft);
    TWaveThread::Drop(thread);
    return 0;
}

bool TWaveAudioIO::OnCallbackThread() const {
    return thread_ != nullptr && thread_->id == GetCurrentThreadId();
}

// Ends the callback thread: on that thread itself, by letting it leave its
// loop once the current handler returns; from another thread, by waiting
// (bounded) until it has left its loop. Should it not, thread_ stays set.
void TWaveAudioIO::JoinThread(DWORD timeout) {
    TWaveThread* thread = thread_;
    if (thread == nullptr)
        return;
    thread->quit = true;
    if (thread->id != GetCurrentThreadId()) {
        PostThreadMessageA(thread->id, WM_QUIT, 0, 0);
        if (WaitForSingleObject(thread->loopLeft, timeout) != WAIT_OBJECT_0)
            return; // still inside a handler of ours: keep it (and us)
    }
    thread_ = nullptr;
    TWaveThread::Drop(thread);
}

// --- the window, posting and waiting ------------------------------------------------

LRESULT CALLBACK TWaveAudioIO::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* device = reinterpret_cast<TWaveAudioIO*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (device != nullptr && device->HandleDeviceMessage(message, lParam))
        return 0;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool TWaveAudioIO::AllocateCallback() {
    if (!async_) {
        callbackType_ = CALLBACK_WINDOW;
        if (!AcquireWindowClass(&WindowProc))
            return false;
        HWND hwnd = CreateWindowExA(0, theClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        if (hwnd == nullptr) {
            ReleaseWindowClass();
            return false;
        }
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        callback_ = reinterpret_cast<DWORD_PTR>(hwnd);
        return true;
    }
    callbackType_ = CALLBACK_THREAD;
    JoinThread(kWaveNotificationWaitMs); // the thread of the previous run, on its way out
    if (thread_ != nullptr)
        return false;
    auto* thread = new TWaveThread;
    thread->owner = this;
    thread->ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread->loopLeft = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (thread->ready != nullptr && thread->loopLeft != nullptr)
        thread->handle =
            CreateThread(nullptr, 0, &ThreadProc, thread, CREATE_SUSPENDED, &thread->id);
    if (thread->handle == nullptr) {
        thread->references = 1;
        TWaveThread::Drop(thread);
        return false;
    }
    SetThreadPriority(thread->handle, THREAD_PRIORITY_ABOVE_NORMAL);
    thread_ = thread;
    ResumeThread(thread->handle);
    // No notification may be posted before the thread has its queue.
    if (WaitPumpingMessages(thread->ready, kWaveNotificationWaitMs) != WAIT_OBJECT_0) {
        JoinThread(kWaveNotificationWaitMs);
        return false;
    }
    callback_ = thread->id;
    return true;
}

void TWaveAudioIO::ReleaseCallback() {
    const DWORD_PTR callback = callback_.exchange(0);
    if (callback == 0)
        return;
    if (callbackType_ == CALLBACK_THREAD) {
        if (thread_ != nullptr) {
            thread_->quit = true;
            PostThreadMessageA(thread_->id, WM_QUIT, 0, 0);
        }
        return;
    }
    HWND hwnd = reinterpret_cast<HWND>(callback);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    if (!DestroyWindow(hwnd)) {
        // Not this thread's window: it stays, but never reaches us again.
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
    }
    ReleaseWindowClass();
}

bool TWaveAudioIO::PostToCallback(UINT message, LPARAM lParam) {
    const DWORD_PTR callback = callback_;
    if (callback == 0)
        return false;
    if (callbackType_ == CALLBACK_WINDOW)
        return PostMessageA(reinterpret_cast<HWND>(callback), message, 0, lParam) != FALSE;
    const DWORD start = GetTickCount();
    while (!PostThreadMessageA(static_cast<DWORD>(callback), message, 0, lParam)) {
        if (Remaining(start, kWaveNotificationWaitMs) == 0)
            return false;
        Sleep(0);
    }
    return true;
}

void TWaveAudioIO::WaitOwnQueue(DWORD deadline) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, deadline, QS_ALLPOSTMESSAGE);
        return;
    }
    if (msg.message != WM_QUIT)
        HandleDeviceMessage(msg.message, msg.lParam);
}

void TWaveAudioIO::WaitForClose() {
    if (Busy())
        return; // the close is deferred until the event in progress returns
    const DWORD start = GetTickCount();
    while (callback_ != 0) {
        const DWORD left = Remaining(start, kWaveNotificationWaitMs);
        if (left == 0)
            return;
        if (callbackType_ == CALLBACK_THREAD) {
            if (OnCallbackThread())
                WaitOwnQueue(left);
            else if (thread_ != nullptr)
                WaitPumpingMessages(thread_->loopLeft, left);
            else
                return;
            continue;
        }
        HWND hwnd = reinterpret_cast<HWND>(callback_.load());
        MSG msg;
        if (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam)); // it is the host's
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLPOSTMESSAGE);
        }
    }
}

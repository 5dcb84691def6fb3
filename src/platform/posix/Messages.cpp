#include "platform/posix/Messages.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace posix {
namespace {

using Clock = std::chrono::steady_clock;
using Lock = std::unique_lock<std::mutex>;

// The lock and the wake-up of every waiting thread. Never destroyed: detached
// threads may still use it while the process's statics are torn down.
struct Sync {
    std::mutex mutex;
    std::condition_variable changed;
};

Sync& TheSync() {
    static Sync* sync = new Sync;
    return *sync;
}

DWORD TickNow() {
    static const Clock::time_point start = Clock::now();
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
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

// --- threads, queues and windows ------------------------------------------------

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

struct ThreadState {
    DWORD id = 0;
    ThreadObject* thread = nullptr; // one reference, dropped when the thread ends
    bool hasQueue = false;
    std::deque<MSG> posted;
    std::deque<SentMessage*> sent;
    bool quit = false;
    int quitCode = 0;
    DWORD changed = 0; // QS_* kinds that arrived since the queue was last looked at
};

struct WindowClass {
    std::string name;
    std::string key; // the name in lower case: class names ignore case
    WNDCLASSA info{};
    ATOM atom = 0;
    int windows = 0;
};

struct Window {
    HWND handle = nullptr;
    DWORD owner = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HWND parent = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<unsigned char> extra;
    WindowClass* windowClass = nullptr;
    bool destroying = false;
};

// Everything below is guarded by SyncMutex().
struct Registry {
    std::unordered_map<DWORD, ThreadState*> threads;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows;
    std::vector<std::unique_ptr<WindowClass>> classes;
    std::uintptr_t nextWindow = 0x10024;
    ATOM nextAtom = 0xC000;
};

Registry& Reg() {
    static Registry* registry = new Registry;
    return *registry;
}

void EndThread(ThreadState* state, DWORD exitCode);

// The calling thread's state; made the first time a thread asks.
struct ThreadSlot {
    ThreadState* state = nullptr;
    ~ThreadSlot() {
        if (state != nullptr)
            EndThread(state, 0);
    }
};

thread_local ThreadSlot currentThread;

// Makes `thread` the calling thread's identity. Lock not held.
ThreadState* Attach(ThreadObject* thread) {
    auto* state = new ThreadState;
    state->id = thread->id;
    state->thread = thread;
    {
        std::lock_guard lock(SyncMutex());
        Reg().threads[state->id] = state;
    }
    currentThread.state = state;
    return state;
}

// Lock not held.
ThreadState* Current() {
    if (currentThread.state == nullptr)
        Attach(new ThreadObject(NewThreadId()));
    return currentThread.state;
}

// Lock not held.
ThreadState* CurrentWithQueue() {
    ThreadState* state = Current();
    std::lock_guard lock(SyncMutex());
    state->hasQueue = true;
    return state;
}

std::shared_ptr<Window> FindWindowLocked(HWND hwnd) {
    auto& windows = Reg().windows;
    const auto it = windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    return it == windows.end() ? nullptr : it->second;
}

// Forgets a window; lock held. Its queued messages go with it, and senders
// waiting for it are answered 0.
void RemoveWindowLocked(const std::shared_ptr<Window>& window) {
    Registry& reg = Reg();
    reg.windows.erase(reinterpret_cast<std::uintptr_t>(window->handle));
    --window->windowClass->windows;
    const auto owner = reg.threads.find(window->owner);
    if (owner == reg.threads.end())
        return;
    auto& posted = owner->second->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [&](const MSG& m) { return m.hwnd == window->handle; }),
                 posted.end());
    auto& sent = owner->second->sent;
    for (auto it = sent.begin(); it != sent.end();) {
        if ((*it)->hwnd == window->handle) {
            (*it)->done = true;
            it = sent.erase(it);
        } else {
            ++it;
        }
    }
}

void EndThread(ThreadState* state, DWORD exitCode) {
    std::vector<std::shared_ptr<Window>> windows; // released after the lock
    {
        std::lock_guard lock(SyncMutex());
        Registry& reg = Reg();
        for (const auto& [handle, window] : reg.windows)
            if (window->owner == state->id)
                windows.push_back(window);
        for (const auto& window : windows)
            RemoveWindowLocked(window);
        reg.threads.erase(state->id);
        for (SentMessage* message : state->sent)
            message->done = true;
        state->thread->finished = true;
        state->thread->exitCode = exitCode;
    }
    SyncChanged();
    state->thread->Release();
    delete state;
}

void PostLocked(ThreadState* state, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    state->posted.push_back(MSG{hwnd, message, wParam, lParam, TickNow(), POINT{0, 0}});
    state->changed |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
}

LRESULT CallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        std::lock_guard lock(SyncMutex());
        if (const auto window = FindWindowLocked(hwnd))
            proc = window->proc;
    }
    return proc == nullptr ? 0 : proc(hwnd, message, wParam, lParam);
}

// Runs the window procedures for messages other threads sent to this one.
void DeliverSent(ThreadState* state) {
    for (;;) {
        SentMessage* message = nullptr;
        {
            std::lock_guard lock(SyncMutex());
            if (state->sent.empty())
                return;
            message = state->sent.front();
            state->sent.pop_front();
        }
        const LRESULT result =
            CallProc(message->hwnd, message->message, message->wParam, message->lParam);
        {
            std::lock_guard lock(SyncMutex());
            message->result = result;
            message->done = true;
        }
        SyncChanged();
    }
}

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));

bool Matches(const MSG& m, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (hwnd == kThreadMessagesOnly) {
        if (m.hwnd != nullptr)
            return false;
    } else if (hwnd != nullptr && m.hwnd != hwnd) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0)
        return true;
    return m.message >= filterMin && m.message <= filterMax;
}

// The next message for the filters, lock held: posted messages in order, then
// the quit mark (whatever the filters).
bool TakeLocked(ThreadState* state, MSG* out, HWND hwnd, UINT filterMin, UINT filterMax,
                bool remove) {
    state->changed = 0;
    for (auto it = state->posted.begin(); it != state->posted.end(); ++it) {
        if (Matches(*it, hwnd, filterMin, filterMax)) {
            *out = *it;
            if (remove)
                state->posted.erase(it);
            return true;
        }
    }
    if (state->quit) {
        *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(state->quitCode), 0, TickNow(), {0, 0}};
        if (remove)
            state->quit = false;
        return true;
    }
    return false;
}

// The waitable behind a handle, pseudo-handles included; null if none.
// Lock not held.
Waitable* ResolveWaitable(HANDLE h) {
    if (IsPseudoThread(h))
        return Current()->thread;
    if (IsPseudoProcess(h))
        return &TheProcess();
    return ObjectAs<Waitable>(h);
}

ThreadObject* ResolveThread(HANDLE h) {
    if (IsPseudoThread(h))
        return Current()->thread;
    return ObjectAs<ThreadObject>(h);
}

// The common wait: objects (any or all of them) and, when `input` is given,
// the arrival of queued input, which counts as object number objects.size().
DWORD Wait(const std::vector<Waitable*>& objects, bool waitAll, DWORD milliseconds,
           ThreadState* queue, DWORD wakeMask) {
    const bool infinite = milliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    const auto count = static_cast<DWORD>(objects.size());
    Lock lock(SyncMutex());
    for (;;) {
        const bool input = queue != nullptr && (queue->changed & wakeMask) != 0;
        if (waitAll) {
            const bool all = std::all_of(objects.begin(), objects.end(),
                                         [](const Waitable* o) { return o->IsSignalled(); });
            if (all && (queue == nullptr || input)) {
                for (Waitable* o : objects)
                    o->Satisfy();
                return WAIT_OBJECT_0;
            }
        } else {
            for (DWORD i = 0; i < count; ++i) {
                if (objects[i]->IsSignalled()) {
                    objects[i]->Satisfy();
                    return WAIT_OBJECT_0 + i;
                }
            }
            if (input)
                return WAIT_OBJECT_0 + count;
        }
        if (infinite) {
            TheSync().changed.wait(lock);
        } else {
            // Checked after a last look at the objects, so that a state that
            // changed just as time ran out still counts.
            if (Clock::now() >= deadline)
                return WAIT_TIMEOUT;
            TheSync().changed.wait_until(lock, deadline);
        }
    }
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

std::string Lower(const char* text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsAtom(LPCSTR name) {
    return reinterpret_cast<std::uintptr_t>(name) < 0x10000;
}

// A class by atom or by name; a class of the same instance comes first.
WindowClass* FindClassLocked(LPCSTR name, HINSTANCE instance) {
    WindowClass* any = nullptr;
    const std::string key = IsAtom(name) ? std::string() : Lower(name);
    for (const auto& c : Reg().classes) {
        const bool named =
            IsAtom(name) ? c->atom == static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name))
                         : c->key == key;
        if (!named)
            continue;
        if (c->info.hInstance == instance)
            return c.get();
        if (any == nullptr)
            any = c.get();
    }
    return any;
}

} // namespace

std::mutex& SyncMutex() {
    return TheSync().mutex;
}

void SyncChanged() {
    TheSync().changed.notify_all();
}

} // namespace posix

using namespace posix;

// --- messages -----------------------------------------------------------------

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(SyncMutex());
        const auto it = Reg().threads.find(threadId);
        if (it == Reg().threads.end() || !it->second->hasQueue)
            return FALSE;
        PostLocked(it->second, nullptr, message, wParam, lParam);
    }
    SyncChanged();
    return TRUE;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == nullptr)
        return PostThreadMessageA(CurrentWithQueue()->id, message, wParam, lParam);
    {
        std::lock_guard lock(SyncMutex());
        const auto window = FindWindowLocked(hwnd);
        if (window == nullptr)
            return FALSE;
        const auto owner = Reg().threads.find(window->owner);
        if (owner == Reg().threads.end())
            return FALSE;
        PostLocked(owner->second, hwnd, message, wParam, lParam);
    }
    SyncChanged();
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ThreadState* self = CurrentWithQueue();
    SentMessage sent{hwnd, message, wParam, lParam};
    bool direct = false;
    {
        std::lock_guard lock(SyncMutex());
        const auto window = FindWindowLocked(hwnd);
        if (window == nullptr)
            return 0;
        if (window->owner != self->id) {
            const auto owner = Reg().threads.find(window->owner);
            if (owner == Reg().threads.end())
                return 0;
            owner->second->sent.push_back(&sent);
            owner->second->changed |= QS_SENDMESSAGE;
        } else {
            direct = true;
        }
    }
    if (direct)
        return CallProc(hwnd, message, wParam, lParam);
    SyncChanged();
    for (;;) {
        // Whatever is sent to this thread meanwhile is handled while it waits.
        DeliverSent(self);
        Lock lock(SyncMutex());
        if (sent.done)
            return sent.result;
        if (!self->sent.empty())
            continue;
        TheSync().changed.wait(lock, [&] { return sent.done || !self->sent.empty(); });
        if (sent.done)
            return sent.result;
    }
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (msg == nullptr)
        return FALSE;
    ThreadState* self = CurrentWithQueue();
    DeliverSent(self);
    std::lock_guard lock(SyncMutex());
    return TakeLocked(self, msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE
                                                                                           : FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (msg == nullptr)
        return -1;
    ThreadState* self = CurrentWithQueue();
    if (hwnd != nullptr && hwnd != kThreadMessagesOnly && !IsWindow(hwnd))
        return -1;
    for (;;) {
        DeliverSent(self);
        Lock lock(SyncMutex());
        if (TakeLocked(self, msg, hwnd, filterMin, filterMax, true))
            return msg->message == WM_QUIT ? FALSE : TRUE;
        TheSync().changed.wait(lock, [&] { return self->changed != 0 || !self->sent.empty(); });
    }
}

BOOL TranslateMessage(const MSG* msg) {
    // There is no keyboard: no key message ever needs characters made from it.
    (void)msg;
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr)
        return 0;
    const DWORD self = GetCurrentThreadId();
    WNDPROC proc = nullptr;
    {
        std::lock_guard lock(SyncMutex());
        const auto window = FindWindowLocked(msg->hwnd);
        if (window == nullptr || window->owner != self)
            return 0;
        proc = window->proc;
    }
    return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
    ThreadState* self = CurrentWithQueue();
    {
        std::lock_guard lock(SyncMutex());
        self->quit = true;
        self->quitCode = exitCode;
        self->changed |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    }
    SyncChanged();
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask) {
    if (count >= MAXIMUM_WAIT_OBJECTS || (count > 0 && handles == nullptr))
        return WAIT_FAILED;
    ThreadState* self = CurrentWithQueue();
    HeldObjects held;
    if (!held.Hold(count, handles))
        return WAIT_FAILED;
    return Wait(held.objects, waitAll != FALSE, milliseconds, self, wakeMask);
}

// --- windows ------------------------------------------------------------------

ATOM RegisterClassA(const WNDCLASSA* wndClass) {
    if (wndClass == nullptr || wndClass->lpfnWndProc == nullptr ||
        wndClass->lpszClassName == nullptr || IsAtom(wndClass->lpszClassName) ||
        wndClass->lpszClassName[0] == '\0' || wndClass->cbWndExtra < 0 || wndClass->cbClsExtra < 0)
        return 0;
    std::lock_guard lock(SyncMutex());
    Registry& reg = Reg();
    const std::string key = Lower(wndClass->lpszClassName);
    for (const auto& c : reg.classes)
        if (c->key == key && c->info.hInstance == wndClass->hInstance)
            return 0;
    auto entry = std::make_unique<WindowClass>();
    entry->name = wndClass->lpszClassName;
    entry->key = key;
    entry->info = *wndClass;
    entry->info.lpszClassName = entry->name.c_str();
    entry->info.lpszMenuName = nullptr;
    entry->atom = reg.nextAtom++;
    const ATOM atom = entry->atom;
    reg.classes.push_back(std::move(entry));
    return atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    if (className == nullptr)
        return FALSE;
    std::lock_guard lock(SyncMutex());
    WindowClass* found = FindClassLocked(className, instance);
    if (found == nullptr || found->windows > 0)
        return FALSE;
    auto& classes = Reg().classes;
    classes.erase(std::find_if(classes.begin(), classes.end(),
                               [&](const auto& c) { return c.get() == found; }));
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    if (className == nullptr)
        return nullptr;
    ThreadState* self = CurrentWithQueue();
    HWND hwnd = nullptr;
    {
        std::lock_guard lock(SyncMutex());
        WindowClass* windowClass = FindClassLocked(className, instance);
        if (windowClass == nullptr)
            return nullptr;
        auto window = std::make_shared<Window>();
        Registry& reg = Reg();
        hwnd = reinterpret_cast<HWND>(reg.nextWindow);
        reg.nextWindow += 4;
        window->handle = hwnd;
        window->owner = self->id;
        window->proc = windowClass->info.lpfnWndProc;
        window->instance = instance;
        window->parent = parent == HWND_MESSAGE ? nullptr : parent;
        window->extra.assign(static_cast<std::size_t>(windowClass->info.cbWndExtra), 0);
        window->windowClass = windowClass;
        ++windowClass->windows;
        reg.windows[reinterpret_cast<std::uintptr_t>(hwnd)] = window;
    }
    CREATESTRUCTA create{
        param,      instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        windowName, className, exStyle};
    if (SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == 0) {
        SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
        std::lock_guard lock(SyncMutex());
        if (const auto window = FindWindowLocked(hwnd))
            RemoveWindowLocked(window);
        return nullptr;
    }
    if (SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    const DWORD self = GetCurrentThreadId();
    {
        std::lock_guard lock(SyncMutex());
        const auto window = FindWindowLocked(hwnd);
        if (window == nullptr || window->owner != self)
            return FALSE;
        if (window->destroying)
            return TRUE;
        window->destroying = true;
    }
    CallProc(hwnd, WM_DESTROY, 0, 0);
    CallProc(hwnd, WM_NCDESTROY, 0, 0);
    {
        std::lock_guard lock(SyncMutex());
        if (const auto window = FindWindowLocked(hwnd))
            RemoveWindowLocked(window);
    }
    SyncChanged();
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    std::lock_guard lock(SyncMutex());
    return FindWindowLocked(hwnd) != nullptr ? TRUE : FALSE;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    (void)lParam;
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    default:
        return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return proc == nullptr ? 0 : proc(hwnd, message, wParam, lParam);
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    std::lock_guard lock(SyncMutex());
    const auto window = FindWindowLocked(hwnd);
    if (window == nullptr)
        return 0;
    switch (index) {
    case GWLP_USERDATA:
        return window->userData;
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(window->parent);
    case GWLP_ID:
        return window->id;
    default:
        break;
    }
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > window->extra.size())
        return 0;
    LONG_PTR value = 0;
    std::memcpy(&value, window->extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    std::lock_guard lock(SyncMutex());
    const auto window = FindWindowLocked(hwnd);
    if (window == nullptr)
        return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_USERDATA:
        previous = window->userData;
        window->userData = value;
        return previous;
    case GWLP_WNDPROC:
        if (value == 0)
            return 0;
        previous = reinterpret_cast<LONG_PTR>(window->proc);
        window->proc = reinterpret_cast<WNDPROC>(value);
        return previous;
    case GWLP_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(window->instance);
        window->instance = reinterpret_cast<HINSTANCE>(value);
        return previous;
    case GWLP_ID:
        previous = window->id;
        window->id = value;
        return previous;
    default:
        break;
    }
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > window->extra.size())
        return 0;
    std::memcpy(&previous, window->extra.data() + index, sizeof previous);
    std::memcpy(window->extra.data() + index, &value, sizeof value);
    return previous;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    std::lock_guard lock(SyncMutex());
    const auto window = FindWindowLocked(hwnd);
    if (window == nullptr)
        return 0;
    if (processId != nullptr)
        *processId = GetCurrentProcessId();
    return window->owner;
}

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
    HeldObjects held;
    if (!held.Hold(count, handles))
        return WAIT_FAILED;
    return Wait(held.objects, waitAll != FALSE, milliseconds, nullptr, 0);
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
        object = Current()->thread;
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
    try {
        std::thread([thread, startAddress, parameter] {
            {
                Lock lock(SyncMutex());
                TheSync().changed.wait(lock, [&] { return thread->suspendCount == 0; });
            }
            ThreadState* state = Attach(thread);
            const DWORD exitCode = startAddress(parameter);
            currentThread.state = nullptr;
            EndThread(state, exitCode);
        }).detach();
    } catch (...) {
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

#include "platform/posix/Messages.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/posix/Kernel.h"

namespace posix {
namespace {

using Lock = std::unique_lock<std::mutex>;

// --- queues and windows ------------------------------------------------------

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

// A thread's message queue.
struct ThreadState {
    DWORD id = 0;
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
    std::unordered_map<DWORD, ThreadState*> threads; // the threads that have a queue
    std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows;
    std::vector<std::unique_ptr<WindowClass>> classes;
    std::uintptr_t nextWindow = 0x10024;
    ATOM nextAtom = 0xC000;
};

Registry& Reg() {
    static Registry* registry = new Registry;
    return *registry;
}

// The calling thread's queue, once it has one.
thread_local ThreadState* currentQueue = nullptr;

// The calling thread's queue, made the first time. Lock not held.
ThreadState* CurrentWithQueue() {
    if (currentQueue == nullptr) {
        auto* state = new ThreadState;
        state->id = GetCurrentThreadId();
        std::lock_guard lock(SyncMutex());
        Reg().threads[state->id] = state;
        currentQueue = state;
    }
    return currentQueue;
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

void PostLocked(ThreadState* state, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    state->posted.push_back(MSG{hwnd, message, wParam, lParam, GetTickCount(), POINT{0, 0}});
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
        *out =
            MSG{nullptr, WM_QUIT, static_cast<WPARAM>(state->quitCode), 0, GetTickCount(), {0, 0}};
        if (remove)
            state->quit = false;
        return true;
    }
    return false;
}

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

bool PostMessageLocked(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto window = FindWindowLocked(hwnd);
    if (window == nullptr)
        return false;
    const auto owner = Reg().threads.find(window->owner);
    if (owner == Reg().threads.end())
        return false;
    PostLocked(owner->second, hwnd, message, wParam, lParam);
    return true;
}

bool IsWindowLocked(HWND hwnd) {
    return FindWindowLocked(hwnd) != nullptr;
}

bool PostThreadMessageLocked(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto it = Reg().threads.find(threadId);
    if (it == Reg().threads.end())
        return false;
    PostLocked(it->second, nullptr, message, wParam, lParam);
    return true;
}

void ForgetThreadMessages(DWORD threadId) {
    std::vector<std::shared_ptr<Window>> windows; // released after the lock
    {
        std::lock_guard lock(SyncMutex());
        Registry& reg = Reg();
        for (const auto& [handle, window] : reg.windows)
            if (window->owner == threadId)
                windows.push_back(window);
        for (const auto& window : windows)
            RemoveWindowLocked(window);
        const auto queue = reg.threads.find(threadId);
        if (queue != reg.threads.end()) {
            for (SentMessage* message : queue->second->sent)
                message->done = true;
            if (currentQueue == queue->second)
                currentQueue = nullptr;
            delete queue->second;
            reg.threads.erase(queue);
        }
    }
    SyncChanged();
}

} // namespace posix

using namespace posix;

// --- messages -----------------------------------------------------------------

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(SyncMutex());
        if (!PostThreadMessageLocked(threadId, message, wParam, lParam))
            return FALSE;
    }
    SyncChanged();
    return TRUE;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == nullptr)
        return PostThreadMessageA(CurrentWithQueue()->id, message, wParam, lParam);
    {
        std::lock_guard lock(SyncMutex());
        if (!PostMessageLocked(hwnd, message, wParam, lParam))
            return FALSE;
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
        SyncWait(lock, [&] { return sent.done || !self->sent.empty(); });
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
        SyncWait(lock, [&] { return self->changed != 0 || !self->sent.empty(); });
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
    return WaitForHandles(count, handles, waitAll != FALSE, milliseconds,
                          [self, wakeMask] { return (self->changed & wakeMask) != 0; });
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

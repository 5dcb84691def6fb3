#include "WindowDriver.h"

#include <atomic>
#include <thread>
#include <vector>

namespace driver {
namespace {

struct Search {
    const std::string* caption = nullptr;
    HWND owner = nullptr;
    HWND found = nullptr;
};

bool IsDialogOfThisProcess(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    return process == GetCurrentProcessId() && IsWindowVisible(window) &&
           std::string(className) == "#32770";
}

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<Search*>(param);
    if (!IsDialogOfThisProcess(window))
        return TRUE;
    if (search.caption != nullptr && Text(window) != *search.caption)
        return TRUE;
    if (search.owner != nullptr &&
        (window == search.owner || GetWindow(window, GW_OWNER) != search.owner))
        return TRUE;
    search.found = window;
    return FALSE;
}

HWND Find(Search search, DWORD timeout) {
    WaitUntil(
        [&] {
            search.found = nullptr;
            EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout);
    return search.found;
}

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
    if (IsDialogOfThisProcess(window))
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(10);
    }
    return true;
}

HWND WaitForDialog(const std::string& caption, DWORD timeout) {
    Search search;
    search.caption = &caption;
    return Find(search, timeout);
}

HWND WaitForOwnedDialog(HWND owner, DWORD timeout) {
    Search search;
    search.owner = owner;
    return Find(search, timeout);
}

std::string Text(HWND window) {
    std::vector<char> text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1);
    const int n = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return std::string(text.data(), static_cast<std::size_t>(n));
}

void SetText(HWND window, const std::string& text) {
    SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

HWND Focus(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

void Click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

void PostKey(HWND dialog, unsigned key, bool down) {
    HWND target = Focus(dialog);
    if (target == nullptr)
        target = dialog;
    const LPARAM flags = down ? 1 : static_cast<LPARAM>(0xC0000001u);
    PostMessageA(target, down ? WM_KEYDOWN : WM_KEYUP, key, flags);
}

int Drive(const std::function<void()>& script, const std::function<int()>& run) {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        script();
        while (!returned) {
            EnumWindows(&CloseDialog, 0);
            Sleep(100);
        }
    });
    const int result = run();
    returned = true;
    worker.join();
    return result;
}

} // namespace driver

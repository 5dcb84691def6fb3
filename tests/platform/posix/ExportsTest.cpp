// The platform library stands where kernel32, user32, winmm and msacm32
// stand on Windows: a host written in any language must find its functions
// by their Windows names.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "platform/Platform.h"

namespace {

TEST(PlatformExports, FunctionsAreFoundByTheirWindowsNames) {
    void* library = dlopen("libtvplatform.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto find = [&](const char* name) { return dlsym(library, name); };
    EXPECT_EQ(find("PeekMessageA"), reinterpret_cast<void*>(&PeekMessageA));
    EXPECT_EQ(find("TranslateMessage"), reinterpret_cast<void*>(&TranslateMessage));
    EXPECT_EQ(find("DispatchMessageA"), reinterpret_cast<void*>(&DispatchMessageA));
    EXPECT_EQ(find("GlobalFree"), reinterpret_cast<void*>(&GlobalFree));
    EXPECT_EQ(find("mmioOpenA"), reinterpret_cast<void*>(&mmioOpenA));
    EXPECT_EQ(find("acmStreamOpen"), reinterpret_cast<void*>(&acmStreamOpen));
    EXPECT_EQ(find("waveOutOpen"), reinterpret_cast<void*>(&waveOutOpen));
    EXPECT_EQ(find("waveOutGetPosition"), reinterpret_cast<void*>(&waveOutGetPosition));
    EXPECT_EQ(find("waveInAddBuffer"), reinterpret_cast<void*>(&waveInAddBuffer));
    EXPECT_EQ(find("waveInGetErrorTextA"), reinterpret_cast<void*>(&waveInGetErrorTextA));
    EXPECT_EQ(find("GetTickCount"), reinterpret_cast<void*>(&GetTickCount));
    EXPECT_EQ(find("GetLastError"), reinterpret_cast<void*>(&GetLastError));
    EXPECT_EQ(find("VirtualAlloc"), reinterpret_cast<void*>(&VirtualAlloc));
    EXPECT_EQ(find("CreateThread"), reinterpret_cast<void*>(&CreateThread));
    EXPECT_EQ(find("MsgWaitForMultipleObjects"),
              reinterpret_cast<void*>(&MsgWaitForMultipleObjects));
    EXPECT_EQ(find("CreateFileA"), reinterpret_cast<void*>(&CreateFileA));

    // A host pumps the plug-in's messages through what it resolved.
    using Post = BOOL (*)(DWORD, UINT, WPARAM, LPARAM);
    using Peek = BOOL (*)(MSG*, HWND, UINT, UINT, UINT);
    auto* post = reinterpret_cast<Post>(find("PostThreadMessageA"));
    auto* peek = reinterpret_cast<Peek>(find("PeekMessageA"));
    ASSERT_NE(post, nullptr);
    ASSERT_NE(peek, nullptr);
    MSG msg;
    peek(&msg, nullptr, 0, 0, PM_NOREMOVE); // makes the queue
    ASSERT_TRUE(post(GetCurrentThreadId(), WM_USER + 7, 1, 2));
    ASSERT_TRUE(peek(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 7));
    EXPECT_EQ(msg.lParam, 2);
    dlclose(library);
}

} // namespace

// Message queues, windows and waits. The same tests run against user32 and
// kernel32 under Wine, so they pin down that the POSIX layer behaves alike.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Platform.h"

namespace {

constexpr DWORD kLongWait = 20000; // a bound against hanging, never expected to elapse
constexpr UINT kAdd = WM_USER + 1; // answered with wParam + lParam
constexpr UINT kPing = WM_USER + 2;

// What a test window saw, reached through GWLP_USERDATA.
struct Seen {
    std::vector<UINT> messages;
    std::vector<DWORD> threads;
    void* createParam = nullptr;
};

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (auto* seen = reinterpret_cast<Seen*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA))) {
        if (message == WM_NCCREATE || message == WM_CREATE)
            seen->createParam = reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams;
        if (message == WM_NCCREATE || message == WM_CREATE || message == WM_DESTROY ||
            message >= WM_USER) {
            seen->messages.push_back(message);
            seen->threads.push_back(GetCurrentThreadId());
        }
    }
    if (message == kAdd)
        return static_cast<LRESULT>(wParam) + lParam;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

const char* const kClassName = "TonvaldMessagesTestWindow";

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Drain();
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kClassName;
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    void TearDown() override {
        for (HWND w : windows_)
            if (IsWindow(w))
                DestroyWindow(w);
        EXPECT_TRUE(UnregisterClassA(kClassName, GetModuleHandleA(nullptr)));
        Drain();
    }

    // A message-only window that records what it sees in seen.
    HWND MakeWindow() {
        HWND w = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleA(nullptr), &seen);
        windows_.push_back(w);
        return w;
    }

    // Empties this thread's queue (creating it if need be), quit mark included.
    static void Drain() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    // The messages left in the queue, removed in order.
    static std::vector<UINT> Take(HWND filter = nullptr, UINT min = 0, UINT max = 0) {
        std::vector<UINT> out;
        MSG msg;
        while (PeekMessageA(&msg, filter, min, max, PM_REMOVE))
            out.push_back(msg.message);
        return out;
    }

    Seen seen;

private:
    std::vector<HWND> windows_;
};

TEST_F(MessagesTest, PostedMessagesComeOutInOrderAndPeekingLeavesThem) {
    const DWORD self = GetCurrentThreadId();
    for (UINT m : {WM_USER + 10, WM_USER + 11, WM_USER + 12})
        ASSERT_TRUE(PostThreadMessageA(self, m, m * 2, -static_cast<LPARAM>(m)));

    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 10u);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>((WM_USER + 10) * 2));
    EXPECT_EQ(msg.lParam, -static_cast<LPARAM>(WM_USER + 10));
    EXPECT_EQ(Take(), (std::vector<UINT>{WM_USER + 10, WM_USER + 11, WM_USER + 12}));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, FiltersSelectByRangeAndByWindow) {
    HWND w = MakeWindow();
    ASSERT_NE(w, nullptr);
    const DWORD self = GetCurrentThreadId();
    ASSERT_TRUE(PostThreadMessageA(self, WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageA(w, WM_USER + 2, 0, 0));
    ASSERT_TRUE(PostThreadMessageA(self, WM_USER + 3, 0, 0));
    ASSERT_TRUE(PostMessageA(w, WM_USER + 4, 0, 0));
    ASSERT_TRUE(PostThreadMessageA(self, WM_APP + 5, 0, 0));

    EXPECT_EQ(Take(nullptr, WM_USER + 3, WM_USER + 4),
              (std::vector<UINT>{WM_USER + 3, WM_USER + 4}));
    EXPECT_EQ(Take(w), (std::vector<UINT>{WM_USER + 2}));
    // (HWND)-1 asks for messages that belong to no window.
    EXPECT_EQ(Take(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))),
              (std::vector<UINT>{WM_USER + 1, WM_APP + 5}));
    EXPECT_TRUE(Take().empty());
}

TEST_F(MessagesTest, WindowProceduresGetCreationSendsAndDispatchedPosts) {
    HWND w = MakeWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindow(w));
    EXPECT_EQ(seen.createParam, &seen);
    ASSERT_EQ(seen.messages, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(GetWindowThreadProcessId(w, nullptr), GetCurrentThreadId());

    // Sending on the owner's thread is a direct call with the answer returned.
    EXPECT_EQ(SendMessageA(w, kAdd, 40, 2), 42);
    EXPECT_EQ(seen.messages.back(), kAdd);

    ASSERT_TRUE(PostMessageA(w, kAdd, 5, 6));
    EXPECT_EQ(seen.messages.size(), 3u); // nothing runs before it is dispatched
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, w);
    EXPECT_FALSE(TranslateMessage(&msg));
    EXPECT_EQ(DispatchMessageA(&msg), 11);
    EXPECT_EQ(seen.messages.size(), 4u);

    // The user data slot holds what the procedure stored; setting answers the old value.
    EXPECT_EQ(SetWindowLongPtrA(w, GWLP_USERDATA, 0), reinterpret_cast<LONG_PTR>(&seen));
    EXPECT_EQ(GetWindowLongPtrA(w, GWLP_USERDATA), 0);
    SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));
}

TEST_F(MessagesTest, DestroyingAWindowSendsDestroyAndDropsItsQueuedMessages) {
    HWND w = MakeWindow();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(PostMessageA(w, kPing, 0, 0));
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), kPing, 1, 0));
    // A class with a live window cannot go away.
    EXPECT_FALSE(UnregisterClassA(kClassName, GetModuleHandleA(nullptr)));

    ASSERT_TRUE(DestroyWindow(w));
    EXPECT_EQ(seen.messages.back(), static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(PostMessageA(w, kPing, 0, 0));
    EXPECT_EQ(SendMessageA(w, kAdd, 1, 1), 0);
    // Only the thread's own message is left.
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, QuitComesAfterPostedMessagesWhateverTheFilter) {
    const DWORD self = GetCurrentThreadId();
    PostQuitMessage(7);
    ASSERT_TRUE(PostThreadMessageA(self, kPing, 0, 0));

    MSG msg{};
    // The range excludes WM_QUIT, yet the quit mark is handed out once
    // nothing posted matches.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 100, WM_USER + 200, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, kPing);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessagesTest, MessagesPostedFromAnotherThreadRunOnTheOwnersThread) {
    HWND w = MakeWindow();
    ASSERT_NE(w, nullptr);
    const DWORD self = GetCurrentThreadId();
    std::thread poster([&] {
        for (WPARAM i = 0; i < 50; ++i)
            PostMessageA(w, kPing, i, 0);
        PostThreadMessageA(self, WM_USER + 99, 0, 0);
    });
    std::vector<WPARAM> order;
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_USER + 99) {
        order.push_back(msg.wParam);
        DispatchMessageA(&msg);
    }
    poster.join();
    ASSERT_EQ(order.size(), 50u);
    for (WPARAM i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    for (DWORD thread : seen.threads)
        EXPECT_EQ(thread, self);
}

TEST_F(MessagesTest, SendingFromAnotherThreadWaitsForTheOwnerToAnswer) {
    HWND w = MakeWindow();
    ASSERT_NE(w, nullptr);
    const DWORD self = GetCurrentThreadId();
    std::atomic<LRESULT> answer{-1};
    std::thread sender([&] {
        answer = SendMessageA(w, kAdd, 20, 22);
        PostThreadMessageA(self, WM_USER + 99, 0, 0);
    });
    // The sent message is handled inside this thread's GetMessageA.
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && msg.message != WM_USER + 99)
        DispatchMessageA(&msg);
    sender.join();
    EXPECT_EQ(answer.load(), 42);
    ASSERT_FALSE(seen.threads.empty());
    EXPECT_EQ(seen.threads.back(), self);
}

TEST_F(MessagesTest, MsgWaitWakesForAnEventAndForANewMessage) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT), WAIT_TIMEOUT);

    std::thread setter([&] { SetEvent(event); });
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, kLongWait, QS_ALLINPUT), WAIT_OBJECT_0);
    setter.join();

    const DWORD self = GetCurrentThreadId();
    std::thread poster([&] { PostThreadMessageA(self, kPing, 0, 0); });
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, kLongWait, QS_POSTMESSAGE),
              WAIT_OBJECT_0 + 1);
    poster.join();

    // A message already looked at does not wake the wait again.
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT), WAIT_TIMEOUT);
    // Nor does a kind outside the wake mask.
    ASSERT_TRUE(PostThreadMessageA(self, kPing, 0, 0));
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_TIMER), WAIT_TIMEOUT);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLPOSTMESSAGE), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(event));
}

TEST_F(MessagesTest, EventsResetAutomaticallyOrByHand) {
    HANDLE autoReset = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(autoReset, nullptr);
    ASSERT_NE(manual, nullptr);

    EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);

    ASSERT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

    // Any: the lowest signalled index; all: only when every one is signalled.
    HANDLE both[] = {autoReset, manual};
    SetEvent(manual);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
    SetEvent(autoReset);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    SetEvent(autoReset);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);

    EXPECT_TRUE(CloseHandle(autoReset));
    EXPECT_TRUE(CloseHandle(manual));
}

DWORD WINAPI QueueReadyThread(LPVOID param) {
    auto* events = static_cast<HANDLE*>(param);
    WaitForSingleObject(events[0], kLongWait); // until the test has tried to post
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // makes the queue
    SetEvent(events[1]);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    }
    return static_cast<DWORD>(msg.wParam);
}

TEST_F(MessagesTest, AThreadTakesPostsOnlyOnceItHasAQueue) {
    HANDLE events[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                        CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, QueueReadyThread, events, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    ASSERT_NE(id, 0u);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL));
    EXPECT_EQ(ResumeThread(thread), 1u);

    EXPECT_FALSE(PostThreadMessageA(id, kPing, 0, 0));
    SetEvent(events[0]);
    ASSERT_EQ(WaitForSingleObject(events[1], kLongWait), WAIT_OBJECT_0);
    ASSERT_TRUE(PostThreadMessageA(id, WM_QUIT, 33, 0));

    ASSERT_EQ(WaitForSingleObject(thread, kLongWait), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 33u);
    EXPECT_FALSE(PostThreadMessageA(id, kPing, 0, 0));
    CloseHandle(thread);
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST_F(MessagesTest, ADuplicatedCurrentThreadHandleIsSignalledWhenTheThreadEnds) {
    HANDLE self = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self,
                                0, FALSE, DUPLICATE_SAME_ACCESS));
    ASSERT_NE(self, GetCurrentThread());
    EXPECT_EQ(WaitForSingleObject(self, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(self));

    HANDLE other = nullptr;
    std::thread worker([&] {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &other, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
    });
    worker.join();
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(WaitForSingleObject(other, kLongWait), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(other));
}

} // namespace

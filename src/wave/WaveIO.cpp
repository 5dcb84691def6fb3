#include "wave/WaveIO.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

namespace {

std::atomic<TWaveErrorDisplay> theErrorDisplay{nullptr};
std::atomic<bool> theLibraryUnloading{false};

void ShowError(const char* message) noexcept {
    const TWaveErrorDisplay display = theErrorDisplay.load();
    try {
        if (display != nullptr) {
            display(message);
            return;
        }
    } catch (...) {
        // The display itself failed (out of memory): the text goes below.
    }
    std::fprintf(stderr, "%s\n", message);
}

// A header with what the engine keeps beside it: the size of its own buffer
// (which may exceed dwBufferLength after a short last read) and whether the
// device holds it. The WAVEHDR comes first, so the two share an address.
struct THeaderSlot {
    WAVEHDR header;
    DWORD capacity;
    bool queued;
};

THeaderSlot* SlotOf(WAVEHDR* header) {
    return reinterpret_cast<THeaderSlot*>(header);
}

// The device still holds the header: its buffer must not be touched.
bool HeldByDevice(WAVEHDR* header) {
    return SlotOf(header)->queued && (header->dwFlags & WHDR_DONE) == 0;
}

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

std::int32_t ScaledToMs(DWORD value, DWORD perSecond) {
    if (perSecond == 0)
        return 0;
    const std::uint64_t ms = (std::uint64_t{value} * 1000 + perSecond / 2) / perSecond;
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(ms, std::numeric_limits<std::int32_t>::max()));
}

// Milliseconds left of a wait that began at `start`.
DWORD Remaining(DWORD start, DWORD limit) {
    const DWORD elapsed = GetTickCount() - start;
    return elapsed >= limit ? 0 : limit - elapsed;
}

} // namespace

void SetWaveErrorDisplay(TWaveErrorDisplay display) {
    theErrorDisplay = display;
}

void SetWaveLibraryUnloading(bool unloading) {
    theLibraryUnloading = unloading;
}

bool WaveLibraryUnloading() {
    return theLibraryUnloading;
}

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

// --- construction and destruction -------------------------------------------------

TWaveAudioIO::TWaveAudioIO() {
    InitializeCriticalSection(&lock_);
}

TWaveAudioIO::~TWaveAudioIO() {
    ReleaseAllHeaders();
    DeleteCriticalSection(&lock_);
}

TWaveAudioIO::TBusyFrame::TBusyFrame(TWaveAudioIO& device)
    : device_(device), callbackThread_(device.OnCallbackThread()) {
    ++device_.busy_;
    if (callbackThread_)
        ++device_.callbackBusy_;
}

TWaveAudioIO::TBusyFrame::~TBusyFrame() {
    if (callbackThread_)
        --device_.callbackBusy_;
    device_.LeaveFrame();
}

void TWaveAudioIO::LeaveFrame() {
    if (busy_.fetch_sub(1) == 1 && freePending_ && !tearingDown_.exchange(true)) {
        if (TearDown())
            delete this;
    }
}

bool TWaveAudioIO::OwnFramesOpen() const {
    const int onCallback = callbackBusy_;
    return OnCallbackThread() ? onCallback > 0 : busy_ - onCallback > 0;
}

void TWaveAudioIO::Free() {
    destroying_ = true;
    if (!OwnFramesOpen()) {
        // A handler on the callback thread ends first, so that the object is
        // gone when this call returns (a library may be unloaded next).
        const DWORD start = GetTickCount();
        while (busy_ > 0 && Remaining(start, kWaveNotificationWaitMs) > 0)
            Sleep(1);
    }
    freePending_ = true;
    if (busy_ == 0 && !tearingDown_.exchange(true)) {
        if (TearDown())
            delete this;
    }
}

bool TWaveAudioIO::TearDown() {
    destroying_ = true;
    const bool unloading = WaveLibraryUnloading();
    if (!unloading) {
        try {
            if (GetActive() && !closing_)
                InternalClose();
            if (closing_)
                WaitForClose();
        } catch (...) {
            // Destruction goes on whatever a device call says.
        }
    }
    if (GetActive() || HandleAllocated())
        ForceShutdown(!unloading);
    JoinThread(kWaveNotificationWaitMs);
    if (thread_ != nullptr)
        return false; // the callback thread is still in a handler of ours
    return std::none_of(headers_.begin(), headers_.end(), HeldByDevice);
}

void TWaveAudioIO::ForceShutdown(bool mayClose) {
    TLockGuard lock(*this);
    if (DeviceUsable())
        ResetDevice();
    const std::vector<WAVEHDR*> headers = headers_;
    for (WAVEHDR* header : headers) {
        if (HeldByDevice(header))
            continue; // the device may still write it: it outlives us
        try {
            if (SlotOf(header)->queued)
                TakeBackHeader(header);
        } catch (...) {
            // Whatever the data's stream says, the device is shut down.
        }
        SlotOf(header)->queued = false;
        if ((header->dwFlags & WHDR_PREPARED) != 0 && HandleAllocated())
            UnprepareDevice(header);
        WAVEHDR* doomed = header;
        ReallocateHeader(doomed, 0, nullptr);
    }
    if (mayClose && DeviceUsable() && headers_.empty())
        CloseDevice();
    try {
        FinishRun();
    } catch (...) {
        // As above.
    }
    ForgetDevice();
    closeCalled_ = false;
    opening_ = false;
    closing_ = false;
    ReleaseCallback();
}

// --- properties ---------------------------------------------------------------------

void TWaveAudioIO::SetActive(bool value) {
    TBusyFrame frame(*this);
    if (value != GetActive() && !destroying_)
        DoSetActive(value);
}

void TWaveAudioIO::DoSetActive(bool value) {
    if (value)
        InternalOpen();
    else
        InternalClose();
}

void TWaveAudioIO::SetPaused(bool value) {
    TBusyFrame frame(*this);
    if (value != GetPaused() && !destroying_)
        DoSetPaused(value);
}

void TWaveAudioIO::DoSetPaused(bool value) {
    if (value)
        InternalPause();
    else
        InternalResume();
}

void TWaveAudioIO::SetDeviceID(std::int32_t id) {
    if (id == deviceID_)
        return;
    TBusyFrame frame(*this);
    if (GetActive())
        throw EWaveAudioInvalidOperation(kDeviceIDChangeText);
    if (CheckResult(ValidateDeviceID(id)))
        deviceID_ = id;
}

void TWaveAudioIO::SetAsync(bool value) {
    if (!GetActive())
        async_ = value;
}

TWaveAudioState TWaveAudioIO::State() const {
    if (opening_)
        return TWaveAudioState::Opening;
    if (callback_ == 0)
        return TWaveAudioState::Idle;
    return closing_ ? TWaveAudioState::Closing : TWaveAudioState::Active;
}

std::vector<TWaveHeaderState> TWaveAudioIO::HeaderStates() const {
    std::vector<TWaveHeaderState> states;
    for (WAVEHDR* header : headers_) {
        if (!SlotOf(header)->queued)
            states.push_back(TWaveHeaderState::Free);
        else if ((header->dwFlags & WHDR_DONE) != 0)
            states.push_back(TWaveHeaderState::Done);
        else
            states.push_back(TWaveHeaderState::Queued);
    }
    return states;
}

// --- results and events -------------------------------------------------------------

bool TWaveAudioIO::CheckResult(MMRESULT code) {
    errorCode_ = code;
    if (code == MMSYSERR_NOERROR)
        return true;
    DoError();
    return false;
}

void TWaveAudioIO::DoError() {
    if (destroying_)
        return; // nobody listens any more, and nothing may be thrown
    if (OnError) {
        Raise(OnError);
        return;
    }
    throw EWaveAudioSysError(ErrorText());
}

void TWaveAudioIO::DoActivate() {
    Raise(OnActivate);
}

void TWaveAudioIO::DoDeactivate() {
    Raise(OnDeactivate);
}

void TWaveAudioIO::DoPause() {
    Raise(OnPause);
}

void TWaveAudioIO::DoResume() {
    Raise(OnResume);
}

void TWaveAudioIO::DoLevel(const void* buffer, DWORD size) {
    if (OnLevel && WaveFormat.wFormatTag == WAVE_FORMAT_PCM)
        Raise(OnLevel, static_cast<std::int32_t>(PeakLevelPercent(buffer, size, &WaveFormat)));
}

std::int32_t TWaveAudioIO::MMTimeToMS(const MMTIME& time) const {
    switch (time.wType) {
    case TIME_MS:
        return static_cast<std::int32_t>(
            std::min<DWORD>(time.u.ms, std::numeric_limits<std::int32_t>::max()));
    case TIME_SAMPLES:
        return ScaledToMs(time.u.sample, WaveFormat.nSamplesPerSec);
    case TIME_BYTES:
        return ScaledToMs(time.u.cb, WaveFormat.nAvgBytesPerSec);
    case TIME_SMPTE:
        return (time.u.smpte.hour * 3600 + time.u.smpte.min * 60 + time.u.smpte.sec) * 1000;
    default:
        return 0;
    }
}

TPCMFormats TWaveAudioIO::FormatsFromCapabilities(DWORD formats) {
    // WAVE_FORMAT_1M08 .. WAVE_FORMAT_4S16 name the 11025, 22050 and 44100 Hz
    // formats in the order of TPCMFormat.
    TPCMFormats set;
    for (TPCMFormat f : {Mono8Bit8000Hz, Stereo8bit8000Hz, Mono16bit8000Hz, Stereo16bit8000Hz})
        set.set(f);
    for (int bit = 0; bit < 12; ++bit)
        if ((formats & (DWORD{1} << bit)) != 0)
            set.set(Mono8bit11025Hz + bit);
    return set;
}

// --- headers -------------------------------------------------------------------------

DWORD TWaveAudioIO::CalcBufferSize() const {
    const std::int32_t bytes = BufferBytesForTime(&WaveFormat, bufferLength_);
    return bytes > 0 ? static_cast<DWORD>(bytes) : 0;
}

bool TWaveAudioIO::ReallocateHeader(WAVEHDR*& header, DWORD size, void* buffer) {
    const auto self = reinterpret_cast<DWORD_PTR>(this);
    if (size == 0) {
        if (header != nullptr) {
            std::erase(headers_, header);
            if (header->dwUser == self)
                GlobalFree(header->lpData);
            GlobalFree(header);
            header = nullptr;
        }
        return true;
    }
    if (header == nullptr) {
        auto* slot = static_cast<THeaderSlot*>(GlobalAlloc(GPTR, sizeof(THeaderSlot)));
        if (slot != nullptr) {
            try {
                headers_.push_back(&slot->header);
            } catch (const std::bad_alloc&) {
                GlobalFree(slot);
                slot = nullptr;
            }
        }
        if (slot == nullptr) {
            CheckResult(MMSYSERR_NOMEM);
            return false;
        }
        header = &slot->header;
    }
    THeaderSlot* slot = SlotOf(header);
    if (header->dwUser != self) {
        header->lpData = nullptr; // someone else's buffer
        slot->capacity = 0;
    }
    void* data = header->lpData;
    if (buffer == nullptr) {
        if (slot->capacity < size) {
            GlobalFree(data);
            header->lpData = nullptr;
            slot->capacity = 0;
            data = GlobalAlloc(GMEM_FIXED, size);
            if (data == nullptr) {
                ReallocateHeader(header, 0, nullptr);
                CheckResult(MMSYSERR_NOMEM);
                return false;
            }
            slot->capacity = size;
        }
    } else {
        if (header->dwUser == self)
            GlobalFree(data);
        slot->capacity = 0;
        data = buffer;
    }
    std::memset(header, 0, sizeof(WAVEHDR));
    header->dwUser = buffer == nullptr ? self : 0;
    header->lpData = static_cast<LPSTR>(data);
    header->dwBufferLength = size;
    slot->queued = false;
    return true;
}

bool TWaveAudioIO::RefillHeader(WAVEHDR*& header) {
    const DWORD size = CalcBufferSize();
    if (size == 0) {
        ReallocateHeader(header, 0, nullptr);
        return false;
    }
    return ReallocateHeader(header, size, nullptr);
}

void TWaveAudioIO::MarkQueued(WAVEHDR* header) {
    SlotOf(header)->queued = true;
}

// A header the device hands back: it must be one of ours that the device
// holds (a stale or foreign pointer is ignored); from now on it is the engine's.
bool TWaveAudioIO::TakeHeader(WAVEHDR* header) {
    if (header == nullptr)
        return true;
    if (std::find(headers_.begin(), headers_.end(), header) == headers_.end() ||
        !SlotOf(header)->queued)
        return false;
    SlotOf(header)->queued = false;
    return true;
}

void TWaveAudioIO::ReleaseAllHeaders() {
    for (std::size_t i = headers_.size(); i-- > 0;) {
        WAVEHDR* header = headers_[i];
        if (!HeldByDevice(header))
            ReallocateHeader(header, 0, nullptr);
    }
}

// --- the callback channel -----------------------------------------------------------

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

bool TWaveAudioIO::HandleDeviceMessage(UINT message, LPARAM lParam) {
    if (message < MM_WOM_OPEN || message > MM_WIM_DATA)
        return false;
    TBusyFrame frame(*this);
    TLockGuard lock(*this);
    // A buffer's notification waits while a level report runs, and behind
    // those that waited before it.
    const bool buffer = message == MM_WOM_DONE || message == MM_WIM_DATA;
    if (buffer && (reports_ > 0 || !postponed_.empty())) {
        try {
            postponed_.push_back({message, lParam});
        } catch (const std::bad_alloc&) {
            DispatchDeviceMessage(message, lParam); // no room to keep it: now, rather than lost
        }
    } else {
        DispatchDeviceMessage(message, lParam);
    }
    if (reports_ == 0)
        RunPostponed();
    return true;
}

void TWaveAudioIO::DispatchDeviceMessage(UINT message, LPARAM lParam) {
    try {
        if (State() == TWaveAudioState::Idle)
            return; // a late notification of a device that is gone
        auto* header = reinterpret_cast<WAVEHDR*>(lParam);
        switch (message) {
        case MM_WOM_OPEN:
            HandleWomOpen();
            break;
        case MM_WOM_CLOSE:
            HandleWomClose();
            break;
        case MM_WOM_DONE:
            if (TakeHeader(header))
                HandleWomDone(header);
            break;
        case MM_WIM_OPEN:
            HandleWimOpen();
            break;
        case MM_WIM_CLOSE:
            HandleWimClose();
            break;
        case MM_WIM_DATA:
            if (TakeHeader(header))
                HandleWimData(header);
            break;
        default:
            break;
        }
    } catch (const std::exception& error) {
        ShowError(error.what());
    } catch (...) {
        ShowError("Unknown error");
    }
}

// Each in turn, in the order they came; one may report a level and postpone
// more. A header the shutdown took back meanwhile is no longer the device's:
// TakeHeader skips it.
void TWaveAudioIO::RunPostponed() {
    while (!postponed_.empty()) {
        const TPostponed next = postponed_.front();
        postponed_.erase(postponed_.begin());
        DispatchDeviceMessage(next.message, next.lParam);
    }
}

void TWaveAudioIO::ReportLevel(const void* buffer, DWORD size) {
    struct TReport {
        int& reports;
        explicit TReport(int& count) : reports(count) { ++reports; }
        ~TReport() { --reports; }
        TReport(const TReport&) = delete;
        TReport& operator=(const TReport&) = delete;
    } report(reports_);
    DoLevel(buffer, size);
}

void TWaveAudioIO::ForgetDevice() {
    ForgetHandle();
    postponed_.clear(); // their headers are gone, or will be another run's
}

void TWaveAudioIO::WaitForOpen() {
    if (!opening_ || openingThread_ == GetCurrentThreadId())
        return;             // nothing to wait for, or the open is further up this thread's stack
    TLockGuard lock(*this); // the open holds the lock until it is done
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

// --- the common device operations ---------------------------------------------------

bool TWaveAudioIO::InternalOpen() {
    if (opening_ || destroying_)
        return false;
    if (closing_) {
        WaitForClose();
        if (destroying_)
            return false;
    }
    if (GetActive())
        throw EWaveAudioInvalidOperation(kAlreadyOpenText);
    TLockGuard lock(*this);
    opening_ = true;
    openingThread_ = GetCurrentThreadId();
    PWaveFormatEx format = nullptr;
    bool freeIt = true;
    const auto finish = [&] {
        if (freeIt)
            std::free(format);
        opening_ = false;
        openingThread_ = 0;
    };
    bool result = false;
    try {
        GetWaveFormat(format, freeIt);
        // No format, nothing to ask the device: it would accept a null record.
        if (CheckResult(format != nullptr ? OpenDevice(format, true) : MMSYSERR_INVALPARAM)) {
            std::memcpy(&WaveFormat, format, sizeof(PCMWAVEFORMAT));
            WaveFormat.cbSize = 0;
            closeCalled_ = false;
            if (!AllocateCallback()) {
                CheckResult(MMSYSERR_NOMEM);
            } else {
                try {
                    result = CheckResult(OpenDevice(format, false));
                } catch (...) {
                    result = false;
                }
                if (!result)
                    ReleaseCallback();
            }
        }
    } catch (...) {
        finish();
        FinishRun();
        throw;
    }
    finish();
    if (!result)
        FinishRun();
    return result;
}

bool TWaveAudioIO::PrepareRun() {
    if (State() == TWaveAudioState::Opening || destroying_)
        return false;
    if (GetActive()) {
        SetActive(false);
        Sleep(0);
        // The late close notification must not meet the new run's data.
        WaitForClose();
        if (destroying_)
            return false;
    }
    if (GetActive() || RunPending())
        throw EWaveAudioInvalidOperation(kAlreadyOpenText);
    return true;
}

bool TWaveAudioIO::CloseDeviceNow() {
    bool closed = false;
    try {
        closed = CheckResult(CloseDevice());
    } catch (...) {
        closing_ = false;
        throw;
    }
    if (closed)
        closeCalled_ = true;
    else
        closing_ = false; // still open: a stop may try again
    return closed;
}

void TWaveAudioIO::CloseWhenDrained() {
    if (!DeviceUsable() || HeaderCount() != 0 || BuffersRequested())
        return;
    closing_ = true; // nothing is left at the device, and nothing more will come
    CloseDeviceNow();
}

bool TWaveAudioIO::InternalClose() {
    if (closing_)
        return false;
    if (opening_)
        WaitForOpen();
    if (!GetActive())
        throw EWaveAudioInvalidOperation(kAlreadyClosedText);
    TLockGuard lock(*this);
    if (closing_ || !GetActive() || !HandleAllocated())
        return false; // closed meanwhile, or the open is still under way
    closing_ = true;
    try {
        if (!CheckResult(ResetDevice())) {
            closing_ = false;
            return false;
        }
        // The device hands every queued buffer back; the last one closes it.
        if (HeaderCount() == 0 && !BuffersRequested())
            return CloseDeviceNow();
        return true;
    } catch (...) {
        closing_ = false;
        if (RaisesCloseErrors())
            throw;
        return false;
    }
}

bool TWaveAudioIO::InternalPause() {
    if (GetPaused())
        return false;
    TLockGuard lock(*this);
    if (DeviceUsable() && !CheckResult(PauseDevice()))
        return false;
    paused_ = true;
    DoPause();
    return true;
}

bool TWaveAudioIO::InternalResume() {
    if (!GetPaused())
        return false;
    TLockGuard lock(*this);
    if (DeviceUsable() && !CheckResult(RestartDevice()))
        return false;
    paused_ = false;
    DoResume();
    return true;
}

void TWaveAudioIO::WaveOpened() {
    opening_ = false;
    StartDataFlow();
    DoActivate();
}

void TWaveAudioIO::DeviceClosed() {
    try {
        FinishRun();
    } catch (...) {
        ForgetDevice();
        WaveClosed();
        throw;
    }
    ForgetDevice();
    WaveClosed();
}

void TWaveAudioIO::WaveClosed() {
    DoLevel(nullptr, 0);
    closing_ = false;
    closeCalled_ = false;
    ReleaseCallback();
    ReleaseAllHeaders();
    DoDeactivate();
}

#include "wave/WaveIO.h"

#include "wave/WaveCore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

using wavecore::HeldByDevice;
using wavecore::Remaining;
using wavecore::SlotOf;

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

// Shows the error being handled; for a catch block of a notification
// handler, from which nothing may escape into the message loop.
void ShowCurrentError() noexcept {
    try {
        throw;
    } catch (const std::exception& error) {
        ShowError(error.what());
    } catch (...) {
        ShowError("Unknown error");
    }
}

std::int32_t ScaledToMs(DWORD value, DWORD perSecond) {
    if (perSecond == 0)
        return 0;
    const std::uint64_t ms = (std::uint64_t{value} * 1000 + perSecond / 2) / perSecond;
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(ms, std::numeric_limits<std::int32_t>::max()));
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

// --- construction and destruction -------------------------------------------------

TWaveAudioIO::TWaveAudioIO(const TWaveCalls& calls) : calls_(calls) {
    InitializeCriticalSection(&lock_);
}

TWaveAudioIO::~TWaveAudioIO() {
    for (TDeferred& d : deferred_)
        RecycleBlock(d.back.block);
    ReleaseAllHeaders();
    DeleteCriticalSection(&lock_);
}

TWaveAudioIO::TBusyFrame::TBusyFrame(TWaveAudioIO& device)
    : TFrame(&device), device_(device), callbackThread_(device.OnCallbackThread()) {
    if (callbackThread_)
        ++device_.callbackBusy_;
}

TWaveAudioIO::TBusyFrame::~TBusyFrame() {
    if (callbackThread_)
        --device_.callbackBusy_;
}

bool TWaveAudioIO::OwnFramesOpen() const {
    const int onCallback = callbackBusy_;
    return OnCallbackThread() ? onCallback > 0 : Frames() - onCallback > 0;
}

void TWaveAudioIO::Free() {
    destroying_ = true;
    if (!OwnFramesOpen()) {
        // A handler on the callback thread ends first, so that the object is
        // gone when this call returns (a library may be unloaded next).
        const DWORD start = GetTickCount();
        while (Frames() > 0 && Remaining(start, kWaveThreadWaitMs) > 0)
            Sleep(1);
    }
    EndWhenUnused();
}

void TWaveAudioIO::End() {
    if (TearDown())
        delete this;
}

// The device is reset and shut down on the spot: nothing waits for buffers
// to play out or for a notification, so that no other object's notifications
// are held back meanwhile.
bool TWaveAudioIO::TearDown() {
    destroying_ = true;
    if (GetActive() || HandleAllocated()) {
        TLockGuard lock(*this);
        EndRunNow(!WaveLibraryUnloading());
    }
    JoinThread(kWaveThreadWaitMs);
    if (thread_ != nullptr)
        return false; // the callback thread is still in a handler of ours
    return std::none_of(headers_.begin(), headers_.end(), HeldByDevice);
}

void TWaveAudioIO::EndRunNow(bool mayClose) {
    const auto guarded = [this](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!destroying_)
                ShowCurrentError();
        }
    };
    if (GetActive())
        Transit(TWaveFlag::Closing, true);
    if (DeviceUsable())
        ResetDevice();
    if (!mayClose)
        closeCalled_ = true; // abandoned: no call reaches the device any more
    // The open notification may still be on its way: its work (OnActivate)
    // comes first.
    const bool openDeferred =
        std::any_of(deferred_.begin(), deferred_.end(),
                    [this](const TDeferred& d) { return d.message == calls_.openMessage; });
    if (!openNotified_ && !openDeferred && !destroying_ && GetActive()) {
        TBufferBack none;
        guarded([&] { RunNotification(calls_.openMessage, none); });
    }
    // What was deferred goes first, in order (it may hold the open
    // notification, or even the close's), ...
    while (!deferred_.empty()) {
        TDeferred next = deferred_.front();
        deferred_.pop_front();
        guarded([&] { RunNotification(next.message, next.back); });
        RecycleBlock(next.back.block);
    }
    if (!GetActive() && !HandleAllocated())
        return; // the close notification was among them
    // ... then what the device gave back, in the order it was queued.
    std::vector<WAVEHDR*> headers = QueuedHeaders();
    for (WAVEHDR* header : headers_)
        if (!SlotOf(header)->queued)
            headers.push_back(header);
    for (WAVEHDR* header : headers) {
        if (HeldByDevice(header))
            continue; // the device may still write it: it outlives us
        if (SlotOf(header)->queued)
            guarded([&] { TakeBackHeader(header); });
        SlotOf(header)->queued = false;
        if ((header->dwFlags & WHDR_PREPARED) != 0 && HandleAllocated())
            UnprepareDevice(header);
        WAVEHDR* doomed = header;
        ReallocateHeader(doomed, 0, nullptr);
    }
    if (DeviceUsable() && headers_.empty())
        CloseDevice(); // its close notification finds the callback gone
    guarded([&] { DeviceClosed(); });
    Transit(TWaveFlag::Opening, false);
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

namespace {

using S = TWaveAudioState;

// A change of one flag, and the states before and after it.
struct TTransition {
    TWaveFlag flag;
    bool set;
    S from;
    S to;
};

// Every change of Opening, Closing and Callback the device makes. Paused
// may change in any state and changes no state.
constexpr TTransition kTransitions[] = {
    // An open call; it ends with the callback made (active) or not (idle).
    {TWaveFlag::Opening, true, S::Idle, S::Opening},
    {TWaveFlag::Opening, false, S::Opening, S::Active},
    {TWaveFlag::Opening, false, S::Opening, S::Idle},
    // The callback is made during the open call, and released there when
    // the device refuses; otherwise the close releases it.
    {TWaveFlag::Callback, true, S::Opening, S::Opening},
    {TWaveFlag::Callback, false, S::Opening, S::Opening},
    {TWaveFlag::Callback, false, S::Closing, S::Idle},
    // A stop or the end of the data begins the close; a refused reset or
    // close, or a seek after the end of the data, takes it back; the close
    // clears it once the callback is gone.
    {TWaveFlag::Closing, true, S::Active, S::Closing},
    {TWaveFlag::Closing, false, S::Closing, S::Active},
    {TWaveFlag::Closing, false, S::Idle, S::Idle},
};

// Names in the order of TWaveFlag and TWaveAudioState.
constexpr const char* kFlagNames[] = {"Opening", "Closing", "Callback", "Paused"};
constexpr const char* kStateNames[] = {"idle", "opening", "active", "closing"};

[[maybe_unused]] void CheckTransition(TWaveFlag flag, bool set, S from, S to) {
    if (flag == TWaveFlag::Paused && from == to)
        return;
    for (const TTransition& t : kTransitions)
        if (t.flag == flag && t.set == set && t.from == from && t.to == to)
            return;
    std::fprintf(stderr, "TWaveAudioIO: %s %s: %s -> %s is not a transition of the device\n",
                 kFlagNames[static_cast<int>(flag)], set ? "set" : "cleared",
                 kStateNames[static_cast<int>(from)], kStateNames[static_cast<int>(to)]);
    std::abort();
}

} // namespace

DWORD_PTR TWaveAudioIO::Transit(TWaveFlag flag, DWORD_PTR value) {
    [[maybe_unused]] const S from = State();
    DWORD_PTR old = 0;
    switch (flag) {
    case TWaveFlag::Opening:
        old = opening_.exchange(value != 0);
        break;
    case TWaveFlag::Closing:
        old = closing_.exchange(value != 0);
        break;
    case TWaveFlag::Callback:
        old = callback_.exchange(value);
        break;
    case TWaveFlag::Paused:
        old = paused_.exchange(value != 0);
        break;
    }
#ifndef NDEBUG
    if ((old != 0) != (value != 0))
        CheckTransition(flag, value != 0, from, State());
#endif
    return old;
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

// --- device queries and calls --------------------------------------------------------

UINT TWaveAudioIO::GetNumDevs() {
    return calls_.numDevs();
}

bool TWaveAudioIO::DeviceCaps(WAVEOUTCAPSA& caps) {
    caps = {};
    return calls_.devCaps(DeviceNumber(), caps) == MMSYSERR_NOERROR;
}

std::string TWaveAudioIO::GetDeviceName() {
    WAVEOUTCAPSA caps;
    if (!DeviceCaps(caps))
        return {};
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

TPCMFormats TWaveAudioIO::GetDeviceFormats() {
    WAVEOUTCAPSA caps;
    return DeviceCaps(caps) ? FormatsFromCapabilities(caps.dwFormats) : TPCMFormats();
}

MMRESULT TWaveAudioIO::ValidateDeviceID(std::int32_t id) {
    WAVEOUTCAPSA caps{};
    return calls_.devCaps(id == -1 ? WAVE_MAPPER : static_cast<UINT>(id), caps);
}

std::string TWaveAudioIO::GetErrorText(MMRESULT code) {
    char text[256] = {};
    if (calls_.errorText(code, text, sizeof text) != MMSYSERR_NOERROR)
        return {};
    return std::string(text, strnlen(text, sizeof text));
}

bool TWaveAudioIO::DevicePosition(MMTIME& time) {
    time = {};
    time.wType = TIME_MS;
    return DeviceUsable() && calls_.position(handle_, time) == MMSYSERR_NOERROR;
}

MMRESULT TWaveAudioIO::OpenDevice(const WAVEFORMATEX* format, bool query) {
    if (query)
        return calls_.open(nullptr, DeviceNumber(), format, 0, WAVE_FORMAT_QUERY);
    void* handle = nullptr;
    const MMRESULT result = calls_.open(&handle, DeviceNumber(), format, Callback(), callbackType_);
    if (result == MMSYSERR_NOERROR)
        handle_ = handle;
    return result;
}

bool TWaveAudioIO::QueueHeader(WAVEHDR* header, const std::function<bool()>& beforeQueue) {
    const bool alreadyPrepared = (header->dwFlags & WHDR_PREPARED) != 0;
    if (!alreadyPrepared && !CheckResult(calls_.prepare(handle_, header)))
        return false;
    try {
        if ((!beforeQueue || beforeQueue()) && CheckResult(calls_.queue(handle_, header))) {
            MarkQueued(header);
            return true;
        }
    } catch (...) {
        if (!alreadyPrepared)
            calls_.unprepare(handle_, header);
        throw;
    }
    if (!alreadyPrepared)
        calls_.unprepare(handle_, header);
    return false;
}

// --- notifications and their deferral ----------------------------------------------

bool TWaveAudioIO::HandleDeviceMessage(UINT message, LPARAM lParam) {
    const bool resume = message == kWaveResumeMessage;
    if (!resume && (message < MM_WOM_OPEN || message > MM_WIM_DATA))
        return false;
    TBusyFrame frame(*this);
    TLockGuard lock(*this);
    const DWORD start = GetTickCount();
    bool ranOne = false;
    if (resume) {
        resumePosted_ = false;
    } else {
        const bool defer = Busy() || !deferred_.empty();
        Notify(message, lParam, defer);
        ranOne = !defer;
    }
    RunDeferred(start, ranOne);
    return true;
}

void TWaveAudioIO::Notify(UINT message, LPARAM lParam, bool defer) {
    try {
        if (State() == TWaveAudioState::Idle)
            return; // a late notification of a device that is gone
        TBufferBack back;
        if (message == MM_WOM_DONE || message == MM_WIM_DATA) {
            back.header = reinterpret_cast<WAVEHDR*>(lParam);
            if (!TakeHeader(back.header) || !TakeBackBuffer(back))
                return;
        }
        if (defer)
            Defer(message, back);
        else
            RunNotification(message, back);
    } catch (...) {
        ShowCurrentError();
    }
}

void TWaveAudioIO::RunNotification(UINT message, TBufferBack& back) {
    switch (message) {
    case MM_WOM_OPEN:
        HandleWomOpen();
        break;
    case MM_WOM_CLOSE:
        HandleWomClose();
        break;
    case MM_WIM_OPEN:
        HandleWimOpen();
        break;
    case MM_WIM_CLOSE:
        HandleWimClose();
        break;
    default:
        HandleBuffer(back);
        break;
    }
}

void TWaveAudioIO::Defer(UINT message, TBufferBack back) {
    try {
        deferred_.push_back({message, back});
    } catch (const std::bad_alloc&) {
        RunNotification(message, back); // no room to keep it: now, rather than lost
        return;
    }
    // Reports that fall too far behind: the oldest waiting one is dropped,
    // its bytes are written all the same.
    std::size_t reported = 0;
    for (const TDeferred& d : deferred_)
        reported += d.back.block.data != nullptr && !d.back.unreported;
    if (reported <= BufferCount())
        return;
    for (TDeferred& d : deferred_) {
        if (d.back.block.data != nullptr && !d.back.unreported) {
            d.back.unreported = true;
            break;
        }
    }
}

void TWaveAudioIO::RunDeferred(DWORD start, bool ranOne) {
    while (!deferred_.empty() && !Busy() && !destroying_) {
        if (ranOne && GetTickCount() - start >= bufferLength_)
            break; // the rest goes on behind the host's other messages
        TDeferred next = deferred_.front();
        deferred_.pop_front();
        ranOne = true;
        try {
            RunNotification(next.message, next.back);
        } catch (...) {
            ShowCurrentError();
        }
    }
    if (!deferred_.empty() && !Busy() && Quiet())
        PostResume();
}

void TWaveAudioIO::PostResume() {
    if (!resumePosted_ && !destroying_)
        resumePosted_ = PostToCallback(kWaveResumeMessage, 0);
}

void TWaveAudioIO::EventReturned() {
    // The work deferred meanwhile goes on from a message of its own: the
    // event may have been raised from inside an action.
    if (--eventDepth_ == 0 && !deferred_.empty() && Quiet())
        PostResume();
}

bool TWaveAudioIO::Quiet() const {
    return paused_ || closing_ || std::none_of(headers_.begin(), headers_.end(), HeldByDevice);
}

void TWaveAudioIO::ForgetDevice() {
    ForgetHandle();
    // Whatever is still deferred belongs to the device that is gone.
    for (TDeferred& d : deferred_)
        RecycleBlock(d.back.block);
    deferred_.clear();
    resumePosted_ = false; // a resume on its way goes to the callback that is gone
}

void TWaveAudioIO::WaitForClose() {
    TBusyFrame frame(*this); // an event below may free the object
    {
        // In thread mode this waits for a handler of the callback thread.
        TLockGuard lock(*this);
        if (!closing_ || !GetActive() || Busy() || destroying_)
            return; // no close under way, or its work waits for an event of ours to return
        if (DeviceUsable())
            ResetDevice();
        if (std::any_of(headers_.begin(), headers_.end(), HeldByDevice))
            return; // not every buffer came back: the notifications end the run
        EndRunNow(true);
    }
    JoinThread(kWaveThreadWaitMs); // the old callback thread, before a new one
}

void TWaveAudioIO::WaitForOpen() {
    if (!opening_ || openingThread_ == GetCurrentThreadId())
        return;             // nothing to wait for, or the open is further up this thread's stack
    TLockGuard lock(*this); // the open holds the lock until it is done
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
    Transit(TWaveFlag::Opening, true);
    openingThread_ = GetCurrentThreadId();
    PWaveFormatEx format = nullptr;
    bool freeIt = true;
    const auto finish = [&] {
        if (freeIt)
            std::free(format);
        Transit(TWaveFlag::Opening, false);
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
            openNotified_ = false;
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
        Transit(TWaveFlag::Closing, false);
        throw;
    }
    if (closed)
        closeCalled_ = true;
    else
        Transit(TWaveFlag::Closing, false); // still open: a stop may try again
    return closed;
}

void TWaveAudioIO::CloseWhenDrained() {
    if (!DeviceUsable() || HeaderCount() != 0 || BuffersRequested())
        return;
    Transit(TWaveFlag::Closing, true); // nothing is left at the device, and nothing more will come
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
    Transit(TWaveFlag::Closing, true);
    try {
        if (!CheckResult(ResetDevice())) {
            Transit(TWaveFlag::Closing, false);
            return false;
        }
        // The device hands every queued buffer back; the last one closes it.
        if (HeaderCount() == 0 && !BuffersRequested())
            return CloseDeviceNow();
        return true;
    } catch (...) {
        Transit(TWaveFlag::Closing, false);
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
    Transit(TWaveFlag::Paused, true);
    DoPause();
    return true;
}

bool TWaveAudioIO::InternalResume() {
    if (!GetPaused())
        return false;
    TLockGuard lock(*this);
    if (DeviceUsable() && !CheckResult(RestartDevice()))
        return false;
    Transit(TWaveFlag::Paused, false);
    DoResume();
    return true;
}

void TWaveAudioIO::WaveOpened() {
    Transit(TWaveFlag::Opening, false);
    openNotified_ = true;
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
    closeCalled_ = false;
    // The callback goes first, so that the state goes from closing to idle
    // in one step.
    ReleaseCallback();
    Transit(TWaveFlag::Closing, false);
    ReleaseAllHeaders();
    DoDeactivate();
}

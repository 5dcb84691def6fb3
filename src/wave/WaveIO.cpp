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

TWaveAudioIO::TWaveAudioIO() {
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
        while (Frames() > 0 && Remaining(start, kWaveNotificationWaitMs) > 0)
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
    if (GetActive() || HandleAllocated())
        ForceShutdown(!WaveLibraryUnloading());
    JoinThread(kWaveNotificationWaitMs);
    if (thread_ != nullptr)
        return false; // the callback thread is still in a handler of ours
    return std::none_of(headers_.begin(), headers_.end(), HeldByDevice);
}

void TWaveAudioIO::ForceShutdown(bool mayClose) {
    TLockGuard lock(*this);
    if (DeviceUsable())
        ResetDevice();
    // What was set aside before goes first, then what the device gave back,
    // in the order it was queued.
    FlushDeferred();
    std::vector<WAVEHDR*> headers = QueuedHeaders();
    for (WAVEHDR* header : headers_)
        if (!SlotOf(header)->queued)
            headers.push_back(header);
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
    } catch (const std::exception& error) {
        ShowError(error.what());
    } catch (...) {
        ShowError("Unknown error");
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
        } catch (const std::exception& error) {
            ShowError(error.what());
        } catch (...) {
            ShowError("Unknown error");
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

void TWaveAudioIO::FlushDeferred() {
    std::deque<TDeferred> deferred = std::move(deferred_);
    deferred_.clear();
    for (TDeferred& d : deferred) {
        if (d.back.block.data == nullptr)
            continue; // an output buffer or an open or close: the shutdown sees to them
        try {
            HandleBuffer(d.back);
        } catch (...) {
            // Whatever the data's stream says, the device is shut down.
        }
        RecycleBlock(d.back.block);
    }
}

void TWaveAudioIO::ForgetDevice() {
    ForgetHandle();
    // Whatever is still deferred belongs to the device that is gone.
    for (TDeferred& d : deferred_)
        RecycleBlock(d.back.block);
    deferred_.clear();
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

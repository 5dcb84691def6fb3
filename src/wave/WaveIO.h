// The common base of the waveform device objects: TWaveAudioIO owns what does
// not depend on the direction of the data (the open/close life cycle, the pool
// of buffer headers, the callback window or thread through which the driver
// reports back, the events, the device lock and error reporting). TWaveAudioOut
// (WaveOut.h) and TWaveAudioIn (WaveIn.h) supply the waveOut... and waveIn...
// calls. WaveCallback.cpp holds the callback channel, WaveHeaders.cpp the
// header pool, WaveIO.cpp the device object itself.
//
// States: Idle -> Opening (inside the open call) -> Active (running or
// paused) -> Closing (a stop was asked for, or the data is exhausted) -> Idle
// when the close notification has been handled.
//
// Re-entry. Every event runs code that may call any method of any object,
// this one included, and may pump the thread's messages (a host's Delay). The
// object is busy while one of its events runs. One rule covers what happens
// meanwhile:
//
// - A device notification that arrives while the object is busy, or while
//   notifications deferred before it still wait, is deferred. Its device part
//   runs at once all the same: the header the device hands back is the
//   engine's again; an input buffer's recorded bytes are set aside and the
//   buffer goes straight back to the device with fresh room; an output buffer
//   that is not to be refilled (a stop, the end of the data) is released. Its
//   event part (the refill of an output buffer with its level report, the
//   level report and writing of recorded bytes, the open and close work with
//   OnActivate and OnDeactivate) waits in the object's queue.
// - Deferred work runs in the order it came, when the object is no longer
//   busy: in the dispatched message that ends the business, and in the
//   object's next notifications. Each dispatched message does a bounded amount
//   of it: once it has run for a buffer's length (BufferLength), the rest stays
//   queued behind the host's other messages. When the device will send
//   nothing more on its own (paused, closing, or no buffer at the device), the
//   object posts itself one message to go on. So a host's message loop and
//   its Delay always get the thread back, and no object's work waits for
//   another's.
// - One buffer at a time is in hand: the work of one notification never runs
//   inside another's. A seek or stop from inside a level report leaves the
//   buffer in hand stale: it is released, not queued.
// - A recorder loses no input because an event was slow: its buffers are
//   requeued as soon as the device hands them back, whatever runs. Input is
//   lost at the device only when the thread does not dispatch messages for
//   longer than all its buffers together (BufferCount x BufferLength). When
//   the level reports fall behind by more than BufferCount buffers, the
//   oldest waiting buffer is written without its report, so that the backlog
//   stays bounded.
// - Stopping, destroying and unloading reset the device: every queued buffer
//   comes back at once, whatever the state (paused, closing, at the end of the
//   data). A stop lets the deferred work and the close notification run as
//   usual; destroying and unloading take the buffers back on the spot (a
//   recorder writes what they hold), finish the run and close the device
//   without waiting for any notification, and raise no event.
// - Waiting for a close (a new run on an object that is still closing)
//   dispatches only this object's notifications and is bounded
//   (kWaveNotificationWaitMs); from inside an event of the object it does not
//   wait at all, since the close cannot come before the event returns.
// - Lifetime: public methods and notification handlers run inside a frame
//   (WaveInUse.h); Free() called while a frame of the object is open defers
//   the destruction until the outermost frame has returned. Device objects
//   are therefore never deleted directly: Free() (or TWaveAudioIO::Deleter in
//   a std::unique_ptr) ends the device and frees the object.
#pragma once

#include <atomic>
#include <bitset>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "wave/WaveInUse.h"
#include "wave/WaveUtils.h"

class TWaveAudioIO;

// Events receive the sending device object first.
using TWaveAudioEvent = std::function<void(TWaveAudioIO* Sender)>;
using TWaveAudioLevelEvent = std::function<void(TWaveAudioIO* Sender, std::int32_t Level)>;
// Supplies the record to open an input device with; FreeIt arrives true and
// says whether the device releases the record (with std::free) after opening.
using TWaveAudioGetFormatEvent =
    std::function<void(TWaveAudioIO* Sender, PWaveFormatEx& pWaveFormat, bool& FreeIt)>;

// A set of TPCMFormat members, indexed by the member.
using TPCMFormats = std::bitset<Stereo16bit48000Hz + 1>;

class EWaveAudioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// A device call failed and no OnError handler is assigned; the message is the
// system's text for the code.
class EWaveAudioSysError : public EWaveAudioError {
public:
    using EWaveAudioError::EWaveAudioError;
};
// Misuse of a device object.
class EWaveAudioInvalidOperation : public EWaveAudioError {
public:
    using EWaveAudioError::EWaveAudioError;
};

// The texts of EWaveAudioInvalidOperation, as callers compare them.
inline constexpr const char* kDeviceIDChangeText =
    "DeviceID cannot be changed while device is open";
inline constexpr const char* kFormatChangeText =
    "Audio format cannot be changed while device is open";
inline constexpr const char* kAlreadyOpenText = "Device is aleardy open";
inline constexpr const char* kAlreadyClosedText = "Device is aleardy close";
inline constexpr const char* kStockNotAssignedText = "Stock property is not assigned";

enum class TWaveAudioState { Idle, Opening, Active, Closing };
// Who holds a buffer header: the engine (Free), the device (Queued), or the
// device has handed it back and its notification has not been handled (Done).
enum class TWaveHeaderState { Free, Queued, Done };

// How an error that escapes a notification handler is shown: once, and then
// swallowed. The host bridge installs the host's message box at load time;
// null restores the default, which writes the text to the standard error.
using TWaveErrorDisplay = void (*)(const char* message);
void SetWaveErrorDisplay(TWaveErrorDisplay display);

// Set while the library is being unloaded. Device objects freed then end their
// devices without waiting for anything and without the close calls, which do
// not return inside the system's library shutdown: they reset the device, take
// back its buffers, finish their files and free what they own.
void SetWaveLibraryUnloading(bool unloading);
bool WaveLibraryUnloading();

// How long a wait for an open or close notification may take before the
// object gives up on it.
inline constexpr DWORD kWaveNotificationWaitMs = 2000;

// The message a device object posts to its callback to go on with its
// deferred work.
inline constexpr UINT kWaveResumeMessage = WM_APP + 0x3BB;

// Recorded bytes set aside from the header that held them (GlobalAlloc'd).
struct TWaveBlock {
    void* data = nullptr;
    DWORD bytes = 0;    // recorded
    DWORD capacity = 0; // allocated
};

class TWaveAudioIO : public TInUse {
public:
    TWaveAudioIO();

    // Ends the device (as a stop does, then waiting for its close) and frees
    // the object; events stay silent from this call on. Called from an event
    // of this object, it returns at once and the object is freed when the
    // outermost handler or method of it returns. May be called from an event.
    // Called from another thread while the callback thread runs a handler,
    // it lets that handler finish first (bounded).
    void Free();
    struct Deleter {
        void operator()(TWaveAudioIO* device) const {
            if (device != nullptr)
                device->Free();
        }
    };

    // --- properties (each may be called from an event) ---
    bool Active() { return GetActive(); }
    // True opens the device (OnActivate follows from the open notification),
    // false starts closing it (OnDeactivate follows from the close
    // notification); the current value does nothing.
    void SetActive(bool value);
    bool Paused() { return GetPaused(); }
    // Pauses or resumes; an idle object only remembers it (OnPause/OnResume
    // fire at once) and opens paused.
    void SetPaused(bool value);
    std::int32_t DeviceID() const { return deviceID_; }
    // Validated by a capability query; a failure is reported (OnError or
    // EWaveAudioSysError) and keeps the old number. Raises
    // EWaveAudioInvalidOperation while active.
    void SetDeviceID(std::int32_t id);
    bool Async() const { return async_; }
    // Ignored while active.
    void SetAsync(bool value);
    std::uint16_t BufferLength() const { return bufferLength_; }
    // Milliseconds per buffer, at least 10.
    void SetBufferLength(std::uint16_t ms) { bufferLength_ = ms < 10 ? 10 : ms; }
    std::uint16_t BufferCount() const { return bufferCount_; }
    void SetBufferCount(std::uint16_t count) { bufferCount_ = count; }
    std::string DeviceName() { return GetDeviceName(); }
    TPCMFormats DeviceFormats() { return GetDeviceFormats(); }
    UINT NumDevs() { return GetNumDevs(); }
    // Milliseconds of the current playback or recording.
    std::int32_t Position() { return GetPosition(); }
    MMRESULT ErrorCode() const { return errorCode_; }
    std::string ErrorText() { return GetErrorText(errorCode_); }

    TWaveAudioState State() const;
    // The set of formats a device's capability flags (dwFormats) name; the
    // 8000 Hz formats are always included, the 48000 Hz ones never.
    static TPCMFormats FormatsFromCapabilities(DWORD formats);
    // Headers allocated and not yet released: queued at the device plus the
    // one being handled.
    std::uint16_t HeaderCount() const { return static_cast<std::uint16_t>(headers_.size()); }
    std::vector<TWaveHeaderState> HeaderStates() const;

    TWaveAudioEvent OnActivate;
    TWaveAudioEvent OnDeactivate;
    TWaveAudioEvent OnPause;
    TWaveAudioEvent OnResume;
    TWaveAudioEvent OnError;
    TWaveAudioLevelEvent OnLevel;

protected:
    // Only Free() deletes.
    ~TWaveAudioIO() override;
    // Tears the device down and deletes the object (TInUse).
    void End() override;

    // Keeps the object alive while a public method or handler runs: the
    // destruction asked for inside it happens when the outermost frame ends.
    // Code after a frame's end must not touch the object.
    class TBusyFrame : public TFrame {
    public:
        explicit TBusyFrame(TWaveAudioIO& device);
        ~TBusyFrame();
        TBusyFrame(const TBusyFrame&) = delete;
        TBusyFrame& operator=(const TBusyFrame&) = delete;

    private:
        TWaveAudioIO& device_;
        bool callbackThread_; // opened on the callback thread
    };
    class TLockGuard {
    public:
        explicit TLockGuard(TWaveAudioIO& device) : device_(device) { device_.Lock(); }
        ~TLockGuard() { device_.Unlock(); }
        TLockGuard(const TLockGuard&) = delete;
        TLockGuard& operator=(const TLockGuard&) = delete;

    private:
        TWaveAudioIO& device_;
    };

    // One buffer notification (MM_WOM_DONE, MM_WIM_DATA): the header handed
    // back (null: a request for one more output buffer), the bytes set aside
    // from it, and whether its level goes unreported.
    struct TBufferBack {
        WAVEHDR* header = nullptr;
        TWaveBlock block;
        bool unreported = false;
    };

    // --- notification handlers (run under the lock, on the callback thread) ---
    virtual void HandleWimOpen() { WaveOpened(); }
    virtual void HandleWimClose() { WaveClosed(); }
    virtual void HandleWomOpen() { WaveOpened(); }
    virtual void HandleWomClose() { WaveClosed(); }
    // The device part of a buffer notification, run as it arrives: false when
    // no event part is left for it.
    virtual bool TakeBackBuffer(TBufferBack& back) = 0;
    // Its event part, run at once or deferred (see the top of this file).
    virtual void HandleBuffer(TBufferBack& back) = 0;

    // --- what the directions supply ---
    virtual UINT GetNumDevs() = 0;
    virtual bool GetActive() { return callback_ != 0; }
    virtual void DoSetActive(bool value);
    virtual bool GetPaused() { return paused_; }
    virtual void DoSetPaused(bool value);
    virtual std::string GetDeviceName() = 0;
    virtual TPCMFormats GetDeviceFormats() = 0;
    virtual std::int32_t GetPosition() = 0;
    virtual std::string GetErrorText(MMRESULT code) = 0;
    // The record to open with; FreeIt (arriving true) says whether the record
    // is released with std::free after the open. Null: no format, the open fails.
    virtual void GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) = 0;
    virtual MMRESULT ValidateDeviceID(std::int32_t id) = 0;
    virtual bool HandleAllocated() = 0;
    virtual void StartDataFlow() = 0;
    // The device calls of one direction.
    virtual MMRESULT OpenDevice(const WAVEFORMATEX* format, bool query) = 0;
    virtual MMRESULT ResetDevice() = 0;
    virtual MMRESULT CloseDevice() = 0;
    virtual MMRESULT PauseDevice() = 0;
    virtual MMRESULT RestartDevice() = 0;
    virtual MMRESULT UnprepareDevice(WAVEHDR* header) = 0;
    // Forgets the device handle (the device is closed or abandoned); see
    // ForgetDevice.
    virtual void ForgetHandle() = 0;
    // Output: requests for a first buffer are on their way to the callback.
    virtual bool BuffersRequested() { return false; }
    // Output re-raises errors met while closing; input swallows them.
    virtual bool RaisesCloseErrors() const { return true; }

    // Opens the device: the format query, the callback, the real open.
    // False while an open runs or when the device refuses; the open
    // notification follows on success. Waits for a pending close first.
    virtual bool InternalOpen();
    // Starts closing: reset, and the close call once no header is left.
    virtual bool InternalClose();
    virtual bool InternalPause();
    virtual bool InternalResume();

    virtual void ReleaseAllHeaders();
    virtual void WaveOpened();
    virtual void WaveClosed();
    virtual void DoActivate();
    virtual void DoDeactivate();
    virtual void DoPause();
    virtual void DoResume();
    virtual void DoError();
    virtual void DoLevel(const void* buffer, DWORD size);

    // The shutdown without notifications (destruction, library unload): a
    // recorder writes what a returned buffer holds, without events.
    virtual void TakeBackHeader(WAVEHDR*) {}
    // The run's data is done with: a player ends its reading (and frees its
    // adapter), a recorder completes its file. Called by the close
    // notification, by an open that failed after GetWaveFormat, and by the
    // shutdown without notifications.
    virtual void FinishRun() {}
    // The close notification of both directions: FinishRun (an error of it
    // is raised again once the rest is done), the handle forgotten,
    // WaveClosed.
    void DeviceClosed();
    // The data of a previous run is still there (its close has not come).
    virtual bool RunPending() { return false; }
    // Before a new run on an object that may still be active: stops it and
    // waits for its close. False when an open is under way further up the
    // stack or the object is being freed; EWaveAudioInvalidOperation when the
    // previous run is still there.
    bool PrepareRun();

    // The device number as the waveOut.../waveIn... functions take it.
    UINT DeviceNumber() const {
        return deviceID_ == -1 ? WAVE_MAPPER : static_cast<UINT>(deviceID_);
    }
    DWORD_PTR Callback() const { return callback_; }

    bool CheckResult(MMRESULT code);
    DWORD CalcBufferSize() const;
    // Size 0 releases the header (and its own buffer). Otherwise the header
    // is made (when null) and given `size` bytes: its own buffer, kept when
    // it is large enough, or `buffer`, which stays someone else's. Failure:
    // code 7 reported, header released, false.
    bool ReallocateHeader(WAVEHDR*& header, DWORD size, void* buffer);
    // ReallocateHeader with an own buffer of CalcBufferSize bytes (the spare
    // one, when the header's own was set aside); a format without a buffer
    // size releases the header (false).
    bool RefillHeader(WAVEHDR*& header);
    // The header has been handed to the device (write or add succeeded).
    void MarkQueued(WAVEHDR* header);
    // Takes the header's own buffer, with `bytes` of it used, out of the
    // header (which gets new room with the next RefillHeader).
    TWaveBlock DetachBuffer(WAVEHDR* header, DWORD bytes);
    // A block done with: kept as the spare buffer, or freed.
    void RecycleBlock(TWaveBlock& block);
    // The headers the device holds or has handed back unhandled, in the
    // order they were queued.
    std::vector<WAVEHDR*> QueuedHeaders() const;
    bool AllocateCallback();
    void ReleaseCallback();
    bool PostToCallback(UINT message, LPARAM lParam);
    // Runs the handler of one of the six device messages (false for any other
    // message). Errors escaping it are shown and swallowed.
    bool HandleDeviceMessage(UINT message, LPARAM lParam);
    std::int32_t MMTimeToMS(const MMTIME& time) const;
    void WaitForOpen();
    // Handles notifications until the close notification has run (bounded).
    void WaitForClose();
    void Lock() { EnterCriticalSection(&lock_); }
    void Unlock() { LeaveCriticalSection(&lock_); }

    // The device is open and its close has not been called yet.
    bool DeviceUsable() { return HandleAllocated() && !closeCalled_; }
    // The close call; on failure the device stays open and Closing is
    // cleared, so that a stop may try again.
    bool CloseDeviceNow();
    // Calls the close once nothing is left at the device: after a stop, at
    // the end of the data, or when no buffer could be queued.
    void CloseWhenDrained();
    // Free() has been called: no events, and the object goes away soon.
    bool Destroying() const { return destroying_; }

    // Raises an event: the object is busy until it returns.
    template <class Event, class... Args>
    void Raise(const Event& event, Args... args) {
        if (destroying_ || !event)
            return;
        const Event handler = event; // a handler may replace the event it runs in
        struct TBusy {
            TWaveAudioIO& device;
            explicit TBusy(TWaveAudioIO& d) : device(d) { ++device.eventDepth_; }
            ~TBusy() { device.EventReturned(); }
            TBusy(const TBusy&) = delete;
            TBusy& operator=(const TBusy&) = delete;
        } busy(*this);
        handler(this, args...);
    }
    // One of the object's events is running.
    bool Busy() const { return eventDepth_ > 0; }
    // The device will send nothing more by itself: paused, closing, or no
    // buffer at the device.
    bool Quiet() const;

    std::atomic<bool> opening_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> closeCalled_{false};
    DWORD callbackType_ = CALLBACK_WINDOW;
    // Copy of the first 16 bytes of the record the device was opened with.
    WAVEFORMATEX WaveFormat{};

private:
    struct TWaveThread;
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI ThreadProc(LPVOID parameter);
    bool OnCallbackThread() const;
    void JoinThread(DWORD timeout);
    void WaitOwnQueue(DWORD deadline);
    // Frames of the calling thread are open.
    bool OwnFramesOpen() const;
    // Tears the device down; false when the object cannot be freed safely.
    bool TearDown();
    void ForceShutdown(bool mayClose);
    bool TakeHeader(WAVEHDR* header);
    // One device notification: handled now, or its device part now and the
    // rest deferred.
    void Notify(UINT message, LPARAM lParam, bool defer);
    // The event part of a notification.
    void RunNotification(UINT message, TBufferBack& back);
    void Defer(UINT message, TBufferBack back);
    // Runs deferred work in order while the object is not busy and the
    // dispatched message that began at `start` has time left (at least one
    // piece when `ranOne` is false); then asks for a resume message when
    // work is left and the device is quiet.
    void RunDeferred(DWORD start, bool ranOne);
    void PostResume();
    void EventReturned();
    // The deferred work of a shutdown: recorded bytes written, no events.
    void FlushDeferred();
    // ForgetHandle, and the deferred notifications of that device dropped.
    void ForgetDevice();

    bool async_ = false;
    std::int32_t deviceID_ = -1;
    MMRESULT errorCode_ = 0;
    std::uint16_t bufferLength_ = 1000;
    std::uint16_t bufferCount_ = 2;
    std::atomic<DWORD_PTR> callback_{0};
    std::vector<WAVEHDR*> headers_;
    // Events of this object running (the object is busy), and the
    // notifications deferred meanwhile, in order (under the lock).
    std::atomic<int> eventDepth_{0};
    struct TDeferred {
        UINT message;
        TBufferBack back;
    };
    std::deque<TDeferred> deferred_;
    bool resumePosted_ = false;
    // The spare sample buffer, and the order in which headers were queued.
    TWaveBlock spare_;
    std::uint64_t queueCount_ = 0;
    TWaveThread* thread_ = nullptr;
    DWORD openingThread_ = 0;
    CRITICAL_SECTION lock_;
    std::atomic<int> callbackBusy_{0}; // the frames open on the callback thread
    std::atomic<bool> destroying_{false};
};

// A device object in a std::unique_ptr, freed with Free().
template <class T>
using TWaveDevicePtr = std::unique_ptr<T, TWaveAudioIO::Deleter>;

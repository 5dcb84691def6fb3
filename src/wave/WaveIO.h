// The common base of the waveform device objects: TWaveAudioIO owns what does
// not depend on the direction of the data (the open/close life cycle, the pool
// of buffer headers, the callback window or thread through which the driver
// reports back, the events, the device lock and error reporting). TWaveAudioOut
// (WaveOut.h) and TWaveAudioIn (WaveIn.h) supply the waveOut... and waveIn...
// calls.
//
// States: Idle -> Opening (inside the open call) -> Active (running or
// paused) -> Closing (a stop was asked for, or the data is exhausted) -> Idle
// when the close notification has been handled.
//
// Re-entry: every event may run code that calls any method of the same object,
// destroying it included. Public methods and notification handlers run inside
// a "busy frame"; Free() called while a frame of the object is open defers the
// destruction until the outermost frame has returned. Device objects are
// therefore never deleted directly: Free() (or TWaveAudioIO::Deleter in a
// std::unique_ptr) ends the device and frees the object.
#pragma once

#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Platform.h"
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

class TWaveAudioIO {
public:
    TWaveAudioIO();
    TWaveAudioIO(const TWaveAudioIO&) = delete;
    TWaveAudioIO& operator=(const TWaveAudioIO&) = delete;

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
    virtual ~TWaveAudioIO();

    // Keeps the object alive while a public method or handler runs: the
    // destruction asked for inside it happens when the outermost frame ends.
    // Code after a frame's end must not touch the object.
    class TBusyFrame {
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

    // --- notification handlers (run under the lock, on the callback thread) ---
    virtual void HandleWimOpen() { WaveOpened(); }
    virtual void HandleWimClose() { WaveClosed(); }
    virtual void HandleWimData(WAVEHDR*) {}
    virtual void HandleWomOpen() { WaveOpened(); }
    virtual void HandleWomClose() { WaveClosed(); }
    virtual void HandleWomDone(WAVEHDR*) {}

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
    // DoLevel for the buffer in hand (under the lock). A buffer the device
    // hands back while the report runs (its handler may pump messages) waits
    // until the outermost notification handler is done, so that buffers are
    // queued and recorded in the device's order.
    void ReportLevel(const void* buffer, DWORD size);

    // The shutdown without notifications (library unload, or a close that
    // never came): a recorder writes what a returned buffer holds.
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
    // ReallocateHeader with an own buffer of CalcBufferSize bytes; a format
    // without a buffer size releases the header (false).
    bool RefillHeader(WAVEHDR*& header);
    // The header has been handed to the device (write or add succeeded).
    void MarkQueued(WAVEHDR* header);
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

    template <class Event, class... Args>
    void Raise(const Event& event, Args... args) {
        if (destroying_ || !event)
            return;
        const Event handler = event; // a handler may replace the event it runs in
        handler(this, args...);
    }

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
    void LeaveFrame();
    // Frames of the calling thread are open.
    bool OwnFramesOpen() const;
    // Tears the device down; false when the object cannot be freed safely.
    bool TearDown();
    void ForceShutdown(bool mayClose);
    bool TakeHeader(WAVEHDR* header);
    // The handler of one device message, and those a level report postponed.
    void DispatchDeviceMessage(UINT message, LPARAM lParam);
    void RunPostponed();
    // ForgetHandle, and the postponed notifications of that device dropped.
    void ForgetDevice();

    bool async_ = false;
    std::int32_t deviceID_ = -1;
    MMRESULT errorCode_ = 0;
    std::uint16_t bufferLength_ = 1000;
    std::uint16_t bufferCount_ = 2;
    std::atomic<DWORD_PTR> callback_{0};
    std::vector<WAVEHDR*> headers_;
    // Level reports under way (under the lock), and the buffer notifications
    // that arrived meanwhile, in order: their headers count as the device's
    // until they are handled.
    int reports_ = 0;
    struct TPostponed {
        UINT message;
        LPARAM lParam;
    };
    std::vector<TPostponed> postponed_;
    TWaveThread* thread_ = nullptr;
    DWORD openingThread_ = 0;
    CRITICAL_SECTION lock_;
    std::atomic<int> busy_{0};
    std::atomic<int> callbackBusy_{0}; // the frames of busy_ open on the callback thread
    std::atomic<bool> destroying_{false};
    std::atomic<bool> freePending_{false};
    std::atomic<bool> tearingDown_{false};
};

// A device object in a std::unique_ptr, freed with Free().
template <class T>
using TWaveDevicePtr = std::unique_ptr<T, TWaveAudioIO::Deleter>;

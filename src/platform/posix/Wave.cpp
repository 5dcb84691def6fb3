// The simulated waveform devices: open handles in a registry, one device
// thread, buffers played and recorded against the platform's clock.
//
// Everything here is guarded by SyncMutex(), the lock of the message queues,
// so that notifications are posted in the order their events happen. A
// device's state is brought up to the present (Update) by the device thread
// and by every call on its handle before the call looks at it.
#include "platform/posix/Wave.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "platform/Cp1251.h"
#include "platform/posix/Acm.h"
#include "platform/posix/Clock.h"
#include "platform/posix/Messages.h"
#include "platform/posix/Threads.h"
#include "platform/posix/WaveConfig.h"
#include "platform/posix/WaveSim.h"

namespace posix::wave {
namespace {

using Lock = std::unique_lock<std::mutex>;
using Frames = std::uint64_t;
// Room for nanoseconds times frame rates.
__extension__ typedef unsigned __int128 Wide;

constexpr std::uint64_t kNanosPerSecond = 1000000000;
constexpr DWORD kUnity = 0x10000; // 1.0 in 16.16 fixed point

// Frames that pass at a rate of `perSecond` / `divisor` frames per second
// while the clock runs.
class FrameClock {
public:
    void SetRate(std::uint64_t perSecond, std::uint64_t divisor) {
        perSecond_ = perSecond;
        divisor_ = divisor;
    }
    bool Running() const { return running_; }
    Frames At(Nanos time) const {
        if (!running_ || time <= since_)
            return base_;
        const auto elapsed = static_cast<Wide>(time - since_);
        return base_ + static_cast<Frames>(elapsed * perSecond_ / (divisor_ * kNanosPerSecond));
    }
    // The moment frame `frame` is reached (while running).
    Nanos TimeOf(Frames frame) const {
        if (frame <= base_)
            return since_;
        const auto frames = static_cast<Wide>(frame - base_);
        const Wide scaled = frames * divisor_ * kNanosPerSecond;
        return since_ + static_cast<Nanos>((scaled + perSecond_ - 1) / perSecond_);
    }
    void Start(Nanos now) {
        if (!running_) {
            running_ = true;
            since_ = now;
        }
    }
    void Stop(Nanos now) { StopAt(At(now)); }
    void StopAt(Frames frame) {
        base_ = frame;
        running_ = false;
    }
    // Keeps the frames counted so far when the rate changes.
    void Rebase(Nanos now) {
        base_ = At(now);
        since_ = now;
    }

private:
    Frames base_ = 0; // frames counted at since_
    Nanos since_ = 0;
    bool running_ = false;
    std::uint64_t perSecond_ = 1;
    std::uint64_t divisor_ = 1;
};

struct Queued {
    WAVEHDR* header;
    Frames frames; // output: frames it plays; input: frames it holds
};

struct Device {
    bool output = true;
    UINT id = 0;         // as opened
    unsigned index = 0;  // the device table entry in use
    WAVEFORMATEX pcm{};  // what the device plays or records
    WAVEFORMATEX wave{}; // what the caller writes (differs when the mapper decodes)
    DWORD callbackType = CALLBACK_NULL;
    DWORD_PTR callback = 0;
    KernelObject* event = nullptr; // held while open
    HACMSTREAM decoder = nullptr;
    std::vector<BYTE> decoded; // scratch of the decoder
    std::deque<Queued> queue;
    FrameClock clock;
    bool paused = false;  // output
    bool started = false; // input
    // Output: the queue entry playing and the frame it began at; an active loop.
    std::size_t cursor = 0;
    Frames cursorStart = 0;
    bool looping = false;
    std::size_t loopStart = 0;
    DWORD loopsLeft = 0;
    // Input: the frame the first queued buffer began at; the frame of the
    // last reset (positions count from there).
    Frames headStart = 0;
    Frames positionBase = 0;
    DWORD volume = 0xFFFFFFFF;
    DWORD pitch = kUnity;
    DWORD rate = kUnity;
};

struct Registry {
    std::map<std::uintptr_t, std::unique_ptr<Device>> devices;
    std::uintptr_t nextHandle = 0x10000;
    bool threadStarted = false;
    std::uint64_t wakeups = 0;
};

// Never destroyed: the device thread may still run while statics go.
Registry& Reg() {
    static Registry* registry = new Registry;
    return *registry;
}

template <class H>
Device* Find(H handle, bool output) {
    const auto found = Reg().devices.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == Reg().devices.end() || found->second->output != output)
        return nullptr;
    return found->second.get();
}

std::uintptr_t HandleOf(const Device& device) {
    for (const auto& [handle, entry] : Reg().devices)
        if (entry.get() == &device)
            return handle;
    return 0;
}

void Notify(const Device& device, std::uintptr_t handle, UINT message, LPARAM parameter) {
    switch (device.callbackType) {
    case CALLBACK_WINDOW:
        PostMessageLocked(reinterpret_cast<HWND>(device.callback), message, handle, parameter);
        break;
    case CALLBACK_THREAD:
        PostThreadMessageLocked(static_cast<DWORD>(device.callback), message, handle, parameter);
        break;
    case CALLBACK_EVENT:
        SetEventLocked(reinterpret_cast<HANDLE>(device.callback));
        break;
    default:
        break;
    }
}

// Hands a header back with WHDR_DONE.
void Complete(const Device& device, WAVEHDR* header) {
    header->dwFlags = (header->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
    Notify(device, HandleOf(device), device.output ? MM_WOM_DONE : MM_WIM_DATA,
           reinterpret_cast<LPARAM>(header));
}

// --- the recorded signal ----------------------------------------------------------

void FillSignal(const WAVEFORMATEX& format, Frames first, Frames frames, BYTE* out) {
    std::uint64_t k = first * format.nChannels;
    const std::uint64_t samples = frames * format.nChannels;
    if (format.wBitsPerSample == 16) {
        for (std::uint64_t i = 0; i < samples; ++i, ++k) {
            out[2 * i] = static_cast<BYTE>(k);
            out[2 * i + 1] = static_cast<BYTE>(k >> 8);
        }
    } else {
        for (std::uint64_t i = 0; i < samples; ++i, ++k)
            out[i] = static_cast<BYTE>(k);
    }
}

// An input buffer takes `frames` frames from frame `first` on and goes back.
void Deliver(Device& device, Frames first, Frames frames) {
    WAVEHDR* header = device.queue.front().header;
    FillSignal(device.pcm, first, frames, reinterpret_cast<BYTE*>(header->lpData));
    header->dwBytesRecorded = static_cast<DWORD>(frames * device.pcm.nBlockAlign);
    device.queue.pop_front();
    Complete(device, header);
}

// --- time ---------------------------------------------------------------------------

// Whether an output device has a buffer to play (a loop may wait for the
// rest of its buffers).
bool HasCursor(const Device& device) {
    return device.cursor < device.queue.size();
}

// When the device next has a buffer done, kNever if not while nothing changes.
Nanos NextEvent(const Device& device) {
    if (!device.clock.Running() || (device.output ? !HasCursor(device) : device.queue.empty()))
        return kNever;
    if (device.output)
        return device.clock.TimeOf(device.cursorStart + device.queue[device.cursor].frames);
    return device.clock.TimeOf(device.headStart + device.queue.front().frames);
}

// An output buffer has started to play: a loop may begin with it.
void EnterCursor(Device& device) {
    if (device.looping || !HasCursor(device))
        return;
    const WAVEHDR* header = device.queue[device.cursor].header;
    if ((header->dwFlags & WHDR_BEGINLOOP) != 0) {
        device.looping = true;
        device.loopStart = device.cursor;
        device.loopsLeft = std::max<DWORD>(header->dwLoops, 1);
    }
}

// The output buffer at the cursor has played to its end.
void FinishCursor(Device& device) {
    const WAVEHDR* header = device.queue[device.cursor].header;
    if (device.looping && (header->dwFlags & WHDR_ENDLOOP) != 0) {
        if (--device.loopsLeft > 0) {
            device.cursor = device.loopStart;
            return;
        }
        device.looping = false;
        for (std::size_t i = 0; i <= device.cursor; ++i) {
            WAVEHDR* done = device.queue.front().header;
            device.queue.pop_front();
            Complete(device, done);
        }
        device.cursor = 0;
    } else if (device.looping) {
        ++device.cursor;
    } else {
        WAVEHDR* done = device.queue.front().header;
        device.queue.pop_front();
        Complete(device, done);
    }
    EnterCursor(device);
}

// Brings the device up to `now`: every buffer done by then goes back, in
// order. True when one did.
bool Update(Device& device, Nanos now) {
    bool changed = false;
    for (;;) {
        const Nanos due = NextEvent(device);
        if (due == kNever || due > now)
            break;
        changed = true;
        if (device.output) {
            const Frames end = device.cursorStart + device.queue[device.cursor].frames;
            device.cursorStart = end;
            FinishCursor(device);
            if (!HasCursor(device))
                device.clock.StopAt(end); // nothing left to play: the position stays
        } else {
            const Frames frames = device.queue.front().frames;
            const Frames first = device.headStart;
            device.headStart = first + frames;
            Deliver(device, first, frames);
        }
    }
    return changed;
}

// Tells the device thread (and a virtual clock) when a device is next due,
// and answers it.
Nanos Reschedule() {
    Nanos next = kNever;
    for (const auto& [handle, device] : Reg().devices)
        next = std::min(next, NextEvent(*device));
    SetTimedWorkDue(next);
    return next;
}

void DeviceThread() {
    Lock lock(SyncMutex());
    for (;;) {
        ++Reg().wakeups;
        const Nanos now = ClockNow();
        // Due buffers of all devices, earliest first.
        for (;;) {
            Device* earliest = nullptr;
            Nanos due = now;
            for (const auto& [handle, device] : Reg().devices) {
                const Nanos next = NextEvent(*device);
                if (next <= due && (earliest == nullptr || next < due)) {
                    earliest = device.get();
                    due = next;
                }
            }
            if (earliest == nullptr)
                break;
            Update(*earliest, due);
        }
        WaitForTimedWork(lock, Reschedule());
    }
}

void StartDeviceThread() {
    if (Reg().threadStarted)
        return;
    Reg().threadStarted = true;
    std::thread(DeviceThread).detach();
}

// --- formats -------------------------------------------------------------------------

// The dwFormats flag of a PCM format at one of the four flagged rates, else 0.
DWORD FormatFlag(const WAVEFORMATEX& format) {
    int rate = -1;
    switch (format.nSamplesPerSec) {
    case 11025:
        rate = 0;
        break;
    case 22050:
        rate = 1;
        break;
    case 44100:
        rate = 2;
        break;
    case 48000:
        rate = 3;
        break;
    default:
        return 0;
    }
    const int kind = (format.nChannels == 2 ? 1 : 0) + (format.wBitsPerSample == 16 ? 2 : 0);
    return DWORD{1} << (rate * 4 + kind);
}

MMRESULT CheckPcm(const DeviceEntry& device, const WAVEFORMATEX& format) {
    if (format.wFormatTag != WAVE_FORMAT_PCM)
        return WAVERR_BADFORMAT;
    if (format.nSamplesPerSec == 0)
        return MMSYSERR_INVALPARAM;
    const bool shape = (format.nChannels == 1 || format.nChannels == 2) &&
                       (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
                       format.nSamplesPerSec >= 8000 && format.nSamplesPerSec <= 48000;
    if (!shape || format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8 ||
        format.nAvgBytesPerSec != format.nSamplesPerSec * format.nBlockAlign)
        return WAVERR_BADFORMAT;
    const DWORD flag = FormatFlag(format);
    return flag == 0 || (device.formats & flag) != 0 ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

// The caller's format record, whole: 18 + cbSize bytes, or the 16 bytes of
// a PCM record (PCMWAVEFORMAT has no cbSize), as an 18-byte record.
std::vector<BYTE> CopyFormat(const WAVEFORMATEX* format) {
    const bool pcm = format->wFormatTag == WAVE_FORMAT_PCM;
    const std::size_t size = pcm ? sizeof(PCMWAVEFORMAT) : sizeof(WAVEFORMATEX) + format->cbSize;
    std::vector<BYTE> copy(std::max(size, sizeof(WAVEFORMATEX)), 0);
    std::memcpy(copy.data(), format, size);
    return copy;
}

// How a format is to be opened: the device, and the decoder and PCM format
// when the mapper decodes it.
struct Choice {
    MMRESULT result = WAVERR_BADFORMAT;
    unsigned index = 0;
    WAVEFORMATEX pcm{};
    bool decode = false;
};

Choice Choose(bool output, UINT id, DWORD flags, const std::vector<BYTE>& format) {
    const auto& devices = Devices(output);
    const auto& wave = *reinterpret_cast<const WAVEFORMATEX*>(format.data());
    Choice choice;
    const bool mapped = id == WAVE_MAPPER || (flags & WAVE_MAPPED) != 0;
    const unsigned first = id == WAVE_MAPPER ? 0 : id;
    const unsigned last = id == WAVE_MAPPER ? static_cast<unsigned>(devices.size()) : id + 1;
    for (unsigned i = first; i < last; ++i) {
        const MMRESULT result = CheckPcm(devices[i], wave);
        if (result == MMSYSERR_NOERROR || result == MMSYSERR_INVALPARAM) {
            choice = Choice{result, i, wave, false};
            return choice;
        }
    }
    if (!output || !mapped || (flags & WAVE_FORMAT_DIRECT) != 0 ||
        wave.wFormatTag == WAVE_FORMAT_PCM)
        return choice;
    // The mapper decodes what the compression manager can make PCM of.
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    auto source = format;
    auto* sourceFormat = reinterpret_cast<WAVEFORMATEX*>(source.data());
    if (acmFormatSuggest(nullptr, sourceFormat, &pcm, sizeof pcm, ACM_FORMATSUGGESTF_WFORMATTAG) !=
            MMSYSERR_NOERROR ||
        acmStreamOpen(nullptr, nullptr, sourceFormat, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_QUERY) !=
            MMSYSERR_NOERROR)
        return choice;
    pcm.cbSize = 0;
    for (unsigned i = first; i < last; ++i) {
        if (CheckPcm(devices[i], pcm) == MMSYSERR_NOERROR) {
            choice = Choice{MMSYSERR_NOERROR, i, pcm, true};
            return choice;
        }
    }
    return choice;
}

// The frames an output buffer plays: its whole frames, or what it decodes to.
Frames FramesToPlay(Device& device, const WAVEHDR& header) {
    if (device.decoder == nullptr)
        return header.dwBufferLength / device.pcm.nBlockAlign;
    DWORD size = 0;
    if (header.dwBufferLength == 0 || acmStreamSize(device.decoder, header.dwBufferLength, &size,
                                                    ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR)
        return 0;
    device.decoded.resize(size);
    ACMSTREAMHEADER stream{};
    stream.cbStruct = sizeof stream;
    stream.pbSrc = reinterpret_cast<LPBYTE>(header.lpData);
    stream.cbSrcLength = header.dwBufferLength;
    stream.pbDst = device.decoded.data();
    stream.cbDstLength = size;
    Frames frames = 0;
    if (acmStreamPrepareHeader(device.decoder, &stream, 0) == MMSYSERR_NOERROR) {
        if (acmStreamConvert(device.decoder, &stream, ACM_STREAMCONVERTF_BLOCKALIGN) ==
            MMSYSERR_NOERROR)
            frames = stream.cbDstLengthUsed / device.pcm.nBlockAlign;
        acmStreamUnprepareHeader(device.decoder, &stream, 0);
    }
    return frames;
}

// --- texts ------------------------------------------------------------------------------

// The texts of a Russian Windows, as Wine gives them.
const char* ErrorText(MMRESULT code) {
    switch (code) {
    case MMSYSERR_NOERROR:
        return "Нет ошибки."_w1251;
    case MMSYSERR_ERROR:
        return "Неизвестная ошибка."_w1251;
    case MMSYSERR_BADDEVICEID:
        return "Используемый код устройства (device ID) выходит за допустимые пределы."_w1251;
    case MMSYSERR_NOTENABLED:
        return "Драйвер не был подключен."_w1251;
    case MMSYSERR_ALLOCATED:
        return "Указанное устройство уже используется. Подождите пока оно освободится, затем "
               "попробуйте ещё раз."_w1251;
    case MMSYSERR_INVALHANDLE:
        return "Указанный идентификатор устройства (device handle) неверен."_w1251;
    case MMSYSERR_NODRIVER:
        return "В системе не установлено ни одного драйвера!"_w1251;
    case MMSYSERR_NOMEM:
        return "Не хватает памяти для задачи. Закройте одно или несколько приложений и "
               "попробуйте заново."_w1251;
    case MMSYSERR_NOTSUPPORTED:
        return "Эта функция не поддерживается. Используйте функцию Capabilities, чтобы "
               "определить функции и сообщения, которые поддерживает драйвер."_w1251;
    case MMSYSERR_BADERRNUM:
        return "Указанный код ошибки не определён в системе."_w1251;
    case MMSYSERR_INVALFLAG:
        return "Недопустимый флажок передан системной функции."_w1251;
    case MMSYSERR_INVALPARAM:
        return "Недопустимый параметр передан системной функции."_w1251;
    case WAVERR_BADFORMAT:
        return "Указанный формат не поддерживается или не может быть преобразован. Используйте "
               "функцию Возможности, чтобы определить поддерживаемые форматы."_w1251;
    case WAVERR_STILLPLAYING:
        return "Невозможно произвести операцию, пока устройство в режиме воспроизведения. "
               "Сбросьте устройство, или подождите пока устройство не окончит "
               "воспроизведение."_w1251;
    case WAVERR_UNPREPARED:
        return "Заголовок wave не был подготовлен. Используйте функцию Prepare, чтобы "
               "подготовить заголовок и попробуйте заново."_w1251;
    case WAVERR_SYNC:
        return "Невозможно открыть устройство, не используя флаг WAVE_ALLOWSYNC. Используйте "
               "флаг и попробуйте заново."_w1251;
    default:
        return nullptr;
    }
}

MMRESULT GetErrorText(MMRESULT code, LPSTR text, UINT size) {
    if (size == 0)
        return MMSYSERR_NOERROR;
    if (text == nullptr)
        return MMSYSERR_INVALPARAM;
    const char* found = ErrorText(code);
    // A buffer of one character takes no text: Wine answers so.
    if (found == nullptr || size == 1)
        return MMSYSERR_BADERRNUM;
    const std::size_t length = std::min<std::size_t>(std::strlen(found), size - 1);
    std::memcpy(text, found, length);
    text[length] = '\0';
    return MMSYSERR_NOERROR;
}

// --- the calls ------------------------------------------------------------------------

// One call: the lock, the fault it may be made to answer, and, when the call
// changed what the devices will do, the news for the device thread.
class Call {
public:
    explicit Call(const char* function) : lock_(SyncMutex()), fault_(TakeFault(function)) {}
    ~Call() {
        if (changed_)
            Reschedule();
    }
    const std::optional<MMRESULT>& Fault() const { return fault_; }
    void Changed() { changed_ = true; }
    // The open device behind a handle, brought up to now.
    template <class H>
    Device* Open(H handle, bool output) {
        Device* device = Find(handle, output);
        if (device != nullptr && Update(*device, ClockNow()))
            changed_ = true;
        return device;
    }

private:
    Lock lock_;
    std::optional<MMRESULT> fault_;
    bool changed_ = false;
};

// A call on an open handle: the fault or MMSYSERR_INVALHANDLE, else what
// `body`(device, call) answers.
template <class H, class Body>
MMRESULT OnDevice(const char* function, H handle, bool output, Body&& body) {
    Call call(function);
    if (call.Fault())
        return *call.Fault();
    Device* device = call.Open(handle, output);
    return device == nullptr ? MMSYSERR_INVALHANDLE : body(*device, call);
}

MMRESULT GetDevCaps(bool output, UINT_PTR id, void* caps, UINT size) {
    Call call(output ? "waveOutGetDevCapsA" : "waveInGetDevCapsA");
    if (call.Fault())
        return *call.Fault();
    if (caps == nullptr)
        return MMSYSERR_INVALPARAM;
    const auto& devices = Devices(output);
    const bool mapper = id == WAVE_MAPPER || id == static_cast<UINT_PTR>(-1);
    std::size_t index = id;
    if (const Device* open = Find(reinterpret_cast<void*>(id), output))
        index = open->index;
    else if (!mapper && id >= devices.size())
        return MMSYSERR_BADDEVICEID;
    WAVEOUTCAPSA record{};
    record.wMid = 0xFF;
    record.wPid = 0xFF;
    record.vDriverVersion = 0x0100;
    record.wChannels = 2;
    if (mapper) {
        std::strcpy(record.szPname, "Microsoft Sound Mapper");
        for (const DeviceEntry& device : devices)
            record.dwFormats |= device.formats;
        record.dwSupport = devices.empty() ? 0 : devices[0].support;
    } else {
        const DeviceEntry& device = devices[index];
        std::memcpy(record.szPname, device.name.data(), device.name.size());
        record.dwFormats = device.formats;
        record.dwSupport = device.support;
    }
    // WAVEINCAPSA is WAVEOUTCAPSA without dwSupport.
    const std::size_t full = output ? sizeof(WAVEOUTCAPSA) : sizeof(WAVEINCAPSA);
    std::memcpy(caps, &record, std::min<std::size_t>(size, full));
    return MMSYSERR_NOERROR;
}

MMRESULT Open(bool output, void* handleOut, UINT id, LPCWAVEFORMATEX format, DWORD_PTR callback,
              DWORD flags) {
    Call call(output ? "waveOutOpen" : "waveInOpen");
    if (call.Fault())
        return *call.Fault();
    const auto& devices = Devices(output);
    if (format == nullptr)
        return MMSYSERR_INVALPARAM;
    if (id != WAVE_MAPPER ? id >= devices.size() : devices.empty())
        return MMSYSERR_BADDEVICEID;
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    if (!query && handleOut == nullptr)
        return MMSYSERR_INVALPARAM;
    const DWORD type = flags & CALLBACK_TYPEMASK;
    switch (type) {
    case CALLBACK_NULL:
    case CALLBACK_THREAD:
        break;
    case CALLBACK_WINDOW:
        if (callback != 0 && !IsWindowLocked(reinterpret_cast<HWND>(callback)))
            return MMSYSERR_INVALPARAM;
        break;
    case CALLBACK_EVENT:
        if (ObjectAs<Waitable>(reinterpret_cast<HANDLE>(callback)) == nullptr)
            return MMSYSERR_INVALPARAM;
        break;
    case CALLBACK_FUNCTION:
        return MMSYSERR_NOTSUPPORTED;
    default:
        return MMSYSERR_INVALFLAG;
    }
    const std::vector<BYTE> record = CopyFormat(format);
    const Choice choice = Choose(output, id, flags, record);
    if (choice.result != MMSYSERR_NOERROR || query)
        return choice.result;

    auto device = std::make_unique<Device>();
    device->output = output;
    device->id = id;
    device->index = choice.index;
    device->pcm = choice.pcm;
    std::memcpy(&device->wave, record.data(), sizeof(WAVEFORMATEX));
    device->callbackType = callback == 0 ? CALLBACK_NULL : type;
    device->callback = callback;
    if (choice.decode) {
        auto source = record;
        WAVEFORMATEX pcm = choice.pcm;
        if (acmStreamOpen(&device->decoder, nullptr, reinterpret_cast<WAVEFORMATEX*>(source.data()),
                          &pcm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR)
            return WAVERR_BADFORMAT;
    }
    if (device->callbackType == CALLBACK_EVENT) {
        device->event = ObjectFromHandle(reinterpret_cast<HANDLE>(callback));
        device->event->AddRef();
    }
    device->clock.SetRate(static_cast<std::uint64_t>(choice.pcm.nSamplesPerSec) * kUnity, kUnity);
    const std::uintptr_t handle = Reg().nextHandle;
    Reg().nextHandle += 4;
    Device& opened = *device;
    Reg().devices.emplace(handle, std::move(device));
    StartDeviceThread();
    std::memcpy(handleOut, &handle, sizeof handle);
    Notify(opened, handle, output ? MM_WOM_OPEN : MM_WIM_OPEN, 0);
    call.Changed();
    return MMSYSERR_NOERROR;
}

template <class H>
MMRESULT Close(bool output, H handle) {
    return OnDevice(output ? "waveOutClose" : "waveInClose", handle, output,
                    [&](Device& device, Call& call) {
                        if (!device.queue.empty())
                            return WAVERR_STILLPLAYING;
                        const auto value = reinterpret_cast<std::uintptr_t>(handle);
                        const std::unique_ptr<Device> closed = std::move(Reg().devices[value]);
                        Reg().devices.erase(value);
                        Notify(*closed, value, output ? MM_WOM_CLOSE : MM_WIM_CLOSE, 0);
                        if (closed->decoder != nullptr)
                            acmStreamClose(closed->decoder, 0);
                        if (closed->event != nullptr)
                            closed->event->Release();
                        call.Changed();
                        return MMSYSERR_NOERROR;
                    });
}

template <class H>
MMRESULT Prepare(bool output, bool prepare, H handle, LPWAVEHDR header, UINT size) {
    const char* function = output ? (prepare ? "waveOutPrepareHeader" : "waveOutUnprepareHeader")
                                  : (prepare ? "waveInPrepareHeader" : "waveInUnprepareHeader");
    return OnDevice(function, handle, output, [&](Device&, Call&) {
        if (header == nullptr || size < sizeof(WAVEHDR))
            return MMSYSERR_INVALPARAM;
        if (prepare) {
            if ((header->dwFlags & WHDR_PREPARED) == 0)
                header->dwFlags = (header->dwFlags | WHDR_PREPARED) &
                                  ~static_cast<DWORD>(WHDR_DONE | WHDR_INQUEUE);
            return MMSYSERR_NOERROR;
        }
        if ((header->dwFlags & WHDR_INQUEUE) != 0)
            return WAVERR_STILLPLAYING;
        header->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    });
}

// waveOutWrite and waveInAddBuffer.
template <class H>
MMRESULT Queue(bool output, H handle, LPWAVEHDR header) {
    return OnDevice(
        output ? "waveOutWrite" : "waveInAddBuffer", handle, output,
        [&](Device& device, Call& call) {
            if (header == nullptr)
                return MMSYSERR_INVALPARAM;
            if ((header->dwFlags & WHDR_PREPARED) == 0 || header->lpData == nullptr)
                return WAVERR_UNPREPARED;
            if ((header->dwFlags & WHDR_INQUEUE) != 0)
                return WAVERR_STILLPLAYING;
            const Nanos now = ClockNow();
            header->dwFlags = (header->dwFlags & ~static_cast<DWORD>(WHDR_DONE)) | WHDR_INQUEUE;
            if (output) {
                const bool idle = !HasCursor(device);
                device.queue.push_back({header, FramesToPlay(device, *header)});
                if (idle) {
                    EnterCursor(device);
                    if (!device.paused)
                        device.clock.Start(now);
                }
            } else {
                if (device.queue.empty())
                    device.headStart = device.clock.At(now);
                header->dwBytesRecorded = 0;
                device.queue.push_back({header, header->dwBufferLength / device.pcm.nBlockAlign});
            }
            call.Changed();
            return MMSYSERR_NOERROR;
        });
}

// Every queued buffer goes back at once (input buffers with what they hold).
void ReturnAll(Device& device, Nanos now) {
    if (!device.output && !device.queue.empty()) {
        const Frames held = device.clock.At(now) - device.headStart;
        Deliver(device, device.headStart, std::min(held, device.queue.front().frames));
    }
    while (!device.queue.empty()) {
        WAVEHDR* header = device.queue.front().header;
        device.queue.pop_front();
        Complete(device, header);
    }
}

template <class H>
MMRESULT GetPosition(bool output, H handle, LPMMTIME time, UINT size) {
    return OnDevice(output ? "waveOutGetPosition" : "waveInGetPosition", handle, output,
                    [&](Device& device, Call&) {
                        if (time == nullptr)
                            return MMSYSERR_INVALPARAM;
                        if (size < sizeof(MMTIME))
                            return MMSYSERR_ERROR;
                        const Frames frames = device.clock.At(ClockNow()) - device.positionBase;
                        if (time->wType == TIME_SAMPLES) {
                            time->u.sample = static_cast<DWORD>(frames);
                            return MMSYSERR_NOERROR;
                        }
                        // Bytes of what the caller writes, also when the mapper decodes it.
                        const WAVEFORMATEX& wave = device.wave;
                        time->wType = TIME_BYTES;
                        time->u.cb = static_cast<DWORD>(device.decoder == nullptr
                                                            ? frames * wave.nBlockAlign
                                                            : frames * wave.nAvgBytesPerSec /
                                                                  wave.nSamplesPerSec);
                        return MMSYSERR_NOERROR;
                    });
}

template <class H>
MMRESULT GetId(bool output, H handle, LPUINT id) {
    return OnDevice(output ? "waveOutGetID" : "waveInGetID", handle, output,
                    [&](Device& device, Call&) {
                        if (id == nullptr)
                            return MMSYSERR_INVALPARAM;
                        *id = device.id;
                        return MMSYSERR_NOERROR;
                    });
}

// The output controls, each with the dwSupport flag it needs.
struct Control {
    DWORD flag;
    DWORD Device::*value;
};
constexpr Control kVolume{WAVECAPS_VOLUME, &Device::volume};
constexpr Control kPitch{WAVECAPS_PITCH, &Device::pitch};
constexpr Control kRate{WAVECAPS_PLAYBACKRATE, &Device::rate};

DWORD SupportOf(const Device& device) {
    return Devices(true)[device.index].support;
}

MMRESULT GetControl(const char* function, HWAVEOUT handle, Control control, LPDWORD value) {
    return OnDevice(function, handle, true, [&](Device& device, Call&) {
        if (value == nullptr)
            return MMSYSERR_INVALPARAM;
        const DWORD support = SupportOf(device);
        if ((support & control.flag) == 0)
            return MMSYSERR_NOTSUPPORTED;
        *value = device.*control.value;
        // Without left/right volume only the low word counts.
        if (control.flag == WAVECAPS_VOLUME && (support & WAVECAPS_LRVOLUME) == 0)
            *value &= 0xFFFF;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT SetControl(const char* function, HWAVEOUT handle, Control control, DWORD value) {
    return OnDevice(function, handle, true, [&](Device& device, Call& call) {
        if ((SupportOf(device) & control.flag) == 0)
            return MMSYSERR_NOTSUPPORTED;
        if (control.flag == WAVECAPS_PLAYBACKRATE) {
            if (value == 0)
                return MMSYSERR_INVALPARAM;
            device.clock.Rebase(ClockNow());
            device.clock.SetRate(static_cast<std::uint64_t>(device.pcm.nSamplesPerSec) * value,
                                 kUnity);
            call.Changed();
        }
        device.*control.value = value;
        return MMSYSERR_NOERROR;
    });
}

UINT NumDevs(bool output) {
    LoadConfiguration();
    std::lock_guard lock(SyncMutex());
    return static_cast<UINT>(Devices(output).size());
}

MMRESULT ErrorTextCall(const char* function, MMRESULT code, LPSTR text, UINT size) {
    Call call(function);
    return call.Fault() ? *call.Fault() : GetErrorText(code, text, size);
}

} // namespace

unsigned OpenHandles() {
    return static_cast<unsigned>(Reg().devices.size());
}

} // namespace posix::wave

namespace posix::wavesim {

int SignalSample(const WAVEFORMATEX& format, std::uint64_t frame, unsigned channel) {
    const std::uint64_t k = frame * format.nChannels + channel;
    if (format.wBitsPerSample == 16)
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(k));
    return static_cast<std::uint8_t>(k);
}

DeviceThreadState State() {
    wave::LoadConfiguration();
    std::lock_guard lock(SyncMutex());
    DeviceThreadState state;
    state.openDevices = wave::OpenHandles();
    for (const auto& [handle, device] : wave::Reg().devices)
        state.queuedHeaders += static_cast<unsigned>(device->queue.size());
    state.wakeups = wave::Reg().wakeups;
    return state;
}

} // namespace posix::wavesim

using namespace posix;
using namespace posix::wave;

// --- output ----------------------------------------------------------------------------

UINT waveOutGetNumDevs() {
    return NumDevs(true);
}

MMRESULT waveOutGetDevCapsA(UINT_PTR uDeviceID, LPWAVEOUTCAPSA pwoc, UINT cbwoc) {
    return GetDevCaps(true, uDeviceID, pwoc, cbwoc);
}

MMRESULT waveOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText) {
    return ErrorTextCall("waveOutGetErrorTextA", mmrError, pszText, cchText);
}

MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR, DWORD fdwOpen) {
    return Open(true, phwo, uDeviceID, pwfx, dwCallback, fdwOpen);
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
    return Close(true, hwo);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    return Prepare(true, true, hwo, pwh, cbwh);
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    return Prepare(true, false, hwo, pwh, cbwh);
}

MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT) {
    return Queue(true, hwo, pwh);
}

MMRESULT waveOutPause(HWAVEOUT hwo) {
    return OnDevice("waveOutPause", hwo, true, [](Device& device, Call& call) {
        if (!device.paused) {
            device.paused = true;
            device.clock.Stop(ClockNow());
            call.Changed();
        }
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutRestart(HWAVEOUT hwo) {
    return OnDevice("waveOutRestart", hwo, true, [](Device& device, Call& call) {
        if (device.paused) {
            device.paused = false;
            if (HasCursor(device))
                device.clock.Start(ClockNow());
            call.Changed();
        }
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
    return OnDevice("waveOutReset", hwo, true, [](Device& device, Call& call) {
        ReturnAll(device, ClockNow());
        device.clock.StopAt(0);
        device.paused = false;
        device.cursor = 0;
        device.cursorStart = 0;
        device.looping = false;
        call.Changed();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutBreakLoop(HWAVEOUT hwo) {
    return OnDevice("waveOutBreakLoop", hwo, true, [](Device& device, Call&) {
        if (device.looping)
            device.loopsLeft = 1;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutGetPosition(HWAVEOUT hwo, LPMMTIME pmmt, UINT cbmmt) {
    return GetPosition(true, hwo, pmmt, cbmmt);
}

MMRESULT waveOutGetVolume(HWAVEOUT hwo, LPDWORD pdwVolume) {
    return GetControl("waveOutGetVolume", hwo, kVolume, pdwVolume);
}

MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume) {
    return SetControl("waveOutSetVolume", hwo, kVolume, dwVolume);
}

MMRESULT waveOutGetPitch(HWAVEOUT hwo, LPDWORD pdwPitch) {
    return GetControl("waveOutGetPitch", hwo, kPitch, pdwPitch);
}

MMRESULT waveOutSetPitch(HWAVEOUT hwo, DWORD dwPitch) {
    return SetControl("waveOutSetPitch", hwo, kPitch, dwPitch);
}

MMRESULT waveOutGetPlaybackRate(HWAVEOUT hwo, LPDWORD pdwRate) {
    return GetControl("waveOutGetPlaybackRate", hwo, kRate, pdwRate);
}

MMRESULT waveOutSetPlaybackRate(HWAVEOUT hwo, DWORD dwRate) {
    return SetControl("waveOutSetPlaybackRate", hwo, kRate, dwRate);
}

MMRESULT waveOutGetID(HWAVEOUT hwo, LPUINT puDeviceID) {
    return GetId(true, hwo, puDeviceID);
}

// --- input ------------------------------------------------------------------------------

UINT waveInGetNumDevs() {
    return NumDevs(false);
}

MMRESULT waveInGetDevCapsA(UINT_PTR uDeviceID, LPWAVEINCAPSA pwic, UINT cbwic) {
    return GetDevCaps(false, uDeviceID, pwic, cbwic);
}

MMRESULT waveInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText) {
    return ErrorTextCall("waveInGetErrorTextA", mmrError, pszText, cchText);
}

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR, DWORD fdwOpen) {
    return Open(false, phwi, uDeviceID, pwfx, dwCallback, fdwOpen);
}

MMRESULT waveInClose(HWAVEIN hwi) {
    return Close(false, hwi);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
    return Prepare(false, true, hwi, pwh, cbwh);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
    return Prepare(false, false, hwi, pwh, cbwh);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT) {
    return Queue(false, hwi, pwh);
}

MMRESULT waveInStart(HWAVEIN hwi) {
    return OnDevice("waveInStart", hwi, false, [](Device& device, Call& call) {
        if (!device.started) {
            device.started = true;
            device.clock.Start(ClockNow());
            call.Changed();
        }
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveInStop(HWAVEIN hwi) {
    return OnDevice("waveInStop", hwi, false, [](Device& device, Call& call) {
        if (!device.started)
            return MMSYSERR_NOERROR;
        device.started = false;
        const Nanos now = ClockNow();
        device.clock.Stop(now);
        // The buffer being filled goes back with what it holds.
        const Frames held = device.clock.At(now) - device.headStart;
        if (!device.queue.empty() && held > 0) {
            Deliver(device, device.headStart, held);
            device.headStart += held;
        }
        call.Changed();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveInReset(HWAVEIN hwi) {
    return OnDevice("waveInReset", hwi, false, [](Device& device, Call& call) {
        const Nanos now = ClockNow();
        ReturnAll(device, now);
        device.started = false;
        device.clock.Stop(now);
        device.positionBase = device.clock.At(now);
        call.Changed();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveInGetPosition(HWAVEIN hwi, LPMMTIME pmmt, UINT cbmmt) {
    return GetPosition(false, hwi, pmmt, cbmmt);
}

MMRESULT waveInGetID(HWAVEIN hwi, LPUINT puDeviceID) {
    return GetId(false, hwi, puDeviceID);
}

#include "wave/WaveIn.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr UINT kHeaderBytes = sizeof(WAVEHDR);

} // namespace

void TWaveAudioIn::SetPCMFormat(TPCMFormat format) {
    if (format == pcmFormat_)
        return;
    TLockGuard lock(*this);
    if (HandleAllocated())
        throw EWaveAudioInvalidOperation(kFormatChangeText);
    pcmFormat_ = format;
}

// --- device queries and calls ----------------------------------------------------------

namespace {

HWAVEIN In(void* handle) {
    return static_cast<HWAVEIN>(handle);
}

const TWaveCalls kInputCalls = {
    MM_WIM_OPEN,
    [] { return waveInGetNumDevs(); },
    [](UINT id, WAVEOUTCAPSA& caps) {
        WAVEINCAPSA in{};
        const MMRESULT result = waveInGetDevCapsA(id, &in, sizeof in);
        std::memcpy(caps.szPname, in.szPname, sizeof caps.szPname);
        caps.dwFormats = in.dwFormats;
        caps.wChannels = in.wChannels;
        return result;
    },
    [](MMRESULT code, LPSTR text, UINT size) { return waveInGetErrorTextA(code, text, size); },
    [](void** handle, UINT id, const WAVEFORMATEX* format, DWORD_PTR callback, DWORD flags) {
        HWAVEIN opened = nullptr;
        const MMRESULT result =
            waveInOpen(handle != nullptr ? &opened : nullptr, id, format, callback, 0, flags);
        if (handle != nullptr)
            *handle = opened;
        return result;
    },
    [](void* h) { return waveInClose(In(h)); },
    [](void* h) { return waveInReset(In(h)); },
    [](void* h) { return waveInStop(In(h)); },
    [](void* h) { return waveInStart(In(h)); },
    [](void* h, WAVEHDR* header) { return waveInPrepareHeader(In(h), header, kHeaderBytes); },
    [](void* h, WAVEHDR* header) { return waveInUnprepareHeader(In(h), header, kHeaderBytes); },
    [](void* h, WAVEHDR* header) { return waveInAddBuffer(In(h), header, kHeaderBytes); },
    [](void* h, MMTIME& time) { return waveInGetPosition(In(h), &time, sizeof time); },
};

} // namespace

TWaveAudioIn::TWaveAudioIn() : TWaveAudioIO(kInputCalls) {}

std::int32_t TWaveAudioIn::GetPosition() {
    TLockGuard lock(*this);
    MMTIME time;
    return DevicePosition(time) ? MMTimeToMS(time) : 0;
}

void TWaveAudioIn::GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) {
    if (pcmFormat_ != nonePCM) {
        FreeIt = true;
        pWaveFormat = static_cast<PWaveFormatEx>(std::calloc(1, sizeof(WAVEFORMATEX)));
        if (pWaveFormat == nullptr)
            throw std::bad_alloc();
        MakePCMFormat(pWaveFormat, pcmFormat_);
        return;
    }
    if (OnFormat && !Destroying())
        Raise(OnFormat, std::ref(pWaveFormat), std::ref(FreeIt));
}

// --- the data flow --------------------------------------------------------------------

bool TWaveAudioIn::AddBuffer(WAVEHDR* header) {
    return QueueHeader(header, nullptr);
}

void TWaveAudioIn::DoWaveInData(void*, DWORD, bool&) {}

void TWaveAudioIn::StartDataFlow() {
    for (int i = HeaderCount(); i < BufferCount() && HandleAllocated() && !Closing(); ++i) {
        WAVEHDR* header = nullptr;
        try {
            if (!RefillHeader(header))
                break;
            if (!AddBuffer(header)) {
                ReallocateHeader(header, 0, nullptr);
                break;
            }
        } catch (...) {
            // Reported by CheckResult already (or a failed allocation); the
            // buffers queued so far record.
            ReallocateHeader(header, 0, nullptr);
            break;
        }
    }
}

void TWaveAudioIn::HandleWimOpen() {
    WaveOpened(); // buffers queued, OnActivate
    if (!GetPaused() && !Closing() && DeviceUsable())
        Transit(TWaveFlag::Paused, !CheckResult(RestartDevice()));
    CloseWhenDrained(); // not one buffer could be queued
}

void TWaveAudioIn::HandleWimClose() {
    DeviceClosed();
}

void TWaveAudioIn::ConsumeData(void* data, DWORD bytes, bool report, bool& FreeIt) {
    if (report)
        DoLevel(data, bytes);
    DoWaveInData(data, bytes, FreeIt);
}

bool TWaveAudioIn::TakeBackBuffer(TBufferBack& back) {
    WAVEHDR*& header = back.header;
    bool queued = false;
    try {
        CheckResult(UnprepareDevice(header));
        // What the device has handed back is recorded sound, also when the
        // unprepare failed (reported above): it is not dropped.
        if (header->dwBytesRecorded > 0 && (header->dwFlags & WHDR_INQUEUE) == 0)
            back.block = DetachBuffer(header, header->dwBytesRecorded);
        if (!Closing() && HeaderCount() <= BufferCount() && DeviceUsable())
            queued = RefillHeader(header) && AddBuffer(header);
    } catch (...) {
        queued = false;
    }
    if (!queued) {
        if (header != nullptr && (header->dwFlags & WHDR_PREPARED) != 0)
            UnprepareDevice(header);
        ReallocateHeader(header, 0, nullptr);
        CloseWhenDrained();
    }
    return back.block.data != nullptr;
}

void TWaveAudioIn::HandleBuffer(TBufferBack& back) {
    if (back.block.data == nullptr)
        return;
    bool freeIt = true;
    try {
        ConsumeData(back.block.data, back.block.bytes, !back.unreported, freeIt);
    } catch (...) {
        if (freeIt)
            RecycleBlock(back.block);
        back.block = {};
        throw;
    }
    if (freeIt)
        RecycleBlock(back.block);
    back.block = {}; // the consumer keeps it otherwise
}

void TWaveAudioIn::TakeBackHeader(WAVEHDR* header) {
    if ((header->dwFlags & WHDR_DONE) != 0 && header->dwBytesRecorded > 0) {
        bool freeIt = true;
        ConsumeData(header->lpData, header->dwBytesRecorded, true, freeIt);
        if (!freeIt)
            header->dwUser = 0; // the consumer keeps the buffer
    }
}

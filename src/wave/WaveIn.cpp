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

// --- device queries -------------------------------------------------------------------

UINT TWaveAudioIn::GetNumDevs() {
    return waveInGetNumDevs();
}

std::string TWaveAudioIn::GetDeviceName() {
    WAVEINCAPSA caps{};
    if (waveInGetDevCapsA(DeviceNumber(), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return {};
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

TPCMFormats TWaveAudioIn::GetDeviceFormats() {
    WAVEINCAPSA caps{};
    if (waveInGetDevCapsA(DeviceNumber(), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return {};
    return FormatsFromCapabilities(caps.dwFormats);
}

MMRESULT TWaveAudioIn::ValidateDeviceID(std::int32_t id) {
    WAVEINCAPSA caps{};
    return waveInGetDevCapsA(id == -1 ? WAVE_MAPPER : static_cast<UINT>(id), &caps, sizeof caps);
}

std::string TWaveAudioIn::GetErrorText(MMRESULT code) {
    char text[256] = {};
    if (waveInGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR)
        return {};
    return std::string(text, strnlen(text, sizeof text));
}

std::int32_t TWaveAudioIn::GetPosition() {
    TLockGuard lock(*this);
    MMTIME time{};
    time.wType = TIME_MS;
    if (!DeviceUsable() || waveInGetPosition(handle_, &time, sizeof time) != MMSYSERR_NOERROR)
        return 0;
    return MMTimeToMS(time);
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

// --- device calls ---------------------------------------------------------------------

MMRESULT TWaveAudioIn::OpenDevice(const WAVEFORMATEX* format, bool query) {
    if (query)
        return waveInOpen(nullptr, DeviceNumber(), format, 0, 0, WAVE_FORMAT_QUERY);
    HWAVEIN handle = nullptr;
    const MMRESULT result =
        waveInOpen(&handle, DeviceNumber(), format, Callback(), 0, callbackType_);
    if (result == MMSYSERR_NOERROR)
        handle_ = handle;
    return result;
}

MMRESULT TWaveAudioIn::ResetDevice() {
    return waveInReset(handle_);
}

MMRESULT TWaveAudioIn::CloseDevice() {
    return waveInClose(handle_);
}

MMRESULT TWaveAudioIn::PauseDevice() {
    return waveInStop(handle_);
}

MMRESULT TWaveAudioIn::RestartDevice() {
    return waveInStart(handle_);
}

MMRESULT TWaveAudioIn::UnprepareDevice(WAVEHDR* header) {
    return waveInUnprepareHeader(handle_, header, kHeaderBytes);
}

// --- the data flow --------------------------------------------------------------------

bool TWaveAudioIn::AddBuffer(WAVEHDR* header) {
    const bool alreadyPrepared = (header->dwFlags & WHDR_PREPARED) != 0;
    if (!alreadyPrepared && !CheckResult(waveInPrepareHeader(handle_, header, kHeaderBytes)))
        return false;
    try {
        if (CheckResult(waveInAddBuffer(handle_, header, kHeaderBytes))) {
            MarkQueued(header);
            return true;
        }
    } catch (...) {
        if (!alreadyPrepared)
            waveInUnprepareHeader(handle_, header, kHeaderBytes);
        throw;
    }
    if (!alreadyPrepared)
        waveInUnprepareHeader(handle_, header, kHeaderBytes);
    return false;
}

void TWaveAudioIn::DoWaveInData(void*, DWORD, bool&) {}

void TWaveAudioIn::StartDataFlow() {
    for (int i = HeaderCount(); i < BufferCount() && HandleAllocated() && !closing_; ++i) {
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
    if (!paused_ && !closing_ && DeviceUsable())
        paused_ = !CheckResult(waveInStart(handle_));
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
        CheckResult(waveInUnprepareHeader(handle_, header, kHeaderBytes));
        // What the device has handed back is recorded sound, also when the
        // unprepare failed (reported above): it is not dropped.
        if (header->dwBytesRecorded > 0 && (header->dwFlags & WHDR_INQUEUE) == 0)
            back.block = DetachBuffer(header, header->dwBytesRecorded);
        if (!closing_ && HeaderCount() <= BufferCount() && DeviceUsable())
            queued = RefillHeader(header) && AddBuffer(header);
    } catch (...) {
        queued = false;
    }
    if (!queued) {
        if (header != nullptr && (header->dwFlags & WHDR_PREPARED) != 0)
            waveInUnprepareHeader(handle_, header, kHeaderBytes);
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

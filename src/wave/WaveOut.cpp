#include "wave/WaveOut.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr UINT kHeaderBytes = sizeof(WAVEHDR);

std::uint16_t Percent(std::uint16_t value) {
    return std::min<std::uint16_t>(value, 100);
}

} // namespace

// --- conversions ----------------------------------------------------------------------

DWORD TWaveAudioOut::ToFixedPoint(double value) {
    if (!std::isfinite(value))
        value = 0;
    value = std::clamp(value, -32768.0, 32767.0 + 65535.0 / 65536.0);
    const double whole = std::trunc(value);
    const double fraction = std::max(0.0, value - whole);
    const auto high = static_cast<std::uint16_t>(static_cast<std::int16_t>(whole));
    const auto low = static_cast<DWORD>(std::floor(fraction * 65536.0));
    return (DWORD{high} << 16) | std::min<DWORD>(low, 0xFFFF);
}

double TWaveAudioOut::FromFixedPoint(DWORD value) {
    return static_cast<std::int16_t>(value >> 16) + (value & 0xFFFF) / 65536.0;
}

DWORD TWaveAudioOut::PackVolume(std::uint16_t left, std::uint16_t right) {
    const auto word = [](std::uint16_t percent) {
        return static_cast<DWORD>(MulDiv(Percent(percent), 65535, 100));
    };
    return word(left) | (word(right) << 16);
}

void TWaveAudioOut::UnpackVolume(DWORD packed, std::uint16_t& left, std::uint16_t& right) {
    left = static_cast<std::uint16_t>(MulDiv(static_cast<int>(packed & 0xFFFF), 100, 65535));
    right = static_cast<std::uint16_t>(MulDiv(static_cast<int>(packed >> 16), 100, 65535));
}

// --- device queries -------------------------------------------------------------------

UINT TWaveAudioOut::GetNumDevs() {
    return waveOutGetNumDevs();
}

std::string TWaveAudioOut::GetDeviceName() {
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(DeviceNumber(), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return {};
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

TPCMFormats TWaveAudioOut::GetDeviceFormats() {
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(DeviceNumber(), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return {};
    return FormatsFromCapabilities(caps.dwFormats);
}

DWORD TWaveAudioOut::GetDeviceSupport() {
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(DeviceNumber(), &caps, sizeof caps) != MMSYSERR_NOERROR)
        return 0;
    DWORD support = caps.dwSupport;
    if ((support & WAVECAPS_VOLUME) == 0)
        support &= ~DWORD{WAVECAPS_LRVOLUME};
    return support;
}

MMRESULT TWaveAudioOut::ValidateDeviceID(std::int32_t id) {
    WAVEOUTCAPSA caps{};
    return waveOutGetDevCapsA(id == -1 ? WAVE_MAPPER : static_cast<UINT>(id), &caps, sizeof caps);
}

std::string TWaveAudioOut::GetErrorText(MMRESULT code) {
    char text[256] = {};
    if (waveOutGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR)
        return {};
    return std::string(text, strnlen(text, sizeof text));
}

std::int32_t TWaveAudioOut::GetPosition() {
    TLockGuard lock(*this);
    MMTIME time{};
    time.wType = TIME_MS;
    if (!DeviceUsable() || waveOutGetPosition(handle_, &time, sizeof time) != MMSYSERR_NOERROR)
        return positionOffset_;
    const std::int64_t position = std::int64_t{positionOffset_} + MMTimeToMS(time);
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(position, std::numeric_limits<std::int32_t>::max()));
}

// --- device calls ---------------------------------------------------------------------

MMRESULT TWaveAudioOut::OpenDevice(const WAVEFORMATEX* format, bool query) {
    if (query)
        return waveOutOpen(nullptr, DeviceNumber(), format, 0, 0, WAVE_FORMAT_QUERY);
    HWAVEOUT handle = nullptr;
    const MMRESULT result =
        waveOutOpen(&handle, DeviceNumber(), format, Callback(), 0, callbackType_);
    if (result == MMSYSERR_NOERROR)
        handle_ = handle;
    return result;
}

MMRESULT TWaveAudioOut::ResetDevice() {
    return waveOutReset(handle_);
}

MMRESULT TWaveAudioOut::CloseDevice() {
    return waveOutClose(handle_);
}

MMRESULT TWaveAudioOut::PauseDevice() {
    return waveOutPause(handle_);
}

MMRESULT TWaveAudioOut::RestartDevice() {
    return waveOutRestart(handle_);
}

MMRESULT TWaveAudioOut::UnprepareDevice(WAVEHDR* header) {
    return waveOutUnprepareHeader(handle_, header, kHeaderBytes);
}

void TWaveAudioOut::ForgetHandle() {
    handle_ = nullptr;
    positionOffset_ = 0;
    requests_ = 0;
    endOfData_ = false;
}

bool TWaveAudioOut::InternalClose() {
    // Under the lock, so that the end of the data is not found meanwhile:
    // whether the close begins here or is under way, it is a stop's now.
    TLockGuard lock(*this);
    const bool drainingToTheEnd = endOfData_ && closing_ && DeviceUsable();
    endOfData_ = false;
    if (!drainingToTheEnd)
        return TWaveAudioIO::InternalClose();
    // The close that began at the end of the data lets the queued buffers
    // play out; a stop silences them: the device hands them back at once,
    // and the last one released closes it.
    try {
        return CheckResult(ResetDevice());
    } catch (...) {
        if (RaisesCloseErrors())
            throw;
        return false;
    }
}

// --- controls -------------------------------------------------------------------------

void TWaveAudioOut::ApplyOptions() {
    if (!DeviceUsable())
        return;
    const DWORD support = GetDeviceSupport();
    // The device's answers do not matter here.
    if (options_[woSetVolume] && (support & WAVECAPS_VOLUME) != 0)
        waveOutSetVolume(handle_, PackVolume(volumeLeft_, volumeRight_));
    if (options_[woSetPitch] && (support & WAVECAPS_PITCH) != 0)
        waveOutSetPitch(handle_, ToFixedPoint(pitch_));
    if (options_[woSetPlaybackRate] && (support & WAVECAPS_PLAYBACKRATE) != 0)
        waveOutSetPlaybackRate(handle_, ToFixedPoint(playbackRate_));
}

void TWaveAudioOut::SetOptions(TWaveOutOptions options) {
    TLockGuard lock(*this);
    if (options == options_)
        return;
    options_ = options;
    ApplyOptions();
}

bool TWaveAudioOut::GetVolumeLR(std::uint16_t& left, std::uint16_t& right) {
    if (!DeviceUsable())
        return false;
    const DWORD support = GetDeviceSupport();
    DWORD packed = 0;
    if ((support & WAVECAPS_VOLUME) == 0 || waveOutGetVolume(handle_, &packed) != MMSYSERR_NOERROR)
        return false;
    UnpackVolume(packed, left, right);
    if ((support & WAVECAPS_LRVOLUME) == 0)
        right = left;
    return true;
}

bool TWaveAudioOut::SetVolumeLR(std::uint16_t& left, std::uint16_t& right) {
    if (!options_[woSetVolume] || !DeviceUsable())
        return false;
    const DWORD support = GetDeviceSupport();
    if ((support & WAVECAPS_VOLUME) == 0)
        return false;
    if ((support & WAVECAPS_LRVOLUME) == 0)
        left = right = static_cast<std::uint16_t>((left + right) >> 1);
    return waveOutSetVolume(handle_, PackVolume(left, right)) == MMSYSERR_NOERROR;
}

std::uint16_t TWaveAudioOut::Volume() {
    TLockGuard lock(*this);
    GetVolumeLR(volumeLeft_, volumeRight_);
    return static_cast<std::uint16_t>((volumeLeft_ + volumeRight_) >> 1);
}

void TWaveAudioOut::SetVolume(std::uint16_t percent) {
    TLockGuard lock(*this);
    volumeLeft_ = volumeRight_ = Percent(percent);
    SetVolumeLR(volumeLeft_, volumeRight_);
}

std::uint16_t TWaveAudioOut::VolumeLeft() {
    TLockGuard lock(*this);
    GetVolumeLR(volumeLeft_, volumeRight_);
    return volumeLeft_;
}

void TWaveAudioOut::SetVolumeLeft(std::uint16_t percent) {
    TLockGuard lock(*this);
    volumeLeft_ = Percent(percent);
    SetVolumeLR(volumeLeft_, volumeRight_);
}

std::uint16_t TWaveAudioOut::VolumeRight() {
    TLockGuard lock(*this);
    GetVolumeLR(volumeLeft_, volumeRight_);
    return volumeRight_;
}

void TWaveAudioOut::SetVolumeRight(std::uint16_t percent) {
    TLockGuard lock(*this);
    volumeRight_ = Percent(percent);
    SetVolumeLR(volumeLeft_, volumeRight_);
}

double TWaveAudioOut::Pitch() {
    TLockGuard lock(*this);
    if (!DeviceUsable())
        return pitch_;
    DWORD value = 0;
    if (!Supports(WAVECAPS_PITCH) || waveOutGetPitch(handle_, &value) != MMSYSERR_NOERROR)
        return 1.0;
    return FromFixedPoint(value);
}

void TWaveAudioOut::SetPitch(double pitch) {
    TLockGuard lock(*this);
    if (pitch == pitch_)
        return;
    pitch_ = pitch;
    if (DeviceUsable() && options_[woSetPitch] && Supports(WAVECAPS_PITCH))
        waveOutSetPitch(handle_, ToFixedPoint(pitch_));
}

double TWaveAudioOut::PlaybackRate() {
    TLockGuard lock(*this);
    if (!DeviceUsable())
        return playbackRate_;
    DWORD value = 0;
    if (!Supports(WAVECAPS_PLAYBACKRATE) ||
        waveOutGetPlaybackRate(handle_, &value) != MMSYSERR_NOERROR)
        return 1.0;
    return FromFixedPoint(value);
}

void TWaveAudioOut::SetPlaybackRate(double rate) {
    TLockGuard lock(*this);
    if (rate == playbackRate_)
        return;
    playbackRate_ = rate;
    if (DeviceUsable() && options_[woSetPlaybackRate] && Supports(WAVECAPS_PLAYBACKRATE))
        waveOutSetPlaybackRate(handle_, ToFixedPoint(playbackRate_));
}

void TWaveAudioOut::SetPosition(std::int32_t ms) {
    TBusyFrame frame(*this);
    TLockGuard lock(*this);
    DoSetPosition(std::max(ms, 0));
}

void TWaveAudioOut::DoSetPosition(std::int32_t ms) {
    positionOffset_ = ms;
    if (!DeviceUsable())
        return;
    inHandStale_ = true;
    if (endOfData_ && closing_ && !Destroying()) {
        // There is data again after the new position (or the refill finds
        // the end once more and closes as before).
        endOfData_ = false;
        closing_ = false;
    }
    waveOutReset(handle_); // every queued buffer comes back and is refilled from here
    paused_ = paused_ && CheckResult(waveOutPause(handle_));
}

// --- the data flow --------------------------------------------------------------------

DWORD TWaveAudioOut::GetWaveData(void*, DWORD, DWORD& numLoops) {
    numLoops = 0;
    return 0;
}

void TWaveAudioOut::RequestBuffer() {
    if (PostToCallback(MM_WOM_DONE, 0))
        ++requests_;
}

void TWaveAudioOut::StartDataFlow() {
    if (HeaderCount() == 0 && HandleAllocated() && !closing_)
        RequestBuffer();
}

void TWaveAudioOut::HandleWomOpen() {
    ApplyOptions();
    // Paused before the start: the device starts paused (unless it is
    // already being closed).
    if (paused_ && DeviceUsable())
        paused_ = CheckResult(waveOutPause(handle_));
    WaveOpened();
}

void TWaveAudioOut::HandleWomClose() {
    DeviceClosed();
}

bool TWaveAudioOut::WriteHeader(WAVEHDR* header) {
    const bool alreadyPrepared = (header->dwFlags & WHDR_PREPARED) != 0;
    if (!alreadyPrepared && !CheckResult(waveOutPrepareHeader(handle_, header, kHeaderBytes)))
        return false;
    inHandStale_ = false;
    try {
        // The level is told when the buffer is queued, ahead of its sound.
        DoLevel(header->lpData, header->dwBufferLength);
        // Its handler may have moved the playback (this buffer holds what
        // came before the seek), stopped it, or freed the object.
        const bool wanted = !inHandStale_ && !closing_ && !Destroying() && DeviceUsable();
        if (wanted && CheckResult(waveOutWrite(handle_, header, kHeaderBytes))) {
            MarkQueued(header);
            return true;
        }
    } catch (...) {
        if (!alreadyPrepared)
            waveOutUnprepareHeader(handle_, header, kHeaderBytes);
        throw;
    }
    if (!alreadyPrepared)
        waveOutUnprepareHeader(handle_, header, kHeaderBytes);
    return false;
}

// The buffer handed back is the engine's again; one that will not be
// refilled (a stop, the end of the data, one too many) goes at once.
bool TWaveAudioOut::TakeBackBuffer(TBufferBack& back) {
    if (back.header == nullptr)
        return true; // a request for one more buffer
    CheckResult(waveOutUnprepareHeader(handle_, back.header, kHeaderBytes));
    if (!closing_ && HeaderCount() <= BufferCount() && DeviceUsable())
        return true;
    ReleaseHeader(back.header);
    return false;
}

void TWaveAudioOut::ReleaseHeader(WAVEHDR*& header) {
    if (header != nullptr) {
        if ((header->dwFlags & WHDR_PREPARED) != 0)
            waveOutUnprepareHeader(handle_, header, kHeaderBytes);
        ReallocateHeader(header, 0, nullptr);
    }
    CloseWhenDrained();
}

void TWaveAudioOut::HandleBuffer(TBufferBack& back) {
    WAVEHDR*& header = back.header;
    if (header == nullptr && requests_ > 0)
        --requests_;
    bool queued = false;
    try {
        // Beyond BufferCount a header is not refilled (the count was lowered).
        const bool surplus =
            header == nullptr ? HeaderCount() >= BufferCount() : HeaderCount() > BufferCount();
        if (!closing_ && !surplus && DeviceUsable()) {
            DWORD count = 0;
            DWORD loops = 0;
            if (RefillHeader(header)) {
                count = std::min(GetWaveData(header->lpData, header->dwBufferLength, loops),
                                 header->dwBufferLength);
                if (count < header->dwBufferLength)
                    ReallocateHeader(header, count, nullptr);
            }
            if (count == 0) {
                closing_ = true; // the end of the data: the automatic close
                endOfData_ = true;
            } else {
                if (loops != 0) {
                    header->dwFlags |= WHDR_BEGINLOOP | WHDR_ENDLOOP;
                    header->dwLoops = loops;
                }
                queued = WriteHeader(header);
                // A buffer left stale by a seek is released; another one is
                // filled from the new position in its place.
                if (queued ? HeaderCount() < BufferCount()
                           : inHandStale_ && !closing_ && DeviceUsable())
                    RequestBuffer();
            }
        }
    } catch (...) {
        if (!queued)
            ReleaseHeader(header);
        throw;
    }
    if (!queued)
        ReleaseHeader(header);
}

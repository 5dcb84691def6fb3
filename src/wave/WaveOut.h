// The playback device object: opens a waveform output device, keeps
// BufferCount buffers of BufferLength milliseconds queued on it, refills each
// buffer as the device hands it back, and closes the device by itself once the
// data is exhausted. The bytes come from GetWaveData, which the players
// (WavePlayers.h) supply. It also carries the output-only controls (volume,
// pitch, playback rate, sent to the device as Options select) and a seekable
// position.
#pragma once

#include <bitset>

#include "wave/WaveIO.h"

enum TWaveOutOption { woSetVolume, woSetPitch, woSetPlaybackRate };
using TWaveOutOptions = std::bitset<3>;

class TWaveAudioOut : public TWaveAudioIO {
public:
    TWaveAudioOut() = default;

    // --- controls (each may be called from an event; they hold the device
    // lock, so that another thread may call them in thread mode) ---
    TWaveOutOptions Options() const { return options_; }
    // A different set is stored and, while the device is open, sent to it.
    void SetOptions(TWaveOutOptions options);
    // Volumes are percentages; values above 100 count as 100. Reading asks an
    // open device that supports volume; otherwise the stored values answer.
    std::uint16_t Volume();
    void SetVolume(std::uint16_t percent);
    std::uint16_t VolumeLeft();
    void SetVolumeLeft(std::uint16_t percent);
    std::uint16_t VolumeRight();
    void SetVolumeRight(std::uint16_t percent);
    // The stored value while the device is closed; the device's while it is
    // open (1.0 when it does not support the control).
    double Pitch();
    void SetPitch(double pitch);
    double PlaybackRate();
    void SetPlaybackRate(double rate);
    // Moves the playback to `ms` (the players move their data first): before
    // the start it only sets where the start begins; while playing, the
    // queued buffers are handed back and refilled from there, and a paused
    // device stays paused. Once the end of the data has been found, and
    // until the device is closed, a seek takes back the close that began
    // there (a seek to the end or beyond finds the end again); a stop's
    // close stays. May be called from an event.
    void SetPosition(std::int32_t ms);

    // The device's support flags (WAVECAPS_...); left/right volume counts
    // only with volume. 0 when the capability query fails.
    DWORD GetDeviceSupport();

    // 16.16 fixed point as waveOutSetPitch/waveOutSetPlaybackRate take it.
    static DWORD ToFixedPoint(double value);
    static double FromFixedPoint(DWORD value);
    // Percentages to the device's volume word (left low, right high) and back.
    static DWORD PackVolume(std::uint16_t left, std::uint16_t right);
    static void UnpackVolume(DWORD packed, std::uint16_t& left, std::uint16_t& right);

protected:
    ~TWaveAudioOut() override = default;

    virtual bool GetVolumeLR(std::uint16_t& left, std::uint16_t& right);
    virtual bool SetVolumeLR(std::uint16_t& left, std::uint16_t& right);
    virtual void DoSetPosition(std::int32_t ms);
    // Prepares (unless prepared), reports the level, and queues the buffer;
    // false without a write when the level's handler moved or ended the
    // playback (the buffer is stale then) or freed the object.
    virtual bool WriteHeader(WAVEHDR* header);
    // Up to `size` bytes of data into `buffer`; 0 ends the playback.
    virtual DWORD GetWaveData(void* buffer, DWORD size, DWORD& numLoops);
    void ApplyOptions();
    std::int32_t PositionOffset() const { return positionOffset_; }

    UINT GetNumDevs() override;
    std::string GetDeviceName() override;
    TPCMFormats GetDeviceFormats() override;
    std::int32_t GetPosition() override;
    std::string GetErrorText(MMRESULT code) override;
    MMRESULT ValidateDeviceID(std::int32_t id) override;
    bool HandleAllocated() override { return handle_ != nullptr; }
    void StartDataFlow() override;
    MMRESULT OpenDevice(const WAVEFORMATEX* format, bool query) override;
    MMRESULT ResetDevice() override;
    MMRESULT CloseDevice() override;
    MMRESULT PauseDevice() override;
    MMRESULT RestartDevice() override;
    MMRESULT UnprepareDevice(WAVEHDR* header) override;
    void ForgetHandle() override;
    bool BuffersRequested() override { return requests_ > 0; }
    bool InternalClose() override;
    void HandleWomOpen() override;
    void HandleWomClose() override;
    bool TakeBackBuffer(TBufferBack& back) override;
    // Refills the buffer handed back (or, without one, a new one) and
    // queues it; once the data is exhausted or a stop was asked for,
    // releases it, and the last header released closes the device.
    void HandleBuffer(TBufferBack& back) override;

private:
    // Asks the callback for one more buffer (a "done" without a header).
    void RequestBuffer();
    // Unprepares and releases a header the engine holds (none: null), then
    // closes the device when nothing is left at it.
    void ReleaseHeader(WAVEHDR*& header);
    bool Supports(DWORD flag) { return (GetDeviceSupport() & flag) != 0; }

    HWAVEOUT handle_ = nullptr;
    std::uint16_t volumeLeft_ = 75;
    std::uint16_t volumeRight_ = 75;
    double pitch_ = 1.0;
    double playbackRate_ = 1.0;
    TWaveOutOptions options_;
    std::int32_t positionOffset_ = 0;
    int requests_ = 0;
    // The close under way began at the end of the data (not with a stop).
    bool endOfData_ = false;
    // A seek reset the device while the buffer in hand was reported: its data
    // is from before the new position.
    bool inHandStale_ = false;
};

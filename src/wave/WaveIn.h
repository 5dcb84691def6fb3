// The recording device object: opens a waveform input device in a PCM format
// (or one that OnFormat supplies), keeps BufferCount empty buffers of
// BufferLength milliseconds queued on it, hands each filled buffer to
// DoWaveInData and queues it again. TStockAudioRecorder (WaveRecorders.h)
// consumes the bytes. It also tells which PCM formats a device records.
#pragma once

#include "wave/WaveIO.h"

class TWaveAudioIn : public TWaveAudioIO {
public:
    TWaveAudioIn() = default;

    TPCMFormat PCMFormat() const { return pcmFormat_; }
    // The format to record in; nonePCM leaves it to OnFormat. Raises
    // EWaveAudioInvalidOperation while the device is open. May be called
    // from an event.
    void SetPCMFormat(TPCMFormat format);

    TWaveAudioGetFormatEvent OnFormat;

protected:
    ~TWaveAudioIn() override = default;

    // Prepares (unless prepared) and queues an empty buffer.
    virtual bool AddBuffer(WAVEHDR* header);
    // `count` recorded bytes; a consumer that keeps the buffer sets FreeIt to
    // false and releases it later with GlobalFree.
    virtual void DoWaveInData(void* buffer, DWORD count, bool& FreeIt);

    UINT GetNumDevs() override;
    std::string GetDeviceName() override;
    TPCMFormats GetDeviceFormats() override;
    std::int32_t GetPosition() override;
    std::string GetErrorText(MMRESULT code) override;
    MMRESULT ValidateDeviceID(std::int32_t id) override;
    void GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) override;
    bool HandleAllocated() override { return handle_ != nullptr; }
    void StartDataFlow() override;
    MMRESULT OpenDevice(const WAVEFORMATEX* format, bool query) override;
    MMRESULT ResetDevice() override;
    MMRESULT CloseDevice() override;
    MMRESULT PauseDevice() override;
    MMRESULT RestartDevice() override;
    MMRESULT UnprepareDevice(WAVEHDR* header) override;
    void ForgetHandle() override { handle_ = nullptr; }
    bool RaisesCloseErrors() const override { return false; }
    void HandleWimOpen() override;
    void HandleWimClose() override;
    // Sets the recorded bytes aside and queues the buffer again (or, when
    // closing, releases it; the last one released closes the device).
    bool TakeBackBuffer(TBufferBack& back) override;
    // Reports the level of the bytes set aside and hands them to
    // DoWaveInData.
    void HandleBuffer(TBufferBack& back) override;
    void TakeBackHeader(WAVEHDR* header) override;

private:
    void ConsumeData(void* data, DWORD bytes, bool report, bool& FreeIt);

    HWAVEIN handle_ = nullptr;
    TPCMFormat pcmFormat_ = Mono16bit8000Hz;
};

// The recording device object: opens a waveform input device in a PCM format
// (or one that OnFormat supplies), keeps BufferCount empty buffers of
// BufferLength milliseconds queued on it, hands each filled buffer to
// DoWaveInData and queues it again. TStockAudioRecorder (WaveRecorders.h)
// consumes the bytes. It also tells which PCM formats a device records.
#pragma once

#include "wave/WaveIO.h"

class TWaveAudioIn : public TWaveAudioIO {
public:
    TWaveAudioIn();

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

    std::int32_t GetPosition() override;
    void GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) override;
    void StartDataFlow() override;
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

    TPCMFormat pcmFormat_ = Mono16bit8000Hz;
};

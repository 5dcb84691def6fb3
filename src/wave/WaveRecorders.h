// The recorder: a TWaveAudioIn that writes every recorded buffer into a RIFF
// WAVE file or stream. The wave headers are written when the device is
// opened; the file is complete (its sizes filled in) once the device has
// closed, or once the object has been freed.
#pragma once

#include <memory>
#include <string>

#include "wave/WaveIn.h"
#include "wave/WaveStockDevice.h"
#include "wave/WaveStorage.h"

class TStockAudioRecorder : public TStockDevice<TWaveAudioIn> {
public:
    TStockAudioRecorder();

    // Records into a new file (an existing one is overwritten); a file that
    // cannot be created raises EFCreateError. May be called from an event.
    bool RecordToFile(const std::string& fileName);
    // Records into `stream` (freed with the recording when owned). A
    // recording still active is stopped and ended first; should it stay
    // (from inside an event of this object), EWaveAudioInvalidOperation. May
    // be called from an event.
    bool RecordToStream(TStream* stream, bool ownsStream);
    // Records into the Stock's wave; EWaveAudioInvalidOperation without
    // Stock. May be called from an event.
    bool RecordStock();

protected:
    ~TStockAudioRecorder() override;

    void GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) override;
    void DoWaveInData(void* buffer, DWORD count, bool& FreeIt) override;
    // Completes the file (sizes filled in) and frees the adapter.
    void FinishRun() override;
};

// The recorder: a TWaveAudioIn that writes every recorded buffer into a RIFF
// WAVE file or stream. The wave headers are written when the device is
// opened; the file is complete (its sizes filled in) once the device has
// closed, or once the object has been freed.
#pragma once

#include <memory>
#include <string>

#include "wave/WaveIn.h"
#include "wave/WaveStorage.h"

class TStockAudioRecorder : public TWaveAudioIn {
public:
    TStockAudioRecorder();

    TCustomWaveStorage* Stock() const { return stock_.Get(); }
    // A weak reference, cleared when the storage is freed (a recording into
    // it is finished then). May be called from an event.
    void SetStock(TCustomWaveStorage* stock) { stock_.Set(stock); }
    // Records into a new file (an existing one is overwritten); a file that
    // cannot be created raises EFCreateError. May be called from an event.
    bool RecordToFile(const std::string& fileName);
    // Records into `stream` (freed with the recording when owned). A
    // recording still active is stopped, and its close waited for, first;
    // should that close not come, EWaveAudioInvalidOperation. May be called
    // from an event.
    bool RecordToStream(TStream* stream, bool ownsStream);
    // Records into the Stock's wave; EWaveAudioInvalidOperation without
    // Stock. May be called from an event.
    bool RecordStock();

protected:
    ~TStockAudioRecorder() override;

    void DoSetActive(bool value) override;
    void GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) override;
    void DoWaveInData(void* buffer, DWORD count, bool& FreeIt) override;
    void DoError() override;
    void FinishRun() override { FinishRecording(); }
    bool RunPending() override { return adapter_ != nullptr; }

private:
    bool Record(TStream* stream, bool ownsStream, TCustomWaveStorage* stock);
    // Completes the file (sizes filled in) and frees the adapter.
    void FinishRecording();
    void StockFreed(TCustomWaveStorage* storage);

    std::unique_ptr<TWaveStreamAdapter> adapter_;
    TStorageLink stock_;
    // The storage the current recording writes into, if any.
    TCustomWaveStorage* runStock_ = nullptr;
};

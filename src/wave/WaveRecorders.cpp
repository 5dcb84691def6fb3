#include "wave/WaveRecorders.h"

TStockAudioRecorder::TStockAudioRecorder() = default;

TStockAudioRecorder::~TStockAudioRecorder() = default;

bool TStockAudioRecorder::RecordToFile(const std::string& fileName) {
    TBusyFrame frame(*this);
    return StartRun(new TFileStream(fileName, fmCreate), true);
}

bool TStockAudioRecorder::RecordToStream(TStream* stream, bool ownsStream) {
    TBusyFrame frame(*this);
    return StartRun(stream, ownsStream);
}

bool TStockAudioRecorder::RecordStock() {
    TBusyFrame frame(*this);
    return StartStock();
}

void TStockAudioRecorder::FinishRun() {
    const std::unique_ptr<TWaveStreamAdapter> adapter = TakeAdapter();
    if (adapter != nullptr)
        adapter->StopWriting();
}

void TStockAudioRecorder::GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) {
    TWaveAudioIn::GetWaveFormat(pWaveFormat, FreeIt);
    // The headers go out before the device is even asked.
    if (pWaveFormat != nullptr && Adapter() != nullptr)
        Adapter()->StartWriting(pWaveFormat);
}

void TStockAudioRecorder::DoWaveInData(void* buffer, DWORD count, bool&) {
    if (Adapter() == nullptr)
        return;
    const std::int32_t written = Adapter()->WriteData(buffer, static_cast<std::int32_t>(count));
    if (written != static_cast<std::int32_t>(count))
        CheckResult(MMSYSERR_ERROR); // a full disk: reported, and the recording goes on
}

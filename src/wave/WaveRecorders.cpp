#include "wave/WaveRecorders.h"

TStockAudioRecorder::TStockAudioRecorder()
    : stock_([this](TCustomWaveStorage* storage) { StockFreed(storage); }) {}

TStockAudioRecorder::~TStockAudioRecorder() = default;

void TStockAudioRecorder::DoSetActive(bool value) {
    if (value)
        RecordStock();
    else
        InternalClose();
}

bool TStockAudioRecorder::RecordToFile(const std::string& fileName) {
    TBusyFrame frame(*this);
    return Record(new TFileStream(fileName, fmCreate), true, nullptr);
}

bool TStockAudioRecorder::RecordToStream(TStream* stream, bool ownsStream) {
    TBusyFrame frame(*this);
    return Record(stream, ownsStream, nullptr);
}

bool TStockAudioRecorder::RecordStock() {
    TBusyFrame frame(*this);
    TCustomWaveStorage* stock = Stock();
    if (stock == nullptr)
        throw EWaveAudioInvalidOperation(kStockNotAssignedText);
    return Record(stock->GetWaveStream(0), false, stock);
}

bool TStockAudioRecorder::Record(TStream* stream, bool ownsStream, TCustomWaveStorage* stock) {
    std::unique_ptr<TStream> owned(ownsStream ? stream : nullptr);
    if (!PrepareRun())
        return false;
    adapter_ = std::make_unique<TWaveStreamAdapter>(stream, ownsStream);
    owned.release();
    runStock_ = stock;
    return InternalOpen();
}

void TStockAudioRecorder::FinishRecording() {
    std::unique_ptr<TWaveStreamAdapter> adapter = std::move(adapter_);
    runStock_ = nullptr;
    if (adapter != nullptr)
        adapter->StopWriting();
}

void TStockAudioRecorder::StockFreed(TCustomWaveStorage* storage) {
    if (storage != runStock_ || adapter_ == nullptr)
        return;
    // The recording writes into the storage going away: it ends here.
    try {
        FinishRecording();
        SetActive(false);
    } catch (...) {
        // Inside the storage's destructor: nothing may escape.
    }
}

void TStockAudioRecorder::GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) {
    TWaveAudioIn::GetWaveFormat(pWaveFormat, FreeIt);
    // The headers go out before the device is even asked.
    if (pWaveFormat != nullptr && adapter_ != nullptr)
        adapter_->StartWriting(pWaveFormat);
}

void TStockAudioRecorder::DoWaveInData(void* buffer, DWORD count, bool&) {
    if (adapter_ == nullptr)
        return;
    const std::int32_t written = adapter_->WriteData(buffer, static_cast<std::int32_t>(count));
    if (written != static_cast<std::int32_t>(count))
        CheckResult(MMSYSERR_ERROR); // a full disk: reported, and the recording goes on
}

void TStockAudioRecorder::DoError() {
    if (!Active() && adapter_ != nullptr)
        FinishRecording(); // a refused open: the file holds the headers and no data
    TWaveAudioIn::DoError();
}

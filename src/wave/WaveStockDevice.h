// What the two stock device objects share, TStockAudioPlayer (WavePlayers.h)
// and TStockAudioRecorder (WaveRecorders.h): a storage component to play from
// or record into (Stock, a weak reference), and the adapter of each run over
// its stream, made when the run starts and freed when it ends.
#pragma once

#include <memory>

#include "wave/WaveIO.h"
#include "wave/WaveStorage.h"

template <class Device>
class TStockDevice : public Device {
public:
    TCustomWaveStorage* Stock() const { return stock_.Get(); }
    // A weak reference, cleared when the storage is freed (a run that uses
    // it ends then). May be called from an event.
    void SetStock(TCustomWaveStorage* stock) { stock_.Set(stock); }

protected:
    TStockDevice() : stock_([this](TCustomWaveStorage* storage) { StockFreed(storage); }) {}
    ~TStockDevice() override = default;

    // A run over the Stock's wave; EWaveAudioInvalidOperation without Stock.
    bool StartStock() {
        TCustomWaveStorage* stock = Stock();
        if (stock == nullptr)
            throw EWaveAudioInvalidOperation(kStockNotAssignedText);
        return StartRun(stock->GetWaveStream(0), false, stock);
    }
    // A run over `stream` (freed with the run when owned), from `stock` when
    // given: a run still active is stopped and ended first (PrepareRun);
    // should it stay, EWaveAudioInvalidOperation.
    bool StartRun(TStream* stream, bool ownsStream, TCustomWaveStorage* stock = nullptr) {
        std::unique_ptr<TStream> owned(ownsStream ? stream : nullptr);
        if (!this->PrepareRun())
            return false;
        adapter_ = std::make_unique<TWaveStreamAdapter>(stream, ownsStream);
        owned.release();
        runStock_ = stock;
        return this->InternalOpen();
    }
    TWaveStreamAdapter* Adapter() const { return adapter_.get(); }
    // The run's adapter handed over (null when there is none); the run's
    // storage is forgotten.
    std::unique_ptr<TWaveStreamAdapter> TakeAdapter() {
        runStock_ = nullptr;
        return std::move(adapter_);
    }

    void DoSetActive(bool value) override {
        if (value)
            StartStock();
        else
            this->InternalClose();
    }
    void DoError() override {
        if (!this->Active() && adapter_ != nullptr)
            this->FinishRun(); // a refused open leaves no adapter behind
        Device::DoError();
    }
    bool RunPending() override { return adapter_ != nullptr; }

private:
    void StockFreed(TCustomWaveStorage* storage) {
        if (storage != runStock_ || adapter_ == nullptr)
            return;
        // The run uses the storage going away: it ends here.
        try {
            this->FinishRun();
            this->SetActive(false);
        } catch (...) {
            // Inside the storage's destructor: nothing may escape.
        }
    }

    std::unique_ptr<TWaveStreamAdapter> adapter_;
    TStorageLink stock_;
    // The storage the current run uses, if any.
    TCustomWaveStorage* runStock_ = nullptr;
};

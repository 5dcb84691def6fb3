// The players: TWaveAudioOut objects that play a RIFF WAVE held by a
// TWaveStreamAdapter. TAudioPlayer owns its wave (Wave); TStockAudioPlayer
// plays the wave of a storage component (Stock) through an adapter it makes
// for each run.
//
// Playback reads the samples of the data chunk only (chunks after it are not
// played), starting at the position set before the start.
#pragma once

#include "wave/WaveOut.h"
#include "wave/WaveStorage.h"

// The reading side of a run, shared by both players: the wave being read and
// the byte offset reached inside its data.
class TWaveReading {
public:
    // Opens the reading phase at `ms`; the wave's format, or null.
    PWaveFormatEx Start(TWaveStreamAdapter& wave, std::int32_t ms);
    // Up to `size` bytes of the data, never past its end; 0 at the end.
    DWORD Read(void* buffer, DWORD size);
    // Moves to `ms` inside the data (to its end when beyond).
    void Seek(std::int32_t ms);
    void Stop();
    bool Reading() const { return wave_ != nullptr; }

private:
    TWaveStreamAdapter* wave_ = nullptr;
    std::uint32_t offset_ = 0;
};

class TAudioPlayer : public TWaveAudioOut {
public:
    TAudioPlayer();

    // The owned wave. Changing its content stops the playback.
    TWave* Wave() { return wave_.get(); }
    // Copies `wave` into the own wave (null clears it) after stopping the
    // playback and waiting for its close. May be called from an event.
    void SetWave(TWaveStreamAdapter* wave);

protected:
    ~TAudioPlayer() override;

    void GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) override;
    DWORD GetWaveData(void* buffer, DWORD size, DWORD& numLoops) override;
    void DoSetPosition(std::int32_t ms) override;
    void FinishRun() override;

private:
    std::unique_ptr<TWave> wave_;
    TWaveReading reading_;
};

class TStockAudioPlayer : public TWaveAudioOut {
public:
    TStockAudioPlayer();

    TCustomWaveStorage* Stock() const { return stock_.Get(); }
    // A weak reference, cleared when the storage is freed (a run playing
    // from it ends then). May be called from an event.
    void SetStock(TCustomWaveStorage* stock) { stock_.Set(stock); }
    // Plays the Stock's wave; EWaveAudioInvalidOperation without Stock. May
    // be called from an event.
    bool PlayStock();
    // Plays the wave in `stream` (freed with the run when owned). A run still
    // active is stopped, and its close waited for, first; should that close
    // not come, EWaveAudioInvalidOperation. May be called from an event.
    bool PlayStream(TStream* stream, bool ownsStream);

protected:
    ~TStockAudioPlayer() override;

    void DoSetActive(bool value) override;
    void GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) override;
    DWORD GetWaveData(void* buffer, DWORD size, DWORD& numLoops) override;
    void DoSetPosition(std::int32_t ms) override;
    void DoError() override;
    void FinishRun() override;
    bool RunPending() override { return adapter_ != nullptr; }

private:
    bool Play(TStream* stream, bool ownsStream, TCustomWaveStorage* stock);
    void FreeAdapter();
    void StockFreed(TCustomWaveStorage* storage);

    std::unique_ptr<TWaveStreamAdapter> adapter_;
    TWaveReading reading_;
    TStorageLink stock_;
    // The storage the current run plays from, if any.
    TCustomWaveStorage* runStock_ = nullptr;
};

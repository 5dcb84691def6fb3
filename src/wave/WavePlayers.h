// The players: TWaveAudioOut objects that play a RIFF WAVE held by a
// TWaveStreamAdapter. TAudioPlayer owns its wave (Wave); TStockAudioPlayer
// plays the wave of a storage component (Stock) through an adapter it makes
// for each run.
//
// Playback reads the samples of the data chunk only (chunks after it are not
// played), starting at the position set before the start.
#pragma once

#include "wave/WaveOut.h"
#include "wave/WaveStockDevice.h"
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

class TStockAudioPlayer : public TStockDevice<TWaveAudioOut> {
public:
    TStockAudioPlayer();

    // Plays the Stock's wave; EWaveAudioInvalidOperation without Stock. May
    // be called from an event.
    bool PlayStock();
    // Plays the wave in `stream` (freed with the run when owned). A run still
    // active is stopped and ended first; should it stay (from inside an
    // event of this object), EWaveAudioInvalidOperation. May be called from
    // an event.
    bool PlayStream(TStream* stream, bool ownsStream);

protected:
    ~TStockAudioPlayer() override;

    void GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) override;
    DWORD GetWaveData(void* buffer, DWORD size, DWORD& numLoops) override;
    void DoSetPosition(std::int32_t ms) override;
    void FinishRun() override;

private:
    TWaveReading reading_;
};

#include "wave/WavePlayers.h"

#include <algorithm>
#include <limits>

// --- reading the data -----------------------------------------------------------------

PWaveFormatEx TWaveReading::Start(TWaveStreamAdapter& wave, std::int32_t ms) {
    if (!wave.StartReading())
        return nullptr;
    wave_ = &wave;
    Seek(ms);
    return wave.FormatRecord();
}

DWORD TWaveReading::Read(void* buffer, DWORD size) {
    if (wave_ == nullptr)
        return 0;
    const std::uint32_t data = wave_->DataBytes();
    const std::uint32_t left = data > offset_ ? data - offset_ : 0;
    const auto count = static_cast<std::int32_t>(std::min<std::uint32_t>(
        {size, left, static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())}));
    const std::int32_t read = wave_->ReadData(buffer, count);
    if (read <= 0)
        return 0; // the end of the data, or no reading phase any more
    offset_ += static_cast<std::uint32_t>(read);
    return static_cast<DWORD>(read);
}

void TWaveReading::Seek(std::int32_t ms) {
    if (wave_ == nullptr)
        return;
    const std::int32_t bytes = wave_->BytesForTime(std::max(ms, 0));
    const std::uint32_t data = std::min<std::uint32_t>(
        wave_->DataBytes(), static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()));
    offset_ = bytes < 0 ? data : std::min(static_cast<std::uint32_t>(bytes), data);
    wave_->SeekData(static_cast<std::int32_t>(offset_));
}

void TWaveReading::Stop() {
    if (wave_ == nullptr)
        return;
    TWaveStreamAdapter* wave = wave_;
    wave_ = nullptr;
    offset_ = 0;
    wave->StopReading();
}

// --- TAudioPlayer ---------------------------------------------------------------------

TAudioPlayer::TAudioPlayer() : wave_(std::make_unique<TWave>()) {
    // Any change of the wave's content stops the playback.
    wave_->OnAfterChange = [this](TWaveStreamAdapter*) { SetActive(false); };
}

TAudioPlayer::~TAudioPlayer() {
    wave_->OnAfterChange = nullptr;
}

void TAudioPlayer::SetWave(TWaveStreamAdapter* wave) {
    if (wave == wave_.get())
        return;
    TBusyFrame frame(*this);
    SetActive(false);
    // The reading phase ends with the close notification: the content is
    // replaced only after it.
    WaitForClose();
    if (Destroying())
        return;
    if (wave == nullptr) {
        wave_->Clear();
        return;
    }
    wave->Stream()->Seek(0, soBeginning);
    wave_->LoadFromStream(*wave->Stream());
}

void TAudioPlayer::GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) {
    FreeIt = false; // the record is the wave's
    pWaveFormat = reading_.Start(*wave_, PositionOffset());
}

DWORD TAudioPlayer::GetWaveData(void* buffer, DWORD size, DWORD& numLoops) {
    numLoops = 0;
    return reading_.Read(buffer, size);
}

void TAudioPlayer::DoSetPosition(std::int32_t ms) {
    reading_.Seek(ms);
    TWaveAudioOut::DoSetPosition(ms);
}

void TAudioPlayer::FinishRun() {
    reading_.Stop();
}

// --- TStockAudioPlayer ----------------------------------------------------------------

TStockAudioPlayer::TStockAudioPlayer() = default;

TStockAudioPlayer::~TStockAudioPlayer() = default;

bool TStockAudioPlayer::PlayStock() {
    TBusyFrame frame(*this);
    return StartStock();
}

bool TStockAudioPlayer::PlayStream(TStream* stream, bool ownsStream) {
    TBusyFrame frame(*this);
    return StartRun(stream, ownsStream);
}

void TStockAudioPlayer::GetWaveFormat(PWaveFormatEx& pWaveFormat, bool& FreeIt) {
    FreeIt = false;
    pWaveFormat = Adapter() != nullptr ? reading_.Start(*Adapter(), PositionOffset()) : nullptr;
}

DWORD TStockAudioPlayer::GetWaveData(void* buffer, DWORD size, DWORD& numLoops) {
    numLoops = 0;
    return reading_.Read(buffer, size);
}

void TStockAudioPlayer::DoSetPosition(std::int32_t ms) {
    reading_.Seek(ms);
    TWaveAudioOut::DoSetPosition(ms);
}

void TStockAudioPlayer::FinishRun() {
    reading_.Stop();
    TakeAdapter(); // freed here, which ends its reading
}

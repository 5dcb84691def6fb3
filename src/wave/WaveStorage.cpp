#include "wave/WaveStorage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::int64_t kMaxPosition = 0x7FFFFFFF;

FOURCC Id(const char* text) {
    return mmioStringToFOURCCA(text, 0);
}

// Walks the chunk headers of `stream` from `position` the way a chunk search
// does, and tells whether a chunk `id` (with form type `type`, if not 0) is
// reached before the data ends. A size from a damaged file that would move the
// search beyond 2 GiB, where 32-bit offsets wrap around and a search could go
// backwards, ends the walk: such a chunk counts as not found.
bool ChunkReachable(TStream& stream, std::int64_t position, FOURCC id, FOURCC type) {
    const std::int64_t size = stream.Size();
    while (position + 8 <= size) {
        DWORD header[3] = {0, 0, 0};
        stream.Seek(position, soBeginning);
        if (stream.Read(header, sizeof header) < 8)
            return false;
        if (header[0] == id && (type == 0 || header[2] == type))
            return true;
        position += 8 + ((std::int64_t{header[1]} + 1) & ~std::int64_t{1});
        if (position > kMaxPosition)
            return false;
    }
    return false;
}

// The sub-formats of WAVE_FORMAT_EXTENSIBLE that are plain formats: the
// format tag in the first two bytes of the GUID, then the rest of
// KSDATAFORMAT_SUBTYPE_PCM and KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.
constexpr std::uint8_t kBaseSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr WORD kWaveFormatExtensible = 0xFFFE;
constexpr WORD kExtensibleExtraBytes = 22;

// Recording programs store PCM and IEEE float as WAVE_FORMAT_EXTENSIBLE, with
// a channel mask and a sub-format: such a record is read as the plain record
// of its sub-format (the valid bits and the channel mask are dropped).
void ReadExtensibleAsPlain(WAVEFORMATEX* format) {
    if (format->wFormatTag != kWaveFormatExtensible || format->cbSize < kExtensibleExtraBytes)
        return;
    const auto* extra = reinterpret_cast<const std::uint8_t*>(format) + sizeof(WAVEFORMATEX);
    const std::uint8_t* subFormat = extra + 6; // after the valid bits and the channel mask
    const WORD tag = static_cast<WORD>(subFormat[0] | (subFormat[1] << 8));
    if ((tag != WAVE_FORMAT_PCM && tag != WAVE_FORMAT_IEEE_FLOAT) ||
        std::memcmp(subFormat + 2, kBaseSubFormatTail, sizeof kBaseSubFormatTail) != 0)
        return;
    format->wFormatTag = tag;
    format->cbSize = 0;
}

} // namespace

// --- construction -----------------------------------------------------------------

TWaveStreamAdapter::TWaveStreamAdapter(TStream* stream, bool ownsStream)
    : stream_(stream), ownsStream_(ownsStream) {}

TWaveStreamAdapter::~TWaveStreamAdapter() {
    // Nobody hears of the changes of a wave that is going away.
    OnBeforeChange = nullptr;
    OnAfterChange = nullptr;
    try {
        if (phase_ == wpReading)
            StopReading();
        else if (phase_ == wpWriting)
            StopWriting();
    } catch (...) {
        // A stream that fails while the wave is destroyed loses the end of a
        // recording; the destructor must not throw.
        if (mmio_ != nullptr)
            mmioClose(mmio_, 0);
        mmio_ = nullptr;
    }
    FreeFormat();
    if (ownsStream_)
        delete stream_;
}

void TWaveStreamAdapter::Assign(TWaveStreamAdapter& source) {
    if (&source == this || source.Stream() == nullptr)
        return;
    source.Stream()->Seek(0, soBeginning);
    LoadFromStream(*source.Stream());
}

void TWaveStreamAdapter::FreeFormat() {
    std::free(format_);
    format_ = nullptr;
}

// --- details ----------------------------------------------------------------------

bool TWaveStreamAdapter::IsValidWave() {
    return EnsureDetails();
}

PWaveFormatEx TWaveStreamAdapter::FormatRecord() {
    return EnsureDetails() ? format_ : nullptr;
}

std::uint32_t TWaveStreamAdapter::DataBytes() {
    return EnsureDetails() ? dataSize_ : 0;
}

std::int32_t TWaveStreamAdapter::DataStart() {
    return EnsureDetails() ? dataStart_ : 0;
}

std::int32_t TWaveStreamAdapter::DurationMs() {
    return EnsureDetails() ? TimeForBytes(format_, dataSize_) : 0;
}

std::int32_t TWaveStreamAdapter::KilobitsPerSecond() {
    return EnsureDetails() ? ::KilobitsPerSecond(format_) : 0;
}

std::string TWaveStreamAdapter::AudioFormatText() {
    return EnsureDetails() ? DescribeFormat(format_) : std::string();
}

int TWaveStreamAdapter::PeakPercent() {
    if (!EnsureDetails())
        return -1;
    const TLentWaveData data(*this, false);
    return data.Ok() ? PeakLevelPercent(data.Data(), data.Size(), format_) : -1;
}

bool TWaveStreamAdapter::IsEmpty() {
    return stream_ == nullptr || stream_->Size() == 0;
}

bool TWaveStreamAdapter::EnsureDetails() {
    if (stale_ && phase_ != wpWriting) {
        stale_ = false;
        FreeFormat();
        valid_ = Parse();
        if (!valid_) {
            FreeFormat();
            dataSize_ = 0;
            dataStart_ = 0;
        }
        NotifyChanged();
    }
    return valid_;
}

bool TWaveStreamAdapter::Parse() {
    if (stream_ == nullptr || stream_->Size() == 0)
        return false;
    const std::int64_t streamSize = stream_->Size();
    HMMIO h = OpenStreamMmio(stream_);
    if (h == nullptr)
        return false;
    const LONG saved = mmioSeek(h, 0, SEEK_CUR);
    bool valid = false;
    [&] {
        MMCKINFO riff{};
        riff.fccType = Id("WAVE");
        if (mmioSeek(h, 0, SEEK_SET) != 0 ||
            !ChunkReachable(*stream_, 0, FOURCC_RIFF, riff.fccType) ||
            mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR)
            return;
        // A RIFF size that runs past the end (a writer to a pipe leaves
        // 0xFFFFFFFF) would make the chunk end wrap around 32 bits, and the
        // chunk searches inside it would find nothing: it ends with the file.
        riff.cksize = static_cast<DWORD>(
            std::min<std::int64_t>(riff.cksize, streamSize - std::int64_t{riff.dwDataOffset}));
        MMCKINFO fmt{};
        fmt.ckid = Id("fmt");
        if (!ChunkReachable(*stream_, mmioSeek(h, 0, SEEK_CUR), fmt.ckid, 0) ||
            mmioDescend(h, &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || fmt.cksize < 14)
            return;
        // A size that runs past the end of the stream cannot be read whole;
        // refuse it before allocating.
        if (std::int64_t{fmt.dwDataOffset} + fmt.cksize > streamSize)
            return;
        const std::size_t length = std::max<std::size_t>(fmt.cksize, sizeof(WAVEFORMATEX));
        format_ = static_cast<PWaveFormatEx>(std::calloc(length, 1));
        if (format_ == nullptr)
            throw EOutOfMemory(length);
        const LONG want = static_cast<LONG>(fmt.cksize);
        if (mmioRead(h, reinterpret_cast<HPSTR>(format_), want) != want)
            return;
        // cbSize promises extra bytes; a record is never taken to reach
        // beyond what the chunk holds.
        if (sizeof(WAVEFORMATEX) + format_->cbSize > length)
            format_->cbSize = static_cast<WORD>(length - sizeof(WAVEFORMATEX));
        ReadExtensibleAsPlain(format_);
        // The search for "data" starts right after the format contents: past
        // the pad byte that follows contents of odd size, or, for a writer
        // that left the pad out, right at the byte after them.
        const LONG afterFormat = mmioSeek(h, 0, SEEK_CUR);
        MMCKINFO data{};
        const auto findData = [&](LONG from) {
            data = MMCKINFO{};
            data.ckid = Id("data");
            return from >= 0 && mmioSeek(h, from, SEEK_SET) == from &&
                   ChunkReachable(*stream_, from, data.ckid, 0) &&
                   mmioDescend(h, &data, &riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR;
        };
        const bool found = fmt.cksize % 2 != 0 ? findData(afterFormat + 1) || findData(afterFormat)
                                               : findData(afterFormat);
        if (!found)
            return;
        // A writer that could not go back to fill in the size (one writing to
        // a pipe) leaves a size that runs past the end: the data is what the
        // file holds. Data ends with its last whole block.
        dataStart_ = static_cast<std::int32_t>(data.dwDataOffset);
        dataSize_ = static_cast<std::uint32_t>(std::min<std::int64_t>(
            data.cksize, std::max<std::int64_t>(0, streamSize - dataStart_)));
        if (format_->nBlockAlign > 1)
            dataSize_ -= dataSize_ % format_->nBlockAlign;
        valid = true;
    }();
    mmioSeek(h, saved, SEEK_SET);
    mmioClose(h, 0);
    return valid;
}

void TWaveStreamAdapter::InvalidateDetails() {
    if (stale_)
        return;
    valid_ = false;
    stale_ = true;
    if (OnBeforeChange)
        OnBeforeChange(this);
}

void TWaveStreamAdapter::MarkStale() {
    stale_ = true;
}

void TWaveStreamAdapter::NotifyChanged() {
    if (OnAfterChange)
        OnAfterChange(this);
}

std::int32_t TWaveStreamAdapter::BytesForTime(std::int32_t ms) {
    return ::BytesForTime(format_, ms);
}

// --- whole data -------------------------------------------------------------------

bool TWaveStreamAdapter::AcquireData(void*& buffer, bool forceCopy) {
    buffer = nullptr;
    if (!EnsureDetails() || dataSize_ == 0)
        return false;
    const std::int64_t end = std::int64_t{dataStart_} + dataSize_;
    if (end > stream_->Size())
        return false; // the data chunk claims more than the stream holds
    auto* memory = dynamic_cast<TMemoryStream*>(stream_);
    if (!forceCopy && memory != nullptr) {
        buffer = memory->Memory() + dataStart_;
        return true;
    }
    void* copy = std::malloc(dataSize_);
    if (copy == nullptr)
        throw EOutOfMemory(dataSize_);
    try {
        stream_->Seek(dataStart_, soBeginning);
        if (stream_->Read(copy, dataSize_) != std::int64_t{dataSize_}) {
            std::free(copy);
            return false;
        }
    } catch (...) {
        std::free(copy);
        throw;
    }
    buffer = copy;
    return true;
}

bool TWaveStreamAdapter::ReleaseData(void* buffer, bool writeBack) {
    if (buffer == nullptr)
        return false;
    auto* memory = dynamic_cast<TMemoryStream*>(stream_);
    if (memory != nullptr && memory->Memory() != nullptr && buffer == memory->Memory() + dataStart_)
        return true; // changes made through it are already in the stream
    bool result = true;
    try {
        if (writeBack) {
            stream_->Seek(dataStart_, soBeginning);
            result = stream_->Write(buffer, dataSize_) == std::int64_t{dataSize_};
        }
    } catch (...) {
        std::free(buffer);
        throw;
    }
    std::free(buffer);
    return result;
}

TLentWaveData::TLentWaveData(TWaveStreamAdapter& wave, bool forceCopy) : wave_(wave) {
    void* data = nullptr;
    if (wave_.AcquireData(data, forceCopy)) {
        data_ = static_cast<std::uint8_t*>(data);
        size_ = wave_.DataBytes();
    }
}

TLentWaveData::~TLentWaveData() {
    Release(false);
}

bool TLentWaveData::Release(bool writeBack) {
    if (data_ == nullptr)
        return false;
    void* data = data_;
    data_ = nullptr;
    size_ = 0;
    return wave_.ReleaseData(data, writeBack);
}

// --- comparisons ------------------------------------------------------------------

bool TWaveStreamAdapter::HasFormat(const WAVEFORMATEX* format) {
    if (!EnsureDetails() || format == nullptr || format->cbSize != format_->cbSize)
        return false;
    return std::memcmp(format, format_, sizeof(WAVEFORMATEX) + format->cbSize) == 0;
}

bool TWaveStreamAdapter::HasSameFormat(TWaveStreamAdapter& other) {
    return HasFormat(other.FormatRecord());
}

bool TWaveStreamAdapter::ContentEquals(TWaveStreamAdapter& other) {
    if (!HasSameFormat(other) || DataBytes() != other.DataBytes())
        return false;
    if (dataSize_ == 0)
        return true;
    const TLentWaveData mine(*this, false);
    const TLentWaveData theirs(other, false);
    return mine.Ok() && theirs.Ok() && std::memcmp(mine.Data(), theirs.Data(), dataSize_) == 0;
}

// --- whole file -------------------------------------------------------------------

bool TWaveStreamAdapter::LoadFromStream(TStream& source) {
    InvalidateDetails();
    if (&source != stream_) {
        if (auto* memory = dynamic_cast<TMemoryStream*>(stream_)) {
            memory->LoadFrom(source);
        } else {
            const std::int64_t rest = std::max<std::int64_t>(0, source.Size() - source.Position());
            stream_->Seek(0, soBeginning);
            stream_->CopyFrom(source, rest);
            stream_->SetSize(rest);
        }
    }
    // Loading ends any phase; its handle is closed rather than leaked.
    if (mmio_ != nullptr)
        mmioClose(mmio_, 0);
    mmio_ = nullptr;
    phase_ = wpNone;
    return EnsureDetails();
}

void TWaveStreamAdapter::SaveToStream(TStream& target) {
    if (&target == stream_)
        return;
    stream_->Seek(0, soBeginning);
    target.CopyFrom(*stream_, stream_->Size());
}

bool TWaveStreamAdapter::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, fmOpenRead);
    return LoadFromStream(file);
}

void TWaveStreamAdapter::SaveToFile(const std::string& fileName) {
    TSafeFileStream file(fileName);
    SaveToStream(file);
    file.Commit();
}

void TWaveStreamAdapter::Clear() {
    InvalidateDetails();
    if (auto* memory = dynamic_cast<TMemoryStream*>(stream_))
        memory->Clear();
    else
        stream_->SetSize(0);
    if (mmio_ != nullptr)
        mmioClose(mmio_, 0);
    mmio_ = nullptr;
    phase_ = wpNone;
    NotifyChanged();
}

void TWaveStreamAdapter::CutAfterData() {
    if (phase_ == wpWriting)
        return;
    // Odd data keeps the pad byte that the RIFF sizes count.
    const std::uint32_t bytes = DataBytes();
    const std::int64_t end = std::int64_t{DataStart()} + bytes + (bytes & 1);
    if (end < stream_->Size())
        stream_->SetSize(end);
}

// --- rewriting in memory ---------------------------------------------------------

std::uint32_t TWaveStreamAdapter::HeaderBytes(const WAVEFORMATEX* format) {
    const std::uint32_t record = sizeof(WAVEFORMATEX) + format->cbSize;
    return 12 + 8 + record + (record & 1) + 8;
}

bool TWaveStreamAdapter::Editable() {
    return EnsureDetails() && IsConsistentFormat(format_);
}

void TWaveStreamAdapter::CompleteInMemory(TMemoryStream& memory, const WAVEFORMATEX* format,
                                          std::uint32_t dataBytes) {
    InvalidateDetails();
    const std::uint32_t header = HeaderBytes(format);
    const std::uint32_t record = sizeof(WAVEFORMATEX) + format->cbSize;
    const std::int64_t total = std::int64_t{header} + dataBytes + (dataBytes & 1);
    memory.Expose(total);
    std::uint8_t* p = memory.Memory();
    const auto put32 = [&p](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            *p++ = static_cast<std::uint8_t>(v >> (8 * i));
    };
    const auto putId = [&p](const char* id) {
        std::memcpy(p, id, 4);
        p += 4;
    };
    putId("RIFF");
    put32(static_cast<std::uint32_t>(total - 8));
    putId("WAVE");
    putId("fmt ");
    put32(record);
    std::memcpy(p, format, record);
    p += record;
    if (record & 1)
        *p++ = 0;
    putId("data");
    put32(dataBytes);
    if (dataBytes & 1)
        memory.Memory()[total - 1] = 0;
    EnsureDetails();
}

// --- writing phase ----------------------------------------------------------------

bool TWaveStreamAdapter::StartWriting(const WAVEFORMATEX* format) {
    if (phase_ != wpNone || format == nullptr)
        return false;
    HMMIO h = OpenStreamMmio(stream_);
    if (h == nullptr)
        return false;
    bool ok = false;
    try {
        stream_->SetSize(0);
        riffChunk_ = MMCKINFO{};
        riffChunk_.fccType = Id("WAVE");
        MMCKINFO fmt{};
        fmt.ckid = Id("fmt");
        dataChunk_ = MMCKINFO{};
        dataChunk_.ckid = Id("data");
        const LONG length = static_cast<LONG>(sizeof(WAVEFORMATEX) + format->cbSize);
        ok = mmioSeek(h, 0, SEEK_SET) == 0 &&
             mmioCreateChunk(h, &riffChunk_, MMIO_CREATERIFF) == MMSYSERR_NOERROR &&
             mmioCreateChunk(h, &fmt, 0) == MMSYSERR_NOERROR &&
             mmioWrite(h, reinterpret_cast<const char*>(format), length) == length &&
             mmioAscend(h, &fmt, 0) == MMSYSERR_NOERROR &&
             mmioCreateChunk(h, &dataChunk_, 0) == MMSYSERR_NOERROR;
    } catch (...) {
        mmioClose(h, 0);
        throw;
    }
    if (!ok) {
        mmioClose(h, 0);
        return false;
    }
    mmio_ = h;
    phase_ = wpWriting;
    dataStart_ = mmioSeek(h, 0, SEEK_CUR);
    InvalidateDetails();
    return true;
}

std::int32_t TWaveStreamAdapter::WriteData(const void* buffer, std::int32_t count) {
    if (phase_ != wpWriting)
        return -1;
    if (count <= 0 || buffer == nullptr)
        return 0;
    return mmioWrite(mmio_, static_cast<const char*>(buffer), count);
}

void TWaveStreamAdapter::FinishWriting() {
    HMMIO h = mmio_;
    mmio_ = nullptr;
    phase_ = wpNone;
    try {
        mmioAscend(h, &dataChunk_, 0);
        mmioAscend(h, &riffChunk_, 0);
    } catch (...) {
        mmioClose(h, 0);
        throw;
    }
    mmioClose(h, 0);
}

bool TWaveStreamAdapter::StopWriting() {
    if (phase_ != wpWriting)
        return false;
    FinishWriting();
    // Cut the stream after the data and its pad byte. Should the file just
    // written not parse, its bytes are kept rather than thrown away.
    if (EnsureDetails())
        CutAfterData();
    return true;
}

// --- reading phase ----------------------------------------------------------------

bool TWaveStreamAdapter::StartReading() {
    if (phase_ != wpNone || !EnsureDetails())
        return false;
    HMMIO h = OpenStreamMmio(stream_);
    if (h == nullptr)
        return false;
    mmioSeek(h, dataStart_, SEEK_SET);
    mmio_ = h;
    phase_ = wpReading;
    return true;
}

bool TWaveStreamAdapter::StopReading() {
    if (phase_ != wpReading)
        return false;
    mmioClose(mmio_, 0);
    mmio_ = nullptr;
    phase_ = wpNone;
    return true;
}

std::int32_t TWaveStreamAdapter::ReadData(void* buffer, std::int32_t count) {
    if (phase_ != wpReading)
        return -1;
    if (count <= 0 || buffer == nullptr)
        return 0;
    return mmioRead(mmio_, static_cast<HPSTR>(buffer), count);
}

void TWaveStreamAdapter::SeekData(std::int32_t offset) {
    if (phase_ == wpNone || mmio_ == nullptr)
        return;
    const std::int64_t target =
        std::clamp<std::int64_t>(std::int64_t{dataStart_} + offset, dataStart_, kMaxPosition);
    mmioSeek(mmio_, static_cast<LONG>(target), SEEK_SET);
}

// --- TWave and the storages -------------------------------------------------------

TWave::TWave() : TWaveStreamAdapter(new TMemoryStream, true) {}

TCustomWaveStorage::~TCustomWaveStorage() {
    SendFreeNotifications();
}

void TCustomWaveStorage::SendFreeNotifications() {
    const auto notifications = std::move(freeNotifications_);
    freeNotifications_.clear();
    for (const auto& [key, onFree] : notifications)
        if (onFree)
            onFree(this);
}

void TStorageLink::Set(TCustomWaveStorage* storage) {
    if (storage == storage_)
        return;
    if (storage_ != nullptr)
        storage_->RemoveFreeNotification(this);
    storage_ = storage;
    if (storage_ != nullptr)
        storage_->FreeNotification(this, [this](TCustomWaveStorage* freed) {
            storage_ = nullptr;
            if (onFree_)
                onFree_(freed);
        });
}

void TCustomWaveStorage::FreeNotification(const void* key, TStorageFreeEvent onFree) {
    RemoveFreeNotification(key);
    freeNotifications_.emplace_back(key, std::move(onFree));
}

void TCustomWaveStorage::RemoveFreeNotification(const void* key) {
    std::erase_if(freeNotifications_, [key](const auto& entry) { return entry.first == key; });
}

TWaveStorage::TWaveStorage() : wave_(new TWave) {}

TWaveStorage::~TWaveStorage() {
    SendFreeNotifications();
    delete wave_;
}

void TWaveStorage::SetWave(TWaveStreamAdapter* wave) {
    if (wave == wave_)
        return;
    if (wave == nullptr) {
        wave_->Clear();
        return;
    }
    wave->Stream()->Seek(0, soBeginning);
    wave_->LoadFromStream(*wave->Stream());
}

TStream* TWaveStorage::GetWaveStream(std::int32_t) {
    return wave_->Stream();
}

bool TWaveStorage::ContentEquals(TCustomWaveStorage& other) {
    auto* storage = dynamic_cast<TWaveStorage*>(&other);
    return storage != nullptr && wave_->ContentEquals(*storage->Wave());
}

bool TWaveStorage::HasDataProperty() {
    return !wave_->IsEmpty();
}

void TWaveStorage::WriteDataProperty(TStream& target) {
    wave_->SaveToStream(target);
}

void TWaveStorage::ReadDataProperty(TStream& source) {
    wave_->LoadFromStream(source);
}

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

std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

std::uint64_t Get64(const std::uint8_t* p) {
    return Get32(p) | (std::uint64_t{Get32(p + 4)} << 32);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
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
    layout_ = TLayout{};
    invalidReason_.clear();
    if (stream_ == nullptr || stream_->Size() == 0) {
        refusal_ = invalidReason_ = "the file is empty";
        return false;
    }
    const std::int64_t streamSize = stream_->Size();
    std::uint8_t head[12] = {};
    stream_->Seek(0, soBeginning);
    const bool rf64 = stream_->Read(head, sizeof head) == sizeof head &&
                      (std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0) &&
                      std::memcmp(head + 8, "WAVE", 4) == 0;
    const bool valid = rf64 ? ParseRf64(streamSize) : ParseRiff(streamSize);
    if (!valid && invalidReason_.empty())
        invalidReason_ = "it is not a RIFF WAVE file";
    refusal_ = invalidReason_;
    return valid;
}

bool TWaveStreamAdapter::TakeFormat(const std::uint8_t* contents, std::uint32_t size) {
    if (size < 14) {
        invalidReason_ = "its \"fmt \" chunk is shorter than 14 bytes";
        return false;
    }
    const std::size_t length = std::max<std::size_t>(size, sizeof(WAVEFORMATEX));
    format_ = static_cast<PWaveFormatEx>(std::calloc(length, 1));
    if (format_ == nullptr)
        throw EOutOfMemory(length);
    std::memcpy(format_, contents, size);
    layout_.fmt.assign(contents, contents + size);
    // cbSize promises extra bytes; a record is never taken to reach beyond
    // what the chunk holds.
    if (sizeof(WAVEFORMATEX) + format_->cbSize > length)
        format_->cbSize = static_cast<WORD>(length - sizeof(WAVEFORMATEX));
    ReadExtensibleAsPlain(format_);
    CorrectBlockByteRate(format_);
    return true;
}

void TWaveStreamAdapter::TakeData(std::int64_t start, std::uint64_t size, std::int64_t streamSize) {
    // A writer that could not go back to fill in the size (one writing to a
    // pipe) leaves a size that runs past the end: the data is what the file
    // holds. Data ends with its last whole block.
    dataStart_ = static_cast<std::int32_t>(start);
    dataSize_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        size, static_cast<std::uint64_t>(std::max<std::int64_t>(0, streamSize - start))));
    if (format_->nBlockAlign > 1)
        dataSize_ -= dataSize_ % format_->nBlockAlign;
}

bool TWaveStreamAdapter::ParseRiff(std::int64_t streamSize) {
    HMMIO h = OpenStreamMmio(stream_);
    if (h == nullptr)
        return false;
    const LONG saved = mmioSeek(h, 0, SEEK_CUR);
    const bool valid = [&] {
        MMCKINFO riff{};
        riff.fccType = Id("WAVE");
        if (mmioSeek(h, 0, SEEK_SET) != 0 ||
            !ChunkReachable(*stream_, 0, FOURCC_RIFF, riff.fccType) ||
            mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR)
            return false;
        layout_.riffSizeAt = riff.dwDataOffset - 4;
        layout_.riffSize = riff.cksize;
        // A RIFF size that runs past the end (a writer to a pipe leaves
        // 0xFFFFFFFF) would make the chunk end wrap around 32 bits, and the
        // chunk searches inside it would find nothing: it ends with the file.
        riff.cksize = static_cast<DWORD>(
            std::min<std::int64_t>(riff.cksize, streamSize - std::int64_t{riff.dwDataOffset}));
        MMCKINFO fmt{};
        fmt.ckid = Id("fmt");
        if (!ChunkReachable(*stream_, mmioSeek(h, 0, SEEK_CUR), fmt.ckid, 0) ||
            mmioDescend(h, &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) {
            invalidReason_ = "it has no \"fmt \" chunk";
            return false;
        }
        // A size that runs past the end of the stream cannot be read whole;
        // refuse it before allocating.
        if (std::int64_t{fmt.dwDataOffset} + fmt.cksize > streamSize) {
            invalidReason_ = "its \"fmt \" chunk runs past the end of the file";
            return false;
        }
        std::vector<std::uint8_t> contents(fmt.cksize);
        const LONG want = static_cast<LONG>(fmt.cksize);
        if (mmioRead(h, reinterpret_cast<HPSTR>(contents.data()), want) != want) {
            invalidReason_ = "its \"fmt \" chunk cannot be read";
            return false;
        }
        if (!TakeFormat(contents.data(), fmt.cksize))
            return false;
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
        if (!found) {
            invalidReason_ = "it has no \"data\" chunk after its \"fmt \" chunk";
            return false;
        }
        layout_.dataSizeAt = data.dwDataOffset - 4;
        layout_.dataSize = data.cksize;
        TakeData(data.dwDataOffset, data.cksize, streamSize);
        return true;
    }();
    mmioSeek(h, saved, SEEK_SET);
    mmioClose(h, 0);
    return valid;
}

bool TWaveStreamAdapter::ParseRf64(std::int64_t streamSize) {
    // "RF64" (or "BW64"), a RIFF size that is all ones when it does not fit,
    // "WAVE", then a "ds64" chunk with the 64-bit RIFF size, data size and
    // sample count, and a table of the 64-bit sizes of other chunks. A chunk
    // whose 32-bit size is all ones has its size there.
    const auto readAt = [&](std::int64_t at, void* into, std::int64_t count) {
        if (at < 0 || at + count > streamSize)
            return false;
        stream_->Seek(at, soBeginning);
        return stream_->Read(into, count) == count;
    };
    std::uint8_t ds64[36] = {};
    if (!readAt(12, ds64, 36) || std::memcmp(ds64, "ds64", 4) != 0 || Get32(ds64 + 4) < 28 ||
        20 + std::int64_t{Get32(ds64 + 4)} > streamSize) {
        invalidReason_ = "its RF64 header has no \"ds64\" chunk";
        return false;
    }
    const std::uint32_t ds64Size = Get32(ds64 + 4);
    layout_.ds64 = true;
    layout_.samples = Get64(ds64 + 24);
    std::uint8_t riff32[4] = {};
    readAt(4, riff32, 4);
    if (Get32(riff32) == 0xFFFFFFFF) {
        layout_.rf64 = true;
        layout_.riffSizeAt = 20;
        layout_.riffSize = Get64(ds64 + 8);
    } else {
        layout_.riffSize = Get32(riff32);
    }
    const std::uint64_t data64 = Get64(ds64 + 16);
    // The table: 12-byte entries of an id and a 64-bit size.
    std::vector<std::uint8_t> table;
    const std::uint64_t tableBytes = std::uint64_t{Get32(ds64 + 32)} * 12;
    if (tableBytes <= ds64Size - 28) {
        table.resize(static_cast<std::size_t>(tableBytes));
        readAt(20 + 28, table.data(), static_cast<std::int64_t>(tableBytes));
    }
    std::int64_t position = 20 + std::int64_t{ds64Size} + (ds64Size & 1);
    bool haveFormat = false;
    while (position + 8 <= streamSize && position <= kMaxPosition) {
        std::uint8_t header[8];
        readAt(position, header, 8);
        std::uint64_t size = Get32(header + 4);
        const bool wide = size == 0xFFFFFFFF;
        if (wide && std::memcmp(header, "data", 4) == 0) {
            size = data64;
        } else if (wide) {
            size = ~std::uint64_t{0};
            for (std::size_t i = 0; i + 12 <= table.size(); i += 12)
                if (std::memcmp(table.data() + i, header, 4) == 0)
                    size = Get64(table.data() + i + 4);
        }
        const std::int64_t contents = position + 8;
        if (std::memcmp(header, "fmt ", 4) == 0 && !haveFormat) {
            if (size > static_cast<std::uint64_t>(streamSize - contents)) {
                invalidReason_ = "its \"fmt \" chunk runs past the end of the file";
                return false;
            }
            std::vector<std::uint8_t> record(static_cast<std::size_t>(size));
            readAt(contents, record.data(), static_cast<std::int64_t>(size));
            if (!TakeFormat(record.data(), static_cast<std::uint32_t>(size)))
                return false;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0 && haveFormat) {
            // A writer to a pipe leaves the sizes 0: the data runs to the end
            // (and the size, past any end, is to be repaired).
            const bool unknown = wide && size == 0;
            if (unknown)
                size = static_cast<std::uint64_t>(streamSize - contents);
            if (size > kMaxDataBytes) {
                invalidReason_ = "its data of " + std::to_string(size) +
                                 " bytes is larger than the " + std::to_string(kMaxDataBytes) +
                                 " bytes that can be edited";
                return false;
            }
            layout_.dataSizeAt = wide ? 12 + 8 + 8 : static_cast<std::uint32_t>(position + 4);
            layout_.dataWide = wide;
            layout_.dataSize = unknown ? ~std::uint64_t{0} : size;
            TakeData(contents, size, streamSize);
            return true;
        }
        if (size > static_cast<std::uint64_t>(kMaxPosition))
            break;
        position = contents + static_cast<std::int64_t>(size + (size & 1));
    }
    invalidReason_ = haveFormat ? "it has no \"data\" chunk after its \"fmt \" chunk"
                                : "it has no \"fmt \" chunk";
    return false;
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

bool TWaveStreamAdapter::CarriedChunk(FOURCC id, FOURCC listType) {
    return (id == Id("LIST") && listType == Id("INFO")) || id == Id("bext") || id == Id("iXML") ||
           id == Id("id3") || id == Id("ID3");
}

TWaveStreamAdapter::THeaders TWaveStreamAdapter::FreshHeaders(const WAVEFORMATEX* format) {
    THeaders headers;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(format);
    headers.record.assign(bytes, bytes + sizeof(WAVEFORMATEX) + format->cbSize);
    headers.fmt = headers.record;
    headers.fact = format->wFormatTag != WAVE_FORMAT_PCM;
    return headers;
}

TWaveStreamAdapter::THeaders TWaveStreamAdapter::EditHeaders() {
    THeaders headers = FreshHeaders(format_);
    headers.fmt = layout_.fmt;
    // An extensible record counts as other than PCM to readers, whatever
    // its sub-format: it gets a "fact" chunk too.
    headers.fact =
        layout_.fmt.size() < 2 || (layout_.fmt[0] | (layout_.fmt[1] << 8)) != WAVE_FORMAT_PCM;
    headers.carried = CarriedChunks();
    return headers;
}

std::vector<std::uint8_t> TWaveStreamAdapter::CarriedChunks() {
    std::vector<std::uint8_t> carried;
    if (!EnsureDetails())
        return carried;
    const std::int64_t size = stream_->Size();
    // The chunks of the RIFF (or RF64) chunk, from the first after "WAVE".
    std::int64_t position = layout_.rf64 ? 12 : std::int64_t{layout_.riffSizeAt} + 8;
    while (position + 8 <= size && position <= kMaxPosition) {
        std::uint8_t header[12] = {};
        stream_->Seek(position, soBeginning);
        const std::int64_t got = stream_->Read(header, sizeof header);
        std::uint64_t length = Get32(header + 4);
        if (position + 8 == dataStart_)
            length = std::min<std::uint64_t>(layout_.dataSize,
                                             static_cast<std::uint64_t>(size - dataStart_));
        else if (length == 0xFFFFFFFF && layout_.rf64)
            break; // a size in the "ds64" table: no chunk of those carried
        const std::int64_t end = position + 8 + static_cast<std::int64_t>(length);
        if (end > size)
            break;
        const FOURCC id = Get32(header);
        const FOURCC listType = got >= 12 ? Get32(header + 8) : 0;
        if (position + 8 != dataStart_ && CarriedChunk(id, listType)) {
            const std::size_t at = carried.size();
            carried.resize(at + 8 + static_cast<std::size_t>(length) + (length & 1), 0);
            stream_->Seek(position, soBeginning);
            stream_->Read(carried.data() + at, 8 + static_cast<std::int64_t>(length));
        }
        position = end + static_cast<std::int64_t>(length & 1);
    }
    return carried;
}

bool TWaveStreamAdapter::CheckSizes(bool apply) {
    bool wrong = false;
    std::int64_t size = stream_->Size();
    const std::int64_t available = size - dataStart_;
    std::uint64_t dataField = layout_.dataSize;
    // A size field of 4 or, in an RF64 "ds64" chunk, 8 bytes.
    const auto write = [&](std::uint32_t at, std::uint64_t value, bool wide) {
        std::uint8_t field[8];
        Put32(field, static_cast<std::uint32_t>(value));
        Put32(field + 4, static_cast<std::uint32_t>(value >> 32));
        stream_->Seek(at, soBeginning);
        stream_->Write(field, wide ? 8 : 4);
    };
    // A data size past the end: the data is what the file holds, in whole
    // blocks; a part of a block at the end goes. An RF64 file counts its
    // samples too, which a writer to a pipe leaves 0.
    if (dataField > static_cast<std::uint64_t>(available)) {
        wrong = true;
        dataField = dataSize_;
        if (apply) {
            write(layout_.dataSizeAt, dataField, layout_.dataWide);
            stream_->SetSize(std::int64_t{dataStart_} + dataSize_);
            size = stream_->Size();
        }
    }
    if (layout_.ds64 && layout_.samples == 0 && dataSize_ > 0) {
        wrong = true;
        if (apply)
            write(12 + 8 + 16, SampleFrames(format_, dataSize_), true);
    }
    // The pad byte after odd data, which a writer may have left out at the
    // end of the file.
    const std::int64_t dataEnd = std::int64_t{dataStart_} + static_cast<std::int64_t>(dataField);
    if ((dataField & 1) && size == dataEnd) {
        wrong = true;
        if (apply) {
            const std::uint8_t pad = 0;
            stream_->Seek(dataEnd, soBeginning);
            stream_->Write(&pad, 1);
            size = stream_->Size();
        }
    }
    // A RIFF size that runs past the end, or ends before the data does.
    const std::int64_t riffBase = layout_.rf64 ? 8 : std::int64_t{layout_.riffSizeAt} + 4;
    const std::int64_t riffEnd = riffBase + static_cast<std::int64_t>(std::min<std::uint64_t>(
                                                layout_.riffSize, std::uint64_t{1} << 40));
    if (riffEnd > size || riffEnd < dataEnd + static_cast<std::int64_t>(dataField & 1)) {
        wrong = true;
        if (apply)
            write(layout_.riffSizeAt, static_cast<std::uint64_t>(size - riffBase), layout_.rf64);
    }
    return wrong;
}

bool TWaveStreamAdapter::IsWellFormed() {
    return EnsureDetails() && !CheckSizes(false);
}

bool TWaveStreamAdapter::RepairSizes() {
    if (phase_ != wpNone || !EnsureDetails())
        return false;
    if (CheckSizes(false)) {
        CheckSizes(true);
        InvalidateDetails();
        EnsureDetails();
    }
    return true;
}

std::uint32_t TWaveStreamAdapter::HeaderBytes(const THeaders& headers) {
    const auto fmt = static_cast<std::uint32_t>(headers.fmt.size());
    return 12 + 8 + fmt + (fmt & 1) + (headers.fact ? 12 : 0) +
           static_cast<std::uint32_t>(headers.carried.size()) + 8;
}

bool TWaveStreamAdapter::Refuse(std::string why) {
    refusal_ = std::move(why);
    return false;
}

bool TWaveStreamAdapter::Editable() {
    if (!EnsureDetails())
        return Refuse(invalidReason_);
    if (!IsConsistentFormat(format_))
        return Refuse("its format record contradicts itself (" + DescribeFormat(format_) +
                      ", block align " + std::to_string(format_->nBlockAlign) + ")");
    return true;
}

void TWaveStreamAdapter::CompleteInMemory(TMemoryStream& memory, const THeaders& headers,
                                          std::uint32_t dataBytes) {
    InvalidateDetails();
    const std::uint32_t header = HeaderBytes(headers);
    const auto fmt = static_cast<std::uint32_t>(headers.fmt.size());
    const std::int64_t total = std::int64_t{header} + dataBytes + (dataBytes & 1);
    memory.Expose(total);
    std::uint8_t* p = memory.Memory();
    const auto put32 = [&p](std::uint64_t v) {
        Put32(p, static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFF)));
        p += 4;
    };
    const auto putId = [&p](const char* id) {
        std::memcpy(p, id, 4);
        p += 4;
    };
    putId("RIFF");
    put32(static_cast<std::uint64_t>(total - 8));
    putId("WAVE");
    putId("fmt ");
    put32(fmt);
    std::memcpy(p, headers.fmt.data(), fmt);
    p += fmt;
    if (fmt & 1)
        *p++ = 0;
    if (headers.fact) {
        putId("fact");
        put32(4);
        put32(SampleFrames(headers.Format(), dataBytes));
    }
    if (!headers.carried.empty())
        std::memcpy(p, headers.carried.data(), headers.carried.size());
    p += headers.carried.size();
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

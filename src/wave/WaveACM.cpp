// ConvertWaveData and the adapter's conversions (declared in WaveStorage.h).
#include "wave/WaveACM.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "wave/WaveStorage.h"
#include "wave/WaveUtils.h"

namespace {

constexpr std::uint32_t kLargestBlock = std::numeric_limits<std::int32_t>::max();

// The manager's suggestion keeps the tag, channels and rate the caller sets.
constexpr DWORD kKeepTagChannelsRate = ACM_FORMATSUGGESTF_WFORMATTAG |
                                       ACM_FORMATSUGGESTF_NCHANNELS |
                                       ACM_FORMATSUGGESTF_NSAMPLESPERSEC;

struct FreeBlock {
    void operator()(void* block) const { std::free(block); }
};
using Block = std::unique_ptr<void, FreeBlock>;

// The manager's calls take writable records and buffers that they only read.
LPWAVEFORMATEX Record(const WAVEFORMATEX* format) {
    return const_cast<LPWAVEFORMATEX>(format);
}

class ConversionStream {
public:
    ConversionStream(const WAVEFORMATEX* from, const WAVEFORMATEX* to) {
        open_ = acmStreamOpen(&handle_, nullptr, Record(from), Record(to), nullptr, 0, 0,
                              ACM_STREAMOPENF_NONREALTIME) == MMSYSERR_NOERROR;
    }
    ConversionStream(const ConversionStream&) = delete;
    ConversionStream& operator=(const ConversionStream&) = delete;
    ~ConversionStream() {
        if (open_)
            acmStreamClose(handle_, 0);
    }
    bool IsOpen() const { return open_; }
    HACMSTREAM Handle() const { return handle_; }

private:
    HACMSTREAM handle_ = nullptr;
    bool open_ = false;
};

// Prepares a header for the time of a scope and unprepares it at the end.
class PreparedHeader {
public:
    PreparedHeader(HACMSTREAM stream, ACMSTREAMHEADER& header)
        : stream_(stream), header_(header),
          prepared_(acmStreamPrepareHeader(stream, &header, 0) == MMSYSERR_NOERROR) {}
    PreparedHeader(const PreparedHeader&) = delete;
    PreparedHeader& operator=(const PreparedHeader&) = delete;
    ~PreparedHeader() {
        if (prepared_)
            acmStreamUnprepareHeader(stream_, &header_, 0);
    }
    bool IsPrepared() const { return prepared_; }

private:
    HACMSTREAM stream_;
    ACMSTREAMHEADER& header_;
    bool prepared_;
};

void* Allocate(std::uint32_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}

// Gives back the unused end of a block.
void* Shrink(void* block, std::uint32_t size) {
    void* smaller = std::realloc(block, size ? size : 1);
    return smaller ? smaller : block;
}

// ConvertWaveData, with the converted bytes placed `room` bytes into the
// block (which is then room + destSize bytes long), so that a header can be
// put in front of them without copying them.
bool ConvertLeavingRoom(const WAVEFORMATEX* sourceFormat, const void* source,
                        std::uint32_t sourceSize, const WAVEFORMATEX* destFormat,
                        std::uint32_t room, void*& destData, std::uint32_t& destSize) {
    destData = nullptr;
    destSize = 0;
    if (!IsConsistentFormat(sourceFormat) || !IsConsistentFormat(destFormat) ||
        (!source && sourceSize))
        return false;
    ConversionStream stream(sourceFormat, destFormat);
    if (!stream.IsOpen())
        return false;
    DWORD estimate = 0;
    if (acmStreamSize(stream.Handle(), sourceSize, &estimate, ACM_STREAMSIZEF_SOURCE) !=
            MMSYSERR_NOERROR ||
        estimate > kLargestBlock - room)
        return false;

    destData = Allocate(room + estimate);
    ACMSTREAMHEADER header;
    std::memset(&header, 0, sizeof(header));
    header.cbStruct = sizeof(header);
    header.pbSrc = static_cast<LPBYTE>(const_cast<void*>(source));
    header.cbSrcLength = sourceSize;
    header.pbDst = static_cast<LPBYTE>(destData) + room;
    header.cbDstLength = estimate;
    bool converted = false;
    {
        PreparedHeader prepared(stream.Handle(), header);
        if (prepared.IsPrepared())
            converted = acmStreamConvert(stream.Handle(), &header,
                                         ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END) ==
                        MMSYSERR_NOERROR;
    }
    // Only what the conversion reports as produced is kept.
    const std::uint32_t used = converted ? std::min<DWORD>(header.cbDstLengthUsed, estimate) : 0;
    destData = Shrink(destData, room + used);
    destSize = used;
    return converted && used > 0;
}

// Converts the whole data into `result`, leaving `room` bytes in front.
bool ConvertInto(const WAVEFORMATEX* from, const void* data, std::uint32_t size,
                 const WAVEFORMATEX* to, Block& result, std::uint32_t& resultSize,
                 std::uint32_t room = 0) {
    void* block = nullptr;
    const bool ok = ConvertLeavingRoom(from, data, size, to, room, block, resultSize);
    result.reset(block);
    return ok;
}

// The bytes StartWriting puts before the data: the RIFF header, the format
// chunk with the record (padded to an even length) and the data chunk's header.
std::uint32_t HeaderBytes(const WAVEFORMATEX* format) {
    const std::uint32_t record = sizeof(WAVEFORMATEX) + format->cbSize;
    return 12 + 8 + record + (record & 1) + 8;
}

// A little-endian word of the bytes that follow the 18-byte record.
unsigned ExtraWord(const WAVEFORMATEX* format, unsigned offset) {
    const auto* extra = reinterpret_cast<const std::uint8_t*>(format) + sizeof(WAVEFORMATEX);
    return extra[offset] | (extra[offset + 1] << 8);
}

} // namespace

bool IsConsistentFormat(const WAVEFORMATEX* format) {
    if (format == nullptr || format->nChannels == 0 || format->nSamplesPerSec == 0 ||
        format->nBlockAlign == 0)
        return false;
    const unsigned channels = format->nChannels;
    const unsigned block = format->nBlockAlign;
    const unsigned bits = format->wBitsPerSample;
    switch (format->wFormatTag) {
    case WAVE_FORMAT_PCM:
        return bits >= 8 && bits <= 32 && bits % 8 == 0 && block == channels * bits / 8 &&
               std::uint64_t{format->nAvgBytesPerSec} ==
                   std::uint64_t{format->nSamplesPerSec} * block;
    case WAVE_FORMAT_IMA_ADPCM: {
        // A 4-byte header per channel, then 4-byte words of 8 samples per
        // channel in turn; the header holds the block's first sample.
        if (bits != 4 || format->cbSize < 2 || block < 4 * channels ||
            (block - 4 * channels) % (4 * channels) != 0)
            return false;
        return ExtraWord(format, 0) == (block - 4 * channels) * 2 / channels + 1;
    }
    case WAVE_FORMAT_ADPCM: {
        // A 7-byte header per channel holding two samples, then a nibble per
        // sample; the record carries the samples per block and coefficients.
        if (bits != 4 || format->cbSize < 4 || block < 7 * channels)
            return false;
        const unsigned samples = ExtraWord(format, 0);
        const unsigned coefficients = ExtraWord(format, 2);
        return samples >= 2 && samples <= (block - 7 * channels) * 2 / channels + 2 &&
               coefficients >= 1 && format->cbSize >= 4 + 4 * coefficients;
    }
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        return bits == 8 && block == channels;
    default:
        return true;
    }
}

bool ConvertWaveData(const WAVEFORMATEX* sourceFormat, const void* source, std::uint32_t sourceSize,
                     const WAVEFORMATEX* destFormat, void*& destData, std::uint32_t& destSize) {
    return ConvertLeavingRoom(sourceFormat, source, sourceSize, destFormat, 0, destData, destSize);
}

bool TWaveStreamAdapter::ConvertToFormat(const WAVEFORMATEX* format) {
    if (format == nullptr)
        return false;
    if (HasFormat(format))
        return true;
    // The own record also goes to the manager's format suggestion.
    if (!IsConsistentFormat(format) || !IsConsistentFormat(FormatRecord()))
        return false;
    TLentWaveData data(*this, false);
    if (!data.Ok())
        return false;

    // The source data is given back before the wave is rewritten: for an
    // in-memory wave it points into the stream that the rewrite empties.
    // An in-memory wave takes the converted block as its stream, the header
    // written into the room left in front of the data: no copy of the data.
    auto* memory = dynamic_cast<TMemoryStream*>(Stream());
    const std::uint32_t room = memory != nullptr ? HeaderBytes(format) : 0;
    Block converted;
    std::uint32_t convertedSize = 0;
    const WAVEFORMATEX* own = FormatRecord();
    bool ok = ConvertInto(own, data.Data(), data.Size(), format, converted, convertedSize, room);
    if (!ok) {
        // No driver for the pair: through the PCM layout of the source's
        // channels and rate that a driver suggests.
        WAVEFORMATEX pcm;
        std::memset(&pcm, 0, sizeof(pcm));
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        pcm.nChannels = own->nChannels;
        pcm.nSamplesPerSec = own->nSamplesPerSec;
        if (acmFormatSuggest(nullptr, Record(own), &pcm, sizeof(pcm), kKeepTagChannelsRate) ==
            MMSYSERR_NOERROR) {
            Block intermediate;
            std::uint32_t intermediateSize = 0;
            ok = ConvertInto(own, data.Data(), data.Size(), &pcm, intermediate, intermediateSize) &&
                 ConvertInto(&pcm, intermediate.get(), intermediateSize, format, converted,
                             convertedSize, room);
        }
    }
    data.Release(false);
    if (!ok || !StartWriting(format))
        return false;

    auto* bytes = static_cast<std::uint8_t*>(converted.get());
    std::int32_t written = 0;
    try {
        if (memory != nullptr && dataStart_ == static_cast<std::int32_t>(room) &&
            memory->Size() == room) {
            std::memcpy(bytes, memory->Memory(), room);
            memory->Adopt(converted.release(), std::int64_t{room} + convertedSize);
            // The sizes are completed from the position at the end of the data.
            written = mmioSeek(mmio_, static_cast<LONG>(room + convertedSize), SEEK_SET) ==
                              static_cast<LONG>(room + convertedSize)
                          ? static_cast<std::int32_t>(convertedSize)
                          : -1;
        } else {
            written = WriteData(bytes + room, static_cast<std::int32_t>(convertedSize));
        }
    } catch (...) {
        StopWriting();
        throw;
    }
    StopWriting();
    return written >= 0 && static_cast<std::uint32_t>(written) == convertedSize;
}

bool TWaveStreamAdapter::ConvertToPCM(TPCMFormat format) {
    if (format <= nonePCM || format > Stereo16bit48000Hz)
        return false;
    WAVEFORMATEX record;
    std::memset(&record, 0, sizeof(record));
    MakePCMFormat(&record, format);
    return ConvertToFormat(&record);
}

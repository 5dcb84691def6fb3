// ConvertWaveData and the adapter's conversions (declared in WaveStorage.h).
#include "wave/WaveACM.h"

#include <algorithm>
#include <cmath>
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
        throw EOutOfMemory(size);
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
        estimate > kLargestBlock - room - 1)
        return false;

    // One byte more than needed, for the pad byte after odd data.
    destData = Allocate(room + estimate + 1);
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
    destData = Shrink(destData, room + used + 1);
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

// --- linear PCM, converted here --------------------------------------------------------

// Integer PCM of 8 to 32 bits and IEEE float of 32 or 64 bits: the formats
// whose samples are plain numbers.
bool IsLinear(const WAVEFORMATEX* f) {
    return (f->wFormatTag == WAVE_FORMAT_PCM && f->wBitsPerSample >= 8 && f->wBitsPerSample <= 32 &&
            f->wBitsPerSample % 8 == 0) ||
           (f->wFormatTag == WAVE_FORMAT_IEEE_FLOAT &&
            (f->wBitsPerSample == 32 || f->wBitsPerSample == 64));
}

// The system's converter takes 8- and 16-bit PCM of one or two channels as
// it should while it keeps the channels; it has no float, cuts 24-bit
// samples and miscounts their sizes, and reads more channels as if they were
// two. Those sources, to 8- or 16-bit PCM of one or two channels, are
// converted here, the same on every system. It also sums the channels it
// folds into one, clipping the sum: fewer channels, from any source, are
// averaged here.
bool ConvertedHere(const WAVEFORMATEX* from, const WAVEFORMATEX* to) {
    const bool plain = from->wFormatTag == WAVE_FORMAT_PCM && from->nChannels <= 2 &&
                       (from->wBitsPerSample == 8 || from->wBitsPerSample == 16);
    return IsLinear(from) && IsSupportedPCM(to) && to->nChannels <= 2 &&
           (!plain || to->nChannels < from->nChannels);
}

// A sample as a signed 32-bit value at full scale.
std::int32_t ReadSample(const std::uint8_t* p, const WAVEFORMATEX* f) {
    if (f->wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
        double v = 0;
        if (f->wBitsPerSample == 32) {
            float x;
            std::memcpy(&x, p, 4);
            v = x;
        } else {
            std::memcpy(&v, p, 8);
        }
        if (!(v == v)) // NaN
            return 0;
        const double scaled = std::round(v * 2147483648.0);
        return static_cast<std::int32_t>(std::clamp(scaled, -2147483648.0, 2147483647.0));
    }
    const unsigned bytes = f->wBitsPerSample / 8;
    if (bytes == 1)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0] ^ 0x80) << 24);
    std::uint32_t v = 0;
    for (unsigned i = 0; i < bytes; ++i)
        v |= std::uint32_t{p[i]} << (8 * (4 - bytes + i));
    return static_cast<std::int32_t>(v);
}

// A full-scale value rounded to 8 or 16 bits, clipped.
void WriteSample(std::uint8_t* p, std::int64_t v, unsigned bits) {
    if (bits == 8) {
        const std::int64_t s = std::min<std::int64_t>((v + (1 << 23)) >> 24, 127);
        p[0] = static_cast<std::uint8_t>(s + 128);
    } else {
        const auto s =
            static_cast<std::int16_t>(std::min<std::int64_t>((v + (1 << 15)) >> 16, 32767));
        std::memcpy(p, &s, 2);
    }
}

// Linear PCM to 8- or 16-bit PCM of one or two channels. Each output channel
// is the average of the source channels that fall to it in turn (all of them
// for mono; the even ones left and the odd ones right for stereo; a mono source
// on both), and the rate changes as the system's converter changes it: output
// frame j takes source frame floor((2j + 1) * source rate / (2 * rate)). The
// bytes are placed `room` bytes into a new block, which has one more byte at
// the end for a pad byte.
bool ConvertLinear(const WAVEFORMATEX* from, const void* source, std::uint32_t sourceSize,
                   const WAVEFORMATEX* to, std::uint32_t room, Block& result,
                   std::uint32_t& resultSize) {
    resultSize = 0;
    const auto* src = static_cast<const std::uint8_t*>(source);
    const std::uint64_t frames = sourceSize / from->nBlockAlign;
    const std::uint64_t twice = 2 * std::uint64_t{to->nSamplesPerSec};
    const auto pick = [&](std::uint64_t j) { return (2 * j + 1) * from->nSamplesPerSec / twice; };
    // Output frames: those whose source frame exists.
    std::uint64_t count =
        frames == 0
            ? 0
            : (2 * frames * to->nSamplesPerSec) / (2 * std::uint64_t{from->nSamplesPerSec}) + 1;
    while (count > 0 && pick(count - 1) >= frames)
        --count;
    const std::uint64_t bytes = count * to->nBlockAlign;
    if (bytes == 0 || bytes > kLargestBlock - room - 1)
        return false;
    result.reset(Allocate(static_cast<std::uint32_t>(room + bytes + 1)));
    auto* out = static_cast<std::uint8_t*>(result.get()) + room;
    const unsigned inChannels = from->nChannels;
    const unsigned outChannels = to->nChannels;
    const unsigned sampleBytes = from->wBitsPerSample / 8;
    const unsigned outBytes = to->wBitsPerSample / 8;
    // pick(j), stepped along without a division per frame.
    const std::uint64_t step = 2 * std::uint64_t{from->nSamplesPerSec};
    const std::uint64_t stepWhole = step / twice;
    const std::uint64_t stepPart = step % twice;
    // One loop, made for each pair of sample reader and writer, so that the
    // common sources run without a test of their format per sample.
    const auto fold = [&](auto read, auto write) {
        std::uint64_t index = pick(0);
        std::uint64_t rest = from->nSamplesPerSec % twice;
        for (std::uint64_t j = 0; j < count; ++j) {
            const std::uint8_t* frame = src + index * from->nBlockAlign;
            for (unsigned c = 0; c < outChannels; ++c) {
                std::int64_t sum = 0;
                std::int64_t n = 0;
                for (unsigned k = inChannels == 1 ? 0 : c; k < inChannels; k += outChannels, ++n)
                    sum += read(frame + k * sampleBytes);
                // Rounded to the nearest, halves away from zero.
                std::int64_t mean = sum;
                if (n == 2)
                    mean = sum >= 0 ? (sum + 1) >> 1 : -((1 - sum) >> 1);
                else if (n > 2)
                    mean = sum >= 0 ? (sum + n / 2) / n : -((n / 2 - sum) / n);
                write(out + j * to->nBlockAlign + c * outBytes, mean);
            }
            index += stepWhole;
            rest += stepPart;
            if (rest >= twice) {
                rest -= twice;
                ++index;
            }
        }
    };
    const auto writeTo = [&](auto read) {
        if (outBytes == 1)
            fold(read, [](std::uint8_t* p, std::int64_t v) { WriteSample(p, v, 8); });
        else
            fold(read, [](std::uint8_t* p, std::int64_t v) { WriteSample(p, v, 16); });
    };
    if (from->wFormatTag == WAVE_FORMAT_PCM && sampleBytes == 2)
        writeTo([](const std::uint8_t* p) {
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0] | (p[1] << 8)) << 16);
        });
    else if (from->wFormatTag == WAVE_FORMAT_PCM && sampleBytes == 1)
        writeTo([](const std::uint8_t* p) {
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0] ^ 0x80) << 24);
        });
    else
        writeTo([from](const std::uint8_t* p) { return ReadSample(p, from); });
    resultSize = static_cast<std::uint32_t>(bytes);
    return true;
}

} // namespace

bool ConvertWaveData(const WAVEFORMATEX* sourceFormat, const void* source, std::uint32_t sourceSize,
                     const WAVEFORMATEX* destFormat, void*& destData, std::uint32_t& destSize) {
    return ConvertLeavingRoom(sourceFormat, source, sourceSize, destFormat, 0, destData, destSize);
}

bool TWaveStreamAdapter::ConvertToFormat(const WAVEFORMATEX* format) {
    if (format == nullptr)
        return Refuse("there is no format to convert to");
    // A file already in the format stays as it is, its sizes repaired.
    if (HasFormat(format))
        return RepairSizes() || Refuse("the wave is being played or recorded");
    if (!IsConsistentFormat(format))
        return Refuse("the format to convert to contradicts itself");
    // The own record also goes to the manager's format suggestion.
    if (!Editable())
        return false;
    TLentWaveData data(*this, false);
    if (!data.Ok())
        return Refuse("it holds no sample data");

    // An in-memory wave takes the converted block as its stream, the headers
    // written into the room left in front of the data: no copy of the data.
    auto* memory = dynamic_cast<TMemoryStream*>(Stream());
    const THeaders headers = FreshHeaders(format);
    const std::uint32_t room = memory != nullptr ? HeaderBytes(headers) : 0;
    Block converted;
    std::uint32_t convertedSize = 0;
    const WAVEFORMATEX* own = FormatRecord();
    // The PCM layout of the source's channels and rate that a driver
    // suggests for decoding it.
    WAVEFORMATEX pcm;
    std::memset(&pcm, 0, sizeof(pcm));
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = own->nChannels;
    pcm.nSamplesPerSec = own->nSamplesPerSec;
    const auto suggested = [&] {
        return acmFormatSuggest(nullptr, Record(own), &pcm, sizeof(pcm), kKeepTagChannelsRate) ==
               MMSYSERR_NOERROR;
    };
    bool ok = false;
    if (ConvertedHere(own, format)) {
        ok = ConvertLinear(own, data.Data(), data.Size(), format, room, converted, convertedSize);
    } else if (!IsLinear(own) && IsSupportedPCM(format) && format->nChannels < own->nChannels) {
        // A coding to fewer channels: decoded by the manager, averaged here.
        Block decoded;
        std::uint32_t decodedSize = 0;
        ok =
            suggested() && IsLinear(&pcm) &&
            ConvertInto(own, data.Data(), data.Size(), &pcm, decoded, decodedSize) &&
            ConvertLinear(&pcm, decoded.get(), decodedSize, format, room, converted, convertedSize);
    } else {
        ok = ConvertInto(own, data.Data(), data.Size(), format, converted, convertedSize, room);
        // No driver for the pair: through the PCM that a driver decodes to.
        if (!ok && suggested()) {
            Block intermediate;
            std::uint32_t intermediateSize = 0;
            ok = ConvertInto(own, data.Data(), data.Size(), &pcm, intermediate, intermediateSize) &&
                 ConvertInto(&pcm, intermediate.get(), intermediateSize, format, converted,
                             convertedSize, room);
        }
    }
    // The source data is given back before the wave is rewritten: for an
    // in-memory wave it points into the stream that the rewrite replaces.
    data.Release(false);
    if (phase_ != wpNone)
        return Refuse("the wave is being played or recorded");
    if (!ok)
        return Refuse("this system has no converter from " + DescribeFormat(own) + " to " +
                      DescribeFormat(format));
    auto* bytes = static_cast<std::uint8_t*>(converted.get());
    if (memory == nullptr)
        return Rewrite(headers, bytes + room, convertedSize);
    InvalidateDetails();
    const std::int64_t used = std::int64_t{room} + convertedSize;
    memory->Adopt(converted.release(), used, used + 1);
    CompleteInMemory(*memory, headers, convertedSize);
    return true;
}

bool TWaveStreamAdapter::ConvertToPCM(TPCMFormat format) {
    if (format <= nonePCM || format > Stereo16bit48000Hz)
        return Refuse("there is no PCM format to convert to");
    WAVEFORMATEX record;
    std::memset(&record, 0, sizeof(record));
    MakePCMFormat(&record, format);
    return ConvertToFormat(&record);
}

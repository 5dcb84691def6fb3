// The built-in drivers of the POSIX audio compression manager. Sizes, the
// frames a conversion yields and the results of the sample conversions follow
// what the system's drivers report (see Acm.h for what is offered).
#include "platform/posix/Acm.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

#include <gsm.h>

namespace {

using u8 = std::uint8_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;

// --- reading format records -------------------------------------------------------

// Little-endian fields of the bytes that follow the 18-byte record.
std::uint16_t ExtraWord(const WAVEFORMATEX* format, unsigned offset) {
    const u8* p = reinterpret_cast<const u8*>(format) + sizeof(WAVEFORMATEX) + offset;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// The system's PCM converter knows mono and "not mono": data of more than
// two channels is read and written as if it were stereo, two samples a frame
// from the start of the buffer, while frames are still counted (and reported)
// in the record's block alignment. So `channels` is 1 or 2 and `blockAlign`
// the record's.
struct PcmFormat {
    unsigned channels = 0;
    unsigned bytes = 0; // per sample of one channel
    u32 rate = 0;
    unsigned blockAlign = 0;
    u32 avgBytes = 0;
};

// Any number of channels, 8, 16 or 24 bits, a rate, and the derived fields
// consistent (the system's converter takes records that contradict themselves,
// and then divides by zero or reads past the data: these are refused).
bool ReadPcm(const WAVEFORMATEX* f, PcmFormat& pcm) {
    if (f->wFormatTag != WAVE_FORMAT_PCM || f->nChannels < 1)
        return false;
    if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16 && f->wBitsPerSample != 24)
        return false;
    const unsigned block = f->nChannels * f->wBitsPerSample / 8u;
    if (f->nSamplesPerSec == 0 || f->nBlockAlign != block ||
        u64{f->nAvgBytesPerSec} != u64{f->nSamplesPerSec} * block)
        return false;
    pcm = {f->nChannels == 1 ? 1u : 2u, f->wBitsPerSample / 8u, f->nSamplesPerSec, block,
           f->nAvgBytesPerSec};
    return true;
}

enum class Codec { Ima, MsAdpcm, ALaw, MuLaw, Gsm };

struct CodecFormat {
    Codec codec{};
    unsigned channels = 0;
    u32 rate = 0;
    unsigned blockAlign = 0;
    unsigned samplesPerBlock = 1; // per channel, decoded from each block
    unsigned samplesPerSize = 1;  // per channel and block, for acmStreamSize
};

// IMA ADPCM: 4 bits, a 4-byte header per channel, then groups of 4 bytes
// (8 samples) per channel in turn; wSamplesPerBlock must match the block.
bool ReadIma(const WAVEFORMATEX* f, CodecFormat& c) {
    const unsigned ch = f->nChannels;
    if (ch < 1 || ch > 2 || f->wBitsPerSample != 4 || f->cbSize < 2 || f->nSamplesPerSec == 0)
        return false;
    const unsigned block = f->nBlockAlign;
    if (block < 4 * ch || (block - 4 * ch) % (4 * ch) != 0)
        return false;
    const unsigned samples = (block - 4 * ch) * 2 / ch + 1;
    if (ExtraWord(f, 0) != samples)
        return false;
    c.codec = Codec::Ima;
    c.channels = ch;
    c.rate = f->nSamplesPerSec;
    c.blockAlign = block;
    c.samplesPerBlock = c.samplesPerSize = samples;
    return true;
}

// Microsoft ADPCM: 4 bits, a 7-byte header per channel, then one nibble per
// sample. The system's decoder takes the samples of a block from the record's
// wSamplesPerBlock, but sizes from what the block holds; it ignores the
// record's coefficient pairs and always uses the seven standard ones. A
// wSamplesPerBlock beyond what the block holds, which the system's decoder
// reads from the blocks that follow, is refused.
bool ReadMsAdpcm(const WAVEFORMATEX* f, CodecFormat& c) {
    const unsigned ch = f->nChannels;
    if (ch < 1 || ch > 2 || f->wBitsPerSample != 4 || f->cbSize < 2 || f->nSamplesPerSec == 0)
        return false;
    const unsigned block = f->nBlockAlign;
    if (block < 7 * ch)
        return false;
    const unsigned samples = ExtraWord(f, 0);
    const unsigned held = (block - 7 * ch) * 2 / ch + 2;
    if (samples < 2 || samples > held)
        return false;
    c.codec = Codec::MsAdpcm;
    c.channels = ch;
    c.rate = f->nSamplesPerSec;
    c.blockAlign = block;
    c.samplesPerBlock = samples;
    c.samplesPerSize = held;
    return true;
}

// GSM 6.10 as Microsoft stores it: 65-byte blocks of two frames, 320 samples,
// mono, decoded by libgsm with the WAV49 frame layout.
constexpr unsigned kGsmBlock = 65;
constexpr unsigned kGsmSamples = 320;

bool ReadGsm(const WAVEFORMATEX* f, CodecFormat& c) {
    if (f->nChannels != 1 || f->wBitsPerSample != 0 || f->nBlockAlign != kGsmBlock ||
        f->cbSize < 2 || ExtraWord(f, 0) != kGsmSamples || f->nSamplesPerSec == 0 ||
        f->nAvgBytesPerSec != u64{f->nSamplesPerSec} * kGsmBlock / kGsmSamples)
        return false;
    c.codec = Codec::Gsm;
    c.channels = 1;
    c.rate = f->nSamplesPerSec;
    c.blockAlign = kGsmBlock;
    c.samplesPerBlock = c.samplesPerSize = kGsmSamples;
    return true;
}

// G.711: one byte per sample, at the rates the system's codec offers.
bool ReadG711(const WAVEFORMATEX* f, CodecFormat& c) {
    const unsigned ch = f->nChannels;
    if (ch < 1 || ch > 2 || f->wBitsPerSample != 8 || f->nBlockAlign != ch)
        return false;
    const u32 rate = f->nSamplesPerSec;
    if (rate != 8000 && rate != 11025 && rate != 22050 && rate != 44100)
        return false;
    c.codec = f->wFormatTag == WAVE_FORMAT_ALAW ? Codec::ALaw : Codec::MuLaw;
    c.channels = ch;
    c.rate = rate;
    c.blockAlign = ch;
    return true;
}

bool ReadCodec(const WAVEFORMATEX* f, CodecFormat& c) {
    switch (f->wFormatTag) {
    case WAVE_FORMAT_IMA_ADPCM:
        return ReadIma(f, c);
    case WAVE_FORMAT_ADPCM:
        return ReadMsAdpcm(f, c);
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        return ReadG711(f, c);
    case WAVE_FORMAT_GSM610:
        return ReadGsm(f, c);
    default:
        return false;
    }
}

// --- sample helpers -------------------------------------------------------------

inline int Clamp16(int v) {
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

// A sample as a 16-bit value: 8-bit samples moved from unsigned, 24-bit ones
// cut to their high 16 bits.
inline int Load(const u8* p, unsigned bytes) {
    if (bytes == 1)
        return (p[0] - 128) * 256;
    return static_cast<std::int16_t>(p[bytes - 2] | (p[bytes - 1] << 8));
}

inline int Load24(const u8* p) {
    return static_cast<std::int32_t>(static_cast<u32>(p[0] | (p[1] << 8) | (p[2] << 16)) << 8) >> 8;
}

// 16-bit values become 8-bit ones by their high byte, moved to unsigned.
inline void Store(u8* p, unsigned bytes, int v) {
    if (bytes == 1) {
        p[0] = static_cast<u8>((v + 32768) >> 8);
    } else {
        p[0] = static_cast<u8>(v & 0xFF);
        p[1] = static_cast<u8>((v >> 8) & 0xFF);
    }
}

// --- PCM to PCM ---------------------------------------------------------------------

// Output frame j takes source frame floor((2j + 1) * srcRate / (2 * dstRate)):
// the source frame under the middle of the output frame. Stereo to mono adds
// the channels (clipped), mono to stereo copies the channel. 24-bit stereo to
// mono adds the full samples and keeps the high bits of the sum, wrapping
// around instead of clipping, as the system's converter does.
template <unsigned SB, unsigned SC, unsigned DB, unsigned DC>
void ConvertFrames(const u8* src, u32 srcFrames, u8* dst, u32 dstFrames, u32 srcRate, u32 dstRate,
                   u32& framesOut, u32& framesUsed) {
    const u64 twice = 2 * u64{dstRate};
    // The source advances by 2 * srcRate / twice frames per output frame: a
    // whole part and a remainder, so the loop needs no division.
    const u64 wholeStep = 2 * u64{srcRate} / twice;
    const u64 restStep = 2 * u64{srcRate} % twice;
    u64 index = u64{srcRate} / twice;
    u64 rest = u64{srcRate} % twice;
    u32 j = 0;
    for (; j < dstFrames && index < srcFrames; ++j) {
        const u8* s = src + index * (SB * SC);
        u8* d = dst + u64{j} * (DB * DC);
        if constexpr (SB == 3 && SC == 2 && DC == 1) {
            const int sum = Load24(s) + Load24(s + 3);
            if constexpr (DB == 1)
                d[0] = static_cast<u8>((sum >> 16) + 128);
            else
                Store(d, 2, static_cast<std::int16_t>(static_cast<std::uint16_t>(sum >> 8)));
        } else {
            int left = Load(s, SB);
            const int right = SC == 2 ? Load(s + SB, SB) : left;
            if constexpr (SC == 2 && DC == 1)
                left = Clamp16(left + right);
            Store(d, DB, left);
            if constexpr (DC == 2)
                Store(d + DB, DB, right);
        }
        index += wholeStep;
        rest += restStep;
        if (rest >= twice) {
            rest -= twice;
            ++index;
        }
    }
    framesOut = j;
    // The source is used up to the frame the next output frame would take.
    framesUsed = static_cast<u32>(std::min<u64>(index, srcFrames));
}

using FrameConverter = void (*)(const u8*, u32, u8*, u32, u32, u32, u32&, u32&);

template <unsigned SB, unsigned SC>
FrameConverter PickDestination(unsigned db, unsigned dc) {
    if (db == 1)
        return dc == 1 ? ConvertFrames<SB, SC, 1, 1> : ConvertFrames<SB, SC, 1, 2>;
    return dc == 1 ? ConvertFrames<SB, SC, 2, 1> : ConvertFrames<SB, SC, 2, 2>;
}

FrameConverter PickFrameConverter(const PcmFormat& s, const PcmFormat& d) {
    const bool mono = s.channels == 1;
    switch (s.bytes) {
    case 1:
        return mono ? PickDestination<1, 1>(d.bytes, d.channels)
                    : PickDestination<1, 2>(d.bytes, d.channels);
    case 2:
        return mono ? PickDestination<2, 1>(d.bytes, d.channels)
                    : PickDestination<2, 2>(d.bytes, d.channels);
    default:
        return mono ? PickDestination<3, 1>(d.bytes, d.channels)
                    : PickDestination<3, 2>(d.bytes, d.channels);
    }
}

// --- decoders ------------------------------------------------------------------------

constexpr std::array<int, 89> kImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 16> kImaIndexShift = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                -1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannel {
    int predictor;
    int index;

    int Next(unsigned nibble) {
        const int step = kImaSteps[static_cast<unsigned>(index)];
        int diff = step >> 3;
        if (nibble & 4)
            diff += step;
        if (nibble & 2)
            diff += step >> 1;
        if (nibble & 1)
            diff += step >> 2;
        predictor = Clamp16((nibble & 8) ? predictor - diff : predictor + diff);
        index = std::clamp(index + kImaIndexShift[nibble], 0, 88);
        return predictor;
    }
};

// One block of IMA ADPCM into samplesPerBlock interleaved frames.
void DecodeImaBlock(const CodecFormat& c, const u8* block, u8* out, unsigned outBytes) {
    const unsigned ch = c.channels;
    const unsigned frameBytes = ch * outBytes;
    ImaChannel state[2]{};
    for (unsigned k = 0; k < ch; ++k) {
        const u8* h = block + 4 * k;
        state[k].predictor = static_cast<std::int16_t>(h[0] | (h[1] << 8));
        state[k].index = std::min<int>(h[2], 88); // h[3] is reserved
        Store(out + k * outBytes, outBytes, state[k].predictor);
    }
    for (unsigned i = 0; i + 1 < c.samplesPerBlock; ++i) {
        const unsigned group = i / 8, within = i % 8;
        for (unsigned k = 0; k < ch; ++k) {
            const u8 byte = block[4 * ch + group * 4 * ch + k * 4 + within / 2];
            const unsigned nibble = (within & 1) ? byte >> 4 : byte & 0x0F;
            Store(out + (i + 1) * frameBytes + k * outBytes, outBytes, state[k].Next(nibble));
        }
    }
}

constexpr std::array<int, 16> kMsAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                               768, 614, 512, 409, 307, 230, 230, 230};
// The seven coefficient pairs of the standard, which the system's decoder
// uses whatever pairs a record carries.
constexpr int kMsCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                       {240, 0}, {460, -208}, {392, -232}};

// 32-bit arithmetic that wraps around, as the system's decoder computes: the
// step size is never capped, so it overflows on damaged blocks.
inline std::int32_t Wrapped(std::int64_t v) {
    return static_cast<std::int32_t>(static_cast<u32>(v));
}

// One block of Microsoft ADPCM into samplesPerBlock interleaved frames. A
// block naming a pair beyond the seven is silent (the system's decoder
// stops there and reports output it never wrote).
void DecodeMsAdpcmBlock(const CodecFormat& c, const u8* block, u8* out, unsigned outBytes) {
    const unsigned ch = c.channels;
    const unsigned frameBytes = ch * outBytes;
    int coef1[2]{}, coef2[2]{}, delta[2]{}, sample1[2]{}, sample2[2]{};
    for (unsigned k = 0; k < ch; ++k) {
        const unsigned predictor = block[k];
        if (predictor >= std::size(kMsCoefficients)) {
            std::memset(out, outBytes == 1 ? 0x80 : 0, u64{c.samplesPerBlock} * frameBytes);
            return;
        }
        auto word = [&](unsigned offset) {
            return static_cast<std::int16_t>(block[offset] | (block[offset + 1] << 8));
        };
        coef1[k] = kMsCoefficients[predictor][0];
        coef2[k] = kMsCoefficients[predictor][1];
        delta[k] = word(ch + 2 * k);
        sample1[k] = word(3 * ch + 2 * k);
        sample2[k] = word(5 * ch + 2 * k);
        Store(out + k * outBytes, outBytes, sample2[k]);
        Store(out + frameBytes + k * outBytes, outBytes, sample1[k]);
    }
    const u8* data = block + 7 * ch;
    const unsigned nibbles = (c.samplesPerBlock - 2) * ch;
    for (unsigned n = 0; n < nibbles; ++n) {
        const unsigned k = n % ch;
        const unsigned nibble = (n & 1) ? data[n / 2] & 0x0F : data[n / 2] >> 4;
        const int error = nibble >= 8 ? static_cast<int>(nibble) - 16 : static_cast<int>(nibble);
        const int predicted = (sample1[k] * coef1[k] + sample2[k] * coef2[k]) / 256;
        const int value =
            Clamp16(Wrapped(std::int64_t{predicted} + Wrapped(std::int64_t{error} * delta[k])));
        sample2[k] = sample1[k];
        sample1[k] = value;
        delta[k] = std::max(Wrapped(std::int64_t{kMsAdaptation[nibble]} * delta[k]) / 256, 16);
        Store(out + (2 + n / ch) * frameBytes + k * outBytes, outBytes, value);
    }
}

// One 65-byte GSM 6.10 block into 320 16-bit samples: two frames of 160,
// the first in 33 bytes, the second in 32 and a half (the WAV49 layout, which
// the decoder keeps track of between calls).
void DecodeGsmBlock(gsm decoder, const u8* block, u8* out) {
    for (unsigned half = 0; half < 2; ++half) {
        gsm_signal frame[kGsmSamples / 2] = {};
        gsm_decode(decoder, const_cast<gsm_byte*>(block + 33 * half), frame);
        for (unsigned i = 0; i < kGsmSamples / 2; ++i)
            Store(out + 2 * (half * kGsmSamples / 2 + i), 2, frame[i]);
    }
}

constexpr int DecodeALaw(u8 a) {
    a ^= 0x55;
    int t = (a & 0x0F) << 4;
    const int segment = (a & 0x70) >> 4;
    if (segment == 0)
        t += 8;
    else if (segment == 1)
        t += 0x108;
    else
        t = (t + 0x108) << (segment - 1);
    return (a & 0x80) ? t : -t;
}

constexpr int DecodeMuLaw(u8 u) {
    u = static_cast<u8>(~u);
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u & 0x70) >> 4;
    return (u & 0x80) ? 0x84 - t : t - 0x84;
}

template <int (*Decode)(u8)>
constexpr std::array<std::int16_t, 256> G711Table() {
    std::array<std::int16_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[static_cast<unsigned>(i)] = static_cast<std::int16_t>(Decode(static_cast<u8>(i)));
    return table;
}
constexpr auto kALaw = G711Table<DecodeALaw>();
constexpr auto kMuLaw = G711Table<DecodeMuLaw>();

// --- converters -----------------------------------------------------------------------

struct Converter {
    bool pcmSource = false;
    PcmFormat src;  // a PCM source
    CodecFormat in; // a coded source
    PcmFormat dst;
    FrameConverter frames = nullptr;

    // Destination bytes of one decoded codec block.
    u64 OutputUnit() const { return u64{in.samplesPerBlock} * dst.blockAlign; }
    // What acmStreamSize counts for one codec block.
    u64 SizeUnit() const { return u64{in.samplesPerSize} * dst.blockAlign; }
};

bool Fits(u64 v) {
    return v <= 0xFFFFFFFFu;
}

u64 CeilDiv(u64 a, u64 b) {
    return a / b + (a % b != 0);
}

// A pair of formats some built-in driver converts.
bool FindConverter(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, Converter& conv) {
    // Every driver writes 8- or 16-bit PCM.
    if (!ReadPcm(dst, conv.dst) || conv.dst.bytes > 2)
        return false;
    if (ReadPcm(src, conv.src)) {
        // 24-bit sources keep their rate.
        if (conv.src.bytes == 3 && conv.src.rate != conv.dst.rate)
            return false;
        conv.pcmSource = true;
        conv.frames = PickFrameConverter(conv.src, conv.dst);
        return true;
    }
    if (!ReadCodec(src, conv.in))
        return false;
    if (dst->nChannels != conv.in.channels || conv.dst.rate != conv.in.rate)
        return false;
    if (conv.dst.bytes == 1) {
        // 8-bit output: Microsoft ADPCM, and IMA ADPCM in mono only, at the
        // four classic rates.
        const u32 rate = conv.in.rate;
        const bool classic = rate == 8000 || rate == 11025 || rate == 22050 || rate == 44100;
        const bool eight = conv.in.codec == Codec::MsAdpcm ||
                           (conv.in.codec == Codec::Ima && conv.in.channels == 1);
        if (!eight || !classic)
            return false;
    }
    return true;
}

MMRESULT SizeFor(const Converter& c, u32 input, bool fromSource, u32& output) {
    u64 result = 0;
    if (c.pcmSource) {
        // Rounded up through the byte rates. Both ends are cut to frames by
        // masking the bits below the block alignment, which is exact only for
        // alignments that are powers of two (3 channels of 16 bits: 50 bytes
        // stay 50), as the system's converter does.
        const PcmFormat& from = fromSource ? c.src : c.dst;
        const PcmFormat& to = fromSource ? c.dst : c.src;
        const auto masked = [](u64 v, unsigned block) { return v & ~u64{block - 1u}; };
        result = masked(CeilDiv(masked(input, from.blockAlign) * to.avgBytes, from.avgBytes),
                        to.blockAlign);
    } else if (c.in.codec == Codec::Gsm) {
        // Whole blocks only; less than one is a size of 0.
        if (fromSource)
            result = u64{input / kGsmBlock} * c.SizeUnit();
        else
            result = u64{input / c.SizeUnit()} * kGsmBlock;
    } else if (c.in.codec == Codec::ALaw || c.in.codec == Codec::MuLaw) {
        if (fromSource)
            result = u64{input / c.in.blockAlign} * c.dst.blockAlign;
        else
            result = u64{input / c.dst.blockAlign} * c.in.blockAlign;
    } else if (fromSource) {
        // Block codecs: a started block counts whole; less than one has no size.
        if (input < c.in.blockAlign)
            return ACMERR_NOTPOSSIBLE;
        result = CeilDiv(input, c.in.blockAlign) * c.SizeUnit();
    } else {
        const u64 blocks = input / c.SizeUnit();
        if (blocks == 0)
            return ACMERR_NOTPOSSIBLE;
        result = blocks * c.in.blockAlign;
    }
    if (!Fits(result))
        return ACMERR_NOTPOSSIBLE;
    output = static_cast<u32>(result);
    return MMSYSERR_NOERROR;
}

void Convert(const Converter& c, gsm decoder, const u8* src, u32 srcLength, u8* dst, u32 dstLength,
             u32& srcUsed, u32& dstUsed) {
    srcUsed = dstUsed = 0;
    if (c.pcmSource) {
        const u32 srcFrames = srcLength / c.src.blockAlign;
        const u32 capacity = dstLength / c.dst.blockAlign;
        u32 produced = 0, used = 0;
        c.frames(src, srcFrames, dst, capacity, c.src.rate, c.dst.rate, produced, used);
        dstUsed = produced * c.dst.blockAlign;
        srcUsed = used * c.src.blockAlign;
        return;
    }
    const unsigned outBytes = c.dst.bytes;
    if (c.in.codec == Codec::ALaw || c.in.codec == Codec::MuLaw) {
        const auto& table = c.in.codec == Codec::ALaw ? kALaw : kMuLaw;
        const u32 frames = std::min(srcLength / c.in.blockAlign, dstLength / c.dst.blockAlign);
        const u32 samples = frames * c.in.channels;
        for (u32 i = 0; i < samples; ++i)
            Store(dst + u64{i} * 2, 2, table[src[i]]);
        srcUsed = samples;
        dstUsed = samples * 2;
        return;
    }
    const u64 unit = c.OutputUnit();
    const u64 blocks = std::min<u64>(srcLength / c.in.blockAlign, dstLength / unit);
    for (u64 b = 0; b < blocks; ++b) {
        const u8* block = src + b * c.in.blockAlign;
        u8* out = dst + b * unit;
        if (c.in.codec == Codec::Ima)
            DecodeImaBlock(c.in, block, out, outBytes);
        else if (c.in.codec == Codec::MsAdpcm)
            DecodeMsAdpcmBlock(c.in, block, out, outBytes);
        else
            DecodeGsmBlock(decoder, block, out);
    }
    srcUsed = static_cast<u32>(blocks * c.in.blockAlign);
    dstUsed = static_cast<u32>(blocks * unit);
}

// --- stream handles --------------------------------------------------------------------

struct Stream {
    Converter converter;
    gsm decoder = nullptr; // for GSM 6.10 sources: the decoder's state between blocks

    ~Stream() {
        if (decoder != nullptr)
            gsm_destroy(decoder);
    }
};

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}
std::unordered_set<const Stream*>& Registry() {
    static std::unordered_set<const Stream*> streams;
    return streams;
}

// The stream behind a handle, or null for a handle that is not open.
Stream* Lookup(HACMSTREAM has) {
    const auto* stream = reinterpret_cast<const Stream*>(has);
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Registry().count(stream) ? const_cast<Stream*>(stream) : nullptr;
}

// What a prepared header must keep until it is unprepared, in the driver
// words: the stream, both buffers and their prepared lengths.
enum : unsigned {
    kWordStreamLow,
    kWordStreamHigh,
    kWordSrcLow,
    kWordSrcHigh,
    kWordSrcLength,
    kWordDstLow,
    kWordDstHigh,
    kWordDstLength,
};

void StorePointer(ACMSTREAMHEADER* h, unsigned word, const void* p) {
    const u64 v = reinterpret_cast<std::uintptr_t>(p);
    h->dwReservedDriver[word] = static_cast<DWORD>(v);
    h->dwReservedDriver[word + 1] = static_cast<DWORD>(v >> 32);
}
bool SamePointer(const ACMSTREAMHEADER* h, unsigned word, const void* p) {
    const u64 v = reinterpret_cast<std::uintptr_t>(p);
    return h->dwReservedDriver[word] == static_cast<DWORD>(v) &&
           h->dwReservedDriver[word + 1] == static_cast<DWORD>(v >> 32);
}

// The header is as it was prepared on this stream (the lengths may be lower).
bool MatchesPreparation(const ACMSTREAMHEADER* h, const Stream* stream) {
    return SamePointer(h, kWordStreamLow, stream) && SamePointer(h, kWordSrcLow, h->pbSrc) &&
           SamePointer(h, kWordDstLow, h->pbDst) &&
           h->cbSrcLength <= h->dwReservedDriver[kWordSrcLength] &&
           h->cbDstLength <= h->dwReservedDriver[kWordDstLength];
}

// The checks of a header that must be prepared on `stream`, in the order of
// their results: the handle, the header, the flags, the preparation.
MMRESULT CheckPreparedHeader(const Stream* stream, const ACMSTREAMHEADER* h, bool flagsValid) {
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!h || h->cbStruct < sizeof(ACMSTREAMHEADER))
        return MMSYSERR_INVALPARAM;
    if (!flagsValid)
        return MMSYSERR_INVALFLAG;
    if (!(h->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    if (!MatchesPreparation(h, stream))
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

constexpr DWORD kOpenFlags = ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC |
                             ACM_STREAMOPENF_NONREALTIME | 0x00070000; // callback kinds
constexpr DWORD kConvertFlags =
    ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
constexpr DWORD kSuggestFlags = ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                                ACM_FORMATSUGGESTF_NSAMPLESPERSEC |
                                ACM_FORMATSUGGESTF_WBITSPERSAMPLE;

} // namespace

MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER had, LPWAVEFORMATEX pwfxSrc,
                       LPWAVEFORMATEX pwfxDst, LPWAVEFILTER pwfltr, DWORD_PTR dwCallback,
                       DWORD_PTR dwInstance, DWORD fdwOpen) {
    (void)dwCallback;
    (void)dwInstance;
    const bool query = (fdwOpen & ACM_STREAMOPENF_QUERY) != 0;
    if (phas && !query)
        *phas = nullptr;
    if (!pwfxSrc || !pwfxDst || (!phas && !query))
        return MMSYSERR_INVALPARAM;
    if (fdwOpen & ~kOpenFlags)
        return MMSYSERR_INVALFLAG;
    if (had)
        return MMSYSERR_INVALHANDLE;
    // The drivers convert synchronously and offer no filters.
    if (pwfltr || (fdwOpen & ACM_STREAMOPENF_ASYNC))
        return ACMERR_NOTPOSSIBLE;
    Converter converter;
    if (!FindConverter(pwfxSrc, pwfxDst, converter))
        return ACMERR_NOTPOSSIBLE;
    if (query)
        return MMSYSERR_NOERROR;
    auto* stream = new (std::nothrow) Stream{converter};
    if (!stream)
        return MMSYSERR_NOMEM;
    if (!converter.pcmSource && converter.in.codec == Codec::Gsm) {
        int wav49 = 1;
        stream->decoder = gsm_create();
        if (stream->decoder == nullptr) {
            delete stream;
            return MMSYSERR_NOMEM;
        }
        gsm_option(stream->decoder, GSM_OPT_WAV49, &wav49);
    }
    try {
        std::lock_guard<std::mutex> guard(RegistryLock());
        Registry().insert(stream);
    } catch (const std::bad_alloc&) {
        delete stream;
        return MMSYSERR_NOMEM;
    }
    *phas = reinterpret_cast<HACMSTREAM>(stream);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose) {
    Stream* stream = nullptr;
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        auto it = Registry().find(reinterpret_cast<const Stream*>(has));
        if (it == Registry().end())
            return MMSYSERR_INVALHANDLE;
        if (fdwClose != 0)
            return MMSYSERR_INVALFLAG;
        stream = const_cast<Stream*>(*it);
        Registry().erase(it);
    }
    delete stream;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, LPDWORD pdwOutputBytes, DWORD fdwSize) {
    const Stream* stream = Lookup(has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!pdwOutputBytes)
        return MMSYSERR_INVALPARAM;
    if (fdwSize != ACM_STREAMSIZEF_SOURCE && fdwSize != ACM_STREAMSIZEF_DESTINATION)
        return MMSYSERR_INVALFLAG;
    u32 output = 0;
    const MMRESULT result =
        SizeFor(stream->converter, cbInput, fdwSize == ACM_STREAMSIZEF_SOURCE, output);
    if (result == MMSYSERR_NOERROR)
        *pdwOutputBytes = output;
    return result;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwPrepare) {
    const Stream* stream = Lookup(has);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER))
        return MMSYSERR_INVALPARAM;
    if (fdwPrepare != 0)
        return MMSYSERR_INVALFLAG;
    if (pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)
        return MMSYSERR_NOERROR;
    if ((!pash->pbSrc && pash->cbSrcLength) || (!pash->pbDst && pash->cbDstLength))
        return MMSYSERR_INVALPARAM;
    StorePointer(pash, kWordStreamLow, stream);
    StorePointer(pash, kWordSrcLow, pash->pbSrc);
    pash->dwReservedDriver[kWordSrcLength] = pash->cbSrcLength;
    StorePointer(pash, kWordDstLow, pash->pbDst);
    pash->dwReservedDriver[kWordDstLength] = pash->cbDstLength;
    pash->fdwStatus =
        (pash->fdwStatus & ~ACMSTREAMHEADER_STATUSF_INQUEUE) | ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwUnprepare) {
    const Stream* stream = Lookup(has);
    if (const MMRESULT refused = CheckPreparedHeader(stream, pash, fdwUnprepare == 0))
        return refused;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    std::fill(std::begin(pash->dwReservedDriver), std::end(pash->dwReservedDriver), 0u);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwConvert) {
    const Stream* stream = Lookup(has);
    if (const MMRESULT refused =
            CheckPreparedHeader(stream, pash, (fdwConvert & ~kConvertFlags) == 0))
        return refused;
    // Every conversion uses whole source units, so block alignment is implied.
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    u32 srcUsed = 0, dstUsed = 0;
    Convert(stream->converter, stream->decoder, pash->pbSrc, pash->cbSrcLength, pash->pbDst,
            pash->cbDstLength, srcUsed, dstUsed);
    pash->cbSrcLengthUsed = srcUsed;
    pash->cbDstLengthUsed = dstUsed;
    pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER had, LPWAVEFORMATEX pwfxSrc, LPWAVEFORMATEX pwfxDst,
                          DWORD cbwfxDst, DWORD fdwSuggest) {
    if (had)
        return MMSYSERR_INVALHANDLE;
    if (fdwSuggest & ~kSuggestFlags)
        return MMSYSERR_INVALFLAG;
    if (!pwfxSrc || !pwfxDst || cbwfxDst < sizeof(PCMWAVEFORMAT))
        return MMSYSERR_INVALPARAM;
    // The source must be a format some driver reads.
    PcmFormat pcm;
    CodecFormat codec;
    const bool pcmSource = ReadPcm(pwfxSrc, pcm);
    if (!pcmSource && !ReadCodec(pwfxSrc, codec))
        return ACMERR_NOTPOSSIBLE;
    // Every suggestion is PCM; what the caller fixes must be a PCM layout the
    // converters write. Free fields follow the source, and the width is 16
    // bits unless a PCM source keeps its own.
    const bool fixTag = fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG;
    if (fixTag && pwfxDst->wFormatTag != WAVE_FORMAT_PCM)
        return ACMERR_NOTPOSSIBLE;
    const unsigned channels =
        (fdwSuggest & ACM_FORMATSUGGESTF_NCHANNELS) ? pwfxDst->nChannels : pwfxSrc->nChannels;
    const u32 rate = (fdwSuggest & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) ? pwfxDst->nSamplesPerSec
                                                                      : pwfxSrc->nSamplesPerSec;
    unsigned bits = 16;
    if (fdwSuggest & ACM_FORMATSUGGESTF_WBITSPERSAMPLE)
        bits = pwfxDst->wBitsPerSample;
    else if (pcmSource && !fixTag)
        bits = pwfxSrc->wBitsPerSample;
    if (channels < 1 || channels > 2 || rate == 0 || (bits != 8 && bits != 16))
        return ACMERR_NOTPOSSIBLE;
    const unsigned block = channels * bits / 8;
    if (!Fits(u64{rate} * block))
        return ACMERR_NOTPOSSIBLE;
    PCMWAVEFORMAT result{};
    result.wf.wFormatTag = WAVE_FORMAT_PCM;
    result.wf.nChannels = static_cast<WORD>(channels);
    result.wf.nSamplesPerSec = rate;
    result.wf.nAvgBytesPerSec = rate * block;
    result.wf.nBlockAlign = static_cast<WORD>(block);
    result.wBitsPerSample = static_cast<WORD>(bits);
    std::memcpy(pwfxDst, &result, sizeof(result));
    if (cbwfxDst >= sizeof(WAVEFORMATEX))
        pwfxDst->cbSize = 0;
    return MMSYSERR_NOERROR;
}

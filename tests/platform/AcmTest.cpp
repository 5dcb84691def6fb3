// The audio compression manager as the wave engine uses it: conversion
// streams, sizes and format suggestion. The same expectations hold for the
// system's msacm32 (under Wine) and for the POSIX drivers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Platform.h"
#include "support/TestData.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A format record with room for codec extras.
struct Format {
    alignas(4) std::uint8_t bytes[64]{};
    WAVEFORMATEX* get() { return reinterpret_cast<WAVEFORMATEX*>(bytes); }
    void PutWord(unsigned offset, int value) {
        bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
        bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
};

Format Pcm(int channels, DWORD rate, int bits) {
    Format f;
    WAVEFORMATEX* w = f.get();
    w->wFormatTag = WAVE_FORMAT_PCM;
    w->nChannels = static_cast<WORD>(channels);
    w->nSamplesPerSec = rate;
    w->wBitsPerSample = static_cast<WORD>(bits);
    w->nBlockAlign = static_cast<WORD>(channels * bits / 8);
    w->nAvgBytesPerSec = rate * w->nBlockAlign;
    return f;
}

Format G711(int tag, int channels, DWORD rate) {
    Format f;
    WAVEFORMATEX* w = f.get();
    w->wFormatTag = static_cast<WORD>(tag);
    w->nChannels = static_cast<WORD>(channels);
    w->nSamplesPerSec = rate;
    w->wBitsPerSample = 8;
    w->nBlockAlign = static_cast<WORD>(channels);
    w->nAvgBytesPerSec = rate * static_cast<DWORD>(channels);
    return f;
}

// The usual block sizes: 256 bytes per channel up to 11025 Hz, doubling above.
int StandardBlock(int channels, DWORD rate) {
    const int factor = rate < 22050 ? 1 : static_cast<int>(rate / 11025);
    return 256 * channels * factor;
}

Format Ima(int channels, DWORD rate, int block = 0) {
    Format f;
    WAVEFORMATEX* w = f.get();
    block = block ? block : StandardBlock(channels, rate);
    const int samples = (block - 4 * channels) * 2 / channels + 1;
    w->wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    w->nChannels = static_cast<WORD>(channels);
    w->nSamplesPerSec = rate;
    w->wBitsPerSample = 4;
    w->nBlockAlign = static_cast<WORD>(block);
    w->nAvgBytesPerSec = static_cast<DWORD>(std::uint64_t{rate} * block / samples);
    w->cbSize = 2;
    f.PutWord(18, samples);
    return f;
}

constexpr int kMsCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                       {240, 0}, {460, -208}, {392, -232}};

Format MsAdpcm(int channels, DWORD rate, int block = 0, int samples = 0) {
    Format f;
    WAVEFORMATEX* w = f.get();
    block = block ? block : StandardBlock(channels, rate);
    samples = samples ? samples : (block - 7 * channels) * 2 / channels + 2;
    w->wFormatTag = WAVE_FORMAT_ADPCM;
    w->nChannels = static_cast<WORD>(channels);
    w->nSamplesPerSec = rate;
    w->wBitsPerSample = 4;
    w->nBlockAlign = static_cast<WORD>(block);
    w->nAvgBytesPerSec = static_cast<DWORD>(std::uint64_t{rate} * block / samples);
    w->cbSize = 32;
    f.PutWord(18, samples);
    f.PutWord(20, 7);
    for (int i = 0; i < 7; ++i) {
        f.PutWord(22 + 4 * i, kMsCoefficients[i][0]);
        f.PutWord(24 + 4 * i, kMsCoefficients[i][1]);
    }
    return f;
}

// GSM 6.10 as Microsoft stores it: 65-byte blocks of 320 samples.
Format Gsm(DWORD rate) {
    Format f;
    WAVEFORMATEX* w = f.get();
    w->wFormatTag = WAVE_FORMAT_GSM610;
    w->nChannels = 1;
    w->nSamplesPerSec = rate;
    w->nBlockAlign = 65;
    w->nAvgBytesPerSec = rate * 65 / 320;
    w->cbSize = 2;
    f.PutWord(18, 320);
    return f;
}

MMRESULT Query(Format src, Format dst) {
    return acmStreamOpen(nullptr, nullptr, src.get(), dst.get(), nullptr, 0, 0,
                         ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME);
}

// An open stream, closed at the end of the scope.
struct OpenStream {
    HACMSTREAM handle = nullptr;
    MMRESULT result;
    OpenStream(Format src, Format dst)
        : result(acmStreamOpen(&handle, nullptr, src.get(), dst.get(), nullptr, 0, 0,
                               ACM_STREAMOPENF_NONREALTIME)) {}
    ~OpenStream() {
        if (result == MMSYSERR_NOERROR)
            acmStreamClose(handle, 0);
    }
};

struct Conversion {
    DWORD estimate = 0;
    DWORD sourceUsed = 0;
    Bytes output;
};

// The whole block in one conversion, into a destination of the estimated
// size (or of `capacity` bytes when given), as the wave engine does it.
Conversion Convert(Format src, Format dst, const Bytes& input, DWORD capacity = 0) {
    Conversion c;
    OpenStream stream(src, dst);
    EXPECT_EQ(stream.result, MMSYSERR_NOERROR);
    if (stream.result != MMSYSERR_NOERROR)
        return c;
    EXPECT_EQ(acmStreamSize(stream.handle, static_cast<DWORD>(input.size()), &c.estimate,
                            ACM_STREAMSIZEF_SOURCE),
              MMSYSERR_NOERROR);
    Bytes source = input;
    Bytes target((capacity ? capacity : c.estimate) + 16, 0xEE);
    ACMSTREAMHEADER header;
    std::memset(&header, 0, sizeof(header));
    header.cbStruct = sizeof(header);
    header.pbSrc = source.data();
    header.cbSrcLength = static_cast<DWORD>(source.size());
    header.pbDst = target.data();
    header.cbDstLength = capacity ? capacity : c.estimate;
    EXPECT_EQ(acmStreamPrepareHeader(stream.handle, &header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(
        acmStreamConvert(stream.handle, &header, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END),
        MMSYSERR_NOERROR);
    EXPECT_TRUE(header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    EXPECT_EQ(acmStreamUnprepareHeader(stream.handle, &header, 0), MMSYSERR_NOERROR);
    c.sourceUsed = header.cbSrcLengthUsed;
    EXPECT_LE(header.cbDstLengthUsed, header.cbDstLength);
    c.output.assign(target.begin(), target.begin() + header.cbDstLengthUsed);
    return c;
}

Bytes Words(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) {
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
        b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    return b;
}

std::vector<int> ToWords(const Bytes& b) {
    std::vector<int> words;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2)
        words.push_back(static_cast<std::int16_t>(b[i] | (b[i + 1] << 8)));
    return words;
}

} // namespace

TEST(Acm, StreamHeaderHasTheWindowsLayout) {
    EXPECT_EQ(offsetof(ACMSTREAMHEADER, cbSrcLength), 4 + 4 + 2 * sizeof(void*));
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof(ACMSTREAMHEADER), 84u);
    }
}

TEST(Acm, OffersTheSystemDriversPairs) {
    struct Case {
        const char* what;
        Format src, dst;
        MMRESULT expected;
    };
    const Case cases[] = {
        {"pcm 16 stereo -> 8 mono, other rate", Pcm(2, 44100, 16), Pcm(1, 22050, 8), 0},
        {"pcm 8 mono -> 16 stereo", Pcm(1, 8000, 8), Pcm(2, 8000, 16), 0},
        {"pcm, same format", Pcm(1, 22050, 16), Pcm(1, 22050, 16), 0},
        {"pcm, any rate", Pcm(2, 7000, 16), Pcm(2, 12345, 16), 0},
        {"ima mono -> 16", Ima(1, 8000), Pcm(1, 8000, 16), 0},
        {"ima stereo -> 16", Ima(2, 44100), Pcm(2, 44100, 16), 0},
        {"ima mono -> 8", Ima(1, 22050), Pcm(1, 22050, 8), 0},
        {"ima, any rate", Ima(1, 7000), Pcm(1, 7000, 16), 0},
        {"ms adpcm stereo -> 16", MsAdpcm(2, 22050), Pcm(2, 22050, 16), 0},
        {"ms adpcm stereo -> 8", MsAdpcm(2, 8000), Pcm(2, 8000, 8), 0},
        {"a-law -> 16", G711(WAVE_FORMAT_ALAW, 2, 11025), Pcm(2, 11025, 16), 0},
        {"mu-law -> 16", G711(WAVE_FORMAT_MULAW, 1, 44100), Pcm(1, 44100, 16), 0},
        {"unknown tag", G711(0x1234, 1, 8000), Pcm(1, 8000, 16), ACMERR_NOTPOSSIBLE},
        {"to unknown tag", Pcm(1, 8000, 16), G711(0x1234, 1, 8000), ACMERR_NOTPOSSIBLE},
        {"pcm 12 bits", Pcm(1, 8000, 12), Pcm(1, 8000, 16), ACMERR_NOTPOSSIBLE},
        {"to pcm 24 bits", Pcm(1, 8000, 16), Pcm(1, 8000, 24), ACMERR_NOTPOSSIBLE},
        {"ima -> other channels", Ima(1, 8000), Pcm(2, 8000, 16), ACMERR_NOTPOSSIBLE},
        {"ima -> other rate", Ima(1, 8000), Pcm(1, 11025, 16), ACMERR_NOTPOSSIBLE},
        {"ima stereo -> 8", Ima(2, 8000), Pcm(2, 8000, 8), ACMERR_NOTPOSSIBLE},
        {"ima -> ima", Ima(1, 8000), Ima(1, 8000), ACMERR_NOTPOSSIBLE},
        {"ima, odd block", Ima(1, 8000, 5), Pcm(1, 8000, 16), ACMERR_NOTPOSSIBLE},
        {"a-law -> 8", G711(WAVE_FORMAT_ALAW, 1, 8000), Pcm(1, 8000, 8), ACMERR_NOTPOSSIBLE},
        {"a-law at 16000 Hz", G711(WAVE_FORMAT_ALAW, 1, 16000), Pcm(1, 16000, 16),
         ACMERR_NOTPOSSIBLE},
        {"a-law -> a-law", G711(WAVE_FORMAT_ALAW, 1, 8000), G711(WAVE_FORMAT_ALAW, 1, 8000),
         ACMERR_NOTPOSSIBLE},
        {"pcm 24 stereo -> 8 mono", Pcm(2, 44100, 24), Pcm(1, 44100, 8), 0},
        {"pcm 24, other rate", Pcm(1, 44100, 24), Pcm(1, 48000, 16), ACMERR_NOTPOSSIBLE},
        {"pcm 24 -> 24", Pcm(1, 44100, 24), Pcm(1, 44100, 24), ACMERR_NOTPOSSIBLE},
        {"pcm 32 bits", Pcm(1, 8000, 32), Pcm(1, 8000, 16), ACMERR_NOTPOSSIBLE},
        {"pcm 3 channels -> 2", Pcm(3, 8000, 16), Pcm(2, 11025, 16), 0},
        {"pcm 1 channel -> 6", Pcm(1, 8000, 8), Pcm(6, 8000, 16), 0},
        {"ms adpcm -> 8 at 48000 Hz", MsAdpcm(1, 48000), Pcm(1, 48000, 8), ACMERR_NOTPOSSIBLE},
        {"ima mono -> 8 at 16000 Hz", Ima(1, 16000), Pcm(1, 16000, 8), ACMERR_NOTPOSSIBLE},
        {"gsm -> 16", Gsm(8000), Pcm(1, 8000, 16), 0},
        {"gsm, any rate", Gsm(12345), Pcm(1, 12345, 16), 0},
        {"gsm -> 8", Gsm(8000), Pcm(1, 8000, 8), ACMERR_NOTPOSSIBLE},
        {"gsm -> stereo", Gsm(8000), Pcm(2, 8000, 16), ACMERR_NOTPOSSIBLE},
        {"gsm -> other rate", Gsm(8000), Pcm(1, 11025, 16), ACMERR_NOTPOSSIBLE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Query(c.src, c.dst), c.expected) << c.what;

    Format wrongSamples = Ima(1, 8000);
    wrongSamples.PutWord(18, 100);
    EXPECT_EQ(Query(wrongSamples, Pcm(1, 8000, 16)), ACMERR_NOTPOSSIBLE);
    Format noBits = MsAdpcm(1, 8000);
    noBits.get()->wBitsPerSample = 0;
    EXPECT_EQ(Query(noBits, Pcm(1, 8000, 16)), ACMERR_NOTPOSSIBLE);
    // Microsoft ADPCM needs no coefficient pairs in the record.
    Format noPairs = MsAdpcm(1, 8000);
    noPairs.get()->cbSize = 2;
    EXPECT_EQ(Query(noPairs, Pcm(1, 8000, 16)), MMSYSERR_NOERROR);
    Format gsmBlock = Gsm(8000);
    gsmBlock.get()->nBlockAlign = 64;
    EXPECT_EQ(Query(gsmBlock, Pcm(1, 8000, 16)), ACMERR_NOTPOSSIBLE);
}

TEST(Acm, QueryLeavesTheHandleAlone) {
    HACMSTREAM handle = reinterpret_cast<HACMSTREAM>(std::uintptr_t{1});
    EXPECT_EQ(acmStreamOpen(&handle, nullptr, Pcm(1, 8000, 16).get(), Pcm(1, 8000, 8).get(),
                            nullptr, 0, 0, ACM_STREAMOPENF_QUERY),
              MMSYSERR_NOERROR);
    EXPECT_EQ(handle, reinterpret_cast<HACMSTREAM>(std::uintptr_t{1}));
}

TEST(Acm, SizesFollowTheByteRatesAndBlocks) {
    const DWORD kSource = ACM_STREAMSIZEF_SOURCE, kDestination = ACM_STREAMSIZEF_DESTINATION;
    struct Case {
        const char* what;
        Format src, dst;
        DWORD flag, input;
        MMRESULT result;
        DWORD output;
    };
    const Case cases[] = {
        // PCM: source cut to whole frames, scaled by the byte rates and rounded
        // up, then cut to whole destination frames.
        {"pcm", Pcm(2, 8000, 16), Pcm(1, 11025, 8), kSource, 3, 0, 0},
        {"pcm", Pcm(2, 8000, 16), Pcm(1, 11025, 8), kSource, 4, 0, 2},
        {"pcm", Pcm(2, 8000, 16), Pcm(1, 11025, 8), kSource, 100, 0, 35},
        {"pcm", Pcm(2, 8000, 16), Pcm(1, 11025, 8), kSource, 4000, 0, 1379},
        {"pcm", Pcm(2, 8000, 16), Pcm(1, 11025, 8), kSource, 176402, 0, 60776},
        {"pcm", Pcm(2, 8000, 16), Pcm(1, 11025, 8), kDestination, 4, 0, 12},
        {"pcm", Pcm(2, 8000, 16), Pcm(1, 11025, 8), kDestination, 100, 0, 288},
        {"pcm", Pcm(2, 44100, 16), Pcm(1, 7000, 8), kDestination, 1, 0, 24},
        {"pcm", Pcm(2, 44100, 16), Pcm(1, 7000, 8), kDestination, 3, 0, 76},
        {"pcm", Pcm(2, 22050, 16), Pcm(1, 8000, 8), kDestination, 1, 0, 12},
        {"pcm", Pcm(2, 8000, 16), Pcm(2, 11025, 16), kSource, 4000, 0, 5512},
        {"pcm", Pcm(2, 11025, 16), Pcm(2, 8000, 16), kSource, 4, 0, 0},
        {"pcm", Pcm(2, 48000, 16), Pcm(2, 22050, 16), kSource, 176404, 0, 81036},
        {"pcm", Pcm(1, 8000, 8), Pcm(2, 11025, 16), kSource, 1, 0, 4},
        {"pcm", Pcm(1, 8000, 8), Pcm(2, 11025, 16), kDestination, 3, 0, 0},
        {"pcm", Pcm(1, 8000, 8), Pcm(2, 11025, 16), kDestination, 5, 0, 1},
        {"pcm", Pcm(1, 8000, 8), Pcm(2, 11025, 16), kDestination, 103, 0, 19},
        {"pcm", Pcm(1, 8000, 16), Pcm(1, 8000, 8), kSource, 0, 0, 0},
        // Block codecs: a started block counts whole, less than one has no size.
        {"ima", Ima(1, 8000), Pcm(1, 8000, 16), kSource, 255, ACMERR_NOTPOSSIBLE, 0},
        {"ima", Ima(1, 8000), Pcm(1, 8000, 16), kSource, 256, 0, 1010},
        {"ima", Ima(1, 8000), Pcm(1, 8000, 16), kSource, 257, 0, 2020},
        {"ima", Ima(1, 8000), Pcm(1, 8000, 16), kSource, 2049, 0, 9090},
        {"ima", Ima(1, 8000), Pcm(1, 8000, 16), kDestination, 1000, ACMERR_NOTPOSSIBLE, 0},
        {"ima", Ima(1, 8000), Pcm(1, 8000, 16), kDestination, 2049, 0, 512},
        {"ima", Ima(1, 8000), Pcm(1, 8000, 8), kDestination, 511, 0, 256},
        {"ima", Ima(2, 44100), Pcm(2, 44100, 16), kSource, 2048, 0, 8164},
        {"ima", Ima(2, 8000), Pcm(2, 8000, 16), kSource, 2049, 0, 10100},
        {"ms adpcm", MsAdpcm(1, 8000), Pcm(1, 8000, 16), kSource, 256, 0, 1000},
        {"ms adpcm", MsAdpcm(1, 8000), Pcm(1, 8000, 16), kSource, 1000, 0, 4000},
        {"ms adpcm", MsAdpcm(1, 8000), Pcm(1, 8000, 16), kDestination, 1000, 0, 256},
        {"ms adpcm", MsAdpcm(2, 8000), Pcm(2, 8000, 8), kSource, 512, 0, 1000},
        {"ms adpcm", MsAdpcm(2, 8000), Pcm(2, 8000, 8), kDestination, 1000, 0, 512},
        // G.711: two bytes per byte.
        {"a-law", G711(WAVE_FORMAT_ALAW, 1, 8000), Pcm(1, 8000, 16), kSource, 255, 0, 510},
        {"a-law", G711(WAVE_FORMAT_ALAW, 1, 8000), Pcm(1, 8000, 16), kDestination, 255, 0, 127},
        {"mu-law", G711(WAVE_FORMAT_MULAW, 2, 8000), Pcm(2, 8000, 16), kSource, 256, 0, 512},
    };
    for (const Case& c : cases) {
        OpenStream stream(c.src, c.dst);
        ASSERT_EQ(stream.result, MMSYSERR_NOERROR) << c.what;
        DWORD output = 0;
        EXPECT_EQ(acmStreamSize(stream.handle, c.input, &output, c.flag), c.result)
            << c.what << " " << c.input;
        if (c.result == MMSYSERR_NOERROR) {
            EXPECT_EQ(output, c.output) << c.what << " " << c.input << " flag " << c.flag;
        }
    }
}

TEST(Acm, PcmWidthsAndChannelsAreConvertedExactly) {
    struct Case {
        const char* what;
        Format src, dst;
        Bytes input, expected;
    };
    const Bytes eightBit = {0, 1, 64, 127, 128, 129, 200, 255};
    const Case cases[] = {
        // 8 -> 16 bits: (x - 128) << 8.
        {"8 -> 16", Pcm(1, 8000, 8), Pcm(1, 8000, 16), eightBit,
         Words({-32768, -32512, -16384, -256, 0, 256, 18432, 32512})},
        // 16 -> 8 bits: the high byte + 128.
        {"16 -> 8",
         Pcm(1, 8000, 16),
         Pcm(1, 8000, 8),
         Words({-32768, -32767, -256, -129, -1, 0, 255, 256, 16384, 32767}),
         {0, 0, 127, 127, 127, 128, 128, 129, 192, 255}},
        // Stereo -> mono: the sum of both channels, clipped.
        {"16 stereo -> mono", Pcm(2, 8000, 16), Pcm(1, 8000, 16),
         Words({32767, 1, -32768, -1, -256, -1, 12299, 31317, -15201, 3817, 16384, -16384}),
         Words({32767, -32768, -257, 32767, -11384, 0})},
        {"8 stereo -> 16 mono",
         Pcm(2, 8000, 8),
         Pcm(1, 8000, 16),
         {0, 255, 1, 255, 64, 200, 200, 200, 0, 0, 129, 127},
         Words({-256, 0, 2048, 32767, -32768, 0})},
        {"8 stereo -> 8 mono",
         Pcm(2, 8000, 8),
         Pcm(1, 8000, 8),
         {11, 48, 85, 122, 255, 255, 128, 128, 0, 255, 129, 127},
         {0, 79, 255, 128, 127, 128}},
        {"16 stereo -> 8 mono",
         Pcm(2, 8000, 16),
         Pcm(1, 8000, 8),
         Words({-32768, 256, -256, -1, -1, 1, 32767, -32768, 0, 256, 16384, 16384}),
         {1, 126, 128, 127, 129, 255}},
        // Mono -> stereo: both channels get the sample.
        {"16 mono -> stereo", Pcm(1, 8000, 16), Pcm(2, 8000, 16), Words({12299, -1, 0}),
         Words({12299, 12299, -1, -1, 0, 0})},
        {"8 mono -> 16 stereo",
         Pcm(1, 8000, 8),
         Pcm(2, 8000, 16),
         {11, 255},
         Words({-29952, -29952, 32512, 32512})},
        {"16 mono -> 8 stereo",
         Pcm(1, 8000, 16),
         Pcm(2, 8000, 8),
         Words({-32768, 256, -1}),
         {0, 0, 129, 129, 127, 127}},
        // A trailing partial frame is not converted.
        {"partial frame", Pcm(1, 8000, 16), Pcm(1, 8000, 16), {1, 2, 3, 4, 5}, {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        const Conversion result = Convert(c.src, c.dst, c.input);
        EXPECT_EQ(result.output, c.expected) << c.what;
        EXPECT_EQ(result.estimate, c.expected.size()) << c.what;
    }
}

TEST(Acm, RateChangesPickTheSourceFrameUnderEachOutputFrame) {
    struct Case {
        DWORD from, to;
        int frames;
        std::vector<int> picked; // source frame of each output frame
    };
    const Case cases[] = {
        {8000, 11025, 10, {0, 1, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9}},
        {11025, 8000, 10, {0, 2, 3, 4, 6, 7, 8}},
        {8000, 22050, 3, {0, 0, 0, 1, 1, 1, 2, 2}},
        {44100, 22050, 5, {1, 3}},
        {44100, 48000, 10, {0, 1, 2, 3, 4, 5, 5, 6, 7, 8, 9}},
        {48000, 44100, 10, {0, 1, 2, 3, 4, 5, 7, 8, 9}},
        {44100, 8000, 40, {2, 8, 13, 19, 24, 30, 35}},
        {24000, 8000, 10, {1, 4, 7}},
        {44100, 8000, 2, {}},
    };
    for (const Case& c : cases) {
        Bytes input;
        for (int i = 0; i < c.frames; ++i) {
            const Bytes w = Words({100 * i + 100});
            input.insert(input.end(), w.begin(), w.end());
        }
        const Conversion result = Convert(Pcm(1, c.from, 16), Pcm(1, c.to, 16), input);
        std::vector<int> picked;
        for (int v : ToWords(result.output))
            picked.push_back(v / 100 - 1);
        EXPECT_EQ(picked, c.picked) << c.from << " -> " << c.to;
    }
}

TEST(Acm, RateChangeFrameCountsOnLongerData) {
    struct Case {
        Format src, dst;
        DWORD bytes, produced;
    };
    const Case cases[] = {
        {Pcm(2, 44100, 16), Pcm(1, 22050, 8), 176400, 22050},
        {Pcm(2, 8000, 16), Pcm(2, 11025, 16), 176404, 243104},
        {Pcm(2, 8000, 16), Pcm(2, 22050, 16), 176400, 486200},
        {Pcm(2, 48000, 16), Pcm(2, 44100, 16), 176400, 162068},
        {Pcm(2, 7000, 16), Pcm(2, 11025, 16), 176400, 277828},
        {Pcm(2, 44100, 16), Pcm(2, 7000, 16), 4000, 632},
        {Pcm(1, 22050, 8), Pcm(2, 48000, 16), 22050, 192000},
        // The estimate allows one frame more than the source yields here.
        {Pcm(2, 8000, 16), Pcm(1, 11025, 8), 100, 34},
    };
    for (const Case& c : cases) {
        Bytes input(c.bytes);
        for (std::size_t i = 0; i < input.size(); ++i)
            input[i] = static_cast<std::uint8_t>(i * 7);
        const Conversion result = Convert(c.src, c.dst, input);
        EXPECT_EQ(result.output.size(), c.produced) << c.bytes;
    }
    // A larger destination is filled as far as the source reaches.
    const Conversion larger = Convert(Pcm(2, 8000, 16), Pcm(2, 11025, 16), Bytes(16, 1), 400);
    EXPECT_EQ(larger.output.size(), 24u);
    EXPECT_EQ(larger.sourceUsed, 16u);
    // A smaller one is filled with whole frames.
    const Conversion smaller = Convert(Pcm(1, 8000, 16), Pcm(2, 8000, 16), Bytes(100, 1), 99);
    EXPECT_EQ(smaller.output.size(), 96u);
    EXPECT_EQ(smaller.sourceUsed, 48u);
}

TEST(Acm, HeadersMustBePreparedAndKeptAsPrepared) {
    OpenStream stream(Pcm(1, 8000, 16), Pcm(1, 8000, 8));
    ASSERT_EQ(stream.result, MMSYSERR_NOERROR);
    std::uint8_t src[16] = {}, dst[16] = {};
    ACMSTREAMHEADER h;
    std::memset(&h, 0, sizeof(h));
    h.cbStruct = sizeof(h);
    h.pbSrc = src;
    h.cbSrcLength = 16;
    h.pbDst = dst;
    h.cbDstLength = 8;
    EXPECT_EQ(acmStreamConvert(stream.handle, &h, 0), ACMERR_UNPREPARED);
    h.cbStruct = sizeof(h) - 4;
    EXPECT_EQ(acmStreamPrepareHeader(stream.handle, &h, 0), MMSYSERR_INVALPARAM);
    h.cbStruct = sizeof(h);
    EXPECT_EQ(acmStreamPrepareHeader(stream.handle, &h, 1), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamPrepareHeader(stream.handle, &h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(h.fdwStatus, static_cast<DWORD>(ACMSTREAMHEADER_STATUSF_PREPARED));

    h.cbDstLength = 12; // longer than prepared
    EXPECT_EQ(acmStreamConvert(stream.handle, &h, 0), MMSYSERR_INVALPARAM);
    h.cbDstLength = 4; // shorter is allowed: fewer frames
    EXPECT_EQ(acmStreamConvert(stream.handle, &h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(h.cbSrcLengthUsed, 8u);
    EXPECT_EQ(h.cbDstLengthUsed, 4u);
    h.cbDstLength = 8;
    h.pbSrc = src + 2;
    EXPECT_EQ(acmStreamConvert(stream.handle, &h, 0), MMSYSERR_INVALPARAM);
    h.pbSrc = src;

    h.cbSrcLength = 15; // a shorter source is allowed; whole frames are used
    EXPECT_EQ(acmStreamConvert(stream.handle, &h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    EXPECT_EQ(h.cbSrcLengthUsed, 14u);
    EXPECT_EQ(h.cbDstLengthUsed, 7u);
    EXPECT_EQ(h.fdwStatus,
              static_cast<DWORD>(ACMSTREAMHEADER_STATUSF_PREPARED | ACMSTREAMHEADER_STATUSF_DONE));

    EXPECT_EQ(acmStreamUnprepareHeader(stream.handle, &h, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(stream.handle, &h, 0), ACMERR_UNPREPARED);
}

TEST(Acm, ReportsBadHandlesAndFlags) {
    HACMSTREAM handle = nullptr;
    ASSERT_EQ(acmStreamOpen(&handle, nullptr, Pcm(1, 8000, 16).get(), Pcm(1, 8000, 8).get(),
                            nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    DWORD output = 0;
    EXPECT_EQ(acmStreamSize(handle, 100, &output, 2), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamSize(handle, 100, &output, 5), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamClose(handle, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(handle, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamClose(nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamSize(nullptr, 100, &output, 0), MMSYSERR_INVALHANDLE);

    Format suggestion;
    EXPECT_EQ(acmFormatSuggest(nullptr, Ima(2, 22050).get(), suggestion.get(), 64, 0x100),
              MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmFormatSuggest(reinterpret_cast<HACMDRIVER>(std::uintptr_t{0x1234}),
                               Ima(2, 22050).get(), suggestion.get(), 64, 0),
              MMSYSERR_INVALHANDLE);
}

TEST(Acm, SuggestsSixteenBitPcmForCodedSources) {
    const DWORD kKeep = ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                        ACM_FORMATSUGGESTF_NSAMPLESPERSEC;
    struct Case {
        const char* what;
        Format src;
        DWORD flags;
        int channels; // of the template (tag 1, 11025 Hz, 8 bits)
        MMRESULT result;
        int outChannels;
        DWORD outRate;
        int outBits;
    };
    const Case cases[] = {
        {"ima, keep tag/channels/rate", Ima(2, 22050), kKeep, 2, 0, 2, 11025, 16},
        {"ima mono, keep", Ima(1, 44100), kKeep, 1, 0, 1, 11025, 16},
        {"ima, nothing kept", Ima(2, 22050), 0, 1, 0, 2, 22050, 16},
        {"ima, keep bits", Ima(1, 22050), kKeep | ACM_FORMATSUGGESTF_WBITSPERSAMPLE, 1, 0, 1, 11025,
         8},
        {"ms adpcm, keep", MsAdpcm(2, 22050), kKeep, 2, 0, 2, 11025, 16},
        {"ms adpcm, keep channels", MsAdpcm(2, 22050), ACM_FORMATSUGGESTF_NCHANNELS, 1, 0, 1, 22050,
         16},
        {"a-law, keep", G711(WAVE_FORMAT_ALAW, 2, 22050), kKeep, 2, 0, 2, 11025, 16},
        {"a-law, keep rate", G711(WAVE_FORMAT_ALAW, 2, 22050), ACM_FORMATSUGGESTF_NSAMPLESPERSEC, 1,
         0, 2, 11025, 16},
        {"mu-law, nothing kept", G711(WAVE_FORMAT_MULAW, 2, 22050), 0, 1, 0, 2, 22050, 16},
        {"pcm 16, keep", Pcm(2, 22050, 16), kKeep, 2, 0, 2, 11025, 16},
        {"pcm 16, nothing kept", Pcm(2, 22050, 16), 0, 1, 0, 2, 22050, 16},
        {"pcm 8, nothing kept", Pcm(2, 22050, 8), 0, 1, 0, 2, 22050, 8},
        {"three channels kept", Ima(2, 22050), kKeep, 3, ACMERR_NOTPOSSIBLE, 0, 0, 0},
        {"no channels kept", Ima(2, 22050), kKeep, 0, ACMERR_NOTPOSSIBLE, 0, 0, 0},
        {"pcm 12 bits", Pcm(2, 22050, 12), 0, 1, ACMERR_NOTPOSSIBLE, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Format dst = Pcm(c.channels, 11025, 8);
        Format src = c.src;
        ASSERT_EQ(acmFormatSuggest(nullptr, src.get(), dst.get(), sizeof(dst.bytes), c.flags),
                  c.result)
            << c.what;
        if (c.result != MMSYSERR_NOERROR)
            continue;
        const WAVEFORMATEX* w = dst.get();
        EXPECT_EQ(w->wFormatTag, WAVE_FORMAT_PCM) << c.what;
        EXPECT_EQ(w->nChannels, c.outChannels) << c.what;
        EXPECT_EQ(w->nSamplesPerSec, c.outRate) << c.what;
        EXPECT_EQ(w->wBitsPerSample, c.outBits) << c.what;
        EXPECT_EQ(w->nBlockAlign, c.outChannels * c.outBits / 8) << c.what;
        EXPECT_EQ(w->nAvgBytesPerSec, c.outRate * w->nBlockAlign) << c.what;
        EXPECT_EQ(w->cbSize, 0) << c.what;
    }
    // The engine's two-step conversion: an 18-byte record, zero but for tag,
    // channels and rate.
    Format intermediate;
    intermediate.get()->wFormatTag = WAVE_FORMAT_PCM;
    intermediate.get()->nChannels = 2;
    intermediate.get()->nSamplesPerSec = 22050;
    EXPECT_EQ(acmFormatSuggest(nullptr, Ima(2, 22050).get(), intermediate.get(),
                               sizeof(WAVEFORMATEX), kKeep),
              MMSYSERR_NOERROR);
    EXPECT_EQ(std::memcmp(intermediate.get(), Pcm(2, 22050, 16).get(), sizeof(WAVEFORMATEX)), 0);
}

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// IMA ADPCM block headers: predictor, step index, reserved byte.
Bytes ImaHeader(int predictor, int index) {
    return Concat({Words({predictor}), {static_cast<std::uint8_t>(index), 0}});
}

// Microsoft ADPCM mono block header: coefficient pair, step, two samples.
Bytes MsHeader(int predictor, int delta, int sample1, int sample2) {
    return Concat({{static_cast<std::uint8_t>(predictor)},
                   Words({delta}),
                   Words({sample1}),
                   Words({sample2})});
}

} // namespace

TEST(Acm, DecodesImaAdpcmBlocks) {
    // Mono, 12-byte blocks of 17 samples; every nibble once, then a block
    // that runs into the 16-bit limits.
    const Bytes mono = Concat({ImaHeader(1000, 20),
                               {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE},
                               ImaHeader(-2000, 60),
                               {0x7F, 0x07, 0x88, 0xF0, 0x77, 0x77, 0x77, 0x77}});
    const std::vector<int> monoExpected = {
        1000,  1006,  1022,  1047,  1078,  1116,  1172,  1269,  1468,  1440,  1362,  1244,
        1094,  918,   658,   206,   -719,  -2000, -6260, 2871,  22449, 25247, 22704, 20392,
        22494, -6172, 32767, 32767, 32767, 32767, 32767, 32767, 32767, 32767};
    const Conversion m = Convert(Ima(1, 8000, 12), Pcm(1, 8000, 16), mono);
    EXPECT_EQ(ToWords(m.output), monoExpected);

    // 8-bit output is the high byte of the 16-bit samples, moved by 128.
    const Conversion m8 = Convert(Ima(1, 8000, 12), Pcm(1, 8000, 8), mono);
    ASSERT_EQ(m8.output.size(), monoExpected.size());
    for (std::size_t i = 0; i < monoExpected.size(); ++i)
        EXPECT_EQ(m8.output[i], ((monoExpected[i] + 32768) >> 8)) << i;

    // Stereo, 24-byte blocks of 17 frames: groups of 4 bytes of the left
    // channel, then 4 of the right.
    const Bytes stereo = Concat({ImaHeader(500, 10),
                                 ImaHeader(-500, 40),
                                 {0x21, 0x43, 0x65, 0x87},
                                 {0xF9, 0xCA, 0x3B, 0x0D},
                                 {0x11, 0x22, 0x33, 0x44},
                                 {0x55, 0x66, 0x77, 0x88}});
    const Conversion s = Convert(Ima(2, 22050, 24), Pcm(2, 22050, 16), stereo);
    EXPECT_EQ(
        ToWords(s.output),
        (std::vector<int>{500, -500,  506, -626,  516, -1200, 530, -1611, 545,  -2283, 568, -2916,
                          608, -2341, 691, -3162, 679, -3053, 712, -1959, 742,  -357,  787, 2416,
                          828, 7330,  880, 17375, 926, 32767, 982, 29690, 1049, 26892}));
}

TEST(Acm, DecodesMicrosoftAdpcmBlocks) {
    // Mono, 15-byte blocks of 18 samples, through several coefficient pairs.
    const Bytes mono = Concat({MsHeader(5, 300, -1000, 1234),
                               {0x1F, 0x2E, 0x3D, 0x4C, 0x5B, 0x6A, 0x79, 0x88},
                               MsHeader(6, 16, 32000, 31000),
                               {0x77, 0x77, 0x77, 0x77, 0x70, 0x08, 0x99, 0xFF},
                               MsHeader(3, 1000, -300, -333),
                               {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}});
    const Conversion m = Convert(MsAdpcm(1, 8000, 15, 18), Pcm(1, 8000, 16), mono);
    EXPECT_EQ(
        ToWords(m.output),
        (std::vector<int>{1234,   -1000,  -2499,  -3946,  -4578,  -5451,  -5493,  -5963,  -5627,
                          -6014,  -5114,  -6087,  -3362,  -7935,  4434,   -23862, -32768, -32768,
                          31000,  32000,  21018,  3449,   -13129, -21703, -17680, 1353,   32767,
                          32767,  32767,  20479,  1663,   -32768, -32768, -32768, -32768, -32768,
                          -333,   -300,   692,    2240,   4271,   6659,   10402,  17782,  32767,
                          -24164, -32768, -32768, -32768, -32768, -32768, -32768, -32768, -32768}));

    // Stereo, 22-byte blocks of 10 frames; each header field for both
    // channels, then one byte per frame (left in the high nibble).
    const Bytes stereo = Concat({{1, 2},
                                 Words({20, 500}),
                                 Words({100, -100}),
                                 Words({50, -7000}),
                                 {0x81, 0x7E, 0xC3, 0x3C, 0x0F, 0xF0, 0x55, 0xAA}});
    const std::vector<int> stereoExpected = {50,   -7000, 100,  -100, -10,   500,  300,
                                             -898, 38,    1209, 289,  -1448, 540,  -434,
                                             654,  0,     1383, 1745, 936,   -3342};
    const Conversion s = Convert(MsAdpcm(2, 44100, 22), Pcm(2, 44100, 16), stereo);
    EXPECT_EQ(ToWords(s.output), stereoExpected);
    const Conversion s8 = Convert(MsAdpcm(2, 44100, 22), Pcm(2, 44100, 8), stereo);
    ASSERT_EQ(s8.output.size(), stereoExpected.size());
    for (std::size_t i = 0; i < stereoExpected.size(); ++i)
        EXPECT_EQ(s8.output[i], ((stereoExpected[i] + 32768) >> 8)) << i;

    // A block declared shorter than its bytes allow yields the declared samples.
    const Conversion shorter = Convert(MsAdpcm(1, 8000, 15, 10), Pcm(1, 8000, 16), mono);
    EXPECT_EQ(ToWords(shorter.output),
              (std::vector<int>{1234,   -1000, -2499, -3946, -4578, -5451, -5493,  -5963,
                                -5627,  -6014, 31000, 32000, 21018, 3449,  -13129, -21703,
                                -17680, 1353,  32767, 32767, -333,  -300,  692,    2240,
                                4271,   6659,  10402, 17782, 32767, -24164}));
}

TEST(Acm, DecodesOnlyWholeBlocks) {
    Bytes data(256 * 2 + 100);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 13);
    data[2] = data[258] = 30; // step indexes in range
    data[3] = data[259] = 0;
    const Conversion ima = Convert(Ima(1, 8000), Pcm(1, 8000, 16), data);
    EXPECT_EQ(ima.estimate, 3 * 1010u);
    EXPECT_EQ(ima.output.size(), 2 * 1010u);
    EXPECT_EQ(ima.sourceUsed, 512u);
    data[0] = data[256] = 4; // coefficient pairs in range
    const Conversion ms = Convert(MsAdpcm(1, 8000), Pcm(1, 8000, 16), data);
    EXPECT_EQ(ms.estimate, 3 * 1000u);
    EXPECT_EQ(ms.output.size(), 2 * 1000u);
    EXPECT_EQ(ms.sourceUsed, 512u);
}

TEST(Acm, DecodesG711) {
    Bytes codes(256);
    for (int i = 0; i < 256; ++i)
        codes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    struct Case {
        int tag;
        std::uint8_t code;
        int value;
    };
    const Case anchors[] = {
        {WAVE_FORMAT_ALAW, 0xD5, 8},       {WAVE_FORMAT_ALAW, 0x55, -8},
        {WAVE_FORMAT_ALAW, 0xAA, 32256},   {WAVE_FORMAT_ALAW, 0x2A, -32256},
        {WAVE_FORMAT_ALAW, 0x80, 5504},    {WAVE_FORMAT_MULAW, 0xFF, 0},
        {WAVE_FORMAT_MULAW, 0x7F, 0},      {WAVE_FORMAT_MULAW, 0x80, 32124},
        {WAVE_FORMAT_MULAW, 0x00, -32124}, {WAVE_FORMAT_MULAW, 0xF0, 120},
    };
    for (int tag : {WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW}) {
        const Conversion c = Convert(G711(tag, 1, 8000), Pcm(1, 8000, 16), codes);
        ASSERT_EQ(c.output.size(), 512u);
        const std::vector<int> values = ToWords(c.output);
        for (const Case& a : anchors) {
            if (a.tag == tag) {
                EXPECT_EQ(values[a.code], a.value) << tag << " " << int{a.code};
            }
        }
        EXPECT_EQ(testdata::Hash(c.output), tag == WAVE_FORMAT_ALAW ? 318465605u : 1901958568u)
            << tag;
    }
    // Stereo data decodes sample by sample.
    const Conversion stereo =
        Convert(G711(WAVE_FORMAT_MULAW, 2, 22050), Pcm(2, 22050, 16), {0x80, 0x00, 0xF0, 0xFF});
    EXPECT_EQ(ToWords(stereo.output), (std::vector<int>{32124, -32124, 120, 0}));
}

TEST(Acm, TwentyFourBitPcmKeepsItsHighBits) {
    // Three 24-bit samples: 0x55300B, 0xC49F7A (negative), 0x7FFFFF.
    const Bytes mono = {0x0B, 0x30, 0x55, 0x7A, 0x9F, 0xC4, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(ToWords(Convert(Pcm(1, 8000, 24), Pcm(1, 8000, 16), mono).output),
              (std::vector<int>{0x5530, -15201, 32767}));
    EXPECT_EQ(Convert(Pcm(1, 8000, 24), Pcm(2, 8000, 8), mono).output,
              (Bytes{0xD5, 0xD5, 0x44, 0x44, 0xFF, 0xFF}));
    // Stereo to mono adds the whole samples and keeps the high bits of the
    // sum, wrapping around: 0x744E6C + 0x251392 does not fit 16 bits.
    const Bytes stereo = {0x6C, 0x4E, 0x74, 0x92, 0x13, 0x25, 0x0B, 0x30, 0x55, 0x7A, 0x9F, 0xC4};
    EXPECT_EQ(ToWords(Convert(Pcm(2, 8000, 24), Pcm(1, 8000, 16), stereo, 4).output),
              (std::vector<int>{-26271, 6607}));
    EXPECT_EQ(Convert(Pcm(2, 8000, 24), Pcm(1, 8000, 8), stereo, 2).output, (Bytes{0x19, 0x99}));
    // Sizes are cut to frames by masking the bits below the block alignment,
    // so the estimate for these two 6-byte frames has room for one.
    EXPECT_EQ(Convert(Pcm(2, 8000, 24), Pcm(1, 8000, 16), stereo).estimate, 2u);
    // A partial frame is left.
    const Conversion partial = Convert(Pcm(1, 8000, 24), Pcm(1, 8000, 16), Bytes(25, 1));
    EXPECT_EQ(partial.estimate, 16u);
    EXPECT_EQ(partial.sourceUsed, 24u);
}

TEST(Acm, MoreThanTwoChannelsAreTakenAsStereo) {
    // Two samples a frame from the start of the data, while frames are
    // counted in the records' block alignments: four 3-channel frames give
    // four stereo pairs, the first 16 of the 24 bytes.
    Bytes data(24);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    const Conversion toStereo = Convert(Pcm(3, 8000, 16), Pcm(2, 8000, 16), data);
    EXPECT_EQ(toStereo.output, Bytes(data.begin(), data.begin() + 16));
    EXPECT_EQ(toStereo.sourceUsed, 24u);
    EXPECT_EQ(ToWords(Convert(Pcm(3, 8000, 16), Pcm(1, 8000, 16), data).output),
              (std::vector<int>{32767, -11384, -1360, 8920}));
    // The output is reported in its own block alignment, but only two
    // samples a frame are written: the rest of the buffer is not touched.
    const Conversion toThree = Convert(Pcm(2, 8000, 16), Pcm(3, 8000, 16), Bytes(16, 0x11), 32);
    EXPECT_EQ(toThree.output.size(), 24u);
    EXPECT_EQ(toThree.output, Concat({Bytes(16, 0x11), Bytes(8, 0xEE)}));
    // Sizes cut to frames by masking, which leaves 50 where 48 would be whole.
    OpenStream stream(Pcm(3, 11025, 16), Pcm(1, 8000, 16));
    ASSERT_EQ(stream.result, MMSYSERR_NOERROR);
    DWORD size = 0;
    EXPECT_EQ(acmStreamSize(stream.handle, 12, &size, ACM_STREAMSIZEF_DESTINATION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(size, 50u);
}

TEST(Acm, MicrosoftAdpcmStepSizesGrowWithoutLimit) {
    // Random nibbles make the step size grow until its products wrap around
    // 32 bits; samples are clipped, the step never is.
    Bytes data = testdata::RandomBytes(8 * 256, 5);
    for (std::size_t block = 0; block < 8; ++block)
        data[block * 256] %= 7;
    const Conversion c = Convert(MsAdpcm(1, 8000), Pcm(1, 8000, 16), data);
    const std::vector<int> values = ToWords(c.output);
    ASSERT_EQ(values.size(), 4000u);
    EXPECT_EQ(std::vector<int>(values.begin() + 20, values.begin() + 26),
              (std::vector<int>{32767, 32767, 20383, 1320, -16182, -25654}));
    EXPECT_EQ(testdata::Hash(c.output), 3013178028u);
    // The record's coefficient pairs do not count: the standard seven do.
    Format other = MsAdpcm(1, 8000);
    other.PutWord(22, 100);
    EXPECT_EQ(Convert(other, Pcm(1, 8000, 16), data).output, c.output);
}

TEST(Acm, DecodesGsm610) {
    const Bytes data = testdata::RandomBytes(3 * 65 + 10, 11);
    const Conversion c = Convert(Gsm(8000), Pcm(1, 8000, 16), data);
    EXPECT_EQ(c.estimate, 3 * 640u);
    EXPECT_EQ(c.sourceUsed, 3 * 65u);
    ASSERT_EQ(c.output.size(), 3 * 640u);
    EXPECT_EQ(testdata::Hash(c.output), 1464705406u);
    // Less than a block has a size of 0.
    OpenStream stream(Gsm(8000), Pcm(1, 8000, 16));
    ASSERT_EQ(stream.result, MMSYSERR_NOERROR);
    DWORD size = 1;
    EXPECT_EQ(acmStreamSize(stream.handle, 64, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 0u);
}

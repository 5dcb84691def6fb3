// Converting waves between formats through the audio compression manager:
// ConvertWaveData and the adapter's ConvertToFormat and ConvertToPCM.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "WaveBytes.h"
#include "wave/WaveACM.h"
#include "wave/WaveStorage.h"

using namespace wavetest;

namespace {

// A format record with its extra bytes.
struct Record {
    Bytes bytes;
    const WAVEFORMATEX* get() const { return reinterpret_cast<const WAVEFORMATEX*>(bytes.data()); }
};

Record Extended(WORD tag, WORD channels, DWORD rate, WORD block, WORD bits, const Bytes& extra) {
    return Record{CodedRecord(tag, channels, rate, rate * block, block, bits, extra)};
}

// IMA ADPCM, stereo, 24-byte blocks of 17 frames.
Record ImaStereo(DWORD rate) {
    Bytes samplesPerBlock;
    Put16(samplesPerBlock, 17);
    return Extended(WAVE_FORMAT_IMA_ADPCM, 2, rate, 24, 4, samplesPerBlock);
}

Bytes ImaStereoBlock(int left, int right) {
    Bytes b;
    Put16(b, static_cast<std::uint16_t>(left));
    b.insert(b.end(), {10, 0});
    Put16(b, static_cast<std::uint16_t>(right));
    b.insert(b.end(), {40, 0, 0x21, 0x43, 0x65, 0x87, 0xF9, 0xCA, 0x3B, 0x0D, 0x11, 0x22, 0x33,
                       0x44, 0x55, 0x66, 0x77, 0x88});
    return b;
}

Record G711(WORD tag, WORD channels, DWORD rate) {
    return Extended(tag, channels, rate, channels, 8, {});
}

Record PcmRecord(TPCMFormat member) {
    return Record{FormatBytes(Pcm(member))};
}

Bytes Join3(const Bytes& a, const Bytes& b, const Bytes& c) {
    Bytes all = a;
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    return all;
}

Record Unknown() {
    return Extended(0x1234, 1, 8000, 1, 8, {});
}

void MakeWave(TWave& wave, const Record& format, const Bytes& data, bool withFact = false) {
    std::vector<Bytes> chunks = {Chunk("fmt ", format.bytes)};
    if (withFact) {
        Bytes samples;
        Put32(samples, 1234);
        chunks.push_back(Chunk("fact", samples));
    }
    chunks.push_back(Chunk("data", data));
    Load(wave, Riff(chunks));
}

void MakeWave(TWave& wave, const WAVEFORMATEX& format, const Bytes& data) {
    MakeWave(wave, Record{FormatBytes(format)}, data);
}

// Counts the change events of a wave.
struct Events {
    int before = 0, after = 0;
    explicit Events(TWaveStreamAdapter& wave) {
        wave.OnBeforeChange = [this](TWaveStreamAdapter*) { ++before; };
        wave.OnAfterChange = [this](TWaveStreamAdapter*) { ++after; };
    }
};

// A stream that is not a memory stream, so the adapter copies its data.
class VectorStream : public TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override {
        const std::int64_t n = std::max<std::int64_t>(
            0, std::min<std::int64_t>(count, static_cast<std::int64_t>(bytes.size()) - position));
        if (n > 0)
            std::memcpy(buffer, bytes.data() + position, static_cast<std::size_t>(n));
        position += n;
        return n;
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (position + count > static_cast<std::int64_t>(bytes.size()))
            bytes.resize(static_cast<std::size_t>(position + count));
        std::memcpy(bytes.data() + position, buffer, static_cast<std::size_t>(count));
        position += count;
        return count;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        const std::int64_t base = origin == soBeginning ? 0
                                  : origin == soCurrent ? position
                                                        : static_cast<std::int64_t>(bytes.size());
        position = base + offset;
        return position;
    }
    void SetSize(std::int64_t size) override {
        bytes.resize(static_cast<std::size_t>(size));
        position = std::min(position, size);
    }

    Bytes bytes;
    std::int64_t position = 0;
};

Bytes Frames16(std::initializer_list<std::int16_t> values) {
    return Samples16(values);
}

} // namespace

TEST(WaveACM, ConvertWaveDataReportsWhatTheConversionProduced) {
    // 16-bit stereo 44100 Hz -> 8-bit mono 22050 Hz: every second frame, the
    // channels added (clipped) and cut to their high byte.
    const Bytes source = Frames16({-3000, 0, -2000, 500, -1000, 1000, 0, 1500, 1000, 2000, 2000,
                                   2500, 3000, 3000, 30000, 10000});
    void* out = reinterpret_cast<void*>(1);
    std::uint32_t size = 99;
    ASSERT_TRUE(ConvertWaveData(PcmRecord(Stereo16bit44100Hz).get(), source.data(),
                                static_cast<std::uint32_t>(source.size()),
                                PcmRecord(Mono8bit22050Hz).get(), out, size));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(Bytes(static_cast<std::uint8_t*>(out), static_cast<std::uint8_t*>(out) + size),
              (Bytes{122, 133, 145, 255}));
    std::free(out);

    // No driver for the pair: nothing allocated.
    const Bytes coded(64, 0x55);
    out = reinterpret_cast<void*>(1);
    size = 99;
    EXPECT_FALSE(ConvertWaveData(Unknown().get(), coded.data(), 64,
                                 PcmRecord(Mono16bit8000Hz).get(), out, size));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(size, 0u);

    // Less than one ADPCM block has no size.
    EXPECT_FALSE(ConvertWaveData(ImaStereo(8000).get(), coded.data(), 20,
                                 PcmRecord(Stereo16bit8000Hz).get(), out, size));
    EXPECT_EQ(out, nullptr);

    // A conversion that yields nothing fails, with an empty block.
    EXPECT_FALSE(ConvertWaveData(PcmRecord(Mono16bit44100Hz).get(), source.data(), 2,
                                 PcmRecord(Mono16bit8000Hz).get(), out, size));
    EXPECT_EQ(size, 0u);
    std::free(out);
}

TEST(WaveACM, SameFormatIsDoneWithoutTouchingTheWave) {
    TWave wave;
    MakeWave(wave, Pcm(Stereo16bit44100Hz), Ramp(64));
    const Bytes before = StreamBytes(wave);
    Events events(wave);
    EXPECT_TRUE(wave.ConvertToPCM(Stereo16bit44100Hz));
    EXPECT_TRUE(wave.ConvertToFormat(PcmRecord(Stereo16bit44100Hz).get()));
    EXPECT_EQ(StreamBytes(wave), before);
    EXPECT_EQ(events.before, 0);
}

TEST(WaveACM, RefusalsLeaveTheWaveAsItWas) {
    struct Case {
        const char* what;
        Record format;
        Bytes data;
        TPCMFormat target;
    };
    const Case cases[] = {
        {"nonePCM", Record{FormatBytes(Pcm(Mono16bit8000Hz))}, Ramp(16), nonePCM},
        {"out of range member", Record{FormatBytes(Pcm(Mono16bit8000Hz))}, Ramp(16),
         static_cast<TPCMFormat>(21)},
        {"empty data", Record{FormatBytes(Pcm(Mono16bit8000Hz))}, {}, Mono8Bit8000Hz},
        {"no driver", Unknown(), Ramp(16), Mono16bit8000Hz},
        {"less than one block", ImaStereo(8000), Ramp(20), Stereo16bit8000Hz},
        {"nothing produced", Record{FormatBytes(Pcm(Mono16bit44100Hz))}, Ramp(2), Mono16bit8000Hz},
    };
    for (const Case& c : cases) {
        TWave wave;
        MakeWave(wave, c.format, c.data);
        const Bytes before = StreamBytes(wave);
        Events events(wave);
        EXPECT_FALSE(wave.ConvertToPCM(c.target)) << c.what;
        EXPECT_EQ(StreamBytes(wave), before) << c.what;
        EXPECT_EQ(events.before, 0) << c.what;
    }
    TWave empty;
    EXPECT_FALSE(empty.ConvertToPCM(Mono16bit8000Hz));
    EXPECT_FALSE(empty.ConvertToFormat(nullptr));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(WaveACM, RewritesTheWaveInTheNewFormat) {
    // 16-bit stereo 44100 Hz -> 8-bit mono 22050 Hz, the channels averaged
    // (never summed and clipped); the fact chunk goes.
    TWave wave;
    MakeWave(wave, Record{FormatBytes(Pcm(Stereo16bit44100Hz))},
             Frames16({-3000, 0, -2000, 500, -1000, 1000, 0, 1500, 1000, 2000, 2000, 2500, 3000,
                       3000, 30000, 10000}),
             true);
    Events events(wave);
    ASSERT_TRUE(wave.ConvertToPCM(Mono8bit22050Hz));
    EXPECT_EQ(StreamBytes(wave), WaveFile(Pcm(Mono8bit22050Hz), {125, 131, 137, 206}));
    EXPECT_EQ(events.before, 1);
    EXPECT_GE(events.after, 1);

    // 8-bit mono 8000 Hz -> 16-bit stereo 11025 Hz: the nearest frames, rescaled.
    TWave up;
    MakeWave(up, Pcm(Mono8Bit8000Hz), {0, 64, 128, 255});
    ASSERT_TRUE(up.ConvertToPCM(Stereo16bit11025Hz));
    EXPECT_EQ(DataOf(up),
              Frames16({-32768, -32768, -16384, -16384, -16384, -16384, 0, 0, 32512, 32512}));
    EXPECT_TRUE(up.HasFormat(PcmRecord(Stereo16bit11025Hz).get()));

    // A-law, straight to 16-bit PCM of the same layout.
    TWave alaw;
    MakeWave(alaw, G711(WAVE_FORMAT_ALAW, 2, 11025), {0xD5, 0x55, 0xAA, 0x2A});
    ASSERT_TRUE(alaw.ConvertToPCM(Stereo16bit11025Hz));
    EXPECT_EQ(DataOf(alaw), Frames16({8, -8, 32256, -32256}));
}

TEST(WaveACM, TwoStepConversionEqualsTheTwoStepsTakenByHand) {
    // No driver turns stereo IMA ADPCM into 8-bit PCM or changes its rate:
    // the conversion goes through 16-bit PCM of the source's layout.
    const Bytes blocks =
        Join3(ImaStereoBlock(500, -500), ImaStereoBlock(-20000, 20000), ImaStereoBlock(0, 32767));
    for (TPCMFormat target : {Stereo8bit22050Hz, Mono8bit11025Hz, Mono16bit48000Hz}) {
        TWave direct;
        MakeWave(direct, ImaStereo(22050), blocks);
        ASSERT_TRUE(direct.ConvertToPCM(target)) << target;

        TWave byHand;
        MakeWave(byHand, ImaStereo(22050), blocks);
        ASSERT_TRUE(byHand.ConvertToPCM(Stereo16bit22050Hz));
        EXPECT_EQ(byHand.DataBytes(), 3 * 17 * 4u);
        ASSERT_TRUE(byHand.ConvertToPCM(target));

        EXPECT_EQ(StreamBytes(direct), StreamBytes(byHand)) << target;
        EXPECT_TRUE(direct.HasFormat(PcmRecord(target).get()));
    }
    // The first frames of the 8-bit stereo result: the decoded headers.
    TWave eight;
    MakeWave(eight, ImaStereo(22050), blocks);
    ASSERT_TRUE(eight.ConvertToPCM(Stereo8bit22050Hz));
    const Bytes data = DataOf(eight);
    ASSERT_EQ(data.size(), 3 * 17 * 2u);
    EXPECT_EQ(data[0], (500 + 32768) >> 8);
    EXPECT_EQ(data[1], (-500 + 32768) >> 8);
    EXPECT_EQ(data[34], (-20000 + 32768) >> 8);
    EXPECT_EQ(data[35], (20000 + 32768) >> 8);
}

TEST(WaveACM, ConvertsWavesOverAnyStream) {
    auto* stream = new VectorStream;
    stream->bytes = WaveFile(Pcm(Mono16bit8000Hz), Frames16({-32768, -1, 0, 256, 32767, 128}));
    TWaveStreamAdapter wave(stream, true);
    ASSERT_TRUE(wave.ConvertToPCM(Mono8Bit8000Hz));
    EXPECT_EQ(stream->bytes, WaveFile(Pcm(Mono8Bit8000Hz), {0, 127, 128, 129, 255, 128}));
    EXPECT_FALSE(wave.ConvertToFormat(Unknown().get()));
    EXPECT_EQ(stream->bytes, WaveFile(Pcm(Mono8Bit8000Hz), {0, 127, 128, 129, 255, 128}));
}

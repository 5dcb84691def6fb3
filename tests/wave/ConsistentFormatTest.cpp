// Format records from damaged files never reach the audio compression
// manager: the system's drivers trust a record's fields (some divide by them,
// some decode as many samples per block as the record claims).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "WaveBytes.h"
#include "wave/WaveACM.h"
#include "wave/WaveStorage.h"

using namespace wavetest;

namespace {

Bytes Words(const std::vector<int>& values) {
    Bytes b;
    for (const int v : values)
        Put16(b, static_cast<std::uint16_t>(v));
    return b;
}

// Microsoft ADPCM's extra bytes: samples per block, then the coefficients.
Bytes MsAdpcmExtra(int samplesPerBlock, int coefficientCount, int coefficientsGiven) {
    std::vector<int> words = {samplesPerBlock, coefficientCount};
    const int standard[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                {240, 0}, {460, -208}, {392, -232}};
    for (int i = 0; i < coefficientsGiven; ++i) {
        words.push_back(standard[i % 7][0]);
        words.push_back(standard[i % 7][1]);
    }
    return Words(words);
}

const WAVEFORMATEX* AsFormat(const Bytes& record) {
    return reinterpret_cast<const WAVEFORMATEX*>(record.data());
}

struct Case {
    const char* name;
    Bytes record;
    bool consistent;
};

std::vector<Case> Cases() {
    return {
        {"PCM 16-bit stereo", CodedRecord(1, 2, 44100, 176400, 4, 16), true},
        {"PCM 24-bit mono", CodedRecord(1, 1, 8000, 24000, 3, 24), true},
        {"PCM without channels", CodedRecord(1, 0, 8000, 0, 0, 8), false},
        {"PCM without a rate", CodedRecord(1, 1, 0, 0, 1, 8), false},
        {"PCM whose block disagrees with its channels",
         CodedRecord(1, 50177, 0x561F0040, 0, 0x8001, 8), false},
        {"PCM whose byte rate disagrees", CodedRecord(1, 1, 8000, 8001, 1, 8), false},
        {"PCM of 12 bits", CodedRecord(1, 1, 8000, 16000, 2, 12), false},
        {"IMA ADPCM, 505 samples in 256-byte blocks",
         CodedRecord(0x11, 1, 8000, 4055, 256, 4, Words({505})), true},
        {"IMA ADPCM stereo, 17 samples in 24-byte blocks",
         CodedRecord(0x11, 2, 8000, 8000, 24, 4, Words({17})), true},
        {"IMA ADPCM with a block alignment of 0",
         CodedRecord(0x11, 1, 8000, 0x110FD7, 0, 4, Words({505})), false},
        {"IMA ADPCM claiming more samples than a block holds",
         CodedRecord(0x11, 1, 8000, 4055, 256, 4, Words({63745})), false},
        {"IMA ADPCM blocks that end inside a word",
         CodedRecord(0x11, 1, 8000, 4055, 258, 4, Words({509})), false},
        {"IMA ADPCM without its samples per block", CodedRecord(0x11, 1, 8000, 4055, 256, 4),
         false},
        {"Microsoft ADPCM, 500 samples in 256-byte blocks",
         CodedRecord(2, 1, 11025, 5644, 256, 4, MsAdpcmExtra(500, 7, 7)), true},
        {"Microsoft ADPCM claiming more samples than a block holds",
         CodedRecord(2, 1, 11025, 5644, 256, 4, MsAdpcmExtra(501, 7, 7)), false},
        {"Microsoft ADPCM missing coefficients",
         CodedRecord(2, 1, 11025, 5644, 256, 4, MsAdpcmExtra(500, 7, 3)), false},
        {"Microsoft ADPCM blocks smaller than the headers",
         CodedRecord(2, 2, 11025, 5644, 13, 4, MsAdpcmExtra(2, 7, 7)), false},
        {"A-law mono", CodedRecord(6, 1, 8000, 8000, 1, 8), true},
        {"u-law with 2-byte frames for one channel", CodedRecord(7, 1, 8000, 16000, 2, 8), false},
        {"GSM 6.10, whose layout its driver checks",
         CodedRecord(49, 1, 8000, 1625, 65, 0, Words({320})), true},
        {"an unknown format without a block alignment", CodedRecord(0x1234, 1, 8000, 1000, 0, 0),
         false},
    };
}

} // namespace

TEST(ConsistentFormat, RecordsAgreeWithTheirOwnLayout) {
    EXPECT_FALSE(IsConsistentFormat(nullptr));
    for (const Case& c : Cases())
        EXPECT_EQ(IsConsistentFormat(AsFormat(c.record)), c.consistent) << c.name;
}

// Each of these records crashed a system driver (a failed assertion, a
// division by zero, reads far beyond the data) when a wave in it was converted.
TEST(ConsistentFormat, ConversionRefusesInconsistentWavesAndLeavesThemAsTheyWere) {
    const Bytes data = Ramp(512);
    for (const Case& c : Cases()) {
        if (c.consistent)
            continue;
        TWave wave;
        Load(wave, Riff({Chunk("fmt ", c.record), Chunk("data", data)}));
        ASSERT_TRUE(wave.IsValidWave()) << c.name;
        const Bytes before = StreamBytes(wave);
        EXPECT_FALSE(wave.ConvertToPCM(Mono16bit8000Hz)) << c.name;
        EXPECT_FALSE(wave.ConvertToPCM(Stereo8bit44100Hz)) << c.name;
        EXPECT_EQ(StreamBytes(wave), before) << c.name;

        void* converted = &wave;
        std::uint32_t size = 1;
        const WAVEFORMATEX pcm = Pcm(Mono16bit8000Hz);
        EXPECT_FALSE(ConvertWaveData(AsFormat(c.record), data.data(), 512, &pcm, converted, size))
            << c.name;
        EXPECT_EQ(converted, nullptr) << c.name;
        EXPECT_EQ(size, 0u) << c.name;
        EXPECT_FALSE(ConvertWaveData(&pcm, data.data(), 512, AsFormat(c.record), converted, size))
            << c.name;
    }
}

#include <gtest/gtest.h>

#include "WaveBytes.h"
#include "wave/WaveStorage.h"

using namespace wavetest;

namespace {

constexpr std::uint32_t kHuge = 0xFFFFFFFFu;     // -1 as a signed number
constexpr std::uint32_t kNegative = 0x80000000u; // the most negative

// A wave holding `data` in `format`, optionally with a LIST chunk before the data.
void Make(TWave& wave, const WAVEFORMATEX& format, const Bytes& data, bool withList = false) {
    if (withList)
        Load(wave, Riff({Chunk("fmt ", FormatBytes(format)), Chunk("LIST", Ramp(6)),
                         Chunk("data", data)}));
    else
        Load(wave, WaveFile(format, data));
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t to) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(to));
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// 1000 ms of 16-bit stereo at 44100 Hz: 176400 bytes.
Bytes CdSecond() {
    Bytes b(176400);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return b;
}

} // namespace

TEST(WaveEditing, KeepRangeKeepsWholeFramesFromStartForLength) {
    const WAVEFORMATEX cd = Pcm(Stereo16bit44100Hz);
    const Bytes second = CdSecond();
    const Bytes data = Join({second, second});
    TWave wave;
    Make(wave, cd, data, true);
    ASSERT_TRUE(wave.KeepRange(1000, 500));
    EXPECT_EQ(DataOf(wave), Slice(data, 176400, 264600));
    // Only RIFF, "fmt " and "data" remain.
    EXPECT_EQ(StreamBytes(wave).size(), 46u + 88200);

    struct Case {
        std::uint32_t start, length;
        bool ok;
        std::size_t from, to; // of the 8-bit mono data 0..99 at 8000 Hz (8 bytes/ms)
    };
    const Case cases[] = {
        {0, 1, true, 0, 8},
        {2, 5, true, 16, 56},
        {10, 100, true, 80, 100}, // reaches past the end: to the end
        {0, kHuge, true, 0, 100}, // a length beyond 32 bits: to the end
        {0, kNegative, true, 0, 100},
        {12, 1, true, 96, 100}, // 12 < 12.5 ms
        {13, 1, false, 0, 0},   // start at the (rounded) duration
        {100, 1, false, 0, 0},
        {kHuge, 1, false, 0, 0}, // a negative start lies beyond the end
        {kNegative, 5, false, 0, 0},
        {0, 0, false, 0, 0},
    };
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << "+" << c.length);
        TWave small;
        Make(small, m8, Ramp(100));
        const Bytes before = StreamBytes(small);
        EXPECT_EQ(small.KeepRange(c.start, c.length), c.ok);
        if (c.ok)
            EXPECT_EQ(DataOf(small), Slice(Ramp(100), c.from, c.to));
        else
            EXPECT_EQ(StreamBytes(small), before);
    }
}

TEST(WaveEditing, CopyRangeTakesTheSourcesFormat) {
    const WAVEFORMATEX m16 = Pcm(Mono16bit8000Hz);
    TWave source, target;
    Make(source, m16, Ramp(64));
    Make(target, Pcm(Stereo8bit22050Hz), Ramp(10));
    ASSERT_TRUE(target.CopyRange(source, 1, 2)); // 16 bytes per ms
    EXPECT_TRUE(target.HasSameFormat(source));
    EXPECT_EQ(DataOf(target), Slice(Ramp(64), 16, 48));
    EXPECT_EQ(DataOf(source), Ramp(64)); // the source is only read
    TWave invalid;
    EXPECT_FALSE(target.CopyRange(invalid, 0, 1));
}

TEST(WaveEditing, DeleteRangeRemovesTheRangeAndRefusesEmptyResults) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    struct Case {
        std::uint32_t start, length;
        bool ok;
        Bytes expected;
    };
    const Bytes all = Ramp(100);
    const Case cases[] = {
        {2, 3, true, Join({Slice(all, 0, 16), Slice(all, 40, 100)})},
        {10, 50, true, Slice(all, 0, 80)},
        {1, kHuge, true, Slice(all, 0, 8)},
        {0, 0, false, all},
        {13, 1, false, all},
        {kHuge, 1, false, all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << "+" << c.length);
        TWave wave;
        Make(wave, m8, all);
        EXPECT_EQ(wave.DeleteRange(c.start, c.length), c.ok);
        EXPECT_EQ(DataOf(wave), c.expected);
    }

    // Deleting everything rewrites an empty but valid wave and says false.
    TWave cd;
    Make(cd, Pcm(Stereo16bit44100Hz), CdSecond());
    EXPECT_FALSE(cd.DeleteRange(0, 1000));
    EXPECT_TRUE(cd.IsValidWave());
    EXPECT_EQ(cd.DataBytes(), 0u);
    EXPECT_EQ(StreamBytes(cd).size(), 46u);
}

TEST(WaveEditing, TrimStartAndTrimEnd) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    const Bytes all = Ramp(100); // 12.5 ms, DurationMs 13
    TWave start;
    Make(start, m8, all);
    EXPECT_TRUE(start.TrimStart(2));
    EXPECT_EQ(DataOf(start), Slice(all, 16, 100));

    TWave end;
    Make(end, m8, all);
    EXPECT_TRUE(end.TrimEnd(3)); // DeleteRange(10, 3)
    EXPECT_EQ(DataOf(end), Slice(all, 0, 80));

    // Longer than the duration: DeleteRange(0, 13) removes everything.
    TWave whole;
    Make(whole, m8, all);
    EXPECT_FALSE(whole.TrimEnd(kHuge));
    EXPECT_TRUE(whole.IsValidWave());
    EXPECT_EQ(whole.DataBytes(), 0u);

    TWave invalid;
    EXPECT_FALSE(invalid.TrimEnd(1));
    EXPECT_FALSE(invalid.TrimStart(1));
}

TEST(WaveEditing, InsertSilenceInsertsSilentSampleValues) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    const WAVEFORMATEX s16 = Pcm(Stereo16bit8000Hz);
    struct Case {
        WAVEFORMATEX format;
        std::uint32_t position, length;
        Bytes expected;
    };
    const Bytes d = Ramp(64, 1);
    const Case cases[] = {
        {m8, 1, 1, Join({Slice(d, 0, 8), Bytes(8, 128), Slice(d, 8, 64)})},
        {m8, 0, 2, Join({Bytes(16, 128), d})},
        {m8, 500, 1, Join({d, Bytes(8, 128)})},   // beyond the end: appended
        {m8, kHuge, 1, Join({d, Bytes(8, 128)})}, // negative: appended too
        {s16, 1, 1, Join({Slice(d, 0, 32), Bytes(32, 0), Slice(d, 32, 64)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.position << "+" << c.length);
        TWave wave;
        Make(wave, c.format, d);
        EXPECT_TRUE(wave.InsertSilence(c.position, c.length));
        EXPECT_EQ(DataOf(wave), c.expected);
    }

    struct Refused {
        const char* name;
        WAVEFORMATEX format;
        Bytes data;
        std::uint32_t length;
    };
    WAVEFORMATEX m24 = m8;
    m24.wBitsPerSample = 24;
    WAVEFORMATEX adpcm = s16;
    adpcm.wFormatTag = 2;
    const Refused refused[] = {
        {"24-bit", m24, d, 1},
        {"compressed", adpcm, d, 1},
        {"no data", m8, {}, 1},
        {"no length", m8, d, 0},
        {"length beyond 32 bits", m8, d, kHuge},
        {"silence beyond 2 GiB", m8, d, 0x7FFFFFFF},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.name);
        TWave wave;
        Make(wave, r.format, r.data);
        const Bytes before = StreamBytes(wave);
        EXPECT_FALSE(wave.InsertSilence(0, r.length));
        EXPECT_EQ(StreamBytes(wave), before);
    }
}

TEST(WaveEditing, InsertWaveNeedsTheSameFormat) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    TWave wave, other, stereo;
    Make(wave, m8, Ramp(24, 0));
    Make(other, m8, Ramp(5, 200));
    Make(stereo, Pcm(Stereo8bit8000Hz), Ramp(5));
    ASSERT_TRUE(wave.InsertWave(1, other));
    EXPECT_EQ(DataOf(wave), Join({Ramp(8), Ramp(5, 200), Ramp(16, 8)}));
    EXPECT_FALSE(wave.InsertWave(0, stereo));
    ASSERT_TRUE(wave.InsertWave(kHuge, other));
    EXPECT_EQ(wave.DataBytes(), 34u);

    // A wave inserted into itself.
    TWave self;
    Make(self, m8, Ramp(16));
    ASSERT_TRUE(self.InsertWave(1, self));
    EXPECT_EQ(DataOf(self), Join({Ramp(8), Ramp(16), Ramp(8, 8)}));
}

TEST(WaveEditing, InvertAndChangeVolumeChangeOnlyTheSamples) {
    TWave wave;
    Make(wave, Pcm(Mono8Bit8000Hz), {1, 2, 3}, true);
    Bytes file = StreamBytes(wave);
    const auto at = static_cast<std::size_t>(wave.DataStart());
    EXPECT_TRUE(wave.Invert());
    EXPECT_EQ(DataOf(wave), (Bytes{3, 2, 1}));
    EXPECT_TRUE(wave.ChangeVolume(-100));
    EXPECT_EQ(DataOf(wave), (Bytes{128, 128, 128})); // 8-bit silence
    // Every other byte stays where it was: the LIST chunk, the pad byte.
    std::fill(file.begin() + static_cast<std::ptrdiff_t>(at),
              file.begin() + static_cast<std::ptrdiff_t>(at + 3), 128);
    EXPECT_EQ(StreamBytes(wave), file);

    TWave stereo;
    Make(stereo, Pcm(Stereo16bit22050Hz), Samples16({1, -1, 2, -2, 20000, -20000}));
    EXPECT_TRUE(stereo.Invert()); // frames trade places, channels stay
    EXPECT_EQ(Values16(DataOf(stereo)), (std::vector<std::int16_t>{20000, -20000, 2, -2, 1, -1}));
    EXPECT_TRUE(stereo.ChangeVolume(100));
    EXPECT_EQ(Values16(DataOf(stereo)), (std::vector<std::int16_t>{32767, -32767, 4, -4, 2, -2}));
    EXPECT_TRUE(stereo.ChangeVolume(-100));
    EXPECT_EQ(Values16(DataOf(stereo)), std::vector<std::int16_t>(6, 0));

    WAVEFORMATEX m24 = Pcm(Mono8Bit8000Hz);
    m24.wBitsPerSample = 24;
    m24.nBlockAlign = 3;
    m24.nAvgBytesPerSec = 24000;
    TWave wide;
    Make(wide, m24, {1, 2, 3});
    EXPECT_FALSE(wide.Invert());
    EXPECT_FALSE(wide.ChangeVolume(50));
    EXPECT_EQ(DataOf(wide), (Bytes{1, 2, 3}));
    TWave empty;
    Make(empty, Pcm(Mono8Bit8000Hz), {});
    EXPECT_FALSE(empty.Invert());
    EXPECT_FALSE(empty.ChangeVolume(10));
}

// Records that contradict themselves come from damaged files; no edit takes
// them, so none copies them into a file or trusts their rates.
TEST(WaveEditing, EditsRefuseRecordsThatContradictThemselves) {
    struct Case {
        const char* name;
        WAVEFORMATEX format;
    };
    const auto damaged = [](TPCMFormat member, auto change) {
        WAVEFORMATEX f = Pcm(member);
        change(f);
        return f;
    };
    const Case cases[] = {
        {"no rate", damaged(Mono16bit8000Hz, [](WAVEFORMATEX& f) { f.nSamplesPerSec = 0; })},
        {"no byte rate", damaged(Mono16bit8000Hz, [](WAVEFORMATEX& f) { f.nAvgBytesPerSec = 0; })},
        {"no block alignment",
         damaged(Mono16bit8000Hz, [](WAVEFORMATEX& f) { f.nBlockAlign = 0; })},
        {"a block that is no frame",
         damaged(Stereo16bit8000Hz, [](WAVEFORMATEX& f) { f.nBlockAlign = 3; })},
        {"4 GHz",
         damaged(Mono8Bit8000Hz,
                 [](WAVEFORMATEX& f) { f.nSamplesPerSec = f.nAvgBytesPerSec = 4000000000u; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TWave wave;
        Make(wave, c.format, Ramp(64));
        ASSERT_TRUE(wave.IsValidWave());
        const Bytes before = StreamBytes(wave);
        EXPECT_FALSE(wave.Invert());
        EXPECT_FALSE(wave.ChangeVolume(50));
        EXPECT_FALSE(wave.InsertSilence(0, 10));
        EXPECT_FALSE(wave.KeepRange(0, 1));
        EXPECT_FALSE(wave.DeleteRange(0, 1));
        EXPECT_FALSE(wave.TrimEnd(1));
        TWaveStreamAdapter* self[] = {&wave, &wave};
        EXPECT_FALSE(wave.Concat(self, 1, 0));
        EXPECT_EQ(StreamBytes(wave), before);
    }
}

TEST(WaveEditing, RewritesRaiseOneChangeOfEachKind) {
    TWave wave;
    Make(wave, Pcm(Mono8Bit8000Hz), Ramp(40));
    int before = 0, after = 0;
    wave.OnBeforeChange = [&](TWaveStreamAdapter*) { ++before; };
    wave.OnAfterChange = [&](TWaveStreamAdapter*) { ++after; };
    EXPECT_TRUE(wave.TrimStart(1));
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(wave.Phase(), wpNone);
}

TEST(WaveEditing, ConcatJoinsInTheFirstFormatWithSilentGaps) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    TWave a, b, c, result;
    Make(a, m8, Ramp(3, 10), true);
    Make(b, m8, Ramp(2, 20));
    Make(c, m8, Ramp(4, 30));
    TWaveStreamAdapter* two[] = {&a, &b};
    ASSERT_TRUE(result.Concat(two, 1, 0));
    EXPECT_EQ(DataOf(result), Join({Ramp(3, 10), Ramp(2, 20)}));
    EXPECT_TRUE(result.HasSameFormat(a));

    TWaveStreamAdapter* three[] = {&a, &b, &c};
    ASSERT_TRUE(result.Concat(three, 2, 1));
    EXPECT_EQ(DataOf(result),
              Join({Ramp(3, 10), Bytes(8, 128), Ramp(2, 20), Bytes(8, 128), Ramp(4, 30)}));

    // Waves of another format are refused: their bytes would be misread.
    TWave other;
    Make(other, Pcm(Stereo16bit8000Hz), Ramp(4, 30));
    TWaveStreamAdapter* mixed[] = {&a, &other};
    const Bytes before = StreamBytes(result);
    EXPECT_FALSE(result.Concat(mixed, 1, 0));
    EXPECT_EQ(StreamBytes(result), before);

    // A wave without data is refused before anything is written.
    TWave empty;
    Make(empty, m8, {});
    TWaveStreamAdapter* broken[] = {&a, &empty, &b};
    EXPECT_FALSE(result.Concat(broken, 2, 1));
    EXPECT_EQ(result.Refusal(), "the second wave holds no sample data");
    EXPECT_EQ(StreamBytes(result), before);

    // The wave itself may be one of the parts.
    TWaveStreamAdapter* withSelf[] = {&a, &a};
    ASSERT_TRUE(a.Concat(withSelf, 1, 0));
    EXPECT_EQ(DataOf(a), Join({Ramp(3, 10), Ramp(3, 10)}));
}

TEST(WaveEditing, ConcatRefusesWithoutWritingWhenItCannotStart) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    TWave target, invalid, good, adpcm;
    Make(target, m8, Ramp(7));
    Make(good, m8, Ramp(4));
    WAVEFORMATEX compressed = m8;
    compressed.wFormatTag = WAVE_FORMAT_ALAW;
    Make(adpcm, compressed, Ramp(4));
    const Bytes before = StreamBytes(target);
    TWaveStreamAdapter* firstInvalid[] = {&invalid, &good};
    TWaveStreamAdapter* compressedGap[] = {&adpcm, &adpcm};
    TWaveStreamAdapter* hugeGap[] = {&good, &good};
    EXPECT_FALSE(target.Concat(firstInvalid, 1, 0));
    EXPECT_FALSE(target.Concat(compressedGap, 1, 5));
    EXPECT_FALSE(target.Concat(hugeGap, 1, kHuge));
    EXPECT_FALSE(target.Concat(hugeGap, -1, 0));
    EXPECT_EQ(StreamBytes(target), before);
    // Compressed data joins fine without a gap.
    EXPECT_TRUE(target.Concat(compressedGap, 1, 0));
    EXPECT_EQ(target.DataBytes(), 8u);
}

TEST(WaveEditing, MixAverageOfWavesInOneFormat) {
    const WAVEFORMATEX m16 = Pcm(Mono16bit8000Hz);
    TWave a, b, other, result;
    Make(a, m16, Samples16({100, -100, 7}));
    Make(b, m16, Samples16({300, 0}));
    Make(other, Pcm(Mono8Bit8000Hz), Ramp(4));
    TWaveStreamAdapter* pair[] = {&a, &b};
    ASSERT_TRUE(result.MixAverage(pair, 1));
    EXPECT_EQ(Values16(DataOf(result)), (std::vector<std::int16_t>{200, -50, 3}));
    TWaveStreamAdapter* mixed[] = {&a, &other};
    EXPECT_FALSE(result.MixAverage(mixed, 1));
    EXPECT_FALSE(result.MixAverage(pair, -1));
    TWaveStreamAdapter* withSelf[] = {&a, &a};
    ASSERT_TRUE(a.MixAverage(withSelf, 1));
    EXPECT_EQ(Values16(DataOf(a)), (std::vector<std::int16_t>{100, -100, 7}));
}

#include <gtest/gtest.h>

#include "WaveBytes.h"
#include "platform/Cp1251.h"
#include "wave/WaveStorage.h"

using namespace wavetest;

TEST(WaveStorage, NewWaveIsEmpty) {
    TWave wave;
    EXPECT_TRUE(wave.IsEmpty());
    EXPECT_FALSE(wave.IsValidWave());
    EXPECT_EQ(wave.FormatRecord(), nullptr);
    EXPECT_EQ(wave.DurationMs(), 0);
    EXPECT_EQ(wave.DataBytes(), 0u);
    EXPECT_EQ(wave.PeakPercent(), -1);
    EXPECT_EQ(wave.AudioFormatText(), "");
    EXPECT_EQ(wave.KilobitsPerSecond(), 0);
}

TEST(WaveStorage, WritingProducesTheExactPcmLayout) {
    TWave wave;
    const WAVEFORMATEX f = Pcm(Stereo16bit44100Hz);
    ASSERT_TRUE(wave.StartWriting(&f));
    const Bytes data = Ramp(1000);
    EXPECT_EQ(wave.WriteData(data.data(), 600), 600);
    EXPECT_EQ(wave.WriteData(data.data() + 600, 400), 400);
    ASSERT_TRUE(wave.StopWriting());

    const Bytes file = StreamBytes(wave);
    ASSERT_EQ(file.size(), 1046u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(Get32(&file[4]), 1038u);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Get32(&file[16]), 18u);
    EXPECT_EQ(0, std::memcmp(&file[20], &f, 18));
    EXPECT_EQ(std::string(file.begin() + 38, file.begin() + 42), "data");
    EXPECT_EQ(Get32(&file[42]), 1000u);
    EXPECT_EQ(Bytes(file.begin() + 46, file.end()), data);

    EXPECT_TRUE(wave.IsValidWave());
    EXPECT_EQ(wave.DataStart(), 46);
    EXPECT_EQ(wave.DataBytes(), 1000u);
    EXPECT_EQ(wave.DurationMs(), 6);
    EXPECT_EQ(wave.AudioFormatText(), "PCM: 44,100 kHz, 16 Bit, Stereo");
    EXPECT_EQ(wave.KilobitsPerSecond(), 1411);
}

TEST(WaveStorage, OddDataIsFollowedByThePadByteTheRiffSizeCounts) {
    TWave wave;
    const WAVEFORMATEX f = Pcm(Mono8Bit8000Hz);
    ASSERT_TRUE(wave.StartWriting(&f));
    EXPECT_EQ(wave.WriteData("\x80\x81\x82", 3), 3);
    ASSERT_TRUE(wave.StopWriting());
    const Bytes file = StreamBytes(wave);
    ASSERT_EQ(file.size(), 50u);
    EXPECT_EQ(Get32(&file[4]), 42u);
    EXPECT_EQ(Get32(&file[42]), 3u);
    EXPECT_EQ(file[48], 0x82);
    EXPECT_EQ(file[49], 0);
}

TEST(WaveStorage, ExtraFormatBytesAreWrittenWithAnOddCbSizePadded) {
    Bytes record = FormatBytes(Pcm(Mono8Bit8000Hz), 21);
    record[16] = 3; // cbSize
    record[18] = 'x';
    record[19] = 'y';
    record[20] = 'z';
    TWave wave;
    ASSERT_TRUE(wave.StartWriting(reinterpret_cast<const WAVEFORMATEX*>(record.data())));
    wave.WriteData("ab", 2);
    ASSERT_TRUE(wave.StopWriting());
    const Bytes file = StreamBytes(wave);
    EXPECT_EQ(Get32(&file[16]), 21u);
    EXPECT_EQ(file[41], 0); // pad byte after the odd "fmt " chunk
    EXPECT_EQ(std::string(file.begin() + 42, file.begin() + 46), "data");
    EXPECT_EQ(wave.DataStart(), 50);
    ASSERT_TRUE(wave.IsValidWave());
    EXPECT_EQ(wave.FormatRecord()->cbSize, 3);
    EXPECT_TRUE(wave.HasFormat(reinterpret_cast<const WAVEFORMATEX*>(record.data())));
}

TEST(WaveStorage, RecognisesValidAndInvalidFiles) {
    const WAVEFORMATEX f = Pcm(Mono16bit8000Hz);
    const Bytes data = Ramp(8);
    const Bytes fmt = Chunk("fmt ", FormatBytes(f));
    const Bytes dat = Chunk("data", data);
    struct Case {
        const char* name;
        Bytes file;
        bool valid;
    };
    const Case cases[] = {
        {"plain", Riff({fmt, dat}), true},
        {"16-byte fmt", Riff({Chunk("fmt ", FormatBytes(f, 16)), dat}), true},
        {"14-byte fmt", Riff({Chunk("fmt ", FormatBytes(f, 14)), dat}), true},
        {"12-byte fmt", Riff({Chunk("fmt ", FormatBytes(f, 12)), dat}), false},
        {"LIST between", Riff({fmt, Chunk("LIST", Ramp(5)), dat}), true},
        {"chunk before fmt", Riff({Chunk("junk", Ramp(3)), fmt, dat}), true},
        {"odd fmt without its pad byte",
         [&] {
             Bytes odd = Chunk("fmt ", FormatBytes(f, 19));
             odd.pop_back();
             return Riff({odd, dat});
         }(),
         true},
        {"data before fmt", Riff({dat, fmt}), false},
        {"no data", Riff({fmt}), false},
        {"no fmt", Riff({dat}), false},
        {"AVI form", Riff({fmt, dat}, "AVI "), false},
        {"not RIFF", Bytes{'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, false},
        {"only RIFF", Bytes{'R', 'I', 'F', 'F'}, false},
        {"header only", Riff({}), false},
        {"fmt cut short",
         [&] {
             Bytes b = Riff({fmt});
             b.resize(30);
             return b;
         }(),
         false},
        {"fmt size beyond the end", Riff({Chunk("fmt ", FormatBytes(f), 0xFFFFFFFF)}), false},
        {"wrapping chunk size", Riff({Chunk("junk", Ramp(4), 0xFFFFFFF0), fmt, dat}), false},
        {"huge chunk before fmt", Riff({Chunk("junk", Ramp(4), 0x7FFFFFF0), fmt, dat}), false},
        {"RIFF size zero", Riff({fmt, dat}, "WAVE", 0), false},
        {"one byte", Bytes{'R'}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TWave wave;
        Load(wave, c.file);
        EXPECT_EQ(wave.IsValidWave(), c.valid);
        if (c.valid) {
            EXPECT_EQ(Bytes(DataOf(wave)), data);
            EXPECT_EQ(wave.FormatRecord()->cbSize, 0);
        }
    }
}

TEST(WaveStorage, DamagedSizesNeverReachOutsideTheStream) {
    const WAVEFORMATEX f = Pcm(Mono8Bit8000Hz);
    // A data chunk that claims more than the file holds, as a writer to a
    // pipe leaves it, holds what the file has, in whole frames.
    for (const std::uint32_t claimed : {16000u, 0x7FFFF000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(claimed);
        TWave longData;
        Load(longData, Riff({Chunk("fmt ", FormatBytes(Pcm(Stereo16bit8000Hz))),
                             Chunk("data", Samples16({1, 2, 3, 4, 5}), claimed)}));
        EXPECT_TRUE(longData.IsValidWave());
        EXPECT_EQ(longData.DataBytes(), 8u);
        EXPECT_EQ(longData.DurationMs(), 0);
        EXPECT_EQ(Values16(DataOf(longData)), (std::vector<std::int16_t>{1, 2, 3, 4}));
        EXPECT_EQ(longData.PeakPercent(), 0);
        EXPECT_TRUE(longData.Invert());
        EXPECT_EQ(Values16(DataOf(longData)), (std::vector<std::int16_t>{3, 4, 1, 2}));
        EXPECT_EQ(Get32(&StreamBytes(longData)[42]), 8u);
    }

    // cbSize promising more than the chunk holds is cut to what is there.
    Bytes record = FormatBytes(f, 20);
    record[16] = 0xFF;
    record[17] = 0xFF;
    TWave absurd;
    Load(absurd, Riff({Chunk("fmt ", record), Chunk("data", Ramp(4))}));
    ASSERT_TRUE(absurd.IsValidWave());
    EXPECT_EQ(absurd.FormatRecord()->cbSize, 2);
    EXPECT_TRUE(absurd.KeepRange(0, 1));
    EXPECT_EQ(StreamBytes(absurd).size(), 46u + 2 + 4);

    // Zero alignment and byte rate convert without dividing by zero.
    WAVEFORMATEX zero = f;
    zero.nBlockAlign = 0;
    zero.nAvgBytesPerSec = 0;
    TWave odd;
    Load(odd, Riff({Chunk("fmt ", FormatBytes(zero)), Chunk("data", Ramp(10))}));
    ASSERT_TRUE(odd.IsValidWave());
    EXPECT_EQ(odd.DurationMs(), 0);
    EXPECT_FALSE(odd.KeepRange(0, 10));
    EXPECT_FALSE(odd.TrimEnd(10));
    EXPECT_FALSE(odd.InsertSilence(5, 10)); // the record contradicts itself
    EXPECT_EQ(odd.DataBytes(), 10u);
}

TEST(WaveStorage, DetailsAreCachedAndChangeEventsFireOncePerChange) {
    const WAVEFORMATEX f = Pcm(Mono8Bit8000Hz);
    TWave wave;
    int before = 0;
    int after = 0;
    TWaveStreamAdapter* sender = nullptr;
    wave.OnBeforeChange = [&](TWaveStreamAdapter* s) {
        ++before;
        sender = s;
    };
    wave.OnAfterChange = [&](TWaveStreamAdapter*) { ++after; };
    EXPECT_FALSE(wave.IsValidWave());
    EXPECT_EQ(after, 1);
    EXPECT_FALSE(wave.IsValidWave()); // cached
    EXPECT_EQ(after, 1);

    Load(wave, WaveFile(f, Ramp(8)));
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 2);
    EXPECT_EQ(sender, &wave);

    ASSERT_TRUE(wave.StartWriting(&f));
    EXPECT_EQ(before, 2);
    EXPECT_FALSE(wave.IsValidWave()); // never parsed while writing
    EXPECT_EQ(after, 2);
    wave.WriteData("abc", 3);
    wave.StopWriting();
    EXPECT_EQ(after, 3);
    EXPECT_EQ(wave.DataBytes(), 3u);

    wave.MarkStale(); // no events, still valid until re-read
    EXPECT_EQ(before, 2);
    EXPECT_TRUE(wave.IsValidWave());
    EXPECT_EQ(after, 4);

    wave.Clear();
    EXPECT_EQ(before, 3);
    EXPECT_EQ(after, 5);
    EXPECT_TRUE(wave.IsEmpty());
}

TEST(WaveStorage, PhasesNeverOverlap) {
    const WAVEFORMATEX f = Pcm(Mono8Bit8000Hz);
    TWave wave;
    Load(wave, WaveFile(f, Ramp(10, 100)));
    char buffer[16];
    EXPECT_EQ(wave.ReadData(buffer, 4), -1);
    EXPECT_EQ(wave.WriteData(buffer, 4), -1);
    EXPECT_FALSE(wave.StopReading());
    EXPECT_FALSE(wave.StopWriting());
    EXPECT_FALSE(wave.StartWriting(nullptr));
    EXPECT_EQ(StreamBytes(wave).size(), 56u);
    wave.Stream()->SetPosition(5);
    wave.SeekData(3); // no phase: nothing moves
    EXPECT_EQ(wave.Stream()->Position(), 5);

    ASSERT_TRUE(wave.StartReading());
    EXPECT_FALSE(wave.StartReading());
    EXPECT_FALSE(wave.StartWriting(&f));
    EXPECT_EQ(wave.ReadData(buffer, 4), 4);
    EXPECT_EQ(static_cast<std::uint8_t>(buffer[0]), 100);
    wave.SeekData(8);
    EXPECT_EQ(wave.ReadData(buffer, 16), 2); // to the end of the stream
    EXPECT_EQ(static_cast<std::uint8_t>(buffer[1]), 109);
    EXPECT_EQ(wave.ReadData(buffer, 16), 0);
    EXPECT_TRUE(wave.StopReading());

    ASSERT_TRUE(wave.StartWriting(&f));
    EXPECT_FALSE(wave.StartReading());
    EXPECT_FALSE(wave.StartWriting(&f));
    EXPECT_EQ(wave.ReadData(buffer, 4), -1);
    EXPECT_TRUE(wave.StopWriting());
}

TEST(WaveStorage, WholeDataAccessPointsIntoMemoryOrCopies) {
    const WAVEFORMATEX f = Pcm(Mono8Bit8000Hz);
    TWave wave;
    Load(wave, WaveFile(f, Ramp(6, 1)));
    void* direct = nullptr;
    ASSERT_TRUE(wave.AcquireData(direct, false));
    EXPECT_EQ(direct, wave.MemoryStream().Memory() + wave.DataStart());
    static_cast<std::uint8_t*>(direct)[0] = 42;
    EXPECT_TRUE(wave.ReleaseData(direct, false));
    EXPECT_EQ(DataOf(wave)[0], 42);

    void* copy = nullptr;
    ASSERT_TRUE(wave.AcquireData(copy, true));
    EXPECT_NE(copy, direct);
    static_cast<std::uint8_t*>(copy)[1] = 43;
    EXPECT_EQ(DataOf(wave)[1], 2);
    EXPECT_TRUE(wave.ReleaseData(copy, true));
    EXPECT_EQ(DataOf(wave)[1], 43);
    EXPECT_FALSE(wave.ReleaseData(nullptr, false));

    TWave empty;
    Load(empty, WaveFile(f, {}));
    EXPECT_TRUE(empty.IsValidWave());
    EXPECT_FALSE(empty.AcquireData(copy, false));
}

TEST(WaveStorage, AdapterOverAFileStreamCopiesAndWritesBack) {
    const std::string name = "engine-adapter.wav";
    const WAVEFORMATEX f = Pcm(Mono8Bit8000Hz);
    {
        TFileStream file(name, fmCreate);
        const Bytes bytes = WaveFile(f, {1, 2, 3});
        file.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    }
    {
        TFileStream file(name, fmOpenReadWrite);
        TWaveStreamAdapter wave(&file, false);
        ASSERT_TRUE(wave.IsValidWave());
        EXPECT_TRUE(wave.Invert());
        EXPECT_EQ(wave.PeakPercent(), 100); // 1 is 127 from 128: full scale
    }
    TWave check;
    check.LoadFromFile(name);
    EXPECT_EQ(DataOf(check), (Bytes{3, 2, 1}));
    DeleteFileA(name.c_str());
}

TEST(WaveStorage, ComparisonsIncludeTheExtraFormatBytes) {
    const WAVEFORMATEX f = Pcm(Mono16bit22050Hz);
    TWave a, b, c, d;
    Load(a, WaveFile(f, Ramp(8)));
    Load(b, Riff({Chunk("LIST", Ramp(3)), Chunk("fmt ", FormatBytes(f)), Chunk("data", Ramp(8))}));
    Bytes extended = FormatBytes(f, 20);
    extended[16] = 2;
    Load(c, Riff({Chunk("fmt ", extended), Chunk("data", Ramp(8))}));
    Load(d, WaveFile(f, Ramp(8, 1)));
    EXPECT_TRUE(a.ContentEquals(b));
    EXPECT_TRUE(a.HasSameFormat(b));
    EXPECT_FALSE(a.HasSameFormat(c));
    EXPECT_FALSE(a.ContentEquals(c));
    EXPECT_FALSE(a.ContentEquals(d));
    EXPECT_TRUE(a.HasSameFormat(d));
    EXPECT_FALSE(a.HasFormat(nullptr));
    TWave invalid;
    EXPECT_FALSE(invalid.HasSameFormat(invalid));
}

TEST(WaveStorage, LoadingCopiesFromTheSourcePositionAndCutAfterDataDropsTrailers) {
    const WAVEFORMATEX f = Pcm(Mono8Bit8000Hz);
    Bytes file =
        Riff({Chunk("fmt ", FormatBytes(f)), Chunk("data", Ramp(4)), Chunk("LIST", Ramp(6))});
    TMemoryStream source;
    source.Write("xyz", 3);
    source.Write(file.data(), static_cast<std::int64_t>(file.size()));
    source.SetPosition(3);
    TWave wave;
    EXPECT_TRUE(wave.LoadFromStream(source));
    EXPECT_EQ(StreamBytes(wave), file);
    wave.CutAfterData();
    EXPECT_EQ(StreamBytes(wave).size(), 50u);

    TWave copy;
    copy.Assign(wave);
    EXPECT_TRUE(copy.ContentEquals(wave));
    TMemoryStream saved;
    saved.Write("#", 1);
    copy.SaveToStream(saved);
    EXPECT_EQ(saved.Size(), 51);

    TWave invalid;
    Load(invalid, Bytes{1, 2, 3});
    invalid.CutAfterData();
    EXPECT_TRUE(invalid.IsEmpty());
}

TEST(WaveStorage, FilesRoundTripWithRussianNamesAndReportErrorsByName) {
    const WAVEFORMATEX f = Pcm(Stereo16bit8000Hz);
    const std::string name = "engine-Запись звука.wav"_w1251;
    TWave wave;
    Load(wave, WaveFile(f, Ramp(40)));
    wave.SaveToFile(name);
    EXPECT_TRUE(FileExists(name));
    TWave loaded;
    EXPECT_TRUE(loaded.LoadFromFile(name));
    EXPECT_TRUE(loaded.ContentEquals(wave));
    // Saving over the file that was loaded replaces it whole.
    EXPECT_TRUE(loaded.KeepRange(0, 1));
    loaded.SaveToFile(name);
    TWave again;
    again.LoadFromFile(name);
    EXPECT_EQ(again.DataBytes(), 32u);
    EXPECT_TRUE(DeleteFileA(name.c_str()));

    try {
        wave.LoadFromFile("engine-missing.wav");
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_STREQ(e.what(), "Cannot open file \"engine-missing.wav\": no such file");
    }
    EXPECT_TRUE(wave.IsValidWave()); // a failed load changes nothing
    try {
        wave.SaveToFile("engine-no-such-folder/x.wav");
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_STREQ(e.what(),
                     "Cannot create file \"engine-no-such-folder/x.wav\": no such folder");
    }
}

TEST(WaveStorage, StorageCopiesWavesAndPersistsItsData) {
    const WAVEFORMATEX f = Pcm(Mono8Bit8000Hz);
    TWave source;
    Load(source, WaveFile(f, Ramp(5)));
    source.Stream()->SetPosition(17);
    TWaveStorage storage;
    storage.SetWave(&source);
    EXPECT_TRUE(storage.Wave()->ContentEquals(source));
    EXPECT_EQ(storage.GetWaveStream(0), storage.Wave()->Stream());
    storage.SetWave(storage.Wave());
    EXPECT_TRUE(storage.Wave()->IsValidWave());

    TWaveStorage other;
    EXPECT_FALSE(other.HasDataProperty());
    EXPECT_FALSE(storage.ContentEquals(other));
    TMemoryStream property;
    ASSERT_TRUE(storage.HasDataProperty());
    storage.WriteDataProperty(property);
    property.SetPosition(0);
    other.ReadDataProperty(property);
    EXPECT_TRUE(storage.ContentEquals(other));
    other.Assign(storage);
    EXPECT_TRUE(other.ContentEquals(storage));

    storage.SetWave(nullptr);
    EXPECT_TRUE(storage.Wave()->IsEmpty());

    int told = 0;
    {
        TWaveStorage shortLived;
        shortLived.FreeNotification(&told, [&](TCustomWaveStorage* s) {
            ++told;
            EXPECT_EQ(s, &shortLived);
        });
        shortLived.FreeNotification(&f, [&](TCustomWaveStorage*) { told += 10; });
        shortLived.RemoveFreeNotification(&f);
    }
    EXPECT_EQ(told, 1);
}

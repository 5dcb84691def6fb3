#include <gtest/gtest.h>

#include <climits>

#include "WaveBytes.h"
#include "wave/WaveUtils.h"

using namespace wavetest;

namespace {

WAVEFORMATEX Format(WORD tag, WORD channels, DWORD rate, WORD bits, DWORD avg = 0, WORD align = 0) {
    WAVEFORMATEX f{};
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = align ? align : static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = avg ? avg : f.nBlockAlign * rate;
    return f;
}

} // namespace

TEST(WaveUtils, MakePCMFormatFollowsTheTableOrder) {
    const DWORD rates[] = {8000, 11025, 22050, 44100, 48000};
    int member = 1;
    for (DWORD rate : rates)
        for (WORD bits : {8, 16})
            for (WORD channels : {1, 2}) {
                SCOPED_TRACE(member);
                WAVEFORMATEX f{};
                MakePCMFormat(&f, static_cast<TPCMFormat>(member++));
                EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
                EXPECT_EQ(f.nChannels, channels);
                EXPECT_EQ(f.nSamplesPerSec, rate);
                EXPECT_EQ(f.wBitsPerSample, bits);
                EXPECT_EQ(f.nBlockAlign, channels * bits / 8);
                EXPECT_EQ(f.nAvgBytesPerSec, rate * channels * bits / 8);
                EXPECT_EQ(f.cbSize, 0);
            }
    EXPECT_EQ(member - 1, Stereo16bit48000Hz);
}

TEST(WaveUtils, MakePCMFormatWithNoneLeavesTheRecord) {
    WAVEFORMATEX f;
    std::memset(&f, 0xAB, sizeof f);
    MakePCMFormat(&f, nonePCM);
    for (std::size_t i = 0; i < sizeof f; ++i)
        EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(&f)[i], 0xAB);
}

TEST(WaveUtils, TimeAndByteConversions) {
    const WAVEFORMATEX cd = Pcm(Stereo16bit44100Hz);
    EXPECT_EQ(BytesForTime(&cd, 1), 176);
    EXPECT_EQ(BytesForTime(&cd, 1000), 176400);
    EXPECT_EQ(BytesForTime(&cd, 3), 528); // 529.2 -> 529, down to 528
    EXPECT_EQ(BufferBytesForTime(&cd, 1), 176);
    EXPECT_EQ(BufferBytesForTime(&cd, 3), 532);
    EXPECT_EQ(TimeForBytes(&cd, 176400), 1000);
    EXPECT_EQ(TimeForBytes(&cd, 88), 0); // 0.4988 ms
    EXPECT_EQ(TimeForBytes(&cd, 89), 1); // 0.5045 ms rounds up
    EXPECT_EQ(KilobitsPerSecond(&cd), 1411);

    // Beyond 32 bits, negative times and records that cannot convert.
    EXPECT_EQ(BytesForTime(&cd, INT_MAX), -1);
    EXPECT_EQ(BytesForTime(&cd, -5), -1);
    EXPECT_EQ(BufferBytesForTime(&cd, INT_MAX), -1);
    EXPECT_EQ(BytesForTime(nullptr, 10), -1);
    EXPECT_EQ(TimeForBytes(&cd, 0xFFFFFFFFu), 24347887);

    WAVEFORMATEX silent = cd;
    silent.nAvgBytesPerSec = 0;
    silent.nBlockAlign = 0;
    EXPECT_EQ(TimeForBytes(&silent, 1000), 0);
    EXPECT_EQ(BytesForTime(&silent, 1000), 0);

    const WAVEFORMATEX mp3 = Format(85, 2, 44100, 0, 16000, 1);
    EXPECT_EQ(KilobitsPerSecond(&mp3), 0);
    EXPECT_EQ(BytesForTime(&mp3, 1500), 24000);
}

TEST(WaveUtils, DescribeFormatUsesACommaAndTheFourPatterns) {
    struct Case {
        WAVEFORMATEX format;
        const char* text;
    };
    const Case cases[] = {
        {Pcm(Stereo16bit44100Hz), "PCM: 44,100 kHz, 16 Bit, Stereo"},
        {Pcm(Mono8Bit8000Hz), "PCM: 8,000 kHz, 8 Bit, Mono"},
        {Pcm(Mono16bit11025Hz), "PCM: 11,025 kHz, 16 Bit, Mono"},
        {Format(1, 4, 44100, 16), "PCM: 44,100 kHz, 16 Bit, 4 Ch"},
        {Format(85, 2, 44100, 0, 16000, 1), "MPEG Layer-3: 44,100 kHz, Stereo"},
        {Format(49, 1, 8000, 0, 1625, 65), "GSM 6.10: 8,000 kHz, Mono"},
        {Format(0x1234, 6, 22050, 0, 1000, 1), "22,050 kHz, 6 Ch"},
        {Format(0x1234, 2, 96000, 24), "96,000 kHz, 24 Bit, Stereo"},
        {Format(2, 1, 7, 4, 4, 1), "Microsoft ADPCM: 0,007 kHz, 4 Bit, Mono"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DescribeFormat(&c.format), c.text);
    EXPECT_EQ(DescribeFormat(nullptr), "");
}

TEST(WaveUtils, FormatTagAndChannelNames) {
    const std::pair<unsigned, const char*> names[] = {
        {1, "PCM"},
        {2, "Microsoft ADPCM"},
        {3, "PCM IEEE"},
        {4, "VSELP"},
        {5, "CSVD"},
        {6, "A-Law"},
        {7, "u-Law"},
        {8, "DTS"},
        {17, "IMA ADPCM"},
        {49, "GSM 6.10"},
        {67, "Microsoft G.723.1"},
        {80, "MPEG"},
        {85, "MPEG Layer-3"},
        {0, ""},
        {9, ""},
        {0xFFFE, ""},
    };
    for (const auto& [tag, name] : names)
        EXPECT_EQ(FormatTagName(tag), name) << tag;
    EXPECT_EQ(ChannelName(1), "Mono");
    EXPECT_EQ(ChannelName(2), "Stereo");
    EXPECT_EQ(ChannelName(0), "");
    EXPECT_EQ(ChannelName(3), "");
}

TEST(WaveUtils, PeakLevelCountsBothHalfWaves) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    const WAVEFORMATEX m16 = Pcm(Mono16bit8000Hz);
    const Bytes silent8 = {128, 128};
    EXPECT_EQ(PeakLevelPercent(silent8.data(), 2, &m8), 0);
    const Bytes full8 = {0, 255, 10};
    EXPECT_EQ(PeakLevelPercent(full8.data(), 3, &m8), 100);
    EXPECT_EQ(PeakLevelPercent(full8.data(), 1, &m8), 100); // 0 is one step beyond full
    const Bytes half8 = {191, 65};
    EXPECT_EQ(PeakLevelPercent(half8.data(), 1, &m8), 49); // 63 * 100 div 127
    EXPECT_EQ(PeakLevelPercent(half8.data() + 1, 1, &m8), 49);

    const Bytes full16 = Samples16({-32768, 32767, 0});
    EXPECT_EQ(PeakLevelPercent(full16.data(), 6, &m16), 100);
    const Bytes negative16 = Samples16({-32768, -1});
    EXPECT_EQ(PeakLevelPercent(negative16.data(), 4, &m16), 100);
    const Bytes half16 = Samples16({-16384, -16384});
    EXPECT_EQ(PeakLevelPercent(half16.data(), 4, &m16), 50);
    Bytes odd16 = Samples16({16384});
    odd16.push_back(0x7F); // a trailing half sample is not a sample
    EXPECT_EQ(PeakLevelPercent(odd16.data(), 3, &m16), 50);

    WAVEFORMATEX m24 = Format(1, 1, 8000, 24);
    EXPECT_EQ(PeakLevelPercent(full8.data(), 3, &m24), -1);
    const WAVEFORMATEX adpcm = Format(2, 1, 8000, 16);
    EXPECT_EQ(PeakLevelPercent(full16.data(), 6, &adpcm), -1);
}

TEST(WaveUtils, ReverseKeepsTheChannelsOfEachFrame) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    Bytes b = {1, 2, 3};
    EXPECT_TRUE(ReverseSamples(b.data(), 3, &m8));
    EXPECT_EQ(b, (Bytes{3, 2, 1}));

    const WAVEFORMATEX s16 = Pcm(Stereo16bit44100Hz);
    Bytes lr = Samples16({100, -100, 200, -200, 300, -300}); // L0 R0 L1 R1 L2 R2
    EXPECT_TRUE(ReverseSamples(lr.data(), 12, &s16));
    EXPECT_EQ(Values16(lr), (std::vector<std::int16_t>{300, -300, 200, -200, 100, -100}));
    Bytes s8 = {1, 2, 3, 4, 5};
    const WAVEFORMATEX stereo8 = Pcm(Stereo8bit8000Hz);
    EXPECT_TRUE(ReverseSamples(s8.data(), 5, &stereo8));
    EXPECT_EQ(s8, (Bytes{3, 4, 1, 2, 5})); // the part of a frame at the end stays

    const WAVEFORMATEX m16 = Pcm(Mono16bit8000Hz);
    Bytes odd = Samples16({1, 2, 3});
    odd.push_back(9);
    EXPECT_TRUE(ReverseSamples(odd.data(), 7, &m16));
    EXPECT_EQ(odd, (Bytes{3, 0, 2, 0, 1, 0, 9}));

    const WAVEFORMATEX m24 = Format(1, 1, 8000, 24);
    Bytes keep = {1, 2, 3};
    EXPECT_FALSE(ReverseSamples(keep.data(), 3, &m24));
    EXPECT_EQ(keep, (Bytes{1, 2, 3}));
}

TEST(WaveUtils, SilenceIs128For8BitAnd0For16Bit) {
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    const WAVEFORMATEX s16 = Pcm(Stereo16bit8000Hz);
    Bytes b(5, 1);
    EXPECT_TRUE(FillWithSilence(b.data(), 5, &m8));
    EXPECT_EQ(b, Bytes(5, 128));
    EXPECT_TRUE(FillWithSilence(b.data(), 4, &s16));
    EXPECT_EQ(b, (Bytes{0, 0, 0, 0, 128}));
    const WAVEFORMATEX alaw = Format(6, 1, 8000, 8);
    EXPECT_FALSE(FillWithSilence(b.data(), 5, &alaw));
    EXPECT_EQ(b[4], 128);
}

TEST(WaveUtils, ScaleSamplesClampsAndNeverOverflows) {
    const WAVEFORMATEX m16 = Pcm(Mono16bit8000Hz);
    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    struct Case16 {
        std::int32_t percent;
        std::vector<std::int16_t> in, out;
    };
    const Case16 cases16[] = {
        {-100, {20000, -20000, 1, -32768}, {0, 0, 0, 0}},
        {100, {20000, -20000, 100, -32768}, {32767, -32767, 200, -32767}},
        {-50, {1000, -3, 3, -32768}, {500, -2, 2, -16384}},
        {0, {-32768, 32767}, {-32767, 32767}},
        {INT_MAX, {1, -1, 0}, {32767, -32767, 0}},
        {INT_MIN, {1, -1, 0}, {-32767, 32767, 0}},
    };
    for (const Case16& c : cases16) {
        SCOPED_TRACE(c.percent);
        Bytes b = Samples16(c.in);
        EXPECT_TRUE(ScaleSamples(b.data(), static_cast<std::uint32_t>(b.size()), &m16, c.percent));
        EXPECT_EQ(Values16(b), c.out);
    }
    // 8-bit values scale around 128, their silence.
    Bytes b8 = {0, 100, 200, 255, 128};
    EXPECT_TRUE(ScaleSamples(b8.data(), 5, &m8, 100));
    EXPECT_EQ(b8, (Bytes{0, 72, 255, 255, 128}));
    EXPECT_TRUE(ScaleSamples(b8.data(), 5, &m8, -100));
    EXPECT_EQ(b8, Bytes(5, 128));
    Bytes b8b = {101, 3};
    EXPECT_TRUE(ScaleSamples(b8b.data(), 2, &m8, -50));
    EXPECT_EQ(b8b, (Bytes{114, 65}));

    const WAVEFORMATEX float32 = Format(3, 1, 8000, 32);
    Bytes keep = {1, 2, 3, 4};
    EXPECT_FALSE(ScaleSamples(keep.data(), 4, &float32, 100));
    EXPECT_EQ(keep, (Bytes{1, 2, 3, 4}));
}

TEST(WaveUtils, MixAveragesOverAllInputsAndPadsShortOnesWithZero) {
    const WAVEFORMATEX m16 = Pcm(Mono16bit8000Hz);
    const Bytes a = Samples16({100, -101, 300});
    const Bytes b = Samples16({200, 0});
    const TMixInput in16[] = {{a.data(), 6}, {b.data(), 4}};
    Bytes out(6, 0xEE);
    EXPECT_TRUE(MixSamples(in16, 2, &m16, out.data(), 6));
    EXPECT_EQ(Values16(out), (std::vector<std::int16_t>{150, -50, 150}));

    const WAVEFORMATEX m8 = Pcm(Mono8Bit8000Hz);
    const Bytes c = {255, 255, 255};
    const Bytes d = {254};
    const Bytes e = {0, 3};
    const TMixInput in8[] = {{c.data(), 3}, {d.data(), 1}, {e.data(), 2}};
    Bytes out8(4, 0xEE);
    EXPECT_TRUE(MixSamples(in8, 3, &m8, out8.data(), 4));
    EXPECT_EQ(out8, (Bytes{169, 86, 85, 0}));

    const WAVEFORMATEX m24 = Format(1, 1, 8000, 24);
    EXPECT_FALSE(MixSamples(in8, 3, &m24, out8.data(), 4));
    EXPECT_FALSE(MixSamples(in8, 0, &m8, out8.data(), 4));
}

namespace {

// A stream whose every operation fails.
class BrokenStream : public TStream {
public:
    std::int64_t Read(void*, std::int64_t) override { throw EReadError("broken"); }
    std::int64_t Write(const void*, std::int64_t) override { throw EWriteError("broken"); }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { throw EStreamError("broken"); }
    void SetSize(std::int64_t) override { throw EStreamError("broken"); }
};

} // namespace

TEST(WaveUtils, StreamMmioReadsWritesAndSeeksTheStream) {
    TMemoryStream stream;
    stream.Write("0123456789", 10);
    stream.SetPosition(7);
    HMMIO h = OpenStreamMmio(&stream);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(stream.Position(), 0); // opening rewinds
    char buffer[4] = {};
    EXPECT_EQ(mmioRead(h, buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "012");
    stream.SetPosition(9); // the handle keeps its own offset
    EXPECT_EQ(mmioSeek(h, 2, SEEK_CUR), 5);
    EXPECT_EQ(mmioWrite(h, "ab", 2), 2);
    EXPECT_EQ(mmioSeek(h, -1, SEEK_END), 9);
    EXPECT_EQ(mmioRead(h, buffer, 4), 1);
    EXPECT_EQ(buffer[0], '9');
    EXPECT_EQ(mmioRead(h, buffer, 4), 0);
    EXPECT_EQ(mmioSeek(h, 12, SEEK_SET), 12);
    EXPECT_EQ(mmioWrite(h, "Z", 1), 1);
    EXPECT_EQ(mmioClose(h, 0), 0u);
    ASSERT_EQ(stream.Size(), 13);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 13),
              std::string("01234ab789\0\0Z", 13));
    EXPECT_EQ(OpenStreamMmio(nullptr), nullptr);
}

TEST(WaveUtils, StreamIOProcTurnsStreamErrorsIntoMinusOne) {
    MMIOINFO info;
    std::memset(&info, 0, sizeof info);
    char buffer[4];
    const auto call = [&](UINT message, LPARAM a, LPARAM b) {
        return StreamIOProc(reinterpret_cast<LPSTR>(&info), message, a, b);
    };
    EXPECT_EQ(call(MMIOM_OPEN, 0, 0), -1); // no stream
    EXPECT_EQ(StreamIOProc(nullptr, MMIOM_READ, reinterpret_cast<LPARAM>(buffer), 4), -1);
    BrokenStream broken;
    info.adwInfo[0] =
        static_cast<decltype(info.adwInfo[0] + 0)>(reinterpret_cast<std::uintptr_t>(&broken));
    EXPECT_EQ(call(MMIOM_OPEN, 0, 0), -1);
    EXPECT_EQ(call(MMIOM_READ, reinterpret_cast<LPARAM>(buffer), 4), -1);
    EXPECT_EQ(call(MMIOM_WRITE, reinterpret_cast<LPARAM>(buffer), 4), -1);
    EXPECT_EQ(call(MMIOM_SEEK, 0, SEEK_SET), -1);
    EXPECT_EQ(call(MMIOM_CLOSE, 0, 0), 0);
}

namespace {

std::vector<UINT> dispatched;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER || message == WM_KEYDOWN || message == WM_USER + 1)
        dispatched.push_back(message);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool QueueIsEmpty() {
    MSG msg;
    return !PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
}

} // namespace

TEST(WaveUtils, WaitPumpingMessagesDispatchesPostedMessagesButDropsInput) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "EngineWaitTest";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "EngineWaitTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    dispatched.clear();

    PostMessageA(window, WM_USER, 0, 0);
    PostMessageA(window, WM_KEYDOWN, 0, 0);
    PostMessageA(window, WM_USER + 1, 0, 0);
    EXPECT_EQ(WaitPumpingMessages(event, 30), WAIT_TIMEOUT);
    EXPECT_EQ(dispatched, (std::vector<UINT>{WM_USER, WM_USER + 1}));
    EXPECT_TRUE(QueueIsEmpty());

    SetEvent(event);
    EXPECT_EQ(WaitPumpingMessages(event, INFINITE), WAIT_OBJECT_0);

    // The pseudo-handle of the running thread is waited for as a real handle.
    EXPECT_EQ(WaitPumpingMessages(GetCurrentThread(), 10), WAIT_TIMEOUT);

    // WM_QUIT ends even an endless wait.
    ResetEvent(event);
    PostQuitMessage(0);
    EXPECT_EQ(WaitPumpingMessages(event, INFINITE), WAIT_OBJECT_0 + 1);

    CloseHandle(event);
    DestroyWindow(window);
    UnregisterClassA("EngineWaitTest", nullptr);
}

TEST(WaveUtils, SampleOperationsGiveTheSameResultOnUnalignedBlocks) {
    const WAVEFORMATEX s16 = Pcm(Stereo16bit8000Hz);
    const std::vector<std::int16_t> values = {20000, -20000, 5, -7, 32767, -32768, 300, 0, -1};
    for (const std::int32_t percent : {-100, -50, 37, 100, 70000, -70000}) {
        SCOPED_TRACE(percent);
        Bytes aligned = Samples16(values);
        Bytes shifted(aligned.size() + 1);
        std::memcpy(shifted.data() + 1, aligned.data(), aligned.size());
        const auto n = static_cast<std::uint32_t>(aligned.size());
        ASSERT_TRUE(ScaleSamples(aligned.data(), n, &s16, percent));
        ASSERT_TRUE(ScaleSamples(shifted.data() + 1, n, &s16, percent));
        EXPECT_EQ(Bytes(shifted.begin() + 1, shifted.end()), aligned);
    }
    Bytes aligned = Samples16(values);
    Bytes shifted(aligned.size() + 1);
    std::memcpy(shifted.data() + 1, aligned.data(), aligned.size());
    const auto n = static_cast<std::uint32_t>(aligned.size());
    EXPECT_EQ(PeakLevelPercent(shifted.data() + 1, n, &s16), 100);
    ASSERT_TRUE(ReverseSamples(aligned.data(), n, &s16));
    ASSERT_TRUE(ReverseSamples(shifted.data() + 1, n, &s16));
    EXPECT_EQ(Bytes(shifted.begin() + 1, shifted.end()), aligned);
    EXPECT_EQ(Values16(aligned).front(), 300);
    EXPECT_EQ(Values16(aligned).back(), -1);
}

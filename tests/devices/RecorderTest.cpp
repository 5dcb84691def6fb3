// Recording through the input device into RIFF WAVE files and streams.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "devices/DeviceSupport.h"

using namespace devicetest;

namespace {

// A stream that takes only part of each write once it holds `limit` bytes,
// as a full disk does.
class TShortStream : public TMemoryStream {
public:
    explicit TShortStream(std::int64_t limit) : limit_(limit) {}
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (Position() >= limit_ && count > 1)
            count /= 2;
        return TMemoryStream::Write(buffer, count);
    }

private:
    std::int64_t limit_;
};

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = Make<TProbeRecorder>();
        recorder->SetBufferLength(100);
        log.Attach(*recorder);
    }
    void TearDown() override {
        recorder.reset();
        for (const std::string& path : paths)
            std::filesystem::remove(path);
    }
    std::string Path(const std::string& name) {
        paths.push_back(TempPath(name));
        return paths.back();
    }
    bool Idle() { return !recorder->Active(); }
    DWORD Delivered() const {
        DWORD total = 0;
        for (DWORD n : recorder->delivered)
            total += n;
        return total;
    }

    TWaveDevicePtr<TProbeRecorder> recorder;
    EventLog log;
    ShownErrors shown;
    std::vector<std::string> paths;
};

TEST_F(RecorderTest, RecordsIntoAFileThatIsCompleteOnceTheDeviceHasClosed) {
    const std::string path = Path("record.wav");
    recorder->SetPCMFormat(Stereo16bit22050Hz);
    ASSERT_TRUE(recorder->RecordToFile(path));
    ASSERT_TRUE(PumpUntil([&] { return recorder->delivered.size() >= 3; }));
    EXPECT_THROW(recorder->SetPCMFormat(Mono8Bit8000Hz), EWaveAudioInvalidOperation);
    recorder->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    const Bytes data = DataOf(ReadFile(path));
    EXPECT_GT(data.size(), 0u);
    EXPECT_EQ(data.size(), Delivered());
    EXPECT_EQ(data.size() % 4, 0u);
    EXPECT_EQ(log.WithoutLevels(), (std::vector<std::string>{"activate", "deactivate"}));
    EXPECT_EQ(log.Count("level "), static_cast<int>(recorder->delivered.size()) + 1);
    EXPECT_EQ(log.events[log.events.size() - 2], "level 0");
    EXPECT_EQ(recorder->HeaderCount(), 0);
    TWave wave;
    ASSERT_TRUE(wave.LoadFromFile(path));
    WAVEFORMATEX expected{};
    MakePCMFormat(&expected, Stereo16bit22050Hz);
    EXPECT_TRUE(wave.HasFormat(&expected));
}

TEST_F(RecorderTest, AStopBeforeAnyByteReleasesTheEmptyBuffersUnread) {
    const std::string path = Path("empty.wav");
    log.onEvent = [&](const std::string& event) {
        if (event == "activate")
            recorder->SetActive(false); // buffers are queued, the device not started
    };
    ASSERT_TRUE(recorder->RecordToFile(path));
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_TRUE(recorder->delivered.empty());
    EXPECT_EQ(log.events, (std::vector<std::string>{"activate", "level 0", "deactivate"}));
    TWave wave;
    EXPECT_TRUE(wave.LoadFromFile(path));
    EXPECT_EQ(wave.DataBytes(), 0u);
}

TEST_F(RecorderTest, PausedBeforeTheStartItQueuesBuffersAndRecordsFromTheResume) {
    recorder->SetPaused(true);
    ASSERT_TRUE(recorder->RecordToFile(Path("paused.wav")));
    ASSERT_TRUE(PumpUntil([&] { return log.Count("activate") == 1; }));
    EXPECT_EQ(recorder->HeaderStates(),
              (std::vector<TWaveHeaderState>{TWaveHeaderState::Queued, TWaveHeaderState::Queued}));
    PumpFor(300);
    EXPECT_TRUE(recorder->delivered.empty());
    recorder->SetPaused(false);
    ASSERT_TRUE(PumpUntil([&] { return !recorder->delivered.empty(); }));
    recorder->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(log.WithoutLevels(),
              (std::vector<std::string>{"pause", "activate", "resume", "deactivate"}));
}

TEST_F(RecorderTest, TheFormatComesFromOnFormatWhenNoPCMFormatIsChosen) {
    recorder->SetPCMFormat(nonePCM);
    const std::string none = Path("none.wav");
    ASSERT_FALSE(recorder->RecordToFile(none)); // and no OnFormat
    EXPECT_EQ(log.events, (std::vector<std::string>{"error 11"}));
    EXPECT_FALSE(recorder->Active());

    // A format the device refuses: the file keeps the headers, no data.
    log.events.clear();
    recorder->OnFormat = [](TWaveAudioIO*, PWaveFormatEx& format, bool& freeIt) {
        format = static_cast<PWaveFormatEx>(std::calloc(1, sizeof(WAVEFORMATEX)));
        MakePCMFormat(format, Mono8bit11025Hz);
        format->wFormatTag = 0x1234;
        freeIt = true;
    };
    const std::string refused = Path("refused.wav");
    ASSERT_FALSE(recorder->RecordToFile(refused));
    EXPECT_EQ(log.events, (std::vector<std::string>{"error 32"}));
    EXPECT_EQ(ReadFile(refused).size(), 46u);

    log.events.clear();
    static WAVEFORMATEX kept{};
    MakePCMFormat(&kept, Mono8bit11025Hz);
    recorder->OnFormat = [](TWaveAudioIO*, PWaveFormatEx& format, bool& freeIt) {
        format = &kept;
        freeIt = false;
    };
    const std::string supplied = Path("supplied.wav");
    ASSERT_TRUE(recorder->RecordToFile(supplied));
    ASSERT_TRUE(PumpUntil([&] { return !recorder->delivered.empty(); }));
    recorder->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    TWave wave;
    ASSERT_TRUE(wave.LoadFromFile(supplied));
    EXPECT_TRUE(wave.HasFormat(&kept));
}

TEST_F(RecorderTest, ShortWritesAreReportedPerBufferAndTheRecordingGoesOn) {
    auto* stream = new TShortStream(46); // every write after the headers is short
    ASSERT_TRUE(recorder->RecordToStream(stream, true));
    ASSERT_TRUE(PumpUntil([&] { return log.Count("error ") >= 3; }));
    EXPECT_TRUE(recorder->Active());
    EXPECT_EQ(log.Count("error 1"), static_cast<int>(recorder->delivered.size()));
    recorder->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(log.WithoutLevels().back(), "deactivate");
}

TEST_F(RecorderTest, ASecondRecordingWaitsForTheFirstToCloseAndBothFilesAreComplete) {
    const std::string first = Path("first.wav");
    const std::string second = Path("second.wav");
    ASSERT_TRUE(recorder->RecordToFile(first));
    ASSERT_TRUE(PumpUntil([&] { return !recorder->delivered.empty(); }));
    const std::size_t firstBuffers = recorder->delivered.size();
    ASSERT_TRUE(recorder->RecordToFile(second));
    EXPECT_EQ(log.WithoutLevels(), (std::vector<std::string>{"activate", "deactivate"}));
    EXPECT_EQ(DataOf(ReadFile(first)).size(), Delivered());
    ASSERT_TRUE(PumpUntil([&] { return recorder->delivered.size() > firstBuffers + 1; }));
    recorder->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_GT(DataOf(ReadFile(second)).size(), 0u);
    EXPECT_THROW(recorder->RecordStock(), EWaveAudioInvalidOperation);
    // A file that cannot be created: the stream's error, and nothing opened.
    log.events.clear();
    EXPECT_THROW(recorder->RecordToFile(TempPath("no-such-folder/x.wav")), EFCreateError);
    EXPECT_EQ(recorder->State(), TWaveAudioState::Idle);
    EXPECT_TRUE(log.events.empty());
}

TEST(InputFormatsTest, TheCapabilityFlagsNameTheFormatsBeside8000Hz) {
    const TPCMFormats none = TWaveAudioIO::FormatsFromCapabilities(0);
    EXPECT_EQ(none.count(), 4u);
    for (TPCMFormat f : {Mono8Bit8000Hz, Stereo8bit8000Hz, Mono16bit8000Hz, Stereo16bit8000Hz})
        EXPECT_TRUE(none[f]);
    const TPCMFormats all = TWaveAudioIO::FormatsFromCapabilities(0xFFFFFFFF);
    EXPECT_EQ(all.count(), 16u);
    EXPECT_TRUE(all[Stereo16bit44100Hz]);
    EXPECT_FALSE(all[Mono8bit48000Hz] || all[nonePCM]);
    EXPECT_EQ(TWaveAudioIO::FormatsFromCapabilities(WAVE_FORMAT_2S16),
              none | TPCMFormats().set(Stereo16bit22050Hz));

    auto recorder = Make<TStockAudioRecorder>();
    const TPCMFormats formats = recorder->DeviceFormats();
    EXPECT_TRUE(formats[Mono16bit8000Hz]);
    EXPECT_FALSE(formats[Stereo16bit48000Hz]);
    EXPECT_FALSE(recorder->DeviceName().empty());
    EXPECT_GE(recorder->NumDevs(), 1u);
}

} // namespace

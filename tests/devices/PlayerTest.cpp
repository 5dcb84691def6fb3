// Playback through the output device: the order of the events, the buffers
// handed to the device, positions, pausing, seeking, stopping and the stock
// player's runs.
#include <gtest/gtest.h>

#include "devices/DeviceSupport.h"

using namespace devicetest;

namespace {

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        player = Make<TProbePlayer>();
        player->SetBufferLength(100);
        log.Attach(*player);
    }
    bool Idle() { return !player->Active(); }
    // The bytes queued so far, one buffer after the other.
    Bytes Played() {
        Bytes played;
        for (const Bytes& b : player->written)
            played.insert(played.end(), b.begin(), b.end());
        return played;
    }
    static Bytes Slice(const Bytes& data, std::size_t from, std::size_t count) {
        return Bytes(data.begin() + from, data.begin() + from + count);
    }

    TWaveDevicePtr<TProbePlayer> player;
    EventLog log;
    ShownErrors shown;
};

TEST_F(PlayerTest, PlaysToTheEndWithOneLevelPerBufferAndClosesByItself) {
    // 250 ms at 8000 Hz, 8-bit mono: buffers of 800, 800 and 400 bytes.
    const Bytes file = PatternWave(Mono8Bit8000Hz, 250);
    LoadWave(*player, file);
    player->SetActive(true);
    EXPECT_TRUE(player->Active());
    EXPECT_EQ(player->State(), TWaveAudioState::Active);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(log.WithoutLevels(), (std::vector<std::string>{"activate", "deactivate"}));
    EXPECT_EQ(log.Count("level "), 4); // three buffers, then 0 at the close
    EXPECT_EQ(log.events[log.events.size() - 2], "level 0");
    ASSERT_EQ(player->written.size(), 3u);
    EXPECT_EQ(player->written[0].size(), 800u);
    EXPECT_EQ(player->written[2].size(), 400u);
    EXPECT_EQ(Played(), DataOf(file));
    EXPECT_EQ(player->HeaderCount(), 0);
    EXPECT_EQ(player->State(), TWaveAudioState::Idle);
    EXPECT_EQ(player->Wave()->Phase(), wpNone);
    EXPECT_TRUE(shown.Texts().empty());
}

TEST_F(PlayerTest, PlaysOnlyTheDataChunkAndNothingOfAnEmptyOne) {
    // A chunk after the data is not sound.
    Bytes file = PatternWave(Mono8Bit8000Hz, 50);
    for (const char c : std::string("LIST\x04\0\0\0abcd", 12))
        file.push_back(static_cast<std::uint8_t>(c));
    LoadWave(*player, file);
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(Played(), DataOf(file));

    log.events.clear();
    player->written.clear();
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 0));
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_TRUE(player->written.empty());
    EXPECT_EQ(log.events, (std::vector<std::string>{"activate", "level 0", "deactivate"}));
}

TEST_F(PlayerTest, StopHandsBackTheQueuedBuffersAndReleasesThem) {
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 5000));
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return player->written.size() >= 2; }));
    player->SetActive(false);
    EXPECT_EQ(player->State(), TWaveAudioState::Closing);
    const std::size_t writtenAtStop = player->written.size();
    player->SetActive(false); // closing already: nothing more
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(player->written.size(), writtenAtStop); // nothing refilled after the stop
    EXPECT_EQ(log.WithoutLevels().back(), "deactivate");
    EXPECT_EQ(player->HeaderCount(), 0);
    EXPECT_EQ(player->Wave()->Phase(), wpNone);
}

TEST_F(PlayerTest, PausedBeforeTheStartItOpensPausedAndResumes) {
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 500));
    player->SetPaused(true); // no device yet: only remembered
    EXPECT_TRUE(player->Paused());
    EXPECT_EQ(log.events, (std::vector<std::string>{"pause"}));
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return log.Count("activate") == 1; }));
    PumpFor(300);
    EXPECT_TRUE(player->Active());
    EXPECT_TRUE(player->Paused());
    EXPECT_EQ(player->written.size(), 2u); // the queue is filled, nothing comes back
    player->SetPaused(false);
    EXPECT_EQ(log.events.back(), "resume");
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(player->written.size(), 5u);
    EXPECT_FALSE(player->Paused());
}

TEST_F(PlayerTest, APositionSetBeforeTheStartIsWhereThatRunBegins) {
    const Bytes data = DataOf(PatternWave(Mono8Bit8000Hz, 2000));
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 2000));
    player->SetPosition(1500);
    EXPECT_EQ(player->Position(), 1500);
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(Played(), Slice(data, 12000, 4000));
    // The next run begins at the start again.
    player->written.clear();
    EXPECT_EQ(player->Position(), 0);
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(Played(), data);
}

TEST_F(PlayerTest, SeekingRefillsFromTheNewPositionAndKeepsAPauseRunning) {
    const Bytes data = DataOf(PatternWave(Mono8Bit8000Hz, 3000));
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 3000));
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return player->written.size() >= 2; }));
    player->SetPaused(true);
    const std::size_t before = player->written.size();
    player->SetPosition(2000);
    EXPECT_GE(player->Position(), 2000);
    ASSERT_TRUE(PumpUntil([&] { return player->written.size() >= before + 2; }));
    EXPECT_TRUE(player->Paused());
    EXPECT_EQ(player->written[before], Slice(data, 16000, 800));
    EXPECT_EQ(player->written[before + 1], Slice(data, 16800, 800));
    player->SetPaused(false);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    Bytes tail;
    for (std::size_t i = before; i < player->written.size(); ++i)
        tail.insert(tail.end(), player->written[i].begin(), player->written[i].end());
    EXPECT_EQ(tail, Slice(data, 16000, 8000));
}

TEST_F(PlayerTest, ASeekAfterTheEndOfTheDataWasFoundPlaysOnUnlessItIsAStopsClose) {
    // 250 ms: the request after the third buffer finds no data and starts the
    // close while that buffer still plays.
    const Bytes file = PatternWave(Mono8Bit8000Hz, 250);
    const Bytes data = DataOf(file);
    const auto toTheEnd = [&](bool stop, std::int32_t ms) {
        log.events.clear();
        player->written.clear();
        LoadWave(*player, file);
        player->SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return player->State() == TWaveAudioState::Closing; }));
        ASSERT_EQ(Played(), data);
        if (stop)
            player->SetActive(false);
        player->SetPosition(ms);
        ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
        EXPECT_EQ(log.WithoutLevels(), (std::vector<std::string>{"activate", "deactivate"}));
    };
    toTheEnd(false, 100); // back into the data: it plays on from there
    Bytes twice = data;
    twice.insert(twice.end(), data.begin() + 800, data.end());
    EXPECT_EQ(Played(), twice);
    for (const auto& [stop, ms] :
         {std::pair{false, 250}, std::pair{false, 5000}, std::pair{true, 0}}) {
        SCOPED_TRACE(std::to_string(ms) + (stop ? " after a stop" : ""));
        toTheEnd(stop, ms); // to the end, past it, or after a stop: the playback ends
        EXPECT_EQ(Played(), data);
    }
}

TEST_F(PlayerTest, AStopWhileTheLastBuffersPlayHandsThemBack) {
    // Paused after the end of the data was found, the device would hold its
    // buffers for ever: only the stop's reset can end the run.
    const Bytes file = PatternWave(Mono8Bit8000Hz, 250);
    LoadWave(*player, file);
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return player->State() == TWaveAudioState::Closing; }));
    player->SetPaused(true);
    player->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(log.WithoutLevels(), (std::vector<std::string>{"activate", "pause", "deactivate"}));
    EXPECT_EQ(Played(), DataOf(file)); // nothing refilled
    EXPECT_EQ(player->HeaderCount(), 0);
    EXPECT_TRUE(shown.Texts().empty());
}

TEST_F(PlayerTest, ChangingTheWaveStopsThePlayback) {
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 5000));
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return log.Count("activate") == 1; }));
    LoadWave(*player, PatternWave(Mono16bit8000Hz, 100));
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(log.WithoutLevels(), (std::vector<std::string>{"activate", "deactivate"}));

    // SetWave copies, and waits for the close of the run it stops.
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return log.Count("activate") == 2; }));
    TWave other;
    TMemoryStream source;
    const Bytes file = PatternWave(Stereo16bit8000Hz, 100);
    source.Write(file.data(), static_cast<std::int64_t>(file.size()));
    source.SetPosition(0);
    other.LoadFromStream(source);
    player->SetWave(&other);
    EXPECT_FALSE(player->Active());
    EXPECT_EQ(log.WithoutLevels().back(), "deactivate");
    EXPECT_TRUE(player->Wave()->ContentEquals(other));
    player->SetWave(nullptr);
    EXPECT_TRUE(player->Wave()->IsEmpty());
}

TEST_F(PlayerTest, DeviceNumbersAreValidatedAndFixedWhileOpen) {
    EXPECT_EQ(player->DeviceID(), -1);
    player->OnError = nullptr;
    try {
        player->SetDeviceID(1000);
        ADD_FAILURE() << "no error";
    } catch (const EWaveAudioSysError& error) {
        EXPECT_EQ(player->ErrorCode(), static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
        EXPECT_EQ(error.what(), player->ErrorText());
        EXPECT_FALSE(player->ErrorText().empty());
    }
    log.Attach(*player);
    player->SetDeviceID(1000);
    EXPECT_EQ(log.events, (std::vector<std::string>{"error 2"}));
    EXPECT_EQ(player->DeviceID(), -1);
    player->SetDeviceID(0);
    EXPECT_EQ(player->DeviceID(), 0);
    EXPECT_FALSE(player->DeviceName().empty());

    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 3000));
    player->SetActive(true);
    player->SetDeviceID(0); // the current number: nothing
    try {
        player->SetDeviceID(-1);
        ADD_FAILURE() << "no error";
    } catch (const EWaveAudioInvalidOperation& error) {
        EXPECT_STREQ(error.what(), "DeviceID cannot be changed while device is open");
    }
    player->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
}

TEST_F(PlayerTest, ARefusedOrImpossibleOpenIsReportedAndLeavesNothingOpen) {
    // A format no device plays.
    Bytes file = PatternWave(Mono8Bit8000Hz, 100);
    file[20] = 0x34;
    file[21] = 0x12;
    LoadWave(*player, file);
    player->SetActive(true);
    EXPECT_EQ(log.events, (std::vector<std::string>{"error 32"})); // WAVERR_BADFORMAT
    EXPECT_FALSE(player->Active());
    EXPECT_EQ(player->Wave()->Phase(), wpNone);
    // No wave: the device is not even asked.
    log.events.clear();
    player->Wave()->Clear();
    player->SetActive(true);
    EXPECT_EQ(log.events, (std::vector<std::string>{"error 11"})); // MMSYSERR_INVALPARAM
    // Without a handler the failure is raised.
    player->OnError = nullptr;
    LoadWave(*player, file);
    EXPECT_THROW(player->SetActive(true), EWaveAudioSysError);
    EXPECT_EQ(player->State(), TWaveAudioState::Idle);
    PumpFor(100);
    EXPECT_EQ(log.Count("activate"), 0);
}

TEST_F(PlayerTest, AnErrorEscapingAHandlerIsShownOnceAndPlaybackGoesOn) {
    player->OnActivate = [](TWaveAudioIO*) { throw std::runtime_error("boom"); };
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 250));
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return Idle(); }));
    EXPECT_EQ(shown.Texts(), (std::vector<std::string>{"boom"}));
    EXPECT_EQ(player->written.size(), 3u);
    EXPECT_EQ(log.events.back(), "deactivate");
}

TEST(StockPlayerTest, PlaysStreamsAndItsStockAndWaitsForTheCloseOfARunningOne) {
    auto player = Make<TStockAudioPlayer>();
    player->SetBufferLength(100);
    EventLog log;
    log.Attach(*player);
    EXPECT_THROW(
        {
            try {
                player->PlayStock();
            } catch (const EWaveAudioInvalidOperation& e) {
                EXPECT_STREQ(e.what(), "Stock property is not assigned");
                throw;
            }
        },
        EWaveAudioInvalidOperation);
    const auto streamOf = [](const Bytes& file) {
        auto* stream = new TMemoryStream;
        stream->Write(file.data(), static_cast<std::int64_t>(file.size()));
        return stream;
    };
    ASSERT_TRUE(player->PlayStream(streamOf(PatternWave(Mono8Bit8000Hz, 3000)), true));
    ASSERT_TRUE(PumpUntil([&] { return log.Count("activate") == 1; }));
    // A second stream while the first plays: the first run closes first.
    ASSERT_TRUE(player->PlayStream(streamOf(PatternWave(Mono8Bit8000Hz, 200)), true));
    EXPECT_EQ(log.WithoutLevels(), (std::vector<std::string>{"activate", "deactivate"}));
    ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }));
    EXPECT_EQ(log.WithoutLevels(),
              (std::vector<std::string>{"activate", "deactivate", "activate", "deactivate"}));

    // The stock: a storage freed during the run ends the run.
    auto storage = std::make_unique<TWaveStorage>();
    TMemoryStream source;
    const Bytes file = PatternWave(Mono8Bit8000Hz, 3000);
    source.Write(file.data(), static_cast<std::int64_t>(file.size()));
    source.SetPosition(0);
    storage->Wave()->LoadFromStream(source);
    player->SetStock(storage.get());
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return log.Count("activate") == 3; }));
    storage.reset();
    EXPECT_EQ(player->Stock(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }));
    EXPECT_EQ(log.WithoutLevels().back(), "deactivate");
}

TEST(OutputControlsTest, ConvertAndClampAsTheDeviceCallsExpect) {
    EXPECT_EQ(TWaveAudioOut::ToFixedPoint(1.5), 0x00018000u);
    EXPECT_EQ(TWaveAudioOut::ToFixedPoint(2.25), 0x00024000u);
    EXPECT_DOUBLE_EQ(TWaveAudioOut::FromFixedPoint(0x00018000u), 1.5);
    EXPECT_DOUBLE_EQ(TWaveAudioOut::FromFixedPoint(0xFFFF8000u), -0.5);
    EXPECT_EQ(TWaveAudioOut::PackVolume(75, 100), 49151u | (65535u << 16));
    EXPECT_EQ(TWaveAudioOut::PackVolume(150, 0), 65535u);
    std::uint16_t left = 0;
    std::uint16_t right = 0;
    TWaveAudioOut::UnpackVolume(49151u | (32768u << 16), left, right);
    EXPECT_EQ(left, 75);
    EXPECT_EQ(right, 50);

    auto player = Make<TProbePlayer>();
    EXPECT_EQ(player->Volume(), 75);
    player->SetVolume(150);
    EXPECT_EQ(player->VolumeLeft(), 100);
    EXPECT_EQ(player->VolumeRight(), 100);
    player->SetVolumeRight(20);
    EXPECT_EQ(player->Volume(), 60);
    player->SetPitch(1.5);
    EXPECT_DOUBLE_EQ(player->Pitch(), 1.5); // a closed device reads the stored value
    EXPECT_DOUBLE_EQ(player->PlaybackRate(), 1.0);
    player->SetBufferLength(5);
    EXPECT_EQ(player->BufferLength(), 10);

    MMTIME time{};
    time.wType = TIME_SMPTE;
    time.u.smpte.hour = 1;
    time.u.smpte.min = 2;
    time.u.smpte.sec = 3;
    time.u.smpte.frame = 10;
    EXPECT_EQ(player->MMTimeToMS(time), 3723000);
    time.wType = TIME_SAMPLES; // no format yet: no rate to divide by
    time.u.sample = 8000;
    EXPECT_EQ(player->MMTimeToMS(time), 0);
    time.wType = TIME_MIDI;
    EXPECT_EQ(player->MMTimeToMS(time), 0);
}

} // namespace

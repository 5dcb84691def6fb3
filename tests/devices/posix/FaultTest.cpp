// Every device call that can fail, failing: the simulated devices answer the
// Nth call of a function with a chosen code. Each case checks the events it
// must and must not raise, what the object does next, and that nothing is
// left open, queued or allocated. Runs on the virtual clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "devices/DeviceSupport.h"
#include "platform/posix/WaveSim.h"

using namespace devicetest;
namespace sim = posix::wavesim;

namespace {

// The platform's faults cover the waveform functions only. An engine out of
// memory is made here: GlobalAlloc of this program (the engine's calls bind
// to it) fails its Nth call from the moment it is armed; otherwise it is the
// platform's (a plain malloc block).
std::atomic<int> theFailingAlloc{0};

} // namespace

extern "C" HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (theFailingAlloc > 0 && --theFailingAlloc == 0)
        return nullptr;
    if ((flags & ~GPTR) != 0)
        return nullptr;
    const SIZE_T size = bytes == 0 ? 1 : bytes;
    return (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
}

namespace {

using Events = std::vector<std::string>;

class FaultTest : public ::testing::Test {
protected:
    void TearDown() override {
        theFailingAlloc = 0;
        if (player != nullptr)
            player->Free();
        if (recorder != nullptr)
            recorder->Free();
        EXPECT_EQ(TProbePlayer::alive + TProbeRecorder::alive, 0);
        EXPECT_EQ(sim::State().openDevices, 0u);
        EXPECT_EQ(sim::State().queuedHeaders, 0u);
        std::filesystem::remove(path);
        sim::Configure("");
    }
    // A player of 300 ms (three buffers) with `fault` set.
    void Player(const std::string& fault) {
        Configure(fault);
        player = new TProbePlayer;
        player->SetBufferLength(100);
        log.Attach(*player);
        LoadWave(*player, PatternWave(Mono8Bit8000Hz, 300));
    }
    void Recorder(const std::string& fault) {
        Configure(fault);
        recorder = new TProbeRecorder;
        recorder->SetBufferLength(100);
        log.Attach(*recorder);
    }
    void Configure(const std::string& fault) {
        std::string error;
        ASSERT_TRUE(
            sim::Configure("clock=virtual" + (fault.empty() ? "" : ";fault=" + fault), &error))
            << error;
    }
    bool Until(const std::string& event) {
        return PumpUntil([&] { return log.Count(event) > 0; }, 5000);
    }
    bool Idle(TWaveAudioIO& device) {
        return PumpUntil([&] { return !device.Active(); }, 5000);
    }
    Events Seen() const { return log.WithoutLevels(); }

    TProbePlayer* player = nullptr;
    TProbeRecorder* recorder = nullptr;
    EventLog log;
    std::string path = TempPath("fault.wav");
};

TEST_F(FaultTest, ARefusedOpenRaisesOnlyTheError) {
    for (const auto& [fault, code] : {std::pair{"waveOutOpen:1:WAVERR_BADFORMAT", "error 32"},
                                      std::pair{"waveOutOpen:2:MMSYSERR_ALLOCATED", "error 4"}}) {
        SCOPED_TRACE(fault);
        log.events.clear();
        Player(fault);
        player->SetActive(true);
        EXPECT_EQ(player->State(), TWaveAudioState::Idle);
        PumpFor(200);
        EXPECT_EQ(log.events, (Events{code}));
        EXPECT_EQ(player->Wave()->Phase(), wpNone);
        player->Free();
        player = nullptr;
    }
}

TEST_F(FaultTest, ABufferThatCannotBeQueuedEndsThePlayback) {
    for (const auto& [fault, code] : {std::pair{"waveOutPrepareHeader:1:MMSYSERR_NOMEM", "error 7"},
                                      std::pair{"waveOutWrite:1:MMSYSERR_ERROR", "error 1"}}) {
        SCOPED_TRACE(fault);
        log.events.clear();
        Player(fault);
        player->SetActive(true);
        ASSERT_TRUE(Idle(*player));
        EXPECT_EQ(Seen(), (Events{"activate", code, "deactivate"}));
        EXPECT_EQ(player->HeaderCount(), 0);
        player->Free();
        player = nullptr;
    }
}

TEST_F(FaultTest, AFailedUnprepareIsReportedAndThePlaybackGoesOn) {
    Player("waveOutUnprepareHeader:1:MMSYSERR_ERROR");
    player->SetActive(true);
    ASSERT_TRUE(Idle(*player));
    EXPECT_EQ(Seen(), (Events{"activate", "error 1", "deactivate"}));
    EXPECT_EQ(player->written.size(), 3u);
}

TEST_F(FaultTest, AFailedPauseOrRestartKeepsTheStateItHad) {
    Player("waveOutPause:1:MMSYSERR_ERROR");
    player->SetActive(true);
    ASSERT_TRUE(Until("activate"));
    player->SetPaused(true);
    EXPECT_FALSE(player->Paused());
    sim::ClearFaults();
    ASSERT_TRUE(sim::InjectFault("waveOutRestart:1:MMSYSERR_ERROR"));
    player->SetPaused(true);
    player->SetPaused(false);
    EXPECT_TRUE(player->Paused());
    sim::ClearFaults();
    player->SetPaused(false);
    ASSERT_TRUE(Idle(*player));
    EXPECT_EQ(Seen(), (Events{"activate", "error 1", "pause", "error 1", "resume", "deactivate"}));
}

TEST_F(FaultTest, AFailedResetOrCloseLeavesTheDeviceOpenForAnotherStop) {
    Player("waveOutReset:1:MMSYSERR_ERROR");
    player->SetActive(true);
    ASSERT_TRUE(Until("activate"));
    player->SetActive(false);
    EXPECT_EQ(player->State(), TWaveAudioState::Active);
    player->SetActive(false);
    ASSERT_TRUE(Idle(*player));
    EXPECT_EQ(Seen(), (Events{"activate", "error 1", "deactivate"}));

    // The close at the end of the data fails: the player stays active, with
    // nothing queued, until it is stopped.
    log.events.clear();
    sim::ClearFaults();
    ASSERT_TRUE(sim::InjectFault("waveOutClose:1:MMSYSERR_ERROR"));
    player->SetActive(true);
    ASSERT_TRUE(Until("error"));
    PumpFor(200);
    EXPECT_EQ(player->State(), TWaveAudioState::Active);
    EXPECT_EQ(player->HeaderCount(), 0);
    player->SetActive(false);
    ASSERT_TRUE(Idle(*player));
    EXPECT_EQ(Seen(), (Events{"activate", "error 1", "deactivate"}));
}

TEST_F(FaultTest, NoMemoryForAHeaderOrItsBufferIsCode7AndEndsTheRun) {
    for (const int call : {1, 2}) { // the header, then its buffer
        SCOPED_TRACE(call);
        log.events.clear();
        Player("");
        player->SetActive(true);
        ASSERT_TRUE(Until("activate"));
        theFailingAlloc = call;
        ASSERT_TRUE(Idle(*player));
        EXPECT_EQ(Seen(), (Events{"activate", "error 7", "deactivate"}));
        EXPECT_TRUE(player->written.empty());
        player->Free();
        player = nullptr;
    }
    log.events.clear();
    Recorder("");
    theFailingAlloc = 1;
    ASSERT_TRUE(recorder->RecordToFile(path));
    ASSERT_TRUE(Idle(*recorder));
    EXPECT_EQ(Seen(), (Events{"error 7", "activate", "deactivate"}));
}

TEST_F(FaultTest, ARecorderThatCannotQueueABufferEndsWithACompleteEmptyFile) {
    for (const char* fault :
         {"waveInPrepareHeader:1:MMSYSERR_NOMEM", "waveInAddBuffer:1:MMSYSERR_NOMEM"}) {
        SCOPED_TRACE(fault);
        log.events.clear();
        Recorder(fault);
        ASSERT_TRUE(recorder->RecordToFile(path));
        ASSERT_TRUE(Idle(*recorder));
        EXPECT_EQ(Seen(), (Events{"error 7", "activate", "deactivate"}));
        EXPECT_TRUE(recorder->delivered.empty());
        EXPECT_EQ(ReadFile(path).size(), 46u);
        recorder->Free();
        recorder = nullptr;
    }
    // A refused format, or a device refusing the real open: the headers are
    // written before the device is asked, and the file is finished at once.
    for (const auto& [fault, code] : {std::pair{"waveInOpen:1:WAVERR_BADFORMAT", "error 32"},
                                      std::pair{"waveInOpen:2:MMSYSERR_ALLOCATED", "error 4"}}) {
        SCOPED_TRACE(fault);
        log.events.clear();
        Recorder(fault);
        EXPECT_FALSE(recorder->RecordToFile(path));
        EXPECT_EQ(recorder->State(), TWaveAudioState::Idle);
        PumpFor(200);
        EXPECT_EQ(log.events, (Events{code}));
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(path));
        EXPECT_EQ(wave.DataBytes(), 0u);
        EXPECT_EQ(ReadFile(path).size(), 46u);
        recorder->Free();
        recorder = nullptr;
    }
}

TEST_F(FaultTest, ARecordedBufferWhoseUnprepareFailsIsStillWritten) {
    Recorder("waveInUnprepareHeader:2:MMSYSERR_ERROR");
    ASSERT_TRUE(recorder->RecordToFile(path));
    ASSERT_TRUE(PumpUntil([&] { return recorder->delivered.size() >= 4; }, 5000));
    recorder->SetActive(false);
    ASSERT_TRUE(Idle(*recorder));
    EXPECT_EQ(Seen(), (Events{"activate", "error 1", "deactivate"}));
    TWave wave;
    ASSERT_TRUE(wave.LoadFromFile(path));
    DWORD delivered = 0;
    for (DWORD n : recorder->delivered)
        delivered += n;
    EXPECT_EQ(wave.DataBytes(), delivered);
    RecordingCheck()(wave); // the signal without a gap
}

TEST_F(FaultTest, AFailedStartLeavesTheRecorderPausedUntilItResumes) {
    Recorder("waveInStart:1:MMSYSERR_ERROR");
    ASSERT_TRUE(recorder->RecordToFile(path));
    ASSERT_TRUE(Until("error"));
    EXPECT_TRUE(recorder->Paused());
    PumpFor(300);
    EXPECT_TRUE(recorder->delivered.empty());
    recorder->SetPaused(false);
    ASSERT_TRUE(PumpUntil([&] { return !recorder->delivered.empty(); }, 5000));
    // A failed stop of the device (pause) changes nothing either.
    ASSERT_TRUE(sim::InjectFault("waveInStop:1:MMSYSERR_ERROR"));
    recorder->SetPaused(true);
    EXPECT_FALSE(recorder->Paused());
    recorder->SetActive(false);
    ASSERT_TRUE(Idle(*recorder));
    EXPECT_EQ(Seen(), (Events{"activate", "error 1", "resume", "error 1", "deactivate"}));
}

TEST_F(FaultTest, AFailedResetOrCloseOfTheRecorderKeepsItRecordingUntilAnotherStop) {
    for (const char* fault : {"waveInReset:1:MMSYSERR_ERROR", "waveInClose:1:MMSYSERR_ERROR"}) {
        SCOPED_TRACE(fault);
        log.events.clear();
        Recorder(fault);
        ASSERT_TRUE(recorder->RecordToFile(path));
        ASSERT_TRUE(PumpUntil([&] { return recorder->delivered.size() >= 2; }, 5000));
        recorder->SetActive(false);
        ASSERT_TRUE(Until("error"));
        PumpFor(300);
        EXPECT_EQ(recorder->State(), TWaveAudioState::Active);
        recorder->SetActive(false);
        ASSERT_TRUE(Idle(*recorder));
        EXPECT_EQ(Seen(), (Events{"activate", "error 1", "deactivate"}));
        DWORD delivered = 0;
        for (DWORD n : recorder->delivered)
            delivered += n;
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(path));
        EXPECT_EQ(wave.DataBytes(), delivered);
        recorder->Free();
        recorder = nullptr;
    }
}

} // namespace

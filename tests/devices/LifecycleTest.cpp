// The life cycle of device objects: every (state, request) pair, requests
// and destruction from inside their own events, destruction of running
// devices, and the callback thread. (The shutdown of an unloading library is
// tested by unloading one: tests/library.)
#include <gtest/gtest.h>

#include <filesystem>

#include "devices/DeviceSupport.h"

using namespace devicetest;

namespace {

using State = TWaveAudioState;

const char* Name(State state) {
    switch (state) {
    case State::Idle:
        return "idle";
    case State::Opening:
        return "opening";
    case State::Active:
        return "active";
    case State::Closing:
        return "closing";
    }
    return "?";
}

struct Request {
    const char* name;
    void (*run)(TProbePlayer&);
};

const Request kRequests[] = {
    {"start", [](TProbePlayer& p) { p.SetActive(true); }},
    {"stop", [](TProbePlayer& p) { p.SetActive(false); }},
    {"open", [](TProbePlayer& p) { p.InternalOpen(); }},
    {"close", [](TProbePlayer& p) { p.InternalClose(); }},
    {"pause", [](TProbePlayer& p) { p.SetPaused(true); }},
    {"device", [](TProbePlayer& p) { p.SetDeviceID(0); }},
    {"seek", [](TProbePlayer& p) { p.SetPosition(100); }},
};

struct Outcome {
    std::string error; // the text raised, if any
    State after;
};

// Runs `request` on a player brought into `state`, and what came of it.
Outcome RunInState(State state, const Request& request) {
    auto player = Make<TProbePlayer>();
    player->SetBufferLength(100);
    Bytes file = PatternWave(Mono8Bit8000Hz, 5000);
    Outcome outcome{"", State::Idle};
    const auto attempt = [&] {
        try {
            request.run(*player);
        } catch (const std::exception& e) {
            outcome.error = e.what();
        }
        outcome.after = player->State();
    };
    if (state == State::Opening) {
        file[20] = 0x34; // a format the device refuses: its report comes while opening
        player->OnError = [&](TWaveAudioIO* sender) {
            if (sender->State() == State::Opening && sender->ErrorCode() == WAVERR_BADFORMAT)
                attempt();
        };
    }
    LoadWave(*player, file);
    if (state != State::Idle)
        player->SetActive(true);
    if (state == State::Active || state == State::Closing) {
        EXPECT_TRUE(PumpUntil([&] { return player->writtenCount >= 2; }));
    }
    if (state == State::Closing)
        player->SetActive(false);
    if (state != State::Opening) {
        EXPECT_EQ(player->State(), state);
        attempt();
    }
    if (player->Active() && player->State() != State::Closing)
        player->SetActive(false);
    EXPECT_TRUE(PumpUntil([&] { return !player->Active(); }));
    return outcome;
}

TEST(DeviceStateTest, EveryRequestInEveryState) {
    const std::string open = "Device is aleardy open";
    const std::string closed = "Device is aleardy close";
    const std::string device = "DeviceID cannot be changed while device is open";
    // Rows: start, stop, open, close, pause, device, seek.
    const std::map<State, std::vector<Outcome>> expected = {
        {State::Idle,
         {{"", State::Active},
          {"", State::Idle},
          {"", State::Active},
          {closed, State::Idle},
          {"", State::Idle},
          {"", State::Idle},
          {"", State::Idle}}},
        {State::Opening,
         {{"", State::Opening},
          {"", State::Opening},
          {"", State::Opening},
          {closed, State::Opening},
          {"", State::Opening},
          {"", State::Opening},
          {"", State::Opening}}},
        {State::Active,
         {{"", State::Active},
          {"", State::Closing},
          {open, State::Active},
          {"", State::Closing},
          {"", State::Active},
          {device, State::Active},
          {"", State::Active}}},
        {State::Closing,
         {{"", State::Closing},
          {"", State::Closing},
          {"", State::Active}, // waits for the close, then opens again
          {"", State::Closing},
          {"", State::Closing},
          {device, State::Closing},
          {"", State::Closing}}},
    };
    for (const auto& [state, outcomes] : expected) {
        for (std::size_t i = 0; i < std::size(kRequests); ++i) {
            SCOPED_TRACE(std::string(Name(state)) + " + " + kRequests[i].name);
            const Outcome outcome = RunInState(state, kRequests[i]);
            EXPECT_EQ(outcome.error, outcomes[i].error);
            EXPECT_STREQ(Name(outcome.after), Name(outcomes[i].after));
        }
    }
    EXPECT_EQ(TProbePlayer::alive, 0);
}

// Frees the player from inside the event `when`; it must be gone once the
// handler or method that raised the event has returned.
void FreeInside(const std::string& when, bool async) {
    SCOPED_TRACE(when + (async ? " (thread)" : ""));
    ShownErrors shown;
    auto* player = new TProbePlayer;
    player->SetAsync(async);
    player->SetBufferLength(100);
    EventLog log;
    log.Attach(*player);
    std::atomic<bool> freed = false;
    std::size_t queuedAtFree = 0;
    log.onEvent = [&](const std::string& event) {
        if (!freed && event.compare(0, when.size(), when) == 0) {
            freed = true;
            queuedAtFree = TProbePlayer::queued;
            player->Free();
        }
    };
    Bytes file = PatternWave(Mono8Bit8000Hz, when == "deactivate" ? 150 : 3000);
    if (when == "error")
        file[20] = 0x34;
    LoadWave(*player, file);
    if (when == "pause") {
        player->SetPaused(true);
    } else {
        player->SetActive(true);
        if (when == "stop") { // freed while closing, from outside any event
            player->SetActive(false);
            freed = true;
            queuedAtFree = TProbePlayer::queued;
            player->Free();
        }
    }
    EXPECT_TRUE(PumpUntil([&] { return freed && TProbePlayer::alive == 0; }));
    const int events = log.Count("");
    PumpFor(200);
    EXPECT_EQ(log.Count(""), events);              // a freed object raises nothing
    EXPECT_EQ(TProbePlayer::queued, queuedAtFree); // nor queues anything
    EXPECT_TRUE(shown.Texts().empty());
}

struct TCountedStockPlayer : TStockAudioPlayer {
    TCountedStockPlayer() { ++alive; }
    static inline std::atomic<int> alive = 0;

protected:
    ~TCountedStockPlayer() override { --alive; }
};

// The stock devices freed inside their first level report: the recording
// still holds that report's buffer and is complete.
void FreeStockInsideLevel(bool async) {
    SCOPED_TRACE(async ? "thread" : "window");
    const std::string path = TempPath("level-free.wav");
    auto* player = new TCountedStockPlayer;
    auto* recorder = new TProbeRecorder;
    std::atomic<int> levels = 0;
    for (TWaveAudioIO* device : std::initializer_list<TWaveAudioIO*>{player, recorder}) {
        device->SetAsync(async);
        device->SetBufferLength(100);
        device->OnLevel = [&levels](TWaveAudioIO* sender, std::int32_t) {
            ++levels;
            sender->Free();
        };
    }
    const Bytes file = PatternWave(Mono8Bit8000Hz, 3000);
    auto* stream = new TMemoryStream;
    stream->Write(file.data(), static_cast<std::int64_t>(file.size()));
    ASSERT_TRUE(player->PlayStream(stream, true));
    ASSERT_TRUE(recorder->RecordToFile(path));
    EXPECT_TRUE(
        PumpUntil([&] { return TCountedStockPlayer::alive == 0 && TProbeRecorder::alive == 0; }));
    PumpFor(100);
    EXPECT_EQ(levels, 2);
    TWave wave;
    ASSERT_TRUE(wave.LoadFromFile(path));
    EXPECT_GE(wave.DataBytes(), 1600u); // 100 ms of 8 kHz 16-bit mono
    EXPECT_EQ(wave.MemoryStream().Size(), wave.DataStart() + std::int64_t{wave.DataBytes()});
    std::filesystem::remove(path);
}

TEST(DeviceReentryTest, AnObjectFreedInsideItsOwnEventGoesWhenTheEventHasReturned) {
    for (const bool async : {false, true})
        for (const char* when : {"activate", "level", "deactivate", "error", "pause", "stop"})
            FreeInside(when, async);
    EXPECT_EQ(TProbePlayer::alive, 0);
    for (const bool async : {false, true})
        FreeStockInsideLevel(async);
}

// The level is reported while a buffer is filled, before it is queued: what
// the report's handler does applies to that buffer too.
TEST(DeviceReentryTest, ControlsFromInsideALevelReportApplyToTheBufferInHand) {
    const Bytes data = DataOf(PatternWave(Mono8Bit8000Hz, 3000));
    const auto slice = [&](std::size_t from, std::size_t count) {
        return Bytes(data.begin() + from, data.begin() + from + count);
    };
    for (const bool async : {false, true}) {
        for (const std::string control : {"seek", "stop", "pause"}) {
            SCOPED_TRACE(control + (async ? " (thread)" : ""));
            auto player = Make<TProbePlayer>();
            player->SetAsync(async);
            player->SetBufferLength(100);
            EventLog log;
            log.Attach(*player);
            log.onEvent = [&](const std::string& event) {
                if (event.compare(0, 6, "level ") != 0 || log.Count("level ") != 2)
                    return; // the second buffer's report: the first one is queued
                if (control == "seek")
                    player->SetPosition(2000);
                else if (control == "stop")
                    player->SetActive(false);
                else
                    player->SetPaused(true);
            };
            LoadWave(*player, PatternWave(Mono8Bit8000Hz, 3000));
            player->SetActive(true);
            if (control == "pause") {
                ASSERT_TRUE(PumpUntil([&] { return player->Paused(); }));
                PumpFor(100); // (a buffer handed back before the pause is refilled)
                const std::size_t queued = player->writtenCount;
                PumpFor(200);
                EXPECT_EQ(player->writtenCount, queued); // nothing plays while paused
                EXPECT_LE(queued, 3u);
                player->SetPaused(false);
            }
            ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }));
            Bytes played;
            for (const Bytes& b : player->written)
                played.insert(played.end(), b.begin(), b.end());
            Bytes expected = slice(0, 800);
            if (control == "seek") {
                const Bytes tail = slice(16000, 8000);
                expected.insert(expected.end(), tail.begin(), tail.end());
            } else if (control == "pause") {
                expected = data;
            }
            EXPECT_EQ(played, expected);
            EXPECT_EQ(log.WithoutLevels().front(), "activate");
            EXPECT_EQ(log.WithoutLevels().back(), "deactivate");
            EXPECT_EQ(log.Count("deactivate"), 1);
        }
    }
}

TEST(DeviceReentryTest, AStopAndAStartInsideTheDeactivationPlayAgain) {
    auto player = Make<TProbePlayer>();
    player->SetBufferLength(100);
    EventLog log;
    log.Attach(*player);
    log.onEvent = [&](const std::string& event) {
        if (event == "deactivate" && log.Count("deactivate") == 1)
            player->SetActive(true);
        if (event == "level 37" || (event.compare(0, 6, "level ") == 0 && log.Count("level") == 2))
            player->SetPosition(0); // a seek from inside the level report
    };
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 300));
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return log.Count("deactivate") == 2; }));
    EXPECT_EQ(log.WithoutLevels(),
              (std::vector<std::string>{"activate", "deactivate", "activate", "deactivate"}));
    EXPECT_FALSE(player->Active());
}

class DestructionTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path); }
    // A playing player and a recorder that has delivered some buffers.
    void StartBoth(bool async) {
        player = new TProbePlayer;
        recorder = new TProbeRecorder;
        for (TWaveAudioIO* device : std::initializer_list<TWaveAudioIO*>{player, recorder}) {
            device->SetAsync(async);
            device->SetBufferLength(100);
        }
        playerLog.Attach(*player);
        recorderLog.Attach(*recorder);
        LoadWave(*player, PatternWave(Mono8Bit8000Hz, 5000));
        player->SetActive(true);
        ASSERT_TRUE(recorder->RecordToFile(path));
        ASSERT_TRUE(
            PumpUntil([&] { return player->writtenCount >= 2 && recorder->deliveredCount >= 2; }));
    }
    // Frees both and checks the recording and the silence of the freed objects.
    void FreeBothAndCheck() {
        DWORD delivered = 0;
        for (DWORD n : recorder->delivered)
            delivered += n;
        player->Free();
        recorder->Free();
        EXPECT_EQ(TProbePlayer::alive, 0);
        EXPECT_EQ(TProbeRecorder::alive, 0);
        // The close path's reports stay silent.
        EXPECT_EQ(playerLog.Count("deactivate") + playerLog.Count("level 0"), 0);
        EXPECT_EQ(recorderLog.Count("deactivate"), 0);
        // Complete, with every byte delivered before and those the device
        // still held.
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(path));
        EXPECT_GE(wave.DataBytes(), delivered);
        EXPECT_EQ(wave.DataBytes() % 2, 0u);
        EXPECT_EQ(wave.MemoryStream().Size(), wave.DataStart() + std::int64_t{wave.DataBytes()});
        PumpFor(100);
    }

    std::string path = TempPath("destruction.wav");
    TProbePlayer* player = nullptr;
    TProbeRecorder* recorder = nullptr;
    EventLog playerLog;
    EventLog recorderLog;
};

TEST_F(DestructionTest, FreeingRunningDevicesIsSilentAndCompletesTheRecording) {
    for (const bool async : {false, true}) {
        SCOPED_TRACE(async ? "thread" : "window");
        StartBoth(async);
        FreeBothAndCheck();
    }
}

TEST(CallbackThreadTest, NotificationsRunOnTheDevicesOwnThread) {
    auto player = Make<TProbePlayer>();
    player->SetAsync(true);
    player->SetBufferLength(100);
    EventLog log;
    log.Attach(*player);
    const Bytes file = PatternWave(Mono8Bit8000Hz, 250);
    LoadWave(*player, file);
    player->SetActive(true);
    player->SetAsync(false); // ignored while active
    EXPECT_TRUE(player->Async());
    ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }));
    EXPECT_EQ(log.WithoutLevels(), (std::vector<std::string>{"activate", "deactivate"}));
    for (DWORD thread : log.threads)
        EXPECT_NE(thread, GetCurrentThreadId());
    Bytes played;
    for (const Bytes& b : player->written)
        played.insert(played.end(), b.begin(), b.end());
    EXPECT_EQ(played, DataOf(file));

    // Seeks, controls and positions from this thread while the callback
    // thread refills.
    player->written.clear();
    player->SetOptions(TWaveOutOptions().set(woSetVolume).set(woSetPitch));
    LoadWave(*player, PatternWave(Mono8Bit8000Hz, 2000));
    player->SetActive(true);
    for (int i = 0; i < 20 && player->Active(); ++i) {
        player->SetPosition(1900);
        player->SetVolume(static_cast<std::uint16_t>(i * 5));
        player->SetPitch(1.0 + i / 100.0);
        EXPECT_GE(player->Position(), 0);
        PumpFor(10);
    }
    ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }));
    EXPECT_LE(player->written.size(), 41u); // never more than the seeks refilled

    auto recorder = Make<TProbeRecorder>();
    recorder->SetAsync(true);
    recorder->SetBufferLength(100);
    const std::string path = TempPath("thread.wav");
    ASSERT_TRUE(recorder->RecordToFile(path));
    ASSERT_TRUE(PumpUntil([&] { return recorder->deliveredCount >= 2; }));
    recorder->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return !recorder->Active(); }));
    TWave wave;
    EXPECT_TRUE(wave.LoadFromFile(path));
    EXPECT_GT(wave.DataBytes(), 0u);
    recorder.reset();
    std::filesystem::remove(path);
}

} // namespace

// The life cycle of device objects: every (state, request) pair, requests
// and destruction from inside their own events, destruction of running
// devices, and the callback thread. (The shutdown of an unloading library is
// tested by unloading one: tests/library.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>

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

// Every request on a device object of either direction, in every state the
// object can be in when it arrives, including the requests that return at
// once: what it raises, answers and fires, and the state it leaves.
namespace table {

enum class From { Idle, Opening, Active, Paused, Closing, Draining };

const char* FromName(From from) {
    constexpr const char* kNames[] = {"idle", "opening", "active", "paused", "closing", "draining"};
    return kNames[static_cast<int>(from)];
}

TProbePlayer* AsPlayer(TWaveAudioIO& device) {
    return dynamic_cast<TProbePlayer*>(&device);
}

std::string Answer(bool value) {
    return value ? "true" : "false";
}

struct DeviceRequest {
    const char* name;
    // Runs the request; what it answers ("" for nothing).
    std::string (*run)(TWaveAudioIO& device, const std::string& path);
};

const DeviceRequest kDeviceRequests[] = {
    {"start",
     [](TWaveAudioIO& d, const std::string& path) -> std::string {
         if (AsPlayer(d) != nullptr) {
             d.SetActive(true);
             return "";
         }
         return Answer(static_cast<TProbeRecorder&>(d).RecordToFile(path + ".new"));
     }},
    {"stop",
     [](TWaveAudioIO& d, const std::string&) -> std::string {
         d.SetActive(false);
         return "";
     }},
    {"open",
     [](TWaveAudioIO& d, const std::string&) {
         TProbePlayer* p = AsPlayer(d);
         return Answer(p != nullptr ? p->InternalOpen()
                                    : static_cast<TProbeRecorder&>(d).InternalOpen());
     }},
    {"close",
     [](TWaveAudioIO& d, const std::string&) {
         TProbePlayer* p = AsPlayer(d);
         return Answer(p != nullptr ? p->InternalClose()
                                    : static_cast<TProbeRecorder&>(d).InternalClose());
     }},
    {"pause",
     [](TWaveAudioIO& d, const std::string&) -> std::string {
         d.SetPaused(true);
         return "";
     }},
    {"resume",
     [](TWaveAudioIO& d, const std::string&) -> std::string {
         d.SetPaused(false);
         return "";
     }},
    {"device",
     [](TWaveAudioIO& d, const std::string&) -> std::string {
         d.SetDeviceID(0);
         return "";
     }},
    {"async",
     [](TWaveAudioIO& d, const std::string&) -> std::string {
         d.SetAsync(true);
         return d.Async() ? "thread" : "window";
     }},
    {"seek/format",
     [](TWaveAudioIO& d, const std::string&) -> std::string {
         if (TProbePlayer* p = AsPlayer(d))
             p->SetPosition(100);
         else
             static_cast<TProbeRecorder&>(d).SetPCMFormat(Stereo16bit44100Hz);
         return "";
     }},
    {"free",
     [](TWaveAudioIO& d, const std::string&) -> std::string {
         d.Free();
         return "";
     }},
};

struct Cell {
    std::string error;  // the text raised, if any
    std::string answer; // what the request answered
    std::string events; // the events it fired (levels left out), blank-separated
    std::string after;  // the state it left ("freed" once the object is gone)
};

std::ostream& operator<<(std::ostream& out, const Cell& c) {
    return out << "{\"" << c.error << "\", \"" << c.answer << "\", \"" << c.events << "\", \""
               << c.after << "\"}";
}

bool operator==(const Cell& a, const Cell& b) {
    return a.error == b.error && a.answer == b.answer && a.events == b.events && a.after == b.after;
}

// Brings a player or a recorder into `from` and runs `request` there.
Cell Run(bool recorder, From from, const DeviceRequest& request) {
    const std::string path = TempPath("table.wav");
    TWaveAudioIO* device = nullptr;
    if (recorder)
        device = new TProbeRecorder;
    else
        device = new TProbePlayer;
    device->SetBufferLength(100);
    EventLog log;
    log.Attach(*device);
    Cell cell;
    bool freed = false;
    const auto attempt = [&] {
        const std::size_t before = log.WithoutLevels().size();
        freed = std::string(request.name) == "free";
        try {
            cell.answer = request.run(*device, path);
        } catch (const std::exception& e) {
            cell.error = e.what();
        }
        const std::vector<std::string> events = log.WithoutLevels();
        for (std::size_t i = before; i < events.size(); ++i)
            cell.events += (cell.events.empty() ? "" : " ") + events[i];
        cell.after = freed ? "freed" : Name(device->State());
    };
    const auto start = [&] {
        if (recorder)
            static_cast<TProbeRecorder*>(device)->RecordToFile(path);
        else
            device->SetActive(true);
    };
    if (recorder) {
        auto* r = static_cast<TProbeRecorder*>(device);
        if (from == From::Opening) {
            // The format is asked for while the open call runs.
            r->SetPCMFormat(nonePCM);
            r->OnFormat = [&](TWaveAudioIO* sender, PWaveFormatEx& format, bool& freeIt) {
                if (sender->State() == State::Opening && cell.after.empty())
                    attempt();
                format = static_cast<PWaveFormatEx>(std::calloc(1, sizeof(WAVEFORMATEX)));
                MakePCMFormat(format, Mono16bit8000Hz);
                freeIt = true;
            };
        }
    } else {
        Bytes file = PatternWave(Mono8Bit8000Hz, from == From::Draining ? 300 : 5000);
        if (from == From::Opening) {
            file[20] = 0x34; // a format the device refuses: its report comes while opening
            device->OnError = [&](TWaveAudioIO* sender) {
                log.Add("error " + std::to_string(sender->ErrorCode()));
                if (sender->State() == State::Opening && cell.after.empty())
                    attempt();
            };
        }
        LoadWave(*static_cast<TProbePlayer*>(device), file);
    }
    if (from != From::Idle)
        start();
    if (from != From::Idle && from != From::Opening) {
        EXPECT_TRUE(PumpUntil([&] { return log.Count("activate") == 1; }));
        EXPECT_TRUE(PumpUntil([&] {
            return recorder ? static_cast<TProbeRecorder*>(device)->deliveredCount >= 1
                            : static_cast<TProbePlayer*>(device)->writtenCount >= 2;
        }));
    }
    if (from == From::Paused)
        device->SetPaused(true);
    if (from == From::Closing)
        device->SetActive(false);
    if (from == From::Draining) {
        EXPECT_TRUE(PumpUntil([&] { return device->State() == State::Closing; }));
    }
    if (from != From::Opening) {
        const State expected = from == From::Idle                                ? State::Idle
                               : from == From::Closing || from == From::Draining ? State::Closing
                                                                                 : State::Active;
        EXPECT_EQ(device->State(), expected);
        attempt();
    }
    if (!freed) {
        device->SetActive(false); // (a player paused at the end of its data stays there)
        EXPECT_TRUE(PumpUntil([&] { return !device->Active(); }));

        device->Free();
    }
    PumpFor(20);
    std::filesystem::remove(path);
    std::filesystem::remove(path + ".new");
    return cell;
}

} // namespace table

TEST(DeviceStateTest, EveryRequestOfEitherDirectionInEveryState) {
    using table::Cell;
    using table::From;
    const std::string open = "Device is aleardy open";
    const std::string closed = "Device is aleardy close";
    const std::string device = "DeviceID cannot be changed while device is open";
    const std::string format = "Audio format cannot be changed while device is open";
    // Per direction (player, recorder) and state, the cells of the requests
    // in the order of kDeviceRequests: start (a recorder's records into a
    // new file), stop, open, close, pause, resume, device, async, seek or
    // format, free.
    const std::map<bool, std::map<From, std::vector<Cell>>> expected = {
        {false,
         {
             {From::Idle,
              {{"", "", "", "active"},
               {"", "", "", "idle"},
               {"", "true", "", "active"},
               {closed, "", "", "idle"},
               {"", "", "pause", "idle"},
               {"", "", "", "idle"},
               {"", "", "", "idle"},
               {"", "thread", "", "idle"},
               {"", "", "", "idle"},
               {"", "", "", "freed"}}},
             {From::Opening,
              {{"", "", "", "opening"},
               {"", "", "", "opening"},
               {"", "false", "", "opening"},
               {closed, "", "", "opening"},
               {"", "", "pause", "opening"},
               {"", "", "", "opening"},
               {"", "", "", "opening"},
               {"", "thread", "", "opening"},
               {"", "", "", "opening"},
               {"", "", "", "freed"}}},
             {From::Active,
              {{"", "", "", "active"},
               {"", "", "", "closing"},
               {open, "", "", "active"},
               {"", "true", "", "closing"},
               {"", "", "pause", "active"},
               {"", "", "", "active"},
               {device, "", "", "active"},
               {"", "window", "", "active"},
               {"", "", "", "active"},
               {"", "", "", "freed"}}},
             {From::Paused,
              {{"", "", "", "active"},
               {"", "", "", "closing"},
               {open, "", "", "active"},
               {"", "true", "", "closing"},
               {"", "", "", "active"},
               {"", "", "resume", "active"},
               {device, "", "", "active"},
               {"", "window", "", "active"},
               {"", "", "", "active"},
               {"", "", "", "freed"}}},
             {From::Closing,
              {{"", "", "", "closing"},
               {"", "", "", "closing"},
               {"", "true", "deactivate", "active"},
               {"", "false", "", "closing"},
               {"", "", "pause", "closing"},
               {"", "", "", "closing"},
               {device, "", "", "closing"},
               {"", "window", "", "closing"},
               {"", "", "", "closing"},
               {"", "", "", "freed"}}},
             {From::Draining,
              {{"", "", "", "closing"},
               {"", "", "", "closing"},
               {"", "true", "deactivate", "active"},
               {"", "true", "", "closing"},
               {"", "", "pause", "closing"},
               {"", "", "", "closing"},
               {device, "", "", "closing"},
               {"", "window", "", "closing"},
               {"", "", "", "active"},
               {"", "", "", "freed"}}},
         }},
        {true,
         {
             {From::Idle,
              {{"", "true", "", "active"},
               {"", "", "", "idle"},
               {"", "true", "", "active"},
               {closed, "", "", "idle"},
               {"", "", "pause", "idle"},
               {"", "", "", "idle"},
               {"", "", "", "idle"},
               {"", "thread", "", "idle"},
               {"", "", "", "idle"},
               {"", "", "", "freed"}}},
             {From::Opening,
              {{"", "false", "", "opening"},
               {"", "", "", "opening"},
               {"", "false", "", "opening"},
               {closed, "", "", "opening"},
               {"", "", "pause", "opening"},
               {"", "", "", "opening"},
               {"", "", "", "opening"},
               {"", "thread", "", "opening"},
               {"", "", "", "opening"},
               {"", "", "", "freed"}}},
             {From::Active,
              {{"", "true", "deactivate", "active"},
               {"", "", "", "closing"},
               {open, "", "", "active"},
               {"", "true", "", "closing"},
               {"", "", "pause", "active"},
               {"", "", "", "active"},
               {device, "", "", "active"},
               {"", "window", "", "active"},
               {format, "", "", "active"},
               {"", "", "", "freed"}}},
             {From::Paused,
              {{"", "true", "deactivate", "active"},
               {"", "", "", "closing"},
               {open, "", "", "active"},
               {"", "true", "", "closing"},
               {"", "", "", "active"},
               {"", "", "resume", "active"},
               {device, "", "", "active"},
               {"", "window", "", "active"},
               {format, "", "", "active"},
               {"", "", "", "freed"}}},
             {From::Closing,
              {{"", "true", "deactivate", "active"},
               {"", "", "", "closing"},
               {"", "true", "deactivate", "active"},
               {"", "false", "", "closing"},
               {"", "", "pause", "closing"},
               {"", "", "", "closing"},
               {device, "", "", "closing"},
               {"", "window", "", "closing"},
               {format, "", "", "closing"},
               {"", "", "", "freed"}}},
         }},
    };
    ShownErrors shown;
    for (const auto& [recorder, states] : expected) {
        for (const auto& [from, cells] : states) {
            ASSERT_EQ(cells.size(), std::size(table::kDeviceRequests));
            for (std::size_t i = 0; i < cells.size(); ++i) {
                const table::DeviceRequest& request = table::kDeviceRequests[i];
                SCOPED_TRACE(std::string(recorder ? "recorder " : "player ") +
                             table::FromName(from) + " + " + request.name);
                EXPECT_EQ(table::Run(recorder, from, request), cells[i]);
            }
        }
    }
    EXPECT_EQ(TProbePlayer::alive, 0);
    EXPECT_EQ(TProbeRecorder::alive, 0);
    EXPECT_TRUE(shown.Texts().empty());
}

// A change of the state flags that is not a transition of the device fails
// loudly where assertions are on (the native builds).
TEST(DeviceStateTest, AChangeOutsideTheTransitionsAborts) {
#ifdef NDEBUG
    GTEST_SKIP() << "release builds do not check the transitions";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto player = Make<TProbePlayer>();
    EXPECT_DEATH(player->Transit(TWaveFlag::Closing, true), "Closing set: idle -> idle");
    EXPECT_DEATH(player->Transit(TWaveFlag::Callback, 1), "Callback set: idle -> active");
    player->Transit(TWaveFlag::Paused, true); // independent of the state
    EXPECT_TRUE(player->Paused());
#endif
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

// A level handler that pumps messages (as a host's delay does) meets the
// device's next notifications: they wait until the buffer in hand has been
// queued or written, so the sound stays in order.
TEST(DeviceReentryTest, ALevelHandlerThatPumpsMessagesKeepsTheDataInOrder) {
    // The first reports pump for longer than a buffer lasts (each one
    // meets the next buffer's notification), the rest let the run catch up.
    int pumps = 0;
    const auto pumpInside = [&pumps](TWaveAudioIO& device) {
        pumps = 3;
        device.SetBufferLength(50);
        device.OnLevel = [&pumps](TWaveAudioIO*, std::int32_t) {
            if (pumps-- > 0)
                PumpFor(70);
        };
    };
    auto player = Make<TProbePlayer>();
    pumpInside(*player);
    const Bytes file = PatternWave(Mono8Bit8000Hz, 500);
    LoadWave(*player, file);
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }));
    Bytes played;
    for (const Bytes& b : player->written)
        played.insert(played.end(), b.begin(), b.end());
    EXPECT_EQ(played, DataOf(file));

    auto recorder = Make<TProbeRecorder>();
    pumpInside(*recorder);
    recorder->SetBufferCount(6); // enough that the slow reports overrun nothing
    const std::string path = TempPath("level-pump.wav");
    ASSERT_TRUE(recorder->RecordToFile(path));
    ASSERT_TRUE(PumpUntil([&] { return recorder->deliveredCount >= 6; }));
    recorder->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return !recorder->Active(); }));
    DWORD delivered = 0;
    for (DWORD n : recorder->delivered)
        delivered += n;
    recorder.reset();
    TWave wave;
    ASSERT_TRUE(wave.LoadFromFile(path));
    EXPECT_EQ(wave.DataBytes(), delivered);
    if (RecordingCheck())
        RecordingCheck()(wave); // the signal goes on without a gap or a turn
    std::filesystem::remove(path);
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

// A new run on a player whose last buffer still plays out after the end of
// its data: the old run is ended on the spot (its deactivation before the new
// activation), and the recorder beside it gets every buffer back meanwhile.
TEST(DeviceReentryTest, ANewRunOnAClosingPlayerHoldsNoRecorderBack) {
    for (const bool async : {false, true}) {
        SCOPED_TRACE(async ? "player on its thread" : "player on a window");
        const std::string path = TempPath("new-run.wav");
        auto recorder = Make<TProbeRecorder>();
        recorder->SetBufferLength(200);
        recorder->SetBufferCount(5); // a second of room
        ASSERT_TRUE(recorder->RecordToFile(path));
        auto player = Make<TProbePlayer>();
        player->SetAsync(async);
        player->SetBufferLength(250);
        player->SetBufferCount(8);
        EventLog log;
        log.Attach(*player);
        const Bytes file = PatternWave(Mono8Bit8000Hz, 2000); // eight buffers
        LoadWave(*player, file);
        player->SetActive(true);
        // The first buffer has played: the end of the data is found, and the
        // other seven have 1.75 seconds left to play.
        ASSERT_TRUE(PumpUntil([&] { return player->State() == TWaveAudioState::Closing; }));
        EXPECT_TRUE(player->InternalOpen());
        EXPECT_EQ(log.WithoutLevels(),
                  (std::vector<std::string>{"activate", "deactivate"})); // the old run is over
        ASSERT_TRUE(PumpUntil([&] { return player->writtenCount >= 9; }));
        player->SetActive(false);
        ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }));
        EXPECT_EQ(log.WithoutLevels(),
                  (std::vector<std::string>{"activate", "deactivate", "activate", "deactivate"}));
        const Bytes data = DataOf(file);
        ASSERT_GE(player->written.size(), 9u);
        EXPECT_EQ(player->written[8], Bytes(data.begin(), data.begin() + 2000)); // from the start
        recorder->SetActive(false);
        ASSERT_TRUE(PumpUntil([&] { return !recorder->Active(); }));
        recorder.reset();
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(path));
        EXPECT_GE(wave.DataBytes(), 16000u / 4); // a quarter of a second and more
        if (RecordingCheck())
            RecordingCheck()(wave); // without a gap
        std::filesystem::remove(path);
    }
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

// The player, recorder, event and listing actions through nbExecAction, on the
// devices of the platform (natively the simulated ones, under Wine Wine's).
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/DeviceActionsFixture.h"
#include "host/HostServices.h"
#include "platform/Cp1251.h"

namespace {

using namespace deviceactions;
using namespace wavetest;
using devicetest::PumpUntil;

// --- the registries ---------------------------------------------------------------

TEST_F(DeviceActions, NumbersStartAtOneAreNeverReusedAndPlayersAndRecordersCountApart) {
    EXPECT_EQ(CreatePlayer(), "1");
    EXPECT_EQ(CreatePlayer(), "2");
    EXPECT_EQ(CreateRecorder(), "1");
    EXPECT_EQ(CreatePlayer(), "3");

    EXPECT_EQ(Exec(aiPlayerDestroy, {"1", "ok"}), 1);
    EXPECT_EQ(PlayerModules->FindModule(1), nullptr);
    ASSERT_NE(PlayerModules->FindModule(2), nullptr);
    EXPECT_EQ(PlayerModules->FindModule(2)->ID, 2);

    EXPECT_EQ(Exec(aiPlayerDestroyAll, {}), 1);
    EXPECT_EQ(PlayerModules->Count(), 0u);
    EXPECT_EQ(CreatePlayer(), "4");
    EXPECT_EQ(RecordModules->Count(), 1u);
    EXPECT_EQ(Exec(aiRecordDestroyAll, {}), 1);
    EXPECT_EQ(CreateRecorder(), "2");
}

// --- the execution conventions of every action with an object number ---------------

TEST_F(DeviceActions, EveryObjectActionReportsABadNumberAndAMissingObject) {
    CreatePlayer();
    CreateRecorder();
    for (std::int32_t id = 1; id <= aiOnRecordDeactivate; ++id) {
        const std::span<const std::uint8_t> codes = ActionTypeCodes(id);
        if (codes.empty() || codes[0] != kParamInteger)
            continue; // create, destroy all, device lists
        SCOPED_TRACE(ActionName(id));
        // Object 99 does not exist; a file parameter names one that does.
        std::vector<std::string> params(codes.size(), "");
        params.back() = "ok";
        if (id == aiPlayerStart || id == aiRecordStart)
            params[1] = Path("short.wav");
        if (id == aiPlayerPosition)
            params[1] = "0";

        params[0] = "abc";
        host.variableWrites.clear();
        EXPECT_EQ(Exec(id, params), 0);
        EXPECT_EQ(Var("LastError"),
                  std::string("Invalid \"") + ActionName(id) + "\" action arguments");
        EXPECT_EQ(Var("ok"), "False");

        params[0] = "99";
        host.variableWrites.clear();
        EXPECT_EQ(Exec(id, params), 0);
        const bool destroy = id == aiPlayerDestroy || id == aiRecordDestroy;
        EXPECT_EQ(Var("LastError"), destroy ? "<unset>" : "Invalid object instance by ID \"99\"");
        EXPECT_EQ(Var("ok"), "False");
    }
    // A bad position fails before the player is looked up, with one text.
    host.variableWrites.clear();
    EXPECT_EQ(Exec(aiPlayerPosition, {"99", "1.5", "ok"}), 0);
    EXPECT_EQ(Var("LastError"), "Invalid \"duVozaPlayerPosition\" action arguments");
}

TEST_F(DeviceActions, StopPauseAndResumeOfAnIdleObjectAnswerFalseWithoutAText) {
    const std::string p = CreatePlayer();
    const std::string r = CreateRecorder();
    SetVariable("LastError", "earlier");
    for (const std::int32_t id :
         {aiPlayerStop, aiPlayerPause, aiPlayerResume, aiPlayerIsActive, aiPlayerIsPaused,
          aiRecordStop, aiRecordPause, aiRecordResume, aiRecordIsActive, aiRecordIsPaused}) {
        SCOPED_TRACE(ActionName(id));
        EXPECT_EQ(Exec(id, {id < aiRecordCreate ? p : r, "ok"}), 0);
        EXPECT_EQ(Var("ok"), "False");
    }
    // Positioning an idle player does nothing and succeeds.
    EXPECT_EQ(Exec(aiPlayerPosition, {p, "500", "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    EXPECT_EQ(Var("LastError"), "earlier");
}

// --- the binding steps ----------------------------------------------------------------

TEST_F(DeviceActions, ABindingSetsRunsAndClearsInOrderWithTrimmedNamesAndTheSubroutineAsTyped) {
    const std::string p = CreatePlayer();
    // The host lists "onerror": the name is compared without regard to case.
    host.subroutineList = "Other\r\nonerror";
    ASSERT_EQ(Exec(aiOnPlayerError, {p, " OnError ", " id ", "\terr ", "ok"}), 1);
    EXPECT_EQ(PlayerModules->FindModule(1)->Error.Subroutine, " OnError "); // kept as typed
    host.log.clear();
    Player(p).Player().SetDeviceID(12345); // no such device: a device error

    const std::string text = Player(p).Player().ErrorText();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(host.log,
              (std::vector<std::string>{"set id=1", "set err=" + text, "GoSub \" OnError \"",
                                        "ClearVariables \"id\"", "ClearVariables \"err\""}));
    // The list was asked twice: whether the subroutine exists, and again by
    // the run itself.
    EXPECT_EQ(std::count_if(host.requests.begin(), host.requests.end(),
                            [](const InterfaceRequest& r) { return r.code == 5; }),
              2);
}

TEST_F(DeviceActions, ABindingOfAnUnlistedOrBlankSubroutineTouchesNothing) {
    const std::string p = CreatePlayer();
    for (const char* subroutine : {"NotListed", "", "  "}) {
        ASSERT_EQ(Exec(aiOnPlayerError, {p, subroutine, "id", "err", "ok"}), 1);
        host.log.clear();
        Player(p).Player().SetDeviceID(12345);
        EXPECT_TRUE(host.log.empty()) << subroutine;
    }
    // Blank variable names: the subroutine runs, nothing is set or cleared.
    ASSERT_EQ(Exec(aiOnPlayerError, {p, "OnError", " ", "", "ok"}), 1);
    host.log.clear();
    Player(p).Player().SetDeviceID(12345);
    EXPECT_EQ(host.log, std::vector<std::string>{"GoSub \"OnError\""});
}

TEST_F(DeviceActions, EventActionsStoreTheirTextsAsGivenAndReplaceTheWholeBinding) {
    const std::string p = CreatePlayer();
    const std::string r = CreateRecorder();
    ASSERT_EQ(Exec(aiOnPlayerActivate, {p, "Sub ", " id", "dev", "len", "ok"}), 1);
    TEventBinding& activate = Player(p).Activate;
    EXPECT_EQ(activate.Subroutine, "Sub ");
    EXPECT_EQ(activate.IDVariable, " id");
    EXPECT_EQ(activate.ValueVariables, (std::array<std::string, 2>{"dev", "len"}));
    ASSERT_EQ(Exec(aiOnPlayerActivate, {p, "Sub", "id", "dev", "", "ok"}), 1);
    EXPECT_EQ(activate.ValueVariables[1], "");

    // Each action fills its own binding, players and recorders alike.
    const struct {
        std::int32_t action;
        TEventBinding TWaveDeviceModule::*binding;
    } cases[] = {
        {aiOnPlayerError, &TWaveDeviceModule::Error},
        {aiOnPlayerLevel, &TWaveDeviceModule::Level},
        {aiOnPlayerPause, &TWaveDeviceModule::Pause},
        {aiOnPlayerResume, &TWaveDeviceModule::Resume},
        {aiOnPlayerPosition, &TWaveDeviceModule::Position},
        {aiOnPlayerDeactivate, &TWaveDeviceModule::Deactivate},
        {aiOnRecordError, &TWaveDeviceModule::Error},
        {aiOnRecordLevel, &TWaveDeviceModule::Level},
        {aiOnRecordPause, &TWaveDeviceModule::Pause},
        {aiOnRecordResume, &TWaveDeviceModule::Resume},
        {aiOnRecordPosition, &TWaveDeviceModule::Position},
        {aiOnRecordActivate, &TWaveDeviceModule::Activate},
        {aiOnRecordDeactivate, &TWaveDeviceModule::Deactivate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ActionName(c.action));
        const bool player = c.action < aiRecordCreate;
        const std::string name = ActionName(c.action);
        EXPECT_EQ(Exec(c.action, {player ? p : r, name, name + "Id", name + "Value", "ok"}), 1);
        EXPECT_EQ(Var("ok"), "True");
        const TEventBinding& b =
            player ? Player(p).*c.binding : static_cast<TWaveDeviceModule&>(Recorder(r)).*c.binding;
        EXPECT_EQ(b.Subroutine, name);
        EXPECT_EQ(b.IDVariable, name + "Id");
        EXPECT_EQ(b.ValueVariables[0], name + "Value");
    }
}

// --- device lists and selection ---------------------------------------------------------

TEST_F(DeviceActions, DeviceListsHoldTheDefaultDeviceFirstAndAreGatheredOnce) {
    for (const bool output : {true, false}) {
        SCOPED_TRACE(output ? "output" : "input");
        const std::int32_t action = output ? aiOutputDevices : aiInputDevices;
        host.variableWrites.clear();
        EXPECT_EQ(Exec(action, {"Dev", "DevCount"}), 1);
        const UINT devices = output ? waveOutGetNumDevs() : waveInGetNumDevs();
        EXPECT_EQ(Var("DevCount"), std::to_string(devices));
        for (UINT k = 0; k <= devices; ++k) {
            const UINT id = k == 0 ? WAVE_MAPPER : k - 1;
            std::string name;
            if (output) {
                WAVEOUTCAPSA caps{};
                if (waveOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR)
                    name = caps.szPname;
            } else {
                WAVEINCAPSA caps{};
                if (waveInGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR)
                    name = caps.szPname;
            }
            EXPECT_EQ(Var("Dev" + std::to_string(k)), name);
        }
        EXPECT_EQ(host.variableWrites.size(), devices + 2);
        EXPECT_EQ(Var("ok"), "<unset>"); // no result variable
    }
}

TEST_F(DeviceActions, ADeviceIsSelectedByItsListedNameInAnyLetterCase) {
    const std::vector<std::string>& names = RunningUtilitiesModule().OutputDeviceNames();
    ASSERT_GE(names.size(), 2u) << "no output device";
    std::string shouted = names[1];
    for (char& c : shouted)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    TWavePlayerModule& player = Player(CreatePlayer());
    player.SelectOutputDevice(shouted);
    EXPECT_EQ(player.Player().DeviceID(), 0);
    player.SelectOutputDevice(" \t");
    EXPECT_EQ(player.Player().DeviceID(), 0); // blank: kept
    player.SelectOutputDevice(names[1] + " ");
    EXPECT_EQ(player.Player().DeviceID(), -1); // not listed: the default device
}

TEST_F(DeviceActions, FormatsAreListedAsTheTextsAStartAccepts) {
    const std::string r = CreateRecorder();
    TWaveRecordModule& recorder = Recorder(r);
    EXPECT_EQ(Exec(aiPCMFormats, {r, "", "F", "FCount", "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    const TPCMFormats supported = recorder.Recorder().DeviceFormats();
    std::vector<std::string> expected;
    for (int f = Mono8Bit8000Hz; f <= Stereo16bit48000Hz; ++f)
        if (supported.test(static_cast<std::size_t>(f))) {
            const WAVEFORMATEX record = Pcm(static_cast<TPCMFormat>(f));
            expected.push_back(DescribeFormat(&record));
        }
    ASSERT_GE(expected.size(), 4u); // the 8 kHz formats at least
    EXPECT_EQ(Var("FCount"), std::to_string(expected.size() - 1));
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Var("F" + std::to_string(i)), expected[i]);
    EXPECT_EQ(Var("F0"), "PCM: 8,000 kHz, 8 Bit, Mono");

    // The last one listed is selected by its exact text; anything else keeps it.
    recorder.SelectFormat(expected.back());
    const TPCMFormat chosen = recorder.Recorder().PCMFormat();
    const WAVEFORMATEX record = Pcm(chosen);
    EXPECT_EQ(DescribeFormat(&record), expected.back());
    recorder.SelectFormat("PCM: 8,000 kHz, 8 bit, Mono");
    recorder.SelectFormat("PCM: 48,000 kHz, 16 Bit, Stereo"); // never supported
    EXPECT_EQ(recorder.Recorder().PCMFormat(), chosen);

    // The listing selects its device for the recorder: a listed one, then
    // one not listed, which is the default device.
    const std::vector<std::string>& names = RunningUtilitiesModule().InputDeviceNames();
    ASSERT_GE(names.size(), 2u) << "no input device";
    EXPECT_EQ(Exec(aiPCMFormats, {r, names[1], "F", "FCount", "ok"}), 1);
    EXPECT_EQ(recorder.Recorder().DeviceID(), 0);
    host.variableWrites.clear();
    EXPECT_EQ(Exec(aiPCMFormats, {r, "no such device", "F", "FCount", "ok"}), 1);
    EXPECT_EQ(recorder.Recorder().DeviceID(), -1);
    EXPECT_EQ(Var("FCount"), std::to_string(expected.size() - 1));

    // While it records, nothing is listed.
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 1);
    host.variableWrites.clear();
    EXPECT_EQ(Exec(aiPCMFormats, {r, names[1], "G", "GCount", "ok"}), 1);
    EXPECT_EQ(host.variableWrites.size(), 1u);
    EXPECT_EQ(Var("ok"), "True");
    EXPECT_EQ(recorder.Recorder().DeviceID(), -1);
}

// --- playback ---------------------------------------------------------------------------

TEST_F(DeviceActions, OnePlaybackRunsItsBindingsInTheirOrder) {
    const std::string p = CreatePlayer();
    BindAll(p, true);
    Player(p).Player().SetBufferLength(100);
    host.log.clear();
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    EXPECT_TRUE(Bindings().empty()); // everything comes from the notifications
    ASSERT_TRUE(WaitFor("OnDeactivate"));

    const std::string device = RunningUtilitiesModule().OutputDeviceNames()[0];
    const std::vector<std::string> runs = Bindings();
    ASSERT_GE(runs.size(), 2u + 2 * 5);
    EXPECT_EQ(runs.front(), "OnActivate id=1 v=" + device + " len=350");
    EXPECT_EQ(runs.back(), "OnDeactivate id=1 v=" + device);
    // Between them, a level report and its position for each of the four
    // buffers (100, 100, 100 and 50 ms), then level 0 and position 0.
    const std::vector<std::string> between(runs.begin() + 1, runs.end() - 1);
    ASSERT_EQ(between.size(), 10u);
    for (std::size_t i = 0; i < between.size(); i += 2) {
        const bool last = i + 2 == between.size();
        EXPECT_EQ(between[i], last ? "OnLevel id=1 v=0" : "OnLevel id=1 v=50");
        EXPECT_EQ(between[i + 1].rfind("OnPosition id=1 v=", 0), 0u) << between[i + 1];
    }
    EXPECT_EQ(between.back(), "OnPosition id=1 v=0");
    EXPECT_EQ(Exec(aiPlayerIsActive, {p, "ok"}), 0);
}

TEST_F(DeviceActions, ACompressedWaveReportsNoLevelAndNoPosition) {
    // A-law, which the system's mapper decodes.
    WAVEFORMATEX alaw{};
    alaw.wFormatTag = WAVE_FORMAT_ALAW;
    alaw.nChannels = 1;
    alaw.nSamplesPerSec = alaw.nAvgBytesPerSec = 8000;
    alaw.nBlockAlign = 1;
    alaw.wBitsPerSample = 8;
    Bytes data(2800);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = (i / 20) % 2 ? 0xAA : 0x2A;
    WriteFile(Path("alaw.wav"), WaveFile(alaw, data));
    const std::string p = CreatePlayer();
    BindAll(p, true);
    // Bound again without the duration variable: only the device is reported.
    ASSERT_EQ(Exec(aiOnPlayerActivate, {p, "OnActivate", "id", "v", "", "ok"}), 1);
    Player(p).Player().SetBufferLength(100);
    host.log.clear();
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("alaw.wav"), "", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnDeactivate"));
    const std::string device = RunningUtilitiesModule().OutputDeviceNames()[0];
    EXPECT_EQ(Bindings(), (std::vector<std::string>{"OnActivate id=1 v=" + device,
                                                    "OnDeactivate id=1 v=" + device}));
}

TEST_F(DeviceActions, PauseAndResumeRunTheirBindingsInsideTheActionOnlyWhenTheStateChanges) {
    const std::string p = CreatePlayer();
    ASSERT_EQ(Exec(aiOnPlayerPause, {p, "OnPause", "id", "v", "ok"}), 1);
    ASSERT_EQ(Exec(aiOnPlayerResume, {p, "OnResume", "id", "v", "ok"}), 1);
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    const std::string device = RunningUtilitiesModule().OutputDeviceNames()[0];
    const std::vector<std::string> ran = {"set id=1", "set v=" + device};
    const std::vector<std::string> result = {"ClearVariables \"id\"", "ClearVariables \"v\"",
                                             "set ok=True"};
    const struct {
        std::int32_t action;
        const char* subroutine; // null: nothing runs
    } steps[] = {{aiPlayerPause, "OnPause"},
                 {aiPlayerPause, nullptr},
                 {aiPlayerResume, "OnResume"},
                 {aiPlayerResume, nullptr}};
    for (const auto& step : steps) {
        host.log.clear();
        EXPECT_EQ(Exec(step.action, {p, "ok"}), 1);
        std::vector<std::string> expected{"set ok=True"};
        if (step.subroutine != nullptr) {
            expected = ran;
            expected.push_back(std::string("GoSub \"") + step.subroutine + "\"");
            expected.insert(expected.end(), result.begin(), result.end());
        }
        EXPECT_EQ(host.log, expected) << ActionName(step.action);
    }
    EXPECT_EQ(Exec(aiPlayerIsPaused, {p, "ok"}), 0);
}

TEST_F(DeviceActions, APositionBeforeTheStartIsTheStartAndOnePastTheEndEndsThePlayback) {
    const std::string p = CreatePlayer();
    BindAll(p, true);
    Player(p).Player().SetBufferLength(100);
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnLevel"));
    host.log.clear();
    EXPECT_EQ(Exec(aiPlayerPosition, {p, "-500", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnPosition"));
    EXPECT_EQ(Named(Bindings(), "OnPosition")[0], "OnPosition id=1 v=0");

    host.log.clear();
    EXPECT_EQ(Exec(aiPlayerPosition, {p, "2000000000", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnDeactivate"));
    const std::string device = RunningUtilitiesModule().OutputDeviceNames()[0];
    EXPECT_EQ(Bindings(), (std::vector<std::string>{"OnLevel id=1 v=0", "OnPosition id=1 v=0",
                                                    "OnDeactivate id=1 v=" + device}));
}

TEST_F(DeviceActions, AStartChecksTheFileBeforeThePlayerAndTheWaveBeforeTheDevice) {
    const std::string p = CreatePlayer();
    const std::string notFound = "Не найден звуковой файл \"%s\"."_w1251;
    const std::string badFormat = "Неверный формат звукового файла \"%s\". "_w1251;
    WriteFile(Path("text.wav"), Bytes{'h', 'e', 'l', 'l', 'o'});
    WriteFile(Path("empty.wav"), Bytes{});
    const struct {
        std::string player, file, lastError;
    } cases[] = {
        {"99", Path("missing.wav"), WithPath(notFound, Path("missing.wav"))},
        {p, kFolder, WithPath(notFound, kFolder)}, // a folder is no file
        {p, "", WithPath(notFound, "")},
        {"99", Path("short.wav"), "Invalid object instance by ID \"99\""},
        {p, Path("text.wav"), WithPath(badFormat, Path("text.wav"))},
        {p, Path("empty.wav"), WithPath(badFormat, Path("empty.wav"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        host.variableWrites.clear();
        EXPECT_EQ(Exec(aiPlayerStart, {c.player, c.file, "", "ok"}), 0);
        EXPECT_EQ(Var("LastError"), c.lastError);
        EXPECT_EQ(Var("ok"), "False");
        EXPECT_FALSE(Player(p).Player().Active());
    }
}

TEST_F(DeviceActions, AStoppedObjectStaysActiveUntilItsCloseNotificationHasBeenHandled) {
    const std::string p = CreatePlayer();
    const std::string r = CreateRecorder();
    ASSERT_EQ(Exec(aiOnPlayerDeactivate, {p, "OnDeactivate", "", "", "ok"}), 1);
    ASSERT_EQ(Exec(aiOnRecordDeactivate, {r, "OnDeactivate", "", "", "ok"}), 1);
    Player(p).Player().SetBufferLength(100);
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 1);
    ASSERT_TRUE(PumpUntil([&] { return Player(p).Player().State() == TWaveAudioState::Active; }));

    SetVariable("LastError", "earlier");
    // A start on the recorder that records answers "True" and keeps its
    // recording.
    EXPECT_EQ(Exec(aiRecordStart, {r, Path("other.wav"), "", "", "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    EXPECT_FALSE(std::filesystem::exists(Path("other.wav")));
    for (const bool player : {true, false}) {
        SCOPED_TRACE(player ? "player" : "recorder");
        const std::string& id = player ? p : r;
        EXPECT_EQ(Exec(player ? aiPlayerStop : aiRecordStop, {id, "ok"}), 1);
        EXPECT_EQ(Exec(player ? aiPlayerIsActive : aiRecordIsActive, {id, "ok"}), 1);
        // A second stop while the first is under way answers "True" quietly.
        EXPECT_EQ(Exec(player ? aiPlayerStop : aiRecordStop, {id, "ok"}), 1);
        // A start now answers as for an active object, and starts nothing.
        if (player) {
            EXPECT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 0);
            EXPECT_EQ(Var("ok"), "False");
        } else {
            EXPECT_EQ(Exec(aiRecordStart, {r, Path("other.wav"), "", "", "ok"}), 1);
            EXPECT_EQ(Var("ok"), "True");
            EXPECT_FALSE(std::filesystem::exists(Path("other.wav")));
        }
    }
    EXPECT_EQ(Var("LastError"), "earlier");
    ASSERT_TRUE(PumpUntil([&] { return Named(Bindings(), "OnDeactivate").size() == 2; }));
    EXPECT_EQ(Exec(aiPlayerIsActive, {p, "ok"}), 0);
    EXPECT_EQ(Exec(aiRecordIsActive, {r, "ok"}), 0);
    TWave recorded;
    recorded.LoadFromFile(Path("rec.wav"));
    EXPECT_TRUE(recorded.IsValidWave());
    EXPECT_FALSE(std::filesystem::exists(Path("other.wav")));
}

TEST_F(DeviceActions, AnObjectStoppedWhilePausedResumesInsideItsNextStart) {
    const std::string p = CreatePlayer();
    const std::string r = CreateRecorder();
    BindAll(p, true);
    BindAll(r, false);
    for (const bool player : {true, false}) {
        SCOPED_TRACE(player ? "player" : "recorder");
        const std::string& id = player ? p : r;
        const auto start = [&] {
            return player ? Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"})
                          : Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"});
        };
        ASSERT_EQ(start(), 1);
        ASSERT_TRUE(PumpUntil([&] { return Named(Bindings(), "OnActivate").size() == 1; }));
        ASSERT_EQ(Exec(player ? aiPlayerPause : aiRecordPause, {id, "ok"}), 1);
        ASSERT_EQ(Exec(player ? aiPlayerStop : aiRecordStop, {id, "ok"}), 1);
        ASSERT_TRUE(WaitFor("OnDeactivate"));
        EXPECT_EQ(Exec(player ? aiPlayerIsPaused : aiRecordIsPaused, {id, "ok"}), 1);

        host.log.clear();
        ASSERT_EQ(start(), 1);
        const std::string device = player ? RunningUtilitiesModule().OutputDeviceNames()[0]
                                          : RunningUtilitiesModule().InputDeviceNames()[0];
        EXPECT_EQ(Bindings(), std::vector<std::string>{"OnResume id=1 v=" + device});
        EXPECT_EQ(host.log.back(), "set ok=True"); // after the binding
        EXPECT_EQ(Exec(player ? aiPlayerIsPaused : aiRecordIsPaused, {id, "ok"}), 0);
        ASSERT_TRUE(WaitFor("OnLevel")); // it plays or records
        ASSERT_EQ(Exec(player ? aiPlayerStop : aiRecordStop, {id, "ok"}), 1);
        ASSERT_TRUE(WaitFor("OnDeactivate"));
        host.log.clear();
    }
}

// --- recording -------------------------------------------------------------------------

TEST_F(DeviceActions, OneRecordingRunsItsBindingsInTheirOrderAndLeavesACompleteFile) {
    const std::string r = CreateRecorder();
    BindAll(r, false);
    TWaveRecordModule& recorder = Recorder(r);
    recorder.Recorder().SetBufferLength(100);
    const std::string format = "PCM: 11,025 kHz, 8 Bit, Mono";
    host.log.clear();
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", format, "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    EXPECT_EQ(recorder.Recorder().PCMFormat(), Mono8bit11025Hz);
    ASSERT_TRUE(PumpUntil([&] { return Named(Bindings(), "OnLevel").size() >= 2; }));
    ASSERT_EQ(Exec(aiRecordPause, {r, "ok"}), 1);
    ASSERT_EQ(Exec(aiRecordResume, {r, "ok"}), 1);
    ASSERT_EQ(Exec(aiRecordStop, {r, "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnDeactivate"));

    const std::string device = RunningUtilitiesModule().InputDeviceNames()[0];
    std::vector<std::string> runs = Bindings();
    EXPECT_EQ(runs.front(), "OnActivate id=1 v=" + device);
    EXPECT_EQ(runs.back(), "OnDeactivate id=1 v=" + device);
    EXPECT_EQ(Named(runs, "OnPause"), std::vector<std::string>{"OnPause id=1 v=" + device});
    EXPECT_EQ(Named(runs, "OnResume"), std::vector<std::string>{"OnResume id=1 v=" + device});
    EXPECT_TRUE(Named(runs, "OnError").empty());
    // Each level report is followed by its position; the last pair is 0, 0.
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [](const std::string& run) {
                                  return run.rfind("OnLevel", 0) != 0 &&
                                         run.rfind("OnPosition", 0) != 0;
                              }),
               runs.end());
    ASSERT_GE(runs.size(), 6u);
    for (std::size_t i = 0; i < runs.size(); i += 2) {
        EXPECT_EQ(runs[i].rfind("OnLevel id=1 v=", 0), 0u) << runs[i];
        EXPECT_EQ(runs[i + 1].rfind("OnPosition id=1 v=", 0), 0u) << runs[i + 1];
    }
    EXPECT_EQ(runs[runs.size() - 2], "OnLevel id=1 v=0");
    EXPECT_EQ(runs.back(), "OnPosition id=1 v=0");

    TWave wave;
    wave.LoadFromFile(Path("rec.wav"));
    ASSERT_TRUE(wave.IsValidWave());
    const WAVEFORMATEX expected = Pcm(Mono8bit11025Hz);
    EXPECT_TRUE(wave.HasFormat(&expected));
    EXPECT_GE(wave.DataBytes(), 2u * 1103); // at least the two buffers reported
    EXPECT_EQ(static_cast<std::int64_t>(wave.DataStart()) + wave.DataBytes(),
              wave.MemoryStream().Size());
}

TEST_F(DeviceActions, ARecordingFileThatCannotBeCreatedIsReportedAndRecordsNothing) {
    const std::string r = CreateRecorder();
    BindAll(r, false);
    std::filesystem::create_directory(Path("folder.wav"));
    for (const std::string& file :
         {Path("no-such-folder/rec.wav"), Path("folder.wav"), std::string()}) {
        SCOPED_TRACE(file);
        host.log.clear();
        host.variableWrites.clear();
        EXPECT_EQ(Exec(aiRecordStart, {r, file, "", "", "ok"}), 0);
        EXPECT_EQ(Var("LastError").rfind("Cannot create file \"" + file + "\": ", 0), 0u)
            << Var("LastError");
        EXPECT_GT(Var("LastError").size(), file.size() + 24); // and why
        EXPECT_EQ(Var("ok"), "False");
        EXPECT_TRUE(Bindings().empty());
        EXPECT_EQ(Exec(aiRecordIsActive, {r, "ok"}), 0);
    }
    // The recorder records as before afterwards.
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnActivate"));
}

TEST_F(DeviceActions, DestroyingARecordingRecorderCompletesItsFileWithoutRunningBindings) {
    const std::string r = CreateRecorder();
    BindAll(r, false);
    Recorder(r).Recorder().SetBufferLength(100);
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 1);
    ASSERT_TRUE(PumpUntil([&] { return !Named(Bindings(), "OnLevel").empty(); }));
    host.log.clear();
    EXPECT_EQ(Exec(aiRecordDestroy, {r, "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    devicetest::PumpFor(200);
    EXPECT_TRUE(Bindings().empty());

    TWave wave;
    wave.LoadFromFile(Path("rec.wav"));
    ASSERT_TRUE(wave.IsValidWave());
    EXPECT_GE(wave.DataBytes(), 1600u);
    EXPECT_EQ(static_cast<std::int64_t>(wave.DataStart()) + wave.DataBytes(),
              wave.MemoryStream().Size());
}

// --- objects destroyed and driven from inside their own bindings ----------------------

TEST_F(DeviceActions, AnObjectDestroyedByItsOwnBindingIsForgottenAtOnceAndFiresNoMore) {
    int round = 0;
    for (const bool player : {true, false}) {
        for (const std::string event : {"OnActivate", "OnLevel", "OnPosition", "OnDeactivate"}) {
            const bool all = ++round % 2 == 0;
            SCOPED_TRACE((player ? "player, " : "recorder, ") + event + (all ? ", all" : ""));
            const std::string id = player ? CreatePlayer() : CreateRecorder();
            BindAll(id, player);
            TWaveDeviceModules& registry =
                player ? static_cast<TWaveDeviceModules&>(*PlayerModules) : *RecordModules;
            registry.FindModule(std::stoi(id))->Device().SetBufferLength(100);
            bool foundInside = true;
            host.onGoSub = [&](const std::string& command) {
                if (command != "GoSub \"" + event + "\"")
                    return;
                host.onGoSub = nullptr;
                if (all)
                    Exec(player ? aiPlayerDestroyAll : aiRecordDestroyAll, {});
                else
                    Exec(player ? aiPlayerDestroy : aiRecordDestroy, {id, "ok"});
                foundInside = registry.FindModule(std::stoi(id)) != nullptr;
                Exec(player ? aiPlayerIsActive : aiRecordIsActive, {id, "inside"});
            };
            host.log.clear();
            const std::string file = Path("rec" + std::to_string(round) + ".wav");
            ASSERT_EQ(player ? Exec(aiPlayerStart, {id, Path("short.wav"), "", "ok"})
                             : Exec(aiRecordStart, {id, file, "", "", "ok"}),
                      1);
            if (!player && event == "OnDeactivate") {
                ASSERT_TRUE(WaitFor("OnLevel"));
                ASSERT_EQ(Exec(aiRecordStop, {id, "ok"}), 1);
            }
            ASSERT_TRUE(WaitFor(event));
            devicetest::PumpFor(600);
            EXPECT_FALSE(foundInside);
            EXPECT_EQ(Var("inside"), "False");
            EXPECT_EQ(Var("LastError"), "Invalid object instance by ID \"" + id + "\"");
            // That subroutine was the last to run, and its variables were
            // cleared all the same.
            const std::vector<std::string> runs = Bindings();
            ASSERT_FALSE(runs.empty());
            EXPECT_EQ(runs.back().rfind(event + " id=" + id, 0), 0u) << runs.back();
            EXPECT_EQ(Named(runs, event).size(), 1u);
            const bool withLength = player && event == "OnActivate";
            EXPECT_EQ(host.log.back(),
                      withLength ? "ClearVariables \"len\"" : "ClearVariables \"v\"");
            if (!player) {
                TWave recorded;
                recorded.LoadFromFile(file);
                EXPECT_TRUE(recorded.IsValidWave());
                EXPECT_EQ(static_cast<std::int64_t>(recorded.DataStart()) + recorded.DataBytes(),
                          recorded.MemoryStream().Size());
            }
            EXPECT_NE(player ? CreatePlayer() : CreateRecorder(), id); // never handed out again
            Exec(aiPlayerDestroyAll, {});
            Exec(aiRecordDestroyAll, {});
        }
    }
}

TEST_F(DeviceActions, AStopFromTheActivateBindingEndsTheRunAtOnce) {
    const std::string p = CreatePlayer();
    const std::string r = CreateRecorder();
    BindAll(p, true);
    BindAll(r, false);
    bool playing = true;
    host.onGoSub = [&](const std::string& command) {
        if (command == "GoSub \"OnActivate\"") {
            EXPECT_EQ(Exec(playing ? aiPlayerStop : aiRecordStop, {playing ? p : r, "stop"}), 1);
        }
    };
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnDeactivate"));
    playing = false;
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 1);
    ASSERT_TRUE(PumpUntil([&] { return Named(Bindings(), "OnDeactivate").size() == 2; }));
    devicetest::PumpFor(300);
    const std::vector<std::string> runs = Bindings();
    EXPECT_TRUE(Named(runs, "OnError").empty());
    EXPECT_EQ(Named(runs, "OnActivate").size(), 2u);
    EXPECT_EQ(Exec(aiPlayerIsActive, {p, "ok"}), 0);
    EXPECT_EQ(Exec(aiRecordIsActive, {r, "ok"}), 0);
    TWave recorded;
    recorded.LoadFromFile(Path("rec.wav"));
    EXPECT_TRUE(recorded.IsValidWave());
}

// A wave in a format no device plays: an unknown format tag.
Bytes UnplayableWave() {
    WAVEFORMATEX f = Pcm(Mono16bit8000Hz);
    f.wFormatTag = 0x7A7A;
    return WaveFile(f, Bytes(1600, 0));
}

TEST_F(DeviceActions, ADeviceThatRefusesToOpenRunsTheErrorBindingInsideTheStart) {
    WriteFile(Path("unplayable.wav"), UnplayableWave());
    const std::string p = CreatePlayer();
    BindAll(p, true);
    host.log.clear();
    SetVariable("LastError", "earlier");
    EXPECT_EQ(Exec(aiPlayerStart, {p, Path("unplayable.wav"), "", "ok"}), 1);
    const std::vector<std::string> runs = Bindings();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], "OnError id=1 v=" + Player(p).Player().ErrorText());
    EXPECT_EQ(host.log.back(), "set ok=True"); // after the binding
    EXPECT_EQ(Var("LastError"), "earlier");
    EXPECT_FALSE(Player(p).Player().Active());
}

TEST_F(DeviceActions, AnObjectDestroyedInsideAnActionLivesUntilTheActionReturns) {
    // The error binding of a start that fails destroys the player (and every
    // other): the start goes on with it, and answers as usual.
    WriteFile(Path("unplayable.wav"), UnplayableWave());
    const std::string p = CreatePlayer();
    const std::string other = CreatePlayer();
    BindAll(p, true);
    int errors = 0;
    host.onGoSub = [&](const std::string& command) {
        if (command != "GoSub \"OnError\"")
            return;
        ++errors;
        Exec(aiPlayerDestroyAll, {});
        EXPECT_EQ(PlayerModules->Count(), 0u);
    };
    host.log.clear();
    EXPECT_EQ(Exec(aiPlayerStart, {p, Path("unplayable.wav"), "", "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(Bindings().size(), 1u);
    EXPECT_EQ(PlayerModules->FindModule(std::stoi(other)), nullptr);

    // Held by hand, as an action holds it: usable, and silent once forgotten.
    const std::string third = CreatePlayer();
    ASSERT_EQ(Exec(aiOnPlayerError, {third, "OnError", "id", "v", "ok"}), 1);
    TWavePlayerModule* module = PlayerModules->FindModule(std::stoi(third));
    {
        const TWaveDeviceModule::TUse use(module);
        module->Player().SetDeviceID(12345);
        EXPECT_TRUE(module->Forgotten());
        module->Player().SetDeviceID(12346);
        EXPECT_EQ(module->ID, std::stoi(third));
    }
    EXPECT_EQ(errors, 2);
}

TEST_F(DeviceActions, AnErrorBindingThatStartsItsOwnPlayerAgainDoesNotRecurse) {
    WriteFile(Path("unplayable.wav"), UnplayableWave());
    const std::string p = CreatePlayer();
    BindAll(p, true);
    int errors = 0;
    host.onGoSub = [&](const std::string& command) {
        if (command != "GoSub \"OnError\"")
            return;
        ++errors;
        // The open that failed is still under way: this start opens nothing.
        EXPECT_EQ(Exec(aiPlayerStart, {p, Path("unplayable.wav"), "", "again"}), 1);
    };
    EXPECT_EQ(Exec(aiPlayerStart, {p, Path("unplayable.wav"), "", "ok"}), 1);
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(Player(p).Player().Active());
    // And the player plays as before.
    host.onGoSub = nullptr;
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnDeactivate"));
    EXPECT_EQ(Named(Bindings(), "OnError").size(), 1u);
}

TEST_F(DeviceActions, BindingsMayStopAndRestartTheirOwnObjectWithoutEndlessRecursion) {
    const std::string p = CreatePlayer();
    BindAll(p, true);
    Player(p).Player().SetBufferLength(100);
    int starts = 1;
    host.onGoSub = [&](const std::string& command) {
        if (command == "GoSub \"OnLevel\"" && Var("v") != "0") {
            // The first level report of each run stops it.
            EXPECT_EQ(Exec(aiPlayerStop, {p, "stop"}), 1);
        } else if (command == "GoSub \"OnDeactivate\"" && starts < 3) {
            ++starts;
            EXPECT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "again"}), 1);
        }
    };
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    ASSERT_TRUE(PumpUntil([&] { return Named(Bindings(), "OnDeactivate").size() == 3; }));
    devicetest::PumpFor(300);
    const std::vector<std::string> runs = Bindings();
    EXPECT_EQ(Named(runs, "OnActivate").size(), 3u);
    EXPECT_EQ(Named(runs, "OnDeactivate").size(), 3u);
    EXPECT_TRUE(Named(runs, "OnError").empty());
    EXPECT_EQ(Exec(aiPlayerIsActive, {p, "ok"}), 0);
}

} // namespace

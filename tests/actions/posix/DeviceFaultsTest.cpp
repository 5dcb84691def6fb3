// The device actions when the simulated devices fail or are configured so:
// the error bindings, the texts the actions write, the objects destroyed from
// inside them, the device tables the lists show; and names of the system's
// devices given as files.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/DeviceActionsFixture.h"
#include "platform/posix/WaveSim.h"

namespace {

using namespace deviceactions;
namespace sim = posix::wavesim;

class DeviceFaults : public DeviceActions {
protected:
    void SetUp() override {
        Configure("clock=virtual");
        DeviceActions::SetUp();
    }
    void TearDown() override {
        DeviceActions::TearDown();
        sim::ClearFaults();
        Configure("clock=virtual");
    }
    static void Configure(const std::string& text) {
        std::string error;
        ASSERT_TRUE(sim::Configure(text, &error)) << error;
    }
    static void Fault(const std::string& fault) {
        std::string error;
        ASSERT_TRUE(sim::InjectFault(fault, &error)) << error;
    }
    // The system's text for a result code, as the error bindings receive it.
    static std::string InputText(MMRESULT code) {
        char text[MAXERRORLENGTH] = {};
        waveInGetErrorTextA(code, text, sizeof text);
        return text;
    }
};

TEST_F(DeviceFaults, ARefusedRecordingStartRunsTheErrorBindingThenAnswersFalseWithItsText) {
    const std::string r = CreateRecorder();
    BindAll(r, false);
    Fault("waveInOpen:1:WAVERR_BADFORMAT"); // the format query
    host.log.clear();
    EXPECT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 0);
    const std::string text = InputText(WAVERR_BADFORMAT);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(Bindings(), std::vector<std::string>{"OnError id=1 v=" + text});
    EXPECT_EQ(Var("LastError"), text);
    EXPECT_EQ(Var("ok"), "False");
    EXPECT_EQ(Exec(aiRecordIsActive, {r, "ok"}), 0);
    // The file holds the wave headers and no data.
    TWave wave;
    wave.LoadFromFile(Path("rec.wav"));
    EXPECT_TRUE(wave.IsValidWave());
    EXPECT_EQ(wave.DataBytes(), 0u);
}

TEST_F(DeviceFaults, ARecorderDestroyedByTheErrorBindingOfItsOwnStartLivesUntilTheStartReturns) {
    const std::string r = CreateRecorder();
    BindAll(r, false);
    host.onGoSub = [&](const std::string& command) {
        if (command == "GoSub \"OnError\"")
            Exec(aiRecordDestroy, {r, "destroyed"});
    };
    Fault("waveInOpen:2:MMSYSERR_ALLOCATED"); // the real open, after the query
    EXPECT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 0);
    EXPECT_EQ(Var("destroyed"), "True");
    EXPECT_EQ(Var("LastError"), InputText(MMSYSERR_ALLOCATED));
    EXPECT_EQ(RecordModules->Count(), 0u);
    EXPECT_EQ(Named(Bindings(), "OnError").size(), 1u);
}

TEST_F(DeviceFaults, AnErrorBindingThatStartsItsPlayerAgainAfterARefusedOpenDoesNotRecurse) {
    const std::string p = CreatePlayer();
    BindAll(p, true);
    int errors = 0;
    std::string again;
    host.onGoSub = [&](const std::string& command) {
        if (command != "GoSub \"OnError\"")
            return;
        ++errors;
        Exec(aiPlayerStart, {p, Path("short.wav"), "", "again"});
        again = Var("again");
    };
    Fault("waveOutOpen:2:MMSYSERR_ALLOCATED"); // the real open, after the query
    EXPECT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(again, "False"); // the failing open was still under way
    EXPECT_FALSE(Player(p).Player().Active());
    host.onGoSub = nullptr;
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnDeactivate"));
    EXPECT_EQ(Named(Bindings(), "OnError").size(), 1u);
}

TEST_F(DeviceFaults, DeviceFailuresInsideActionsRunTheErrorBindingAndLeaveTheAnswer) {
    const std::string p = CreatePlayer();
    const std::string r = CreateRecorder();
    BindAll(p, true);
    BindAll(r, false);
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 1);
    ASSERT_TRUE(PumpUntil([&] { return Named(Bindings(), "OnActivate").size() == 2; }));

    // A pause the output device refuses: the error binding, no pause binding,
    // "True" and no LastError.
    SetVariable("LastError", "earlier");
    Fault("waveOutPause:1:MMSYSERR_NOMEM");
    host.log.clear();
    EXPECT_EQ(Exec(aiPlayerPause, {p, "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    const std::vector<std::string> runs = Bindings();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].rfind("OnError id=1 v=", 0), 0u);
    EXPECT_EQ(Var("LastError"), "earlier");
    EXPECT_EQ(Exec(aiPlayerIsPaused, {p, "ok"}), 0);

    // A stop the input device refuses: "True", its text in LastError, and
    // the recorder still records.
    Fault("waveInReset:1:MMSYSERR_NOMEM");
    host.log.clear();
    EXPECT_EQ(Exec(aiRecordStop, {r, "ok"}), 1);
    EXPECT_EQ(Var("ok"), "True");
    EXPECT_EQ(Var("LastError"), InputText(MMSYSERR_NOMEM));
    EXPECT_EQ(Bindings(), std::vector<std::string>{"OnError id=1 v=" + InputText(MMSYSERR_NOMEM)});
    EXPECT_EQ(Recorder(r).Recorder().State(), TWaveAudioState::Active);
    EXPECT_EQ(Exec(aiRecordStop, {r, "ok"}), 1); // the next stop works
    ASSERT_TRUE(PumpUntil([&] { return Named(Bindings(), "OnDeactivate").size() == 1; }));
}

TEST_F(DeviceFaults, AFailingWriteDuringPlaybackRunsTheErrorBindingFromTheNotification) {
    const std::string p = CreatePlayer();
    BindAll(p, true);
    Player(p).Player().SetBufferLength(100);
    Fault("waveOutWrite:2:MMSYSERR_NOMEM");
    ASSERT_EQ(Exec(aiPlayerStart, {p, Path("short.wav"), "", "ok"}), 1);
    ASSERT_TRUE(WaitFor("OnDeactivate"));
    const std::vector<std::string> errors = Named(Bindings(), "OnError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("OnError id=1 v=", 0), 0u);
}

TEST_F(DeviceFaults, ADeviceThatDoesNotAnswerKeepsItsPlaceInTheListWithoutAName) {
    DeviceActions::TearDown();
    Configure("clock=virtual; out=First; out=Second; out=Third");
    DeviceActions::SetUp();
    // waveOutGetDevCapsA: the mapper's name, device 0 checked and named, then
    // the check of device 1 fails.
    Fault("waveOutGetDevCapsA:4:MMSYSERR_NODRIVER");
    EXPECT_EQ(Exec(aiOutputDevices, {"Out", "OutLast"}), 1);
    EXPECT_EQ(Var("OutLast"), "3");
    EXPECT_EQ(Var("Out1"), "First");
    EXPECT_EQ(Var("Out3"), "Third");
    EXPECT_NE(Var("Out0"), "<unset>");
    // The validation of device 1 failed before its name was asked, so the
    // entry is empty rather than another device's name.
    const std::vector<std::string>& names = RunningUtilitiesModule().OutputDeviceNames();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[2], "");
    // A name still selects its own device.
    TWavePlayerModule& player = Player(CreatePlayer());
    player.SelectOutputDevice("third");
    EXPECT_EQ(player.Player().DeviceID(), 2);
}

TEST_F(DeviceFaults, TheDeviceListsAreGatheredOnceALoading) {
    DeviceActions::TearDown();
    Configure("clock=virtual; out=First; out=Second; in=Only");
    DeviceActions::SetUp();
    EXPECT_EQ(Exec(aiOutputDevices, {"Out", "OutLast"}), 1);
    EXPECT_EQ(Exec(aiInputDevices, {"In", "InLast"}), 1);
    // Devices that no longer answer are not asked again.
    Fault("waveOutGetDevCapsA:1+:MMSYSERR_NODRIVER");
    Fault("waveInGetDevCapsA:1+:MMSYSERR_NODRIVER");
    host.variableWrites.clear();
    EXPECT_EQ(Exec(aiOutputDevices, {"Out", "OutLast"}), 1);
    EXPECT_EQ(Exec(aiInputDevices, {"In", "InLast"}), 1);
    EXPECT_EQ(Var("OutLast"), "2");
    EXPECT_EQ(Var("Out1"), "First");
    EXPECT_EQ(Var("Out2"), "Second");
    EXPECT_EQ(Var("InLast"), "1");
    EXPECT_EQ(Var("In1"), "Only");
}

TEST_F(DeviceFaults, ADeviceWithoutFormatFlagsRecordsAt8kHzAndOneThatDoesNotAnswerNothing) {
    DeviceActions::TearDown();
    Configure("clock=virtual; in=Bare,formats=0");
    DeviceActions::SetUp();
    const std::string r = CreateRecorder();
    EXPECT_EQ(Exec(aiPCMFormats, {r, "Bare", "F", "FLast", "ok"}), 1);
    EXPECT_EQ(Var("FLast"), "3");
    EXPECT_EQ(Var("F0"), "PCM: 8,000 kHz, 8 Bit, Mono");
    EXPECT_EQ(Var("F1"), "PCM: 8,000 kHz, 8 Bit, Stereo");
    EXPECT_EQ(Var("F2"), "PCM: 8,000 kHz, 16 Bit, Mono");
    EXPECT_EQ(Var("F3"), "PCM: 8,000 kHz, 16 Bit, Stereo");

    Fault("waveInGetDevCapsA:1+:MMSYSERR_NODRIVER");
    host.variableWrites.clear();
    EXPECT_EQ(Exec(aiPCMFormats, {r, "", "G", "GLast", "ok"}), 1);
    EXPECT_EQ(Var("GLast"), "-1");
    EXPECT_EQ(Var("G0"), "<unset>");
    EXPECT_EQ(Var("ok"), "True");
}

TEST_F(DeviceFaults, ASystemDeviceIsNoSoundFileAndNoRecordingFile) {
    const std::string p = CreatePlayer();
    const std::string r = CreateRecorder();
    EXPECT_EQ(Exec(aiPlayerStart, {p, "/dev/null", "", "ok"}), 0);
    EXPECT_EQ(Var("LastError"), WithPath("Не найден звуковой файл \"%s\"."_w1251, "/dev/null"));
    EXPECT_EQ(Exec(aiRecordStart, {r, "/dev/null", "", "", "ok"}), 0);
    EXPECT_EQ(Var("LastError"), "Cannot create file \"/dev/null\": not a regular file");
    EXPECT_EQ(Exec(aiRecordIsActive, {r, "ok"}), 0);
}

} // namespace

// Objects driven while they are busy: bindings that take longer than a
// buffer, objects destroyed while another records, file actions aimed at a
// file being recorded. Natively every recording is also checked against the
// simulated device's signal (RecordingCheck), so that a lost buffer shows.
#include "actions/DeviceActionsFixture.h"

namespace deviceactions {
namespace {

// The recording of `path` is a complete wave holding at least `ms` of sound,
// and (natively) the device's signal without a gap.
void CheckRecording(const std::string& path, std::uint32_t ms) {
    TWave wave;
    ASSERT_TRUE(wave.LoadFromFile(path));
    ASSERT_TRUE(wave.IsValidWave());
    EXPECT_EQ(static_cast<std::int64_t>(wave.DataStart()) + wave.DataBytes(),
              wave.MemoryStream().Size());
    EXPECT_GE(wave.DataBytes(), static_cast<std::uint32_t>(BytesForTime(wave.FormatRecord(), ms)));
    if (devicetest::RecordingCheck())
        devicetest::RecordingCheck()(wave);
}

class Reentry : public DeviceActions {
protected:
    void StopAndWait(const std::string& r) {
        ASSERT_EQ(Exec(aiRecordStop, {r, "ok"}), 1);
        ASSERT_TRUE(PumpUntil([&] { return Exec(aiRecordIsActive, {r, "ok"}) == 0; }));
    }
};

// A position subroutine with a Delay longer than a buffer (1100 ms against
// 1000 ms buffers), on every buffer: the recorder's buffers go back to the
// device all the same, and the script's own Delay returns between the
// reports instead of running them one after the other for ever.
TEST_F(Reentry, ASlowPositionSubroutineLosesNoInputAndLetsTheScriptGoOn) {
    const std::string r = CreateRecorder();
    ASSERT_EQ(Exec(aiOnRecordPosition, {r, "OnPosition", "id", "v", "ok"}), 1);
    int reports = 0;
    int reportsInOneDelay = 0;
    int mostInOneDelay = 0;
    host.onGoSub = [&](const std::string& command) {
        if (command != "GoSub \"OnPosition\"")
            return;
        ++reports;
        mostInOneDelay = std::max(mostInOneDelay, ++reportsInOneDelay);
        if (reportsInOneDelay <= 4) // beyond that the script is starved: let it out
            devicetest::PumpFor(1100);
    };
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 1);
    for (int i = 0; i < 8; ++i) {
        devicetest::PumpFor(1000); // the script's own Delay "1000"
        reportsInOneDelay = 0;
    }
    EXPECT_GE(reports, 3);
    EXPECT_LE(mostInOneDelay, 2); // the one running when the Delay ran out, and one more
    host.onGoSub = nullptr;
    StopAndWait(r);
    CheckRecording(Path("rec.wav"), 7000);
}

// A player paused after the end of its data was found still has a buffer
// queued that will never play out: destroying it resets the device at once,
// and the recorder beside it gets its buffers back as usual.
TEST_F(Reentry, DestroyingAPausedPlayerHoldsNoRecorderBack) {
    WriteFile(Path("tone.wav"), HalfScaleWave(1800));
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "destroy all" : "destroy");
        const std::string p = CreatePlayer();
        const std::string r = CreateRecorder();
        const std::string recording = Path(std::string("rec-") + (all ? "all" : "one") + ".wav");
        ASSERT_EQ(Exec(aiRecordStart, {r, recording, "", "", "ok"}), 1);
        ASSERT_EQ(Exec(aiPlayerStart, {p, Path("tone.wav"), "", "ok"}), 1);
        devicetest::PumpFor(1300); // the first buffer has played: the end of the data is found
        ASSERT_EQ(Exec(aiPlayerPause, {p, "ok"}), 1);
        devicetest::PumpFor(400);
        if (all)
            EXPECT_EQ(Exec(aiPlayerDestroyAll, {}), 1);
        else
            EXPECT_EQ(Exec(aiPlayerDestroy, {p, "ok"}), 1);
        EXPECT_EQ(Exec(aiPlayerIsActive, {p, "ok"}), 0);
        devicetest::PumpFor(2500);
        StopAndWait(r);
        CheckRecording(recording, 4000);
    }
}

// The recorder's open file cannot be replaced: a file action whose
// destination it is answers "False" with a LastError, and the recording
// goes on into the file it began.
TEST_F(Reentry, AFileActionAimedAtAFileBeingRecordedFailsAndTheRecordingSurvives) {
    const std::string r = CreateRecorder();
    ASSERT_EQ(Exec(aiRecordStart, {r, Path("rec.wav"), "", "", "ok"}), 1);
    devicetest::PumpFor(1500);
    EXPECT_EQ(Exec(aiInvert, {Path("short.wav"), Path("rec.wav"), "Result"}), 0);
    EXPECT_EQ(Var("Result"), "False");
    EXPECT_NE(Var("LastError"), "<unset>");
    devicetest::PumpFor(1000);
    StopAndWait(r);
    CheckRecording(Path("rec.wav"), 2400);
    // Once the recording is done the file is an ordinary one again.
    EXPECT_EQ(Exec(aiInvert, {Path("short.wav"), Path("rec.wav"), "Result"}), 1);
}

} // namespace
} // namespace deviceactions

// What the recorder writes is what the simulated input device captured: its
// signal counts every sample, so a recording that lost, repeated or reordered
// a byte breaks the count. Runs on the virtual clock, where a recording can
// be stopped at an exact moment.
#include <gtest/gtest.h>

#include <filesystem>

#include "devices/DeviceSupport.h"
#include "devices/posix/SignalCheck.h"
#include "platform/posix/WaveSim.h"

using namespace devicetest;
namespace sim = posix::wavesim;

namespace {

class SignalTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim::Configure("clock=virtual", &error)) << error;
    }
    void TearDown() override {
        recorder.reset();
        std::filesystem::remove(path);
        sim::Configure("");
    }

    TWaveDevicePtr<TProbeRecorder> recorder = Make<TProbeRecorder>();
    std::string path = TempPath("signal.wav");
};

TEST_F(SignalTest, AStopWithinTheFirstBufferKeepsExactlyWhatWasCaptured) {
    recorder->SetPCMFormat(Stereo16bit8000Hz);
    ASSERT_TRUE(recorder->RecordToFile(path));
    PumpFor(30); // 240 frames into the first buffer of 100 ms
    recorder->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return !recorder->Active(); }));
    TWave wave;
    ASSERT_TRUE(wave.LoadFromFile(path));
    EXPECT_EQ(wave.DataBytes(), 240u * 4);
    EXPECT_EQ(CheckSignal(wave), 0u); // from the first frame the device captured
}

TEST_F(SignalTest, PausesAndBufferBoundariesLoseNothing) {
    for (const TPCMFormat format : {Mono8Bit8000Hz, Stereo8bit22050Hz, Mono16bit44100Hz}) {
        SCOPED_TRACE(format);
        recorder->SetPCMFormat(format);
        recorder->SetBufferLength(70);
        ASSERT_TRUE(recorder->RecordToFile(path));
        for (int i = 0; i < 3; ++i) {
            PumpFor(250);
            recorder->SetPaused(true);
            PumpFor(100);
            recorder->SetPaused(false);
        }
        PumpFor(130);
        recorder->SetActive(false);
        ASSERT_TRUE(PumpUntil([&] { return !recorder->Active(); }));
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(path));
        WAVEFORMATEX f{};
        MakePCMFormat(&f, format);
        // 880 ms recorded in all (to a millisecond: rates that are no multiple
        // of 1000 Hz do not fit whole frames into each part); the pauses
        // capture nothing.
        EXPECT_NEAR(wave.DataBytes(), BytesForTime(&f, 880), f.nAvgBytesPerSec / 1000);
        CheckSignal(wave);
    }
}

} // namespace

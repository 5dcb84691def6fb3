// The output controls on open devices with and without the support for
// them: what Options let through to the device, what reads back from it, and
// what a device without the control answers. Runs on the virtual clock with
// a device table of three outputs.
#include <gtest/gtest.h>

#include "devices/DeviceSupport.h"
#include "platform/posix/WaveSim.h"

using namespace devicetest;
namespace sim = posix::wavesim;

namespace {

enum Device { kFull, kMonoVolume, kBare };

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim::Configure("clock=virtual; out=Full,support=0x0F; "
                                   "out=Mono volume,support=0x04; out=Bare,support=0",
                                   &error))
            << error;
        player->SetBufferLength(100);
        LoadWave(*player, PatternWave(Mono8Bit8000Hz, 1000));
    }
    void TearDown() override {
        player.reset();
        EXPECT_EQ(sim::State().openDevices, 0u);
        sim::Configure("");
    }
    // Starts on `device` and waits for the open notification.
    void Start(Device device) {
        player->SetDeviceID(device);
        player->SetActive(true);
        ASSERT_TRUE(PumpUntil([&] { return player->HeaderCount() > 0; }, 5000));
    }

    TWaveDevicePtr<TProbePlayer> player = Make<TProbePlayer>();
};

TEST_F(ControlsTest, OptionsSendTheControlsAtTheOpenAndWhenTheyChange) {
    player->SetOptions(TWaveOutOptions().set(woSetVolume).set(woSetPitch).set(woSetPlaybackRate));
    player->SetVolumeLeft(30);
    player->SetVolumeRight(60);
    player->SetPitch(1.5);
    player->SetPlaybackRate(2.0);
    Start(kFull);
    EXPECT_EQ(player->GetDeviceSupport(), 0x0Fu);
    // Read back from the device: 1.5 went out as 0x00018000.
    EXPECT_EQ(player->VolumeLeft(), 30);
    EXPECT_EQ(player->VolumeRight(), 60);
    EXPECT_EQ(player->Volume(), 45);
    EXPECT_DOUBLE_EQ(player->Pitch(), 1.5);
    EXPECT_DOUBLE_EQ(player->PlaybackRate(), 2.0);
    player->SetPitch(1.25);
    player->SetVolume(150);
    EXPECT_DOUBLE_EQ(player->Pitch(), 1.25);
    EXPECT_EQ(player->VolumeLeft(), 100);
    EXPECT_EQ(player->VolumeRight(), 100);

    // Without its option a control stays on the object.
    player->SetOptions(TWaveOutOptions().set(woSetVolume));
    player->SetPitch(0.5);
    EXPECT_DOUBLE_EQ(player->Pitch(), 1.25);
    player->SetOptions(TWaveOutOptions().set(woSetVolume).set(woSetPitch));
    EXPECT_DOUBLE_EQ(player->Pitch(), 0.5);
    player->SetActive(false);
    ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }, 5000));
    EXPECT_DOUBLE_EQ(player->Pitch(), 0.5); // the stored value again
}

TEST_F(ControlsTest, TheOptionsOfAnOpenRunAreNotSentUntilSet) {
    player->SetPitch(1.5);
    player->SetVolume(20);
    Start(kFull);
    EXPECT_DOUBLE_EQ(player->Pitch(), 1.0); // the device's own
    player->SetOptions(TWaveOutOptions().set(woSetPitch).set(woSetVolume));
    EXPECT_DOUBLE_EQ(player->Pitch(), 1.5);
    EXPECT_EQ(player->Volume(), 20);
    // Reading the volume of an open device takes the device's value.
    player->SetOptions(TWaveOutOptions());
    player->SetVolume(90);
    EXPECT_EQ(player->Volume(), 20);
}

TEST_F(ControlsTest, ADeviceWithoutLeftAndRightVolumeGetsTheirMean) {
    player->SetOptions(TWaveOutOptions().set(woSetVolume).set(woSetPitch));
    player->SetVolumeLeft(30);
    player->SetVolumeRight(60);
    player->SetPitch(1.5);
    Start(kMonoVolume);
    EXPECT_EQ(player->GetDeviceSupport(), DWORD{WAVECAPS_VOLUME});
    // The open sent both words; the device keeps the low one, for both sides.
    EXPECT_EQ(player->VolumeLeft(), 30);
    EXPECT_EQ(player->VolumeRight(), 30);
    player->SetVolumeLeft(80);
    EXPECT_EQ(player->VolumeLeft(), 55);
    EXPECT_EQ(player->VolumeRight(), 55);
    EXPECT_DOUBLE_EQ(player->Pitch(), 1.0); // no pitch on this device
    EXPECT_DOUBLE_EQ(player->PlaybackRate(), 1.0);
}

TEST_F(ControlsTest, ADeviceWithoutControlsLeavesTheStoredVolumes) {
    player->SetOptions(TWaveOutOptions().set());
    player->SetPitch(1.5);
    Start(kBare);
    EXPECT_EQ(player->GetDeviceSupport(), 0u);
    player->SetVolumeLeft(40);
    EXPECT_EQ(player->VolumeLeft(), 40);
    EXPECT_EQ(player->VolumeRight(), 75);
    EXPECT_DOUBLE_EQ(player->Pitch(), 1.0);
}

TEST_F(ControlsTest, TwiceThePlaybackRatePlaysInHalfTheTime) {
    player->SetOptions(TWaveOutOptions().set(woSetPlaybackRate));
    player->SetPlaybackRate(2.0);
    player->SetDeviceID(kFull);
    const DWORD start = GetTickCount();
    player->SetActive(true);
    ASSERT_TRUE(PumpUntil([&] { return !player->Active(); }, 5000));
    EXPECT_EQ(GetTickCount() - start, 500u);
    EXPECT_EQ(player->written.size(), 10u);
}

} // namespace

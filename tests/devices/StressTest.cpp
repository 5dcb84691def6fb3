// Random sequences of starts, pauses, seeks, stops and frees on players and
// recorders, some from inside their own events. At the end nothing is left
// running or allocated, every run raised its activation and deactivation in
// turn, and every recording is a complete WAVE file (checked further where
// the devices' signal is known). TONVALD_STRESS_ROUNDS sets the length,
// TONVALD_STRESS_SEED the sequence.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "devices/DeviceSupport.h"

using namespace devicetest;

namespace {

int Setting(const char* name, int otherwise) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : otherwise;
}

// One slot of the stress: a device object, recreated whenever it is freed.
struct Slot {
    TWaveAudioIO* device = nullptr;
    bool recorder = false;
    int open = 0;             // activations minus deactivations of this object
    bool freeAtEvent = false; // the next level report frees the object
    std::vector<std::string> failures;
};

class Stress {
public:
    explicit Stress(unsigned seed) : random_(seed) {
        for (int i = 0; i < 4; ++i) {
            slots_[i].recorder = i >= 2;
            Create(slots_[i]);
        }
    }
    ~Stress() {
        for (Slot& slot : slots_)
            Free(slot);
        for (const std::string& path : files_)
            std::filesystem::remove(path);
    }

    void Step() {
        Slot& slot = slots_[Pick(4)];
        if (slot.device == nullptr)
            Create(slot);
        TWaveAudioIO& device = *slot.device;
        try {
            switch (Pick(10)) {
            case 0:
            case 1:
                Start(slot);
                break;
            case 2:
                device.SetActive(false);
                break;
            case 3:
                device.SetPaused(true);
                break;
            case 4:
                device.SetPaused(false);
                break;
            case 5:
                if (!slot.recorder)
                    static_cast<TAudioPlayer&>(device).SetPosition(Pick(3200));
                break;
            case 6:
                device.SetBufferCount(static_cast<std::uint16_t>(1 + Pick(3)));
                break;
            case 7:
                if (Pick(4) == 0)
                    Free(slot);
                else
                    slot.freeAtEvent = true;
                break;
            default:
                PumpFor(Pick(40));
                break;
            }
        } catch (const EWaveAudioInvalidOperation&) {
            // Misuse in a random sequence is expected (a stop of an idle device...).
        }
    }

    void Finish() {
        PumpFor(50);
        for (Slot& slot : slots_)
            Free(slot);
        EXPECT_EQ(TProbePlayer::alive, 0);
        EXPECT_EQ(TProbeRecorder::alive, 0);
        for (const Slot& slot : slots_)
            for (const std::string& failure : slot.failures)
                ADD_FAILURE() << failure;
    }

    const std::vector<std::string>& Recordings() const { return recordings_; }

private:
    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(random_); }

    void Create(Slot& slot) {
        slot.open = 0;
        slot.freeAtEvent = false;
        if (slot.recorder) {
            slot.device = new TProbeRecorder;
        } else {
            auto* player = new TProbePlayer;
            LoadWave(*player, PatternWave(Mono8Bit8000Hz, 3000));
            slot.device = player;
        }
        slot.device->SetBufferLength(static_cast<std::uint16_t>(50 + 50 * Pick(3)));
        slot.device->OnActivate = [&slot](TWaveAudioIO*) {
            if (++slot.open != 1)
                slot.failures.push_back("activated twice");
        };
        slot.device->OnDeactivate = [&slot](TWaveAudioIO*) {
            if (--slot.open != 0)
                slot.failures.push_back("deactivated without an activation");
        };
        slot.device->OnError = [](TWaveAudioIO*) {};
        slot.device->OnLevel = [this, &slot](TWaveAudioIO* sender, std::int32_t) {
            if (slot.freeAtEvent && slot.device == sender) {
                slot.device = nullptr;
                sender->Free();
            }
        };
    }

    void Start(Slot& slot) {
        if (!slot.recorder) {
            slot.device->SetActive(true);
            return;
        }
        const std::string path = TempPath("stress-" + std::to_string(files_.size()) + ".wav");
        files_.push_back(path);
        if (static_cast<TStockAudioRecorder*>(slot.device)->RecordToFile(path))
            recordings_.push_back(path);
    }

    void Free(Slot& slot) {
        if (slot.device == nullptr)
            return;
        TWaveAudioIO* device = slot.device;
        slot.device = nullptr;
        device->Free();
    }

    std::mt19937 random_;
    Slot slots_[4];
    std::vector<std::string> files_;
    std::vector<std::string> recordings_; // the files whose recording started
};

TEST(StressTest, RandomSequencesEndWithEverythingFreedAndCompleteRecordings) {
    ShownErrors shown;
    Stress stress(static_cast<unsigned>(Setting("TONVALD_STRESS_SEED", 20240601)));
    const int rounds = Setting("TONVALD_STRESS_ROUNDS", 300);
    for (int i = 0; i < rounds; ++i)
        stress.Step();
    stress.Finish();
    EXPECT_TRUE(shown.Texts().empty()) << shown.Texts().front();
    EXPECT_FALSE(stress.Recordings().empty());
    for (const std::string& path : stress.Recordings()) {
        SCOPED_TRACE(path);
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(path));
        EXPECT_EQ(wave.MemoryStream().Size(), wave.DataStart() + std::int64_t{wave.DataBytes()});
        EXPECT_EQ(wave.DataBytes() % 2, 0u);
        if (RecordingCheck())
            RecordingCheck()(wave);
    }
}

} // namespace

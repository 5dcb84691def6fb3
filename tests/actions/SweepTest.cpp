// Random scripts as an author might write them: players and recorders whose
// events run subroutines that wait (a Delay), start, stop, pause, resume or
// destroy objects, and run file actions on recorded files, beside a script
// that does the same between its own Delays. However the events meet, the
// host always gets its thread back, nothing is left running, and every
// recording is a complete file (natively also the device's signal without a
// gap). TONVALD_SWEEP_STEPS sets the length, TONVALD_SWEEP_SEED the scripts.
#include <cstdlib>
#include <random>
#include <set>

#include "actions/DeviceActionsFixture.h"

namespace deviceactions {
namespace {

int Setting(const char* name, int otherwise) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : otherwise;
}

class Sweep : public DeviceActions {
protected:
    void SetUp() override {
        DeviceActions::SetUp();
        WriteFile(Path("tone.wav"), HalfScaleWave(2500));
        host.onGoSub = [this](const std::string& command) { Subroutine(command); };
    }

    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(random_); }

    // The objects a script addresses: two players, two recorders, made anew
    // when destroyed.
    std::string& Object(unsigned i) {
        std::string& id = ids_[i];
        if (id.empty() || !Exists(i)) {
            id = i < 2 ? CreatePlayer() : CreateRecorder();
            BindSome(id, i < 2);
        }
        return id;
    }
    bool Exists(unsigned i) const {
        const std::int32_t id = std::stoi(ids_[i]);
        return i < 2 ? PlayerModules->FindModule(id) != nullptr
                     : RecordModules->FindModule(id) != nullptr;
    }
    // Some of the object's events run a subroutine.
    void BindSome(const std::string& id, bool player) {
        const std::int32_t first = player ? aiOnPlayerError : aiOnRecordError;
        const char* subs[] = {"OnError",    "OnLevel",    "OnPause",     "OnResume",
                              "OnPosition", "OnActivate", "OnDeactivate"};
        for (std::int32_t i = 0; i < 7; ++i) {
            if (Pick(2) == 0)
                continue;
            std::vector<std::string> params = {id, subs[i], "id", "v", "ok"};
            if (player && first + i == aiOnPlayerActivate)
                params.insert(params.begin() + 4, "len");
            Exec(first + i, params);
        }
    }

    // One statement of a script or a subroutine.
    void Statement(int depth) {
        const unsigned i = Pick(4);
        const bool player = i < 2;
        switch (Pick(depth == 0 ? 9 : 12)) {
        case 0:
        case 1:
            if (player) {
                Exec(aiPlayerStart, {Object(i), Path("tone.wav"), "", "ok"});
            } else {
                const std::string file = Path("rec" + std::to_string(files_.size()) + ".wav");
                files_.push_back(file);
                Exec(aiRecordStart, {Object(i), file, "", "", "ok"});
            }
            break;
        case 2:
            Exec(player ? aiPlayerStop : aiRecordStop, {Object(i), "ok"});
            break;
        case 3:
            Exec(player ? aiPlayerPause : aiRecordPause, {Object(i), "ok"});
            break;
        case 4:
            Exec(player ? aiPlayerResume : aiRecordResume, {Object(i), "ok"});
            break;
        case 5:
            if (Pick(3) == 0)
                Exec(player ? aiPlayerDestroyAll : aiRecordDestroyAll, {});
            else
                Exec(player ? aiPlayerDestroy : aiRecordDestroy, {Object(i), "ok"});
            break;
        case 6:
            if (player)
                Exec(aiPlayerPosition, {Object(i), std::to_string(Pick(3000)), "ok"});
            else
                FileAction();
            break;
        default:
            Delay(depth);
            break;
        }
    }
    // A save aimed at a recording (refused while it records), or a file
    // made from one.
    void FileAction() {
        if (files_.empty())
            return;
        const std::string file = files_[Pick(static_cast<unsigned>(files_.size()))];
        if (Pick(2) == 0) {
            // Refused while the file is recorded; afterwards it replaces it.
            if (Exec(aiInvert, {Path("tone.wav"), file, "Result"}) == 1)
                replaced_.insert(file);
        } else
            Exec(aiInvert, {file, Path("copy.wav"), "Result"});
    }
    void Delay(int depth) {
        ++delays_;
        devicetest::PumpFor(depth == 0 ? Pick(800) : Pick(1500));
        --delays_;
        if (delays_ == 0)
            runsSinceScript_ = 0; // the script's own Delay returned
    }
    // A bound subroutine: a few statements, seldom nested deeper than two.
    void Subroutine(const std::string&) {
        if (++runsSinceScript_ == 200)
            ADD_FAILURE() << "the script's Delay has not returned for 200 subroutines";
        if (runsSinceScript_ >= 200 || depth_ >= 2)
            return;
        ++depth_;
        for (unsigned n = Pick(3); n > 0; --n)
            Statement(depth_);
        --depth_;
    }

    std::mt19937 random_{static_cast<unsigned>(Setting("TONVALD_SWEEP_SEED", 1711))};
    std::string ids_[4];
    std::vector<std::string> files_;
    std::set<std::string> replaced_; // recordings a save replaced once they were done
    int depth_ = 0;
    int delays_ = 0;
    int runsSinceScript_ = 0;
};

TEST_F(Sweep, RandomScriptsNeverStarveTheHostAndEveryRecordingIsComplete) {
    const int steps = Setting("TONVALD_SWEEP_STEPS", 60);
    for (int step = 0; step < steps; ++step)
        Statement(0);
    host.onGoSub = nullptr;
    Exec(aiPlayerDestroyAll, {});
    Exec(aiRecordDestroyAll, {});
    devicetest::PumpFor(100);
    for (const std::string& file : files_) {
        SCOPED_TRACE(file);
        if (!std::filesystem::exists(file))
            continue; // the start did not record (the recorder was active)
        TWave wave;
        ASSERT_TRUE(wave.LoadFromFile(file));
        ASSERT_TRUE(wave.IsValidWave());
        EXPECT_EQ(static_cast<std::int64_t>(wave.DataStart()) + wave.DataBytes(),
                  wave.MemoryStream().Size());
        if (devicetest::RecordingCheck() && replaced_.count(file) == 0)
            devicetest::RecordingCheck()(wave);
    }
}

} // namespace
} // namespace deviceactions

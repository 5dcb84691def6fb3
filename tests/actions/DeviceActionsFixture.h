// The fixture of the device action tests: the plug-in's services, a host that
// lists the subroutines the tests bind, a folder of waves, and ways to see
// which subroutines ran with which variables.
#pragma once

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "actions/UWavePlayerModules.h"
#include "actions/UWaveRecordModules.h"
#include "actions/UWaveUtilitiesModule.h"
#include "devices/DeviceSupport.h"
#include "host/Catalogue.h"
#include "host/HostServices.h"
#include "host/Lifecycle.h"
#include "platform/Cp1251.h"
#include "support/FakeHost.h"
#include "wave/Streams.h"
#include "wave/WaveBytes.h"

namespace deviceactions {

using namespace wavetest;
using devicetest::PumpUntil;

inline constexpr const char* kFolder = "actions-devices.tmp";

inline std::string Path(const std::string& name) {
    return std::string(kFolder) + "/" + name;
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    TFileStream file(path, fmCreate);
    file.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

// `ms` of a 16-bit mono 8000 Hz square wave at half scale (peak level 50 %).
inline Bytes HalfScaleWave(std::uint32_t ms) {
    std::vector<std::int16_t> samples(ms * 8);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = (i / 20) % 2 ? 16384 : -16384;
    return WaveFile(Pcm(Mono16bit8000Hz), Samples16(samples));
}

inline std::string WithPath(std::string text, const std::string& path) {
    return text.replace(text.find("%s"), 2, path);
}

// Every subroutine a test binds; the host lists them all.
inline constexpr const char* kSubroutines =
    "OnError\r\nOnLevel\r\nOnPause\r\nOnResume\r\nOnPosition\r\nOnActivate\r\nOnDeactivate";

class DeviceActions : public ::testing::Test {
protected:
    void SetUp() override {
        CreateServiceModules();
        std::filesystem::remove_all(kFolder);
        std::filesystem::create_directory(kFolder);
        WriteFile(Path("short.wav"), HalfScaleWave(350));
        host.subroutineList = kSubroutines;
    }
    void TearDown() override {
        FreeServiceModules();
        std::filesystem::remove_all(kFolder);
    }

    static std::int32_t Exec(std::int32_t id, const std::vector<std::string>& params) {
        return ExecAction(id, params);
    }
    std::string Var(const std::string& name) const {
        return host.Variable(name).value_or("<unset>");
    }
    std::string CreatePlayer() {
        Exec(aiPlayerCreate, {"p"});
        return Var("p");
    }
    std::string CreateRecorder() {
        Exec(aiRecordCreate, {"r"});
        return Var("r");
    }
    TWavePlayerModule& Player(const std::string& id) {
        return *PlayerModules->FindModule(std::stoi(id));
    }
    TWaveRecordModule& Recorder(const std::string& id) {
        return *RecordModules->FindModule(std::stoi(id));
    }
    // Binds every event of an object to the subroutine of its name, with the
    // variables "id" and "v" (the player's activate binding also "len").
    void BindAll(const std::string& id, bool player) {
        const std::int32_t first = player ? aiOnPlayerError : aiOnRecordError;
        const char* subs[] = {"OnError",    "OnLevel",    "OnPause",     "OnResume",
                              "OnPosition", "OnActivate", "OnDeactivate"};
        for (std::int32_t i = 0; i < 7; ++i) {
            std::vector<std::string> params = {id, subs[i], "id", "v", "ok"};
            if (player && first + i == aiOnPlayerActivate)
                params.insert(params.begin() + 4, "len");
            ASSERT_EQ(Exec(first + i, params), 1);
        }
    }
    // The subroutines run, each with the variables set for it:
    // "OnLevel id=1 v=50".
    std::vector<std::string> Bindings() const {
        std::vector<std::string> runs;
        std::string pending;
        for (const std::string& line : host.log) {
            if (line.rfind("set ", 0) == 0 && line.rfind("set ok=", 0) != 0 &&
                line.rfind("set LastError=", 0) != 0) {
                pending += " " + line.substr(4);
            } else if (line.rfind("GoSub \"", 0) == 0) {
                runs.push_back(line.substr(7, line.size() - 8) + pending);
                pending.clear();
            }
        }
        return runs;
    }
    static std::vector<std::string> Named(const std::vector<std::string>& runs,
                                          const std::string& prefix) {
        std::vector<std::string> found;
        for (const std::string& r : runs)
            if (r.rfind(prefix, 0) == 0)
                found.push_back(r);
        return found;
    }
    bool WaitFor(const std::string& subroutine) {
        return PumpUntil([&] { return !Named(Bindings(), subroutine).empty(); });
    }

    FakeHost host;
};

} // namespace deviceactions

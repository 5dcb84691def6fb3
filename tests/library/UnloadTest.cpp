// Unloading a library whose devices still play and record: the unload
// returns, the recording is a complete WAVE file, and the library is gone.
#include "platform/Platform.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/Exports.h"

namespace {

template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLPOSTMESSAGE);
    }
}

std::uint32_t Get32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

std::vector<unsigned char> ReadAll(const char* path) {
    std::vector<unsigned char> bytes;
    if (FILE* f = std::fopen(path, "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF)
            bytes.push_back(static_cast<unsigned char>(c));
        std::fclose(f);
    }
    return bytes;
}

TEST(Unload, EndsRunningDevicesAndLeavesACompleteRecording) {
    for (const int async : {0, 1}) {
        SCOPED_TRACE(async ? "thread" : "window");
        const std::string path = "unload-probe-" + std::to_string(async) + ".wav";
        HMODULE probe = LoadLibraryA(CMAKE_PROBE_NAME);
        ASSERT_NE(probe, nullptr);
        char file[MAX_PATH * 4] = {};
        ASSERT_GT(GetModuleFileNameA(probe, file, sizeof file), 0u);
        auto start = Export<int (*)(const char*, int)>(probe, "ProbeStart");
        auto recorded = Export<int (*)()>(probe, "ProbeRecorded");
        ASSERT_TRUE(start && recorded);
        ASSERT_EQ(start(path.c_str(), async), 1);
        for (int i = 0; i < 250 && recorded() < 2; ++i)
            Pump(20);
        EXPECT_GE(recorded(), 2);

        EXPECT_TRUE(FreeLibrary(probe)); // returns: nothing waits for a close
        EXPECT_EQ(GetModuleHandleA(file), nullptr);
        Pump(100); // late notifications find no window and no code

        const std::vector<unsigned char> wave = ReadAll(path.c_str());
        ASSERT_GE(wave.size(), 46u);
        EXPECT_EQ(std::string(wave.begin(), wave.begin() + 4), "RIFF");
        EXPECT_EQ(Get32(wave, 4), wave.size() - 8 + (wave.size() & 1));
        EXPECT_EQ(std::string(wave.begin() + 38, wave.begin() + 42), "data");
        EXPECT_EQ(Get32(wave, 42), wave.size() - 46);
        EXPECT_GE(Get32(wave, 42), 2u * 1600); // at least the buffers reported
        std::remove(path.c_str());
    }
}

// --- the plug-in itself --------------------------------------------------------------

// A host whose every subroutine exists and only counts its runs.
int theGoSubs = 0;
int theCommands = 0;
void TV_HOSTCALL IgnoreAction(int32_t, const char*, const char*, int32_t, int32_t, const uint8_t*) {
}
void TV_HOSTCALL IgnoreVariable(const char*, const char*) {}
void TV_HOSTCALL CountCommand(const char* command) {
    ++theCommands;
    if (std::string(command).rfind("GoSub ", 0) == 0)
        ++theGoSubs;
}
bool TV_HOSTCALL ListSubroutine(int32_t request, char** slot) {
    if (request != static_cast<int32_t>(HostRequest::SubroutineList))
        return false;
    *slot = static_cast<char*>(GlobalAlloc(GMEM_FIXED, 4));
    std::memcpy(*slot, "Sub", 4);
    return true;
}

void Put32(std::vector<unsigned char>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// Three seconds of 16-bit mono at 8000 Hz.
void WriteWave(const char* path) {
    std::vector<unsigned char> b;
    const std::uint32_t data = 3 * 16000;
    for (const char* part : {"RIFF", "", "WAVEfmt "}) {
        b.insert(b.end(), part, part + std::strlen(part));
        if (*part == '\0')
            Put32(b, 36 + data);
    }
    for (std::uint32_t v : {16u, 0x00010001u, 8000u, 16000u, 0x00100002u})
        Put32(b, v);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, data);
    b.resize(b.size() + data, 0x40);
    FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

TEST(Unload, ThePlugInEndsItsPlayersAndRecordersWithoutRunningASubroutine) {
    const char* played = "unload-plugin-play.wav";
    const char* recorded = "unload-plugin-record.wav";
    WriteWave(played);
    HMODULE plugin = LoadLibraryA("Tonvald.nbp");
    ASSERT_NE(plugin, nullptr);
    char file[MAX_PATH * 4] = {};
    ASSERT_GT(GetModuleFileNameA(plugin, file, sizeof file), 0u);
    Export<decltype(&nbRegisterPlugIn)>(plugin, "nbRegisterPlugIn")(&IgnoreAction, nullptr, nullptr,
                                                                    &IgnoreVariable);
    Export<decltype(&nbRegisterScriptProcessor)>(plugin,
                                                 "nbRegisterScriptProcessor")(&CountCommand);
    Export<decltype(&nbRegisterInterfaceAccess)>(plugin,
                                                 "nbRegisterInterfaceAccess")(&ListSubroutine);
    const auto exec = Export<decltype(&nbExecAction)>(plugin, "nbExecAction");
    ASSERT_NE(exec, nullptr);
    const auto run = [&](std::int32_t action, std::vector<const char*> texts) {
        std::vector<char*> params;
        for (const char* text : texts) {
            params.push_back(static_cast<char*>(GlobalAlloc(GMEM_FIXED, std::strlen(text) + 1)));
            std::memcpy(params.back(), text, std::strlen(text) + 1);
        }
        const std::int32_t result =
            exec(action, params.data(), static_cast<std::int32_t>(params.size()) - 1);
        for (char* p : params)
            GlobalFree(p);
        return result;
    };
    // Two players and two recorders, every event of each bound.
    for (const char* id : {"1", "2"}) {
        run(1, {"v"});  // duVozaPlayerCreate
        run(19, {"v"}); // duVozaRecordCreate
        for (std::int32_t bind = 12; bind <= 18; ++bind)
            run(bind, bind == 17 ? std::vector<const char*>{id, "Sub", "a", "b", "c", "v"}
                                 : std::vector<const char*>{id, "Sub", "a", "b", "v"});
        for (std::int32_t bind = 30; bind <= 36; ++bind)
            run(bind, {id, "Sub", "a", "b", "v"});
        EXPECT_EQ(run(5, {id, played, "", "v"}), 1); // duVozaPlayerStart
        EXPECT_EQ(run(24, {id, id[0] == '1' ? recorded : "unload-plugin-2.wav", "", "", "v"}), 1);
    }
    for (int i = 0; i < 250 && theGoSubs < 8; ++i)
        Pump(20);
    ASSERT_GE(theGoSubs, 8); // activations and levels: all four run
    const int commands = theCommands;

    EXPECT_TRUE(FreeLibrary(plugin));
    EXPECT_EQ(GetModuleHandleA(file), nullptr);
    Pump(100);
    EXPECT_EQ(theCommands, commands); // no subroutine ran, no variable was cleared

    for (const char* path : {recorded, "unload-plugin-2.wav"}) {
        const std::vector<unsigned char> wave = ReadAll(path);
        ASSERT_GE(wave.size(), 46u) << path;
        EXPECT_EQ(Get32(wave, 4), wave.size() - 8 + (wave.size() & 1));
        EXPECT_EQ(std::string(wave.begin() + 38, wave.begin() + 42), "data");
        EXPECT_EQ(Get32(wave, 42), wave.size() - 46);
        EXPECT_GT(Get32(wave, 42), 0u);
        std::remove(path);
    }
    std::remove(played);
}

} // namespace

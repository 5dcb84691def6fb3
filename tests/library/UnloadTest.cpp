// Unloading a library whose devices still play and record: the unload
// returns, the recording is a complete WAVE file, and the library is gone.
#include "platform/Platform.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

} // namespace

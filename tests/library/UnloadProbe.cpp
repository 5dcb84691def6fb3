// A library that plays and records through the engine and is unloaded while
// both devices run: its shutdown is the one the plug-in uses, inside the
// system's library unload (FreeLibrary, dlclose).
#include "platform/Platform.h"

#include <cstdint>
#include <string>

#include "wave/WavePlayers.h"
#include "wave/WaveRecorders.h"

namespace {

struct Devices {
    TAudioPlayer* player = nullptr;
    TStockAudioRecorder* recorder = nullptr;
    int recorded = 0; // buffers the recorder has written

    ~Devices() {
        SetWaveLibraryUnloading(true);
        if (player != nullptr)
            player->Free();
        if (recorder != nullptr)
            recorder->Free();
    }
};

Devices theDevices;

// Ten seconds of 8-bit mono at 8000 Hz.
void LoadLongWave(TWave& wave) {
    WAVEFORMATEX format{};
    MakePCMFormat(&format, Mono8Bit8000Hz);
    wave.StartWriting(&format);
    std::string second(8000, '\0');
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = static_cast<char>(128 + (i % 64));
    for (int s = 0; s < 10; ++s)
        wave.WriteData(second.data(), static_cast<std::int32_t>(second.size()));
    wave.StopWriting();
}

} // namespace

// Starts a player and a recorder into `recordPath` on this thread (thread
// mode when `async`); 1 when both run.
extern "C" TV_EXPORT int ProbeStart(const char* recordPath, int async) {
    theDevices.player = new TAudioPlayer;
    theDevices.recorder = new TStockAudioRecorder;
    theDevices.player->SetAsync(async != 0);
    theDevices.recorder->SetAsync(async != 0);
    theDevices.recorder->SetBufferLength(100);
    theDevices.recorder->OnLevel = [](TWaveAudioIO*, std::int32_t) { ++theDevices.recorded; };
    LoadLongWave(*theDevices.player->Wave());
    theDevices.player->SetActive(true);
    return theDevices.player->Active() && theDevices.recorder->RecordToFile(recordPath) ? 1 : 0;
}

extern "C" TV_EXPORT int ProbeRecorded() {
    return theDevices.recorded;
}

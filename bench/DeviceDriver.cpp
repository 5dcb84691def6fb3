// tvdevbench: the device benchmark's driver. Plays and records through the
// engine's device objects on the platform's waveform devices, and reports on
// one line what it measured (see bench/run and bench/measure.py).
//   tvdevbench play FILE SECONDS     plays the first SECONDS of FILE (all: 0)
//   tvdevbench record FILE SECONDS   records SECONDS of 44.1 kHz 16-bit stereo
//   tvdevbench copy FILE             copies FILE's audio once in memory
// Output: "audio_ms=... cpu_s=... first_buffer_ms=... underruns=..."
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "wave/WavePlayers.h"
#include "wave/WaveRecorders.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void PumpWhile(TWaveAudioIO& device, const std::function<bool()>& going) {
    while (going() && device.Active()) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLPOSTMESSAGE);
    }
}

// A player that notes when its first buffer is queued and whether the device
// ever ran dry: a buffer handed back while none is left queued, before the
// end of the data.
class TBenchPlayer : public TAudioPlayer {
public:
    Clock::time_point started;
    double firstBufferMs = -1;
    int underruns = 0;

protected:
    ~TBenchPlayer() override = default;
    bool WriteHeader(WAVEHDR* header) override {
        const bool queued = TAudioPlayer::WriteHeader(header);
        if (queued && firstBufferMs < 0)
            firstBufferMs =
                std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        return queued;
    }
    void HandleWomDone(WAVEHDR* header) override {
        if (header != nullptr && State() == TWaveAudioState::Active) {
            bool anyQueued = false;
            for (TWaveHeaderState s : HeaderStates())
                anyQueued = anyQueued || s == TWaveHeaderState::Queued;
            if (!anyQueued)
                ++underruns;
        }
        TAudioPlayer::HandleWomDone(header);
    }
};

int Play(const char* file, double seconds) {
    TWaveDevicePtr<TBenchPlayer> player(new TBenchPlayer);
    // The player objects always listen to the level, which costs a scan of
    // every buffer.
    player->OnLevel = [](TWaveAudioIO*, std::int32_t) {};
    if (!player->Wave()->LoadFromFile(file))
        return 1;
    const std::int32_t limit =
        seconds > 0 ? static_cast<std::int32_t>(seconds * 1000) : player->Wave()->DurationMs();
    const double cpu = CpuSeconds();
    player->started = Clock::now();
    player->SetActive(true);
    PumpWhile(*player, [&] { return player->Position() < limit; });
    const std::int32_t played = std::min(player->Position(), limit);
    if (player->Active()) {
        player->SetActive(false);
        PumpWhile(*player, [] { return true; });
    }
    std::printf("audio_ms=%d cpu_s=%.4f first_buffer_ms=%.3f underruns=%d\n",
                seconds > 0 ? played : limit, CpuSeconds() - cpu, player->firstBufferMs,
                player->underruns);
    return 0;
}

int Record(const char* file, double seconds) {
    TWaveDevicePtr<TStockAudioRecorder> recorder(new TStockAudioRecorder);
    recorder->SetPCMFormat(Stereo16bit44100Hz);
    recorder->OnLevel = [](TWaveAudioIO*, std::int32_t) {};
    const auto limit = static_cast<std::int32_t>(seconds * 1000);
    const double cpu = CpuSeconds();
    if (!recorder->RecordToFile(file))
        return 1;
    PumpWhile(*recorder, [&] { return recorder->Position() < limit; });
    const std::int32_t recorded = recorder->Position();
    recorder->SetActive(false);
    PumpWhile(*recorder, [] { return true; });
    std::printf("audio_ms=%d cpu_s=%.4f\n", recorded, CpuSeconds() - cpu);
    return 0;
}

int Copy(const char* file) {
    TWave wave;
    if (!wave.LoadFromFile(file))
        return 1;
    void* data = nullptr;
    if (!wave.AcquireData(data, false))
        return 1;
    std::vector<char> target(wave.DataBytes());
    std::memcpy(target.data(), data, target.size()); // the pages exist from here
    constexpr int kRounds = 10;
    const double cpu = CpuSeconds();
    for (int i = 0; i < kRounds; ++i)
        std::memcpy(target.data(), data, target.size());
    const double took = (CpuSeconds() - cpu) / kRounds;
    // Keep the copy from being optimised away.
    std::printf("audio_ms=%d cpu_s=%.6f check=%d\n", wave.DurationMs(), took,
                static_cast<int>(target[target.size() / 2]));
    wave.ReleaseData(data, false);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "play") == 0)
        return Play(argv[2], std::atof(argv[3]));
    if (argc == 4 && std::strcmp(argv[1], "record") == 0)
        return Record(argv[2], std::atof(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "copy") == 0)
        return Copy(argv[2]);
    std::fputs("usage: tvdevbench play FILE SECONDS | record FILE SECONDS | copy FILE\n", stderr);
    return 2;
}

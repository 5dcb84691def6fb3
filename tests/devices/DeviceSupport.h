// Helpers of the device tests: message pumping, an event log, test waves and
// device objects that show what they hand to the device.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "wave/WavePlayers.h"
#include "wave/WaveRecorders.h"

namespace devicetest {

using Bytes = std::vector<std::uint8_t>;

// A bound against hanging; never expected to elapse.
constexpr DWORD kPatience = 20000;

// Dispatches this thread's posted messages until `done` holds; false when
// `ms` elapsed first.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = kPatience);
// Dispatches this thread's posted messages for `ms`.
void PumpFor(DWORD ms);

// The events of one device object, in order: "activate", "deactivate",
// "pause", "resume", "error <code>", "level <n>". Safe to read while a
// callback thread adds to it.
struct EventLog {
    std::vector<std::string> events;
    std::vector<DWORD> threads;                      // the thread each event ran on
    std::function<void(const std::string&)> onEvent; // runs inside each event

    void Attach(TWaveAudioIO& device);
    int Count(const std::string& prefix) const;
    // The events without the levels.
    std::vector<std::string> WithoutLevels() const;
    void Add(const std::string& event);

private:
    mutable std::mutex lock_;
};

// Sample i of a test wave: distinct enough to find where a buffer began.
std::uint8_t PatternByte(std::uint32_t i);
// A RIFF WAVE of `ms` of PCM in `format`, data bytes from PatternByte.
Bytes PatternWave(TPCMFormat format, std::uint32_t ms);
// The data chunk's bytes of a RIFF WAVE (empty when it is not valid).
Bytes DataOf(const Bytes& file);
Bytes ReadFile(const std::string& path);
std::string TempPath(const std::string& name);

// What escaped notification handlers, as the engine's error display saw it.
class ShownErrors {
public:
    ShownErrors();
    ~ShownErrors();
    ShownErrors(const ShownErrors&) = delete;
    ShownErrors& operator=(const ShownErrors&) = delete;
    static std::vector<std::string>& Texts();
};

// A player that keeps the bytes of each buffer the device accepted and opens the
// engine's protected operations to the tests.
class TProbePlayer : public TAudioPlayer {
public:
    TProbePlayer() { ++alive; }
    static inline std::atomic<int> alive = 0;          // probes not yet freed
    static inline std::atomic<std::size_t> queued = 0; // buffers queued by every probe
    std::vector<Bytes> written;
    std::atomic<std::size_t> writtenCount = 0;
    using TAudioPlayer::InternalClose;
    using TAudioPlayer::InternalOpen;
    using TAudioPlayer::MMTimeToMS;
    using TAudioPlayer::Transit;

protected:
    ~TProbePlayer() override { --alive; }
    bool WriteHeader(WAVEHDR* header) override;
};

class TProbeRecorder : public TStockAudioRecorder {
public:
    TProbeRecorder() { ++alive; }
    static inline std::atomic<int> alive = 0;
    std::vector<DWORD> delivered; // byte counts handed to the consumer
    std::atomic<std::size_t> deliveredCount = 0;
    using TStockAudioRecorder::InternalClose;
    using TStockAudioRecorder::InternalOpen;

protected:
    ~TProbeRecorder() override { --alive; }
    void DoWaveInData(void* buffer, DWORD count, bool& FreeIt) override;
};

template <class T>
TWaveDevicePtr<T> Make() {
    return TWaveDevicePtr<T>(new T);
}

// Checks what a recording holds where the platform's signal is known (set
// by the native tests at start-up; empty elsewhere).
std::function<void(TWave& recording)>& RecordingCheck();

// Loads a player's wave from bytes.
void LoadWave(TAudioPlayer& player, const Bytes& file);

} // namespace devicetest

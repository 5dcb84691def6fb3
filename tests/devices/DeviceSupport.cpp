#include "devices/DeviceSupport.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace devicetest {

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (done())
                return true;
        }
        if (done())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms - elapsed, 50),
                                  QS_ALLPOSTMESSAGE);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

void EventLog::Add(const std::string& event) {
    {
        const std::lock_guard<std::mutex> guard(lock_);
        events.push_back(event);
        threads.push_back(GetCurrentThreadId());
    }
    if (onEvent)
        onEvent(event);
}

void EventLog::Attach(TWaveAudioIO& device) {
    device.OnActivate = [this](TWaveAudioIO*) { Add("activate"); };
    device.OnDeactivate = [this](TWaveAudioIO*) { Add("deactivate"); };
    device.OnPause = [this](TWaveAudioIO*) { Add("pause"); };
    device.OnResume = [this](TWaveAudioIO*) { Add("resume"); };
    device.OnError = [this](TWaveAudioIO* sender) {
        Add("error " + std::to_string(sender->ErrorCode()));
    };
    device.OnLevel = [this](TWaveAudioIO*, std::int32_t level) {
        Add("level " + std::to_string(level));
    };
}

int EventLog::Count(const std::string& prefix) const {
    const std::lock_guard<std::mutex> guard(lock_);
    int n = 0;
    for (const std::string& e : events)
        if (e.compare(0, prefix.size(), prefix) == 0)
            ++n;
    return n;
}

std::vector<std::string> EventLog::WithoutLevels() const {
    const std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> rest;
    for (const std::string& e : events)
        if (e.compare(0, 6, "level ") != 0)
            rest.push_back(e);
    return rest;
}

std::uint8_t PatternByte(std::uint32_t i) {
    return static_cast<std::uint8_t>((i * 7 + i / 251) % 251 + 2);
}

namespace {

void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(id[i]));
}

} // namespace

Bytes PatternWave(TPCMFormat format, std::uint32_t ms) {
    WAVEFORMATEX f{};
    MakePCMFormat(&f, format);
    const auto size = static_cast<std::uint32_t>(BytesForTime(&f, static_cast<std::int32_t>(ms)));
    Bytes b;
    PutId(b, "RIFF");
    Put32(b, 4 + 8 + 18 + 8 + size + (size & 1));
    PutId(b, "WAVE");
    PutId(b, "fmt ");
    Put32(b, 18);
    const auto* record = reinterpret_cast<const std::uint8_t*>(&f);
    for (std::size_t i = 0; i < sizeof f; ++i)
        b.push_back(record[i]);
    PutId(b, "data");
    Put32(b, size);
    for (std::uint32_t i = 0; i < size; ++i)
        b.push_back(PatternByte(i));
    if (size & 1)
        b.push_back(0);
    return b;
}

Bytes DataOf(const Bytes& file) {
    TWave wave;
    TMemoryStream source;
    source.Write(file.data(), static_cast<std::int64_t>(file.size()));
    source.SetPosition(0);
    if (!wave.LoadFromStream(source) || wave.DataBytes() == 0)
        return {};
    const std::uint8_t* data = wave.MemoryStream().Memory() + wave.DataStart();
    const std::int64_t available = wave.MemoryStream().Size() - wave.DataStart();
    return Bytes(data, data + std::min<std::int64_t>(available, wave.DataBytes()));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TempPath(const std::string& name) {
    return "devices-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

namespace {
void Record(const char* message) {
    ShownErrors::Texts().emplace_back(message);
}
} // namespace

ShownErrors::ShownErrors() {
    Texts().clear();
    SetWaveErrorDisplay(&Record);
}

ShownErrors::~ShownErrors() {
    SetWaveErrorDisplay(nullptr);
}

std::vector<std::string>& ShownErrors::Texts() {
    static std::vector<std::string> texts;
    return texts;
}

bool TProbePlayer::WriteHeader(WAVEHDR* header) {
    if (!TAudioPlayer::WriteHeader(header))
        return false;
    // Queued: the device only reads the buffer, which stays ours to read.
    written.emplace_back(header->lpData, header->lpData + header->dwBufferLength);
    ++writtenCount;
    ++queued;
    return true;
}

void TProbeRecorder::DoWaveInData(void* buffer, DWORD count, bool& FreeIt) {
    delivered.push_back(count);
    ++deliveredCount;
    TStockAudioRecorder::DoWaveInData(buffer, count, FreeIt);
}

std::function<void(TWave& recording)>& RecordingCheck() {
    static std::function<void(TWave&)> check;
    return check;
}

void LoadWave(TAudioPlayer& player, const Bytes& file) {
    TMemoryStream source;
    source.Write(file.data(), static_cast<std::int64_t>(file.size()));
    source.SetPosition(0);
    player.Wave()->LoadFromStream(source);
}

} // namespace devicetest

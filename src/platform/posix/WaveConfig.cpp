// The configuration text of the simulated waveform devices: parsing,
// applying, and the faults it injects.
#include "platform/posix/WaveConfig.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/Cp1251.h"
#include "platform/posix/Clock.h"
#include "platform/posix/Threads.h"
#include "platform/posix/WaveSim.h"

namespace posix::wave {
namespace {

constexpr DWORD kDefaultFormats = 0xFFFF;
constexpr DWORD kDefaultSupport = WAVECAPS_VOLUME | WAVECAPS_LRVOLUME | WAVECAPS_SAMPLEACCURATE;

struct Fault {
    std::string function;
    unsigned long long nth = 0;
    bool onward = false;
    MMRESULT result = 0;
    unsigned long long calls = 0;
};

struct Configuration {
    std::vector<DeviceEntry> outputs;
    std::vector<DeviceEntry> inputs;
    ClockKind clock = ClockKind::Real;
    unsigned speed = 1;
    std::vector<Fault> faults;
};

// Guarded by SyncMutex() once loaded.
Configuration& Current() {
    static Configuration* configuration = new Configuration;
    return *configuration;
}

constexpr const char* kFunctions[] = {
    "waveOutGetDevCapsA",
    "waveOutGetErrorTextA",
    "waveOutOpen",
    "waveOutClose",
    "waveOutPrepareHeader",
    "waveOutUnprepareHeader",
    "waveOutWrite",
    "waveOutPause",
    "waveOutRestart",
    "waveOutReset",
    "waveOutBreakLoop",
    "waveOutGetPosition",
    "waveOutGetVolume",
    "waveOutSetVolume",
    "waveOutGetPitch",
    "waveOutSetPitch",
    "waveOutGetPlaybackRate",
    "waveOutSetPlaybackRate",
    "waveOutGetID",
    "waveInGetDevCapsA",
    "waveInGetErrorTextA",
    "waveInOpen",
    "waveInClose",
    "waveInPrepareHeader",
    "waveInUnprepareHeader",
    "waveInAddBuffer",
    "waveInStart",
    "waveInStop",
    "waveInReset",
    "waveInGetPosition",
    "waveInGetID",
};

struct NamedCode {
    const char* name;
    MMRESULT code;
};
constexpr NamedCode kCodes[] = {
    {"MMSYSERR_NOERROR", MMSYSERR_NOERROR},
    {"MMSYSERR_ERROR", MMSYSERR_ERROR},
    {"MMSYSERR_BADDEVICEID", MMSYSERR_BADDEVICEID},
    {"MMSYSERR_NOTENABLED", MMSYSERR_NOTENABLED},
    {"MMSYSERR_ALLOCATED", MMSYSERR_ALLOCATED},
    {"MMSYSERR_INVALHANDLE", MMSYSERR_INVALHANDLE},
    {"MMSYSERR_NODRIVER", MMSYSERR_NODRIVER},
    {"MMSYSERR_NOMEM", MMSYSERR_NOMEM},
    {"MMSYSERR_NOTSUPPORTED", MMSYSERR_NOTSUPPORTED},
    {"MMSYSERR_BADERRNUM", MMSYSERR_BADERRNUM},
    {"MMSYSERR_INVALFLAG", MMSYSERR_INVALFLAG},
    {"MMSYSERR_INVALPARAM", MMSYSERR_INVALPARAM},
    {"MMSYSERR_HANDLEBUSY", MMSYSERR_HANDLEBUSY},
    {"WAVERR_BADFORMAT", WAVERR_BADFORMAT},
    {"WAVERR_STILLPLAYING", WAVERR_STILLPLAYING},
    {"WAVERR_UNPREPARED", WAVERR_UNPREPARED},
    {"WAVERR_SYNC", WAVERR_SYNC},
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Splits at the first `separator`: the part before (trimmed) and the rest.
std::string_view TakeUntil(std::string_view& text, char separator) {
    const std::size_t at = text.find(separator);
    const std::string_view part = text.substr(0, at);
    text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
    return Trim(part);
}

bool ParseNumber(std::string_view text, unsigned long long& value) {
    text = Trim(text);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 16)
        return false;
    value = 0;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    return true;
}

bool ParseDword(std::string_view text, DWORD& value) {
    unsigned long long number = 0;
    if (!ParseNumber(text, number) || number > 0xFFFFFFFFull)
        return false;
    value = static_cast<DWORD>(number);
    return true;
}

bool Fail(std::string* error, std::string message) {
    if (error != nullptr)
        *error = std::move(message);
    return false;
}

bool ParseFault(std::string_view text, Fault& fault, std::string* error) {
    const std::string_view function = TakeUntil(text, ':');
    std::string_view nth = TakeUntil(text, ':');
    const std::string_view code = Trim(text);
    bool known = false;
    for (const char* name : kFunctions)
        known = known || function == name;
    if (!known)
        return Fail(error, "no waveform function answering MMRESULT is named \"" +
                               std::string(function) + "\"");
    fault.function = std::string(function);
    fault.onward = !nth.empty() && nth.back() == '+';
    if (fault.onward)
        nth.remove_suffix(1);
    if (!ParseNumber(nth, fault.nth) || fault.nth == 0)
        return Fail(error, "a fault needs a call number from 1: \"" + std::string(nth) + "\"");
    for (const NamedCode& named : kCodes) {
        if (code == named.name) {
            fault.result = named.code;
            return true;
        }
    }
    DWORD number = 0;
    if (!ParseDword(code, number))
        return Fail(error, "not a result code: \"" + std::string(code) + "\"");
    fault.result = number;
    return true;
}

bool ParseDevice(std::string_view text, bool output, std::vector<DeviceEntry>& devices, bool& none,
                 std::string* error) {
    const std::string_view name = TakeUntil(text, ',');
    if (name.empty())
        return Fail(error, "a device needs a name");
    if (name == "none") {
        none = true;
        return text.empty() || Fail(error, "\"none\" takes no values");
    }
    DeviceEntry device{cp1251::FromUtf8(name), kDefaultFormats, output ? kDefaultSupport : 0};
    if (device.name.size() >= MAXPNAMELEN)
        return Fail(error, "a device name has at most 31 bytes: \"" + std::string(name) + "\"");
    while (!text.empty()) {
        std::string_view value = TakeUntil(text, ',');
        const std::string_view key = TakeUntil(value, '=');
        DWORD* field = key == "formats"             ? &device.formats
                       : key == "support" && output ? &device.support
                                                    : nullptr;
        if (field == nullptr)
            return Fail(error, "unknown device value \"" + std::string(key) + "\"");
        if (!ParseDword(value, *field))
            return Fail(error, "not a number: \"" + std::string(Trim(value)) + "\"");
    }
    devices.push_back(std::move(device));
    return true;
}

bool Parse(std::string_view text, Configuration& result, std::string* error) {
    Configuration parsed;
    bool noOutputs = false;
    bool noInputs = false;
    while (!text.empty()) {
        std::string_view value = TakeUntil(text, ';');
        if (value.empty())
            continue;
        const std::string_view key = TakeUntil(value, '=');
        value = Trim(value);
        if (key == "out" || key == "in") {
            const bool output = key == "out";
            if (!ParseDevice(value, output, output ? parsed.outputs : parsed.inputs,
                             output ? noOutputs : noInputs, error))
                return false;
        } else if (key == "clock") {
            unsigned long long speed = 0;
            if (value == "real") {
                parsed.clock = ClockKind::Real;
            } else if (value == "virtual") {
                parsed.clock = ClockKind::Virtual;
            } else if (value.substr(0, 5) == "fast:" && ParseNumber(value.substr(5), speed) &&
                       speed >= 1 && speed <= 10000) {
                parsed.clock = ClockKind::Fast;
                parsed.speed = static_cast<unsigned>(speed);
            } else {
                return Fail(error, "clock is real, fast:N (1 to 10000) or virtual, not \"" +
                                       std::string(value) + "\"");
            }
        } else if (key == "fault") {
            Fault fault;
            if (!ParseFault(value, fault, error))
                return false;
            parsed.faults.push_back(std::move(fault));
        } else {
            return Fail(error, "unknown clause \"" + std::string(key) + "\"");
        }
    }
    if ((noOutputs && !parsed.outputs.empty()) || (noInputs && !parsed.inputs.empty()))
        return Fail(error, "\"none\" and devices of the same direction");
    if (parsed.outputs.empty() && !noOutputs)
        parsed.outputs.push_back({"Simulated output", kDefaultFormats, kDefaultSupport});
    if (parsed.inputs.empty() && !noInputs)
        parsed.inputs.push_back({"Simulated input", kDefaultFormats, 0});
    result = std::move(parsed);
    return true;
}

} // namespace

void LoadConfiguration() {
    static const bool loaded = [] {
        Configuration& configuration = Current();
        const char* text = std::getenv("TONVALD_WAVE");
        std::string error;
        if (!Parse(text != nullptr ? text : "", configuration, &error)) {
            std::fprintf(stderr, "TONVALD_WAVE: %s; the defaults hold\n", error.c_str());
            Parse("", configuration, nullptr);
        }
        StartClock(configuration.clock, configuration.speed);
        return true;
    }();
    (void)loaded;
}

const std::vector<DeviceEntry>& Devices(bool output) {
    LoadConfiguration();
    return output ? Current().outputs : Current().inputs;
}

std::optional<MMRESULT> TakeFault(std::string_view function) {
    LoadConfiguration();
    std::optional<MMRESULT> result;
    for (Fault& fault : Current().faults) {
        if (fault.function != function)
            continue;
        ++fault.calls;
        if (!result && (fault.calls == fault.nth || (fault.onward && fault.calls > fault.nth)))
            result = fault.result;
    }
    return result;
}

} // namespace posix::wave

namespace posix::wavesim {

using wave::Configuration;

bool Configure(std::string_view text, std::string* error) {
    wave::LoadConfiguration();
    Configuration parsed;
    if (!wave::Parse(text, parsed, error))
        return false;
    const ClockKind clock = parsed.clock;
    const unsigned speed = parsed.speed;
    {
        std::lock_guard lock(SyncMutex());
        if (wave::OpenHandles() != 0)
            return wave::Fail(error, "a device is open");
        wave::Current() = std::move(parsed);
    }
    SetClock(clock, speed);
    return true;
}

bool InjectFault(std::string_view text, std::string* error) {
    wave::LoadConfiguration();
    wave::Fault fault;
    if (!wave::ParseFault(text, fault, error))
        return false;
    std::lock_guard lock(SyncMutex());
    wave::Current().faults.push_back(std::move(fault));
    return true;
}

void ClearFaults() {
    wave::LoadConfiguration();
    std::lock_guard lock(SyncMutex());
    wave::Current().faults.clear();
}

} // namespace posix::wavesim

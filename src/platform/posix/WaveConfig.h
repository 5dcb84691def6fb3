// The configuration of the simulated waveform devices (WaveSim.h), for the
// platform's own files: device tables and faults, guarded by SyncMutex().
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/Wave.h"

namespace posix::wave {

struct DeviceEntry {
    std::string name; // Windows-1251, at most MAXPNAMELEN - 1 bytes
    DWORD formats = 0;
    DWORD support = 0;
};

// Reads TONVALD_WAVE, once: the clock does before it is first read, and the
// devices before they are first used. Takes no lock.
void LoadConfiguration();
// The device table of one direction; lock held.
const std::vector<DeviceEntry>& Devices(bool output);
// Counts a call of `function` and answers the result a fault makes it give,
// if any; lock held.
std::optional<MMRESULT> TakeFault(std::string_view function);
// How many output and input handles are open; lock held (Wave.cpp).
unsigned OpenHandles();

} // namespace posix::wave

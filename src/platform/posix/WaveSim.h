// Control of the simulated waveform devices (Wave.h) and of the platform's
// clock, for tests and hosts of the POSIX platform. There is no Windows
// counterpart: code that includes this header is built natively only.
//
// Configuration text, read from the environment variable TONVALD_WAVE the
// first time the platform needs its clock or its devices, or given to
// Configure: clauses separated by ';', blanks around names and values ignored.
//
//   out=NAME[,formats=N][,support=N]  an output device; repeated clauses make
//                                      devices 0, 1, ... in their order
//   in=NAME[,formats=N]                an input device
//   out=none, in=none                  no devices of that direction
//   clock=real                         real time (the default)
//   clock=fast:N                       N times real time (N from 1 to 10000)
//   clock=virtual                      a virtual clock (below)
//   fault=FUNCTION:N:CODE              the Nth call of FUNCTION (a waveOut or
//   fault=FUNCTION:N+:CODE             waveIn function answering MMRESULT),
//                                      or the Nth and every later one, answers
//                                      CODE and does nothing else
//
// NAME is UTF-8 and becomes the Windows-1251 szPname (at most 31 bytes; no ';'
// or ','). N is decimal or 0x-hexadecimal. formats is dwFormats (default
// 0xFFFF: every format flag up to 48 kHz), support is dwSupport (default
// WAVECAPS_VOLUME | WAVECAPS_LRVOLUME | WAVECAPS_SAMPLEACCURATE, 0x2C). CODE
// is a number or a name such as MMSYSERR_NOMEM or WAVERR_BADFORMAT. Calls are
// counted from 1 for each fault from the moment it is set. Without devices of
// a direction in the text there is one, "Simulated output" or "Simulated
// input", with the defaults.
//
// The virtual clock stands still while any thread that has used the platform
// runs. When all of them wait in the platform (Sleep, the Wait functions,
// MsgWaitForMultipleObjects, GetMessageA, a SendMessageA to another thread)
// and none of those waits is satisfied, it jumps to the earliest moment at
// which a wait times out or a device has a buffer done, so a test or a host
// script never sleeps and always sees the same order of events. A thread that
// blocks elsewhere (a C++ mutex or condition, a thread join) holds the clock,
// as does a thread made by CreateThread that has not started yet; a loop that
// polls with PeekMessageA never lets it move.
//
// A bad TONVALD_WAVE is reported on stderr and ignored (the defaults hold).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/Wave.h"

namespace posix::wavesim {

// Replaces the whole configuration (device tables, clock, faults) with
// `text`. False, with the reason in `error` when given, for a faulty text or
// while a device is open; nothing changes then. The clock goes on from the
// time it shows.
bool Configure(std::string_view text, std::string* error = nullptr);
// Adds the fault of one fault clause's value ("waveOutWrite:2:MMSYSERR_NOMEM").
bool InjectFault(std::string_view fault, std::string* error = nullptr);
// Removes every fault.
void ClearFaults();

// The signal an input device records: sample number k of the stream (frame
// n, channel c: k = n * nChannels + c) holds k modulo 65536 as a 16-bit
// sample (a signed value from -32768 to 32767, its bits those of the count)
// and k modulo 256 as an 8-bit sample (0 to 255). Frames are counted from the
// device's open over every frame it captured, whether a buffer took it or
// not, so a recording that lost or repeated a frame breaks the count; a
// stop and a start go on with the next frame.
int SignalSample(const WAVEFORMATEX& format, std::uint64_t frame, unsigned channel);

struct DeviceThreadState {
    unsigned openDevices = 0;   // output and input handles open
    unsigned queuedHeaders = 0; // headers the devices hold
    std::uint64_t wakeups = 0;  // times the device thread has woken since it started
};
DeviceThreadState State();

} // namespace posix::wavesim

// The platform's one clock, for the platform's own files. GetTickCount, the
// time stamps of messages, the time-outs of every wait (Sleep included) and
// the simulated waveform devices all read it, so that they agree whichever
// way it runs:
// - real: as the system's monotonic clock;
// - fast: N times as fast as that;
// - virtual: standing still until every thread of the platform waits (see
//   SyncWaitUntil in Threads.h); then it jumps to the earliest moment that
//   ends a wait or is due to a device.
// Changing the clock keeps the time going on from where it is, never back.
#pragma once

#include <chrono>
#include <cstdint>

namespace posix {

using Nanos = std::int64_t;
inline constexpr Nanos kNever = INT64_MAX;
inline constexpr Nanos kNanosPerMilli = 1000000;

enum class ClockKind { Real, Fast, Virtual };

// Nanoseconds since the platform started.
Nanos ClockNow();
ClockKind CurrentClockKind();
// `speed` is how many times as fast as real time a fast clock runs (at least 1);
// the other kinds ignore it. Waiting threads look again (SyncChanged).
void SetClock(ClockKind kind, unsigned speed);
// The moment of the system's monotonic clock at which a real or fast clock
// shows `time` (the far future for kNever).
std::chrono::steady_clock::time_point RealTimeAt(Nanos time);
// The clock of the configuration read at start-up, set before anything has
// read the clock (no lock taken, nobody woken).
void StartClock(ClockKind kind, unsigned speed);
// Moves a virtual clock forward to `time`; an earlier time changes nothing.
void AdvanceVirtualClock(Nanos time);

} // namespace posix

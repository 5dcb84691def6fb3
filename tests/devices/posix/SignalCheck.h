// The simulated input device counts every sample (posix::wavesim::SignalSample),
// so a recording that lost, repeated or reordered a byte breaks the count.
// Linking this file also makes RecordingCheck() run the check.
#pragma once

#include <cstdint>

#include "devices/DeviceSupport.h"

namespace devicetest {

// Fails the test where the samples of `recording` do not continue the
// device's count; returns the number of its first sample.
std::uint32_t CheckSignal(TWave& recording);

} // namespace devicetest

// The check of a recording against the simulated input device's signal.
#include "devices/posix/SignalCheck.h"

#include <gtest/gtest.h>

namespace devicetest {

// The samples of a recording continue the device's count without a gap.
// Returns the number of the first sample.
std::uint32_t CheckSignal(TWave& recording) {
    const WAVEFORMATEX& f = *recording.FormatRecord();
    void* data = nullptr;
    if (!recording.AcquireData(data, false))
        return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::uint32_t samples = recording.DataBytes() / (f.wBitsPerSample / 8);
    const auto sample = [&](std::uint32_t i) -> std::uint32_t {
        return f.wBitsPerSample == 8 ? bytes[i] : bytes[2 * i] | (bytes[2 * i + 1] << 8);
    };
    const std::uint32_t modulo = f.wBitsPerSample == 8 ? 256 : 65536;
    for (std::uint32_t i = 1; i < samples; ++i) {
        if (sample(i) != (sample(i - 1) + 1) % modulo) {
            ADD_FAILURE() << "the signal breaks at sample " << i << ": " << sample(i - 1)
                          << " then " << sample(i);
            break;
        }
    }
    const std::uint32_t first = samples > 0 ? sample(0) : 0;
    recording.ReleaseData(data, false);
    return first;
}

namespace {

// Every recording a test checks through RecordingCheck.
const bool registered = [] {
    RecordingCheck() = [](TWave& recording) { CheckSignal(recording); };
    return true;
}();

} // namespace

} // namespace devicetest

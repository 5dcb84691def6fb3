// What the three files of the device core (WaveIO.cpp, WaveCallback.cpp,
// WaveHeaders.cpp) share; not for use outside them.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace wavecore {

// A header with what the engine keeps beside it: the size of its own buffer
// (which may exceed dwBufferLength after a short last read), whether the
// device holds it, and when it was queued. The WAVEHDR comes first, so the
// two share an address.
struct THeaderSlot {
    WAVEHDR header;
    DWORD capacity;
    bool queued;
    std::uint64_t sequence;
};

inline THeaderSlot* SlotOf(WAVEHDR* header) {
    return reinterpret_cast<THeaderSlot*>(header);
}

// The device still holds the header: its buffer must not be touched.
inline bool HeldByDevice(WAVEHDR* header) {
    return SlotOf(header)->queued && (header->dwFlags & WHDR_DONE) == 0;
}

// Milliseconds left of a wait of `limit` that began at `start`.
inline DWORD Remaining(DWORD start, DWORD limit) {
    const DWORD elapsed = GetTickCount() - start;
    return elapsed >= limit ? 0 : limit - elapsed;
}

} // namespace wavecore

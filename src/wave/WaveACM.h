// Conversion of wave data between formats through the audio compression
// manager: compressed data (ADPCM, G.711 and whatever else the system's
// drivers decode) to PCM, and PCM to another PCM layout. The adapter's
// ConvertToFormat and ConvertToPCM (WaveStorage.h) are built on it.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

// Converts `sourceSize` bytes of `source`, in `sourceFormat`, to
// `destFormat` in one pass of one conversion stream.
//
// `destData` and `destSize` are cleared first. Once a stream could be opened
// they receive a newly allocated block (release it with std::free) holding
// exactly the bytes the conversion produced, also when the result is false
// (an empty block then). The result is true when the conversion succeeded
// and produced at least one byte. Blocks beyond 2 GB are not produced
// (false). A failed allocation raises EOutOfMemory (Streams.h).
bool ConvertWaveData(const WAVEFORMATEX* sourceFormat, const void* source, std::uint32_t sourceSize,
                     const WAVEFORMATEX* destFormat, void*& destData, std::uint32_t& destSize);

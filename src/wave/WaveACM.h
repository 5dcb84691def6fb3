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
// (false). A failed allocation raises std::bad_alloc.
bool ConvertWaveData(const WAVEFORMATEX* sourceFormat, const void* source, std::uint32_t sourceSize,
                     const WAVEFORMATEX* destFormat, void*& destData, std::uint32_t& destSize);

// True when the record's fields agree with each other as its format defines
// them: channels, rate and block alignment are set, and for PCM, IMA ADPCM,
// Microsoft ADPCM and G.711 the block holds what the record says it holds.
// The system's drivers trust the records they are given (some divide by these
// fields, some decode as many samples per block as a record claims), so a
// record from a damaged file must not reach them. ConvertWaveData and the
// adapter's conversions refuse any other record.
bool IsConsistentFormat(const WAVEFORMATEX* format);

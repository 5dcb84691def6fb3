// Builders of RIFF WAVE bytes for the wave tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "wave/WaveStorage.h"

namespace wavetest {

using Bytes = std::vector<std::uint8_t>;

inline void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void Put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

inline void PutId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(id[i]));
}

// A chunk with its id, size field (the contents' size unless given) and
// contents, padded to an even length.
inline Bytes Chunk(const char* id, const Bytes& contents, std::int64_t sizeField = -1) {
    Bytes b;
    PutId(b, id);
    Put32(b, sizeField < 0 ? static_cast<std::uint32_t>(contents.size())
                           : static_cast<std::uint32_t>(sizeField));
    b.insert(b.end(), contents.begin(), contents.end());
    if (contents.size() % 2)
        b.push_back(0);
    return b;
}

inline Bytes FormatBytes(const WAVEFORMATEX& f, std::size_t length = 18) {
    Bytes b(sizeof(WAVEFORMATEX) + 64, 0);
    std::memcpy(b.data(), &f, sizeof f);
    b.resize(length);
    return b;
}

// "RIFF" size "WAVE" followed by the chunks.
inline Bytes Riff(const std::vector<Bytes>& chunks, const char* form = "WAVE",
                  std::int64_t sizeField = -1) {
    Bytes body;
    PutId(body, form);
    for (const Bytes& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    return Chunk("RIFF", body, sizeField);
}

inline WAVEFORMATEX Pcm(TPCMFormat member) {
    WAVEFORMATEX f{};
    MakePCMFormat(&f, member);
    return f;
}

// A WAVE_FORMAT_EXTENSIBLE record (40 bytes) of PCM (`subTag` 1) or IEEE
// float (3), as recording programs write them.
inline Bytes ExtensibleRecord(WORD channels, DWORD rate, WORD bits, WORD subTag, WORD validBits = 0,
                              std::uint32_t channelMask = 0) {
    WAVEFORMATEX f{};
    f.wFormatTag = 0xFFFE;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.cbSize = 22;
    Bytes b = FormatBytes(f);
    Put16(b, validBits != 0 ? validBits : bits);
    Put32(b, channelMask);
    Put16(b, subTag);
    for (const std::uint8_t x :
         {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
        b.push_back(x);
    return b;
}

// Any record: an 18-byte one with every field as given.
inline WAVEFORMATEX AnyFormat(WORD tag, WORD channels, DWORD rate, WORD bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

// A record of 18 bytes plus `extra`, with every field as given.
inline Bytes CodedRecord(WORD tag, WORD channels, DWORD rate, DWORD avg, WORD block, WORD bits,
                         const Bytes& extra = {}) {
    WAVEFORMATEX f{};
    f.wFormatTag = tag;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = avg;
    f.nBlockAlign = block;
    f.wBitsPerSample = bits;
    f.cbSize = static_cast<WORD>(extra.size());
    Bytes b = FormatBytes(f);
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

inline Bytes WaveFile(const WAVEFORMATEX& f, const Bytes& data) {
    return Riff({Chunk("fmt ", FormatBytes(f)), Chunk("data", data)});
}

// The contents of a "LIST" chunk of type "INFO" with a title and an artist,
// as tagging programs write it.
inline Bytes InfoList(const std::string& title, const std::string& artist) {
    Bytes b;
    PutId(b, "INFO");
    for (const auto& [id, text] : {std::pair{"INAM", title}, std::pair{"IART", artist}}) {
        const Bytes contents(text.c_str(), text.c_str() + text.size() + 1);
        const Bytes chunk = Chunk(id, contents);
        b.insert(b.end(), chunk.begin(), chunk.end());
    }
    return b;
}

inline void Put64(Bytes& b, std::uint64_t v) {
    Put32(b, static_cast<std::uint32_t>(v));
    Put32(b, static_cast<std::uint32_t>(v >> 32));
}

// An RF64 file as recorders write it: "RF64", a RIFF size of all ones,
// "WAVE", a "ds64" chunk with the 64-bit RIFF size, data size and sample
// count (no table), the chunks, and "data" whose size field is all ones.
// The 64-bit sizes are the true ones; tests change them at offsets 20 (RIFF)
// and 28 (data).
inline Bytes Rf64(const std::vector<Bytes>& chunks, const Bytes& data, std::uint64_t samples) {
    Bytes ds64;
    Put64(ds64, 0);
    Put64(ds64, data.size());
    Put64(ds64, samples);
    Put32(ds64, 0);
    Bytes b;
    PutId(b, "RF64");
    Put32(b, 0xFFFFFFFF);
    PutId(b, "WAVE");
    for (const Bytes& c : chunks) {
        if (b.size() == 12) {
            const Bytes d = Chunk("ds64", ds64);
            b.insert(b.end(), d.begin(), d.end());
        }
        b.insert(b.end(), c.begin(), c.end());
    }
    const Bytes d = Chunk("data", data, 0xFFFFFFFF);
    b.insert(b.end(), d.begin(), d.end());
    const std::uint64_t riff = b.size() - 8;
    for (int i = 0; i < 8; ++i)
        b[20 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    return b;
}

inline TMemoryStream& StreamOf(TWave& wave) {
    return wave.MemoryStream();
}

inline void Load(TWave& wave, const Bytes& bytes) {
    TMemoryStream source;
    source.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    source.SetPosition(0);
    wave.LoadFromStream(source);
}

inline Bytes StreamBytes(TWave& wave) {
    TMemoryStream& s = wave.MemoryStream();
    return Bytes(s.Memory(), s.Memory() + s.Size());
}

inline Bytes DataOf(TWave& wave) {
    if (!wave.IsValidWave())
        return {};
    const Bytes all = StreamBytes(wave);
    const auto start = static_cast<std::size_t>(wave.DataStart());
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(start),
                 all.begin() + static_cast<std::ptrdiff_t>(start + wave.DataBytes()));
}

inline Bytes Ramp(std::size_t n, std::uint8_t first = 0) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(first + i);
    return b;
}

inline Bytes Samples16(const std::vector<std::int16_t>& values) {
    Bytes b(values.size() * 2);
    std::memcpy(b.data(), values.data(), b.size());
    return b;
}

inline std::vector<std::int16_t> Values16(const Bytes& b) {
    std::vector<std::int16_t> v(b.size() / 2);
    std::memcpy(v.data(), b.data(), v.size() * 2);
    return v;
}

} // namespace wavetest

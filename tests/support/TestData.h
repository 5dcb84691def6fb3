// Test data shared by the test programs: pseudo-random bytes, as a damaged or
// hostile file has them, and a hash to compare long results by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testdata {

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> b(size);
    for (std::uint8_t& byte : b) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return b;
}

// FNV-1a.
inline std::uint32_t Hash(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t hash = 2166136261u;
    for (const std::uint8_t b : bytes)
        hash = (hash ^ b) * 16777619u;
    return hash;
}

} // namespace testdata

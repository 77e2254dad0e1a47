#pragma once
// Reproducible filler for test files: the same seed gives the same bytes.
#include <cstdint>
#include <random>
#include <vector>

inline std::vector<uint8_t> RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}

#pragma once
// The data-block checksum of the cabinet format: XOR of the little-endian
// 32-bit words; the last one to three bytes b0 b1 b2 count as
// b0 << 16 | b1 << 8 | b2, b0 << 8 | b1, or b0.
#include <cstddef>
#include <cstdint>

uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed);

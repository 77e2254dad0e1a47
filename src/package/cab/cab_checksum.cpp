#include "package/cab/cab_checksum.h"

#include <cstring>

#include "text/little_endian.h"

uint32_t CabChecksum(const uint8_t* data, size_t size, uint32_t seed)
{
    // XOR of 64-bit words folds to the XOR of their 32-bit halves.
    uint64_t wide = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, data + i, 8);
        wide ^= word;
    }
    uint32_t sum = seed ^ uint32_t(wide) ^ uint32_t(wide >> 32);
    for (; i + 4 <= size; i += 4) {
        sum ^= ReadLittleEndian32(data + i);
    }
    uint32_t tail = 0;
    for (; i < size; ++i) {
        tail = tail << 8 | data[i];
    }
    return sum ^ tail;
}

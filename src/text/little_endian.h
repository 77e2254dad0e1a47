#pragma once
// Numbers stored least significant byte first, as every format the engine
// reads and its tools write keeps them. Byte by byte, so alignment and the
// processor's own order do not matter.
#include <cstddef>
#include <cstdint>

inline uint16_t ReadLittleEndian16(const uint8_t* bytes)
{
    return uint16_t(bytes[0] | bytes[1] << 8);
}

inline uint32_t ReadLittleEndian32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

// Writes the count lowest bytes of value.
inline void WriteLittleEndian(uint8_t* bytes, uint64_t value, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        bytes[i] = uint8_t(value >> (8 * i));
}

inline void WriteLittleEndian16(uint8_t* bytes, uint16_t value)
{
    WriteLittleEndian(bytes, value, 2);
}

inline void WriteLittleEndian32(uint8_t* bytes, uint32_t value)
{
    WriteLittleEndian(bytes, value, 4);
}

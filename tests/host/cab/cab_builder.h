#pragma once
// Lays out cabinets byte by byte from a description, for fixtures that the
// writer would never make: odd versions, reserve areas, sets, split blocks,
// bad checksums and bad entries.
#include <cstdint>
#include <string>
#include <vector>

struct RawBlock {
    std::vector<uint8_t> data;
    uint16_t uncompressedSize = 0;
    bool checksum = true;      // false: the field stays 0
    uint32_t checksumXor = 0;  // flips bits of the computed checksum
    std::vector<uint8_t> reserve;
};

struct RawFolder {
    uint16_t compressionType = 0;
    std::vector<RawBlock> blocks;
    std::vector<uint8_t> reserve;
};

struct RawFile {
    std::string name;
    uint32_t size = 0;
    uint32_t offset = 0;
    uint16_t folderIndex = 0;
    uint16_t date = 0x2A21;  // 2001-01-01
    uint16_t time = 0x6000;  // 12:00:00
    uint16_t attributes = 0x20;
};

struct RawCabinet {
    uint8_t versionMinor = 3;
    uint8_t versionMajor = 1;
    uint16_t setId = 0x1234;
    uint16_t index = 0;
    bool reserveFlag = false;
    std::vector<uint8_t> headerReserve;
    uint8_t folderReserveSize = 0;
    uint8_t dataReserveSize = 0;
    bool hasPrevious = false;
    std::string previousName, previousDisk;
    bool hasNext = false;
    std::string nextName, nextDisk;
    std::vector<RawFolder> folders;
    std::vector<RawFile> files;
};

std::vector<uint8_t> BuildCabinet(const RawCabinet& cabinet);

// Deterministic bytes that compress a little.
std::vector<uint8_t> Pattern(size_t size, uint32_t seed);

// A stored folder with these bytes in blocks of at most blockSize bytes.
RawFolder StoredFolder(const std::vector<uint8_t>& bytes, size_t blockSize = 32768);

// A one-folder stored cabinet of the given members, laid end to end.
RawCabinet StoredCabinet(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members,
                         size_t blockSize = 32768);

// The checksum field a block with this data and header would carry.
uint32_t BlockChecksum(const std::vector<uint8_t>& data, uint16_t uncompressedSize,
                       const std::vector<uint8_t>& reserve);

// A stored cabinet with one small member per case, named and stamped as the
// case says (its name, date, time and attributes fields).
template <typename Cases>
RawCabinet StampedCabinet(const Cases& cases)
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
    for (const auto& c : cases)
        members.push_back({c.name, Pattern(16, 9)});
    RawCabinet cabinet = StoredCabinet(members);
    RawFile* file = cabinet.files.data();
    for (const auto& c : cases) {
        file->date = c.date;
        file->time = c.time;
        file->attributes = c.attributes;
        ++file;
    }
    return cabinet;
}

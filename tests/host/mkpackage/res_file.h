#pragma once
// Reading a .res file as windres writes it, so that tests can look at a
// program's resources through binutils rather than through our own reader.
#include <cstdint>
#include <vector>

// One resource of a .res file as windres writes it.
struct ResEntry {
    uint16_t type = 0, name = 0, language = 0;
    std::vector<uint8_t> data;
};

inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

inline uint16_t Get16(const std::vector<uint8_t>& b, size_t at)
{
    return uint16_t(b[at] | b[at + 1] << 8);
}

inline std::vector<ResEntry> ParseRes(const std::vector<uint8_t>& res)
{
    std::vector<ResEntry> entries;
    for (size_t at = 0; at + 8 <= res.size();) {
        uint32_t dataSize = Get32(res, at), headerSize = Get32(res, at + 4);
        size_t p = at + 8;
        ResEntry entry;
        uint16_t* keys[] = {&entry.type, &entry.name};
        for (uint16_t* key : keys) {
            if (Get16(res, p) == 0xFFFF) {
                *key = Get16(res, p + 2);
                p += 4;
            } else {
                *key = 0xFFFF;  // a named entry: not used by these fixtures
                while (Get16(res, p) != 0)
                    p += 2;
                p += 2;
            }
        }
        p = (p + 3) & ~size_t(3);
        entry.language = Get16(res, p + 6);
        entry.data.assign(res.begin() + at + headerSize, res.begin() + at + headerSize + dataSize);
        if (entry.type != 0)
            entries.push_back(entry);
        at = (at + headerSize + dataSize + 3) & ~size_t(3);
    }
    return entries;
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "text/little_endian.h"
#include "ui/splash_dib_format.h"

namespace {

struct DibSpec {
    int32_t width = 4;
    int32_t height = 3;
    uint16_t bitCount = 8;
    uint32_t coloursUsed = 0;
    uint32_t coloursImportant = 0;
    uint32_t headerSize = 40;
    uint16_t planes = 1;
    uint32_t compression = 0;
};

// Bytes a well-formed DIB with this header needs: header, table and rows.
// Absurd shapes get only header and table.
size_t WellFormedSize(const DibSpec& spec)
{
    const uint64_t table = spec.coloursUsed != 0 ? spec.coloursUsed : spec.bitCount <= 8 ? 1u << spec.bitCount : 0;
    const uint64_t rows = spec.width > 0 && spec.height > 0
                              ? (uint64_t(spec.width) * spec.bitCount + 31) / 32 * 4 * uint64_t(spec.height)
                              : 0;
    return static_cast<size_t>(40 + 4 * (table > 256 ? 0 : table) + (rows > (1u << 20) ? 0 : rows));
}

// A block of exactly WellFormedSize + extraBytes bytes holding the header
// (as much of it as fits) and filler.
std::vector<uint8_t> MakeDib(const DibSpec& spec, long extraBytes = 0)
{
    std::vector<uint8_t> header(40);
    WriteLittleEndian32(&header[0], spec.headerSize);
    WriteLittleEndian32(&header[4], static_cast<uint32_t>(spec.width));
    WriteLittleEndian32(&header[8], static_cast<uint32_t>(spec.height));
    WriteLittleEndian16(&header[12], spec.planes);
    WriteLittleEndian16(&header[14], spec.bitCount);
    WriteLittleEndian32(&header[16], spec.compression);
    WriteLittleEndian32(&header[24], 2835);
    WriteLittleEndian32(&header[28], 2835);
    WriteLittleEndian32(&header[32], spec.coloursUsed);
    WriteLittleEndian32(&header[36], spec.coloursImportant);
    std::vector<uint8_t> block(static_cast<size_t>(static_cast<long>(WellFormedSize(spec)) + extraBytes), 0x5A);
    std::copy_n(header.begin(), std::min(header.size(), block.size()), block.begin());
    return block;
}

struct ColourCountCase {
    uint16_t bitCount;
    uint32_t used, important;
    int count;
};

const ColourCountCase kColourCountCases[] = {
    {1, 0, 0, 2},          {4, 0, 0, 16},    {8, 0, 0, 256}, {16, 0, 0, 0},
    {24, 0, 0, 0},         {32, 0, 0, 0},    {8, 16, 0, 16}, {8, 16, 40, 16},  // used counts before important
    {8, 0, 20, 20},        {24, 0, 20, 20},                                    // important, when used is 0
    {24, 10, 0, 10},       {8, 256, 0, 256}, {8, 257, 0, 0}, {8, 0, 257, 0},   // beyond 256 counts as 0
    {8, 0xFFFFFFFF, 0, 0},                                                     // a negative count too
    {8, 0x80000000, 0, 0},
};

TEST(DibColorCount, Cases)
{
    EXPECT_EQ(DibColorCount(nullptr), 0);
    for (const ColourCountCase& c : kColourCountCases) {
        DibSpec spec;
        spec.bitCount = c.bitCount;
        spec.coloursUsed = c.used;
        spec.coloursImportant = c.important;
        const std::vector<uint8_t> dib = MakeDib(spec);
        EXPECT_EQ(DibColorCount(dib.data()), c.count) << c.bitCount << " " << c.used << " " << c.important;
        EXPECT_EQ(DibPixelOffset(dib.data()), 40u + 4u * c.count);
    }
}

TEST(ReadDibHeader, LittleEndianFields)
{
    DibSpec spec;
    spec.width = 0x01020304;
    spec.height = -2;
    spec.bitCount = 24;
    spec.coloursImportant = 7;
    const DibHeader header = ReadDibHeader(MakeDib(spec).data());
    EXPECT_EQ(header.headerSize, 40u);
    EXPECT_EQ(header.width, 0x01020304);
    EXPECT_EQ(header.height, -2);
    EXPECT_EQ(header.planes, 1);
    EXPECT_EQ(header.bitCount, 24);
    EXPECT_EQ(header.coloursImportant, 7u);
}

struct DrawableCase {
    const char* what;
    DibSpec spec;
    long extraBytes;
    bool drawable;
};

DibSpec With(void (*change)(DibSpec&))
{
    DibSpec spec;
    change(spec);
    return spec;
}

const DrawableCase kDrawableCases[] = {
    {"8 bits, 4 x 3", {}, 0, true},
    {"1 bit", With([](DibSpec& s) { s.bitCount = 1; }), 0, true},
    {"4 bits", With([](DibSpec& s) { s.bitCount = 4; }), 0, true},
    {"16 bits", With([](DibSpec& s) { s.bitCount = 16; }), 0, true},
    {"24 bits", With([](DibSpec& s) { s.bitCount = 24; }), 0, true},
    {"32 bits", With([](DibSpec& s) { s.bitCount = 32; }), 0, true},
    {"a short table named by colours used", With([](DibSpec& s) { s.coloursUsed = 2; }), 0, true},
    {"24 bits with a table", With([](DibSpec& s) {
         s.bitCount = 24;
         s.coloursUsed = 4;
     }),
     0, true},
    {"trailing bytes are harmless", {}, 100, true},
    {"largest side", With([](DibSpec& s) {
         s.width = kMaxSplashDibSide;
         s.height = 1;
         s.bitCount = 1;
     }),
     0, true},
    {"one byte short of the last row", {}, -1, false},
    {"header only", {}, -(1024 + 12), false},
    {"not even a header", {}, -(1024 + 13), false},
    {"core header (12 bytes)", With([](DibSpec& s) { s.headerSize = 12; }), 0, false},
    {"version 4 header", With([](DibSpec& s) { s.headerSize = 108; }), 0, false},
    {"version 5 header", With([](DibSpec& s) { s.headerSize = 124; }), 0, false},
    {"header size 0", With([](DibSpec& s) { s.headerSize = 0; }), 0, false},
    {"width 0", With([](DibSpec& s) { s.width = 0; }), 0, false},
    {"negative width", With([](DibSpec& s) { s.width = -4; }), 0, false},
    {"height 0", With([](DibSpec& s) { s.height = 0; }), 0, false},
    {"top-down (negative height)", With([](DibSpec& s) { s.height = -3; }), 12, false},
    {"too wide", With([](DibSpec& s) {
         s.width = kMaxSplashDibSide + 1;
         s.height = 1;
         s.bitCount = 1;
     }),
     0, false},
    {"too high", With([](DibSpec& s) {
         s.height = kMaxSplashDibSide + 1;
         s.width = 1;
         s.bitCount = 1;
     }),
     0, false},
    {"width near the integer limit", With([](DibSpec& s) {
         s.width = INT32_MAX;
         s.bitCount = 32;
     }),
     0, false},
    {"rows far beyond the block", With([](DibSpec& s) {
         s.width = s.height = kMaxSplashDibSide;
         s.bitCount = 32;
     }),
     0, false},
    {"no planes", With([](DibSpec& s) { s.planes = 0; }), 0, false},
    {"two planes", With([](DibSpec& s) { s.planes = 2; }), 0, false},
    {"0 bits per pixel", With([](DibSpec& s) { s.bitCount = 0; }), 0, false},
    {"2 bits per pixel", With([](DibSpec& s) { s.bitCount = 2; }), 0, false},
    {"64 bits per pixel", With([](DibSpec& s) { s.bitCount = 64; }), 0, false},
    {"run-length encoded", With([](DibSpec& s) { s.compression = 1; }), 0, false},
    {"bit fields", With([](DibSpec& s) {
         s.bitCount = 16;
         s.compression = 3;
     }),
     12, false},
    {"more colours used than any table holds", With([](DibSpec& s) { s.coloursUsed = 257; }), 4, false},
    // The pixels start behind 16 entries, but the system reads all 256 of an
    // 8-bit table when colours-used is 0: the table must fit too.
    {"important colours only, block without the full table", With([](DibSpec& s) { s.coloursImportant = 16; }),
     -(240 * 4), false},
};

TEST(IsDrawableDib, Cases)
{
    EXPECT_FALSE(IsDrawableDib(nullptr, 100));
    for (const DrawableCase& c : kDrawableCases) {
        // The block has exactly its size, so that the sanitizer sees any read beyond it.
        const std::vector<uint8_t> block = MakeDib(c.spec, c.extraBytes);
        EXPECT_EQ(IsDrawableDib(block.data(), block.size()), c.drawable) << c.what;
    }
}

}  // namespace

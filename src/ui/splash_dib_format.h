#pragma once
// The packed device-independent bitmaps of the splash picture and mask: a
// bitmap file without its 14-byte file header, that is a 40-byte information
// header, the colour table and the pixel rows.
#include <cstddef>
#include <cstdint>

constexpr size_t kBitmapFileHeaderSize = 14;
constexpr size_t kDibHeaderSize = 40;
constexpr int32_t kMaxSplashDibSide = 16384;  // far beyond any screen

// The information header, read from its little-endian bytes.
struct DibHeader {
    uint32_t headerSize;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t imageSize;
    int32_t xPixelsPerMetre;
    int32_t yPixelsPerMetre;
    uint32_t coloursUsed;
    uint32_t coloursImportant;
};

// Reads the header at the start of a block of at least kDibHeaderSize bytes.
DibHeader ReadDibHeader(const void* dib);

// Colour-table entries counted for drawing: the colours-used count, else the
// colours-important count, else 2 to the power of the bit count up to 8 bits
// per pixel, else 0. A count beyond 256 counts as 0. 0 for a null DIB.
int DibColorCount(const void* dib);

// Byte offset of the pixel rows from the start of the DIB.
size_t DibPixelOffset(const void* dib);

// True when a block of size bytes holds a DIB that can be drawn without
// reading outside it: a 40-byte header, positive width and height of at most
// kMaxSplashDibSide, one plane, 1, 4, 8, 16, 24 or 32 bits per pixel, no
// compression, at most 256 colours used, and the colour table (as the system
// reads it) and every pixel row inside the block.
bool IsDrawableDib(const void* block, size_t size);

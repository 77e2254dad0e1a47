#include "ui/splash_dib_format.h"

#include "text/little_endian.h"

namespace {

constexpr uint32_t kUncompressed = 0;  // BI_RGB
constexpr int kMaxColourTable = 256;
constexpr size_t kColourEntrySize = 4;  // RGBQUAD

constexpr uint16_t kDrawableBitCounts[] = {1, 4, 8, 16, 24, 32};

bool IsDrawableBitCount(uint16_t bitCount)
{
    for (uint16_t drawable : kDrawableBitCounts) {
        if (drawable == bitCount)
            return true;
    }
    return false;
}

// The colour-table entries the system itself reads when it draws the DIB,
// which need not be the count that locates the pixels.
uint64_t SystemColourTableEntries(const DibHeader& header)
{
    if (header.coloursUsed != 0)
        return header.coloursUsed;
    return header.bitCount <= 8 ? uint64_t{1} << header.bitCount : 0;
}

}  // namespace

DibHeader ReadDibHeader(const void* dib)
{
    const auto* bytes = static_cast<const uint8_t*>(dib);
    DibHeader header;
    header.headerSize = ReadLittleEndian32(bytes);
    header.width = static_cast<int32_t>(ReadLittleEndian32(bytes + 4));
    header.height = static_cast<int32_t>(ReadLittleEndian32(bytes + 8));
    header.planes = ReadLittleEndian16(bytes + 12);
    header.bitCount = ReadLittleEndian16(bytes + 14);
    header.compression = ReadLittleEndian32(bytes + 16);
    header.imageSize = ReadLittleEndian32(bytes + 20);
    header.xPixelsPerMetre = static_cast<int32_t>(ReadLittleEndian32(bytes + 24));
    header.yPixelsPerMetre = static_cast<int32_t>(ReadLittleEndian32(bytes + 28));
    header.coloursUsed = ReadLittleEndian32(bytes + 32);
    header.coloursImportant = ReadLittleEndian32(bytes + 36);
    return header;
}

int DibColorCount(const void* dib)
{
    if (dib == nullptr)
        return 0;
    const DibHeader header = ReadDibHeader(dib);
    int64_t count = 0;
    if (header.coloursUsed != 0)
        count = static_cast<int32_t>(header.coloursUsed);
    else if (header.coloursImportant != 0)
        count = static_cast<int32_t>(header.coloursImportant);
    else if (header.bitCount <= 8)
        count = int64_t{1} << header.bitCount;
    return count < 0 || count > kMaxColourTable ? 0 : static_cast<int>(count);
}

size_t DibPixelOffset(const void* dib)
{
    return kDibHeaderSize + kColourEntrySize * static_cast<size_t>(DibColorCount(dib));
}

bool IsDrawableDib(const void* block, size_t size)
{
    if (block == nullptr || size < kDibHeaderSize)
        return false;
    const DibHeader header = ReadDibHeader(block);
    if (header.headerSize != kDibHeaderSize || header.width <= 0 || header.height <= 0 ||
        header.width > kMaxSplashDibSide || header.height > kMaxSplashDibSide || header.planes != 1 ||
        !IsDrawableBitCount(header.bitCount) || header.compression != kUncompressed ||
        header.coloursUsed > kMaxColourTable)
        return false;
    if (kDibHeaderSize + kColourEntrySize * SystemColourTableEntries(header) > size)
        return false;
    // Rows are padded to whole 32-bit words.
    const uint64_t rowBytes = (static_cast<uint64_t>(header.width) * header.bitCount + 31) / 32 * 4;
    return DibPixelOffset(block) + rowBytes * static_cast<uint64_t>(header.height) <= size;
}

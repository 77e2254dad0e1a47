// Any block that the splash accepts as a DIB must be drawable without a read
// outside it: the fuzzer reads the header, the colour table as the system
// reads it and every pixel row of each accepted block; the address sanitizer
// reports any byte beyond.
#include <cstddef>
#include <cstdint>

#include "ui/splash_dib_format.h"

namespace {

volatile uint32_t gSink;

uint32_t SumBytes(const uint8_t* bytes, uint64_t count)
{
    uint32_t sum = 0;
    for (uint64_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!IsDrawableDib(data, size))
        return 0;
    const DibHeader header = ReadDibHeader(data);
    const uint64_t tableEntries = header.coloursUsed != 0 ? header.coloursUsed
                                  : header.bitCount <= 8  ? uint64_t{1} << header.bitCount
                                                          : 0;
    const uint64_t rowBytes = (static_cast<uint64_t>(header.width) * header.bitCount + 31) / 32 * 4;
    gSink = SumBytes(data, kDibHeaderSize + 4 * tableEntries) +
            SumBytes(data + DibPixelOffset(data), rowBytes * static_cast<uint64_t>(header.height)) +
            static_cast<uint32_t>(DibColorCount(data));
    return 0;
}

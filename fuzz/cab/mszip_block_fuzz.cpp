// Single MSZIP blocks: decoded twice in a row (the second time with the
// first's output as history), and checked against zlib's inflate wherever
// zlib decodes the block completely.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/cab/mszip_codec.h"

namespace {

void* Allocate(size_t size)
{
    return malloc(size);
}
void Free(void* memory)
{
    free(memory);
}

// zlib's output for the deflate data behind "CK", when it reaches the end of
// the stream within one block's size.
bool Inflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
{
    z_stream s = {};
    if (size < 2 || inflateInit2(&s, -15) != Z_OK) {
        return false;
    }
    out.assign(kCabBlockSize, 0);
    s.next_in = const_cast<Bytef*>(data + 2);
    s.avail_in = uInt(size - 2);
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    const int rc = inflate(&s, Z_FINISH);
    out.resize(s.total_out);
    inflateEnd(&s);
    return rc == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CabCodec codec = {};
    const CabCodecSetup setup = {Allocate, Free, nullptr, 0};
    if (CreateMszipCodec(setup, codec) != CabError::None) {
        return 0;
    }
    static uint8_t out[kCabBlockSize];
    memset(out, 0, sizeof out);
    uint32_t produced = 0;
    const int ok = codec.operations->decode(codec.instance, data, uint32_t(size), out, kCabBlockSize, &produced);
    if (ok && produced > kCabBlockSize) {
        __builtin_trap();
    }
    const bool isMszip = size >= 2 && data[0] == 'C' && data[1] == 'K';
    std::vector<uint8_t> expected;
    if (isMszip && size <= kMszipInputLimit && Inflate(data, size, expected)) {
        if (!ok || produced != expected.size() || memcmp(out, expected.data(), produced) != 0) {
            __builtin_trap();  // zlib decoded this block and we did not, or differently
        }
    }
    codec.operations->decode(codec.instance, data, uint32_t(size), out, kCabBlockSize, &produced);
    codec.operations->reset(codec.instance);
    codec.operations->destroy(codec.instance);
    return 0;
}

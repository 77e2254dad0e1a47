// The MSZIP codec against zlib's inflate on the same data blocks: those of
// the MSZIP folders of the cabinet named by CAB_BENCH_CABINET (the run
// script makes it with gcab), or of a cabinet our writer makes from mixed
// synthetic data when none is named.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "package/cab/mszip_codec.h"
#include "text/little_endian.h"
#include "tools/cabwriter/cab_writer.h"

namespace {

struct Block {
    std::vector<uint8_t> data;  // "CK" and deflate data
    uint32_t size;              // uncompressed
    bool folderStart;
};

// The data blocks of every MSZIP folder of a cabinet without reserve areas.
std::vector<Block> BlocksOf(const std::vector<uint8_t>& cab)
{
    std::vector<Block> blocks;
    const uint32_t folders = ReadLittleEndian16(&cab[26]);
    for (uint32_t f = 0; f < folders; ++f) {
        const size_t entry = 36 + 8 * f;
        if ((ReadLittleEndian16(&cab[entry + 6]) & 0xF) != 1) {
            continue;
        }
        size_t at = ReadLittleEndian32(&cab[entry]);
        for (uint32_t i = 0, n = ReadLittleEndian16(&cab[entry + 4]); i < n; ++i) {
            const uint32_t packed = ReadLittleEndian16(&cab[at + 4]);
            Block block{{cab.begin() + long(at + 8), cab.begin() + long(at + 8 + packed)},
                        ReadLittleEndian16(&cab[at + 6]),
                        i == 0};
            blocks.push_back(std::move(block));
            at += 8 + packed;
        }
    }
    return blocks;
}

std::vector<uint8_t> SyntheticCabinet()
{
    std::vector<uint8_t> data;
    uint32_t x = 1;
    for (int i = 0; i < (16 << 20); ++i) {
        x = x * 1103515245u + 12345u;
        // Text-like runs with some noise.
        data.push_back((i / 4096) % 3 == 0 ? uint8_t(x >> 24) : uint8_t("the cabinet reader "[(i + (x >> 29)) % 19]));
    }
    cabwriter::CabWriter writer;
    writer.AddMember({"data", data});
    std::vector<uint8_t> cab;
    writer.Write(cab);
    return cab;
}

const std::vector<Block>& Blocks()
{
    static const std::vector<Block> blocks = [] {
        const char* path = getenv("CAB_BENCH_CABINET");
        if (path == nullptr) {
            return BlocksOf(SyntheticCabinet());
        }
        std::ifstream in(path, std::ios::binary);
        return BlocksOf({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    }();
    return blocks;
}

int64_t TotalBytes()
{
    int64_t total = 0;
    for (const Block& b : Blocks()) {
        total += b.size;
    }
    return total;
}

void* Allocate(size_t size)
{
    return malloc(size);
}
void Free(void* memory)
{
    free(memory);
}

void MszipCodec(benchmark::State& state)
{
    CabCodec codec = {};
    const CabCodecSetup setup = {Allocate, Free, nullptr, 0};
    CreateMszipCodec(setup, codec);
    std::vector<uint8_t> out(kCabBlockSize);
    for (auto _ : state) {
        for (const Block& b : Blocks()) {
            uint32_t produced = 0;
            if (!codec.operations->decode(codec.instance, b.data.data(), uint32_t(b.data.size()), out.data(), b.size,
                                          &produced) ||
                produced != b.size) {
                state.SkipWithError("block failed");
                return;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    codec.operations->destroy(codec.instance);
    state.SetBytesProcessed(state.iterations() * TotalBytes());
}

// zlib needs the previous block as its dictionary to follow a folder.
void ZlibInflate(benchmark::State& state)
{
    z_stream s = {};
    inflateInit2(&s, -15);
    std::vector<uint8_t> out(kCabBlockSize), previous(kCabBlockSize);
    for (auto _ : state) {
        uint32_t previousSize = 0;
        for (const Block& b : Blocks()) {
            inflateReset(&s);
            if (!b.folderStart) {
                inflateSetDictionary(&s, previous.data(), previousSize);
            }
            s.next_in = const_cast<Bytef*>(b.data.data() + 2);
            s.avail_in = uInt(b.data.size() - 2);
            s.next_out = out.data();
            s.avail_out = kCabBlockSize;
            if (inflate(&s, Z_FINISH) != Z_STREAM_END || s.total_out != b.size) {
                state.SkipWithError("block failed");
                return;
            }
            previousSize = b.size;
            out.swap(previous);
        }
        benchmark::DoNotOptimize(previous.data());
    }
    inflateEnd(&s);
    state.SetBytesProcessed(state.iterations() * TotalBytes());
}

BENCHMARK(MszipCodec)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ZlibInflate)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();

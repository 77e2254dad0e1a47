// The Quantum codec on its own: round trips through our compressor, the
// window-size limits, and the failures of damaged blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <cstring>
#include <vector>

#include "package/cab/quantum_codec.h"
#include "tests/host/quantum/quantum_test_data.h"
#include "tools/quantum/quantum_block_encoder.h"
#include "tools/quantum/quantum_compressor.h"

namespace {

using quantum_test::Input;

void* Allocate(size_t size)
{
    return malloc(size);
}
void Free(void* memory)
{
    free(memory);
}

CabCodecSetup SetupFor(int windowBits)
{
    return CabCodecSetup{Allocate, Free, nullptr, windowBits};
}

// A codec that is destroyed when the test ends.
class Codec {
public:
    explicit Codec(int windowBits) : error_(CreateQuantumCodec(SetupFor(windowBits), codec_)) {}
    ~Codec()
    {
        if (codec_.operations)
            codec_.operations->destroy(codec_.instance);
    }
    CabError error() const { return error_; }
    bool Decode(const std::vector<uint8_t>& in, uint32_t blockSize, std::vector<uint8_t>& out)
    {
        std::vector<uint8_t> buffer(kCabBlockSize);
        uint32_t produced = 0;
        if (!codec_.operations->decode(codec_.instance, in.data(), uint32_t(in.size()), buffer.data(), blockSize,
                                       &produced)) {
            return false;
        }
        EXPECT_EQ(produced, blockSize);
        out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
        return true;
    }
    bool Reset() { return codec_.operations->reset(codec_.instance) == 1; }

private:
    CabCodec codec_{};
    CabError error_;
};

struct Block {
    std::vector<uint8_t> compressed;
    uint32_t size;
};

std::vector<Block> CompressFolder(const std::vector<uint8_t>& data, int windowBits, int level = 4)
{
    quantum::Compressor compressor(windowBits, level);
    std::vector<Block> blocks;
    for (size_t at = 0; at < data.size(); at += kCabBlockSize) {
        const size_t size = std::min<size_t>(kCabBlockSize, data.size() - at);
        Block block{{}, uint32_t(size)};
        EXPECT_TRUE(compressor.CompressBlock(data.data() + at, size, block.compressed));
        blocks.push_back(block);
    }
    return blocks;
}

bool DecodeFolder(Codec& codec, const std::vector<Block>& blocks, std::vector<uint8_t>& out)
{
    for (const Block& block : blocks) {
        if (!codec.Decode(block.compressed, block.size, out))
            return false;
    }
    return true;
}

class RoundTrip : public testing::TestWithParam<int> {};

TEST_P(RoundTrip, EveryInputDecodesToItself)
{
    const int windowBits = GetParam();
    Codec codec(windowBits);
    ASSERT_EQ(codec.error(), CabError::None);
    for (const Input& input : quantum_test::StandardInputs()) {
        SCOPED_TRACE(input.name);
        ASSERT_TRUE(codec.Reset());
        const std::vector<Block> blocks = CompressFolder(input.bytes, windowBits);
        std::vector<uint8_t> out;
        ASSERT_TRUE(DecodeFolder(codec, blocks, out));
        EXPECT_EQ(out, input.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(WindowBits, RoundTrip, testing::Values(10, 12, 15, 17, 21));

TEST(QuantumCodec, WindowBitsOutsideTenToTwentyOneAreRefused)
{
    const struct {
        int windowBits;
        CabError error;
    } cases[] = {{0, CabError::DecompressFail}, {9, CabError::DecompressFail},  {10, CabError::None},
                 {21, CabError::None},          {22, CabError::DecompressFail}, {31, CabError::DecompressFail}};
    for (const auto& c : cases) {
        Codec codec(c.windowBits);
        EXPECT_EQ(codec.error(), c.error) << c.windowBits;
    }
}

TEST(QuantumCodec, NoMemoryForTheWindowIsAllocFail)
{
    static int allocations;
    allocations = 0;
    const CabAllocate firstOnly = [](size_t size) -> void* { return ++allocations == 1 ? malloc(size) : nullptr; };
    CabCodec codec{};
    EXPECT_EQ(CreateQuantumCodec(CabCodecSetup{firstOnly, Free, nullptr, 21}, codec), CabError::AllocFail);
    EXPECT_EQ(codec.operations, nullptr);
}

// A history that crosses folders would make a folder's bytes depend on the
// folder decoded before it.
TEST(QuantumCodec, ResetStartsAFolderWithNewModelsAndNoHistory)
{
    const std::vector<uint8_t> data = quantum_test::TextBytes(70000);
    Codec codec(15);
    std::vector<uint8_t> first, second;
    const std::vector<Block> blocks = CompressFolder(data, 15);
    ASSERT_TRUE(DecodeFolder(codec, blocks, first));
    ASSERT_TRUE(codec.Reset());
    ASSERT_TRUE(DecodeFolder(codec, blocks, second));
    EXPECT_EQ(second, data);

    // Without the reset the models of the first pass no longer fit the data.
    std::vector<uint8_t> third;
    EXPECT_FALSE(DecodeFolder(codec, blocks, third) && third == data);
}

TEST(QuantumCodec, ATruncatedBlockFailsInsteadOfProducingZeros)
{
    const std::vector<uint8_t> data = quantum_test::TextBytes(kCabBlockSize);
    const std::vector<Block> blocks = CompressFolder(data, 16);
    ASSERT_EQ(blocks.size(), 1u);
    for (size_t cut : {size_t(1), size_t(2), size_t(100), blocks[0].compressed.size() - 1}) {
        Codec codec(16);
        std::vector<uint8_t> shorter(blocks[0].compressed.begin(), blocks[0].compressed.end() - ptrdiff_t(cut));
        std::vector<uint8_t> out;
        EXPECT_FALSE(codec.Decode(shorter, blocks[0].size, out)) << "cut " << cut;
    }
    Codec codec(16);
    std::vector<uint8_t> out;
    EXPECT_TRUE(codec.Decode(blocks[0].compressed, blocks[0].size, out));
    EXPECT_EQ(out, data);
}

// Blocks written symbol by symbol, for the cases a compressor never makes.
std::vector<uint8_t> Encode(quantum::BlockEncoder& encoder)
{
    std::vector<uint8_t> out;
    encoder.FinishBlock(out);
    return out;
}

TEST(QuantumCodec, AMatchReachingBeforeTheFolderFails)
{
    quantum::BlockEncoder encoder(12);
    encoder.Literal('x');
    encoder.Literal('y');
    ASSERT_TRUE(encoder.Match(3, 3));
    Codec codec(12);
    std::vector<uint8_t> out;
    EXPECT_FALSE(codec.Decode(Encode(encoder), 5, out));
}

TEST(QuantumCodec, AMatchRunningPastTheBlockFails)
{
    quantum::BlockEncoder encoder(12);
    encoder.Literal('x');
    ASSERT_TRUE(encoder.Match(10, 1));
    const std::vector<uint8_t> block = Encode(encoder);
    std::vector<uint8_t> out;
    EXPECT_FALSE(Codec(12).Decode(block, 10, out));
    out.clear();
    EXPECT_TRUE(Codec(12).Decode(block, 11, out));
    EXPECT_EQ(out, std::vector<uint8_t>(11, 'x'));
}

// The longest offset is the window size: the byte about to be overwritten.
TEST(QuantumCodec, AMatchMayReachBackTheWholeWindowAcrossBlocks)
{
    const int windowBits = 10;
    const std::vector<uint8_t> first = quantum_test::RandomBytes(1024, 5);
    quantum::BlockEncoder encoder(windowBits);
    for (uint8_t b : first)
        encoder.Literal(b);
    const std::vector<uint8_t> block1 = Encode(encoder);
    ASSERT_TRUE(encoder.Match(259, 1024));
    ASSERT_TRUE(encoder.Match(5, 1024));
    ASSERT_FALSE(encoder.Match(5, 1025));
    const std::vector<uint8_t> block2 = Encode(encoder);

    Codec codec(windowBits);
    std::vector<uint8_t> out;
    ASSERT_TRUE(codec.Decode(block1, 1024, out));
    ASSERT_TRUE(codec.Decode(block2, 264, out));
    std::vector<uint8_t> expected = first;
    expected.insert(expected.end(), first.begin(), first.begin() + 264);
    EXPECT_EQ(out, expected);
}

// The data blocks of two damaged outside vectors, decoded on their own.
TEST(QuantumCodec, TheBlocksOfDamagedVectorsFail)
{
    const struct {
        const char* name;
        size_t blockHeader;  // offset of the data-block header in the file
        int windowBits;
    } cases[] = {
        {"cve-2014-9556-qtm-infinite-loop.cab", 0x45, 12},
        {"cve-2018-18584-qtm-max-size-block.cab", 0x46, 21},
    };
    for (const auto& c : cases) {
        FILE* file = fopen((std::string(ENGINE_TESTDATA_DIR) + "/cabs/" + c.name).c_str(), "rb");
        ASSERT_NE(file, nullptr) << c.name;
        std::vector<uint8_t> bytes(65536);
        bytes.resize(fread(bytes.data(), 1, bytes.size(), file));
        fclose(file);
        ASSERT_GE(bytes.size(), c.blockHeader + 8);
        const size_t compressed = bytes[c.blockHeader + 4] | bytes[c.blockHeader + 5] << 8;
        const uint32_t size = bytes[c.blockHeader + 6] | bytes[c.blockHeader + 7] << 8;
        ASSERT_EQ(bytes.size(), c.blockHeader + 8 + compressed) << c.name;
        const std::vector<uint8_t> block(bytes.begin() + ptrdiff_t(c.blockHeader + 8), bytes.end());
        Codec codec(c.windowBits);
        std::vector<uint8_t> out;
        EXPECT_FALSE(codec.Decode(block, size, out)) << c.name;
    }
}

// Every total, with products spread over the whole range and those either
// side of each multiple of the total near the top, where a reciprocal
// that is a little too large would first show (as frequency times a range of
// 1); then frequencies up to the total times ranges up to 2^16, as the coder
// forms them.
TEST(QuantumCodec, TheEncodersDivisionByATotalIsExact)
{
    constexpr uint32_t kProductLimit = uint32_t(1) << 28;
    for (uint32_t total = 1; total < 4096; ++total) {
        for (uint32_t product = 0; product < kProductLimit; product += kProductLimit / 509 + total)
            ASSERT_EQ(quantum::ScaleByRange(product, 1, total), product / total) << product << " / " << total;
        const uint32_t topMultiple = (kProductLimit - 1) / total * total;
        for (const uint32_t product : {topMultiple - 1, topMultiple, kProductLimit - 1})
            ASSERT_EQ(quantum::ScaleByRange(product, 1, total), product / total) << product << " / " << total;
        for (const uint32_t frequency : {uint32_t(1), total / 2, total - 1, total}) {
            for (const uint32_t range : {1u, 2u, 0x7FFFu, 0x8000u, 0xFFFFu, 0x10000u})
                ASSERT_EQ(quantum::ScaleByRange(frequency, range, total), frequency * range / total)
                    << frequency << " * " << range << " / " << total;
        }
    }
}

TEST(QuantumCodec, CallsOnAForeignInstanceFail)
{
    struct {
        uint32_t tag;
        uint8_t rest[64];
    } foreign{kMszipTag, {}};
    Codec codec(10);
    CabCodec real{};
    ASSERT_EQ(CreateQuantumCodec(SetupFor(10), real), CabError::None);
    uint8_t in[4] = {}, out[16];
    uint32_t produced = 0;
    EXPECT_EQ(real.operations->decode(&foreign, in, 4, out, 1, &produced), 0);
    EXPECT_EQ(real.operations->reset(&foreign), 0);
    EXPECT_EQ(real.operations->destroy(&foreign), 0);
    EXPECT_EQ(foreign.tag, kMszipTag);
    EXPECT_EQ(real.operations->destroy(real.instance), 1);
}

}  // namespace

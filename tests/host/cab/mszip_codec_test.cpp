// The MSZIP codec on single blocks: against zlib's deflate, across blocks of
// a folder, and on hand-made bit streams that must fail.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "package/cab/mszip_codec.h"
#include "tests/host/cab/cab_builder.h"

namespace {

void* Allocate(size_t size)
{
    return malloc(size);
}
void Free(void* memory)
{
    free(memory);
}

// One codec instance and the reader's 32 KiB output buffer.
class Mszip {
public:
    Mszip() : out_(kCabBlockSize, 0)
    {
        const CabCodecSetup setup = {Allocate, Free, nullptr, 0};
        EXPECT_EQ(CreateMszipCodec(setup, codec_), CabError::None);
    }
    ~Mszip() { codec_.operations->destroy(codec_.instance); }

    // Decodes one block; false on failure.
    bool Decode(const std::vector<uint8_t>& block, std::vector<uint8_t>& produced)
    {
        uint32_t count = 0;
        if (!codec_.operations->decode(codec_.instance, block.data(), uint32_t(block.size()), out_.data(),
                                       kCabBlockSize, &count)) {
            return false;
        }
        produced.assign(out_.begin(), out_.begin() + count);
        return true;
    }
    CabCodec& codec() { return codec_; }

private:
    CabCodec codec_ = {};
    std::vector<uint8_t> out_;
};

// "CK" and a raw deflate stream of data, with dictionary as history.
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data, int level, int strategy,
                             const std::vector<uint8_t>& dictionary = {})
{
    z_stream s = {};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, -15, 9, strategy), Z_OK);
    if (!dictionary.empty()) {
        deflateSetDictionary(&s, dictionary.data(), uInt(dictionary.size()));
    }
    std::vector<uint8_t> out(2 + deflateBound(&s, uLong(data.size())) + 64);
    out[0] = 'C';
    out[1] = 'K';
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = uInt(data.size());
    s.next_out = out.data() + 2;
    s.avail_out = uInt(out.size() - 2);
    EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(2 + s.total_out);
    deflateEnd(&s);
    return out;
}

std::vector<uint8_t> Random(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = uint8_t(seed >> 24);
    }
    return bytes;
}

TEST(MszipCodec, DecodesWhatZlibDeflates)
{
    const std::vector<std::vector<uint8_t>> inputs = {
        Pattern(32768, 1), Random(32768, 2), std::vector<uint8_t>(32768, 0), Pattern(1, 3), Pattern(7000, 4), [] {
            std::vector<uint8_t> mixed = Random(16384, 5);
            const std::vector<uint8_t> text = Pattern(16384, 6);
            mixed.insert(mixed.end(), text.begin(), text.end());
            return mixed;
        }()};
    struct Mode {
        int level, strategy;
    };
    for (const Mode m : {Mode{6, Z_DEFAULT_STRATEGY}, Mode{9, Z_DEFAULT_STRATEGY}, Mode{1, Z_DEFAULT_STRATEGY},
                         Mode{0, Z_DEFAULT_STRATEGY}, Mode{6, Z_FIXED}, Mode{6, Z_HUFFMAN_ONLY}, Mode{6, Z_RLE}}) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            Mszip codec;
            std::vector<uint8_t> out;
            ASSERT_TRUE(codec.Decode(Deflate(inputs[i], m.level, m.strategy), out))
                << "level " << m.level << " strategy " << m.strategy << " input " << i;
            EXPECT_EQ(out, inputs[i]) << "level " << m.level << " strategy " << m.strategy << " input " << i;
        }
    }
}

// The second block repeats the first, so almost all of it is matches that
// reach back into the previous block's output.
TEST(MszipCodec, BlockRefersBackIntoThePreviousBlock)
{
    const std::vector<uint8_t> first = Random(32768, 7);
    // zlib reaches back at most 32768 - 262 bytes.
    const std::vector<uint8_t> second(first.begin() + 5000, first.begin() + 25000);
    const std::vector<uint8_t> packedSecond = Deflate(second, 6, Z_DEFAULT_STRATEGY, first);
    ASSERT_LT(packedSecond.size(), 1000u) << "the fixture must refer back";
    Mszip codec;
    std::vector<uint8_t> out;
    ASSERT_TRUE(codec.Decode(Deflate(first, 6, Z_DEFAULT_STRATEGY), out));
    EXPECT_EQ(out, first);
    ASSERT_TRUE(codec.Decode(packedSecond, out));
    EXPECT_EQ(out, second);
}

// Writes deflate bit streams: values lowest bit first, Huffman codes first
// bit first.
class BitWriter {
public:
    BitWriter() : bytes_{'C', 'K'} {}
    BitWriter& Bits(uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i) {
            Bit((value >> i) & 1);
        }
        return *this;
    }
    BitWriter& Code(uint32_t code, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            Bit((code >> i) & 1);
        }
        return *this;
    }
    BitWriter& Bytes(const std::vector<uint8_t>& bytes)
    {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // Fixed-code literal/length symbol.
    BitWriter& Fixed(unsigned symbol)
    {
        if (symbol < 144) {
            return Code(0x30 + symbol, 8);
        }
        if (symbol < 256) {
            return Code(0x190 + symbol - 144, 9);
        }
        if (symbol < 280) {
            return Code(symbol - 256, 7);
        }
        return Code(0xC0 + symbol - 280, 8);
    }
    std::vector<uint8_t> Done() const { return bytes_; }

private:
    void Bit(uint32_t bit)
    {
        if (used_ == 0) {
            bytes_.push_back(0);
        }
        bytes_.back() |= uint8_t(bit << used_);
        used_ = (used_ + 1) & 7;
    }
    std::vector<uint8_t> bytes_;
    int used_ = 0;
};

std::vector<uint8_t> Text(const char* text)
{
    return {text, text + strlen(text)};
}

TEST(MszipCodec, HandMadeBlocks)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        bool ok;
        std::vector<uint8_t> out;
    };
    const std::vector<uint8_t> hello = Text("hello");
    std::vector<uint8_t> noCk = BitWriter().Bits(1, 1).Bits(1, 2).Fixed('a').Fixed(256).Done();
    noCk[1] = 'X';
    const Case cases[] = {
        {"fixed block", BitWriter().Bits(1, 1).Bits(1, 2).Fixed('a').Fixed('b').Fixed(256).Done(), true, Text("ab")},
        {"no CK", noCk, false, {}},
        {"only CK", {'C', 'K'}, false, {}},
        {"stored block", BitWriter().Bits(1, 1).Bits(0, 2).Bits(0, 5).Bits(5, 16).Bits(0xFFFA, 16).Bytes(hello).Done(),
         true, hello},
        {"stored length without its complement",
         BitWriter().Bits(1, 1).Bits(0, 2).Bits(0, 5).Bits(5, 16).Bits(0xFFFB, 16).Bytes(hello).Done(),
         false,
         {}},
        {"stored block longer than the buffer",
         BitWriter().Bits(1, 1).Bits(0, 2).Bits(0, 5).Bits(40000, 16).Bits(0xFFFF ^ 40000, 16).Done(),
         false,
         {}},
        {"block type 3", BitWriter().Bits(1, 1).Bits(3, 2).Bits(0, 13).Done(), false, {}},
        {"literal/length symbol 286",
         BitWriter().Bits(1, 1).Bits(1, 2).Fixed('a').Fixed(286).Bits(0, 16).Done(),
         false,
         {}},
        {"distance symbol 30",
         BitWriter().Bits(1, 1).Bits(1, 2).Fixed('a').Fixed(257).Code(30, 5).Bits(0, 16).Done(),
         false,
         {}},
        {"match of distance 1", BitWriter().Bits(1, 1).Bits(1, 2).Fixed('a').Fixed(258).Code(0, 5).Fixed(256).Done(),
         true, Text("aaaaa")},
        {"over-subscribed code-length code",
         BitWriter()
             .Bits(1, 1)
             .Bits(2, 2)
             .Bits(0, 5)
             .Bits(0, 5)
             .Bits(15, 4)
             .Bits(0x49249249, 30)
             .Bits(0x49249249, 27)
             .Done(),
         false,
         {}},
        {"incomplete code-length code",
         BitWriter().Bits(1, 1).Bits(2, 2).Bits(0, 5).Bits(0, 5).Bits(0, 4).Bits(1, 3).Bits(0, 9).Bits(0, 16).Done(),
         false,
         {}},
        // The end code is all zero bits: a stream cut before it still ends.
        {"end of block in the zero bits past the end", BitWriter().Bits(1, 1).Bits(1, 2).Fixed('a').Fixed('b').Done(),
         true, Text("ab")},
        {"two blocks, the second final",
         BitWriter().Bits(0, 1).Bits(1, 2).Fixed('x').Fixed(256).Bits(1, 1).Bits(1, 2).Fixed('y').Fixed(256).Done(),
         true, Text("xy")},
    };
    for (const Case& c : cases) {
        Mszip codec;
        std::vector<uint8_t> out;
        EXPECT_EQ(codec.Decode(c.block, out), c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(out, c.out) << c.what;
        }
    }
}

// Dynamic blocks whose distance code is incomplete in the two ways the
// format allows: one distance code of one bit, or none at all (all literals).
// Literal 'a' has code 0, end of block 10, length 3 (symbol 257) 11.
std::vector<uint8_t> SparseDistanceBlock(int distanceLength)
{
    BitWriter w;
    w.Bits(1, 1).Bits(2, 2).Bits(1, 5).Bits(0, 5).Bits(14, 4);  // 258 + 1 codes, 18 code-length codes
    // Code-length code: symbols 0, 1, 2 and 18 of two bits each (00, 01, 10, 11).
    const int order[18] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
    for (int symbol : order) {
        w.Bits(symbol == 0 || symbol == 1 || symbol == 2 || symbol == 18 ? 2 : 0, 3);
    }
    w.Code(3, 2).Bits(97 - 11, 7);   // 97 zeros
    w.Code(1, 2);                    // 'a': 1
    w.Code(3, 2).Bits(138 - 11, 7);  // 138 zeros
    w.Code(3, 2).Bits(20 - 11, 7);   // 20 zeros
    w.Code(2, 2).Code(2, 2);         // 256, 257: 2
    w.Code(distanceLength, 2);       // distance 0
    w.Code(0, 1);                    // 'a'
    if (distanceLength == 1) {
        w.Code(3, 2).Code(0, 1);  // length 3, distance 1
    }
    w.Code(2, 2);  // end of block
    return w.Done();
}

TEST(MszipCodec, SparseDistanceCodesThatTheFormatAllows)
{
    Mszip codec;
    std::vector<uint8_t> out;
    ASSERT_TRUE(codec.Decode(SparseDistanceBlock(1), out));
    EXPECT_EQ(out, Text("aaaa"));
    ASSERT_TRUE(codec.Decode(SparseDistanceBlock(0), out));
    EXPECT_EQ(out, Text("a"));
}

TEST(MszipCodec, RefusesOversizedInputAndForeignInstances)
{
    Mszip codec;
    std::vector<uint8_t> out;
    std::vector<uint8_t> big = BitWriter().Bits(1, 1).Bits(1, 2).Fixed(256).Done();
    big.resize(kMszipInputLimit + 1);
    EXPECT_FALSE(codec.Decode(big, out));
    big.resize(kMszipInputLimit);
    EXPECT_TRUE(codec.Decode(big, out));

    EXPECT_EQ(memcmp(codec.codec().instance, "MDIC", 4), 0);
    std::vector<uint64_t> foreign(8192, 0);
    memcpy(foreign.data(), "QDIC", 4);
    uint8_t buffer[kCabBlockSize];
    uint32_t produced = 0;
    const CabCodecOperations& ops = *codec.codec().operations;
    EXPECT_EQ(ops.decode(foreign.data(), big.data(), 3, buffer, kCabBlockSize, &produced), 0);
    EXPECT_EQ(ops.reset(foreign.data()), 0);
    EXPECT_EQ(ops.destroy(foreign.data()), 0);
    EXPECT_EQ(ops.reset(codec.codec().instance), 1);
}

TEST(MszipCodec, BufferSizeIsTheBlockPlusTwelve)
{
    for (uint32_t size : {0u, 1u, 32768u, 40000u}) {
        EXPECT_EQ(MszipCompressedBufferSize(size), 32780u);
    }
}

}  // namespace

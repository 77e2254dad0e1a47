#include "tools/cabwriter/block_compressor.h"

#include <zlib.h>

#include <array>
#include <cstring>

namespace cabwriter {

namespace {

constexpr size_t kMszipLimit = kBlockSize + 12;  // largest compressed MSZIP block

class StoredCompressor : public BlockCompressor {
public:
    bool CompressBlock(const uint8_t* data, size_t size, std::vector<uint8_t>& out) override
    {
        out.assign(data, data + size);
        return true;
    }
};

// "CK" and a complete deflate stream per block; the previous 32 KiB of the
// folder are the dictionary, so matches may reach into the previous block.
class MszipCompressor : public BlockCompressor {
public:
    MszipCompressor()
    {
        memset(&stream_, 0, sizeof stream_);
        ready_ = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~MszipCompressor() override
    {
        if (ready_) {
            deflateEnd(&stream_);
        }
    }
    MszipCompressor(const MszipCompressor&) = delete;
    MszipCompressor& operator=(const MszipCompressor&) = delete;

    bool CompressBlock(const uint8_t* data, size_t size, std::vector<uint8_t>& out) override
    {
        if (!ready_ || size > kBlockSize || deflateReset(&stream_) != Z_OK) {
            return false;
        }
        if (!history_.empty() && deflateSetDictionary(&stream_, history_.data(), uInt(history_.size())) != Z_OK) {
            return false;
        }
        out.assign(2 + deflateBound(&stream_, uLong(size)) + 16, 0);
        out[0] = 'C';
        out[1] = 'K';
        stream_.next_in = const_cast<Bytef*>(data);
        stream_.avail_in = uInt(size);
        stream_.next_out = out.data() + 2;
        stream_.avail_out = uInt(out.size() - 2);
        if (deflate(&stream_, Z_FINISH) != Z_STREAM_END) {
            return false;
        }
        out.resize(2 + stream_.total_out);
        if (out.size() > kMszipLimit) {
            StoreBlock(data, size, out);
        }
        Remember(data, size);
        return true;
    }

private:
    // One final stored deflate block: always fits the MSZIP limit.
    static void StoreBlock(const uint8_t* data, size_t size, std::vector<uint8_t>& out)
    {
        const uint16_t length = uint16_t(size);
        out = {'C', 'K', 0x01, uint8_t(length), uint8_t(length >> 8), uint8_t(~length), uint8_t(~length >> 8)};
        out.insert(out.end(), data, data + size);
    }

    void Remember(const uint8_t* data, size_t size)
    {
        history_.insert(history_.end(), data, data + size);
        if (history_.size() > kBlockSize) {
            history_.erase(history_.begin(), history_.end() - kBlockSize);
        }
    }

    z_stream stream_;
    bool ready_ = false;
    std::vector<uint8_t> history_;
};

std::unique_ptr<BlockCompressor> MakeStored(uint16_t)
{
    return std::make_unique<StoredCompressor>();
}
std::unique_ptr<BlockCompressor> MakeMszip(uint16_t)
{
    return std::make_unique<MszipCompressor>();
}

std::array<CompressorFactory, 16>& Factories()
{
    static std::array<CompressorFactory, 16> factories = {MakeStored, MakeMszip};
    return factories;
}

}  // namespace

void RegisterCompressor(int codec, CompressorFactory factory)
{
    Factories()[codec & 0xF] = factory;
}

std::unique_ptr<BlockCompressor> CreateCompressor(uint16_t compressionType)
{
    const CompressorFactory factory = Factories()[compressionType & 0xF];
    return factory != nullptr ? factory(compressionType) : nullptr;
}

}  // namespace cabwriter

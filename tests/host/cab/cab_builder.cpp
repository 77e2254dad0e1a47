#include "tests/host/cab/cab_builder.h"

#include "text/little_endian.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutText(std::vector<uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}
std::vector<uint8_t> Sized(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

uint32_t Checksum(const uint8_t* data, size_t size, uint32_t seed)
{
    uint32_t sum = seed;
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        sum ^=
            uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 | uint32_t(data[i + 3]) << 24;
    }
    uint32_t tail = 0;
    for (; i < size; ++i) {
        tail = tail << 8 | data[i];
    }
    return sum ^ tail;
}

}  // namespace

uint32_t BlockChecksum(const std::vector<uint8_t>& data, uint16_t uncompressedSize, const std::vector<uint8_t>& reserve)
{
    std::vector<uint8_t> header;
    Put16(header, uint32_t(data.size()));
    Put16(header, uncompressedSize);
    header.insert(header.end(), reserve.begin(), reserve.end());
    return Checksum(header.data(), header.size(), Checksum(data.data(), data.size(), 0));
}

std::vector<uint8_t> BuildCabinet(const RawCabinet& c)
{
    std::vector<uint8_t> out = {'M', 'S', 'C', 'F', 0, 0, 0, 0};
    Put32(out, 0);  // cabinet size, set at the end
    Put32(out, 0);
    Put32(out, 0);  // first file entry, set below
    Put32(out, 0);
    out.push_back(c.versionMinor);
    out.push_back(c.versionMajor);
    Put16(out, uint32_t(c.folders.size()));
    Put16(out, uint32_t(c.files.size()));
    Put16(out, (c.hasPrevious ? 1u : 0u) | (c.hasNext ? 2u : 0u) | (c.reserveFlag ? 4u : 0u));
    Put16(out, c.setId);
    Put16(out, c.index);
    if (c.reserveFlag) {
        Put16(out, uint32_t(c.headerReserve.size()));
        out.push_back(c.folderReserveSize);
        out.push_back(c.dataReserveSize);
        out.insert(out.end(), c.headerReserve.begin(), c.headerReserve.end());
    }
    if (c.hasPrevious) {
        PutText(out, c.previousName);
        PutText(out, c.previousDisk);
    }
    if (c.hasNext) {
        PutText(out, c.nextName);
        PutText(out, c.nextDisk);
    }
    const uint8_t folderReserve = c.reserveFlag ? c.folderReserveSize : 0;
    const uint8_t dataReserve = c.reserveFlag ? c.dataReserveSize : 0;
    std::vector<size_t> folderOffsetAt;
    for (const RawFolder& f : c.folders) {
        folderOffsetAt.push_back(out.size());
        Put32(out, 0);
        Put16(out, uint32_t(f.blocks.size()));
        Put16(out, f.compressionType);
        const std::vector<uint8_t> reserve = Sized(f.reserve, folderReserve);
        out.insert(out.end(), reserve.begin(), reserve.end());
    }
    WriteLittleEndian32(&out[16], uint32_t(out.size()));
    for (const RawFile& f : c.files) {
        Put32(out, f.size);
        Put32(out, f.offset);
        Put16(out, f.folderIndex);
        Put16(out, f.date);
        Put16(out, f.time);
        Put16(out, f.attributes);
        PutText(out, f.name);
    }
    for (size_t i = 0; i < c.folders.size(); ++i) {
        WriteLittleEndian32(&out[folderOffsetAt[i]], uint32_t(out.size()));
        for (const RawBlock& b : c.folders[i].blocks) {
            const std::vector<uint8_t> reserve = Sized(b.reserve, dataReserve);
            Put32(out, b.checksum ? BlockChecksum(b.data, b.uncompressedSize, reserve) ^ b.checksumXor : 0);
            Put16(out, uint32_t(b.data.size()));
            Put16(out, b.uncompressedSize);
            out.insert(out.end(), reserve.begin(), reserve.end());
            out.insert(out.end(), b.data.begin(), b.data.end());
        }
    }
    WriteLittleEndian32(&out[8], uint32_t(out.size()));
    return out;
}

std::vector<uint8_t> Pattern(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = uint8_t('a' + (x >> 16) % 7);
    }
    return bytes;
}

RawFolder StoredFolder(const std::vector<uint8_t>& bytes, size_t blockSize)
{
    RawFolder folder;
    for (size_t at = 0; at < bytes.size(); at += blockSize) {
        const size_t n = std::min(blockSize, bytes.size() - at);
        RawBlock block;
        block.data.assign(bytes.begin() + long(at), bytes.begin() + long(at + n));
        block.uncompressedSize = uint16_t(n);
        folder.blocks.push_back(block);
    }
    return folder;
}

RawCabinet StoredCabinet(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members, size_t blockSize)
{
    RawCabinet cabinet;
    std::vector<uint8_t> all;
    for (const auto& [name, bytes] : members) {
        RawFile file;
        file.name = name;
        file.size = uint32_t(bytes.size());
        file.offset = uint32_t(all.size());
        cabinet.files.push_back(file);
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    cabinet.folders.push_back(StoredFolder(all, blockSize));
    return cabinet;
}

#include "tools/cabwriter/cab_writer.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>

#include "package/cab/cab_checksum.h"

namespace cabwriter {

namespace {

constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderEntrySize = 8;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kDataHeaderSize = 8;
constexpr size_t kMaxNameLength = 255;
constexpr size_t kMaxCount = 0xFFFF;

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    out[at] = uint8_t(value);
    out[at + 1] = uint8_t(value >> 8);
}
void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value)
{
    Put16(out, at, value & 0xFFFF);
    Put16(out, at + 2, value >> 16);
}

bool Refuse(std::string* error, const std::string& why)
{
    if (error != nullptr) {
        *error = why;
    }
    return false;
}

struct EncodedFolder {
    uint16_t compressionType;
    std::vector<uint8_t> blocks;  // data blocks with their headers
    size_t blockCount = 0;
};

// Compresses the members' bytes as one stream cut into 32 KiB blocks.
bool EncodeFolder(const std::vector<Member>& members, const std::vector<size_t>& indices, uint16_t type, bool checksums,
                  EncodedFolder& folder, std::string* error)
{
    folder.compressionType = type;
    std::unique_ptr<BlockCompressor> compressor = CreateCompressor(type);
    if (compressor == nullptr) {
        return Refuse(error, "no compressor for type " + std::to_string(type));
    }
    std::vector<uint8_t> pending;
    std::vector<uint8_t> packed;
    auto flush = [&]() {
        if (!compressor->CompressBlock(pending.data(), pending.size(), packed) || packed.size() > 0xFFFF) {
            return Refuse(error, "compression failed");
        }
        const size_t at = folder.blocks.size();
        folder.blocks.resize(at + kDataHeaderSize);
        Put16(folder.blocks, at + 4, uint32_t(packed.size()));
        Put16(folder.blocks, at + 6, uint32_t(pending.size()));
        const uint32_t sum =
            checksums ? CabChecksum(folder.blocks.data() + at + 4, 4, CabChecksum(packed.data(), packed.size(), 0)) : 0;
        Put32(folder.blocks, at, sum);
        folder.blocks.insert(folder.blocks.end(), packed.begin(), packed.end());
        pending.clear();
        return ++folder.blockCount <= kMaxCount || Refuse(error, "folder too large");
    };
    for (size_t index : indices) {
        const std::vector<uint8_t>& data = members[index].data;
        for (size_t at = 0; at < data.size();) {
            const size_t take = std::min(kBlockSize - pending.size(), data.size() - at);
            pending.insert(pending.end(), data.begin() + long(at), data.begin() + long(at + take));
            at += take;
            if (pending.size() == kBlockSize && !flush()) {
                return false;
            }
        }
    }
    if (!pending.empty() && !flush()) {
        return false;
    }
    compressor->End();
    return true;
}

}  // namespace

void ToDosDateTime(std::filesystem::file_time_type when, uint16_t& date, uint16_t& time)
{
    const auto system = std::chrono::file_clock::to_sys(when);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
    std::tm local = {};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    if (local.tm_year < 80) {
        date = 1 << 5 | 1;
        time = 0;
        return;
    }
    date = uint16_t((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    time = uint16_t(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
}

CabWriter::CabWriter(Options options) : options_(options)
{
    folders_.push_back({options_.compressionType, {}});
}

void CabWriter::AddMember(Member member)
{
    const size_t size = member.data.size();
    if (options_.folderSizeLimit > 0 && !folders_.back().members.empty() &&
        currentFolderBytes_ + size > options_.folderSizeLimit) {
        StartFolder(folders_.back().compressionType);
    }
    folders_.back().members.push_back(members_.size());
    currentFolderBytes_ += size;
    members_.push_back(std::move(member));
}

bool CabWriter::AddFile(const std::string& storedName, const std::filesystem::path& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Refuse(error, "cannot read " + path.string());
    }
    Member member;
    member.name = storedName;
    member.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::error_code ec;
    ToDosDateTime(std::filesystem::last_write_time(path, ec), member.date, member.time);
    const auto permissions = std::filesystem::status(path, ec).permissions();
    const bool writable = (permissions & std::filesystem::perms::owner_write) != std::filesystem::perms::none;
    member.attributes = uint16_t(0x20 | (writable ? 0 : 0x01));
    AddMember(std::move(member));
    return true;
}

void CabWriter::StartFolder(uint16_t compressionType)
{
    if (folders_.back().members.empty()) {
        folders_.back().compressionType = compressionType;
    } else {
        folders_.push_back({compressionType, {}});
    }
    currentFolderBytes_ = 0;
}

bool CabWriter::Write(std::vector<uint8_t>& cabinet, std::string* error) const
{
    if (members_.size() > kMaxCount) {
        return Refuse(error, "too many members");
    }
    std::vector<EncodedFolder> encoded;
    size_t fileEntriesSize = 0;
    for (const PlannedFolder& planned : folders_) {
        if (planned.members.empty()) {
            continue;
        }
        uint64_t folderBytes = 0;
        for (size_t index : planned.members) {
            const Member& m = members_[index];
            if (m.name.empty() || m.name.size() > kMaxNameLength || m.name.find('\0') != std::string::npos) {
                return Refuse(error, "bad member name '" + m.name + "'");
            }
            folderBytes += m.data.size();
            fileEntriesSize += kFileEntrySize + m.name.size() + 1;
        }
        if (folderBytes > 0xFFFFFFFFull) {
            return Refuse(error, "folder too large");
        }
        encoded.emplace_back();
        if (!EncodeFolder(members_, planned.members, planned.compressionType, options_.checksums, encoded.back(),
                          error)) {
            return false;
        }
    }
    if (encoded.size() > kMaxCount) {
        return Refuse(error, "too many folders");
    }
    const size_t fileEntriesStart = kHeaderSize + kFolderEntrySize * encoded.size();
    uint64_t total = fileEntriesStart + fileEntriesSize;
    for (const EncodedFolder& folder : encoded) {
        total += folder.blocks.size();
    }
    if (total > 0xFFFFFFFFull) {
        return Refuse(error, "cabinet too large");
    }

    cabinet.assign(fileEntriesStart + fileEntriesSize, 0);
    cabinet[0] = 'M';
    cabinet[1] = 'S';
    cabinet[2] = 'C';
    cabinet[3] = 'F';
    Put32(cabinet, 8, uint32_t(total));
    Put32(cabinet, 16, uint32_t(fileEntriesStart));
    cabinet[24] = 3;  // version 1.3
    cabinet[25] = 1;
    Put16(cabinet, 26, uint32_t(encoded.size()));
    Put16(cabinet, 28, uint32_t(members_.size()));
    Put16(cabinet, 32, options_.setId);

    size_t dataAt = fileEntriesStart + fileEntriesSize;
    size_t entryAt = fileEntriesStart;
    size_t folderIndex = 0;
    for (const PlannedFolder& planned : folders_) {
        if (planned.members.empty()) {
            continue;
        }
        const EncodedFolder& folder = encoded[folderIndex];
        const size_t folderAt = kHeaderSize + kFolderEntrySize * folderIndex;
        Put32(cabinet, folderAt, uint32_t(dataAt));
        Put16(cabinet, folderAt + 4, uint32_t(folder.blockCount));
        Put16(cabinet, folderAt + 6, folder.compressionType);
        dataAt += folder.blocks.size();
        uint32_t offset = 0;
        for (size_t index : planned.members) {
            const Member& m = members_[index];
            Put32(cabinet, entryAt, uint32_t(m.data.size()));
            Put32(cabinet, entryAt + 4, offset);
            Put16(cabinet, entryAt + 8, uint32_t(folderIndex));
            Put16(cabinet, entryAt + 10, m.date);
            Put16(cabinet, entryAt + 12, m.time);
            Put16(cabinet, entryAt + 14, m.attributes);
            std::copy(m.name.begin(), m.name.end(), cabinet.begin() + long(entryAt + kFileEntrySize));
            entryAt += kFileEntrySize + m.name.size() + 1;
            offset += uint32_t(m.data.size());
        }
        ++folderIndex;
    }
    for (const EncodedFolder& folder : encoded) {
        cabinet.insert(cabinet.end(), folder.blocks.begin(), folder.blocks.end());
    }
    return true;
}

bool CabWriter::WriteFile(const std::filesystem::path& path, std::string* error) const
{
    std::vector<uint8_t> cabinet;
    if (!Write(cabinet, error)) {
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(cabinet.data()), std::streamsize(cabinet.size()));
    out.close();
    return out.good() || Refuse(error, "cannot write " + path.string());
}

}  // namespace cabwriter

#include "tools/cabwriter/cab_writer.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>

#include "package/cab/cab_checksum.h"
#include "text/little_endian.h"

namespace cabwriter {

namespace {

constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderEntrySize = 8;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kDataHeaderSize = 8;
constexpr size_t kMaxNameLength = 255;
constexpr size_t kMaxCount = 0xFFFF;

bool Refuse(std::string* error, const std::string& why)
{
    if (error != nullptr) {
        *error = why;
    }
    return false;
}

struct EncodedFolder {
    uint16_t compressionType;
    uint64_t size = 0;  // its data blocks with their headers
    size_t blockCount = 0;
};

// Takes the cabinet's bytes in order; false when they cannot be kept.
using BlockSink = std::function<bool(const uint8_t* bytes, size_t count)>;

// Counts the folders' uncompressed bytes for the progress callback.
struct ProgressCount {
    const std::function<void(uint64_t, uint64_t)>& report;
    uint64_t done;
    uint64_t total;
    void Add(size_t bytes)
    {
        done += bytes;
        if (report) {
            report(done, total);
        }
    }
};

// Fills pending up to a block from a member: from its data, or read from its
// file. A file that no longer holds the bytes it had when added is an error.
class MemberReader {
public:
    explicit MemberReader(const Member& member) : member_(member)
    {
        if (!member.source.empty()) {
            file_.open(member.source, std::ios::binary);
        }
    }

    bool Fill(std::vector<uint8_t>& pending, std::string* error)
    {
        const size_t take = size_t(std::min<uint64_t>(kBlockSize - pending.size(), member_.Size() - at_));
        const size_t from = pending.size();
        if (member_.source.empty()) {
            pending.insert(pending.end(), member_.data.begin() + long(at_), member_.data.begin() + long(at_ + take));
        } else {
            pending.resize(from + take);
            file_.read(reinterpret_cast<char*>(pending.data() + from), std::streamsize(take));
            if (!file_ || (Done(take) && file_.peek() != std::char_traits<char>::eof())) {
                return Refuse(error,
                              member_.source.string() + " changed or cannot be read while the cabinet is written");
            }
        }
        at_ += take;
        return true;
    }
    bool Done(size_t more = 0) const { return at_ + more >= member_.Size(); }

private:
    const Member& member_;
    std::ifstream file_;
    uint64_t at_ = 0;
};

// Compresses the members' bytes as one stream cut into 32 KiB blocks, each
// handed on as soon as it is made.
bool EncodeFolder(const std::vector<Member>& members, const std::vector<size_t>& indices, uint16_t type, bool checksums,
                  const BlockSink& emit, EncodedFolder& folder, ProgressCount& progress, std::string* error)
{
    folder.compressionType = type;
    std::unique_ptr<BlockCompressor> compressor = CreateCompressor(type);
    if (compressor == nullptr) {
        return Refuse(error, "no compressor for type " + std::to_string(type));
    }
    std::vector<uint8_t> pending;
    std::vector<uint8_t> packed;
    std::vector<uint8_t> block;
    auto flush = [&]() {
        if (!compressor->CompressBlock(pending.data(), pending.size(), packed) || packed.size() > 0xFFFF) {
            return Refuse(error, "compression failed");
        }
        block.assign(kDataHeaderSize, 0);
        WriteLittleEndian16(&block[4], uint32_t(packed.size()));
        WriteLittleEndian16(&block[6], uint32_t(pending.size()));
        const uint32_t sum =
            checksums ? CabChecksum(block.data() + 4, 4, CabChecksum(packed.data(), packed.size(), 0)) : 0;
        WriteLittleEndian32(&block[0], sum);
        block.insert(block.end(), packed.begin(), packed.end());
        folder.size += block.size();
        if (!emit(block.data(), block.size())) {
            return Refuse(error, "the cabinet cannot be written");
        }
        progress.Add(pending.size());
        pending.clear();
        return ++folder.blockCount <= kMaxCount || Refuse(error, "folder too large");
    };
    for (size_t index : indices) {
        MemberReader reader(members[index]);
        while (!reader.Done()) {
            if (!reader.Fill(pending, error)) {
                return false;
            }
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
    const uint64_t size = member.Size();
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
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? std::streamoff(in.tellg()) : -1;
    if (size < 0) {
        return Refuse(error, "cannot read " + path.string());
    }
    Member member;
    member.name = storedName;
    member.source = path;
    member.sourceSize = uint64_t(size);
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

bool CabWriter::Encode(const std::function<bool(const uint8_t*, size_t)>& emit, std::vector<uint8_t>& head,
                       std::string* error) const
{
    if (members_.size() > kMaxCount) {
        return Refuse(error, "too many members");
    }
    size_t fileEntriesSize = 0;
    size_t folderCount = 0;
    ProgressCount progress{options_.progress, 0, 0};
    for (const Member& m : members_) {
        progress.total += m.Size();
    }
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
            folderBytes += m.Size();
            fileEntriesSize += kFileEntrySize + m.name.size() + 1;
        }
        if (folderBytes > 0xFFFFFFFFull) {
            return Refuse(error, "folder too large");
        }
        ++folderCount;
    }
    if (folderCount > kMaxCount) {
        return Refuse(error, "too many folders");
    }
    const size_t fileEntriesStart = kHeaderSize + kFolderEntrySize * folderCount;
    // The header and entries are known only once the folders are compressed:
    // their place is kept and filled afterwards.
    head.assign(fileEntriesStart + fileEntriesSize, 0);
    if (!emit(head.data(), head.size())) {
        return Refuse(error, "the cabinet cannot be written");
    }
    std::vector<EncodedFolder> encoded;
    uint64_t total = head.size();
    for (const PlannedFolder& planned : folders_) {
        if (planned.members.empty()) {
            continue;
        }
        encoded.emplace_back();
        if (!EncodeFolder(members_, planned.members, planned.compressionType, options_.checksums, emit, encoded.back(),
                          progress, error)) {
            return false;
        }
        total += encoded.back().size;
        if (total > 0xFFFFFFFFull) {
            return Refuse(error, "cabinet too large");
        }
    }

    head[0] = 'M';
    head[1] = 'S';
    head[2] = 'C';
    head[3] = 'F';
    WriteLittleEndian32(&head[8], uint32_t(total));
    WriteLittleEndian32(&head[16], uint32_t(fileEntriesStart));
    head[24] = 3;  // version 1.3
    head[25] = 1;
    WriteLittleEndian16(&head[26], uint32_t(encoded.size()));
    WriteLittleEndian16(&head[28], uint32_t(members_.size()));
    WriteLittleEndian16(&head[32], options_.setId);

    uint64_t dataAt = fileEntriesStart + fileEntriesSize;
    size_t entryAt = fileEntriesStart;
    size_t folderIndex = 0;
    for (const PlannedFolder& planned : folders_) {
        if (planned.members.empty()) {
            continue;
        }
        const EncodedFolder& folder = encoded[folderIndex];
        const size_t folderAt = kHeaderSize + kFolderEntrySize * folderIndex;
        WriteLittleEndian32(&head[folderAt], uint32_t(dataAt));
        WriteLittleEndian16(&head[folderAt + 4], uint32_t(folder.blockCount));
        WriteLittleEndian16(&head[folderAt + 6], folder.compressionType);
        dataAt += folder.size;
        uint32_t offset = 0;
        for (size_t index : planned.members) {
            const Member& m = members_[index];
            WriteLittleEndian32(&head[entryAt], uint32_t(m.Size()));
            WriteLittleEndian32(&head[entryAt + 4], offset);
            WriteLittleEndian16(&head[entryAt + 8], uint32_t(folderIndex));
            WriteLittleEndian16(&head[entryAt + 10], m.date);
            WriteLittleEndian16(&head[entryAt + 12], m.time);
            WriteLittleEndian16(&head[entryAt + 14], m.attributes);
            std::copy(m.name.begin(), m.name.end(), head.begin() + long(entryAt + kFileEntrySize));
            entryAt += kFileEntrySize + m.name.size() + 1;
            offset += uint32_t(m.Size());
        }
        ++folderIndex;
    }
    return true;
}

bool CabWriter::Write(std::vector<uint8_t>& cabinet, std::string* error) const
{
    cabinet.clear();
    std::vector<uint8_t> head;
    auto append = [&](const uint8_t* bytes, size_t count) {
        cabinet.insert(cabinet.end(), bytes, bytes + count);
        return true;
    };
    if (!Encode(append, head, error)) {
        return false;
    }
    std::copy(head.begin(), head.end(), cabinet.begin());
    return true;
}

bool CabWriter::Write(std::ostream& out, std::string* error) const
{
    const std::streampos start = out.tellp();
    std::vector<uint8_t> head;
    auto write = [&](const uint8_t* bytes, size_t count) {
        out.write(reinterpret_cast<const char*>(bytes), std::streamsize(count));
        return bool(out);
    };
    if (!Encode(write, head, error)) {
        return false;
    }
    const std::streampos end = out.tellp();
    out.seekp(start);
    write(head.data(), head.size());
    out.seekp(end);
    return out.good() || Refuse(error, "the cabinet cannot be written");
}

bool CabWriter::WriteFile(const std::filesystem::path& path, std::string* error) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!Write(out, error)) {
        return false;
    }
    out.close();
    return out.good() || Refuse(error, "cannot write " + path.string());
}

}  // namespace cabwriter

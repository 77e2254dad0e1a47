#pragma once
// Writes Microsoft Cabinet files (version 1.3): members in the order they are
// added, folders of stored, MSZIP or any registered compression, optional
// data-block checksums. One cabinet, no sets.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/cabwriter/block_compressor.h"

namespace cabwriter {

struct Member {
    std::string name;  // as stored: at most 255 bytes, '\' between folders
    std::vector<uint8_t> data;
    uint16_t date = 0;  // DOS date and time
    uint16_t time = 0;
    uint16_t attributes = 0x20;  // archive
    // Not empty: the bytes are this file's, read in pieces while the cabinet
    // is written (data stays empty); the file must still hold sourceSize bytes.
    std::filesystem::path source;
    uint64_t sourceSize = 0;

    uint64_t Size() const { return source.empty() ? data.size() : sourceSize; }
};

struct Options {
    uint16_t compressionType = kTypeMszip;  // of the first folder
    bool checksums = true;                  // false leaves every checksum 0
    size_t folderSizeLimit = 0;             // > 0: a new folder begins before a member that would pass it
    uint16_t setId = 0;
    // Told after every data block: uncompressed bytes done of all members' bytes.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

// DOS date and time of a moment, in local time; dates before 1980 become 1980-01-01.
void ToDosDateTime(std::filesystem::file_time_type when, uint16_t& date, uint16_t& time);

class CabWriter {
public:
    explicit CabWriter(Options options = {});

    void AddMember(Member member);
    // The file's bytes are read when the cabinet is written; date, time,
    // size and attributes (read-only, archive) come from it now.
    bool AddFile(const std::string& storedName, const std::filesystem::path& path, std::string* error = nullptr);
    // Members added from now on go to a new folder of this compression type.
    void StartFolder(uint16_t compressionType);

    bool Write(std::vector<uint8_t>& cabinet, std::string* error = nullptr) const;
    // Writes the cabinet to a seekable stream as its blocks are made: only
    // one block is held at a time. Its header is written last, in its place.
    bool Write(std::ostream& out, std::string* error = nullptr) const;
    bool WriteFile(const std::filesystem::path& path, std::string* error = nullptr) const;

private:
    // Hands the cabinet's bytes to emit in order, the place of its header
    // and entries first (zeros), and leaves the header and entries in head.
    bool Encode(const std::function<bool(const uint8_t*, size_t)>& emit, std::vector<uint8_t>& head,
                std::string* error) const;

    struct PlannedFolder {
        uint16_t compressionType;
        std::vector<size_t> members;
    };
    Options options_;
    std::vector<Member> members_;
    std::vector<PlannedFolder> folders_;
    uint64_t currentFolderBytes_ = 0;
};

}  // namespace cabwriter

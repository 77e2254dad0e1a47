#include "package/cab/cab_decoder.h"

#include <cstring>

#include "package/cab/cab_checksum.h"
#include "package/cab/cab_codec.h"
#include "text/little_endian.h"
#include "text/path_size.h"

namespace {

// Record sizes without their reserve areas.
constexpr unsigned kHeaderSize = 36;
constexpr unsigned kReserveSizesSize = 4;
constexpr unsigned kFolderEntrySize = 8;
constexpr unsigned kFileEntrySize = 16;
constexpr unsigned kDataHeaderSize = 8;
constexpr unsigned kNameSize = 256;  // 255 bytes and the terminator

constexpr uint16_t kCabVersion = 0x0103;  // major << 8 | minor
constexpr uint16_t kFlagPrevious = 0x0001;
constexpr uint16_t kFlagNext = 0x0002;
constexpr uint16_t kFlagReserve = 0x0004;

// Folder indices of members that span cabinets.
constexpr uint16_t kFromPrevious = 0xFFFD;
constexpr uint16_t kToNext = 0xFFFE;
constexpr uint16_t kFromPreviousToNext = 0xFFFF;

constexpr uint16_t kRunAfterExtract = 0x0040;
constexpr int kNextCabinetAttempts = 3;
constexpr intptr_t kNoHandle = -1;
constexpr int kOpenCabinetFlags = kCabOpenReadOnly | kCabOpenBinary;
constexpr int kOpenCabinetMode = kCabPermissionRead | kCabPermissionWrite;

// The header: "MSCF", reserved, cabinet size, reserved, offset of the first
// file entry, reserved, minor and major version, folder count, file count,
// flags, set id, index in the set; with flag 0x0004 the reserve sizes follow
// (header reserve: 16 bits, folder and data reserve: 8 bits each).
constexpr unsigned kHeaderCabinetSizeAt = 8;
constexpr unsigned kHeaderFirstFileAt = 16;
constexpr unsigned kHeaderVersionAt = 24;
constexpr unsigned kHeaderFolderCountAt = 26;
constexpr unsigned kHeaderFileCountAt = 28;
constexpr unsigned kHeaderFlagsAt = 30;
constexpr unsigned kHeaderSetIdAt = 32;
constexpr unsigned kHeaderIndexAt = 34;
constexpr unsigned kFolderReserveSizeAt = 2;
constexpr unsigned kDataReserveSizeAt = 3;

// A folder entry: offset of its first data block, block count, compression type.
constexpr unsigned kFolderFirstBlockAt = 0;
constexpr unsigned kFolderBlockCountAt = 4;
constexpr unsigned kFolderTypeAt = 6;

// A file entry: see FileEntry.
constexpr unsigned kFileSizeAt = 0;
constexpr unsigned kFileOffsetAt = 4;
constexpr unsigned kFileFolderAt = 8;
constexpr unsigned kFileDateAt = 10;
constexpr unsigned kFileTimeAt = 12;
constexpr unsigned kFileAttributesAt = 14;

// A data block's header: checksum, compressed size, uncompressed size.
constexpr unsigned kDataChecksumAt = 0;
constexpr unsigned kDataCompressedSizeAt = 4;
constexpr unsigned kDataUncompressedSizeAt = 6;

struct CabHeader {
    uint32_t cabinetSize;
    uint32_t firstFileOffset;
    uint16_t version;
    uint16_t folderCount;
    uint16_t fileCount;
    uint16_t flags;
    uint16_t setId;
    uint16_t cabinetIndex;
};

bool HasSignature(const uint8_t* raw)
{
    return memcmp(raw, "MSCF", 4) == 0;
}

CabHeader DecodeHeader(const uint8_t* raw)
{
    return {ReadLittleEndian32(raw + kHeaderCabinetSizeAt), ReadLittleEndian32(raw + kHeaderFirstFileAt),
            ReadLittleEndian16(raw + kHeaderVersionAt),     ReadLittleEndian16(raw + kHeaderFolderCountAt),
            ReadLittleEndian16(raw + kHeaderFileCountAt),   ReadLittleEndian16(raw + kHeaderFlagsAt),
            ReadLittleEndian16(raw + kHeaderSetIdAt),       ReadLittleEndian16(raw + kHeaderIndexAt)};
}

// A file entry: uncompressed size, offset in the folder's uncompressed data,
// folder index, DOS date, DOS time, attributes, then the zero-terminated name.
struct FileEntry {
    uint32_t size;
    uint32_t offset;
    uint16_t folderIndex;
    uint16_t date;
    uint16_t time;
    uint16_t attributes;
    char name[kNameSize];
};

bool ContinuesFromPrevious(uint16_t folderIndex)
{
    return folderIndex == kFromPrevious || folderIndex == kFromPreviousToNext;
}
bool ContinuesToNext(uint16_t folderIndex)
{
    return folderIndex == kToNext || folderIndex == kFromPreviousToNext;
}

// Copies text into a buffer of size bytes; false (and nothing copied) when it
// does not fit.
bool CopyName(char* dst, size_t size, const char* text)
{
    size_t length = 0;
    while (length < size && text[length] != '\0') {
        ++length;
    }
    if (length >= size) {
        return false;
    }
    memcpy(dst, text, length + 1);
    return true;
}

}  // namespace

struct CabDecoder {
    CabAllocate allocate;
    CabFree free;
    CabFileOperations files;
    CabErrorRecord* errors;

    CabHeader header;
    bool reserveKnown;
    uint16_t headerReserveSize;
    uint8_t folderReserveSize;
    uint8_t dataReserveSize;
    uint8_t* headerReserve;
    uint8_t* folderEntry;  // 8 + folder reserve
    uint8_t* dataHeader;   // 8 + data reserve

    char previousCabinet[kNameSize];
    char previousDisk[kNameSize];
    char nextCabinet[kNameSize];
    char nextDisk[kNameSize];
    char cabinetFolder[kNameSize];

    intptr_t listHandle;  // walks the file entries
    intptr_t dataHandle;  // folder entries and data blocks
    uint32_t folderEntriesStart;
    int selectedFolder;    // -1: none
    uint32_t blocksLeft;   // of the selected folder in the open cabinet
    uint64_t blockOffset;  // uncompressed offset of the decoded block in its folder
    uint32_t blockSize;    // its uncompressed size; 0 before the folder's first block
    int compressionType;
    CabCodec codec;
    uint8_t* compressed;
    uint32_t compressedCapacity;
    uint8_t* uncompressed;

    intptr_t output;
    CabNotification notification;
    // Entries read from the open cabinet that continue into the next one:
    // skipped members, passed-over ones and the member being written. Their
    // entries open the next cabinet's list and are passed over there.
    uint32_t continuedEntries;
    bool continuation;
    uint32_t filesLeft;
    FileEntry entry;
    CabNotify handler;
    CabDecrypt decrypt;
    void* userContext;
};

namespace {

bool Fail(CabDecoder& d, CabError code, int detail = 0)
{
    if (d.errors != nullptr) {
        d.errors->code = int(code);
        d.errors->detail = detail;
        d.errors->failed = 1;
    }
    return false;
}

bool ReadWhole(CabDecoder& d, intptr_t handle, void* buffer, unsigned count)
{
    return d.files.read(handle, buffer, count) == int(count);
}

bool SeekTo(CabDecoder& d, intptr_t handle, uint32_t position)
{
    return position <= 0x7FFFFFFFu && d.files.seek(handle, int32_t(position), kCabSeekStart) == int32_t(position);
}

bool Notify(CabDecoder& d, CabNotificationType type, intptr_t* answer = nullptr)
{
    d.notification.userContext = d.userContext;
    const intptr_t result = d.handler(type, &d.notification);
    if (answer != nullptr) {
        *answer = result;
    }
    return result != -1 || Fail(d, CabError::UserAbort);
}

bool Decrypt(CabDecoder& d, CabDecryptRecord& record)
{
    if (d.decrypt == nullptr) {
        return true;
    }
    record.userContext = d.userContext;
    record.setId = d.header.setId;
    record.cabinetIndex = d.header.cabinetIndex;
    return d.decrypt(&record) != -1 || Fail(d, CabError::UserAbort);
}

bool CloseDecoderFile(CabDecoder& d, intptr_t& handle)
{
    const bool ok = handle == kNoHandle || d.files.close(handle) == 0;
    handle = kNoHandle;
    return ok;
}

bool CloseCabinet(CabDecoder& d)
{
    const bool list = CloseDecoderFile(d, d.listHandle);
    const bool data = CloseDecoderFile(d, d.dataHandle);
    return list && data;
}

void FreeBuffer(CabDecoder& d, uint8_t*& buffer)
{
    if (buffer != nullptr) {
        d.free(buffer);
        buffer = nullptr;
    }
}

void ForgetReserve(CabDecoder& d)
{
    FreeBuffer(d, d.headerReserve);
    FreeBuffer(d, d.folderEntry);
    FreeBuffer(d, d.dataHeader);
    d.reserveKnown = false;
}

void DestroyCodec(CabDecoder& d)
{
    if (d.codec.operations != nullptr) {
        d.codec.operations->destroy(d.codec.instance);
        d.codec = {};
    }
    FreeBuffer(d, d.compressed);
    FreeBuffer(d, d.uncompressed);
    d.compressionType = kCabNoCodec;
}

// A zero-terminated name at the handle's position: read up to 256 bytes, it
// must end within the bytes read; the position is left behind its terminator.
bool ReadName(CabDecoder& d, intptr_t handle, char* name)
{
    const int32_t start = d.files.seek(handle, 0, kCabSeekCurrent);
    if (start < 0) {
        return Fail(d, CabError::CorruptCabinet);
    }
    const int got = d.files.read(handle, name, kNameSize);
    if (got <= 0) {
        return Fail(d, CabError::CorruptCabinet);
    }
    const void* end = memchr(name, 0, unsigned(got));
    if (end == nullptr) {
        name[0] = '\0';
        return Fail(d, CabError::CorruptCabinet);
    }
    const uint32_t behind = uint32_t(start) + uint32_t(static_cast<const char*>(end) - name) + 1;
    return SeekTo(d, handle, behind) || Fail(d, CabError::CorruptCabinet);
}

// The reserve sizes (with flag 0x0004) and the header reserve. The first
// cabinet of a copy fixes the sizes; later ones must have the same.
bool ReadReserve(CabDecoder& d)
{
    uint8_t sizes[kReserveSizesSize] = {};
    if ((d.header.flags & kFlagReserve) && !ReadWhole(d, d.listHandle, sizes, kReserveSizesSize)) {
        return Fail(d, CabError::NotACabinet);
    }
    const uint16_t headerReserve = ReadLittleEndian16(sizes);
    const uint8_t folderReserve = sizes[kFolderReserveSizeAt];
    const uint8_t dataReserve = sizes[kDataReserveSizeAt];
    if (!d.reserveKnown) {
        d.headerReserveSize = headerReserve;
        d.folderReserveSize = folderReserve;
        d.dataReserveSize = dataReserve;
        d.headerReserve = static_cast<uint8_t*>(d.allocate(headerReserve + 1u));
        d.folderEntry = static_cast<uint8_t*>(d.allocate(kFolderEntrySize + folderReserve));
        d.dataHeader = static_cast<uint8_t*>(d.allocate(kDataHeaderSize + dataReserve));
        if (d.headerReserve == nullptr || d.folderEntry == nullptr || d.dataHeader == nullptr) {
            ForgetReserve(d);
            return Fail(d, CabError::AllocFail);
        }
        d.reserveKnown = true;
    } else if (headerReserve != d.headerReserveSize || folderReserve != d.folderReserveSize ||
               dataReserve != d.dataReserveSize) {
        return Fail(d, CabError::ReserveMismatch);
    }
    return d.headerReserveSize == 0 || ReadWhole(d, d.listHandle, d.headerReserve, d.headerReserveSize) ||
           Fail(d, CabError::NotACabinet);
}

bool ReadCabinetNames(CabDecoder& d)
{
    d.previousCabinet[0] = d.previousDisk[0] = d.nextCabinet[0] = d.nextDisk[0] = '\0';
    if ((d.header.flags & kFlagPrevious) &&
        !(ReadName(d, d.listHandle, d.previousCabinet) && ReadName(d, d.listHandle, d.previousDisk))) {
        return false;
    }
    return !(d.header.flags & kFlagNext) ||
           (ReadName(d, d.listHandle, d.nextCabinet) && ReadName(d, d.listHandle, d.nextDisk));
}

// Opens cabinetFolder + name twice and reads everything up to the file
// entries. A next cabinet of a set must carry the expected set id and index.
bool OpenCabinet(CabDecoder& d, const char* name, bool isNext, uint16_t setId, uint16_t index)
{
    char path[kPathSize];
    const size_t folderLength = strlen(d.cabinetFolder);
    if (!CopyName(path, sizeof path, d.cabinetFolder) ||
        !CopyName(path + folderLength, sizeof path - folderLength, name)) {
        return Fail(d, CabError::CabinetNotFound);
    }
    d.listHandle = d.files.open(path, kOpenCabinetFlags, kOpenCabinetMode);
    if (d.listHandle == kNoHandle) {
        return Fail(d, CabError::CabinetNotFound);
    }
    d.dataHandle = d.files.open(path, kOpenCabinetFlags, kOpenCabinetMode);
    if (d.dataHandle == kNoHandle) {
        return Fail(d, CabError::CabinetNotFound);
    }
    uint8_t raw[kHeaderSize];
    if (!ReadWhole(d, d.listHandle, raw, kHeaderSize) || !HasSignature(raw)) {
        return Fail(d, CabError::NotACabinet);
    }
    d.header = DecodeHeader(raw);
    if (d.header.version != kCabVersion) {
        return Fail(d, CabError::UnsupportedVersion, d.header.version);
    }
    if (isNext && (d.header.setId != setId || d.header.cabinetIndex != index)) {
        return Fail(d, CabError::WrongCabinet);
    }
    if (d.header.folderCount == 0 || d.header.fileCount == 0) {
        return Fail(d, CabError::CorruptCabinet);  // nothing a member could come from
    }
    if (!ReadReserve(d) || !ReadCabinetNames(d)) {
        return false;
    }
    const int32_t folders = d.files.seek(d.listHandle, 0, kCabSeekCurrent);
    if (folders < 0 || !SeekTo(d, d.listHandle, d.header.firstFileOffset)) {
        return Fail(d, CabError::CorruptCabinet);
    }
    d.folderEntriesStart = uint32_t(folders);
    d.filesLeft = d.header.fileCount;

    CabNotification& n = d.notification;
    n.text1 = d.nextCabinet;
    n.text2 = d.nextDisk;
    n.text3 = d.cabinetFolder;
    n.setId = d.header.setId;
    n.cabinetIndex = d.header.cabinetIndex;
    if (!Notify(d, CabNotificationType::CabinetInfo)) {
        return false;
    }
    CabDecryptRecord record = {};
    record.kind = DecryptCabinetOpened;
    record.reserve = d.headerReserve;
    record.reserveSize = d.headerReserveSize;
    return Decrypt(d, record);
}

// Reads folder entry index on the data handle and seeks to its first block.
bool ReadFolderEntry(CabDecoder& d, unsigned index, uint16_t& compressionType)
{
    const unsigned entrySize = kFolderEntrySize + d.folderReserveSize;
    if (index >= d.header.folderCount || !SeekTo(d, d.dataHandle, d.folderEntriesStart + index * entrySize) ||
        !ReadWhole(d, d.dataHandle, d.folderEntry, entrySize)) {
        return Fail(d, CabError::CorruptCabinet);
    }
    CabDecryptRecord record = {};
    record.kind = DecryptFolderEntry;
    record.reserve = d.folderEntry + kFolderEntrySize;
    record.reserveSize = d.folderReserveSize;
    record.folderIndex = uint16_t(index);
    if (!Decrypt(d, record)) {
        return false;
    }
    d.blocksLeft = ReadLittleEndian16(d.folderEntry + kFolderBlockCountAt);
    compressionType = ReadLittleEndian16(d.folderEntry + kFolderTypeAt);
    return SeekTo(d, d.dataHandle, ReadLittleEndian32(d.folderEntry + kFolderFirstBlockAt)) ||
           Fail(d, CabError::CorruptCabinet);
}

bool SelectCompression(CabDecoder& d, uint16_t type)
{
    // A folder may claim type 15 itself; that is no reason to keep no codec.
    if (d.codec.operations != nullptr && type == d.compressionType) {
        return true;
    }
    DestroyCodec(d);
    const CabCodecType* codecType = FindCabCodecType(type);
    if (codecType == nullptr) {
        return Fail(d, CabError::BadCompressionType);
    }
    d.compressedCapacity = codecType->compressedBufferSize(kCabBlockSize);
    d.compressed = static_cast<uint8_t*>(d.allocate(d.compressedCapacity));
    d.uncompressed = static_cast<uint8_t*>(d.allocate(kCabBlockSize));
    if (d.compressed == nullptr || d.uncompressed == nullptr) {
        DestroyCodec(d);
        return Fail(d, CabError::AllocFail);
    }
    memset(d.uncompressed, 0, kCabBlockSize);
    const CabCodecSetup setup = {d.allocate, d.free, &d.files, (type >> 8) & 0x1F};
    const CabError created = codecType->create(setup, d.codec);
    if (created != CabError::None) {
        d.codec = {};
        DestroyCodec(d);
        return Fail(d, created);
    }
    d.compressionType = type;
    return true;
}

bool SelectFolder(CabDecoder& d, uint16_t folderIndex)
{
    if (d.continuation) {
        return true;
    }
    const unsigned index = folderIndex >= kToNext ? d.header.folderCount - 1u : folderIndex;
    if (int(index) == d.selectedFolder) {
        return true;
    }
    d.selectedFolder = -1;
    if (d.codec.operations != nullptr && !d.codec.operations->reset(d.codec.instance)) {
        return Fail(d, CabError::DecompressFail);
    }
    uint16_t type = 0;
    if (!ReadFolderEntry(d, index, type) || !SelectCompression(d, type)) {
        return false;
    }
    d.selectedFolder = int(index);
    d.blockOffset = 0;
    d.blockSize = 0;
    return true;
}

// The folder that continues from the previous cabinet is the new one's first.
bool SelectContinuedFolder(CabDecoder& d)
{
    uint16_t type = 0;
    if (!ReadFolderEntry(d, 0, type)) {
        return false;
    }
    if (type != d.compressionType) {
        return Fail(d, CabError::CorruptCabinet);
    }
    d.selectedFolder = 0;
    return true;
}

bool ReadFileEntry(CabDecoder& d, FileEntry& entry)
{
    uint8_t raw[kFileEntrySize];
    if (d.filesLeft == 0 || !ReadWhole(d, d.listHandle, raw, kFileEntrySize)) {
        return Fail(d, CabError::CorruptCabinet);
    }
    --d.filesLeft;
    entry.size = ReadLittleEndian32(raw + kFileSizeAt);
    entry.offset = ReadLittleEndian32(raw + kFileOffsetAt);
    entry.folderIndex = ReadLittleEndian16(raw + kFileFolderAt);
    entry.date = ReadLittleEndian16(raw + kFileDateAt);
    entry.time = ReadLittleEndian16(raw + kFileTimeAt);
    entry.attributes = ReadLittleEndian16(raw + kFileAttributesAt);
    return ReadName(d, d.listHandle, entry.name);
}

// Sends NextCabinet and opens the cabinet the handler names, at most
// kNextCabinetAttempts times; the error record keeps the last failure.
bool OpenNextCabinet(CabDecoder& d, uint16_t setId, uint16_t index)
{
    CabErrorRecord before = {};
    if (d.errors != nullptr) {
        before = *d.errors;
    }
    d.notification.lastError = 0;
    for (int attempt = 0; attempt < kNextCabinetAttempts; ++attempt) {
        CabNotification& n = d.notification;
        n.text1 = d.nextCabinet;
        n.text2 = d.nextDisk;
        n.text3 = d.cabinetFolder;
        n.setId = setId;
        n.cabinetIndex = index;
        if (!Notify(d, CabNotificationType::NextCabinet)) {
            return false;
        }
        d.nextCabinet[kNameSize - 1] = d.nextDisk[kNameSize - 1] = d.cabinetFolder[kNameSize - 1] = '\0';
        char name[kNameSize];
        char disk[kNameSize];
        memcpy(name, d.nextCabinet, kNameSize);
        memcpy(disk, d.nextDisk, kNameSize);
        if (OpenCabinet(d, name, true, setId, index) && SelectContinuedFolder(d)) {
            if (d.errors != nullptr) {
                *d.errors = before;
            }
            return true;
        }
        CloseCabinet(d);
        if (d.errors != nullptr && d.errors->code == int(CabError::UserAbort)) {
            return false;
        }
        memcpy(d.nextCabinet, name, kNameSize);
        memcpy(d.nextDisk, disk, kNameSize);
        d.notification.lastError = d.errors != nullptr ? d.errors->code : int(CabError::CorruptCabinet);
    }
    return false;
}

// Data of the last folder runs on in the next cabinet of the set. Afterwards
// the reader passes over the entries continued from this cabinet (the member
// being written is the last of them) and is in continuation mode.
bool MoveToNextCabinet(CabDecoder& d)
{
    if (!(d.header.flags & kFlagNext) || d.nextCabinet[0] == '\0' ||
        d.selectedFolder != int(d.header.folderCount) - 1 || d.header.cabinetIndex == 0xFFFF ||
        !ContinuesToNext(d.entry.folderIndex)) {
        return Fail(d, CabError::CorruptCabinet);
    }
    const uint16_t setId = d.header.setId;
    const uint16_t index = uint16_t(d.header.cabinetIndex + 1);
    if (!CloseCabinet(d)) {
        return Fail(d, CabError::CorruptCabinet);
    }
    if (!OpenNextCabinet(d, setId, index)) {
        return false;
    }
    const uint32_t passOver = d.continuedEntries;
    d.continuedEntries = 0;
    FileEntry passed = {};
    for (uint32_t i = 0; i < passOver; ++i) {
        if (!ReadFileEntry(d, passed)) {
            return false;
        }
        if (!ContinuesFromPrevious(passed.folderIndex)) {
            return Fail(d, CabError::CorruptCabinet);
        }
        if (ContinuesToNext(passed.folderIndex)) {
            ++d.continuedEntries;
        }
    }
    d.entry.folderIndex = passed.folderIndex;  // how far the member being written goes on
    d.continuation = true;
    return true;
}

// Reads one data-block header and its data on the data handle, appending the
// data at d.compressed + filled.
bool ReadBlockPart(CabDecoder& d, uint32_t& filled, uint32_t& uncompressedSize)
{
    const unsigned headerSize = kDataHeaderSize + d.dataReserveSize;
    if (!ReadWhole(d, d.dataHandle, d.dataHeader, headerSize)) {
        return Fail(d, CabError::CorruptCabinet);
    }
    const uint32_t stored = ReadLittleEndian32(d.dataHeader + kDataChecksumAt);
    const uint16_t size = ReadLittleEndian16(d.dataHeader + kDataCompressedSizeAt);
    uncompressedSize = ReadLittleEndian16(d.dataHeader + kDataUncompressedSizeAt);
    uint8_t* data = d.compressed + filled;
    if (size > d.compressedCapacity - filled || !ReadWhole(d, d.dataHandle, data, size)) {
        return Fail(d, CabError::CorruptCabinet);
    }
    if (stored != 0 && CabChecksum(d.dataHeader + 4, headerSize - 4, CabChecksum(data, size, 0)) != stored) {
        return Fail(d, CabError::CorruptCabinet);
    }
    CabDecryptRecord record = {};
    record.kind = DecryptDataBlock;
    record.reserve = d.dataHeader + kDataHeaderSize;
    record.reserveSize = d.dataReserveSize;
    record.folderIndex = uint16_t(d.selectedFolder);
    record.data = data;
    record.dataSize = size;
    record.uncompressedSize = uncompressedSize;
    record.split = uncompressedSize == 0;
    if (!Decrypt(d, record)) {
        return false;
    }
    filled += size;
    return true;
}

// Counts off the folder's next block, moving to the next cabinet when this
// one holds no more of the folder's blocks.
bool TakeBlock(CabDecoder& d)
{
    if (d.blocksLeft == 0 && !MoveToNextCabinet(d)) {
        return false;
    }
    if (d.blocksLeft == 0) {
        return Fail(d, CabError::CorruptCabinet);
    }
    --d.blocksLeft;
    return true;
}

// Reads and decodes the folder's next block; a block whose uncompressed size
// is 0 continues in the next cabinet, and its parts are joined first.
bool ReadNextBlock(CabDecoder& d)
{
    d.blockOffset += d.blockSize;
    d.blockSize = 0;
    uint32_t filled = 0;
    uint32_t size = 0;
    if (!TakeBlock(d) || !ReadBlockPart(d, filled, size)) {
        return false;
    }
    while (size == 0) {
        if (d.blocksLeft != 0) {
            return Fail(d, CabError::CorruptCabinet);  // only a cabinet's last block goes on
        }
        if (!TakeBlock(d) || !ReadBlockPart(d, filled, size)) {
            return false;
        }
    }
    if (size > kCabBlockSize) {
        return Fail(d, CabError::CorruptCabinet);
    }
    uint32_t produced = 0;
    if (!d.codec.operations->decode(d.codec.instance, d.compressed, filled, d.uncompressed, size, &produced) ||
        produced != size) {
        return Fail(d, CabError::DecompressFail);
    }
    d.blockSize = size;
    return true;
}

// Writes the member's bytes from the decoded blocks of its folder. The
// reader never goes back: data before the decoded block is out of reach.
bool WriteMemberData(CabDecoder& d)
{
    const uint64_t end = uint64_t(d.entry.offset) + d.entry.size;
    uint64_t at = d.entry.offset;
    if (at < d.blockOffset) {
        return Fail(d, CabError::CorruptCabinet);
    }
    while (at >= d.blockOffset + d.blockSize) {
        if (!ReadNextBlock(d)) {
            return false;
        }
    }
    for (;;) {
        const uint32_t within = uint32_t(at - d.blockOffset);
        const uint64_t rest = end - at;
        const uint32_t count = rest < d.blockSize - within ? uint32_t(rest) : d.blockSize - within;
        if (d.files.write(d.output, d.uncompressed + within, count) != int(count)) {
            return Fail(d, CabError::TargetFile);
        }
        at += count;
        if (at == end) {
            return true;
        }
        if (!ReadNextBlock(d)) {
            return false;
        }
    }
}

bool ExtractMember(CabDecoder& d)
{
    if (!SelectFolder(d, d.entry.folderIndex) || (d.entry.size != 0 && !WriteMemberData(d))) {
        return false;
    }
    CabNotification& n = d.notification;
    n.text1 = d.entry.name;
    n.fileHandle = d.output;
    n.date = d.entry.date;
    n.time = d.entry.time;
    n.attributes = uint16_t(d.entry.attributes & ~kRunAfterExtract);
    n.size = (d.entry.attributes & kRunAfterExtract) ? 1 : 0;
    intptr_t answer = 0;
    if (!Notify(d, CabNotificationType::CloseFileInfo, &answer)) {
        return false;
    }
    d.output = kNoHandle;
    return answer != 0 || Fail(d, CabError::TargetFile);
}

bool HandleEntry(CabDecoder& d)
{
    const FileEntry& e = d.entry;
    CabNotification& n = d.notification;
    n.size = int32_t(e.size);
    n.text1 = d.entry.name;
    n.date = e.date;
    n.time = e.time;
    n.attributes = e.attributes;
    const bool fromPrevious = ContinuesFromPrevious(e.folderIndex);
    if (fromPrevious && !d.continuation) {
        n.text2 = d.previousCabinet;
        n.text3 = d.previousDisk;
        return Notify(d, CabNotificationType::PartialFile);
    }
    if (!fromPrevious && d.continuation) {
        return true;  // left to a copy of this cabinet
    }
    const bool folderExists = e.folderIndex < d.header.folderCount || e.folderIndex >= kFromPrevious;
    if (!folderExists || e.name[0] == '\0' || uint64_t(e.offset) + e.size > 0xFFFFFFFFull) {
        return Fail(d, CabError::CorruptCabinet);
    }
    intptr_t answer = 0;
    if (!Notify(d, CabNotificationType::CopyMember, &answer)) {
        return false;
    }
    if (answer == 0) {
        return true;
    }
    d.output = answer;
    return ExtractMember(d);
}

bool CopyMembers(CabDecoder& d)
{
    while (d.filesLeft > 0) {
        if (!ReadFileEntry(d, d.entry)) {
            return false;
        }
        if (ContinuesToNext(d.entry.folderIndex)) {
            ++d.continuedEntries;
        }
        if (!HandleEntry(d)) {
            return false;
        }
    }
    return true;
}

}  // namespace

CabDecoder* CreateCabDecoder(CabAllocate allocate, CabFree free, CabOpen open, CabRead read, CabWrite write,
                             CabClose close, CabSeek seek, int, CabErrorRecord* errors)
{
    auto* d = static_cast<CabDecoder*>(allocate(sizeof(CabDecoder)));
    if (d == nullptr) {
        if (errors != nullptr) {
            errors->code = int(CabError::AllocFail);
            errors->detail = 0;
            errors->failed = 1;
        }
        return nullptr;
    }
    memset(d, 0, sizeof *d);
    d->allocate = allocate;
    d->free = free;
    d->files = {open, read, write, close, seek};
    d->errors = errors;
    d->listHandle = d->dataHandle = d->output = kNoHandle;
    d->selectedFolder = -1;
    d->compressionType = kCabNoCodec;
    return d;
}

int IsCabinetFile(CabDecoder* decoder, intptr_t handle, CabinetSummary* summary)
{
    uint8_t raw[kHeaderSize];
    if (decoder == nullptr || !ReadWhole(*decoder, handle, raw, kHeaderSize) || !HasSignature(raw)) {
        return 0;
    }
    const CabHeader h = DecodeHeader(raw);
    if (h.version != kCabVersion) {
        return Fail(*decoder, CabError::UnsupportedVersion, h.version);
    }
    if (summary != nullptr) {
        summary->cabinetSize = int32_t(h.cabinetSize);
        summary->folderCount = h.folderCount;
        summary->fileCount = h.fileCount;
        summary->setId = h.setId;
        summary->cabinetIndex = h.cabinetIndex;
        summary->hasReserve = (h.flags & kFlagReserve) ? 1 : 0;
        summary->hasPrevious = (h.flags & kFlagPrevious) ? 1 : 0;
        summary->hasNext = h.flags & kFlagNext;
    }
    return 1;
}

int CopyCabinet(CabDecoder* decoder, const char* name, const char* folder, int, CabNotify handler, CabDecrypt decrypt,
                void* userContext)
{
    if (decoder == nullptr) {
        return 0;
    }
    CabDecoder& d = *decoder;
    d.handler = handler;
    d.decrypt = decrypt;
    d.userContext = userContext;
    d.continuedEntries = 0;
    d.continuation = false;
    d.selectedFolder = -1;
    d.blockOffset = 0;
    d.blockSize = 0;
    ForgetReserve(d);
    bool ok = handler != nullptr && CopyName(d.cabinetFolder, kNameSize, folder)
                  ? OpenCabinet(d, name, false, 0, 0) && CopyMembers(d)
                  : Fail(d, CabError::CabinetNotFound);
    CloseDecoderFile(d, d.output);
    if (!CloseCabinet(d) && ok) {
        ok = Fail(d, CabError::CorruptCabinet);
    }
    return ok ? 1 : 0;
}

int DestroyCabDecoder(CabDecoder* decoder)
{
    if (decoder == nullptr) {
        return 0;
    }
    CabDecoder& d = *decoder;
    DestroyCodec(d);
    ForgetReserve(d);
    CloseCabinet(d);
    CloseDecoderFile(d, d.output);
    d.free(decoder);
    return 1;
}

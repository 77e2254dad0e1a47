#include "package/package_format.h"

#include <cstring>

namespace {

// A reference to one text: its first byte and its length without terminator.
struct TextRef {
    uint32_t offset;
    int32_t length;
};

// The 76 header bytes of a settings block.
struct BlockHeader {
    TextRef texts[5];  // productName, productVersion, splashNote, installFolder, reservedText
    int32_t osMask, reservedValue, justExec, okIfNotAdmin;
    int32_t counts[5];  // shortcuts, checks, install, uninstall and launch commands
};

constexpr size_t kRecordSizes[5] = {kShortcutRecordSize, kCheckRecordSize, kCommandRecordSize, kCommandRecordSize,
                                    kCommandRecordSize};

int32_t ReadSigned32(const uint8_t* bytes)
{
    return static_cast<int32_t>(ReadLittleEndian32(bytes));
}

TextRef DecodeTextRef(const uint8_t* bytes)
{
    return {ReadLittleEndian32(bytes), ReadSigned32(bytes + 4)};
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when [offset, offset + length) lies inside the package and below the
// offset limit; 64-bit sums cannot wrap.
bool ExtentFits(uint64_t offset, uint64_t length, uint32_t packageSize)
{
    uint64_t end = offset + length;
    return offset < kPackageOffsetLimit && end <= kPackageOffsetLimit && end <= packageSize;
}

bool ReadBytes(const PackageSource& source, uint64_t offset, void* buffer, uint32_t count)
{
    return ExtentFits(offset, count, source.size) &&
           source.readAt(source.context, static_cast<uint32_t>(offset), buffer, count) == 1;
}

// Reads one text into field (kTextFieldSize bytes). A length of zero or less
// leaves the field as it is.
bool ReadText(const PackageSource& source, TextRef ref, char* field)
{
    if (ref.length <= 0)
        return true;
    if (static_cast<uint32_t>(ref.length) > kMaxTextLength)
        return false;
    uint32_t length = static_cast<uint32_t>(ref.length);
    if (!ReadBytes(source, ref.offset, field, length))
        return false;
    ScrambleText(reinterpret_cast<uint8_t*>(field), length);
    field[length] = '\0';
    return true;
}

// Reads a list text into a new heap string of exactly its length plus one.
bool ReadOwnedText(const PackageSource& source, const PackageHeap& heap, TextRef ref, char*& out)
{
    char scratch[kTextFieldSize] = {};
    if (!ReadText(source, ref, scratch))
        return false;
    size_t size = strlen(scratch) + 1;
    out = static_cast<char*>(heap.allocate(heap.context, size));
    if (out == nullptr)
        return false;
    memcpy(out, scratch, size);
    return true;
}

BlockHeader DecodeBlockHeader(const uint8_t (&bytes)[kBlockHeaderSize])
{
    BlockHeader header;
    for (int i = 0; i < 5; ++i)
        header.texts[i] = DecodeTextRef(bytes + i * kTextRefSize);
    header.osMask = ReadSigned32(bytes + 40);
    header.reservedValue = ReadSigned32(bytes + 44);
    header.justExec = ReadSigned32(bytes + 48);
    header.okIfNotAdmin = ReadSigned32(bytes + 52);
    for (int i = 0; i < 5; ++i)
        header.counts[i] = ReadSigned32(bytes + 56 + i * 4);
    return header;
}

// Counts must be non-negative and their arrays must fit the block behind the
// header; arrayOffsets receives where each array starts within the block.
bool LayOutArrays(const BlockHeader& header, uint32_t blockLength, uint64_t (&arrayOffsets)[5])
{
    uint64_t position = kBlockHeaderSize;
    for (int i = 0; i < 5; ++i) {
        if (header.counts[i] < 0)
            return false;
        arrayOffsets[i] = position;
        position += static_cast<uint64_t>(header.counts[i]) * kRecordSizes[i];
    }
    return position <= blockLength;
}

template <typename Entry>
bool AllocateList(const PackageHeap& heap, int32_t count, Entry*& out)
{
    out = nullptr;
    if (count == 0)
        return true;
    out = static_cast<Entry*>(heap.allocate(heap.context, static_cast<size_t>(count) * sizeof(Entry)));
    return out != nullptr;
}

// Where one block's records are read from.
struct BlockReader {
    const PackageSource& source;
    const PackageHeap& heap;
    uint64_t blockOffset;

    template <size_t N>
    bool Record(uint64_t arrayOffset, int32_t index, uint8_t (&record)[N]) const
    {
        return ReadBytes(source, blockOffset + arrayOffset + static_cast<uint64_t>(index) * N, record, N);
    }

    bool Shortcuts(uint64_t arrayOffset, int32_t count, ShortcutEntry*& list) const
    {
        if (!AllocateList(heap, count, list))
            return false;
        for (int32_t i = 0; i < count; ++i) {
            uint8_t record[kShortcutRecordSize];
            if (!Record(arrayOffset, i, record) ||
                !ReadOwnedText(source, heap, DecodeTextRef(record), list[i].linkName) ||
                !ReadOwnedText(source, heap, DecodeTextRef(record + 8), list[i].target))
                return false;
        }
        return true;
    }

    bool Checks(uint64_t arrayOffset, int32_t count, CheckEntry*& list) const
    {
        if (!AllocateList(heap, count, list))
            return false;
        for (int32_t i = 0; i < count; ++i) {
            uint8_t record[kCheckRecordSize];
            if (!Record(arrayOffset, i, record))
                return false;
            list[i].kind = ReadSigned32(record);
            if (!ReadOwnedText(source, heap, DecodeTextRef(record + 4), list[i].subject) ||
                !ReadOwnedText(source, heap, DecodeTextRef(record + 12), list[i].message))
                return false;
        }
        return true;
    }

    bool Commands(uint64_t arrayOffset, int32_t count, CommandEntry*& list) const
    {
        if (!AllocateList(heap, count, list))
            return false;
        for (int32_t i = 0; i < count; ++i) {
            uint8_t record[kCommandRecordSize];
            if (!Record(arrayOffset, i, record) ||
                !ReadOwnedText(source, heap, DecodeTextRef(record), list[i].commandLine))
                return false;
            list[i].wait = ReadSigned32(record + 8);
        }
        return true;
    }
};

}  // namespace

bool DecodeTrailer(const uint8_t (&bytes)[kTrailerSize], PackageTrailer& out)
{
    uint32_t* words[] = {&out.japaneseBlockOffset, &out.japaneseBlockLength, &out.englishBlockOffset,
                         &out.englishBlockLength,  &out.totalInstallBytes,   &out.cabinetOffset,
                         &out.cabinetLength};
    for (size_t i = 0; i < 7; ++i)
        *words[i] = ReadLittleEndian32(bytes + i * 4);
    memcpy(out.signature, bytes + 28, sizeof out.signature);
    // The terminator takes part in the comparison, so a longer text differs.
    for (size_t i = 0; i < sizeof kPackageSignature; ++i) {
        if (LowerAscii(out.signature[i]) != LowerAscii(kPackageSignature[i]))
            return false;
    }
    return true;
}

bool ReadPackageTrailer(const PackageSource& source, PackageTrailer& out)
{
    uint8_t bytes[kTrailerSize];
    return source.size >= kTrailerSize && ReadBytes(source, source.size - kTrailerSize, bytes, kTrailerSize) &&
           DecodeTrailer(bytes, out);
}

bool ReadSettingsBlock(const PackageSource& source, const PackageHeap& heap, uint32_t offset, uint32_t length,
                       SetupInfo& info)
{
    uint8_t bytes[kBlockHeaderSize];
    if (length < kBlockHeaderSize || !ExtentFits(offset, length, source.size) ||
        !ReadBytes(source, offset, bytes, kBlockHeaderSize))
        return false;
    BlockHeader header = DecodeBlockHeader(bytes);
    uint64_t arrays[5];
    if (!LayOutArrays(header, length, arrays))
        return false;

    info.osMask = header.osMask;
    info.reservedValue = header.reservedValue;
    info.justExec = header.justExec;
    info.okIfNotAdmin = header.okIfNotAdmin;
    char* fields[5] = {info.productName, info.productVersion, info.splashNote, info.installFolder, info.reservedText};
    for (int i = 0; i < 5; ++i) {
        if (!ReadText(source, header.texts[i], fields[i]))
            return false;
    }

    BlockReader reader{source, heap, offset};
    if (!reader.Shortcuts(arrays[0], header.counts[0], info.shortcuts) ||
        !reader.Checks(arrays[1], header.counts[1], info.checks) ||
        !reader.Commands(arrays[2], header.counts[2], info.installCommands) ||
        !reader.Commands(arrays[3], header.counts[3], info.uninstallCommands) ||
        !reader.Commands(arrays[4], header.counts[4], info.launchCommands))
        return false;

    info.shortcutCount = header.counts[0];
    info.checkCount = header.counts[1];
    info.installCommandCount = header.counts[2];
    info.uninstallCommandCount = header.counts[3];
    info.launchCommandCount = header.counts[4];
    return true;
}

bool ReadPackageSettings(const PackageSource& source, const PackageHeap& heap, PackageSettings& settings)
{
    PackageTrailer trailer;
    if (!ReadPackageTrailer(source, trailer) ||
        !ReadSettingsBlock(source, heap, trailer.japaneseBlockOffset, trailer.japaneseBlockLength, settings.japanese) ||
        !ReadSettingsBlock(source, heap, trailer.englishBlockOffset, trailer.englishBlockLength, settings.english))
        return false;
    settings.totalInstallBytes = trailer.totalInstallBytes;
    return true;
}

bool CabinetFitsPackage(const PackageTrailer& trailer, uint32_t packageSize)
{
    if (static_cast<int32_t>(trailer.cabinetLength) <= 0)
        return true;
    return ExtentFits(trailer.cabinetOffset, trailer.cabinetLength, packageSize);
}

void ScrambleText(uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        bytes[i] ^= kTextKey;
}

void ScrambleCabinet(uint8_t* bytes, size_t count, uint32_t streamPosition)
{
    for (size_t i = 0; i < count; ++i)
        bytes[i] ^= static_cast<uint8_t>(kCabinetKey >> (8 * ((streamPosition + i) % 4)));
}

#include "tools/common/pe_imports.h"

#include "tools/common/pe_image.h"

namespace pe {
namespace {

constexpr int kImportDirectory = 1;
constexpr int kTlsDirectory = 9;
constexpr uint32_t kImportDescriptorSize = 20;  // lookup table, stamp, chain, name, address table
constexpr size_t kMaxImports = 65536;
constexpr size_t kMaxNameLength = 512;

// A zero-terminated text at an address of the image.
bool ReadName(const Image& image, uint32_t rva, std::string& name)
{
    name.clear();
    for (;;) {
        size_t at;
        if (name.size() > kMaxNameLength || !image.FileOffset(rva + static_cast<uint32_t>(name.size()), 1, at))
            return false;
        if (image.bytes[at] == 0)
            return true;
        name.push_back(static_cast<char>(image.bytes[at]));
    }
}

// One DLL's lookup table: entries of 4 (PE32) or 8 bytes (PE32+) up to a zero
// entry; the top bit marks an ordinal, else the entry is the address of a
// 2-byte hint followed by the name.
bool ReadLookupTable(const Image& image, const std::string& dll, uint32_t tableRva, std::vector<Import>& imports)
{
    const uint32_t entrySize = image.is64 ? 8 : 4;
    for (uint32_t rva = tableRva;; rva += entrySize) {
        size_t at;
        if (imports.size() >= kMaxImports || !image.FileOffset(rva, entrySize, at))
            return false;
        const uint64_t entry = image.is64 ? uint64_t(ReadLittleEndian32(&image.bytes[at])) |
                                                uint64_t(ReadLittleEndian32(&image.bytes[at + 4])) << 32
                                          : ReadLittleEndian32(&image.bytes[at]);
        if (entry == 0)
            return true;
        const bool byOrdinal = image.is64 ? (entry >> 63) != 0 : (entry >> 31) != 0;
        Import import{dll, {}};
        if (byOrdinal)
            import.function.append(1, '#').append(std::to_string(entry & 0xFFFF));
        else if (!ReadName(image, static_cast<uint32_t>(entry & 0x7FFFFFFF) + 2, import.function))
            return false;
        imports.push_back(import);
    }
}

}  // namespace

bool ReadImports(const std::vector<uint8_t>& imageBytes, std::vector<Import>& imports, std::string& error)
{
    imports.clear();
    Image image(imageBytes);
    if (!image.Parse(error))
        return false;
    uint32_t directoryRva, directorySize;
    image.Directory(kImportDirectory, directoryRva, directorySize);
    error = "damaged import directory";
    for (uint32_t rva = directoryRva; directoryRva != 0; rva += kImportDescriptorSize) {
        size_t at;
        if (!image.FileOffset(rva, kImportDescriptorSize, at))
            return false;
        const uint32_t lookupRva = ReadLittleEndian32(&imageBytes[at]);
        const uint32_t nameRva = ReadLittleEndian32(&imageBytes[at + 12]);
        const uint32_t addressRva = ReadLittleEndian32(&imageBytes[at + 16]);
        if (nameRva == 0 && addressRva == 0)
            break;
        std::string dll;
        if (!ReadName(image, nameRva, dll) ||
            !ReadLookupTable(image, dll, lookupRva != 0 ? lookupRva : addressRva, imports))
            return false;
    }
    error.clear();
    return true;
}

bool ReadLoaderFacts(const std::vector<uint8_t>& imageBytes, LoaderFacts& facts, std::string& error)
{
    Image image(imageBytes);
    if (!image.Parse(error))
        return false;
    facts.is64 = image.is64;
    facts.majorSubsystemVersion = ReadLittleEndian16(&imageBytes[image.optionalOffset + 48]);
    facts.minorSubsystemVersion = ReadLittleEndian16(&imageBytes[image.optionalOffset + 50]);
    facts.subsystem = ReadLittleEndian16(&imageBytes[image.optionalOffset + 68]);
    uint32_t tlsRva, tlsSize;
    image.Directory(kTlsDirectory, tlsRva, tlsSize);
    facts.hasTlsDirectory = tlsRva != 0 || tlsSize != 0;
    return true;
}

}  // namespace pe

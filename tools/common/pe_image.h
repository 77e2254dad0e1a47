#pragma once
// The headers of a PE image (PE32 and PE32+), checked against the file's size:
// what the readers and writers of resources and imports share.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "text/little_endian.h"

namespace pe {

constexpr size_t kSectionHeaderSize = 40;

struct Section {
    uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
    size_t headerOffset;
    uint64_t VirtualEnd() const { return uint64_t(virtualAddress) + std::max(virtualSize, rawSize); }
    bool Contains(uint32_t rva) const { return rva >= virtualAddress && rva < VirtualEnd(); }
};

// The headers of a PE image, checked against the file's size.
struct Image {
    const std::vector<uint8_t>& bytes;
    size_t coffOffset = 0;
    size_t optionalOffset = 0;
    bool is64 = false;
    uint32_t sectionAlignment = 0, fileAlignment = 0, sizeOfHeaders = 0;
    size_t directoryOffset = 0;
    uint32_t directoryCount = 0;
    size_t sectionTableOffset = 0;
    std::vector<Section> sections;
    uint64_t fileSize;  // bytes may hold only the file's beginning

    explicit Image(const std::vector<uint8_t>& imageBytes) : bytes(imageBytes), fileSize(imageBytes.size()) {}
    Image(const std::vector<uint8_t>& beginning, uint64_t size) : bytes(beginning), fileSize(size) {}

    bool Parse(std::string& error)
    {
        error = "not a Windows program file (PE image)";
        if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z')
            return false;
        uint32_t peOffset = ReadLittleEndian32(&bytes[0x3C]);
        if (uint64_t(peOffset) + 24 > bytes.size() || ReadLittleEndian32(&bytes[peOffset]) != 0x00004550)
            return false;
        coffOffset = peOffset + 4;
        uint16_t sectionCount = ReadLittleEndian16(&bytes[coffOffset + 2]);
        uint16_t optionalSize = ReadLittleEndian16(&bytes[coffOffset + 16]);
        optionalOffset = coffOffset + 20;
        if (optionalOffset + optionalSize > bytes.size() || optionalSize < 96)
            return false;
        uint16_t magic = ReadLittleEndian16(&bytes[optionalOffset]);
        if (magic != 0x10B && magic != 0x20B)
            return false;
        is64 = magic == 0x20B;
        sectionAlignment = ReadLittleEndian32(&bytes[optionalOffset + 32]);
        fileAlignment = ReadLittleEndian32(&bytes[optionalOffset + 36]);
        sizeOfHeaders = ReadLittleEndian32(&bytes[optionalOffset + 60]);
        size_t countOffset = optionalOffset + (is64 ? 108 : 92);
        directoryOffset = countOffset + 4;
        if (countOffset + 4 > optionalOffset + optionalSize)
            return false;
        directoryCount = ReadLittleEndian32(&bytes[countOffset]);
        if (directoryOffset + uint64_t(directoryCount) * 8 > optionalOffset + optionalSize)
            return false;
        if (sectionAlignment == 0 || fileAlignment == 0 || sizeOfHeaders > fileSize)
            return false;
        sectionTableOffset = optionalOffset + optionalSize;
        if (sectionTableOffset + uint64_t(sectionCount) * kSectionHeaderSize > bytes.size())
            return false;
        for (uint16_t i = 0; i < sectionCount; ++i) {
            size_t at = sectionTableOffset + i * kSectionHeaderSize;
            Section section{ReadLittleEndian32(&bytes[at + 8]), ReadLittleEndian32(&bytes[at + 12]),
                            ReadLittleEndian32(&bytes[at + 16]), ReadLittleEndian32(&bytes[at + 20]), at};
            if (uint64_t(section.rawPointer) + section.rawSize > fileSize)
                return false;
            sections.push_back(section);
        }
        error.clear();
        return true;
    }

    void Directory(int index, uint32_t& rva, uint32_t& size) const
    {
        rva = size = 0;
        if (static_cast<uint32_t>(index) < directoryCount) {
            rva = ReadLittleEndian32(&bytes[directoryOffset + index * 8]);
            size = ReadLittleEndian32(&bytes[directoryOffset + index * 8 + 4]);
        }
    }

    // File offset of [rva, rva + size) when it lies in one section's file data.
    bool FileOffset(uint32_t rva, uint32_t size, size_t& offset) const
    {
        for (const Section& section : sections) {
            if (rva >= section.virtualAddress && uint64_t(rva) - section.virtualAddress + size <= section.rawSize) {
                offset = section.rawPointer + (rva - section.virtualAddress);
                return true;
            }
        }
        return false;
    }

    int SectionOf(uint32_t rva) const
    {
        for (size_t i = 0; i < sections.size(); ++i) {
            if (sections[i].Contains(rva))
                return static_cast<int>(i);
        }
        return -1;
    }

    uint64_t SectionDataEnd() const
    {
        uint64_t end = sizeOfHeaders;
        for (const Section& section : sections)
            end = std::max<uint64_t>(end, uint64_t(section.rawPointer) + section.rawSize);
        return end;
    }
};

}  // namespace pe

#include "tools/common/pe_resources.h"

#include "tools/common/pe_image.h"

#include <algorithm>
#include <cstddef>
#include <istream>
#include <ostream>
#include <set>

namespace pe {
namespace {

constexpr int kResourceDirectory = 2;
constexpr int kSecurityDirectory = 4;
constexpr int kRelocationDirectory = 5;
constexpr uint32_t kResourceSectionFlags = 0x40000040;  // initialised data, readable
constexpr size_t kMaxResources = 65536;
constexpr uint32_t kMaxFileAlignment = 0x10000;

bool IsPowerOfTwo(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

uint64_t AlignUp(uint64_t value, uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// Walks the three levels (type, name, language) of the resource directory.
// The directory must be a tree: a directory or data entry reached twice, or
// key texts or data that add up to more than the file holds, mark it damaged,
// so that a few bytes of directory cannot stand for millions of resources.
class TreeReader {
public:
    TreeReader(const Image& image, uint32_t rootRva, bool withData, std::vector<Resource>& out)
        : image_(image), root_(rootRva), withData_(withData), out_(out)
    {
    }

    bool Directory(uint32_t offset, int level, Resource& path)
    {
        size_t at;
        if (!FirstVisit(offset) || !Bytes(offset, 16, at))
            return false;
        uint32_t count =
            uint32_t(ReadLittleEndian16(&image_.bytes[at + 12])) + ReadLittleEndian16(&image_.bytes[at + 14]);
        for (uint32_t i = 0; i < count; ++i) {
            size_t entry;
            if (!Bytes(offset + 16 + i * 8, 8, entry))
                return false;
            uint32_t nameField = ReadLittleEndian32(&image_.bytes[entry]);
            uint32_t target = ReadLittleEndian32(&image_.bytes[entry + 4]);
            ResourceKey key;
            if (!Key(nameField, key))
                return false;
            if (level == 0)
                path.type = key;
            else if (level == 1)
                path.name = key;
            else if (!key.isId)
                return false;
            else
                path.language = key.id;
            bool isDirectory = (target & 0x80000000u) != 0;
            if (isDirectory != (level < 2))
                return false;
            if (isDirectory ? !Directory(target & 0x7FFFFFFF, level + 1, path) : !Data(target, path))
                return false;
        }
        return true;
    }

private:
    bool FirstVisit(uint32_t offset) { return visited_.insert(offset).second; }

    // Counts bytes taken from the image; false once they exceed the file's
    // size (of which bytes may hold only the beginning).
    bool Take(uint64_t bytes, uint64_t& taken) const
    {
        taken += bytes;
        return taken <= image_.fileSize;
    }

    bool Bytes(uint32_t offset, uint32_t size, size_t& at) const
    {
        return uint64_t(root_) + offset <= 0xFFFFFFFFu && image_.FileOffset(root_ + offset, size, at) &&
               uint64_t(at) + size <= image_.bytes.size();
    }

    bool Key(uint32_t field, ResourceKey& key)
    {
        key = ResourceKey{};
        if ((field & 0x80000000u) == 0) {
            key.id = static_cast<uint16_t>(field);
            return true;
        }
        key.isId = false;
        size_t at;
        if (!Bytes(field & 0x7FFFFFFF, 2, at))
            return false;
        uint16_t length = ReadLittleEndian16(&image_.bytes[at]);
        if (!Bytes(field & 0x7FFFFFFF, 2 + 2u * length, at) || !Take(2u * length, textBytes_))
            return false;
        for (uint16_t i = 0; i < length; ++i)
            key.text.push_back(static_cast<char16_t>(ReadLittleEndian16(&image_.bytes[at + 2 + 2 * i])));
        return true;
    }

    bool Data(uint32_t offset, Resource& path)
    {
        size_t at;
        if (out_.size() >= kMaxResources || !FirstVisit(offset) || !Bytes(offset, 16, at))
            return false;
        uint32_t dataRva = ReadLittleEndian32(&image_.bytes[at]);
        uint32_t size = ReadLittleEndian32(&image_.bytes[at + 4]);
        path.codePage = ReadLittleEndian32(&image_.bytes[at + 8]);
        size_t dataAt;
        if (!image_.FileOffset(dataRva, size, dataAt) || !Take(size, dataBytes_))
            return false;
        path.fileOffset = dataAt;
        if (withData_)
            path.data.assign(image_.bytes.begin() + dataAt, image_.bytes.begin() + dataAt + size);
        else
            path.outsideSize = size;
        out_.push_back(path);
        return true;
    }

    const Image& image_;
    uint32_t root_;
    bool withData_;
    std::vector<Resource>& out_;
    std::set<uint32_t> visited_;  // directories and data entries, by offset
    uint64_t textBytes_ = 0;
    uint64_t dataBytes_ = 0;
};

bool ReadTree(const Image& image, bool withData, std::vector<Resource>& resources, std::string& error)
{
    resources.clear();
    uint32_t rva, size;
    image.Directory(kResourceDirectory, rva, size);
    if (rva == 0)
        return true;
    Resource path;
    TreeReader reader(image, rva, withData, resources);
    if (!reader.Directory(0, 0, path)) {
        error = "the program's resource directory is damaged";
        return false;
    }
    return true;
}

// Named entries first, in their given order, then integer ids ascending:
// the order in which the system searches a directory.
bool KeyLess(const ResourceKey& a, const ResourceKey& b)
{
    if (a.isId != b.isId)
        return !a.isId;
    return a.isId && a.id < b.id;
}

struct LanguageNode {
    uint16_t language;
    const Resource* resource;
};
struct NameNode {
    ResourceKey key;
    std::vector<LanguageNode> languages;
};
struct TypeNode {
    ResourceKey key;
    std::vector<NameNode> names;
};

template <typename Node>
Node& NodeFor(std::vector<Node>& nodes, const ResourceKey& key)
{
    for (Node& node : nodes) {
        if (node.key == key)
            return node;
    }
    nodes.push_back(Node{key, {}});
    return nodes.back();
}

std::vector<TypeNode> BuildTree(const std::vector<Resource>& resources)
{
    std::vector<TypeNode> types;
    for (const Resource& resource : resources)
        NodeFor(NodeFor(types, resource.type).names, resource.name).languages.push_back({resource.language, &resource});
    auto byKey = [](const auto& a, const auto& b) { return KeyLess(a.key, b.key); };
    std::stable_sort(types.begin(), types.end(), byKey);
    for (TypeNode& type : types) {
        std::stable_sort(type.names.begin(), type.names.end(), byKey);
        for (NameNode& name : type.names)
            std::stable_sort(name.languages.begin(), name.languages.end(),
                             [](const LanguageNode& a, const LanguageNode& b) { return a.language < b.language; });
    }
    return types;
}

// Lays the tree out as a resource section at sectionRva: all directories
// (breadth first), the data entries, the name texts, then the data, each
// piece of data 8-byte aligned.
class SectionWriter {
public:
    SectionWriter(const std::vector<TypeNode>& types, uint32_t sectionRva) : types_(types), rva_(sectionRva) {}

    // The section, without the gap when a resource is one.
    std::vector<uint8_t> Write()
    {
        Plan();
        bytes_.assign(size_ - planGap_, 0);
        size_t dirAt = 0, entryAt = dataEntriesAt_, textAt = textsAt_, dataAt = dataAt_;
        size_t nextDir = DirectorySize(types_.size());
        // Root.
        WriteDirectoryHeader(dirAt, types_);
        for (size_t t = 0; t < types_.size(); ++t) {
            WriteEntry(dirAt + 16 + t * 8, types_[t].key, textAt, 0x80000000u | static_cast<uint32_t>(nextDir));
            typeDirs_.push_back(nextDir);
            nextDir += DirectorySize(types_[t].names.size());
        }
        // Types, then names.
        for (size_t t = 0; t < types_.size(); ++t) {
            WriteDirectoryHeader(typeDirs_[t], types_[t].names);
            for (size_t n = 0; n < types_[t].names.size(); ++n) {
                WriteEntry(typeDirs_[t] + 16 + n * 8, types_[t].names[n].key, textAt,
                           0x80000000u | static_cast<uint32_t>(nextDir));
                nameDirs_.push_back(nextDir);
                nextDir += DirectorySize(types_[t].names[n].languages.size());
            }
        }
        size_t nameIndex = 0;
        for (const TypeNode& type : types_) {
            for (const NameNode& name : type.names) {
                size_t at = nameDirs_[nameIndex++];
                WriteDirectoryHeader(at, name.languages);
                for (size_t l = 0; l < name.languages.size(); ++l) {
                    const Resource& resource = *name.languages[l].resource;
                    WriteLittleEndian32(&bytes_[at + 16 + l * 8], name.languages[l].language);
                    WriteLittleEndian32(&bytes_[at + 16 + l * 8 + 4], static_cast<uint32_t>(entryAt));
                    WriteLittleEndian32(&bytes_[entryAt], rva_ + static_cast<uint32_t>(dataAt));
                    WriteLittleEndian32(&bytes_[entryAt + 4], resource.DataSize());
                    WriteLittleEndian32(&bytes_[entryAt + 8], resource.codePage);
                    entryAt += 16;
                    if (resource.outsideSize != 0) {
                        gapAt_ = dataAt;
                        gapSize_ = resource.outsideSize;
                    } else {
                        std::copy(resource.data.begin(), resource.data.end(), bytes_.begin() + (dataAt - gapSize_));
                    }
                    dataAt = AlignUp(dataAt + resource.DataSize(), 8);
                }
            }
        }
        return bytes_;
    }

    size_t GapAt() const { return gapAt_; }
    uint32_t GapSize() const { return gapSize_; }

private:
    static size_t DirectorySize(size_t entries) { return 16 + 8 * entries; }

    template <typename Node>
    static size_t NamedCount(const std::vector<Node>& nodes)
    {
        return std::count_if(nodes.begin(), nodes.end(), [](const Node& node) { return !node.key.isId; });
    }

    void Plan()
    {
        size_t directories = DirectorySize(types_.size());
        size_t entries = 0, texts = 0, data = 0;
        auto addText = [&](const ResourceKey& key) { texts += key.isId ? 0 : 2 + 2 * key.text.size(); };
        for (const TypeNode& type : types_) {
            addText(type.key);
            directories += DirectorySize(type.names.size());
            for (const NameNode& name : type.names) {
                addText(name.key);
                directories += DirectorySize(name.languages.size());
                for (const LanguageNode& language : name.languages) {
                    entries += 16;
                    data = AlignUp(data + language.resource->DataSize(), 8);
                    planGap_ += language.resource->outsideSize;
                }
            }
        }
        dataEntriesAt_ = directories;
        textsAt_ = dataEntriesAt_ + entries;
        dataAt_ = AlignUp(textsAt_ + texts, 8);
        size_ = dataAt_ + data;
    }

    void WriteDirectoryHeader(size_t at, const std::vector<TypeNode>& nodes)
    {
        Header(at, NamedCount(nodes), nodes.size());
    }
    void WriteDirectoryHeader(size_t at, const std::vector<NameNode>& nodes)
    {
        Header(at, NamedCount(nodes), nodes.size());
    }
    void WriteDirectoryHeader(size_t at, const std::vector<LanguageNode>& nodes) { Header(at, 0, nodes.size()); }

    void Header(size_t at, size_t named, size_t total)
    {
        WriteLittleEndian16(&bytes_[at + 12], static_cast<uint16_t>(named));
        WriteLittleEndian16(&bytes_[at + 14], static_cast<uint16_t>(total - named));
    }

    void WriteEntry(size_t at, const ResourceKey& key, size_t& textAt, uint32_t target)
    {
        if (key.isId) {
            WriteLittleEndian32(&bytes_[at], key.id);
        } else {
            WriteLittleEndian32(&bytes_[at], 0x80000000u | static_cast<uint32_t>(textAt));
            WriteLittleEndian16(&bytes_[textAt], static_cast<uint16_t>(key.text.size()));
            for (size_t i = 0; i < key.text.size(); ++i)
                WriteLittleEndian16(&bytes_[textAt + 2 + 2 * i], static_cast<uint16_t>(key.text[i]));
            textAt += 2 + 2 * key.text.size();
        }
        WriteLittleEndian32(&bytes_[at + 4], target);
    }

    const std::vector<TypeNode>& types_;
    uint32_t rva_;
    std::vector<uint8_t> bytes_;
    std::vector<size_t> typeDirs_, nameDirs_;
    size_t dataEntriesAt_ = 0, textsAt_ = 0, dataAt_ = 0, size_ = 0;
    size_t planGap_ = 0, gapAt_ = 0;
    uint32_t gapSize_ = 0;
};

// The image checksum, computed with its own field zeroed: the 16-bit words
// summed with their carries folded back in, plus the file's length.
class ImageChecksum {
public:
    void Add(const uint8_t* bytes, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            if (!odd_) {
                low_ = bytes[i];
            } else {
                sum_ += low_ | uint32_t(bytes[i]) << 8;
                sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
            }
            odd_ = !odd_;
        }
        length_ += count;
    }

    uint32_t Value() const
    {
        uint64_t sum = sum_;
        if (odd_)
            sum = ((sum + low_) & 0xFFFF) + ((sum + low_) >> 16);
        sum = (sum & 0xFFFF) + (sum >> 16);
        return static_cast<uint32_t>(sum + length_);
    }

private:
    uint64_t sum_ = 0, length_ = 0;
    uint32_t low_ = 0;
    bool odd_ = false;
};

uint32_t Checksum(const std::vector<uint8_t>& bytes)
{
    ImageChecksum sum;
    sum.Add(bytes.data(), bytes.size());
    return sum.Value();
}

// True when no data directory but the one given points into the section.
bool OnlyDirectoryIn(const Image& image, const Section& section, int directory)
{
    for (uint32_t i = 0; i < image.directoryCount; ++i) {
        uint32_t rva, size;
        image.Directory(static_cast<int>(i), rva, size);
        if (static_cast<int>(i) != directory && i != kSecurityDirectory && rva != 0 && section.Contains(rva))
            return false;
    }
    return true;
}

// Where the new resource section goes: in place of the old one (index), with
// the relocations moved behind it, or appended (index = section count).
struct Placement {
    size_t index;
    bool replaces;
    int relocation;  // section moved behind the new one, or -1
};

Placement ChoosePlacement(const Image& image)
{
    size_t count = image.sections.size();
    Placement append{count, false, -1};
    uint32_t rva, size, relocRva, relocSize;
    image.Directory(kResourceDirectory, rva, size);
    image.Directory(kRelocationDirectory, relocRva, relocSize);
    int index = rva != 0 ? image.SectionOf(rva) : -1;
    if (index < 0 || image.sections[index].virtualAddress != rva ||
        !OnlyDirectoryIn(image, image.sections[index], kResourceDirectory))
        return append;
    const Section& resources = image.sections[index];
    for (int i = 0; i < index; ++i) {
        if (uint64_t(image.sections[i].rawPointer) + image.sections[i].rawSize > resources.rawPointer)
            return append;
    }
    size_t following = count - static_cast<size_t>(index) - 1;
    if (following == 0)
        return {static_cast<size_t>(index), true, -1};
    const Section& next = image.sections[index + 1];
    if (following == 1 && relocRva != 0 && next.virtualAddress == relocRva &&
        OnlyDirectoryIn(image, next, kRelocationDirectory) &&
        next.rawPointer >= uint64_t(resources.rawPointer) + resources.rawSize)
        return {static_cast<size_t>(index), true, index + 1};
    return append;
}

}  // namespace

bool ReadResources(const std::vector<uint8_t>& imageBytes, std::vector<Resource>& resources, std::string& error)
{
    Image image(imageBytes);
    return image.Parse(error) && ReadTree(image, true, resources, error);
}

bool FindResource(const std::vector<uint8_t>& image, uint16_t type, uint16_t name, std::vector<uint8_t>& data,
                  std::string& error)
{
    std::vector<Resource> resources;
    if (!ReadResources(image, resources, error))
        return false;
    for (Resource& resource : resources) {
        if (resource.type.isId && resource.type.id == type && resource.name.isId && resource.name.id == name) {
            data = std::move(resource.data);
            return true;
        }
    }
    error = "the program has no resource " + std::to_string(name) + " of type " + std::to_string(type);
    return false;
}

void ReplaceResource(std::vector<Resource>& resources, uint16_t type, uint16_t name, const std::vector<uint8_t>& data)
{
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [&](const Resource& r) {
                                       return r.type.isId && r.type.id == type && r.name.isId && r.name.id == name;
                                   }),
                    resources.end());
    Resource added;
    added.type.id = type;
    added.name.id = name;
    added.data = data;
    resources.push_back(std::move(added));
}

bool SetResource(const std::vector<uint8_t>& imageBytes, uint16_t type, uint16_t name, const std::vector<uint8_t>& data,
                 std::vector<uint8_t>& out, std::string& error)
{
    std::vector<Resource> resources;
    if (!ReadResources(imageBytes, resources, error))
        return false;
    ReplaceResource(resources, type, name, data);
    return WriteResources(imageBytes, resources, out, error);
}

namespace {

// Lays the image out with the new resources into out, which leaves out the
// gap of a resource not held (gapAt and gapSize say where it goes in the
// file; gapSize 0 when there is none). The checksum is left 0.
bool LayOut(const std::vector<uint8_t>& imageBytes, const std::vector<Resource>& resources, std::vector<uint8_t>& out,
            uint64_t& gapAt, uint32_t& gapSize, size_t& checksumAt, std::string& error)
{
    Image image(imageBytes);
    if (!image.Parse(error))
        return false;
    if (image.directoryCount <= kResourceDirectory) {
        error = "the program's headers have no resource directory entry";
        return false;
    }
    // Sections start at multiples of these; a program's file alignment is a
    // power of two of at most 64 KiB and its section alignment no smaller.
    if (!IsPowerOfTwo(image.fileAlignment) || image.fileAlignment > kMaxFileAlignment ||
        !IsPowerOfTwo(image.sectionAlignment) || image.sectionAlignment < image.fileAlignment) {
        error = "the program's file or section alignment is invalid";
        return false;
    }
    for (size_t i = 1; i < image.sections.size(); ++i) {
        if (image.sections[i].virtualAddress < image.sections[i - 1].virtualAddress) {
            error = "the program's sections are not in address order";
            return false;
        }
    }
    // The headers, with the section table, come before every section's data,
    // which is rewritten behind them.
    bool headersFirst = image.sectionTableOffset + image.sections.size() * kSectionHeaderSize <= image.sizeOfHeaders;
    for (const Section& section : image.sections)
        headersFirst = headersFirst && (section.rawSize == 0 || section.rawPointer >= image.sizeOfHeaders);
    if (!headersFirst) {
        error = "the program's section data overlaps its headers";
        return false;
    }
    uint32_t securityRva, securitySize;
    image.Directory(kSecurityDirectory, securityRva, securitySize);
    if (securitySize != 0) {
        error = "the program is signed; package the unsigned stub and sign the result";
        return false;
    }
    // Behind the sections only a symbol table may follow (an unstripped
    // program); it moves behind the new layout. Anything else would be lost.
    uint32_t symbolTable = ReadLittleEndian32(&imageBytes[image.coffOffset + 8]);
    uint64_t sectionEnd = image.SectionDataEnd();
    uint64_t overlayData = symbolTable != 0 ? symbolTable : imageBytes.size();
    if (overlayData < sectionEnd || overlayData > imageBytes.size() ||
        std::any_of(imageBytes.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(sectionEnd, imageBytes.size())),
                    imageBytes.begin() + static_cast<std::ptrdiff_t>(overlayData),
                    [](uint8_t byte) { return byte != 0; })) {
        error = "the program carries data behind its sections, which would be lost";
        return false;
    }

    if (resources.size() >= kMaxResources) {
        error = "too many resources";
        return false;
    }
    if (std::count_if(resources.begin(), resources.end(), [](const Resource& r) { return r.outsideSize != 0; }) > 1) {
        error = "more than one resource is not held";
        return false;
    }

    Placement placement = ChoosePlacement(image);
    std::vector<Section> sections(image.sections.begin(), image.sections.begin() + placement.index);
    if (!placement.replaces) {
        sections = image.sections;
        size_t freeHeader = image.sectionTableOffset + sections.size() * kSectionHeaderSize;
        if (freeHeader + kSectionHeaderSize > image.sizeOfHeaders ||
            std::any_of(imageBytes.begin() + freeHeader, imageBytes.begin() + freeHeader + kSectionHeaderSize,
                        [](uint8_t byte) { return byte != 0; })) {
            error = "the program's headers have no room for another section";
            return false;
        }
    }

    // Address and file position of the new section: behind the headers, which
    // take the addresses from 0 up, and behind every section.
    uint64_t virtualEnd = image.sizeOfHeaders, fileEnd = image.sizeOfHeaders;
    for (const Section& section : sections) {
        virtualEnd = std::max<uint64_t>(virtualEnd, section.VirtualEnd());
        fileEnd = std::max<uint64_t>(fileEnd, uint64_t(section.rawPointer) + section.rawSize);
    }
    Section resourceSection{};
    const uint64_t address = placement.replaces ? image.sections[placement.index].virtualAddress
                                                : AlignUp(virtualEnd, image.sectionAlignment);
    if (address >= 0x80000000u) {
        error = "the program would grow beyond 2 GiB";
        return false;
    }
    resourceSection.virtualAddress = static_cast<uint32_t>(address);
    resourceSection.rawPointer = static_cast<uint32_t>(placement.replaces ? image.sections[placement.index].rawPointer
                                                                          : AlignUp(fileEnd, image.fileAlignment));
    std::vector<TypeNode> types = BuildTree(resources);
    SectionWriter sectionWriter(types, resourceSection.virtualAddress);
    std::vector<uint8_t> tree = sectionWriter.Write();
    gapSize = sectionWriter.GapSize();
    gapAt = uint64_t(resourceSection.rawPointer) + sectionWriter.GapAt();
    uint64_t sectionSize = tree.size() + uint64_t(gapSize);
    if (uint64_t(resourceSection.virtualAddress) + AlignUp(sectionSize, image.sectionAlignment) >= 0x80000000u) {
        error = "the program would grow beyond 2 GiB";
        return false;
    }

    uint64_t kept = std::min<uint64_t>(resourceSection.rawPointer, sectionEnd);
    out.assign(imageBytes.begin(), imageBytes.begin() + static_cast<size_t>(kept));
    out.resize(resourceSection.rawPointer, 0);
    resourceSection.virtualSize = static_cast<uint32_t>(sectionSize);
    resourceSection.rawSize = static_cast<uint32_t>(AlignUp(sectionSize, image.fileAlignment));
    out.insert(out.end(), tree.begin(), tree.end());
    out.resize(size_t(resourceSection.rawPointer) + resourceSection.rawSize - gapSize, 0);

    std::vector<Section> written = sections;
    size_t resourceIndex = written.size();
    written.push_back(resourceSection);
    int32_t relocationShift = 0;
    if (placement.relocation >= 0) {
        Section relocation = image.sections[placement.relocation];
        Section moved = relocation;
        moved.virtualAddress = static_cast<uint32_t>(
            AlignUp(uint64_t(resourceSection.virtualAddress) + resourceSection.virtualSize, image.sectionAlignment));
        moved.rawPointer = static_cast<uint32_t>(out.size() + gapSize);
        out.insert(out.end(), imageBytes.begin() + relocation.rawPointer,
                   imageBytes.begin() + relocation.rawPointer + relocation.rawSize);
        relocationShift = static_cast<int32_t>(moved.virtualAddress - relocation.virtualAddress);
        written.push_back(moved);
    }

    // Section table: the kept headers stay, the new and moved ones are written.
    size_t table = image.sectionTableOffset;
    std::vector<uint8_t> headers(imageBytes.begin() + table,
                                 imageBytes.begin() + table + image.sections.size() * kSectionHeaderSize);
    std::fill(out.begin() + table,
              out.begin() + table + std::max(image.sections.size(), written.size()) * kSectionHeaderSize, 0);
    for (size_t i = 0; i < written.size(); ++i) {
        size_t at = table + i * kSectionHeaderSize;
        if (i == resourceIndex) {
            static const char kName[8] = {'.', 'r', 's', 'r', 'c'};
            std::copy(kName, kName + 8, out.begin() + at);
            WriteLittleEndian32(&out[at + 36], kResourceSectionFlags);
        } else {
            size_t source = written[i].headerOffset - table;
            std::copy(headers.begin() + source, headers.begin() + source + kSectionHeaderSize, out.begin() + at);
        }
        WriteLittleEndian32(&out[at + 8], written[i].virtualSize);
        WriteLittleEndian32(&out[at + 12], written[i].virtualAddress);
        WriteLittleEndian32(&out[at + 16], written[i].rawSize);
        WriteLittleEndian32(&out[at + 20], written[i].rawPointer);
    }
    // An appended section leaves the old one in place but unused; tools that
    // find resources by section name must not take it for the real one.
    uint32_t oldRva, oldSize;
    image.Directory(kResourceDirectory, oldRva, oldSize);
    int oldIndex = oldRva != 0 ? image.SectionOf(oldRva) : -1;
    if (!placement.replaces && oldIndex >= 0) {
        static const char kOldName[8] = {'.', 'r', 's', 'r', 'c', 'o', 'l', 'd'};
        std::copy(kOldName, kOldName + 8, out.begin() + table + oldIndex * kSectionHeaderSize);
    }
    WriteLittleEndian16(&out[image.coffOffset + 2], static_cast<uint16_t>(written.size()));
    if (symbolTable != 0) {
        WriteLittleEndian32(&out[image.coffOffset + 8], static_cast<uint32_t>(out.size() + gapSize));
        out.insert(out.end(), imageBytes.begin() + symbolTable, imageBytes.end());
    }

    size_t optional = image.optionalOffset;
    uint32_t oldResourceRaw = placement.replaces ? image.sections[placement.index].rawSize : 0;
    WriteLittleEndian32(&out[optional + 8],
                        ReadLittleEndian32(&out[optional + 8]) - oldResourceRaw + resourceSection.rawSize);
    uint64_t imageEnd = 0;
    for (const Section& section : written)
        imageEnd = std::max<uint64_t>(
            imageEnd, uint64_t(section.virtualAddress) + std::max(section.virtualSize, section.rawSize));
    WriteLittleEndian32(&out[optional + 56], static_cast<uint32_t>(AlignUp(imageEnd, image.sectionAlignment)));
    WriteLittleEndian32(&out[image.directoryOffset + kResourceDirectory * 8], resourceSection.virtualAddress);
    WriteLittleEndian32(&out[image.directoryOffset + kResourceDirectory * 8 + 4], resourceSection.virtualSize);
    if (relocationShift != 0) {
        size_t at = image.directoryOffset + kRelocationDirectory * 8;
        WriteLittleEndian32(&out[at], ReadLittleEndian32(&out[at]) + static_cast<uint32_t>(relocationShift));
    }
    checksumAt = optional + 64;
    WriteLittleEndian32(&out[checksumAt], 0);
    return true;
}

}  // namespace

bool WriteResources(const std::vector<uint8_t>& imageBytes, const std::vector<Resource>& resources,
                    std::vector<uint8_t>& out, std::string& error)
{
    uint64_t gapAt;
    uint32_t gapSize;
    size_t checksumAt;
    if (!LayOut(imageBytes, resources, out, gapAt, gapSize, checksumAt, error))
        return false;
    if (gapSize != 0) {
        error = "a resource is not held";
        return false;
    }
    WriteLittleEndian32(&out[checksumAt], Checksum(out));
    return true;
}

bool WriteResources(const std::vector<uint8_t>& imageBytes, const std::vector<Resource>& resources, SplitImage& out,
                    std::string& error)
{
    uint64_t gapAt;
    size_t checksumAt;
    if (!LayOut(imageBytes, resources, out.head, gapAt, out.gapSize, checksumAt, error))
        return false;
    out.tail.assign(out.head.begin() + static_cast<std::ptrdiff_t>(gapAt), out.head.end());
    out.head.resize(static_cast<size_t>(gapAt));
    out.checksumAt = checksumAt;
    return true;
}

bool WriteSplitImage(const SplitImage& image, std::istream& gapBytes, std::ostream& out, std::string& error)
{
    ImageChecksum sum;
    auto put = [&](const uint8_t* bytes, size_t count) {
        sum.Add(bytes, count);
        out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    };
    const std::streampos start = out.tellp();
    put(image.head.data(), image.head.size());
    std::vector<uint8_t> chunk(64 * 1024);
    for (uint64_t done = 0; done < image.gapSize && out;) {
        size_t take = static_cast<size_t>(std::min<uint64_t>(chunk.size(), image.gapSize - done));
        if (!gapBytes.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(take))) {
            error = "the resource's bytes cannot be read";
            return false;
        }
        put(chunk.data(), take);
        done += take;
    }
    put(image.tail.data(), image.tail.size());
    const std::streampos end = out.tellp();
    uint8_t checksum[4];
    for (int i = 0; i < 4; ++i)
        checksum[i] = static_cast<uint8_t>(sum.Value() >> (8 * i));
    out.seekp(start + static_cast<std::streamoff>(image.checksumAt));
    out.write(reinterpret_cast<const char*>(checksum), sizeof checksum);
    out.seekp(end);
    if (!out) {
        error = "the program cannot be written";
        return false;
    }
    return true;
}

bool LocateResource(const std::vector<uint8_t>& beginning, uint64_t fileSize, uint16_t type, uint16_t name,
                    uint64_t& offset, uint32_t& size, std::string& error)
{
    Image image(beginning, fileSize);
    std::vector<Resource> resources;
    if (!image.Parse(error) || !ReadTree(image, false, resources, error))
        return false;
    for (const Resource& resource : resources) {
        if (resource.type.isId && resource.type.id == type && resource.name.isId && resource.name.id == name) {
            offset = resource.fileOffset;
            size = resource.outsideSize;
            return true;
        }
    }
    error = "the program has no resource " + std::to_string(name) + " of type " + std::to_string(type);
    return false;
}

void HoldOutside(std::vector<Resource>& resources, uint16_t type, uint16_t name, uint32_t size)
{
    ReplaceResource(resources, type, name, {});
    resources.back().outsideSize = size;
}

}  // namespace pe

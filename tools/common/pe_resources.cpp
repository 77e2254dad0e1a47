#include "tools/common/pe_resources.h"

#include "tools/common/pe_image.h"

#include <algorithm>
#include <cstddef>

namespace pe {
namespace {

constexpr int kResourceDirectory = 2;
constexpr int kSecurityDirectory = 4;
constexpr int kRelocationDirectory = 5;
constexpr uint32_t kResourceSectionFlags = 0x40000040;  // initialised data, readable
constexpr size_t kMaxResources = 65536;

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    Put16(bytes, at, static_cast<uint16_t>(value));
    Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

uint64_t AlignUp(uint64_t value, uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// Walks the three levels (type, name, language) of the resource directory.
class TreeReader {
public:
    TreeReader(const Image& image, uint32_t rootRva, std::vector<Resource>& out)
        : image_(image), root_(rootRva), out_(out)
    {
    }

    bool Directory(uint32_t offset, int level, Resource& path)
    {
        size_t at;
        if (!Bytes(offset, 16, at))
            return false;
        uint32_t count = uint32_t(Get16(image_.bytes, at + 12)) + Get16(image_.bytes, at + 14);
        for (uint32_t i = 0; i < count; ++i) {
            size_t entry;
            if (!Bytes(offset + 16 + i * 8, 8, entry))
                return false;
            uint32_t nameField = Get32(image_.bytes, entry);
            uint32_t target = Get32(image_.bytes, entry + 4);
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
    bool Bytes(uint32_t offset, uint32_t size, size_t& at) const
    {
        return uint64_t(root_) + offset <= 0xFFFFFFFFu && image_.FileOffset(root_ + offset, size, at);
    }

    bool Key(uint32_t field, ResourceKey& key) const
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
        uint16_t length = Get16(image_.bytes, at);
        if (!Bytes(field & 0x7FFFFFFF, 2 + 2u * length, at))
            return false;
        for (uint16_t i = 0; i < length; ++i)
            key.text.push_back(static_cast<char16_t>(Get16(image_.bytes, at + 2 + 2 * i)));
        return true;
    }

    bool Data(uint32_t offset, Resource& path)
    {
        size_t at;
        if (out_.size() >= kMaxResources || !Bytes(offset, 16, at))
            return false;
        uint32_t dataRva = Get32(image_.bytes, at);
        uint32_t size = Get32(image_.bytes, at + 4);
        path.codePage = Get32(image_.bytes, at + 8);
        size_t dataAt;
        if (!image_.FileOffset(dataRva, size, dataAt))
            return false;
        path.data.assign(image_.bytes.begin() + dataAt, image_.bytes.begin() + dataAt + size);
        out_.push_back(path);
        return true;
    }

    const Image& image_;
    uint32_t root_;
    std::vector<Resource>& out_;
};

bool ReadTree(const Image& image, std::vector<Resource>& resources, std::string& error)
{
    resources.clear();
    uint32_t rva, size;
    image.Directory(kResourceDirectory, rva, size);
    if (rva == 0)
        return true;
    Resource path;
    TreeReader reader(image, rva, resources);
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

    std::vector<uint8_t> Write()
    {
        Plan();
        bytes_.assign(size_, 0);
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
                    Put32(bytes_, at + 16 + l * 8, name.languages[l].language);
                    Put32(bytes_, at + 16 + l * 8 + 4, static_cast<uint32_t>(entryAt));
                    Put32(bytes_, entryAt, rva_ + static_cast<uint32_t>(dataAt));
                    Put32(bytes_, entryAt + 4, static_cast<uint32_t>(resource.data.size()));
                    Put32(bytes_, entryAt + 8, resource.codePage);
                    entryAt += 16;
                    std::copy(resource.data.begin(), resource.data.end(), bytes_.begin() + dataAt);
                    dataAt = AlignUp(dataAt + resource.data.size(), 8);
                }
            }
        }
        return bytes_;
    }

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
                    data = AlignUp(data + language.resource->data.size(), 8);
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
        Put16(bytes_, at + 12, static_cast<uint16_t>(named));
        Put16(bytes_, at + 14, static_cast<uint16_t>(total - named));
    }

    void WriteEntry(size_t at, const ResourceKey& key, size_t& textAt, uint32_t target)
    {
        if (key.isId) {
            Put32(bytes_, at, key.id);
        } else {
            Put32(bytes_, at, 0x80000000u | static_cast<uint32_t>(textAt));
            Put16(bytes_, textAt, static_cast<uint16_t>(key.text.size()));
            for (size_t i = 0; i < key.text.size(); ++i)
                Put16(bytes_, textAt + 2 + 2 * i, static_cast<uint16_t>(key.text[i]));
            textAt += 2 + 2 * key.text.size();
        }
        Put32(bytes_, at + 4, target);
    }

    const std::vector<TypeNode>& types_;
    uint32_t rva_;
    std::vector<uint8_t> bytes_;
    std::vector<size_t> typeDirs_, nameDirs_;
    size_t dataEntriesAt_ = 0, textsAt_ = 0, dataAt_ = 0, size_ = 0;
};

// The image checksum, computed with its own field zeroed.
uint32_t Checksum(const std::vector<uint8_t>& bytes)
{
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        sum += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + bytes.size());
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
    return image.Parse(error) && ReadTree(image, resources, error);
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

bool SetResource(const std::vector<uint8_t>& imageBytes, uint16_t type, uint16_t name, const std::vector<uint8_t>& data,
                 std::vector<uint8_t>& out, std::string& error)
{
    Image image(imageBytes);
    std::vector<Resource> resources;
    if (!image.Parse(error) || !ReadTree(image, resources, error))
        return false;
    if (image.directoryCount <= kResourceDirectory) {
        error = "the program's headers have no resource directory entry";
        return false;
    }
    for (size_t i = 1; i < image.sections.size(); ++i) {
        if (image.sections[i].virtualAddress < image.sections[i - 1].virtualAddress) {
            error = "the program's sections are not in address order";
            return false;
        }
    }
    uint32_t securityRva, securitySize;
    image.Directory(kSecurityDirectory, securityRva, securitySize);
    if (securitySize != 0) {
        error = "the program is signed; package the unsigned stub and sign the result";
        return false;
    }
    // Behind the sections only a symbol table may follow (an unstripped
    // program); it moves behind the new layout. Anything else would be lost.
    uint32_t symbolTable = Get32(imageBytes, image.coffOffset + 8);
    uint64_t sectionEnd = image.SectionDataEnd();
    uint64_t overlayData = symbolTable != 0 ? symbolTable : imageBytes.size();
    if (overlayData < sectionEnd || overlayData > imageBytes.size() ||
        std::any_of(imageBytes.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(sectionEnd, imageBytes.size())),
                    imageBytes.begin() + static_cast<std::ptrdiff_t>(overlayData),
                    [](uint8_t byte) { return byte != 0; })) {
        error = "the program carries data behind its sections, which would be lost";
        return false;
    }

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

    // Address and file position of the new section.
    uint64_t virtualEnd = 0, fileEnd = image.sizeOfHeaders;
    for (const Section& section : sections) {
        virtualEnd = std::max<uint64_t>(virtualEnd, section.VirtualEnd());
        fileEnd = std::max<uint64_t>(fileEnd, uint64_t(section.rawPointer) + section.rawSize);
    }
    Section resourceSection{};
    resourceSection.virtualAddress =
        static_cast<uint32_t>(placement.replaces ? image.sections[placement.index].virtualAddress
                                                 : AlignUp(virtualEnd, image.sectionAlignment));
    resourceSection.rawPointer = static_cast<uint32_t>(placement.replaces ? image.sections[placement.index].rawPointer
                                                                          : AlignUp(fileEnd, image.fileAlignment));
    std::vector<uint8_t> tree = SectionWriter(BuildTree(resources), resourceSection.virtualAddress).Write();
    resourceSection.virtualSize = static_cast<uint32_t>(tree.size());
    resourceSection.rawSize = static_cast<uint32_t>(AlignUp(tree.size(), image.fileAlignment));
    if (uint64_t(resourceSection.virtualAddress) + AlignUp(tree.size(), image.sectionAlignment) >= 0x80000000u) {
        error = "the program would grow beyond 2 GiB";
        return false;
    }

    uint64_t kept = std::min<uint64_t>(resourceSection.rawPointer, sectionEnd);
    out.assign(imageBytes.begin(), imageBytes.begin() + static_cast<size_t>(kept));
    out.resize(resourceSection.rawPointer, 0);
    out.insert(out.end(), tree.begin(), tree.end());
    out.resize(size_t(resourceSection.rawPointer) + resourceSection.rawSize, 0);

    std::vector<Section> written = sections;
    size_t resourceIndex = written.size();
    written.push_back(resourceSection);
    int32_t relocationShift = 0;
    if (placement.relocation >= 0) {
        Section relocation = image.sections[placement.relocation];
        Section moved = relocation;
        moved.virtualAddress = static_cast<uint32_t>(
            AlignUp(uint64_t(resourceSection.virtualAddress) + resourceSection.virtualSize, image.sectionAlignment));
        moved.rawPointer = static_cast<uint32_t>(out.size());
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
            Put32(out, at + 36, kResourceSectionFlags);
        } else {
            size_t source = written[i].headerOffset - table;
            std::copy(headers.begin() + source, headers.begin() + source + kSectionHeaderSize, out.begin() + at);
        }
        Put32(out, at + 8, written[i].virtualSize);
        Put32(out, at + 12, written[i].virtualAddress);
        Put32(out, at + 16, written[i].rawSize);
        Put32(out, at + 20, written[i].rawPointer);
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
    Put16(out, image.coffOffset + 2, static_cast<uint16_t>(written.size()));
    if (symbolTable != 0) {
        Put32(out, image.coffOffset + 8, static_cast<uint32_t>(out.size()));
        out.insert(out.end(), imageBytes.begin() + symbolTable, imageBytes.end());
    }

    size_t optional = image.optionalOffset;
    uint32_t oldResourceRaw = placement.replaces ? image.sections[placement.index].rawSize : 0;
    Put32(out, optional + 8, Get32(out, optional + 8) - oldResourceRaw + resourceSection.rawSize);
    uint64_t imageEnd = 0;
    for (const Section& section : written)
        imageEnd = std::max<uint64_t>(
            imageEnd, uint64_t(section.virtualAddress) + std::max(section.virtualSize, section.rawSize));
    Put32(out, optional + 56, static_cast<uint32_t>(AlignUp(imageEnd, image.sectionAlignment)));
    Put32(out, image.directoryOffset + kResourceDirectory * 8, resourceSection.virtualAddress);
    Put32(out, image.directoryOffset + kResourceDirectory * 8 + 4, resourceSection.virtualSize);
    if (relocationShift != 0) {
        size_t at = image.directoryOffset + kRelocationDirectory * 8;
        Put32(out, at, Get32(out, at) + static_cast<uint32_t>(relocationShift));
    }
    Put32(out, optional + 64, 0);
    Put32(out, optional + 64, Checksum(out));
    return true;
}

}  // namespace pe

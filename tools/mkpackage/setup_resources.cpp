#include "tools/mkpackage/setup_resources.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <utility>

#include "package/package_format.h"
#include "text/little_endian.h"
#include "tools/mkpackage/package_writer.h"
#include "tools/mkpackage/product_builder.h"
#include "tools/setup-stub/stub_resources.h"

namespace mkpackage {
namespace {

constexpr uint16_t kEngineResourceId = STUB_ENGINE_RESOURCE;
constexpr uint16_t kEnglishLanguage = 0x0409, kJapaneseLanguage = 0x0411;
constexpr uint16_t kEnglishCodePage = 1252, kJapaneseCodePage = 932;
constexpr size_t kIconDirectorySize = 6, kIconFileEntrySize = 16;
constexpr size_t kMaxIconImages = 255;

// Compact on purpose: it travels in every setup.exe.
constexpr char kManifestHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                 "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
                                 "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
                                 "<requestedExecutionLevel level=\"";
constexpr char kManifestTail[] =
    "\" uiAccess=\"false\"/></requestedPrivileges></security></trustInfo>\n"
    "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\"><application>\n"
    "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\n"  // Vista
    "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\n"  // 7
    "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\n"  // 8
    "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\n"  // 8.1
    "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\n"  // 10 and 11
    "</application></compatibility>\n"
    "<application xmlns=\"urn:schemas-microsoft-com:asm.v3\"><windowsSettings>"
    "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"
    "</windowsSettings></application>\n"
    "</assembly>\n";

void Append16(std::vector<uint8_t>& bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void Append32(std::vector<uint8_t>& bytes, uint32_t value)
{
    Append16(bytes, static_cast<uint16_t>(value));
    Append16(bytes, static_cast<uint16_t>(value >> 16));
}

void AlignTo4(std::vector<uint8_t>& bytes)
{
    bytes.resize((bytes.size() + 3) & ~size_t(3), 0);
}

// UTF-16 of a UTF-8 text that the manifest reader has already checked.
std::u16string Utf16(const std::string& utf8)
{
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        uint8_t lead = static_cast<uint8_t>(utf8[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
            c = c << 6 | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
        i += length;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

// One node of a version resource: its length, the length of its value, its
// type (1: text, 0: binary), its key, then its value and its children, each
// starting on a 4-byte boundary.
struct VersionNode {
    explicit VersionNode(std::u16string nodeKey, bool isText = true) : key(std::move(nodeKey)), text(isText) {}

    std::u16string key;
    bool text;
    std::vector<uint8_t> value;
    uint16_t valueLength = 0;  // in characters for a text, bytes otherwise
    std::vector<VersionNode> children;

    std::vector<uint8_t> Bytes() const
    {
        std::vector<uint8_t> bytes(6, 0);
        for (char16_t c : key)
            Append16(bytes, static_cast<uint16_t>(c));
        Append16(bytes, 0);
        AlignTo4(bytes);
        bytes.insert(bytes.end(), value.begin(), value.end());
        for (const VersionNode& child : children) {
            AlignTo4(bytes);
            std::vector<uint8_t> inner = child.Bytes();
            bytes.insert(bytes.end(), inner.begin(), inner.end());
        }
        WriteLittleEndian16(&bytes[0], static_cast<uint16_t>(bytes.size()));
        WriteLittleEndian16(&bytes[2], valueLength);
        WriteLittleEndian16(&bytes[4], text ? 1 : 0);
        return bytes;
    }
};

VersionNode TextValue(const char* key, const std::string& utf8)
{
    VersionNode node{Utf16(key)};
    std::u16string value = Utf16(utf8);
    for (char16_t c : value)
        Append16(node.value, static_cast<uint16_t>(c));
    Append16(node.value, 0);
    node.valueLength = static_cast<uint16_t>(value.size() + 1);
    return node;
}

VersionNode StringTable(uint16_t language, uint16_t codePage, const VersionTexts& texts, const std::string& fileVersion)
{
    char name[9];
    snprintf(name, sizeof name, "%04X%04X", language, codePage);
    VersionNode table{Utf16(name)};
    const std::pair<const char*, const std::string*> values[] = {
        {"CompanyName", &texts.publisher},   {"FileDescription", &texts.fileDescription}, {"FileVersion", &fileVersion},
        {"ProductName", &texts.productName}, {"ProductVersion", &texts.productVersion},
    };
    for (const auto& [key, value] : values) {
        if (!value->empty())
            table.children.push_back(TextValue(key, *value));
    }
    return table;
}

// An icon image is a PNG file or a bitmap that starts with its 40-byte header.
bool IsIconImage(const std::vector<uint8_t>& ico, size_t at, size_t size)
{
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= sizeof kPng && std::equal(kPng, kPng + sizeof kPng, ico.begin() + at))
        return true;
    return size >= 40 && ReadLittleEndian32(&ico[at]) == 40;
}

pe::ResourceKey FirstIconGroup(const std::vector<pe::Resource>& resources)
{
    pe::ResourceKey group;
    group.id = 1;
    for (const pe::Resource& resource : resources) {
        if (resource.type.isId && resource.type.id == pe::kIconGroup)
            return resource.name;
    }
    return group;
}

VersionTexts TextsOf(const std::string& name, const std::string& version, const std::string& publisher,
                     const char* setupWord, const char* separator)
{
    return {name, version, name.empty() ? setupWord : name + separator + setupWord, publisher};
}

}  // namespace

bool IdentityFromManifest(const Manifest& manifest, SetupIdentity& identity, Diagnostics& d)
{
    const SetupDetails& details = manifest.setup;
    identity = {};
    identity.requireAdministrator = manifest.english.okIfNotAdmin == 0 || manifest.japanese.okIfNotAdmin == 0;
    identity.english = TextsOf(details.englishName, details.englishVersion, details.publisher, "Setup", " ");
    identity.japanese =
        TextsOf(details.japaneseName, details.japaneseVersion, details.publisher,
                "\xE3\x82\xBB\xE3\x83\x83\xE3\x83\x88\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97",  // セットアップ
                " ");
    identity.fileVersion = details.fileVersion;
    if (!details.icon)
        return true;
    if (!ReadWholeFile(*details.icon, identity.icon)) {
        d.Error("icon", Quote(*details.icon) + " cannot be read");
        return false;
    }
    // Checked now, so that a bad icon is told before the content is compressed.
    std::vector<pe::Resource> scratch;
    std::string error;
    if (!ReplaceIcon(scratch, identity.icon, error)) {
        d.Error("icon", Quote(*details.icon) + " " + error);
        return false;
    }
    return true;
}

std::string ApplicationManifest(bool requireAdministrator)
{
    return std::string(kManifestHead) + (requireAdministrator ? "requireAdministrator" : "asInvoker") + kManifestTail;
}

std::vector<uint8_t> VersionResource(const SetupIdentity& identity)
{
    std::array<uint16_t, 4> numbers = identity.fileVersion.value_or(std::array<uint16_t, 4>{});
    std::string fileVersion;
    if (identity.fileVersion) {
        for (uint16_t number : numbers) {
            if (!fileVersion.empty())
                fileVersion += '.';
            fileVersion += std::to_string(number);
        }
    }
    VersionNode root{u"VS_VERSION_INFO", false};
    const uint32_t fixed[13] = {
        0xFEEF04BD,
        0x00010000,  // signature, structure version
        uint32_t(numbers[0]) << 16 | numbers[1],
        uint32_t(numbers[2]) << 16 | numbers[3],  // file version
        uint32_t(numbers[0]) << 16 | numbers[1],
        uint32_t(numbers[2]) << 16 | numbers[3],  // product version
        0x3F,
        0,  // flags mask, flags
        0x4,
        0x1,
        0,  // Win32, application, no subtype
        0,
        0,  // no date
    };
    for (uint32_t word : fixed)
        Append32(root.value, word);
    root.valueLength = static_cast<uint16_t>(root.value.size());

    VersionNode strings{u"StringFileInfo"};
    strings.children.push_back(StringTable(kEnglishLanguage, kEnglishCodePage, identity.english, fileVersion));
    strings.children.push_back(StringTable(kJapaneseLanguage, kJapaneseCodePage, identity.japanese, fileVersion));
    VersionNode translation{u"Translation", false};
    for (uint16_t word : {kEnglishLanguage, kEnglishCodePage, kJapaneseLanguage, kJapaneseCodePage})
        Append16(translation.value, word);
    translation.valueLength = static_cast<uint16_t>(translation.value.size());
    VersionNode variables{u"VarFileInfo"};
    variables.children.push_back(translation);
    root.children = {strings, variables};
    return root.Bytes();
}

bool ReplaceIcon(std::vector<pe::Resource>& resources, const std::vector<uint8_t>& ico, std::string& error)
{
    size_t count = ico.size() >= kIconDirectorySize ? size_t(ReadLittleEndian16(&ico[4])) : 0;
    if (ico.size() < kIconDirectorySize || ico[0] != 0 || ico[1] != 0 || ico[2] != 1 || ico[3] != 0 || count == 0) {
        error = "is no icon (ICO) file";
        return false;
    }
    if (count > kMaxIconImages || kIconDirectorySize + count * kIconFileEntrySize > ico.size()) {
        error = "has a damaged image directory";
        return false;
    }
    std::vector<pe::Resource> images;
    pe::Resource group;
    group.type.id = pe::kIconGroup;
    group.name = FirstIconGroup(resources);
    group.data.assign(ico.begin(), ico.begin() + kIconDirectorySize);
    for (size_t i = 0; i < count; ++i) {
        size_t entry = kIconDirectorySize + i * kIconFileEntrySize;
        uint32_t size = ReadLittleEndian32(&ico[entry + 8]), offset = ReadLittleEndian32(&ico[entry + 12]);
        if (size == 0 || uint64_t(offset) + size > ico.size() || !IsIconImage(ico, offset, size)) {
            error = "image " + std::to_string(i + 1) + " lies outside the file or is no bitmap or PNG image";
            return false;
        }
        pe::Resource image;
        image.type.id = pe::kIconImage;
        image.name.id = static_cast<uint16_t>(i + 1);
        image.data.assign(ico.begin() + offset, ico.begin() + offset + size);
        images.push_back(std::move(image));
        // The group entry is the file's entry with the image's resource id
        // in place of its file offset.
        group.data.insert(group.data.end(), ico.begin() + entry, ico.begin() + entry + 12);
        Append16(group.data, static_cast<uint16_t>(i + 1));
    }
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [](const pe::Resource& r) {
                                       return r.type.isId &&
                                              (r.type.id == pe::kIconImage || r.type.id == pe::kIconGroup);
                                   }),
                    resources.end());
    resources.insert(resources.end(), images.begin(), images.end());
    resources.push_back(std::move(group));
    return true;
}

namespace {

// The stub's resources with the manifest, version resource and icon of the
// identity; the package is still to be put in.
bool SetupResources(const std::vector<uint8_t>& stub, const SetupIdentity& identity,
                    std::vector<pe::Resource>& resources, std::string& error)
{
    if (!pe::ReadResources(stub, resources, error))
        return false;
    if (!identity.icon.empty() && !ReplaceIcon(resources, identity.icon, error)) {
        error = "the icon " + error;
        return false;
    }
    std::string manifest = ApplicationManifest(identity.requireAdministrator);
    pe::ReplaceResource(resources, pe::kManifest, kApplicationManifestId,
                        std::vector<uint8_t>(manifest.begin(), manifest.end()));
    pe::ReplaceResource(resources, pe::kVersionInfo, kVersionResourceId, VersionResource(identity));
    return true;
}

bool SameBytes(std::istream& a, std::istream& b, uint64_t count)
{
    std::vector<char> left(kStreamChunk), right(kStreamChunk);
    for (uint64_t done = 0; done < count;) {
        size_t take = static_cast<size_t>(std::min<uint64_t>(left.size(), count - done));
        if (!a.read(left.data(), static_cast<std::streamsize>(take)) ||
            !b.read(right.data(), static_cast<std::streamsize>(take)) ||
            !std::equal(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(take), right.begin()))
            return false;
        done += take;
    }
    return true;
}

}  // namespace

bool BuildSetup(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& package, const SetupIdentity& identity,
                std::vector<uint8_t>& setup, std::string& error)
{
    std::vector<pe::Resource> resources;
    if (!SetupResources(stub, identity, resources, error))
        return false;
    pe::ReplaceResource(resources, pe::kRcData, kPackageResourceId, package);
    if (!pe::WriteResources(stub, resources, setup, error))
        return false;
    if (!CarriesPackage(setup, package)) {
        error = "the package resource does not read back as written";
        return false;
    }
    return true;
}

bool BuildSetup(const std::vector<uint8_t>& stub, uint32_t packageSize, const SetupIdentity& identity,
                pe::SplitImage& setup, std::string& error)
{
    std::vector<pe::Resource> resources;
    if (!SetupResources(stub, identity, resources, error))
        return false;
    pe::HoldOutside(resources, pe::kRcData, kPackageResourceId, packageSize);
    return pe::WriteResources(stub, resources, setup, error);
}

bool CarriesPackage(const std::vector<uint8_t>& setup, const std::vector<uint8_t>& package)
{
    std::vector<uint8_t> carried;
    std::string error;
    return pe::FindResource(setup, pe::kRcData, kPackageResourceId, carried, error) && carried == package;
}

bool CarriesPackage(const std::filesystem::path& setup, size_t headBytes, const std::filesystem::path& package)
{
    std::ifstream setupFile(setup, std::ios::binary), packageFile(package, std::ios::binary);
    std::error_code sizeError;
    uint64_t setupSize = std::filesystem::file_size(setup, sizeError);
    uint64_t packageSize = std::filesystem::file_size(package, sizeError);
    if (!setupFile || !packageFile || sizeError)
        return false;
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(headBytes, setupSize)));
    if (!setupFile.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size())))
        return false;
    uint64_t offset;
    uint32_t size;
    std::string error;
    if (!pe::LocateResource(head, setupSize, pe::kRcData, kPackageResourceId, offset, size, error) ||
        size != packageSize || !setupFile.seekg(static_cast<std::streamoff>(offset)))
        return false;
    return SameBytes(setupFile, packageFile, packageSize);
}

bool ReadStubEngine(const std::vector<uint8_t>& stub, std::vector<uint8_t>& engine, std::string& error)
{
    return pe::FindResource(stub, pe::kRcData, kEngineResourceId, engine, error);
}

bool ReplaceStubEngine(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& engine, std::vector<uint8_t>& out,
                       std::string& error)
{
    return pe::SetResource(stub, pe::kRcData, kEngineResourceId, engine, out, error);
}

}  // namespace mkpackage

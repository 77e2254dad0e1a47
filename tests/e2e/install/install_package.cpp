#include "tests/e2e/install/install_package.h"

#include <gtest/gtest.h>

#include "package/extract_member_names.h"
#include "tests/e2e/harness/scenario.h"
#include "tools/mkpackage/package_writer.h"
#include "tools/mkpackage/product_builder.h"

namespace {

mkpackage::SettingsBlock Block(const std::string& name, const std::vector<mkpackage::CheckRecord>& checks,
                               const ProductSpec& product)
{
    mkpackage::SettingsBlock block;
    block.productName = name;
    block.productVersion = "1.0";
    block.uninstallCommands = product.uninstallCommands;
    block.installFolder = product.installFolder;
    block.osMask = product.osMask;
    block.okIfNotAdmin = 1;
    block.justExec = product.justExec;
    block.shortcuts = product.shortcuts;
    block.checks = checks;
    block.installCommands = product.installCommands;
    block.launchCommands = product.launchCommands;
    return block;
}

std::vector<uint8_t> CabinetOf(const ProductSpec& product, uint32_t& productBytes)
{
    productBytes = 0;
    if (!product.rawCabinet.empty())
        return product.rawCabinet;
    cabwriter::CabWriter writer;
    for (const cabwriter::Member& member : product.members) {
        if (!IsInstallerMember(member.name.c_str()))
            productBytes += static_cast<uint32_t>(member.data.size());
        writer.AddMember(member);
    }
    std::vector<uint8_t> cabinet;
    std::string error;
    EXPECT_TRUE(writer.Write(cabinet, &error)) << error;
    return cabinet;
}

void PutLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::string BuildSetup(const std::string& folder, const ProductSpec& product, const std::string& carrier)
{
    mkpackage::PackageContents contents;
    contents.english = Block(product.englishName, product.checks, product);
    contents.japanese =
        Block(product.japaneseName, product.japaneseChecks.empty() ? product.checks : product.japaneseChecks, product);
    contents.cabinet = CabinetOf(product, contents.totalInstallBytes);
    std::vector<uint8_t> package;
    std::string error;
    if (!mkpackage::WritePackage(contents, package, error)) {
        ADD_FAILURE() << "package: " << error;
        return {};
    }
    const std::string engine = ReadFileBytes(carrier);
    std::vector<uint8_t> setup;
    if (!mkpackage::EmbedPackage(std::vector<uint8_t>(engine.begin(), engine.end()), package, setup, error)) {
        ADD_FAILURE() << "embedding: " << error;
        return {};
    }
    const std::string path = folder + "\\setup.exe";
    EXPECT_TRUE(WriteFileBytes(path, std::string(setup.begin(), setup.end())));
    return path;
}

cabwriter::Member MemberOf(const std::string& name, uint16_t attributes, int64_t size)
{
    cabwriter::Member member;
    member.name = name;
    std::string data = "content of " + name + "\n";
    if (size >= 0) {
        while (data.size() < static_cast<size_t>(size))
            data += data;
        data.resize(static_cast<size_t>(size));
    }
    member.data.assign(data.begin(), data.end());
    member.attributes = attributes;
    member.date = (21 << 9) | (2 << 5) | 3;  // 2001-02-03
    member.time = (4 << 11) | (5 << 5) | 3;  // 04:05:06
    return member;
}

std::vector<uint8_t> RawStoredCabinet(const std::vector<std::pair<std::string, std::string>>& members)
{
    // Header (36 bytes), one folder entry (8), the file entries, one data block.
    size_t entries = 0, dataSize = 0;
    for (const auto& [name, data] : members) {
        entries += 16 + name.size() + 1;
        dataSize += data.size();
    }
    const uint32_t firstFile = 36 + 8;
    const uint32_t dataBlock = static_cast<uint32_t>(firstFile + entries);
    const uint32_t total = static_cast<uint32_t>(dataBlock + 8 + dataSize);
    std::vector<uint8_t> cabinet = {'M', 'S', 'C', 'F'};
    PutLittleEndian(cabinet, 0, 4);
    PutLittleEndian(cabinet, total, 4);
    PutLittleEndian(cabinet, 0, 4);
    PutLittleEndian(cabinet, firstFile, 4);
    PutLittleEndian(cabinet, 0, 4);
    cabinet.push_back(3);  // version 1.3
    cabinet.push_back(1);
    PutLittleEndian(cabinet, 1, 2);  // folders
    PutLittleEndian(cabinet, static_cast<uint32_t>(members.size()), 2);
    PutLittleEndian(cabinet, 0, 2);  // flags
    PutLittleEndian(cabinet, 0x1234, 2);
    PutLittleEndian(cabinet, 0, 2);
    PutLittleEndian(cabinet, dataBlock, 4);  // the folder: its data block, one block, stored
    PutLittleEndian(cabinet, 1, 2);
    PutLittleEndian(cabinet, 0, 2);
    uint32_t offset = 0;
    for (const auto& [name, data] : members) {
        PutLittleEndian(cabinet, static_cast<uint32_t>(data.size()), 4);
        PutLittleEndian(cabinet, offset, 4);
        PutLittleEndian(cabinet, 0, 2);  // folder 0
        PutLittleEndian(cabinet, (21 << 9) | (2 << 5) | 3, 2);
        PutLittleEndian(cabinet, 0, 2);
        PutLittleEndian(cabinet, 0x20, 2);
        cabinet.insert(cabinet.end(), name.begin(), name.end());
        cabinet.push_back(0);
        offset += static_cast<uint32_t>(data.size());
    }
    PutLittleEndian(cabinet, 0, 4);  // no checksum
    PutLittleEndian(cabinet, static_cast<uint32_t>(dataSize), 2);
    PutLittleEndian(cabinet, static_cast<uint32_t>(dataSize), 2);
    for (const auto& member : members)
        cabinet.insert(cabinet.end(), member.second.begin(), member.second.end());
    return cabinet;
}

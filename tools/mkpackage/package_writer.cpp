#include "tools/mkpackage/package_writer.h"

#include <algorithm>
#include <cstring>

#include "package/package_format.h"

namespace mkpackage {
namespace {

void Append32(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.resize(bytes.size() + 4);
    WriteLittleEndian32(&bytes[bytes.size() - 4], value);
}

// Lays out one settings block: the block first, its texts right behind it.
// Text references are absolute offsets in the package.
class BlockWriter {
public:
    BlockWriter(std::vector<uint8_t>& package, std::string& error) : package_(package), error_(error) {}

    bool Write(const SettingsBlock& block, uint32_t& offset, uint32_t& length)
    {
        size_t blockLength =
            kBlockHeaderSize + block.shortcuts.size() * kShortcutRecordSize + block.checks.size() * kCheckRecordSize +
            (block.installCommands.size() + block.uninstallCommands.size() + block.launchCommands.size()) *
                kCommandRecordSize;
        blockStart_ = package_.size();
        offset = static_cast<uint32_t>(blockStart_);
        length = static_cast<uint32_t>(blockLength);
        package_.resize(blockStart_ + blockLength);
        cursor_ = blockStart_;

        for (const std::string* text : {&block.productName, &block.productVersion, &block.splashNote,
                                        &block.installFolder, &block.reservedText}) {
            if (!Text(*text))
                return false;
        }
        Integer(block.osMask);
        Integer(block.reservedValue);
        Integer(block.justExec);
        Integer(block.okIfNotAdmin);
        Integer(static_cast<int32_t>(block.shortcuts.size()));
        Integer(static_cast<int32_t>(block.checks.size()));
        Integer(static_cast<int32_t>(block.installCommands.size()));
        Integer(static_cast<int32_t>(block.uninstallCommands.size()));
        Integer(static_cast<int32_t>(block.launchCommands.size()));
        for (const ShortcutRecord& shortcut : block.shortcuts) {
            if (!Text(shortcut.linkName) || !Text(shortcut.target))
                return false;
        }
        for (const CheckRecord& check : block.checks) {
            Integer(check.kind);
            if (!Text(check.subject) || !Text(check.message))
                return false;
        }
        for (const auto* list : {&block.installCommands, &block.uninstallCommands, &block.launchCommands}) {
            for (const CommandRecord& command : *list) {
                if (!Text(command.commandLine))
                    return false;
                Integer(command.wait);
            }
        }
        return true;
    }

private:
    void Integer(int32_t value)
    {
        WriteLittleEndian32(&package_[cursor_], static_cast<uint32_t>(value));
        cursor_ += 4;
    }

    // Appends the scrambled text behind everything written so far and puts
    // its reference at the cursor. An empty text is offset 0, length 0.
    bool Text(const std::string& text)
    {
        if (text.size() > kMaxTextLength) {
            error_ = "a text is longer than " + std::to_string(kMaxTextLength) + " bytes";
            return false;
        }
        uint32_t offset = text.empty() ? 0 : static_cast<uint32_t>(package_.size());
        package_.insert(package_.end(), text.begin(), text.end());
        ScrambleText(package_.data() + offset, text.size());
        Integer(static_cast<int32_t>(offset));
        Integer(static_cast<int32_t>(text.size()));
        return true;
    }

    std::vector<uint8_t>& package_;
    std::string& error_;
    size_t blockStart_ = 0;
    size_t cursor_ = 0;
};

}  // namespace

bool WritePackageHead(const PackageContents& contents, uint64_t cabinetSize, std::vector<uint8_t>& head,
                      std::vector<uint8_t>& trailer, std::string& error)
{
    head.clear();
    trailer.clear();
    uint32_t blocks[4] = {};
    BlockWriter writer(head, error);
    if (!writer.Write(contents.japanese, blocks[0], blocks[1]) || !writer.Write(contents.english, blocks[2], blocks[3]))
        return false;

    uint64_t cabinetOffset = head.size();
    if (cabinetOffset + cabinetSize + kTrailerSize > kPackageOffsetLimit) {
        error = "the package would reach 2 GiB, more than its offsets can address";
        return false;
    }
    for (uint32_t word : blocks)
        Append32(trailer, word);
    Append32(trailer, contents.totalInstallBytes);
    Append32(trailer, static_cast<uint32_t>(cabinetOffset));
    Append32(trailer, static_cast<uint32_t>(cabinetSize));
    uint8_t signature[16] = {};
    memcpy(signature, kPackageSignature, sizeof kPackageSignature);
    trailer.insert(trailer.end(), signature, signature + sizeof signature);
    return true;
}

bool WritePackage(const PackageContents& contents, std::vector<uint8_t>& package, std::string& error)
{
    std::vector<uint8_t> trailer;
    if (!WritePackageHead(contents, contents.cabinet.size(), package, trailer, error))
        return false;
    size_t cabinetOffset = package.size();
    package.insert(package.end(), contents.cabinet.begin(), contents.cabinet.end());
    ScrambleCabinet(package.data() + cabinetOffset, contents.cabinet.size(), 0);
    package.insert(package.end(), trailer.begin(), trailer.end());
    return true;
}

bool WritePackage(const PackageContents& contents, std::istream& cabinet, uint64_t cabinetSize, std::ostream& package,
                  std::string& error)
{
    std::vector<uint8_t> head, trailer;
    if (!WritePackageHead(contents, cabinetSize, head, trailer, error))
        return false;
    package.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    std::vector<uint8_t> chunk(kStreamChunk);
    for (uint64_t done = 0; done < cabinetSize && package;) {
        size_t take = static_cast<size_t>(std::min<uint64_t>(chunk.size(), cabinetSize - done));
        if (!cabinet.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(take))) {
            error = "the cabinet cannot be read back";
            return false;
        }
        ScrambleCabinet(chunk.data(), take, static_cast<uint32_t>(done));
        package.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(take));
        done += take;
    }
    package.write(reinterpret_cast<const char*>(trailer.data()), static_cast<std::streamsize>(trailer.size()));
    if (!package) {
        error = "the package cannot be written";
        return false;
    }
    return true;
}

}  // namespace mkpackage

#include "tools/mkpackage/package_writer.h"

#include <cstring>

#include "package/package_format.h"

namespace mkpackage {
namespace {

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Append32(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.resize(bytes.size() + 4);
    Put32(bytes, bytes.size() - 4, value);
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
        Put32(package_, cursor_, static_cast<uint32_t>(value));
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

bool WritePackage(const PackageContents& contents, std::vector<uint8_t>& package, std::string& error)
{
    package.clear();
    uint32_t blocks[4] = {};
    BlockWriter writer(package, error);
    if (!writer.Write(contents.japanese, blocks[0], blocks[1]) || !writer.Write(contents.english, blocks[2], blocks[3]))
        return false;

    uint64_t cabinetOffset = package.size();
    if (cabinetOffset + contents.cabinet.size() + kTrailerSize > kPackageOffsetLimit) {
        error = "the package would reach 2 GiB, more than its offsets can address";
        return false;
    }
    package.insert(package.end(), contents.cabinet.begin(), contents.cabinet.end());
    ScrambleCabinet(package.data() + cabinetOffset, contents.cabinet.size(), 0);

    for (uint32_t word : blocks)
        Append32(package, word);
    Append32(package, contents.totalInstallBytes);
    Append32(package, static_cast<uint32_t>(cabinetOffset));
    Append32(package, static_cast<uint32_t>(contents.cabinet.size()));
    uint8_t signature[16] = {};
    memcpy(signature, kPackageSignature, sizeof kPackageSignature);
    package.insert(package.end(), signature, signature + sizeof signature);
    return true;
}

}  // namespace mkpackage

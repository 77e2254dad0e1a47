#pragma once
// Helpers of the package tests: a byte buffer as package source, a heap that
// frees everything at the end of a test (and can run out on purpose), and a
// comparison of a written block with a decoded one.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "tools/mkpackage/package_writer.h"

inline int ReadFromVector(void* context, uint32_t offset, void* buffer, uint32_t count)
{
    const auto& bytes = *static_cast<const std::vector<uint8_t>*>(context);
    if (uint64_t(offset) + count > bytes.size())
        return 0;
    memcpy(buffer, bytes.data() + offset, count);
    return 1;
}

inline PackageSource SourceOf(const std::vector<uint8_t>& bytes)
{
    return {ReadFromVector, const_cast<std::vector<uint8_t>*>(&bytes), static_cast<uint32_t>(bytes.size())};
}

class TestHeap {
public:
    explicit TestHeap(size_t allowed = std::numeric_limits<size_t>::max()) : allowed_(allowed) {}
    PackageHeap heap() { return {Allocate, this}; }
    size_t allocations() const { return blocks_.size(); }

private:
    static void* Allocate(void* context, size_t size)
    {
        auto* self = static_cast<TestHeap*>(context);
        if (self->blocks_.size() >= self->allowed_)
            return nullptr;
        self->blocks_.push_back(std::make_unique<uint8_t[]>(size));  // value-initialised: zeroed
        return self->blocks_.back().get();
    }
    size_t allowed_;
    std::vector<std::unique_ptr<uint8_t[]>> blocks_;
};

// The cabinet a package carries, unscrambled; empty when the trailer is bad.
inline std::string CabinetOf(const std::vector<uint8_t>& package)
{
    PackageTrailer trailer;
    if (!ReadPackageTrailer(SourceOf(package), trailer) || !CabinetFitsPackage(trailer, uint32_t(package.size())))
        return {};
    std::string cabinet(package.begin() + trailer.cabinetOffset,
                        package.begin() + trailer.cabinetOffset + trailer.cabinetLength);
    ScrambleCabinet(reinterpret_cast<uint8_t*>(cabinet.data()), cabinet.size(), 0);
    return cabinet;
}

inline void ExpectBlockDecoded(const mkpackage::SettingsBlock& written, const SetupInfo& read)
{
    EXPECT_STREQ(written.productName.c_str(), read.productName);
    EXPECT_STREQ(written.productVersion.c_str(), read.productVersion);
    EXPECT_STREQ(written.splashNote.c_str(), read.splashNote);
    EXPECT_STREQ(written.installFolder.c_str(), read.installFolder);
    EXPECT_STREQ(written.reservedText.c_str(), read.reservedText);
    EXPECT_EQ(written.osMask, read.osMask);
    EXPECT_EQ(written.reservedValue, read.reservedValue);
    EXPECT_EQ(written.justExec, read.justExec);
    EXPECT_EQ(written.okIfNotAdmin, read.okIfNotAdmin);

    ASSERT_EQ(static_cast<int32_t>(written.shortcuts.size()), read.shortcutCount);
    EXPECT_EQ(written.shortcuts.empty(), read.shortcuts == nullptr);
    for (size_t i = 0; i < written.shortcuts.size(); ++i) {
        EXPECT_STREQ(written.shortcuts[i].linkName.c_str(), read.shortcuts[i].linkName);
        EXPECT_STREQ(written.shortcuts[i].target.c_str(), read.shortcuts[i].target);
    }
    ASSERT_EQ(static_cast<int32_t>(written.checks.size()), read.checkCount);
    EXPECT_EQ(written.checks.empty(), read.checks == nullptr);
    for (size_t i = 0; i < written.checks.size(); ++i) {
        EXPECT_EQ(written.checks[i].kind, read.checks[i].kind);
        EXPECT_STREQ(written.checks[i].subject.c_str(), read.checks[i].subject);
        EXPECT_STREQ(written.checks[i].message.c_str(), read.checks[i].message);
    }
    struct {
        const std::vector<mkpackage::CommandRecord>& written;
        int32_t count;
        const CommandEntry* read;
    } lists[] = {{written.installCommands, read.installCommandCount, read.installCommands},
                 {written.uninstallCommands, read.uninstallCommandCount, read.uninstallCommands},
                 {written.launchCommands, read.launchCommandCount, read.launchCommands}};
    for (const auto& list : lists) {
        ASSERT_EQ(static_cast<int32_t>(list.written.size()), list.count);
        EXPECT_EQ(list.written.empty(), list.read == nullptr);
        for (size_t i = 0; i < list.written.size(); ++i) {
            EXPECT_STREQ(list.written[i].commandLine.c_str(), list.read[i].commandLine);
            EXPECT_EQ(list.written[i].wait, list.read[i].wait);
        }
    }
}

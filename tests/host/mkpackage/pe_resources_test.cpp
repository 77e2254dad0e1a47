// Replacing a resource of a Windows program without Windows. binutils reads
// the results back independently: windres decompiles the resources, objdump
// lists the relocations. The fixtures are small programs built by the mingw
// compilers for both PE32 (i686) and PE32+ (x86_64).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/host/common/random_bytes.h"
#include "tests/host/mkpackage/res_file.h"
#include "text/little_endian.h"
#include "tools/common/pe_resources.h"
#include "tests/host/common/scratch_files.h"
#include "tests/host/common/shell_command.h"

namespace {

namespace fs = std::filesystem;

struct Fixture {
    const char* name;
    const char* path;
    const char* binutilsPrefix;
    bool hasResources;
};

const Fixture kFixtures[] = {
    {"PE32 with resources", PE_FIXTURE_PE32, "i686-w64-mingw32-", true},
    {"PE32+ with resources", PE_FIXTURE_PE32PLUS, "x86_64-w64-mingw32-", true},
    {"PE32+ without resources", PE_FIXTURE_BARE, "x86_64-w64-mingw32-", false},
    {"PE32 with a symbol table", PE_FIXTURE_SYMBOLS, "i686-w64-mingw32-", true},
};

std::string Run(const std::string& command)
{
    std::string output;
    EXPECT_EQ(0, RunShell(command, output)) << command << "\n" << output;
    return output;
}

std::vector<ResEntry> ResourcesByWindres(const Fixture& fixture, const fs::path& program)
{
    fs::path res = program;
    res += ".res";
    Run(std::string(fixture.binutilsPrefix) + "windres -i " + program.string() + " -O res -o " + res.string());
    return ParseRes(ReadAll(res));
}

std::string RelocationListing(const Fixture& fixture, const fs::path& program)
{
    std::string dump = Run(std::string(fixture.binutilsPrefix) + "objdump -p " + program.string());
    size_t at = dump.find("PE File Base Relocations");
    if (at == std::string::npos)
        return "";
    std::string listing = dump.substr(at, dump.find("\nThe ", at) - at);
    while (!listing.empty() && (listing.back() == '\n' || listing.back() == ' '))
        listing.pop_back();
    return listing;
}

fs::path ScratchFolder()
{
    fs::path folder = fs::path(ENGINE_BINARY_DIR) / "tests/host/mkpackage/pe_scratch";
    fs::create_directories(folder);
    return folder;
}

TEST(PeResources, AddedResourceReadsBackThroughBinutils)
{
    std::vector<uint8_t> package = RandomBytes(100003, 1);
    for (const Fixture& fixture : kFixtures) {
        SCOPED_TRACE(fixture.name);
        std::vector<uint8_t> stub = ReadAll(fixture.path);
        std::vector<ResEntry> before;
        if (fixture.hasResources)
            before = ResourcesByWindres(fixture, fixture.path);
        ASSERT_EQ(fixture.hasResources, !before.empty());

        std::vector<uint8_t> setup;
        std::string error;
        ASSERT_TRUE(pe::SetResource(stub, pe::kRcData, 104, package, setup, error)) << error;
        fs::path written = ScratchFolder() / (std::string(fixture.binutilsPrefix) + "setup.exe");
        WriteAll(written, setup);

        std::vector<ResEntry> after = ResourcesByWindres(fixture, written);
        ASSERT_EQ(before.size() + 1, after.size());
        bool found = false;
        for (const ResEntry& entry : after) {
            if (entry.type == 10 && entry.name == 104) {
                EXPECT_EQ(0, entry.language);
                EXPECT_TRUE(entry.data == package);
                found = true;
            }
        }
        EXPECT_TRUE(found);
        for (const ResEntry& old : before) {
            bool kept = false;
            for (const ResEntry& entry : after)
                kept |= entry.type == old.type && entry.name == old.name && entry.language == old.language &&
                        entry.data == old.data;
            EXPECT_TRUE(kept) << "type " << old.type << " name " << old.name;
        }
        EXPECT_EQ(RelocationListing(fixture, fixture.path), RelocationListing(fixture, written));
    }
}

// A resource not held leaves a gap that the written-out image fills from a
// stream: the result must be the image made with the bytes held, checksum
// included, with resources before and behind the gap and gaps of odd size.
TEST(PeResources, SplitImageWrittenWithItsGapIsTheWholeImage)
{
    for (const Fixture& fixture : kFixtures) {
        for (size_t size : {size_t(1), size_t(70000), size_t(100003)}) {
            SCOPED_TRACE(std::string(fixture.name) + ", " + std::to_string(size) + " bytes");
            std::vector<uint8_t> stub = ReadAll(fixture.path);
            std::vector<uint8_t> package = RandomBytes(size, 5);
            std::vector<pe::Resource> resources;
            std::string error;
            ASSERT_TRUE(pe::ReadResources(stub, resources, error)) << error;
            pe::ReplaceResource(resources, pe::kRcData, 103, RandomBytes(333, 6));
            pe::ReplaceResource(resources, pe::kRcData, 105, RandomBytes(4097, 7));
            pe::ReplaceResource(resources, pe::kVersionInfo, 1, RandomBytes(21, 8));

            std::vector<pe::Resource> held = resources, outside = resources;
            pe::ReplaceResource(held, pe::kRcData, 104, package);
            pe::HoldOutside(outside, pe::kRcData, 104, static_cast<uint32_t>(size));
            std::vector<uint8_t> whole;
            ASSERT_TRUE(pe::WriteResources(stub, held, whole, error)) << error;
            pe::SplitImage split;
            ASSERT_TRUE(pe::WriteResources(stub, outside, split, error)) << error;
            EXPECT_EQ(size, split.gapSize);

            std::istringstream gapBytes(std::string(package.begin(), package.end()));
            std::ostringstream written;
            ASSERT_TRUE(pe::WriteSplitImage(split, gapBytes, written, error)) << error;
            std::string text = written.str();
            EXPECT_TRUE(std::vector<uint8_t>(text.begin(), text.end()) == whole);

            uint64_t offset = 0;
            uint32_t found = 0;
            ASSERT_TRUE(pe::LocateResource(split.head, whole.size(), pe::kRcData, 104, offset, found, error)) << error;
            EXPECT_EQ(split.head.size(), offset);
            EXPECT_EQ(size, found);
            // Too short a beginning to hold the resource directory: refused, not read past.
            std::vector<uint8_t> headers(whole.begin(), whole.begin() + 1024);
            EXPECT_FALSE(pe::LocateResource(headers, whole.size(), pe::kRcData, 104, offset, found, error));
            // A list with a resource not held has no whole image.
            EXPECT_FALSE(pe::WriteResources(stub, outside, whole, error));
        }
    }
}

TEST(PeResources, SplitImageRefusesAShortGapStreamAndTwoGaps)
{
    std::vector<uint8_t> stub = ReadAll(PE_FIXTURE_PE32);
    std::vector<pe::Resource> resources;
    std::string error;
    ASSERT_TRUE(pe::ReadResources(stub, resources, error)) << error;
    pe::HoldOutside(resources, pe::kRcData, 104, 100000);
    pe::SplitImage split;
    ASSERT_TRUE(pe::WriteResources(stub, resources, split, error)) << error;
    std::istringstream gapBytes(std::string(99999, 'x'));
    std::ostringstream written;
    EXPECT_FALSE(pe::WriteSplitImage(split, gapBytes, written, error));
    EXPECT_EQ("the resource's bytes cannot be read", error);

    pe::HoldOutside(resources, pe::kRcData, 105, 10);
    EXPECT_FALSE(pe::WriteResources(stub, resources, split, error));
    EXPECT_EQ("more than one resource is not held", error);
}

TEST(PeResources, ReplacingAgainKeepsOneCopy)
{
    for (const Fixture& fixture : kFixtures) {
        SCOPED_TRACE(fixture.name);
        std::vector<uint8_t> stub = ReadAll(fixture.path);
        std::vector<uint8_t> first, second, smaller;
        std::string error;
        ASSERT_TRUE(pe::SetResource(stub, pe::kRcData, 104, RandomBytes(70000, 2), first, error)) << error;
        ASSERT_TRUE(pe::SetResource(first, pe::kRcData, 104, RandomBytes(70000, 3), second, error)) << error;
        EXPECT_EQ(first.size(), second.size());
        ASSERT_TRUE(pe::SetResource(second, pe::kRcData, 104, RandomBytes(10, 4), smaller, error)) << error;
        EXPECT_LT(smaller.size(), second.size());

        std::vector<uint8_t> data;
        ASSERT_TRUE(pe::FindResource(smaller, pe::kRcData, 104, data, error)) << error;
        EXPECT_EQ(RandomBytes(10, 4), data);
        std::vector<pe::Resource> resources;
        ASSERT_TRUE(pe::ReadResources(smaller, resources, error));
        size_t packages = 0;
        for (const pe::Resource& resource : resources)
            packages += resource.type.id == pe::kRcData && resource.name.id == 104;
        EXPECT_EQ(1u, packages);
    }
}

TEST(PeResources, RefusesWhatItCannotRewrite)
{
    std::vector<uint8_t> stub = ReadAll(kFixtures[1].path);
    std::vector<uint8_t> signedStub = stub;
    uint32_t peOffset = ReadLittleEndian32(&stub[0x3C]);
    size_t securityEntry = peOffset + 24 + 112 + 4 * 8;  // PE32+: data directories at 112
    signedStub[securityEntry + 4] = 0x10;                // a certificate of 16 bytes
    std::vector<uint8_t> overlay = stub;
    overlay.push_back(0x42);
    auto withAlignments = [&](uint32_t section, uint32_t file) {
        std::vector<uint8_t> image = stub;
        WriteLittleEndian32(&image[peOffset + 24 + 32], section);
        WriteLittleEndian32(&image[peOffset + 24 + 36], file);
        return image;
    };

    struct {
        const char* name;
        std::vector<uint8_t> image;
        const char* message;
    } cases[] = {
        {"empty", {}, "not a Windows program"},
        {"text file", std::vector<uint8_t>(200, 'a'), "not a Windows program"},
        {"cut in the headers", std::vector<uint8_t>(stub.begin(), stub.begin() + 300), "not a Windows program"},
        {"cut in the sections", std::vector<uint8_t>(stub.begin(), stub.end() - 600), "not a Windows program"},
        {"signed", signedStub, "signed"},
        {"data behind the sections", overlay, "behind its sections"},
        {"file alignment no power of two", withAlignments(0x1000, 0x300), "alignment is invalid"},
        {"file alignment beyond 64 KiB", withAlignments(0x80000000, 0x40000000), "alignment is invalid"},
        {"file alignment of 3.5 GiB", withAlignments(0x1000, 0xE0000200), "alignment is invalid"},
        {"section alignment below the file's", withAlignments(0x200, 0x1000), "alignment is invalid"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        std::string error;
        EXPECT_FALSE(pe::SetResource(c.image, pe::kRcData, 104, {1, 2, 3}, out, error)) << c.name;
        EXPECT_NE(std::string::npos, error.find(c.message)) << c.name << ": " << error;
    }
}

// A section header's fields, found by the section's index or its address.
struct SectionFields {
    uint32_t rva = 0, rawSize = 0, rawPointer = 0;
};

std::vector<SectionFields> Sections(const std::vector<uint8_t>& image)
{
    uint32_t peOffset = ReadLittleEndian32(&image[0x3C]);
    size_t sectionTable = peOffset + 24 + ReadLittleEndian16(&image[peOffset + 20]);
    std::vector<SectionFields> sections;
    for (size_t s = 0; s < ReadLittleEndian16(&image[peOffset + 6]); ++s) {
        size_t header = sectionTable + s * 40;
        sections.push_back({ReadLittleEndian32(&image[header + 12]), ReadLittleEndian32(&image[header + 16]),
                            ReadLittleEndian32(&image[header + 20])});
    }
    return sections;
}

// The PE32+ fixture's resource section (its file data and address).
SectionFields ResourceSection(const std::vector<uint8_t>& stub)
{
    uint32_t peOffset = ReadLittleEndian32(&stub[0x3C]);
    uint32_t directoryRva = ReadLittleEndian32(&stub[peOffset + 24 + 112 + 2 * 8]);
    for (const SectionFields& section : Sections(stub)) {
        if (section.rva == directoryRva)
            return section;
    }
    return {};
}

// One directory of the resource tree at offset at: entries of integer ids 1,
// 2, ... pointing at the targets (with the directory bit where given).
void PutDirectory(std::vector<uint8_t>& b, size_t at, const std::vector<uint32_t>& targets)
{
    std::fill(b.begin() + at, b.begin() + at + 16, 0);
    b[at + 14] = static_cast<uint8_t>(targets.size());
    b[at + 15] = static_cast<uint8_t>(targets.size() >> 8);
    for (size_t i = 0; i < targets.size(); ++i) {
        WriteLittleEndian32(&b[at + 16 + 8 * i], static_cast<uint32_t>(i + 1));
        WriteLittleEndian32(&b[at + 20 + 8 * i], targets[i]);
    }
}

void PutDataEntry(std::vector<uint8_t>& b, size_t at, uint32_t rva, uint32_t size)
{
    WriteLittleEndian32(&b[at], rva);
    WriteLittleEndian32(&b[at + 4], size);
    WriteLittleEndian32(&b[at + 8], 0);
    WriteLittleEndian32(&b[at + 12], 0);
}

// A resource directory is a tree: a directory or data entry reached twice
// would let a few bytes of directory stand for millions of resources (the
// reader's time and memory grow with the product of the directories' sizes),
// and so would data entries that give the same bytes many times over.
TEST(PeResources, DirectoriesThatAreNoTreeAreDamaged)
{
    const std::vector<uint8_t> stub = ReadAll(kFixtures[1].path);
    const SectionFields rsrc = ResourceSection(stub);
    const SectionFields text = Sections(stub)[0];
    ASSERT_NE(0u, rsrc.rawPointer);
    ASSERT_GE(rsrc.rawSize, 0x200u);
    const size_t at = rsrc.rawPointer;
    constexpr uint32_t kDirectory = 0x80000000u;

    // Two types share one name directory.
    std::vector<uint8_t> shared = stub;
    PutDirectory(shared, at, {kDirectory | 0x30, kDirectory | 0x30});
    PutDirectory(shared, at + 0x30, {kDirectory | 0x60});
    PutDirectory(shared, at + 0x60, {0x90});
    PutDataEntry(shared, at + 0x90, rsrc.rva + 0x100, 4);

    // Twelve languages, each the whole code section: more data than the file.
    std::vector<uint8_t> repeated = stub;
    PutDirectory(repeated, at, {kDirectory | 0x20});
    PutDirectory(repeated, at + 0x20, {kDirectory | 0x40});
    std::vector<uint32_t> entries;
    for (uint32_t i = 0; i < 12; ++i) {
        entries.push_back(0xC0 + 16 * i);
        PutDataEntry(repeated, at + 0xC0 + 16 * i, text.rva, text.rawSize);
    }
    PutDirectory(repeated, at + 0x40, entries);
    ASSERT_GT(12 * uint64_t(text.rawSize), stub.size());

    // The same shapes with every entry reached once read as they are.
    std::vector<uint8_t> sound = stub;
    PutDirectory(sound, at, {kDirectory | 0x30, kDirectory | 0x48});
    PutDirectory(sound, at + 0x30, {kDirectory | 0x60});
    PutDirectory(sound, at + 0x48, {kDirectory | 0x78});
    PutDirectory(sound, at + 0x60, {0xA0});
    PutDirectory(sound, at + 0x78, {0xB0, 0xC0});
    PutDataEntry(sound, at + 0xA0, rsrc.rva + 0x100, 4);
    PutDataEntry(sound, at + 0xB0, text.rva, text.rawSize);
    PutDataEntry(sound, at + 0xC0, text.rva, 8);

    std::vector<pe::Resource> resources;
    std::string error;
    EXPECT_TRUE(pe::ReadResources(sound, resources, error)) << error;
    EXPECT_EQ(3u, resources.size());
    for (const auto& damaged : {shared, repeated}) {
        EXPECT_FALSE(pe::ReadResources(damaged, resources, error));
        EXPECT_NE(std::string::npos, error.find("resource directory is damaged")) << error;
        std::vector<uint8_t> out;
        EXPECT_FALSE(pe::SetResource(damaged, pe::kRcData, 104, {1}, out, error));
    }
}

TEST(PeResources, DamagedResourceDirectoriesFailCleanly)
{
    std::vector<uint8_t> stub = ReadAll(kFixtures[1].path);
    std::vector<pe::Resource> resources;
    std::string error;
    ASSERT_TRUE(pe::ReadResources(stub, resources, error));
    // Set bytes across the resource directory to extreme values: every outcome
    // is a clean answer (the sanitizers watch the reads), and whatever is
    // accepted still carries the new resource.
    size_t directoryAt = ResourceSection(stub).rawPointer;
    ASSERT_NE(0u, directoryAt);
    for (size_t i = 0; i < 0x60; ++i) {
        for (uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
            std::vector<uint8_t> damaged = stub;
            damaged[directoryAt + i] = value;
            pe::ReadResources(damaged, resources, error);
            std::vector<uint8_t> out, data;
            if (pe::SetResource(damaged, pe::kRcData, 104, {1}, out, error)) {
                ASSERT_TRUE(pe::FindResource(out, pe::kRcData, 104, data, error)) << i << " " << int(value);
                EXPECT_EQ(std::vector<uint8_t>{1}, data);
            }
        }
    }
}

}  // namespace

// Replacing a resource of a Windows program without Windows. binutils reads
// the results back independently: windres decompiles the resources, objdump
// lists the relocations. The fixtures are small programs built by the mingw
// compilers for both PE32 (i686) and PE32+ (x86_64).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tools/common/pe_resources.h"

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

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string Run(const std::string& command)
{
    fs::path output = fs::temp_directory_path() / ("pe_test_output_" + std::to_string(getpid()));
    int status = std::system((command + " > " + output.string() + " 2>&1").c_str());
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    fs::remove(output);
    EXPECT_EQ(0, status) << command << "\n" << text.str();
    return text.str();
}

// One resource of a .res file as windres writes it.
struct ResEntry {
    uint16_t type = 0, name = 0, language = 0;
    std::vector<uint8_t> data;
};

uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

uint16_t Get16(const std::vector<uint8_t>& b, size_t at)
{
    return uint16_t(b[at] | b[at + 1] << 8);
}

std::vector<ResEntry> ParseRes(const std::vector<uint8_t>& res)
{
    std::vector<ResEntry> entries;
    for (size_t at = 0; at + 8 <= res.size();) {
        uint32_t dataSize = Get32(res, at), headerSize = Get32(res, at + 4);
        size_t p = at + 8;
        ResEntry entry;
        uint16_t* keys[] = {&entry.type, &entry.name};
        for (uint16_t* key : keys) {
            if (Get16(res, p) == 0xFFFF) {
                *key = Get16(res, p + 2);
                p += 4;
            } else {
                *key = 0xFFFF;  // a named entry: not used by these fixtures
                while (Get16(res, p) != 0)
                    p += 2;
                p += 2;
            }
        }
        p = (p + 3) & ~size_t(3);
        entry.language = Get16(res, p + 6);
        entry.data.assign(res.begin() + at + headerSize, res.begin() + at + headerSize + dataSize);
        if (entry.type != 0)
            entries.push_back(entry);
        at = (at + headerSize + dataSize + 3) & ~size_t(3);
    }
    return entries;
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

std::vector<uint8_t> RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}

fs::path ScratchFolder()
{
    fs::path folder = fs::path(ENGINE_BINARY_DIR) / "tests/host/package/pe_scratch";
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
    uint32_t peOffset = Get32(stub, 0x3C);
    size_t securityEntry = peOffset + 24 + 112 + 4 * 8;  // PE32+: data directories at 112
    signedStub[securityEntry + 4] = 0x10;                // a certificate of 16 bytes
    std::vector<uint8_t> overlay = stub;
    overlay.push_back(0x42);

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
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        std::string error;
        EXPECT_FALSE(pe::SetResource(c.image, pe::kRcData, 104, {1, 2, 3}, out, error)) << c.name;
        EXPECT_NE(std::string::npos, error.find(c.message)) << c.name << ": " << error;
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
    uint32_t peOffset = Get32(stub, 0x3C);
    uint32_t directoryRva = Get32(stub, peOffset + 24 + 112 + 2 * 8);
    size_t sectionTable = peOffset + 24 + Get16(stub, peOffset + 20);
    size_t directoryAt = 0;
    for (size_t s = 0; s < Get16(stub, peOffset + 6); ++s) {
        size_t header = sectionTable + s * 40;
        if (Get32(stub, header + 12) == directoryRva)
            directoryAt = Get32(stub, header + 20);
    }
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

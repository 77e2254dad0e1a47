// Cabinets made by gcab and by our writer extract to exactly their input;
// the writer's also pass cabextract's test and extract identically with it.
#include <gtest/gtest.h>

#include <filesystem>
#include <chrono>
#include <ctime>
#include <fstream>
#include <sstream>

#include "tests/host/cab/cab_builder.h"
#include "tests/host/cab/cab_harness.h"
#include "tests/host/cab/memory_files.h"
#include "tests/host/cab/oracle.h"
#include "tools/cabwriter/cab_writer.h"
#include "tests/host/common/shell_command.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Incompressible(size_t size, uint64_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        bytes[i] = uint8_t(seed >> 56);
    }
    return bytes;
}

// The members: several files, empty ones, sizes around one block, one in a
// subfolder, and 10 MiB each of incompressible and very compressible data.
const FileTree& Inputs()
{
    static const FileTree inputs = {
        {"empty.txt", {}},
        {"block-1.bin", Incompressible(32767, 1)},
        {"block.bin", Incompressible(32768, 2)},
        {"block+1.bin", Incompressible(32769, 3)},
        {"text.txt", Pattern(100000, 4)},
        {"sub/nested.txt", Pattern(5000, 5)},
        {"sub/empty", {}},
        {"random-10m.bin", Incompressible(10 << 20, 6)},
        {"repeat-10m.bin", std::vector<uint8_t>(10 << 20, 'z')},
    };
    return inputs;
}

std::string WriteInputs(const std::string& name)
{
    const std::string folder = ScratchFolder(name);
    for (const auto& [path, bytes] : Inputs()) {
        const fs::path file = fs::path(folder) / path;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    return folder;
}

std::string Backslashed(std::string name)
{
    for (char& c : name) {
        if (c == '/') {
            c = '\\';
        }
    }
    return name;
}

CopyOutcome ReadWithEngine(std::vector<uint8_t> cabinet)
{
    memfs::Reset();
    memfs::Put("in.cab", std::move(cabinet));
    return RunCopy("in.cab");
}

TEST(CabRoundTrip, GcabMszipCabinetsExtractToTheirInput)
{
    if (!HaveGcab()) {
        GTEST_SKIP() << "gcab is not installed";
    }
    const std::string folder = WriteInputs("gcab-in");
    const std::string cabinet = ScratchFolder("gcab-out") + "/gcab.cab";
    std::string command = "cd " + ShellQuoted(folder) + " && " + ENGINE_GCAB + " -c -z " + ShellQuoted(cabinet);
    for (const auto& entry : Inputs()) {
        command += " " + ShellQuoted(entry.first);
    }
    ASSERT_EQ(RunCommand(command), 0);
    // gcab's command line puts all members into one folder.
    const std::vector<uint8_t> bytes = ReadFileBytes(cabinet);
    ASSERT_EQ(bytes[26] | bytes[27] << 8, 1);
    ASSERT_EQ(bytes[36 + 6], 1) << "MSZIP";
    const CopyOutcome outcome = ReadWithEngine(bytes);
    ASSERT_EQ(outcome.result, 1) << CabErrorName(outcome.errors.code);
    EXPECT_TRUE(Slashed(outcome.written) == Inputs());
    EXPECT_EQ(outcome.liveAllocations, 0);
}

struct WriterCase {
    const char* name;
    uint16_t type;
    bool checksums;
    size_t folderSizeLimit;
};

void PrintTo(const WriterCase& c, std::ostream* out)
{
    *out << c.name;
}

class WriterRoundTrip : public testing::TestWithParam<WriterCase> {};

TEST_P(WriterRoundTrip, PassesCabextractAndExtractsToItsInput)
{
    const WriterCase& c = GetParam();
    cabwriter::Options options;
    options.compressionType = c.type;
    options.checksums = c.checksums;
    options.folderSizeLimit = c.folderSizeLimit;
    cabwriter::CabWriter writer(options);
    for (const auto& [path, bytes] : Inputs()) {
        writer.AddMember({Backslashed(path), bytes, 0x5A21, 0x6000, 0x20});
    }
    std::vector<uint8_t> cabinet;
    std::string error;
    ASSERT_TRUE(writer.Write(cabinet, &error)) << error;
    const int folders = cabinet[26] | cabinet[27] << 8;
    EXPECT_EQ(folders > 1, c.folderSizeLimit != 0);

    const CopyOutcome outcome = ReadWithEngine(cabinet);
    ASSERT_EQ(outcome.result, 1) << CabErrorName(outcome.errors.code);
    EXPECT_TRUE(Slashed(outcome.written) == Inputs());

    if (!HaveCabextract()) {
        GTEST_SKIP() << "cabextract is not installed";
    }
    const std::string path = ScratchFolder(std::string("writer-") + c.name) + "/w.cab";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(cabinet.data()), std::streamsize(cabinet.size()));
    EXPECT_EQ(RunCommand(std::string(ENGINE_CABEXTRACT) + " -q -t " + ShellQuoted(path) + " >/dev/null 2>&1"), 0);
    int status = -1;
    EXPECT_TRUE(CabextractTree(path, &status) == Inputs());
    EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Writer, WriterRoundTrip,
                         testing::Values(WriterCase{"MszipChecked", cabwriter::kTypeMszip, true, 0},
                                         WriterCase{"MszipUncheckedFolders", cabwriter::kTypeMszip, false, 1 << 20},
                                         WriterCase{"StoredCheckedFolders", cabwriter::kTypeStored, true, 1 << 20},
                                         WriterCase{"StoredUnchecked", cabwriter::kTypeStored, false, 0}),
                         [](const testing::TestParamInfo<WriterCase>& info) { return info.param.name; });

// Two MSZIP folders with the same content: the second folder's first block
// must decode on its own, without the first folder's history.
TEST(CabRoundTrip, EachMszipFolderStartsWithoutHistory)
{
    cabwriter::CabWriter writer;
    const std::vector<uint8_t> data = Incompressible(40000, 9);
    writer.AddMember({"one", data});
    writer.StartFolder(cabwriter::kTypeMszip);
    writer.AddMember({"two", data});
    writer.StartFolder(cabwriter::kTypeStored);
    writer.AddMember({"three", data});
    writer.StartFolder(cabwriter::kTypeMszip);
    writer.AddMember({"four", data});
    std::vector<uint8_t> cabinet;
    ASSERT_TRUE(writer.Write(cabinet));
    ASSERT_EQ(cabinet[26], 4);
    const CopyOutcome outcome = ReadWithEngine(cabinet);
    ASSERT_EQ(outcome.result, 1);
    for (const char* name : {"one", "two", "three", "four"}) {
        EXPECT_EQ(outcome.written.at(name), data) << name;
    }
}

TEST(CabWriter, RefusesNamesTheFormatCannotHold)
{
    for (const std::string& name : {std::string(), std::string(256, 'x')}) {
        cabwriter::CabWriter writer;
        writer.AddMember({name, {1, 2, 3}});
        std::vector<uint8_t> cabinet;
        EXPECT_FALSE(writer.Write(cabinet)) << name.size();
    }
}

}  // namespace

namespace {

// A file's local modification time and its read-only state become the
// member's DOS date, time and attributes.
TEST(CabWriter, MembersFromFilesCarryTheirDateTimeAndAttributes)
{
    const std::string folder = ScratchFolder("writer-dates");
    const fs::path file = fs::path(folder) / "dated.txt";
    std::ofstream(file) << "dated";
    std::tm local = {};
    local.tm_year = 2020 - 1900;
    local.tm_mon = 4;
    local.tm_mday = 17;
    local.tm_hour = 13;
    local.tm_min = 45;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
    fs::last_write_time(file, std::chrono::file_clock::from_sys(when));
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    cabwriter::CabWriter writer;
    ASSERT_TRUE(writer.AddFile("dated.txt", file));
    std::vector<uint8_t> cabinet;
    ASSERT_TRUE(writer.Write(cabinet));
    const CopyOutcome outcome = ReadWithEngine(cabinet);
    ASSERT_EQ(outcome.result, 1);
    const CabEvent& copy = outcome.events.at(1);
    ASSERT_EQ(copy.type, CabNotificationType::CopyMember);
    EXPECT_EQ(copy.attributes, 0x21);  // archive, read-only
    const size_t entry = 36 + 8;       // the only file entry follows the folder entry
    EXPECT_EQ(cabinet[entry + 10] | cabinet[entry + 11] << 8, (2020 - 1980) << 9 | 5 << 5 | 17);
    EXPECT_EQ(cabinet[entry + 12] | cabinet[entry + 13] << 8, 13 << 11 | 45 << 5 | 15);
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace

namespace {

// The writer's members from files and from memory, for the same inputs.
struct TwoWriters {
    cabwriter::CabWriter fromFiles;
    cabwriter::CabWriter fromMemory;
};

void AddInputs(TwoWriters& writers, const std::string& folder)
{
    for (const auto& [path, bytes] : Inputs()) {
        const fs::path file = fs::path(folder) / path;
        ASSERT_TRUE(writers.fromFiles.AddFile(Backslashed(path), file));
        cabwriter::Member member{Backslashed(path), bytes};
        std::error_code ec;
        cabwriter::ToDosDateTime(fs::last_write_time(file, ec), member.date, member.time);
        member.attributes = 0x20;
        writers.fromMemory.AddMember(member);
    }
}

}  // namespace

// Files are read a block at a time while the cabinet is written; the
// cabinet is the one their bytes give from memory, in every folder layout.
TEST(CabWriter, MembersReadFromFilesGiveTheSameCabinetAsFromMemory)
{
    const std::string folder = WriteInputs("writer-streamed");
    const struct {
        uint16_t type;
        size_t folderSizeLimit;
    } cases[] = {{cabwriter::kTypeMszip, 0}, {cabwriter::kTypeStored, 1 << 20}, {cabwriter::kTypeMszip, 1 << 20}};
    for (const auto& c : cases) {
        cabwriter::Options options;
        options.compressionType = c.type;
        options.folderSizeLimit = c.folderSizeLimit;
        TwoWriters writers{cabwriter::CabWriter(options), cabwriter::CabWriter(options)};
        AddInputs(writers, folder);
        std::vector<uint8_t> streamed, held;
        std::string error;
        ASSERT_TRUE(writers.fromFiles.Write(streamed, &error)) << error;
        ASSERT_TRUE(writers.fromMemory.Write(held, &error)) << error;
        EXPECT_TRUE(streamed == held) << "type " << c.type << ", folder limit " << c.folderSizeLimit;
        // Written to a stream that already holds bytes: the header goes back to where the cabinet began.
        std::stringstream stream;
        stream << "lead";
        ASSERT_TRUE(writers.fromFiles.Write(stream, &error)) << error;
        EXPECT_TRUE("lead" + std::string(held.begin(), held.end()) == stream.str())
            << "type " << c.type << ", folder limit " << c.folderSizeLimit;
    }
}

// A file that no longer holds the bytes it had when it was added makes the
// cabinet fail, with its name, instead of giving members of the wrong size.
TEST(CabWriter, AFileChangedAfterItWasAddedIsAnError)
{
    const std::string folder = ScratchFolder("writer-changed");
    const fs::path file = fs::path(folder) / "changing.bin";
    const struct {
        const char* name;
        size_t sizeAfter;  // 0: removed
    } cases[] = {{"shorter", 40000}, {"longer", 70000}, {"one byte longer", 65537}, {"removed", 0}};
    for (const auto& c : cases) {
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(Incompressible(65536, 7).data()), 65536);
        cabwriter::CabWriter writer;
        ASSERT_TRUE(writer.AddFile("changing.bin", file));
        if (c.sizeAfter == 0) {
            fs::remove(file);
        } else {
            std::ofstream(file, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(Incompressible(c.sizeAfter, 8).data()),
                       std::streamsize(c.sizeAfter));
        }
        std::vector<uint8_t> cabinet;
        std::string error;
        EXPECT_FALSE(writer.Write(cabinet, &error)) << c.name;
        EXPECT_NE(error.find("changing.bin"), std::string::npos) << c.name << ": " << error;
    }
}

// Progress comes after every data block, counting uncompressed bytes of all
// folders up to their total.
TEST(CabWriter, ProgressCountsEveryBlockUpToTheTotal)
{
    std::vector<std::pair<uint64_t, uint64_t>> reports;
    cabwriter::Options options;
    options.folderSizeLimit = 1 << 20;
    options.progress = [&](uint64_t done, uint64_t total) { reports.push_back({done, total}); };
    cabwriter::CabWriter writer(options);
    uint64_t total = 0;
    size_t blocks = 0;
    for (const size_t size : {size_t(100000), size_t(1 << 20), size_t(5)}) {
        writer.AddMember({"m" + std::to_string(size), Pattern(size, 9)});
        total += size;
        blocks += (size + cabwriter::kBlockSize - 1) / cabwriter::kBlockSize;
    }
    std::vector<uint8_t> cabinet;
    ASSERT_TRUE(writer.Write(cabinet));
    ASSERT_EQ(reports.size(), blocks);  // three folders: no block holds bytes of two members
    uint64_t previous = 0;
    for (const auto& [done, reportedTotal] : reports) {
        EXPECT_GT(done, previous);
        EXPECT_LE(done - previous, cabwriter::kBlockSize);
        EXPECT_EQ(reportedTotal, total);
        previous = done;
    }
    EXPECT_EQ(reports.back().first, total);
}

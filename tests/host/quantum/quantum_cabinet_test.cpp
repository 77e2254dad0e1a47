// Quantum cabinets end to end: made by our compressor through the cabinet
// writer, checked by an independent decoder (cabextract) and read back by the
// engine's reader; the original compressor's sample and damaged vectors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "package/cab/cab_decoder.h"
#include "tests/host/quantum/quantum_test_data.h"
#include "tools/cabtool/cab_file_io.h"
#include "tools/cabwriter/cab_writer.h"
#include "tools/quantum/quantum_compressor.h"
#include "tests/host/common/scratch_files.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::vector<uint8_t>>;

const fs::path kVectors = fs::path(ENGINE_TESTDATA_DIR) / "cabs";

fs::path WorkFolder()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "_" + test->name();
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    return EmptyScratchFolder("quantum_test_work", name);
}

// --- the engine's reader, writing members to memory -------------------------

constexpr intptr_t kFirstOutput = 0x40000000;
std::map<intptr_t, std::vector<uint8_t>> gOutputs;

int WriteOutput(intptr_t handle, const void* buffer, unsigned int count)
{
    if (handle < kFirstOutput)
        return CabToolWrite(handle, buffer, count);
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    gOutputs[handle].insert(gOutputs[handle].end(), bytes, bytes + count);
    return int(count);
}

int CloseAny(intptr_t handle)
{
    return handle >= kFirstOutput ? 0 : CabToolClose(handle);
}

struct Extraction {
    const std::vector<std::string>* wanted = nullptr;  // null: every member
    Files files;
    std::map<intptr_t, std::string> names;
    intptr_t nextHandle = kFirstOutput;
    CabErrorRecord errors{};
    bool ok = false;
};

intptr_t Handle(CabNotificationType type, CabNotification* n)
{
    Extraction& run = *static_cast<Extraction*>(n->userContext);
    if (type == CabNotificationType::CopyMember) {
        const std::string name = n->text1;
        if (run.wanted && std::find(run.wanted->begin(), run.wanted->end(), name) == run.wanted->end())
            return 0;
        run.names[run.nextHandle] = name;
        gOutputs[run.nextHandle].clear();
        return run.nextHandle++;
    }
    if (type == CabNotificationType::CloseFileInfo) {
        run.files[run.names[n->fileHandle]] = gOutputs[n->fileHandle];
        return 1;
    }
    return 0;
}

Extraction ExtractWithEngine(const fs::path& cabinet, const std::vector<std::string>* wanted = nullptr)
{
    Extraction run;
    run.wanted = wanted;
    CabDecoder* decoder = CreateCabDecoder(CabToolAllocate, CabToolFree, CabToolOpen, CabToolRead, WriteOutput,
                                           CloseAny, CabToolSeek, kCabProcessor386, &run.errors);
    EXPECT_NE(decoder, nullptr);
    if (!decoder)
        return run;
    const std::string name = cabinet.filename().string();
    const std::string folder = cabinet.parent_path().string() + "/";
    run.ok = CopyCabinet(decoder, name.c_str(), folder.c_str(), 0, Handle, nullptr, &run) == 1;
    DestroyCabDecoder(decoder);
    return run;
}

// --- cabextract, the independent decoder ------------------------------------

bool HaveCabextract()
{
    return std::system("cabextract --version > /dev/null 2>&1") == 0;
}

int Cabextract(const std::string& arguments)
{
    return std::system(("cabextract -q " + arguments + " > /dev/null 2>&1").c_str());
}

// Member names as stored ('\' between folders), read back from cabextract's output folder.
Files ExtractWithCabextract(const fs::path& cabinet, const fs::path& folder, const std::string& filter = "")
{
    Files files;
    const std::string options = filter.empty() ? "" : "-F " + filter + " ";
    if (Cabextract(options + "-d '" + folder.string() + "' '" + cabinet.string() + "'") != 0)
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        std::string name = fs::relative(entry.path(), folder).string();
        for (char& c : name) {
            if (c == '/')
                c = '\\';
        }
        files[name] = ReadAll(entry.path());
    }
    return files;
}

// --- cabinets from our compressor ---------------------------------------------

struct CabinetCase {
    const char* name;
    bool allKinds;           // false: only an empty and a one-byte member
    size_t folderSizeLimit;  // > 0: several folders
};

Files MembersFor(const CabinetCase& c)
{
    Files members;
    members["empty.txt"] = {};
    if (!c.allKinds) {
        members["one.bin"] = {0xA5};
        return members;
    }
    for (const quantum_test::Input& input : quantum_test::StandardInputs()) {
        if (input.name != "empty")
            members["data\\" + input.name + ".bin"] = input.bytes;
    }
    return members;
}

std::vector<uint8_t> WriteQuantumCabinet(const Files& members, int windowBits, size_t folderSizeLimit,
                                         bool checksums = true)
{
    quantum::RegisterQuantumCompressor();
    cabwriter::Options options;
    options.compressionType = cabwriter::QuantumType(windowBits);
    options.folderSizeLimit = folderSizeLimit;
    options.checksums = checksums;
    cabwriter::CabWriter writer(options);
    for (const auto& [name, bytes] : members)
        writer.AddMember({name, bytes});
    std::vector<uint8_t> cabinet;
    std::string error;
    EXPECT_TRUE(writer.Write(cabinet, &error)) << error;
    return cabinet;
}

constexpr CabinetCase kCabinetCases[] = {
    {"small_members", false, 0},
    {"one_folder", true, 0},
    {"several_folders", true, 120000},
};

class QuantumCabinets : public testing::TestWithParam<int> {};

TEST_P(QuantumCabinets, CabextractAndTheEngineExtractWhatWentIn)
{
    if (!HaveCabextract())
        GTEST_SKIP() << "cabextract is not installed";
    const int windowBits = GetParam();
    const fs::path work = WorkFolder();
    for (const CabinetCase& c : kCabinetCases) {
        SCOPED_TRACE(c.name);
        const Files members = MembersFor(c);
        const fs::path cabinet = work / (std::string(c.name) + ".cab");
        WriteAll(cabinet, WriteQuantumCabinet(members, windowBits, c.folderSizeLimit));

        EXPECT_EQ(Cabextract("-t '" + cabinet.string() + "'"), 0);
        const fs::path out = work / c.name;
        fs::create_directories(out);
        EXPECT_EQ(ExtractWithCabextract(cabinet, out), members);

        const Extraction engine = ExtractWithEngine(cabinet);
        EXPECT_TRUE(engine.ok) << CabErrorName(engine.errors.code);
        EXPECT_EQ(engine.files, members);
    }
}

INSTANTIATE_TEST_SUITE_P(WindowBits, QuantumCabinets, testing::Values(10, 15, 21));

// The writer's folder entry comes right after the 36-byte header; its type
// field is the entry's last two bytes.
constexpr size_t kFolderTypeOffset = 36 + 6;
constexpr size_t kFolderDataOffset = 36;

TEST(QuantumCabinet, WindowBitsNineAndTwentyTwoAreRefused)
{
    const fs::path work = WorkFolder();
    const Files members = {{"a.txt", quantum_test::TextBytes(5000)}};
    const std::vector<uint8_t> cabinet = WriteQuantumCabinet(members, 10, 0, false);
    const struct {
        int windowBits;
        bool ok;
        int code;
    } cases[] = {{9, false, int(CabError::DecompressFail)},
                 {10, true, int(CabError::None)},
                 {22, false, int(CabError::DecompressFail)}};
    for (const auto& c : cases) {
        std::vector<uint8_t> patched = cabinet;
        patched[kFolderTypeOffset + 1] = uint8_t(c.windowBits);
        const fs::path path = work / ("w" + std::to_string(c.windowBits) + ".cab");
        WriteAll(path, patched);
        const Extraction engine = ExtractWithEngine(path);
        EXPECT_EQ(engine.ok, c.ok) << c.windowBits;
        EXPECT_EQ(engine.errors.code, c.code) << c.windowBits;
    }
}

// A member that ends two bytes short of the window's end, in the middle of
// text that repeats into the next member: a match across the window's end
// would start in the first member, and cabextract, which hands out the
// window's bytes member by member, refuses such a match.
TEST(QuantumCabinet, MatchesStopAtTheWindowsEnd)
{
    if (!HaveCabextract())
        GTEST_SKIP() << "cabextract is not installed";
    const fs::path work = WorkFolder();
    const std::vector<uint8_t> phrase = quantum_test::TextBytes(300);
    for (int windowBits = 10; windowBits <= 14; ++windowBits) {
        const size_t window = size_t(1) << windowBits;
        std::vector<uint8_t> text;
        while (text.size() < 2 * window)
            text.insert(text.end(), phrase.begin(), phrase.end());
        const Files members = {{"a.txt", {text.begin(), text.begin() + ptrdiff_t(window - 2)}},
                               {"b.txt", {text.begin() + ptrdiff_t(window - 2), text.end()}}};
        const fs::path cabinet = work / ("w" + std::to_string(windowBits) + ".cab");
        WriteAll(cabinet, WriteQuantumCabinet(members, windowBits, 0));
        EXPECT_EQ(Cabextract("-t '" + cabinet.string() + "'"), 0) << windowBits;
    }
}

TEST(QuantumCabinet, ABlockMissingItsLastByteFails)
{
    const fs::path work = WorkFolder();
    const Files members = {{"a.txt", quantum_test::TextBytes(20000)}};
    std::vector<uint8_t> cabinet = WriteQuantumCabinet(members, 16, 0, false);
    const size_t block = cabinet[kFolderDataOffset] | cabinet[kFolderDataOffset + 1] << 8;
    const uint16_t compressed = uint16_t(cabinet[block + 4] | cabinet[block + 5] << 8);
    cabinet[block + 4] = uint8_t(compressed - 1);
    cabinet[block + 5] = uint8_t((compressed - 1) >> 8);
    WriteAll(work / "short.cab", cabinet);
    const Extraction engine = ExtractWithEngine(work / "short.cab");
    EXPECT_FALSE(engine.ok);
    EXPECT_EQ(engine.errors.code, int(CabError::DecompressFail));
    EXPECT_TRUE(engine.files.empty());
}

// Made by the original compressor (window 2^18): the one real sample. The
// LZX member in front of it is skipped, so its folder is never selected.
TEST(QuantumCabinet, TheOriginalCompressorsSampleDecodes)
{
    if (!HaveCabextract())
        GTEST_SKIP() << "cabextract is not installed";
    const fs::path sample = kVectors / "mszip_lzx_qtm.cab";
    const Files expected = ExtractWithCabextract(sample, WorkFolder(), "qtm.txt");
    ASSERT_EQ(expected.count("qtm.txt"), 1u);
    const std::vector<std::string> wanted = {"qtm.txt"};
    const Extraction engine = ExtractWithEngine(sample, &wanted);
    EXPECT_TRUE(engine.ok) << CabErrorName(engine.errors.code);
    EXPECT_EQ(engine.files, expected);
}

// Vectors from another decoder's bug reports; each ends with a defined error.
TEST(QuantumCabinet, DamagedVectorsEndWithADefinedError)
{
    const struct {
        const char* name;
        CabError code;
    } cases[] = {
        // Its member claims 4 GiB at offset 255 of a folder of one 191-byte
        // block, which the reader refuses before decoding (the block itself,
        // plain text, fails in the codec: see the codec test).
        {"cve-2014-9556-qtm-infinite-loop.cab", CabError::CorruptCabinet},
        // A full block whose 38912 bytes don't decode to 32768.
        {"cve-2018-18584-qtm-max-size-block.cab", CabError::DecompressFail},
    };
    for (const auto& c : cases) {
        const Extraction engine = ExtractWithEngine(kVectors / c.name);
        EXPECT_FALSE(engine.ok) << c.name;
        EXPECT_EQ(engine.errors.code, int(c.code)) << c.name;
        EXPECT_TRUE(engine.files.empty()) << c.name;
    }
}

}  // namespace

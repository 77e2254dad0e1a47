// The outside cabinet vectors: good ones extract exactly as cabextract
// extracts them, bad ones end with the error code written beside each.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/host/cab/cab_harness.h"
#include "tests/host/cab/memory_files.h"
#include "tests/host/cab/oracle.h"

namespace {

const std::string kVectors = std::string(ENGINE_TESTDATA_DIR) + "/cabs/";

CopyOutcome CopyVector(const std::string& file, const HandlerScript& script = {})
{
    memfs::Reset();
    memfs::Put(file, ReadFileBytes(kVectors + file));
    return RunCopy(file, "", script);
}

void ExpectClean(const CopyOutcome& outcome)
{
    EXPECT_EQ(outcome.openHandles, 0) << "the decoder left handles open";
    EXPECT_EQ(outcome.liveAllocations, 0) << "the decoder left memory allocated";
}

class GoodVector : public testing::TestWithParam<const char*> {};

TEST_P(GoodVector, ExtractsWhatCabextractExtracts)
{
    if (!HaveCabextract()) {
        GTEST_SKIP() << "cabextract is not installed";
    }
    int status = -1;
    const FileTree expected = CabextractTree(kVectors + GetParam(), &status);
    ASSERT_EQ(status, 0);
    ASSERT_FALSE(expected.empty());
    const CopyOutcome outcome = CopyVector(GetParam());
    EXPECT_EQ(outcome.result, 1) << CabErrorName(outcome.errors.code);
    EXPECT_EQ(outcome.errors.failed, 0);
    EXPECT_EQ(Slashed(outcome.written), expected);
    ExpectClean(outcome);
}

INSTANTIATE_TEST_SUITE_P(Vectors, GoodVector,
                         testing::Values("normal_255c_filename.cab", "normal_2files_1folder.cab", "reserve_---.cab",
                                         "reserve_--D.cab", "reserve_-F-.cab", "reserve_-FD.cab", "reserve_H--.cab",
                                         "reserve_H-D.cab", "reserve_HF-.cab", "reserve_HFD.cab"));

struct BadCase {
    const char* file;
    CabError code;
    const char* why;
};

constexpr BadCase kBadCases[] = {
    {"bad_folderindex.cab", CabError::CorruptCabinet, "welcome.c names folder 1 of a cabinet with one folder"},
    {"bad_nofiles.cab", CabError::CorruptCabinet, "the header counts no file entries"},
    {"bad_nofolders.cab", CabError::CorruptCabinet, "the header counts no folders"},
    {"bad_signature.cab", CabError::NotACabinet, "no \"MSCF\" signature"},
    {"cve-2010-2800-mszip-infinite-loop.cab", CabError::DecompressFail,
     "its MSZIP block does not decode to the block's size"},
    {"cve-2014-9556-qtm-infinite-loop.cab", CabError::CorruptCabinet, "the member's offset plus size passes 4 GiB"},
    {"cve-2014-9732-folders-segfault.cab", CabError::BadCompressionType,
     "member 2 lies in a folder of type 15, after member 1 of a stored folder was written"},
    {"cve-2015-4470-mszip-over-read.cab", CabError::UnsupportedVersion, "the version bytes read 3.129"},
    {"cve-2015-4471-lzx-under-read.cab", CabError::CorruptCabinet,
     "the first file entry lies beyond the file (offset above 2 GiB)"},
    {"cve-2017-11423-fname-overread.cab", CabError::CorruptCabinet, "the last name has no terminator before the end"},
    {"filename-read-violation-1.cab", CabError::CorruptCabinet, "the member's name is empty"},
    {"filename-read-violation-2.cab", CabError::CorruptCabinet,
     "the member's folder has no data blocks and no next cabinet"},
    {"filename-read-violation-3.cab", CabError::CorruptCabinet,
     "the member's folder has no data blocks and no next cabinet"},
    {"filename-read-violation-4.cab", CabError::CorruptCabinet,
     "the member's data lies past the end of its folder's only block"},
    {"hidden-file-bad-folderid.cab", CabError::CorruptCabinet, "the member names folder 1 of one folder"},
    {"hidden-file-beyond-eof.cab", CabError::CorruptCabinet, "the first file entry lies beyond the file's end"},
    {"lzx-main-tree-no-lengths.cab", CabError::BadCompressionType, "LZX data"},
    {"lzx-premature-matches.cab", CabError::BadCompressionType, "LZX data"},
    {"partial_nodata.cab", CabError::CorruptCabinet, "the data block is cut off"},
    {"partial_nofiles.cab", CabError::CorruptCabinet, "the file ends before the file entries"},
    {"partial_nofolder.cab", CabError::CorruptCabinet, "the file ends before the folder entry"},
    {"partial_shortextheader.cab", CabError::NotACabinet, "the reserve sizes are cut off"},
    {"partial_shortfile1.cab", CabError::CorruptCabinet, "the first file entry is cut off"},
    {"partial_shortfile2.cab", CabError::CorruptCabinet, "the second file entry is cut off"},
    {"partial_shortfolder.cab", CabError::CorruptCabinet, "the folder entry is cut off"},
    {"partial_shortheader.cab", CabError::NotACabinet, "fewer than 36 header bytes"},
    {"partial_str_nofname.cab", CabError::CorruptCabinet, "the member name is missing"},
    {"partial_str_noninfo.cab", CabError::CorruptCabinet, "the next disk name is missing"},
    {"partial_str_nonname.cab", CabError::CorruptCabinet, "the next cabinet name is missing"},
    {"partial_str_nopinfo.cab", CabError::CorruptCabinet, "the previous disk name is missing"},
    {"partial_str_nopname.cab", CabError::CorruptCabinet, "the previous cabinet name is missing"},
    {"partial_str_shortfname.cab", CabError::CorruptCabinet, "the member name has no terminator"},
    {"partial_str_shortninfo.cab", CabError::CorruptCabinet, "the next disk name has no terminator"},
    {"partial_str_shortnname.cab", CabError::CorruptCabinet, "the next cabinet name has no terminator"},
    {"partial_str_shortpinfo.cab", CabError::CorruptCabinet, "the previous disk name has no terminator"},
    {"partial_str_shortpname.cab", CabError::CorruptCabinet, "the previous cabinet name has no terminator"},
    // cabextract searches files for cabinets embedded in other data; this
    // reader reads a cabinet from its first byte, as the installer's are.
    {"search_basic.cab", CabError::NotACabinet, "the file does not start with a cabinet"},
    {"search_tricky1.cab", CabError::UnsupportedVersion, "\"MSCF\" at the start, version 0.0"},
    {"cve-2018-18584-qtm-max-size-block.cab", CabError::DecompressFail,
     "its Quantum block of the largest size does not decode to the block's size"},
};

void PrintTo(const BadCase& c, std::ostream* out)
{
    *out << c.file;
}

class BadVector : public testing::TestWithParam<BadCase> {};

TEST_P(BadVector, EndsWithItsErrorCode)
{
    const BadCase& c = GetParam();
    const CopyOutcome outcome = CopyVector(c.file);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.errors.failed, 1);
    EXPECT_STREQ(CabErrorName(outcome.errors.code), CabErrorName(int(c.code))) << c.why;
    ExpectClean(outcome);
}

INSTANTIATE_TEST_SUITE_P(Vectors, BadVector, testing::ValuesIn(kBadCases),
                         [](const testing::TestParamInfo<BadCase>& info) {
                             std::string name = std::filesystem::path(info.param.file).stem().string();
                             for (char& c : name) {
                                 if (!isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

// Members before the first folder this reader can't decode are written as
// cabextract writes them; then the LZX folder ends the copy.
TEST(CabVectors, WritesMszipMembersThenRefusesLzx)
{
    if (!HaveCabextract()) {
        GTEST_SKIP() << "cabextract is not installed";
    }
    struct Case {
        const char* file;
        std::vector<std::string> written;
    };
    for (const Case& c :
         {Case{"mszip_lzx_qtm.cab", {"mszip.txt"}}, Case{"normal_2files_2folders.cab", {"mszip1.txt", "mszip2.txt"}}}) {
        const FileTree oracle = CabextractTree(kVectors + c.file);
        const CopyOutcome outcome = CopyVector(c.file);
        EXPECT_EQ(outcome.result, 0) << c.file;
        EXPECT_EQ(outcome.errors.code, int(CabError::BadCompressionType)) << c.file;
        FileTree expected;
        for (const std::string& name : c.written) {
            ASSERT_TRUE(oracle.count(name)) << name;
            expected[name] = oracle.at(name);
        }
        EXPECT_EQ(Slashed(outcome.written), expected) << c.file;
        ExpectClean(outcome);
    }
}

// The five parts name their successors "cabd_multi_basic_ptN.cab"; the
// handler maps those names to the files as they are called here, and the
// first copy follows the set to its end. cabextract gets copies under the
// names the cabinets use.
TEST(CabVectors, MultiPartSetExtractsAcrossAllFiveCabinets)
{
    if (!HaveCabextract()) {
        GTEST_SKIP() << "cabextract is not installed";
    }
    const std::string folder = ScratchFolder("multi_basic");
    memfs::Reset();
    HandlerScript script;
    for (int part = 1; part <= 5; ++part) {
        const std::string file = "multi_basic_pt" + std::to_string(part) + ".cab";
        std::filesystem::copy_file(kVectors + file, folder + "/cabd_" + file);
        memfs::Put("set/" + file, ReadFileBytes(kVectors + file));
        script.nextNames["cabd_" + file] = file;
    }
    int status = -1;
    const FileTree expected = CabextractTree(folder + "/cabd_multi_basic_pt1.cab", &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(expected.size(), 3u);

    const CopyOutcome outcome = RunCopy("multi_basic_pt1.cab", "set/", script);
    EXPECT_EQ(outcome.result, 1) << CabErrorName(outcome.errors.code);
    EXPECT_EQ(Slashed(outcome.written), expected);
    std::vector<uint16_t> visited;
    for (const CabEvent& e : outcome.events) {
        if (e.type == CabNotificationType::NextCabinet) {
            EXPECT_EQ(e.lastError, 0);
            visited.push_back(e.cabinetIndex);
        }
    }
    EXPECT_EQ(visited, (std::vector<uint16_t>{1, 2, 3, 4}));
    ExpectClean(outcome);
}

// The header places the file entries after two entries that directly follow
// the folder entry. This reader takes the header's offset, as the format
// says, and so sees hidden1.txt and hidden2.txt where cabextract lists the
// two entries in between.
TEST(CabVectors, FileEntriesStartWhereTheHeaderSays)
{
    const CopyOutcome outcome = CopyVector("hidden-files.cab");
    EXPECT_EQ(outcome.result, 1);
    const FileTree expected = {{"hidden1.txt", {}}, {"hidden2.txt", {}}};
    EXPECT_EQ(Slashed(outcome.written), expected);
    ExpectClean(outcome);
}

}  // namespace

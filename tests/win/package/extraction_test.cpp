// The extraction driver on Windows: members into folders with their
// attributes and times, the installer's own members, splash pictures beside
// the cabinet, and member names that try to leave the destination folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "package/cabinet_extraction.h"
#include "tests/win/install/install_test_support.h"
#include "text/text_scan.h"

namespace {

std::vector<std::string> gRecorded;
std::vector<int32_t> gStarted;

void Record(void*, const char* memberName)
{
    gRecorded.push_back(memberName);
}

void CountStart(void*, int32_t size)
{
    gStarted.push_back(size);
}

const ExtractionListener kListener = {CountStart, Record, nullptr};

class Extraction : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseCodePage(GetACP());
        gRecorded.clear();
        gStarted.clear();
        work_ = FreshFolder("extract-" + TestName());
        cabinet_ = work_ + "\\IL1.tmp";
        destination_ = work_ + "\\dest";
        ASSERT_TRUE(CreateDirectoryA(destination_.c_str(), nullptr));
    }
    int ExtractProducts()
    {
        return ExtractCabinet(cabinet_.c_str(), destination_.c_str(), ProductMemberFilter, &kListener);
    }

    std::string work_, cabinet_, destination_;
};

TEST_F(Extraction, ProductFilesLandWithTheirFoldersBytesAndAttributes)
{
    const std::vector<cabwriter::Member> members = {
        MemberOf("$bmp"),
        MemberOf("a\\b\\c.txt", 0x20),
        MemberOf("bin\\tool.exe", 0x21, 70000),  // read-only, over two data blocks
        MemberOf("$", 0x20),
        MemberOf("hidden.sys", 0x06),  // hidden and system
        MemberOf("flags.dat", 0xE1),   // run-after and name-is-UTF bits are dropped
        MemberOf("empty.txt", 0x20, 0),
        MemberOf("$MASK"),
    };
    WriteCabinet(cabinet_, members);
    const ULONGLONG before = NowTicks();

    ASSERT_EQ(ExtractProducts(), 1);

    const ULONGLONG after = NowTicks();
    EXPECT_EQ(ListFolder(destination_), (std::vector<std::string>{"a", "bin", "empty.txt", "flags.dat", "hidden.sys"}));
    EXPECT_EQ(gRecorded,
              (std::vector<std::string>{"a\\b\\c.txt", "bin\\tool.exe", "hidden.sys", "flags.dat", "empty.txt"}));
    EXPECT_EQ(gStarted, (std::vector<int32_t>{static_cast<int32_t>(members[1].data.size()), 70000,
                                              static_cast<int32_t>(members[4].data.size()),
                                              static_cast<int32_t>(members[5].data.size()), 0}));
    // Wine shows every file with the archive bit and keeps no bits beyond
    // 0x27 of its own; read-only, hidden and system are the member's.
    const struct {
        size_t member;
        DWORD attributes;
    } expected[] = {{1, 0x20}, {2, 0x21}, {4, 0x26}, {5, 0x21}, {6, 0x20}};
    for (const auto& e : expected) {
        const std::string path = destination_ + "\\" + members[e.member].name;
        EXPECT_EQ(ReadFileBytes(path), ContentOf(members[e.member])) << path;
        EXPECT_EQ(AttributesOf(path) & 0x1FF, e.attributes) << path;
        FILETIME creation, lastWrite;
        ASSERT_TRUE(ReadFileTimes(path, creation, lastWrite));
        // Last write: the time of extraction. (Wine keeps no creation time of
        // its own, so the member's stamp cannot be read back here.)
        EXPECT_GE(Ticks(lastWrite) + 20000000, before) << path;
        EXPECT_LE(Ticks(lastWrite), after + 20000000) << path;
    }
    SetFileAttributesA((destination_ + "\\bin\\tool.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA((destination_ + "\\flags.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Extraction, ReadOnlyFileAtTheTargetIsReplaced)
{
    const std::string target = destination_ + "\\config.ini";
    ASSERT_TRUE(WriteFileBytes(target, "an older and much longer configuration file than the new one\n"));
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    const cabwriter::Member member = MemberOf("config.ini", 0x20);
    WriteCabinet(cabinet_, {member});

    ASSERT_EQ(ExtractProducts(), 1);

    EXPECT_EQ(ReadFileBytes(target), ContentOf(member));
    EXPECT_EQ(AttributesOf(target) & FILE_ATTRIBUTE_READONLY, 0u);
}

struct HostileCase {
    const char* label;
    std::string name;
    std::string outside;  // where the file would land: "~" stands for the work folder
};

void PrintTo(const HostileCase& c, std::ostream* out)
{
    *out << c.label;
}

class HostileNames : public Extraction, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileNames, EndTheExtractionAndWriteNothingOutside)
{
    const HostileCase& c = GetParam();
    std::string outside = c.outside;
    if (outside.rfind("~", 0) == 0)
        outside = work_ + outside.substr(1);
    if (!outside.empty())
        DeleteFileA(outside.c_str());
    WriteCabinet(cabinet_, {MemberOf("first.txt"), MemberOf(c.name), MemberOf("last.txt")});

    EXPECT_EQ(ExtractProducts(), 0);

    if (!outside.empty())
        EXPECT_FALSE(FileExists(outside)) << outside;
    EXPECT_EQ(ListFolder(work_), (std::vector<std::string>{"IL1.tmp", "dest"}));
    EXPECT_EQ(ListFolder(destination_), std::vector<std::string>{"first.txt"}) << "members before it stay";
    EXPECT_EQ(gRecorded, std::vector<std::string>{"first.txt"}) << "a refused name is never recorded";
}

INSTANTIATE_TEST_SUITE_P(Names, HostileNames,
                         ::testing::Values(HostileCase{"ParentFolder", "..\\escape.txt", "~\\escape.txt"},
                                           HostileCase{"ParentFolderWithSlash", "../escape.txt", "~\\escape.txt"},
                                           HostileCase{"DeepParent", "sub\\..\\..\\escape.txt", "~\\escape.txt"},
                                           HostileCase{"ParentWithTrailingSpace", ".. \\escape.txt", "~\\escape.txt"},
                                           HostileCase{"DriveLetter", "C:\\engine-abs.txt", "C:\\engine-abs.txt"},
                                           HostileCase{"DriveRelative", "C:engine-rel.txt", "C:engine-rel.txt"},
                                           HostileCase{"RootRelative", "\\engine-root.txt", "\\engine-root.txt"},
                                           HostileCase{"Device", "CON", ""},
                                           HostileCase{"ControlByte", "bell\x07.txt", ""}),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(Extraction, PathLongerThanFiveHundredElevenBytesIsRefused)
{
    // The destination need not exist: the name is refused before anything is made.
    std::string deep = destination_;
    while (deep.size() < 300)
        deep += "\\deeper";
    // The joined path is 512 bytes: one too many.
    const std::string name = std::string(100, 'n') + "\\" + std::string(511 - deep.size() - 101, 'm');
    WriteCabinet(cabinet_, {MemberOf(name)});

    EXPECT_EQ(ExtractCabinet(cabinet_.c_str(), deep.c_str(), ProductMemberFilter, &kListener), 0);

    EXPECT_TRUE(ListFolder(destination_).empty());
    EXPECT_TRUE(gRecorded.empty());
    EXPECT_TRUE(gStarted.empty());
}

TEST_F(Extraction, NoCabinetNoExtraction)
{
    EXPECT_EQ(ExtractProducts(), 0);  // missing
    ASSERT_TRUE(WriteFileBytes(cabinet_, "MSCF but not really a cabinet at all, just text"));
    EXPECT_EQ(ExtractProducts(), 0);
    EXPECT_TRUE(ListFolder(destination_).empty());
}

TEST_F(Extraction, SplashPicturesComeOutBesideTheCabinet)
{
    const cabwriter::Member picture = MemberOf("$BMP", 0x21), mask = MemberOf("$mask");
    WriteCabinet(cabinet_, {MemberOf("app.exe"), picture, mask});
    char bitmapPath[512] = "?", maskPath[512] = "?";

    ASSERT_EQ(ExtractSplashBitmaps(bitmapPath, maskPath, cabinet_.c_str()), 1);

    EXPECT_EQ(std::string(bitmapPath), work_ + "\\$bmp");
    EXPECT_EQ(std::string(maskPath), work_ + "\\$mask");
    EXPECT_EQ(ReadFileBytes(bitmapPath), ContentOf(picture));
    EXPECT_EQ(ReadFileBytes(maskPath), ContentOf(mask));
    EXPECT_FALSE(FileExists(work_ + "\\app.exe"));
    EXPECT_TRUE(gRecorded.empty()) << "the splash pass records nothing";
    SetFileAttributesA(bitmapPath, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Extraction, SplashPicturesNeedBothFiles)
{
    WriteCabinet(cabinet_, {MemberOf("$bmp"), MemberOf("app.exe")});
    char bitmapPath[512] = "?", maskPath[512] = "?";

    EXPECT_EQ(ExtractSplashBitmaps(bitmapPath, maskPath, cabinet_.c_str()), 0);

    EXPECT_STREQ(bitmapPath, "");
    EXPECT_STREQ(maskPath, "");
    EXPECT_EQ(ListFolder(work_), (std::vector<std::string>{"IL1.tmp", "dest"}));
}

TEST_F(Extraction, SplashPicturesOfAnEarlierRunAreNotTaken)
{
    ASSERT_TRUE(WriteFileBytes(work_ + "\\$bmp", "left over"));
    ASSERT_TRUE(WriteFileBytes(work_ + "\\$mask", "left over"));
    WriteCabinet(cabinet_, {MemberOf("app.exe")});
    char bitmapPath[512] = "?", maskPath[512] = "?";

    EXPECT_EQ(ExtractSplashBitmaps(bitmapPath, maskPath, cabinet_.c_str()), 0);

    EXPECT_STREQ(bitmapPath, "");
    EXPECT_EQ(ListFolder(work_), (std::vector<std::string>{"IL1.tmp", "dest"}));
}

TEST_F(Extraction, FolderChainMakesEveryLevel)
{
    CreateFolderChain(destination_.c_str(), "a\\b\\c");
    EXPECT_TRUE(FileExists(destination_ + "\\a\\b\\c"));
    CreateFolderChain((destination_ + "\\").c_str(), "\\x\\y");
    EXPECT_TRUE(FileExists(destination_ + "\\x\\y"));
    EXPECT_EQ(EnsureFolder((destination_ + "\\a").c_str()), 1);
    ASSERT_TRUE(WriteFileBytes(destination_ + "\\file", "x"));
    EXPECT_EQ(EnsureFolder((destination_ + "\\file").c_str()), 1) << "something exists there";
}

// The product pass works on the install folder of the interface language.
void ExpectInstallIntoLanguageFolder(const std::string& work, const std::string& cabinet, bool japanese)
{
    static PackageSettings settings;
    settings = {};
    const std::string english = work + "\\english", chosen = work + "\\" + (japanese ? "japanese" : "english");
    strcpy(settings.english.installFolder, english.c_str());
    strcpy(settings.japanese.installFolder, (work + "\\japanese").c_str());
    CreateDirectoryA(chosen.c_str(), nullptr);
    WriteCabinet(cabinet, {MemberOf("sub\\app.exe"), MemberOf("$bmp")});

    ASSERT_EQ(ExtractProductFiles(settings, cabinet.c_str(), kListener), 1);

    EXPECT_EQ(ListFolder(work), (std::vector<std::string>{"IL1.tmp", "dest", japanese ? "japanese" : "english"}));
    EXPECT_EQ(ListFolder(chosen), std::vector<std::string>{"sub"});
    EXPECT_TRUE(FileExists(chosen + "\\sub\\app.exe"));
}

TEST_F(Extraction, ProductFilesGoToTheEnglishFolder)
{
    ExpectInstallIntoLanguageFolder(work_, cabinet_, false);
}

TEST_F(Extraction, ProductFilesGoToTheJapaneseFolderInJapanese)
{
    ExpectInstallIntoLanguageFolder(work_, cabinet_, true);
}

}  // namespace

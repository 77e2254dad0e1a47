// The package loader on Windows: the temporary folder, the resource copied out
// of a module, and the settings and the cabinet read from the copy. The modules are stubs with a package that
// mkpackage's library embedded, as setup.exe files get it.
#include <gtest/gtest.h>
#include <windows.h>
#include <imagehlp.h>

#include <random>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/package_loader.h"
#include "tests/e2e/harness/scenario.h"
#include "tests/host/common/random_bytes.h"
#include "text/text_scan.h"
#include "tools/common/pe_resources.h"
#include "tools/mkpackage/package_writer.h"
#include "tools/mkpackage/product_builder.h"

namespace {

using mkpackage::PackageContents;
using mkpackage::SettingsBlock;

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

SettingsBlock Block(const std::string& name)
{
    SettingsBlock block;
    block.productName = name;
    block.productVersion = "1.0";
    block.splashNote = "note of " + name;
    block.installFolder = "%ProgramFiles%\\" + name;
    block.osMask = 0xFFFFF;
    block.okIfNotAdmin = 1;
    block.shortcuts = {{name, "app.exe"}};
    block.checks = {{0, "app.exe", "missing"}, {1, "AppClass", "running"}};
    block.installCommands = {{"copy a b", 1}};
    block.launchCommands = {{"app.exe", 0}};
    return block;
}

PackageContents Contents(std::vector<uint8_t> cabinet)
{
    PackageContents contents;
    contents.japanese = Block("\x83\x5C\x83t\x83g");  // ソフト: a trail byte 0x5C in Shift-JIS
    contents.english = Block("Soft");
    contents.totalInstallBytes = 4242;
    contents.cabinet = std::move(cabinet);
    return contents;
}

std::vector<uint8_t> PackageOf(const PackageContents& contents)
{
    std::vector<uint8_t> package;
    std::string error;
    EXPECT_TRUE(mkpackage::WritePackage(contents, package, error)) << error;
    return package;
}

// A copy of a program with the package embedded, written into folder.
std::string ModuleWith(const std::string& folder, const char* program, const std::vector<uint8_t>& package)
{
    std::vector<uint8_t> stub = Bytes(ReadFileBytes(WindowsPath(program))), setup;
    std::string error;
    EXPECT_TRUE(mkpackage::EmbedPackage(stub, package, setup, error)) << error;
    std::string path = folder + "\\setup.exe";
    EXPECT_TRUE(WriteFileBytes(path, Text(setup)));
    return path;
}

std::string TempFolder()
{
    char folder[512];
    EXPECT_NE(0u, GetInstallerTempFolder(sizeof folder, folder));
    return folder;
}

// The package copies ("It" files) in the installer's temporary folder.
size_t PackageCopies()
{
    size_t count = 0;
    for (const std::string& name : ListFolder(TempFolder()))
        count += name.size() > 2 && (name[0] == 'I' || name[0] == 'i') && (name[1] == 't' || name[1] == 'T');
    return count;
}

// Each test gets a temporary folder of its own (TMP and TEMP point into its
// work folder), so that the installer's temporary folder holds only what the
// test made, whatever other tests run meanwhile.
class PackageLoader : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseCodePage(GetACP());
        folder_ = FreshFolder(std::string("loader-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::string user = folder_ + "\\user";
        CreateDirectoryA(user.c_str(), nullptr);
        CreateDirectoryA((user + "\\Temp").c_str(), nullptr);
        for (const char* name : {"TMP", "TEMP"}) {
            char value[1024] = "";
            saved_.push_back(GetEnvironmentVariableA(name, value, sizeof value) > 0 ? value : "");
            SetEnvironmentVariableA(name, (user + "\\Temp").c_str());
        }
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, PackageCopies()) << "a package copy was left behind";
        SetEnvironmentVariableA("TMP", saved_[0].empty() ? nullptr : saved_[0].c_str());
        SetEnvironmentVariableA("TEMP", saved_[1].empty() ? nullptr : saved_[1].c_str());
    }
    std::string folder_;
    std::vector<std::string> saved_;
};

TEST_F(PackageLoader, TemporaryFolderIsBesideTheUsersTemporaryFolder)
{
    char systemTemp[1024];
    ASSERT_NE(0u, GetTempPathA(sizeof systemTemp, systemTemp));
    std::string parent = systemTemp;
    parent.pop_back();  // the trailing backslash
    parent = parent.substr(0, parent.rfind('\\'));

    char folder[512];
    size_t length = GetInstallerTempFolder(sizeof folder, folder);
    EXPECT_EQ(parent + "\\vbnxoPmet", folder);
    EXPECT_EQ(strlen(folder), length);
    DWORD attributes = GetFileAttributesA(folder);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    char small[8] = "x";
    EXPECT_EQ(length, GetInstallerTempFolder(length, small)) << "a buffer of exactly the length has no room";
    EXPECT_STREQ("", small);
}

// The temporary path comes from TMP; each case sets it and looks at the result.
struct TempCase {
    const char* tmp;       // value of TMP
    const char* expected;  // installer folder
};

void ExpectTempCases(const TempCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        CreateDirectoryA(cases[i].tmp, nullptr);
        SetEnvironmentVariableA("TMP", cases[i].tmp);
        char folder[512] = "";
        GetInstallerTempFolder(sizeof folder, folder);
        EXPECT_STREQ(cases[i].expected, folder) << cases[i].tmp;
        RemoveDirectoryA(folder);
    }
    char temp[1024] = "";
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    SetEnvironmentVariableA("TMP", temp);
}

TEST_F(PackageLoader, TemporaryFolderOfAPathWithoutParent)
{
    const TempCase cases[] = {
        {"C:\\", "C:\\vbnxoPmet"},
        {"C:\\loadertmp", "C:\\vbnxoPmet"},
    };
    ExpectTempCases(cases, 2);
}

// In Shift-JIS the second byte of 表 (0x95 0x5C) is a backslash byte; it must
// not be taken for the separator before the last folder.
TEST_F(PackageLoader, JapaneseTemporaryFolderWithTrailByteBackslash)
{
    ASSERT_EQ(932u, GetACP());
    CreateDirectoryA("C:\\loader\x95\x5C", nullptr);
    const TempCase cases[] = {
        {"C:\\loader\x95\x5C\\\x95\x5C", "C:\\loader\x95\x5C\\vbnxoPmet"},
    };
    ExpectTempCases(cases, 1);
}

TEST_F(PackageLoader, PackageTempFileIsNewAndEmpty)
{
    char first[512], second[512];
    ASSERT_EQ(1, CreatePackageTempFile(first));
    ASSERT_EQ(1, CreatePackageTempFile(second));
    EXPECT_STRNE(first, second);
    std::string name = first;
    EXPECT_EQ(TempFolder() + "\\It", name.substr(0, TempFolder().size() + 3));
    EXPECT_TRUE(FileExists(first));
    EXPECT_EQ("", ReadFileBytes(first));
    DeleteFileA(first);
    DeleteFileA(second);
}

TEST_F(PackageLoader, ResourceCopyHoldsExactlyThePackageOfEitherProgramKind)
{
    std::vector<uint8_t> package = RandomBytes(300001, 5);
    for (const char* program : {SETUP_STUB_PATH, PE32_PROGRAM_PATH}) {
        std::string module = ModuleWith(folder_, program, package);
        std::string copy = folder_ + "\\copy.bin";
        ASSERT_EQ(1, CopyPackageResource(copy.c_str(), module.c_str())) << program;
        EXPECT_TRUE(Bytes(ReadFileBytes(copy)) == package) << program;

        // The system's own resource lookup agrees.
        HMODULE loaded = LoadLibraryExA(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, loaded);
        HRSRC resource = FindResourceA(loaded, MAKEINTRESOURCEA(kPackageResourceId), RT_RCDATA);
        ASSERT_NE(nullptr, resource);
        ASSERT_EQ(package.size(), SizeofResource(loaded, resource));
        const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(loaded, resource)));
        EXPECT_TRUE(std::equal(package.begin(), package.end(), data));
        FreeLibrary(loaded);

        // And so does the image checksum.
        DWORD header = 0, computed = 0;
        ASSERT_EQ(CHECKSUM_SUCCESS, MapFileAndCheckSumA(module.c_str(), &header, &computed));
        EXPECT_EQ(computed, header);
    }
}

TEST_F(PackageLoader, ResourceCopyFailsWithoutAPackage)
{
    std::string copy = folder_ + "\\copy.bin";
    std::string text = folder_ + "\\text.exe";
    ASSERT_TRUE(WriteFileBytes(text, "not a program"));
    const std::string modules[] = {WindowsPath(SETUP_STUB_PATH), text, folder_ + "\\missing.exe", ""};
    for (const std::string& module : modules)
        EXPECT_EQ(0, CopyPackageResource(copy.c_str(), module.c_str())) << module;
}

TEST_F(PackageLoader, SettingsOfBothLanguagesLoad)
{
    PackageContents contents = Contents(Bytes("MSCF"));
    std::string module = ModuleWith(folder_, SETUP_STUB_PATH, PackageOf(contents));
    PackageSettings settings;
    memset(&settings, 0xCC, sizeof settings);
    ASSERT_EQ(1, LoadPackageSettings(settings, module.c_str()));
    EXPECT_STREQ("\x83\x5C\x83t\x83g", settings.japanese.productName);
    EXPECT_STREQ("Soft", settings.english.productName);
    EXPECT_STREQ("note of Soft", settings.english.splashNote);
    EXPECT_EQ(1, settings.english.okIfNotAdmin);
    ASSERT_EQ(2, settings.japanese.checkCount);
    EXPECT_STREQ("AppClass", settings.japanese.checks[1].subject);
    ASSERT_EQ(1, settings.english.launchCommandCount);
    EXPECT_STREQ("app.exe", settings.english.launchCommands[0].commandLine);
    EXPECT_EQ(0, settings.english.uninstallCommandCount);
    EXPECT_EQ(nullptr, settings.english.uninstallCommands);
    EXPECT_EQ(4242u, settings.totalInstallBytes);
    EXPECT_EQ(0u, settings.installedBytes);
}

TEST_F(PackageLoader, DamagedPackagesFailToLoad)
{
    std::vector<uint8_t> good = PackageOf(Contents(Bytes("MSCF")));
    std::vector<uint8_t> badSignature = good;
    badSignature[badSignature.size() - 16] = 'X';
    std::vector<uint8_t> badEnglish = good;
    // The English block's shortcut count becomes negative.
    size_t trailer = good.size() - kTrailerSize;
    uint32_t english = ReadLittleEndian32(good.data() + trailer + 8);
    badEnglish[english + 56 + 3] = 0x80;
    for (const auto& package : {badSignature, badEnglish, std::vector<uint8_t>(43, 0)}) {
        std::string module = ModuleWith(folder_, SETUP_STUB_PATH, package);
        PackageSettings settings;
        EXPECT_EQ(0, LoadPackageSettings(settings, module.c_str()));
    }
    PackageSettings settings;
    EXPECT_EQ(0, LoadPackageSettings(settings, (folder_ + "\\missing.exe").c_str()));
}

TEST_F(PackageLoader, CabinetIsUnscrambledInPiecesOf64KiB)
{
    for (size_t size : {0u, 5u, 65536u, 65537u, 200000u}) {
        std::vector<uint8_t> cabinet = RandomBytes(size, static_cast<unsigned>(size));
        std::string module = ModuleWith(folder_, SETUP_STUB_PATH, PackageOf(Contents(cabinet)));
        std::string destination = folder_ + "\\cabinet.cab";
        ASSERT_TRUE(WriteFileBytes(destination, "old content"));
        ASSERT_EQ(1, ExtractPackageCabinet(destination.c_str(), module.c_str())) << size;
        EXPECT_TRUE(Bytes(ReadFileBytes(destination)) == cabinet) << size;
    }
}

TEST_F(PackageLoader, CabinetExtractionFailures)
{
    std::vector<uint8_t> package = PackageOf(Contents(RandomBytes(1000, 9)));
    std::vector<uint8_t> beyondEnd = package;
    size_t trailer = package.size() - kTrailerSize;
    beyondEnd[trailer + 24] = 0xFF;  // cabinet length 1000 -> 1023 + 64 KiB: past the end
    beyondEnd[trailer + 25] = 0xFF;
    beyondEnd[trailer + 26] = 0x01;
    std::vector<uint8_t> badSignature = package;
    badSignature[trailer + 28] = 'x';

    std::string destination = folder_ + "\\cabinet.cab";
    for (const auto& damaged : {beyondEnd, badSignature}) {
        std::string module = ModuleWith(folder_, SETUP_STUB_PATH, damaged);
        EXPECT_EQ(0, ExtractPackageCabinet(destination.c_str(), module.c_str()));
    }
    std::string module = ModuleWith(folder_, SETUP_STUB_PATH, package);
    std::string unwritable = folder_ + "\\no such folder\\cabinet.cab";
    EXPECT_EQ(0, ExtractPackageCabinet(unwritable.c_str(), module.c_str()));
}

}  // namespace

// The uninstaller in real runs: a product is installed through the setup
// stub, then removed by starting exactly the command line of its uninstall
// entry, as the system's list of programs does. Sentinels beside the
// installation folder, in both Programs folders and another product's
// uninstall entry must survive every scenario.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/harness/test_context.h"
#include "tests/e2e/install/install_package.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kEnglishName = "Uninstall Test";
// アンインストール試験
const std::string kJapaneseName = "\x83"
                                  "A\x83\x93\x83"
                                  "C\x83\x93\x83X\x83g\x81[\x83\x8B\x8E\x8E\x8C\xB1";
const char kJapaneseNameUtf8[] = "アンインストール試験";
const char kNeighbour[] = "Uninstall Test Neighbour";
const char kSentinelName[] = "Uninstall Test Sentinel.txt";
const char kSentinel[] = "a file the product never installed\n";
const char kQuestion[] = "Do you want to Uninstall ?";
const char kDone[] = "Uninstalled properly.";
const char kFailed[] = "It couldn't be uninstalled properly.";
const char kEngineCopy[] = "installer.exe";  // the stub's engine, whose name captions its failure message

std::string StubPath()
{
    return WindowsPath(SETUP_STUB_PATH);
}

void SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type, const std::string& data)
{
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(handle, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(data.size() + (type == REG_SZ ? 1 : 0))),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

// Read-only files would outlive the next run's fresh folder.
void ClearAttributes(const std::string& folder)
{
    for (const std::string& name : ListFolder(folder)) {
        const std::string path = folder + "\\" + name;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & 0x400))
            ClearAttributes(path);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

void RemoveTree(const std::string& path)
{
    ClearAttributes(path);
    for (const std::string& name : ListFolder(path))
        RemoveTree(path + "\\" + name);
    if (!RemoveDirectoryA(path.c_str()))
        DeleteFileA(path.c_str());
}

// How the installing run was started, and where its entries must be.
struct Choice {
    const char* label;
    std::vector<std::string> options;
    HKEY root;
    int programs;
    const char* tail;  // of the UninstallString
};

void PrintTo(const Choice& choice, std::ostream* out)
{
    *out << choice.label;
}

const Choice kDefault = {"Default", {}, HKEY_LOCAL_MACHINE, CSIDL_COMMON_PROGRAMS, ""};
const Choice kChoices[] = {
    kDefault,
    {"ForceAdmin", {"-ForceAdmin"}, HKEY_LOCAL_MACHINE, CSIDL_COMMON_PROGRAMS, " \"-ForceAdmin\""},
    {"ForceUser", {"-ForceUser"}, HKEY_CURRENT_USER, CSIDL_PROGRAMS, " \"-ForceUser\""},
    {"Both",
     {"-ForceAdmin", "-ForceUser"},
     HKEY_LOCAL_MACHINE,
     CSIDL_COMMON_PROGRAMS,
     " \"-ForceAdmin\" \"-ForceUser\""},
};

const std::vector<cabwriter::Member> kProduct = {
    MemberOf("readme.txt", 0x20),
    MemberOf("bin\\tool.exe", 0x21),          // read-only
    MemberOf("data\\deep\\table.dat", 0x06),  // hidden and system
    MemberOf("docs\\manual.txt", 0x20),
};

ProductSpec Product(std::vector<cabwriter::Member> members = kProduct)
{
    return {.englishName = kEnglishName, .japaneseName = kJapaneseName, .members = std::move(members)};
}

class UninstallScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveFolderLinks(BuildTreePath("e2e-work\\uninstall-e2e-" + TestName()));
        work_ = FreshFolder("uninstall-e2e-" + TestName());
        temp_ = work_ + "\\user\\Temp";
        CreateDirectoryA((work_ + "\\user").c_str(), nullptr);
        CreateDirectoryA(temp_.c_str(), nullptr);
        folder_ = work_ + "\\Product";
        CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(work_ + "\\" + kSentinelName, kSentinel));
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (const std::string& name : {kEnglishName, kJapaneseName})
                SHDeleteKeyA(root, (kUninstall + "\\" + name).c_str());
            SetValue(root, kUninstall + "\\" + kNeighbour, "DisplayName", REG_SZ, kNeighbour);
        }
        for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
            for (const std::string& name : {kEnglishName, kJapaneseName})
                RemoveTree(ProgramsFolder(csidl) + "\\" + name);
            ASSERT_TRUE(WriteFileBytes(ProgramsFolder(csidl) + "\\" + kSentinelName, kSentinel));
        }
    }

    void TearDown() override
    {
        EXPECT_EQ(ReadFileBytes(work_ + "\\" + kSentinelName), kSentinel) << "the sentinel beside the folder";
        for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
            const std::string sentinel = ProgramsFolder(csidl) + "\\" + kSentinelName;
            EXPECT_EQ(ReadFileBytes(sentinel), kSentinel) << sentinel;
            DeleteFileA(sentinel.c_str());
        }
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            std::string name;
            EXPECT_TRUE(ReadRegistryString(root, kUninstall + "\\" + kNeighbour, "DisplayName", name))
                << "another product's entry";
            SHDeleteKeyA(root, (kUninstall + "\\" + kNeighbour).c_str());
            for (const std::string& product : {kEnglishName, kJapaneseName})
                SHDeleteKeyA(root, (kUninstall + "\\" + product).c_str());
        }
        RemoveFolderLinks(work_);
        ClearAttributes(work_);
    }

    RunSpec Spec(bool japanese, std::vector<BoxStep> script) const
    {
        RunSpec spec;
        spec.japanese = japanese;
        spec.environment = {{"TEMP", temp_}, {"TMP", temp_}};
        spec.script = std::move(script);
        return spec;
    }

    // Installs through the stub with "-SetDir" into the product folder;
    // "Installed properly." is answered.
    void Install(const ProductSpec& product, const Choice& choice = kDefault, bool japanese = false)
    {
        const std::string carrierFolder = work_ + "\\package";
        CreateDirectoryA(carrierFolder.c_str(), nullptr);
        RunSpec spec = Spec(japanese, {{Answer::Ok}});
        spec.program = BuildSetup(carrierFolder, product, StubPath());
        spec.arguments = {"-SetDir", folder_};
        spec.arguments.insert(spec.arguments.end(), choice.options.begin(), choice.options.end());
        const RunResult run = RunProgram(spec);
        ExpectClean(run);
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].Text(CP_UTF8), japanese ? "正しくインストールしました。" : "Installed properly.");
        ASSERT_TRUE(FileExists(folder_ + "\\unquilbex.exe")) << "the installation did not register";
    }

    // The command line of the product's uninstall entry.
    std::string EntryCommand(const Choice& choice, const std::string& name, const char* value = "UninstallString")
    {
        std::string command;
        EXPECT_TRUE(ReadRegistryString(choice.root, kUninstall + "\\" + name, value, command)) << value;
        return command;
    }

    RunResult RunCommandLine(const std::string& commandLine, std::vector<BoxStep> script, bool japanese = false,
                             const std::string& currentFolder = {})
    {
        RunSpec spec = Spec(japanese, std::move(script));
        spec.commandLine = commandLine;
        spec.currentFolder = currentFolder;
        return RunProgram(spec);
    }

    // Uninstalls through the entry's command line, answering Yes and then OK.
    RunResult Uninstall(const Choice& choice = kDefault, const std::string& name = kEnglishName, bool japanese = false)
    {
        return RunCommandLine(EntryCommand(choice, name), {{Answer::Yes}, {Answer::Ok}}, japanese);
    }

    static void ExpectClean(const RunResult& run)
    {
        EXPECT_TRUE(run.started);
        EXPECT_FALSE(run.timedOut) << "the program did not end by itself";
        for (const std::string& failure : run.failures)
            ADD_FAILURE() << failure;
    }

    // The question, then the failure message of the engine.
    static void ExpectAskedThenFailed(const RunResult& run, const std::string& caption = kEnglishName)
    {
        ExpectClean(run);
        ASSERT_EQ(run.boxes.size(), 2u);
        EXPECT_EQ(run.boxes[0].Text(CP_UTF8), kQuestion);
        EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), caption);
        EXPECT_EQ(run.boxes[1].Text(CP_UTF8), kFailed);
        EXPECT_EQ(run.boxes[1].Caption(CP_UTF8), kEngineCopy);
        EXPECT_EQ(run.boxes[1].ButtonIds(), std::vector<int>{IDOK});
    }

    void ExpectInstalled(const Choice& choice, const std::string& name = kEnglishName)
    {
        EXPECT_TRUE(RegistryKeyExists(choice.root, kUninstall + "\\" + name + "\\installFiles"));
        EXPECT_TRUE(FileExists(ProgramsFolder(choice.programs) + "\\" + name));
        for (const cabwriter::Member& member : kProduct)
            EXPECT_TRUE(FileExists(folder_ + "\\" + member.name)) << member.name;
    }

    // Nothing of the product is left but the uninstaller (and what others put there).
    void ExpectRemoved(const Choice& choice, const std::string& name = kEnglishName,
                       std::vector<std::string> remaining = {"unquilbex.exe"})
    {
        EXPECT_FALSE(RegistryKeyExists(choice.root, kUninstall + "\\" + name));
        EXPECT_FALSE(FileExists(ProgramsFolder(choice.programs) + "\\" + name));
        EXPECT_EQ(ListFolder(folder_), remaining);
    }

    std::string work_, temp_, folder_;
};

class RoundTrip : public UninstallScenario, public ::testing::WithParamInterface<Choice> {};

TEST_P(RoundTrip, EntryCommandRemovesWhatWasInstalledAndNothingElse)
{
    const Choice& choice = GetParam();
    Install(Product(), choice);
    ExpectInstalled(choice);
    const std::string command = EntryCommand(choice, kEnglishName);
    EXPECT_EQ(command, "\"" + folder_ + "\\unquilbex.exe\" -u" + choice.tail);
    // What the product did not install: a file in its folder, a folder of the
    // user's own, and a file in its Start-menu folder (which goes with it).
    ASSERT_TRUE(WriteFileBytes(folder_ + "\\user-notes.txt", kSentinel));
    CreateDirectoryA((folder_ + "\\saves").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(folder_ + "\\saves\\slot1.dat", kSentinel));
    ASSERT_TRUE(WriteFileBytes(ProgramsFolder(choice.programs) + "\\" + kEnglishName + "\\extra.txt", kSentinel));

    const RunResult run = RunCommandLine(command, {{Answer::Yes}, {Answer::Ok}});

    ExpectClean(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), kEnglishName);
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), kQuestion);
    EXPECT_EQ(run.boxes[0].ButtonIds(), (std::vector<int>{IDYES, IDNO}));
    EXPECT_FALSE(run.boxes[0].hasIcon);
    EXPECT_EQ(run.boxes[0].ownerClass, L"JovInstLangClass");
    EXPECT_EQ(run.boxes[1].Caption(CP_UTF8), kEnglishName);
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), kDone);
    EXPECT_EQ(run.boxes[1].ButtonIds(), std::vector<int>{IDOK});
    ExpectRemoved(choice, kEnglishName, {"saves", "unquilbex.exe", "user-notes.txt"});
    EXPECT_EQ(ReadFileBytes(folder_ + "\\saves\\slot1.dat"), kSentinel);
    EXPECT_EQ(ReadFileBytes(folder_ + "\\user-notes.txt"), kSentinel);
    const Choice& other = choice.root == HKEY_LOCAL_MACHINE ? kChoices[2] : kDefault;
    EXPECT_FALSE(RegistryKeyExists(other.root, kUninstall + "\\" + kEnglishName));
}

INSTANTIATE_TEST_SUITE_P(Choices, RoundTrip, ::testing::ValuesIn(kChoices),
                         [](const ::testing::TestParamInfo<Choice>& info) { return std::string(info.param.label); });

TEST_F(UninstallScenario, RoundTripInJapanese)
{
    Install(Product(), kDefault, true);
    ExpectInstalled(kDefault, kJapaneseName);

    const RunResult run = Uninstall(kDefault, kJapaneseName, true);

    ExpectClean(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), kJapaneseNameUtf8);
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), "アンインストールを開始しますか？");
    EXPECT_EQ(run.boxes[1].Caption(CP_UTF8), kJapaneseNameUtf8);
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), "正しくアンインストールしました。");
    ExpectRemoved(kDefault, kJapaneseName);
}

TEST_F(UninstallScenario, AnsweredNoTouchesNothingAndFailsInJapanese)
{
    Install(Product(), kDefault, true);

    const RunResult run = RunCommandLine(EntryCommand(kDefault, kJapaneseName), {{Answer::No}, {Answer::Ok}}, true);

    ExpectClean(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), "アンインストールを開始しますか？");
    EXPECT_EQ(run.boxes[0].ButtonIds(), (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), "正しくアンインストール出来ませんでした。");
    EXPECT_EQ(run.boxes[1].Caption(CP_UTF8), kEngineCopy);
    ExpectInstalled(kDefault, kJapaneseName);
    EXPECT_EQ(GetFileAttributesA((folder_ + "\\bin\\tool.exe").c_str()) & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
}

TEST_F(UninstallScenario, QuietCommandAsksNothingAndShowsNothing)
{
    Install(Product(), kChoices[2]);
    const std::string quiet = EntryCommand(kChoices[2], kEnglishName, "QuietUninstallString");
    EXPECT_EQ(quiet, EntryCommand(kChoices[2], kEnglishName) + " -Silent");

    const RunResult run = RunCommandLine(quiet, {});

    ExpectClean(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(run.exitCode, 0u);
    ExpectRemoved(kChoices[2]);
}

TEST_F(UninstallScenario, LockedFileStaysTheRestGoesAndTheRunFails)
{
    Install(Product());
    const std::string locked = folder_ + "\\docs\\manual.txt";
    HANDLE held = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    const RunResult run = Uninstall();
    CloseHandle(held);

    ExpectAskedThenFailed(run);
    EXPECT_FALSE(RegistryKeyExists(kDefault.root, kUninstall + "\\" + kEnglishName));
    EXPECT_FALSE(FileExists(ProgramsFolder(kDefault.programs) + "\\" + kEnglishName));
    EXPECT_EQ(ListFolder(folder_), (std::vector<std::string>{"docs", "unquilbex.exe"}));
    EXPECT_EQ(ListFolder(folder_ + "\\docs"), std::vector<std::string>{"manual.txt"});
}

TEST_F(UninstallScenario, FailingUninstallCommandStillRemovesEverythingAndFails)
{
    ProductSpec product = Product();
    // The first command runs in the installation folder before anything is
    // removed; the second cannot start, and nothing after it would run.
    product.uninstallCommands = {{"cmd /c if exist readme.txt echo present> ..\\command-ran.txt", 1},
                                 {"no-such-program-anywhere.exe", 1},
                                 {"cmd /c echo never> ..\\never-ran.txt", 1}};
    Install(product);

    const RunResult run = Uninstall();

    ExpectAskedThenFailed(run);
    EXPECT_EQ(ReadFileBytes(work_ + "\\command-ran.txt"), "present\r\n");
    EXPECT_FALSE(FileExists(work_ + "\\never-ran.txt"));
    ExpectRemoved(kDefault);
}

TEST_F(UninstallScenario, ReinstallThenOneUninstallRemovesBothInstallations)
{
    Install(Product({MemberOf("readme.txt"), MemberOf("old\\only-first.txt")}));
    Install(Product({MemberOf("README.TXT"), MemberOf("new\\only-second.txt")}));

    const RunResult run = Uninstall();

    ExpectClean(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), kDone);
    ExpectRemoved(kDefault);
}

// Values nobody but a program meddling with the list would write: each names
// something outside the folder, or cannot be a path of ours at all.
TEST_F(UninstallScenario, PlantedRecordedNamesAreNeverFollowed)
{
    Install(Product());
    const std::string sentinel = work_ + "\\" + kSentinelName;
    const std::string list = kUninstall + "\\" + kEnglishName + "\\installFiles";
    const std::string planted[] = {
        std::string("..\\") + kSentinelName,
        sentinel,                           // absolute
        "Z:" + std::string(kSentinelName),  // drive-relative
        sentinel.substr(2),                 // rooted on the current drive
        "/" + sentinel.substr(3),           // rooted, with slashes
        "",
        "docs\\..\\..\\" + std::string(kSentinelName),
        std::string(600, 'x'),  // longer than any path of ours
    };
    int number = 90000;
    for (const std::string& name : planted)
        SetValue(kDefault.root, list, "file" + std::to_string(number++), REG_SZ, name);
    SetValue(kDefault.root, list, "file" + std::to_string(number++), REG_DWORD, std::string(4, '\0'));

    const RunResult run = Uninstall();

    ExpectAskedThenFailed(run);
    ExpectRemoved(kDefault);
}

TEST_F(UninstallScenario, FolderLinkInTheInstallationIsNeverEntered)
{
    Install(Product());
    const std::string outside = work_ + "\\outside";
    CreateDirectoryA(outside.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(outside + "\\precious.txt", kSentinel));
    ASSERT_TRUE(MakeFolderLink(folder_ + "\\extras", outside));
    ASSERT_TRUE(MakeFolderLink(folder_ + "\\data\\deep\\linked", outside));
    const std::string list = kUninstall + "\\" + kEnglishName + "\\installFiles";
    SetValue(kDefault.root, list, "file90000", REG_SZ, "extras");
    SetValue(kDefault.root, list, "file90001", REG_SZ, "extras\\precious.txt");
    SetValue(kDefault.root, list, "file90002", REG_SZ, "data/deep/linked/precious.txt");

    const RunResult run = Uninstall();

    EXPECT_EQ(ReadFileBytes(outside + "\\precious.txt"), kSentinel);
    EXPECT_EQ(ListFolder(outside), std::vector<std::string>{"precious.txt"});
    // Wine cannot delete a symbolic link, so the links stay and the run says so.
    ExpectAskedThenFailed(run);
    EXPECT_FALSE(RegistryKeyExists(kDefault.root, kUninstall + "\\" + kEnglishName));
    EXPECT_FALSE(FileExists(folder_ + "\\readme.txt"));
    EXPECT_FALSE(FileExists(folder_ + "\\data\\deep\\table.dat"));
}

// The user's Programs folder points to a drive that does not exist, so the
// shell names none: the Start-menu step fails, and never falls back to a
// folder named after the product at the root of the current drive.
class ShellFolderValue {
public:
    ShellFolderValue(const std::string& key, const char* name, DWORD type) : key_(key), name_(name), type_(type)
    {
        saved_ = ReadRegistryString(HKEY_CURRENT_USER, key_, name_, value_);
    }
    ~ShellFolderValue()
    {
        if (saved_)
            SetValue(HKEY_CURRENT_USER, key_, name_, type_, value_);
    }
    bool saved() const { return saved_; }

private:
    std::string key_, name_, value_;
    DWORD type_;
    bool saved_;
};

TEST_F(UninstallScenario, UnknownProgramsFolderSkipsTheStartMenuAndFails)
{
    const Choice& choice = kChoices[2];
    Install(Product(), choice);
    const std::string menu = ProgramsFolder(choice.programs) + "\\" + kEnglishName;
    const std::string atRoot = "C:\\" + kEnglishName;
    CreateDirectoryA(atRoot.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(atRoot + "\\keep.txt", kSentinel));
    const std::string explorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    RunResult run;
    {
        ShellFolderValue user(explorer + "User Shell Folders", "Programs", REG_EXPAND_SZ);
        ShellFolderValue plain(explorer + "Shell Folders", "Programs", REG_SZ);
        ASSERT_TRUE(user.saved() && plain.saved());
        SetValue(HKEY_CURRENT_USER, explorer + "User Shell Folders", "Programs", REG_EXPAND_SZ,
                 "Q:\\Nowhere\\Programs");
        SetValue(HKEY_CURRENT_USER, explorer + "Shell Folders", "Programs", REG_SZ, "Q:\\Nowhere\\Programs");
        run = RunCommandLine(EntryCommand(choice, kEnglishName), {{Answer::Yes}, {Answer::Ok}}, false, "C:\\windows");
    }
    const std::string left = ReadFileBytes(atRoot + "\\keep.txt");
    RemoveTree(atRoot);

    ExpectAskedThenFailed(run);
    EXPECT_EQ(left, kSentinel);
    EXPECT_TRUE(FileExists(menu)) << "the step was skipped";
    EXPECT_FALSE(RegistryKeyExists(choice.root, kUninstall + "\\" + kEnglishName));
    EXPECT_EQ(ListFolder(folder_), std::vector<std::string>{"unquilbex.exe"});
    RemoveTree(menu);
}

// Product names that would turn the entry's key path into the Uninstall key
// itself, or the Start-menu folder into the Programs folder.
class InvalidProductName : public UninstallScenario, public ::testing::WithParamInterface<const char*> {};

TEST_P(InvalidProductName, RemovesNothingAndFails)
{
    ProductSpec product{.englishName = GetParam(), .japaneseName = GetParam(), .members = kProduct};
    const std::string carrierFolder = work_ + "\\package";
    CreateDirectoryA(carrierFolder.c_str(), nullptr);
    const std::string carrier = BuildSetup(carrierFolder, product, StubPath());
    ASSERT_TRUE(CopyFileA(carrier.c_str(), (folder_ + "\\unquilbex.exe").c_str(), FALSE));
    ASSERT_TRUE(WriteFileBytes(folder_ + "\\readme.txt", kSentinel));

    const RunResult run = RunCommandLine("\"" + folder_ + "\\unquilbex.exe\" -u", {{Answer::Yes}, {Answer::Ok}});

    ExpectClean(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), kFailed);
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstall));
    EXPECT_EQ(ReadFileBytes(folder_ + "\\readme.txt"), kSentinel);
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS})
        EXPECT_TRUE(FileExists(ProgramsFolder(csidl)));
}

INSTANTIATE_TEST_SUITE_P(Names, InvalidProductName, ::testing::Values("", " . ", "..\\.."),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return "Name" + std::to_string(info.index);
                         });

// An uninstaller copied into a folder that is not the product's own.
struct ProtectedCase {
    const char* label;
    std::string (*folder)();
};

std::string WindowsFolder()
{
    char path[MAX_PATH];
    GetWindowsDirectoryA(path, sizeof path);
    return path;
}

std::string SystemFolder()
{
    char path[MAX_PATH];
    GetSystemDirectoryA(path, sizeof path);
    return path;
}

const ProtectedCase kProtectedCases[] = {
    {"DriveRoot", [] { return std::string("C:\\"); }},
    {"WindowsFolder", WindowsFolder},
    {"SystemFolder", SystemFolder},
    {"UserPrograms", [] { return ProgramsFolder(CSIDL_PROGRAMS); }},
    {"CommonPrograms", [] { return ProgramsFolder(CSIDL_COMMON_PROGRAMS); }},
    {"UserProfile", [] { return ProgramsFolder(CSIDL_PROFILE); }},
};

TEST_F(UninstallScenario, UninstallerInAFolderNotTheProductsOwnRemovesNothingAndFails)
{
    Install(Product());
    for (const ProtectedCase& c : kProtectedCases) {
        SCOPED_TRACE(c.label);
        std::string folder = c.folder();
        if (!folder.empty() && folder.back() == '\\')
            folder.pop_back();
        const std::string uninstaller = folder + "\\unquilbex.exe";
        const std::string namesake = folder + "\\readme.txt";  // what the list names, in that folder
        ASSERT_FALSE(FileExists(namesake));
        ASSERT_TRUE(CopyFileA((folder_ + "\\unquilbex.exe").c_str(), uninstaller.c_str(), FALSE));
        ASSERT_TRUE(WriteFileBytes(namesake, kSentinel));

        const RunResult run = RunCommandLine("\"" + uninstaller + "\" -u", {{Answer::Yes}, {Answer::Ok}});
        const std::string left = ReadFileBytes(namesake);
        DeleteFileA(namesake.c_str());
        DeleteFileA(uninstaller.c_str());

        ExpectAskedThenFailed(run);
        EXPECT_EQ(left, kSentinel);
        ExpectInstalled(kDefault);
    }
}

}  // namespace

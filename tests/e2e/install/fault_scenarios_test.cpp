// Installations that meet a fault of their surroundings: a destination drive
// that fills up (during the extraction, or just when the uninstaller is
// copied), a read-only destination, a target file another program holds
// open, a carrier that someone deletes or cuts while the run waits for the
// user, an Uninstall key the run may not write. Every run must end by itself
// with the engine's message, leave no temporary file behind, and leave
// nothing registered that the uninstaller could not remove.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/harness/test_context.h"
#include "tests/e2e/install/install_package.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kInstallFailed[] = "It couldn't be installed properly.";
const char kInstalled[] = "Installed properly.";
constexpr int kBrowseId = 1000;

std::string UnixBuildPath(const std::string& relative)
{
    return std::string(ENGINE_BINARY_DIR) + "/" + relative;
}

// Starts a Unix program of the project's from inside Wine. Wine may report
// it ended before it has: callers wait for what it writes.
void StartUnix(const std::string& program, const std::vector<std::string>& arguments)
{
    std::string commandLine = "\"" + WindowsPath(program) + "\"";
    for (const std::string& argument : arguments)
        commandLine += " \"" + argument + "\"";
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process))
        return;
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// A small file system (tmpfs) mapped as a drive of the Wine prefix while the
// object lives. Mounting needs root; where it is refused, reason says why.
class WineDrive {
public:
    WineDrive(char letter, int sizeKiB) : letter_(1, letter)
    {
        reason_ = Command({"map", letter_, std::to_string(sizeKiB)});
        mapped_ = reason_ == "ok";
    }
    ~WineDrive()
    {
        if (mapped_)
            Command({"unmap", letter_});
    }
    WineDrive(const WineDrive&) = delete;
    WineDrive& operator=(const WineDrive&) = delete;

    bool Mapped() const { return mapped_; }
    const std::string& Reason() const { return reason_; }
    std::string Root() const { return letter_ + ":\\"; }
    // "ok", or why the file system could not be made read-only.
    std::string MakeReadOnly() { return Command({"readonly", letter_}); }

private:
    std::string Command(std::vector<std::string> arguments)
    {
        const std::string status = UnixBuildPath("e2e-work/wine-drive-" + letter_ + ".status");
        DeleteFileA(WindowsPath(status).c_str());
        arguments.push_back(status);
        StartUnix(std::string(ENGINE_SOURCE_DIR) + "/tests/e2e/install/wine-drive", arguments);
        for (int i = 0; i < 400 && !FileExists(WindowsPath(status)); ++i)
            Sleep(50);
        std::string text = ReadFileBytes(WindowsPath(status));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return text.empty() ? "the drive helper did not run (no status from it)" : text;
    }

    std::string letter_;
    std::string reason_;
    bool mapped_ = false;
};

// file-holder: a second program that holds a file open without sharing.
class FileHolder {
public:
    explicit FileHolder(const std::string& path, const std::string& ready)
    {
        DeleteFileA(ready.c_str());
        std::string commandLine =
            "\"" + BuildTreePath("tests\\e2e\\install\\file-holder.exe") + "\" \"" + path + "\" \"" + ready + "\"";
        if (!process_.Start(commandLine))
            return;
        for (int i = 0; i < 200 && !FileExists(ready); ++i)
            Sleep(50);
        holding_ = FileExists(ready);
    }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    bool Holding() const { return holding_; }

private:
    HelperProcess process_;
    bool holding_ = false;
};

using Listed = std::vector<std::string>;

// The installed-file list's texts, in the registry's order.
Listed ListedFiles(HKEY root, const std::string& product)
{
    Listed listed;
    for (const ListedFile& file : InstalledFileList(root, product))
        listed.push_back(file.text);
    return listed;
}

void ExpectCleanRun(const RunResult& run)
{
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    EXPECT_FALSE(run.timedOut) << "the engine did not end by itself";
}

void ExpectFailureBox(const ShownBox& box, const std::string& caption)
{
    EXPECT_EQ(box.Caption(CP_UTF8), caption);
    EXPECT_EQ(box.Text(CP_UTF8), kInstallFailed);
    EXPECT_EQ(box.ButtonIds(), std::vector<int>{IDOK});
    EXPECT_EQ(box.ownerClass, L"JovInstLangClass");
}

// Where the carrier is; the robot's inspections take no context.
std::string gCarrier;
DWORD gDeleteError = 0, gTruncateError = 0;

// While the box waits, another program tries to delete the carrier and to
// cut it to nothing; the errors it met are kept.
std::string TakeTheCarrierAway(HWND)
{
    gDeleteError = DeleteFileA(gCarrier.c_str()) ? ERROR_SUCCESS : GetLastError();
    HANDLE file = CreateFileA(gCarrier.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    gTruncateError = file != INVALID_HANDLE_VALUE ? ERROR_SUCCESS : GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return {};
}

// Gives the key a security descriptor whose list of rights is the one given:
// a list that grants everyone reading only, or none (null) for all rights.
bool SetKeyRights(const std::string& key, DWORD everyoneRights)
{
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, WRITE_DAC, &handle) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    char aclBytes[256];
    auto* acl = reinterpret_cast<PACL>(aclBytes);
    InitializeAcl(acl, sizeof aclBytes, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, everyoneRights, everyone);
    SetSecurityDescriptorDacl(&descriptor, TRUE, everyoneRights == 0 ? nullptr : acl, FALSE);
    const bool set = RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    FreeSid(everyone);
    RegCloseKey(handle);
    return set;
}

// app-windows: a stand-in for a running copy of the product, whose window
// closes when asked.
class RunningCopy {
public:
    explicit RunningCopy(const std::string& className)
    {
        const std::string log = WindowsPath(UnixBuildPath("e2e-work/" + className + ".log"));
        std::string command = "\"" + WindowsPath(APP_WINDOWS_PATH) + "\" " + className + " 1 close \"" + log + "\"";
        if (!process_.Start(command, CREATE_NO_WINDOW))
            return;
        for (int i = 0; i < 400 && FindWindowA(className.c_str(), nullptr) == nullptr; ++i)
            Sleep(50);
        ready_ = FindWindowA(className.c_str(), nullptr) != nullptr;
    }
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;
    bool Ready() const { return ready_; }

private:
    HelperProcess process_;
    bool ready_ = false;
};

// Cuts the carrier to nothing from outside Windows, where no sharing rule
// holds, and waits until it is cut.
std::string CutTheCarrierFromUnix(HWND)
{
    std::string unixPath = gCarrier.substr(2);
    std::replace(unixPath.begin(), unixPath.end(), '\\', '/');
    StartUnix("/usr/bin/truncate", {"-s", "0", unixPath});
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    for (int i = 0; i < 400; ++i) {
        if (GetFileAttributesExA(gCarrier.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == 0)
            return {};
        Sleep(50);
    }
    return "the carrier was not cut";
}

class FaultScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        work_ = FreshFolder("fault-" + TestName());
        temp_ = work_ + "\\user\\Temp";
        CreateDirectoryA((work_ + "\\user").c_str(), nullptr);
        CreateDirectoryA(temp_.c_str(), nullptr);
        engine_ = work_ + "\\setup-engine.exe";
        ASSERT_TRUE(CopyFileA(EnginePath().c_str(), engine_.c_str(), FALSE));
        name_ = "Fault " + TestName();
        Forget();
    }
    void TearDown() override { Forget(); }

    void Forget() const
    {
        SetKeyRights(kUninstallKey + name_, 0);
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            SHDeleteKeyA(root, (kUninstallKey + name_).c_str());
        for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
            const std::string menu = ProgramsFolder(csidl) + "\\" + name_;
            for (const std::string& file : ListFolder(menu))
                DeleteFileA((menu + "\\" + file).c_str());
            RemoveDirectoryA(menu.c_str());
        }
    }

    ProductSpec Product(std::vector<cabwriter::Member> members) const
    {
        ProductSpec product{.englishName = name_, .members = std::move(members)};
        product.shortcuts = {{"Readme", "readme.txt"}};
        return product;
    }

    RunResult Run(const ProductSpec& product, std::vector<std::string> arguments, std::vector<BoxStep> script)
    {
        setup_ = BuildSetup(work_, product);
        gCarrier = setup_;
        arguments.push_back("-srcInstaller");
        arguments.push_back(setup_);
        return RunProgram({engine_, arguments, false, {{"TEMP", temp_}, {"TMP", temp_}}, std::move(script)});
    }

    // The installer's temporary folder holds nothing of the run: no work
    // file, no package copy, no splash picture.
    void ExpectTemporaryFolderClean() const
    {
        const std::string folder = work_ + "\\user\\vbnxoPmet";
        EXPECT_TRUE(FileExists(folder)) << "the run made its temporary folder here";
        EXPECT_EQ(ListFolder(folder), std::vector<std::string>{});
    }

    bool Registered(HKEY root) const { return RegistryKeyExists(root, kUninstallKey + name_); }

    std::string work_, temp_, engine_, setup_, name_;
};

const std::vector<cabwriter::Member>& SmallProduct()
{
    static const std::vector<cabwriter::Member> members = {
        MemberOf("$bmp"),
        MemberOf("readme.txt"),
        MemberOf("bin\\tool.exe", 0x20, 70000),
        MemberOf("data\\table.dat", 0x20, 5000),
        MemberOf("$mask"),
    };
    return members;
}

// A product far larger than the drive: the file system runs out of room in
// the middle of the big file.
TEST_F(FaultScenario, DestinationDriveFillsUpDuringExtraction)
{
    WineDrive drive('R', 2048);
    if (!drive.Mapped())
        GTEST_SKIP() << "no small drive: " << drive.Reason();
    const std::string folder = drive.Root() + "Product";
    std::vector<cabwriter::Member> members = SmallProduct();
    members.insert(members.begin() + 2, MemberOf("big.bin", 0x20, 6 << 20));

    RunResult run = Run(Product(members), {"-SetDir", folder}, {{Answer::Yes}, {Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), "Create a folder.");
    ExpectFailureBox(run.boxes[1], name_);
    ExpectTemporaryFolderClean();
    EXPECT_FALSE(FileExists(folder + "\\data\\table.dat")) << "nothing after the member that did not fit";
    EXPECT_FALSE(FileExists(folder + "\\unquilbex.exe"));
    EXPECT_FALSE(Registered(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(FileExists(ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\" + name_));
}

// The product's files fit, the uninstaller does not: the file system is full
// when the carrier is copied beside the product.
TEST_F(FaultScenario, NoRoomLeftForTheUninstaller)
{
    WineDrive drive('T', 1024);
    if (!drive.Mapped())
        GTEST_SKIP() << "no small drive: " << drive.Reason();
    const std::string folder = drive.Root() + "Product";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::vector<cabwriter::Member> members = {MemberOf("readme.txt"), MemberOf("big.bin", 0x20, 960 << 10)};

    RunResult run = Run(Product(members), {"-SetDir", folder}, {{Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), kInstalled);
    ExpectTemporaryFolderClean();
    EXPECT_EQ(ReadFileBytes(folder + "\\big.bin").size(), size_t(960) << 10);
    EXPECT_FALSE(FileExists(folder + "\\unquilbex.exe"));
    EXPECT_FALSE(Registered(HKEY_LOCAL_MACHINE)) << "an entry whose uninstaller is missing";
    EXPECT_FALSE(FileExists(ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\" + name_));
}

// Root may write anywhere, so a read-only destination is a read-only file
// system: the folder exists, and nothing can be made in it.
TEST_F(FaultScenario, ReadOnlyDestinationFolder)
{
    WineDrive drive('S', 512);
    if (!drive.Mapped())
        GTEST_SKIP() << "no small drive: " << drive.Reason();
    const std::string folder = drive.Root() + "Product";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string readOnly = drive.MakeReadOnly();
    if (readOnly != "ok")
        GTEST_SKIP() << "no read-only drive: " << readOnly;

    RunResult run = Run(Product(SmallProduct()), {"-SetDir", folder}, {{Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectFailureBox(run.boxes[0], name_);
    ExpectTemporaryFolderClean();
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{});
    EXPECT_FALSE(Registered(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(FileExists(ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\" + name_));
}

// Writes an entry as an earlier installation of the product left it.
void RegisterEarlierInstall(const std::string& name, const Listed& files)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kUninstallKey + name + "\\installFiles").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (size_t i = 0; i < files.size(); ++i) {
        char valueName[16];
        wsprintfA(valueName, "file%05d", static_cast<int>(i));
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(files[i].c_str()),
                       static_cast<DWORD>(files[i].size() + 1));
    }
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kUninstallKey + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                   static_cast<DWORD>(name.size() + 1));
    RegCloseKey(key);
}

struct EarlierInstall {
    const char* label;
    Listed files;  // empty: none
};

void PrintTo(const EarlierInstall& c, std::ostream* out)
{
    *out << c.label;
}

class HeldTarget : public FaultScenario, public ::testing::WithParamInterface<EarlierInstall> {};

// Another program has a target file open without sharing: the file can be
// neither deleted nor rewritten, and keeps its bytes. The run takes back
// what it recorded; an earlier installation's record stays as it was.
TEST_P(HeldTarget, FailsTheRunAndTakesBackItsRecord)
{
    const Listed& earlier = GetParam().files;
    if (!earlier.empty())
        RegisterEarlierInstall(name_, earlier);
    const std::string folder = work_ + "\\Product";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\bin").c_str(), nullptr);
    const std::string held = folder + "\\bin\\tool.exe";
    ASSERT_TRUE(WriteFileBytes(held, "the running program\n"));
    RunResult run;
    {
        FileHolder holder(held, work_ + "\\holding");
        ASSERT_TRUE(holder.Holding());
        run = Run(Product(SmallProduct()), {"-SetDir", folder}, {{Answer::Ok}});
    }

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectFailureBox(run.boxes[0], name_);
    ExpectTemporaryFolderClean();
    EXPECT_EQ(ReadFileBytes(held), "the running program\n");
    const cabwriter::Member& readme = SmallProduct()[1];
    EXPECT_EQ(ReadFileBytes(folder + "\\readme.txt"), std::string(readme.data.begin(), readme.data.end()))
        << "members before the held one stay installed";
    EXPECT_FALSE(FileExists(folder + "\\data\\table.dat"));
    EXPECT_FALSE(FileExists(folder + "\\unquilbex.exe"));
    EXPECT_EQ(Registered(HKEY_LOCAL_MACHINE), !earlier.empty());
    EXPECT_EQ(ListedFiles(HKEY_LOCAL_MACHINE, name_), earlier);
    std::string displayName;
    EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey + name_, "DisplayName", displayName),
              !earlier.empty());
}

INSTANTIATE_TEST_SUITE_P(Records, HeldTarget,
                         ::testing::Values(EarlierInstall{"FirstInstall", {}},
                                           EarlierInstall{"Reinstall", {"readme.txt", "old.txt"}}),
                         [](const ::testing::TestParamInfo<EarlierInstall>& info) {
                             return std::string(info.param.label);
                         });

// The carrier is attacked while the install dialog waits for the user.
TEST_F(FaultScenario, CarrierDeletedOrCutWhileTheDialogWaits)
{
    const std::string folder = work_ + "\\Product";
    CreateDirectoryA(folder.c_str(), nullptr);
    ProductSpec product = Product(SmallProduct());
    product.installFolder = folder;
    gDeleteError = gTruncateError = 0;

    RunResult run = Run(product, {}, {{Answer::Ok, 0, {}, TakeTheCarrierAway}, {Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_TRUE(run.boxes[0].HasButton(kBrowseId));
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), kInstalled);
    EXPECT_EQ(gDeleteError, DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(gTruncateError, DWORD(ERROR_SHARING_VIOLATION));
    ExpectTemporaryFolderClean();
    EXPECT_EQ(ReadFileBytes(folder + "\\unquilbex.exe"), ReadFileBytes(setup_));
    EXPECT_EQ(ListedFiles(HKEY_LOCAL_MACHINE, name_), (Listed{"readme.txt", "bin\\tool.exe", "data\\table.dat"}));
}

// The carrier is cut before its cabinet is read: while the run asks about
// a running copy of the product, a Unix program truncates it.
TEST_F(FaultScenario, CarrierCutBeforeTheCabinetIsRead)
{
    const std::string className = "FaultRunningCopyClass";
    RunningCopy copy(className);
    ASSERT_TRUE(copy.Ready());
    const std::string folder = work_ + "\\Product";
    ProductSpec product = Product(SmallProduct());
    product.checks = {{1, className, "The product is running."}};

    RunResult run = Run(product, {"-SetDir", folder}, {{Answer::Yes, 0, {}, CutTheCarrierFromUnix}, {Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectFailureBox(run.boxes[1], "setup-engine.exe");
    ExpectTemporaryFolderClean();
    EXPECT_FALSE(FileExists(folder));
    EXPECT_FALSE(Registered(HKEY_LOCAL_MACHINE));
}

// The product's Uninstall key exists and grants reading only, as the
// machine-wide keys do to a user without rights. Registry failures do not
// fail an installation: the files are installed, nothing is recorded, the
// key keeps what it held, and the run says so as it says any success.
TEST_F(FaultScenario, UninstallKeyThatMayNotBeWritten)
{
    const std::string key = kUninstallKey + name_;
    HKEY handle;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(handle);
    ASSERT_TRUE(SetKeyRights(key, KEY_READ));
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &handle) == ERROR_SUCCESS) {
        RegCloseKey(handle);
        GTEST_SKIP() << "this Wine grants full access to a key whose rights allow reading only";
    }
    const std::string folder = work_ + "\\Product";
    CreateDirectoryA(folder.c_str(), nullptr);

    RunResult run = Run(Product(SmallProduct()), {"-ForceAdmin", "-SetDir", folder}, {{Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), kInstalled);
    ExpectTemporaryFolderClean();
    const cabwriter::Member& table = SmallProduct()[3];
    EXPECT_EQ(ReadFileBytes(folder + "\\data\\table.dat"), std::string(table.data.begin(), table.data.end()));
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key + "\\installFiles"));
    std::string value;
    EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, key, "UninstallString", value));
    EXPECT_EQ(ReadFileBytes(folder + "\\unquilbex.exe"), ReadFileBytes(setup_));
}

}  // namespace

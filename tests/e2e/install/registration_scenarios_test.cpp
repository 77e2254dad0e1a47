// Complete installations: packages built with mkpackage's library, installed
// by the engine under Wine, and then read back the way the system and the
// uninstaller see them: the Uninstall entry and its list of installed files
// under the registry root of the run, the Start-menu folder with shortcuts
// read through the shell link object, the uninstaller beside the product,
// and the markers left by the install and launch commands.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/harness/test_context.h"
#include "tests/e2e/install/install_package.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kInstalled[] = "Installed properly.";
const char kInstalledJapanese[] = "正しくインストールしました。";
const char kInstallFailed[] = "It couldn't be installed properly.";
const char kInstallFailedJapanese[] = "正しくインストール出来ませんでした。";
// 説明書 and ガイド in Shift-JIS, for a Japanese block's shortcut names.
const char kManualJapanese[] = "\x90\xE0\x96\xBE\x8F\x91";
const char kGuideJapanese[] = "\x83K\x83"
                              "C\x83h";

struct RegistryValue {
    bool found = false;
    DWORD type = 0;
    std::string bytes;  // as stored, a text's terminating zero included
    std::string Text() const { return bytes.empty() ? "" : bytes.substr(0, bytes.size() - 1); }
    DWORD Number() const { return bytes.size() == 4 ? *reinterpret_cast<const DWORD*>(bytes.data()) : 0xFFFFFFFF; }
};

RegistryValue ReadValue(HKEY root, const std::string& key, const char* name)
{
    RegistryValue value;
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return value;
    char data[4096];
    DWORD size = sizeof data;
    value.found =
        RegQueryValueExA(opened, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
    if (value.found)
        value.bytes.assign(data, size);
    RegCloseKey(opened);
    return value;
}

using Listed = std::vector<std::pair<std::string, std::string>>;

// The installed-file list in the registry's order: value name and text; every
// value is a string whose terminating zero is counted.
Listed ListedFiles(HKEY root, const std::string& product)
{
    Listed listed;
    for (const ListedFile& file : InstalledFileList(root, product)) {
        EXPECT_EQ(file.type, DWORD(REG_SZ)) << file.name;
        EXPECT_TRUE(file.terminated) << file.name << ": the terminating zero is counted";
        listed.emplace_back(file.name, file.text);
    }
    return listed;
}

struct Shortcut {
    bool loaded = false;
    std::string target, workingFolder;
};

Shortcut ReadShortcut(const std::string& path)
{
    Shortcut shortcut;
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t widePath[MAX_PATH * 2];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH * 2);
        if (SUCCEEDED(file->Load(widePath, STGM_READ))) {
            char text[MAX_PATH] = "";
            shortcut.loaded = SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH));
            shortcut.target = text;
            text[0] = '\0';
            link->GetWorkingDirectory(text, MAX_PATH);
            shortcut.workingFolder = text;
        }
    }
    if (file != nullptr)
        file->Release();
    if (link != nullptr)
        link->Release();
    CoUninitialize();
    return shortcut;
}

// What a command probe noted: "folder", "splash", "expected".
std::map<std::string, std::string> ReadMarker(const std::string& path, DWORD waitMs = 10000)
{
    const DWORD start = GetTickCount();
    while (!FileExists(path) && GetTickCount() - start < waitMs)
        Sleep(50);
    std::map<std::string, std::string> marker;
    std::string text = ReadFileBytes(path);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            marker[line.substr(0, equals)] = line.substr(equals + 1);
        at = end + 1;
    }
    return marker;
}

// What the robot saw when the success box came up; inspections take no context.
std::string gInstallFolder;
bool gMarkersBeforeSuccessBox = false;

std::string LookBeforeCommands(HWND)
{
    gMarkersBeforeSuccessBox =
        FileExists(gInstallFolder + "\\waited.txt") || FileExists(gInstallFolder + "\\after.txt");
    return {};
}

std::string Probe()
{
    return ReadFileBytes(BuildTreePath("tests\\e2e\\install\\command-probe.exe"));
}

cabwriter::Member MemberWith(const std::string& name, const std::string& bytes)
{
    cabwriter::Member member = MemberOf(name);
    member.data.assign(bytes.begin(), bytes.end());
    return member;
}

uint32_t ProductBytes(const std::vector<cabwriter::Member>& members)
{
    uint32_t bytes = 0;
    for (const cabwriter::Member& member : members)
        if (member.name[0] != '$')
            bytes += static_cast<uint32_t>(member.data.size());
    return bytes;
}

class RegistrationScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        work_ = FreshFolder("register-" + TestName());
        const std::string user = work_ + "\\user";
        CreateDirectoryA(user.c_str(), nullptr);
        CreateDirectoryA((user + "\\Temp").c_str(), nullptr);
        engine_ = work_ + "\\setup-engine.exe";
        ASSERT_TRUE(CopyFileA(EnginePath().c_str(), engine_.c_str(), FALSE));
        folder_ = work_ + "\\Product";
        CreateDirectoryA(folder_.c_str(), nullptr);
        gInstallFolder = folder_;
        gMarkersBeforeSuccessBox = false;
    }
    void TearDown() override
    {
        for (const std::string& name : products_)
            Forget(name);
    }

    // A product name of this test alone; whatever an earlier run registered
    // under it is removed first.
    std::string ProductName(const std::string& label)
    {
        const std::string name = "Reg " + label;
        Forget(name);
        products_.push_back(name);
        return name;
    }

    static void Forget(const std::string& name)
    {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            SHDeleteKeyA(root, (kUninstallKey + name).c_str());
        for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
            const std::string menu = ProgramsFolder(csidl) + "\\" + name;
            for (const std::string& file : ListFolder(menu))
                DeleteFileA((menu + "\\" + file).c_str());
            RemoveDirectoryA(menu.c_str());
        }
    }

    RunResult Run(const ProductSpec& product, std::vector<std::string> arguments, std::vector<BoxStep> script,
                  bool japanese = false)
    {
        setup_ = BuildSetup(work_, product);
        arguments.push_back("-srcInstaller");
        arguments.push_back(setup_);
        const std::string temp = work_ + "\\user\\Temp";
        return RunProgram({engine_, arguments, japanese, {{"TEMP", temp}, {"TMP", temp}}, std::move(script)});
    }

    std::string work_, engine_, folder_, setup_;
    std::vector<std::string> products_;
};

void ExpectCleanRun(const RunResult& run)
{
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << "the engine did not end by itself";
}

void ExpectBox(const ShownBox& box, const std::string& caption, const std::string& text)
{
    EXPECT_EQ(box.Caption(CP_UTF8), caption);
    EXPECT_EQ(box.Text(CP_UTF8), text);
    EXPECT_EQ(box.ButtonIds(), std::vector<int>{IDOK});
    EXPECT_FALSE(box.hasIcon);
    EXPECT_EQ(box.ownerClass, L"JovInstLangClass");
}

void ExpectText(HKEY root, const std::string& key, const char* name, const std::string& text)
{
    const RegistryValue value = ReadValue(root, key, name);
    ASSERT_TRUE(value.found) << name;
    EXPECT_EQ(value.type, DWORD(REG_SZ)) << name;
    EXPECT_EQ(value.bytes, text + '\0') << name << ": the text with its terminating zero";
}

void ExpectNumber(HKEY root, const std::string& key, const char* name, DWORD number)
{
    const RegistryValue value = ReadValue(root, key, name);
    ASSERT_TRUE(value.found) << name;
    EXPECT_EQ(value.type, DWORD(REG_DWORD)) << name;
    EXPECT_EQ(value.Number(), number) << name;
}

// The whole entry of a product installed into folder.
void ExpectUninstallEntry(HKEY root, const std::string& name, const std::string& folder, const std::string& tail,
                          uint32_t productBytes)
{
    const std::string key = kUninstallKey + name;
    const std::string uninstaller = folder + "\\unquilbex.exe";
    ExpectText(root, key, "DisplayName", name);
    ExpectText(root, key, "DisplayVersion", "1.0");
    ExpectText(root, key, "UninstallString", "\"" + uninstaller + "\" -u" + tail);
    ExpectText(root, key, "QuietUninstallString", "\"" + uninstaller + "\" -u" + tail + " -Silent");
    ExpectText(root, key, "InstallLocation", folder);
    ExpectText(root, key, "DisplayIcon", uninstaller);
    ExpectNumber(root, key, "EstimatedSize", (productBytes + 1023) / 1024);
    ExpectNumber(root, key, "NoModify", 1);
    ExpectNumber(root, key, "NoRepair", 1);
}

HKEY OtherRoot(HKEY root)
{
    return root == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

const std::vector<cabwriter::Member>& FullProduct()
{
    static const std::vector<cabwriter::Member> members = {
        MemberOf("$bmp"),
        MemberOf("readme.txt"),
        MemberWith("bin\\probe.exe", Probe()),
        MemberWith("defaults\\settings.ini", "[new]\n"),
        MemberOf("docs\\guide.txt"),
        MemberOf("$"),
        MemberOf("$mask"),
    };
    return members;
}

const Listed kFullProductList = {{"file00000", "readme.txt"},
                                 {"file00001", "bin\\probe.exe"},
                                 {"file00002", "defaults\\settings.ini"},
                                 {"file00003", "docs\\guide.txt"}};

// Install commands: the built-in copy over a read-only file, a waited
// program, and one that looks whether the waited one had finished; a launch
// command that looks whether the splash window is gone.
ProductSpec FullSpec(const std::string& name, bool japanese)
{
    ProductSpec product{.members = FullProduct()};
    (japanese ? product.japaneseName : product.englishName) = name;
    product.shortcuts = {{japanese ? kManualJapanese : "Manual", "readme.txt"},
                         {japanese ? kGuideJapanese : "Guide", "docs\\guide.txt"},
                         {"..\\Escaped", "readme.txt"}};
    product.installCommands = {{"copy defaults\\settings.ini settings.ini", 1},
                               {"bin\\probe.exe waited.txt wait 1500", 1},
                               {"bin\\probe.exe after.txt expect waited.txt", 0}};
    product.launchCommands = {{"bin\\probe.exe launched.txt", 0}};
    return product;
}

// name: the bytes of the package; caption: the same in UTF-8.
void FullInstall(const std::string& name, const std::string& caption, bool japanese, const std::string& folder,
                 const std::string& setup, const RunResult& run)
{
    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectBox(run.boxes[0], caption, japanese ? kInstalledJapanese : kInstalled);
    EXPECT_FALSE(gMarkersBeforeSuccessBox) << "the install commands run after the success box";

    ExpectUninstallEntry(HKEY_LOCAL_MACHINE, name, folder, "", ProductBytes(FullProduct()));
    EXPECT_EQ(ListedFiles(HKEY_LOCAL_MACHINE, name), kFullProductList);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kUninstallKey + name));
    EXPECT_EQ(ReadFileBytes(folder + "\\unquilbex.exe"), ReadFileBytes(setup)) << "the uninstaller is the carrier";

    const std::string menu = ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\" + name;
    const std::string manual = japanese ? kManualJapanese : "Manual";
    const std::string guide = japanese ? kGuideJapanese : "Guide";
    std::vector<std::string> links = {manual + ".lnk", guide + ".lnk"};
    std::vector<std::string> found = ListFolder(menu);
    std::sort(links.begin(), links.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, links) << "a link name with a folder in it is left out";
    EXPECT_FALSE(FileExists(ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\Escaped.lnk"));
    const Shortcut manualLink = ReadShortcut(menu + "\\" + manual + ".lnk");
    ASSERT_TRUE(manualLink.loaded);
    EXPECT_EQ(manualLink.target, folder + "\\readme.txt");
    EXPECT_EQ(manualLink.workingFolder, folder);
    const Shortcut guideLink = ReadShortcut(menu + "\\" + guide + ".lnk");
    EXPECT_EQ(guideLink.target, folder + "\\docs\\guide.txt");
    EXPECT_EQ(guideLink.workingFolder, folder);

    EXPECT_EQ(ReadFileBytes(folder + "\\settings.ini"), "[new]\n") << "copy replaced the read-only file";
    auto waited = ReadMarker(folder + "\\waited.txt");
    EXPECT_EQ(waited["folder"], folder);
    EXPECT_EQ(waited["splash"], "1");
    auto after = ReadMarker(folder + "\\after.txt");
    EXPECT_EQ(after["folder"], folder);
    EXPECT_EQ(after["expected"], "1") << "the next command started only after the waited one had ended";
    auto launched = ReadMarker(folder + "\\launched.txt");
    EXPECT_EQ(launched["folder"], folder);
    EXPECT_EQ(launched["splash"], "0") << "launch commands start after the window has closed";
}

void PrepareReadOnlySettings(const std::string& folder)
{
    ASSERT_TRUE(WriteFileBytes(folder + "\\settings.ini", "[old and longer]\n"));
    ASSERT_TRUE(SetFileAttributesA((folder + "\\settings.ini").c_str(), FILE_ATTRIBUTE_READONLY));
}

TEST_F(RegistrationScenario, SetDirRegistersEverythingAndRunsTheCommands)
{
    const std::string name = ProductName("Full");
    PrepareReadOnlySettings(folder_);

    RunResult run = Run(FullSpec(name, false), {"-SetDir", folder_}, {{Answer::Ok, 0, {}, LookBeforeCommands}});

    FullInstall(name, name, false, folder_, setup_, run);
}

TEST_F(RegistrationScenario, SetDirRegistersEverythingAndRunsTheCommandsInJapanese)
{
    // 登録試験: a name whose bytes are Shift-JIS in the key path and the folder.
    const std::string name = "\x93o\x98^\x8E\x8E\x8C\xB1";
    Forget(name);
    products_.push_back(name);
    PrepareReadOnlySettings(folder_);

    RunResult run = Run(FullSpec(name, true), {"-SetDir", folder_}, {{Answer::Ok, 0, {}, LookBeforeCommands}}, true);

    FullInstall(name, "登録試験", true, folder_, setup_, run);
}

struct RootCase {
    const char* label;
    std::vector<std::string> options;
    HKEY root;
    int programs;
    std::string tail;
};

void PrintTo(const RootCase& c, std::ostream* out)
{
    *out << c.label;
}

class Roots : public RegistrationScenario, public ::testing::WithParamInterface<RootCase> {};

// Wine's user is always an administrator, so a run without options is
// machine-wide here; the per-user choice of a non-administrator is the same
// choice as "-ForceUser" (host-tested with the driver's decisions).
TEST_P(Roots, EntryShortcutsAndUninstallCommandFollowTheOptions)
{
    const RootCase& c = GetParam();
    const std::string name = ProductName(std::string("Root ") + c.label);
    ProductSpec product{.englishName = name, .members = {MemberOf("a.txt"), MemberOf("sub\\b.txt")}};
    product.shortcuts = {{"A", "a.txt"}};
    std::vector<std::string> options = c.options;
    options.insert(options.end(), {"-SetDir", folder_});

    RunResult run = Run(product, options, {{Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectBox(run.boxes[0], name, kInstalled);
    ExpectUninstallEntry(c.root, name, folder_, c.tail, ProductBytes(product.members));
    EXPECT_EQ(ListedFiles(c.root, name), (Listed{{"file00000", "a.txt"}, {"file00001", "sub\\b.txt"}}));
    EXPECT_FALSE(RegistryKeyExists(OtherRoot(c.root), kUninstallKey + name));
    const std::string link = ProgramsFolder(c.programs) + "\\" + name + "\\A.lnk";
    EXPECT_EQ(ReadShortcut(link).target, folder_ + "\\a.txt");
    const int otherPrograms = c.programs == CSIDL_PROGRAMS ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
    EXPECT_FALSE(FileExists(ProgramsFolder(otherPrograms) + "\\" + name));
}

INSTANTIATE_TEST_SUITE_P(
    Options, Roots,
    ::testing::Values(RootCase{"None", {}, HKEY_LOCAL_MACHINE, CSIDL_COMMON_PROGRAMS, ""},
                      RootCase{
                          "ForceAdmin", {"-ForceAdmin"}, HKEY_LOCAL_MACHINE, CSIDL_COMMON_PROGRAMS, " \"-ForceAdmin\""},
                      RootCase{"ForceUser", {"-ForceUser"}, HKEY_CURRENT_USER, CSIDL_PROGRAMS, " \"-ForceUser\""},
                      RootCase{"Both",
                               {"-ForceUser", "-ForceAdmin"},
                               HKEY_LOCAL_MACHINE,
                               CSIDL_COMMON_PROGRAMS,
                               " \"-ForceAdmin\" \"-ForceUser\""}),
    [](const ::testing::TestParamInfo<RootCase>& info) { return std::string(info.param.label); });

void DialogInstall(const RunResult& run, const std::string& name, const std::string& caption, const std::string& folder,
                   bool japanese)
{
    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 3u);
    EXPECT_TRUE(run.boxes[0].HasButton(1000)) << "the install dialog";
    ExpectBox(run.boxes[2], caption, japanese ? kInstalledJapanese : kInstalled);
    ExpectUninstallEntry(HKEY_LOCAL_MACHINE, name, folder, "", ProductBytes({MemberOf("a.txt")}));
    EXPECT_EQ(ListedFiles(HKEY_LOCAL_MACHINE, name), (Listed{{"file00000", "a.txt"}}));
    EXPECT_EQ(ReadShortcut(ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\" + name + "\\A.lnk").workingFolder, folder);
}

TEST_F(RegistrationScenario, DialogInstallRegisters)
{
    const std::string name = ProductName("Dialog");
    const std::string folder = work_ + "\\Chosen";
    ProductSpec product{.englishName = name, .installFolder = folder, .members = {MemberOf("a.txt")}};
    product.shortcuts = {{"A", "a.txt"}};

    RunResult run = Run(product, {}, {{Answer::Ok}, {Answer::Yes}, {Answer::Ok}});

    DialogInstall(run, name, name, folder, false);
}

TEST_F(RegistrationScenario, DialogInstallRegistersInJapanese)
{
    // 画面試験: a name of its own, so that no other Japanese scenario running
    // beside this one shares its Uninstall entry.
    const std::string name = "\x89\xE6\x96\xCA\x8E\x8E\x8C\xB1";
    Forget(name);
    products_.push_back(name);
    const std::string folder = work_ + "\\Chosen";
    ProductSpec product{.japaneseName = name, .installFolder = folder, .members = {MemberOf("a.txt")}};
    product.shortcuts = {{"A", "a.txt"}};

    RunResult run = Run(product, {}, {{Answer::Ok}, {Answer::Yes}, {Answer::Ok}}, true);

    DialogInstall(run, name, "画面試験", folder, true);
}

TEST_F(RegistrationScenario, ReinstallKeepsTheListAndAppendsNewFilesOnce)
{
    const std::string name = ProductName("Again");
    ProductSpec first{.englishName = name, .members = {MemberOf("a.txt"), MemberOf("b.txt")}};
    ProductSpec second{.englishName = name, .members = {MemberOf("B.TXT"), MemberOf("c.txt"), MemberOf("A.txt")}};

    ExpectCleanRun(Run(first, {"-SetDir", folder_}, {{Answer::Ok}}));
    RunResult run = Run(second, {"-SetDir", folder_}, {{Answer::Ok}});

    ExpectCleanRun(run);
    EXPECT_EQ(ListedFiles(HKEY_LOCAL_MACHINE, name),
              (Listed{{"file00000", "a.txt"}, {"file00001", "b.txt"}, {"file00002", "c.txt"}}));
    ExpectUninstallEntry(HKEY_LOCAL_MACHINE, name, folder_, "", ProductBytes(second.members));
}

void FailingCommand(const RunResult& run, const std::string& folder, const std::string& caption, bool japanese)
{
    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectBox(run.boxes[0], caption, japanese ? kInstalledJapanese : kInstalled);
    ExpectBox(run.boxes[1], caption, japanese ? kInstallFailedJapanese : kInstallFailed);
    EXPECT_FALSE(FileExists(folder + "\\never.txt")) << "commands behind the failing one are not run";
    Sleep(500);
    EXPECT_FALSE(FileExists(folder + "\\launched.txt")) << "a failed installation launches nothing";
}

ProductSpec FailingSpec(const std::string& name)
{
    ProductSpec product{.englishName = name, .members = {MemberOf("a.txt"), MemberWith("probe.exe", Probe())}};
    product.installCommands = {{"no-such-program-anywhere.exe /x", 0}, {"probe.exe never.txt", 0}};
    product.launchCommands = {{"probe.exe launched.txt", 0}};
    return product;
}

TEST_F(RegistrationScenario, FailingInstallCommandFailsTheRunAfterTheSuccessBox)
{
    const std::string name = ProductName("Failing");

    RunResult run = Run(FailingSpec(name), {"-SetDir", folder_}, {{Answer::Ok}, {Answer::Ok}});

    FailingCommand(run, folder_, name, false);
    ExpectUninstallEntry(HKEY_LOCAL_MACHINE, name, folder_, "", ProductBytes(FailingSpec(name).members));
}

TEST_F(RegistrationScenario, FailingInstallCommandFailsTheRunAfterTheSuccessBoxInJapanese)
{
    // 失敗試験: a name of its own, so that no other Japanese scenario running
    // beside this one shares its Uninstall entry.
    ProductSpec product = FailingSpec("unused");
    product.japaneseName = "\x8E\xB8\x94s\x8E\x8E\x8C\xB1";
    Forget(product.japaneseName);
    products_.push_back(product.japaneseName);

    RunResult run = Run(product, {"-SetDir", folder_}, {{Answer::Ok}, {Answer::Ok}}, true);

    FailingCommand(run, folder_, "失敗試験", true);
}

TEST_F(RegistrationScenario, MissingRequiredFileShowsThePackagesMessageAndFails)
{
    const std::string name = ProductName("Required");
    ProductSpec product{.englishName = name, .members = {MemberOf("a.txt"), MemberWith("probe.exe", Probe())}};
    product.checks = {{0, "a.txt", "a.txt is missing."},
                      {1, "SomeWindowClass", "not a file"},
                      {0, "", "an empty subject is skipped"},
                      {0, "docs\\missing.txt", "The guide is missing; the installation is incomplete."},
                      {0, "later.txt", "not examined after the first missing file"}};
    product.installCommands = {{"probe.exe never.txt", 0}};

    RunResult run = Run(product, {"-SetDir", folder_}, {{Answer::Ok}, {Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectBox(run.boxes[0], "docs\\missing.txt", "The guide is missing; the installation is incomplete.");
    ExpectBox(run.boxes[1], name, kInstallFailed);
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey + name, "DisplayName").found) << "nothing registered";
    EXPECT_FALSE(FileExists(folder_ + "\\unquilbex.exe"));
    EXPECT_EQ(ListedFiles(HKEY_LOCAL_MACHINE, name), (Listed{{"file00000", "a.txt"}, {"file00001", "probe.exe"}}))
        << "the files were installed and stay listed";
    EXPECT_FALSE(FileExists(folder_ + "\\never.txt"));
}

TEST_F(RegistrationScenario, RunOnlyOptionRegistersWithoutSuccessBox)
{
    const std::string name = ProductName("JustExec");
    ProductSpec product{.englishName = name, .members = {MemberOf("a.txt")}};

    RunResult run = Run(product, {"-JustExec", "-SetDir", folder_}, {});

    ExpectCleanRun(run);
    EXPECT_TRUE(run.boxes.empty());
    ExpectUninstallEntry(HKEY_LOCAL_MACHINE, name, folder_, "", ProductBytes(product.members));
    EXPECT_EQ(ListedFiles(HKEY_LOCAL_MACHINE, name), (Listed{{"file00000", "a.txt"}}));
}

TEST_F(RegistrationScenario, RunOnlyPackageRecordsNothing)
{
    const std::string name = ProductName("RunOnlyPackage");
    ProductSpec product{.englishName = name, .justExec = 1, .members = {MemberOf("a.txt")}};
    product.shortcuts = {{"A", "a.txt"}};

    RunResult run = Run(product, {"-SetDir", folder_}, {});

    ExpectCleanRun(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFileBytes(folder_ + "\\a.txt"), "content of a.txt\n");
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey + name));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kUninstallKey + name));
    EXPECT_FALSE(FileExists(folder_ + "\\unquilbex.exe"));
    EXPECT_FALSE(FileExists(ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\" + name));
}

// A product name that is no single folder name reaches no path and no key.
TEST_F(RegistrationScenario, ProductNameWithAFolderRegistersNothing)
{
    const std::string name = ProductName("Maker") + "\\Tool";
    ProductSpec product{.englishName = name, .members = {MemberOf("a.txt")}};
    product.shortcuts = {{"A", "a.txt"}};

    RunResult run = Run(product, {"-SetDir", folder_}, {{Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectBox(run.boxes[0], name, kInstalled);
    EXPECT_EQ(ReadFileBytes(folder_ + "\\a.txt"), "content of a.txt\n");
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey + std::string("Reg Maker")));
    EXPECT_FALSE(FileExists(ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\Reg Maker"));
    EXPECT_FALSE(FileExists(folder_ + "\\unquilbex.exe"));
}

}  // namespace

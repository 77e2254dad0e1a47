// Unattended runs under Wine: "-Silent" through the setup stub shows no
// window and no box, and every outcome comes back as the process exit code;
// "-Log" appends one line per step. The uninstall entry's
// QuietUninstallString removes the product the same way.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/harness/test_context.h"
#include "tests/e2e/install/install_package.h"

namespace {

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Each scenario installs a product of its own name: the scenarios run side
// by side, and the Uninstall key and Start-menu folder go by the name.
std::string ProductName()
{
    return "Silent Test " + TestName();
}

// The window class of the product's running application, of each scenario's own.
std::string AppClass()
{
    return "SilentTest" + TestName() + "Class";
}

// Exit codes of a silent run.
constexpr DWORD kDone = 0, kFailed = 1, kBlocked = 2, kRefused = 3, kBadCommandLine = 4;

std::string StubPath()
{
    return WindowsPath(SETUP_STUB_PATH);
}

cabwriter::Member MemberWith(const std::string& name, const std::string& bytes)
{
    cabwriter::Member member = MemberOf(name);
    member.data.assign(bytes.begin(), bytes.end());
    return member;
}

// The product: two files, the probe that the waited install command starts,
// a shortcut, a required file and a running application to look for.
ProductSpec Product()
{
    ProductSpec product;
    product.englishName = ProductName();
    product.japaneseName = ProductName();
    product.members = {MemberOf("readme.txt"), MemberOf("bin\\tool.exe", 0x21),
                       MemberWith("probe.exe", ReadFileBytes(BuildTreePath("tests\\e2e\\install\\command-probe.exe")))};
    product.shortcuts = {{"Silent Test Readme", "readme.txt"}};
    product.checks = {{0, "readme.txt", "The readme is missing."}, {1, AppClass(), "Silent Test is running."}};
    // Long enough for the robot to see any window the run shows.
    product.installCommands = {{"probe.exe waited.txt wait 1500", 1}};
    return product;
}

// The log's lines without their times; each line must start with one.
std::vector<std::string> LogLines(const std::string& path)
{
    std::vector<std::string> lines;
    const std::string text = ReadFileBytes(path);
    static const std::regex kStamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d $");
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a line without its CR LF: " << text.substr(start);
            break;
        }
        const std::string line = text.substr(start, end - start);
        EXPECT_TRUE(line.size() >= 20 && std::regex_match(line.substr(0, 20), kStamp)) << line;
        lines.push_back(line.size() >= 20 ? line.substr(20) : line);
        start = end + 2;
    }
    return lines;
}

// Each expected line appears, in this order, among the lines.
void ExpectInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected)
{
    auto at = lines.begin();
    for (const std::string& line : expected) {
        const auto found = std::find(at, lines.end(), line);
        EXPECT_NE(found, lines.end()) << "missing or out of order: " << line;
        if (found != lines.end())
            at = found + 1;
    }
}

void PrintLog(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        std::printf("    | %s\n", line.c_str());
}

class SilentScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        work_ = FreshFolder("silent-e2e-" + TestName());
        temp_ = work_ + "\\user\\Temp";
        CreateDirectoryA((work_ + "\\user").c_str(), nullptr);
        CreateDirectoryA(temp_.c_str(), nullptr);
        carrierFolder_ = work_ + "\\package";
        CreateDirectoryA(carrierFolder_.c_str(), nullptr);
        folder_ = work_ + "\\Deep\\Nested\\Product";
        log_ = work_ + "\\setup.log";
        Forget();
    }

    void TearDown() override { Forget(); }

    void Forget()
    {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            SHDeleteKeyA(root, (kUninstall + "\\" + ProductName()).c_str());
        for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
            const std::string folder = ProgramsFolder(csidl) + "\\" + ProductName();
            for (const std::string& name : ListFolder(folder))
                DeleteFileA((folder + "\\" + name).c_str());
            RemoveDirectoryA(folder.c_str());
        }
    }

    RunResult Run(const std::string& program, std::vector<std::string> arguments, std::vector<BoxStep> script = {})
    {
        RunSpec spec;
        spec.program = program;
        spec.arguments = std::move(arguments);
        spec.environment = {{"TEMP", temp_}, {"TMP", temp_}};
        spec.script = std::move(script);
        return RunProgram(spec);
    }

    RunResult RunCommandLine(const std::string& commandLine)
    {
        RunSpec spec;
        spec.commandLine = commandLine;
        spec.environment = {{"TEMP", temp_}, {"TMP", temp_}};
        return RunProgram(spec);
    }

    // Through the stub, as an administrator's script would run setup.exe.
    RunResult RunSetup(const ProductSpec& product, std::vector<std::string> arguments, std::vector<BoxStep> script = {})
    {
        return Run(BuildSetup(carrierFolder_, product, StubPath()), std::move(arguments), std::move(script));
    }

    std::string Entry(const char* value)
    {
        std::string text;
        EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, kUninstall + "\\" + ProductName(), value, text)) << value;
        return text;
    }

    // Ended by itself, nothing unexpected, no box and no visible splash window.
    static void ExpectUnattended(const RunResult& run)
    {
        EXPECT_TRUE(run.started);
        EXPECT_FALSE(run.timedOut) << "the run did not end by itself";
        for (const std::string& failure : run.failures)
            ADD_FAILURE() << failure;
        EXPECT_TRUE(run.boxes.empty()) << run.boxes.size() << " boxes, the first: " << run.boxes[0].Text(CP_UTF8);
        EXPECT_EQ(std::count(run.otherWindowClasses.begin(), run.otherWindowClasses.end(), L"JovInstLangClass"), 0)
            << "the splash window was shown";
    }

    void ExpectInstalledIn(const std::string& folder)
    {
        for (const char* name : {"readme.txt", "bin\\tool.exe", "probe.exe", "waited.txt", "unquilbex.exe"})
            EXPECT_TRUE(FileExists(folder + "\\" + name)) << name;
        EXPECT_TRUE(
            FileExists(ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\" + ProductName() + "\\Silent Test Readme.lnk"));
    }

    std::string work_, temp_, carrierFolder_, folder_, log_;
};

// The whole unattended cycle: a silent install into a folder that does not
// exist yet, then the uninstall entry's QuietUninstallString, both logged.
TEST_F(SilentScenario, InstallAndQuietUninstallShowNothingAndEndWithZero)
{
    const RunResult install = RunSetup(Product(), {"-Silent", "-Log", log_, "-SetDir", folder_});

    ExpectUnattended(install);
    EXPECT_EQ(install.exitCode, kDone);
    ExpectInstalledIn(folder_);
    EXPECT_NE(ReadFileBytes(folder_ + "\\waited.txt").find("splash=1"), std::string::npos)
        << "the splash window exists, hidden, while the commands run";
    const std::string uninstallString = Entry("UninstallString");
    EXPECT_EQ(uninstallString, "\"" + folder_ + "\\unquilbex.exe\" -u");
    const std::string quiet = Entry("QuietUninstallString");
    EXPECT_EQ(quiet, uninstallString + " -Silent");

    const std::vector<std::string> installLines = LogLines(log_);
    std::printf("  the log of the silent install:\n");
    PrintLog(installLines);
    const std::string startMenu = ProgramsFolder(CSIDL_COMMON_PROGRAMS) + "\\" + ProductName();
    ExpectInOrder(installLines, {
                                    "start    installer.exe",
                                    "option   -Silent",
                                    "option   -Log: " + log_,
                                    "option   -SetDir: " + folder_,
                                    "option   -srcInstaller: " + carrierFolder_ + "\\setup.exe",
                                    "mode     install",
                                    "package  " + ProductName() + ": 1.0",
                                    "folder   " + folder_,
                                    "folder   " + folder_ + ": created",
                                    "file     readme.txt",
                                    "file     bin\\tool.exe",
                                    "file     probe.exe",
                                    "register " + folder_ + "\\unquilbex.exe",
                                    "shortcut " + startMenu + "\\Silent Test Readme.lnk",
                                    "registry " + kUninstall + "\\" + ProductName() + ": HKEY_LOCAL_MACHINE",
                                    "registry DisplayName = " + ProductName(),
                                    "registry UninstallString = " + uninstallString,
                                    "registry QuietUninstallString = " + quiet,
                                    "command  probe.exe waited.txt wait 1500: done",
                                    "end      done: exit code 0",
                                });

    const RunResult removal = RunCommandLine(quiet + " -Log \"" + log_ + "\"");

    ExpectUnattended(removal);
    EXPECT_EQ(removal.exitCode, kDone);
    // waited.txt, which the install command made and no list records, stays.
    EXPECT_EQ(ListFolder(folder_), (std::vector<std::string>{"unquilbex.exe", "waited.txt"}));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstall + "\\" + ProductName()));
    EXPECT_FALSE(FileExists(startMenu));

    std::vector<std::string> removalLines = LogLines(log_);
    ASSERT_GT(removalLines.size(), installLines.size()) << "the log is appended to";
    removalLines.erase(removalLines.begin(), removalLines.begin() + static_cast<long>(installLines.size()));
    std::printf("  the log of the silent removal:\n");
    PrintLog(removalLines);
    ExpectInOrder(removalLines, {
                                    "start    installer.exe",
                                    "option   -Silent",
                                    "mode     uninstall",
                                    "folder   " + folder_,
                                    "remove   " + folder_ + "\\readme.txt",
                                    "remove   " + startMenu,
                                    "registry " + ProductName() + ": Uninstall entry removed",
                                    "end      done: exit code 0",
                                });
}

// Entries written before "-Silent" existed end with "-JustExec": they still
// remove the product without a question, as before.
TEST_F(SilentScenario, OlderQuietUninstallStringStillRemoves)
{
    ProductSpec product = Product();
    product.installCommands.clear();
    ASSERT_EQ(RunSetup(product, {"-Silent", "-SetDir", folder_}).exitCode, kDone);

    const RunResult removal = RunCommandLine(Entry("UninstallString") + " -JustExec");

    ExpectUnattended(removal);
    EXPECT_EQ(removal.exitCode, kDone);
    EXPECT_EQ(ListFolder(folder_), std::vector<std::string>{"unquilbex.exe"});
}

// A silent removal that cannot do everything tells it by its exit code
// alone; the rest is still removed.
TEST_F(SilentScenario, QuietUninstallWithAFailingCommandEndsWithOne)
{
    ProductSpec product = Product();
    product.installCommands.clear();
    product.uninstallCommands = {{"no-such-cleanup.exe", 1}};
    ASSERT_EQ(RunSetup(product, {"-Silent", "-SetDir", folder_}).exitCode, kDone);

    const RunResult removal = RunCommandLine(Entry("QuietUninstallString") + " -Log \"" + log_ + "\"");

    ExpectUnattended(removal);
    EXPECT_EQ(removal.exitCode, kFailed);
    EXPECT_EQ(ListFolder(folder_), std::vector<std::string>{"unquilbex.exe"});
    ExpectInOrder(LogLines(log_), {"mode     uninstall", "command  no-such-cleanup.exe: failed, error 2",
                                   "end      failed: exit code 1"});
}

// Without "-SetDir" a silent run takes the package's default folder, and
// makes it without asking.
TEST_F(SilentScenario, DefaultFolderIsMadeWithoutAsking)
{
    ProductSpec product = Product();
    product.installFolder = work_ + "\\Default\\Product";

    const RunResult run = RunSetup(product, {"-Silent"});

    ExpectUnattended(run);
    EXPECT_EQ(run.exitCode, kDone);
    ExpectInstalledIn(product.installFolder);
}

TEST_F(SilentScenario, RunningApplicationEndsTheRunWithTwoAndIsLeftRunning)
{
    HelperProcess app;
    const std::string requests = work_ + "\\requests.txt";
    const std::string appClass = AppClass();
    ASSERT_TRUE(app.Start("\"" + WindowsPath(APP_WINDOWS_PATH) + "\" " + appClass + " 1 close \"" + requests + "\"",
                          CREATE_NO_WINDOW));
    for (int i = 0; i < 400 && FindWindowA(appClass.c_str(), nullptr) == nullptr; ++i)
        Sleep(50);
    ASSERT_NE(FindWindowA(appClass.c_str(), nullptr), nullptr);

    const RunResult run = RunSetup(Product(), {"-Silent", "-Log", log_, "-SetDir", folder_});

    ExpectUnattended(run);
    EXPECT_EQ(run.exitCode, kBlocked);
    EXPECT_NE(FindWindowA(appClass.c_str(), nullptr), nullptr) << "the application was asked to close";
    EXPECT_EQ(ReadFileBytes(requests), "");
    EXPECT_FALSE(FileExists(folder_ + "\\readme.txt"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstall + "\\" + ProductName()));
    ExpectInOrder(LogLines(log_), {"running  " + appClass + ": a window of this class is open; a silent run ends here",
                                   "end      declined or blocked by a running application: exit code 2"});
}

TEST_F(SilentScenario, RefusedWindowsVersionEndsWithThree)
{
    ProductSpec product = Product();
    product.osMask = 0x2;  // Windows 95 only

    const RunResult run = RunSetup(product, {"-Silent", "-Log", log_, "-SetDir", folder_});

    ExpectUnattended(run);
    EXPECT_EQ(run.exitCode, kRefused);
    EXPECT_FALSE(FileExists(folder_));
    ExpectInOrder(LogLines(log_), {"package  " + ProductName() + ": 1.0",
                                   "refused  this Windows version is not supported by the package",
                                   "end      refused by the Windows version or the user's rights: exit code 3"});
}

TEST_F(SilentScenario, FailingInstallCommandEndsWithOne)
{
    ProductSpec product = Product();
    product.installCommands = {{"no-such-program.exe --init", 1}};

    const RunResult run = RunSetup(product, {"-Silent", "-Log", log_, "-SetDir", folder_});

    ExpectUnattended(run);
    EXPECT_EQ(run.exitCode, kFailed);
    EXPECT_TRUE(FileExists(folder_ + "\\readme.txt"));
    ExpectInOrder(LogLines(log_),
                  {"command  no-such-program.exe --init: failed, error 2", "end      failed: exit code 1"});
}

// The same failure without "-Silent": both boxes as ever, and exit code 0.
TEST_F(SilentScenario, WithoutSilentTheBoxesStayAndTheCodeIsZero)
{
    ProductSpec product = Product();
    product.installCommands = {{"no-such-program.exe --init", 1}};

    const RunResult run = RunSetup(product, {"-SetDir", folder_}, {{Answer::Yes}, {Answer::Ok}, {Answer::Ok}});

    EXPECT_FALSE(run.timedOut);
    for (const std::string& failure : run.failures)
        ADD_FAILURE() << failure;
    ASSERT_EQ(run.boxes.size(), 3u);
    EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), "Create a folder.");
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), "Installed properly.");
    EXPECT_EQ(run.boxes[2].Text(CP_UTF8), "It couldn't be installed properly.");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_FALSE(FileExists(log_)) << "no log without -Log";
}

TEST_F(SilentScenario, MissingPackageEndsWithOne)
{
    const std::string missing = work_ + "\\no-such-setup.exe";

    const RunResult run = Run(EnginePath(), {"-Silent", "-Log", log_, "-srcInstaller", missing});

    ExpectUnattended(run);
    EXPECT_EQ(run.exitCode, kFailed);
    ExpectInOrder(LogLines(log_), {"package  " + missing + ": failed, error 2", "end      failed: exit code 1"});
}

struct BadLine {
    const char* label;
    std::vector<std::string> arguments;  // behind "-Silent"
    const char* logLine;                 // when the run has a log
};

void PrintTo(const BadLine& c, std::ostream* out)
{
    *out << c.label;
}

class BadCommandLine : public SilentScenario, public ::testing::WithParamInterface<BadLine> {};

// A value that is missing or does not fit: nothing is done, no folder made.
TEST_P(BadCommandLine, EndsWithFourBeforeAnythingIsDone)
{
    std::vector<std::string> arguments = {"-Silent"};
    for (const std::string& argument : GetParam().arguments)
        arguments.push_back(argument == "LOG" ? log_ : argument == "FOLDER" ? folder_ : argument);

    const RunResult run = RunSetup(Product(), arguments);

    ExpectUnattended(run);
    EXPECT_EQ(run.exitCode, kBadCommandLine);
    EXPECT_FALSE(FileExists(work_ + "\\Deep")) << "a folder was made";
    if (GetParam().logLine != nullptr)
        ExpectInOrder(LogLines(log_), {GetParam().logLine, "end      bad command line: exit code 4"});
    else
        EXPECT_FALSE(FileExists(log_));
}

INSTANTIATE_TEST_SUITE_P(Cases, BadCommandLine,
                         ::testing::Values(BadLine{"LogWithoutFile", {"-SetDir", "FOLDER", "-Log"}, nullptr},
                                           BadLine{"EmptyFolder",
                                                   {"-Log", "LOG", "-SetDir", ""},
                                                   "refused  -SetDir: its value is missing or too long"},
                                           BadLine{"FolderTooLong",
                                                   {"-Log", "LOG", "-SetDir", "C:\\" + std::string(600, 'f')},
                                                   "refused  -SetDir: its value is missing or too long"}),
                         [](const ::testing::TestParamInfo<BadLine>& info) { return std::string(info.param.label); });

}  // namespace

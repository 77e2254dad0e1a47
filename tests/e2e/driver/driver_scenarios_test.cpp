// End-to-end runs of the engine before any package can be loaded: the
// argument vector, the mode, the language and the failure message.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/e2e/harness/scenario.h"

namespace {

const char kInstallFailed[] = "It couldn't be installed properly.";
const char kUninstallFailed[] = "It couldn't be uninstalled properly.";
const char kInstallFailedJapanese[] = "正しくインストール出来ませんでした。";
const char kUninstallFailedJapanese[] = "正しくアンインストール出来ませんでした。";

// A copy of the engine under a name of the test's choice, in a fresh folder.
std::string PlaceEngine(const std::string& folderName, const std::string& fileName)
{
    const std::string folder = FreshFolder(folderName);
    const std::string path = folder + "\\" + fileName;
    EXPECT_TRUE(CopyFileA(EnginePath().c_str(), path.c_str(), FALSE)) << path;
    return path;
}

std::string UserName()
{
    char name[1024];
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? name : "user";
}

// The single failure box every run of this file ends with.
void ExpectOneFailureBox(const RunResult& run, const std::string& caption, const char* textUtf8)
{
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << "the engine did not end by itself";
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    const ShownBox& box = run.boxes[0];
    EXPECT_EQ(box.Caption(CP_UTF8), caption);
    EXPECT_EQ(box.Text(CP_UTF8), textUtf8);
    EXPECT_EQ(box.ButtonIds(), std::vector<int>{IDOK});
    EXPECT_FALSE(box.hasIcon);
    EXPECT_EQ(box.owner, nullptr) << "no window exists before the package is loaded";
}

TEST(DriverScenario, ArgumentsWithoutSourceGiveThePackageFailure)
{
    const std::string engine = PlaceEngine("args-no-source", "setup-engine.exe");
    const std::string argumentFile = engine + ".param";
    ASSERT_TRUE(WriteFileBytes(argumentFile, "ignored\r\n-u\r\n"));

    RunResult run = RunProgram({engine, {"-JustExec"}, false, {}, {{Answer::Ok}}});

    ExpectOneFailureBox(run, "setup-engine.exe", kInstallFailed);
    EXPECT_FALSE(FileExists(argumentFile)) << "the argument file goes also when arguments were given";
}

TEST(DriverScenario, ArgumentFileGivesEntryZeroAndTheFolderOption)
{
    const std::string engine = PlaceEngine("argument-file", "setup-engine.exe");
    const std::string work = FreshFolder("argument-file-target");
    const std::string argumentFile = engine + ".param";
    ASSERT_TRUE(WriteFileBytes(argumentFile, "E:\\Setup\\mysetup.exe\r\n-SetDir\r\n" + work + "\\Temp\\Prod\r\n"));

    RunResult run = RunProgram({engine, {}, false, {}, {{Answer::Ok}}});

    ExpectOneFailureBox(run, "mysetup.exe", kInstallFailed);
    EXPECT_FALSE(FileExists(argumentFile));
    // "-SetDir" renames temp components and creates the renamed folders.
    const std::string renamed = work + "\\tteemmpp" + UserName();
    EXPECT_TRUE(FileExists(renamed + "\\Prod"));
    EXPECT_FALSE(FileExists(work + "\\Temp"));
}

TEST(DriverScenario, NoArgumentsAndNoArgumentFileUseTheEnginesOwnName)
{
    const std::string engine = PlaceEngine("no-arguments", "plain-engine.exe");

    RunResult run = RunProgram({engine, {}, false, {}, {{Answer::Ok}}});

    ExpectOneFailureBox(run, "plain-engine.exe", kInstallFailed);
}

struct ModeCase {
    const char* name;
    const char* fileName;
    std::vector<std::string> arguments;
    bool japanese;
    const char* text;
};

void PrintTo(const ModeCase& c, std::ostream* out)
{
    *out << c.name;
}

class DriverModeScenario : public ::testing::TestWithParam<ModeCase> {};

TEST_P(DriverModeScenario, FailureTextFollowsModeAndLanguage)
{
    const ModeCase& c = GetParam();
    const std::string engine = PlaceEngine(std::string("mode-") + c.name, c.fileName);

    RunResult run = RunProgram({engine, c.arguments, c.japanese, {}, {{Answer::Ok}}});

    ExpectOneFailureBox(run, c.fileName, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DriverModeScenario,
    ::testing::Values(ModeCase{"UninstallerNameInCapitals", "UNQUILBEX.EXE", {"-JustExec"}, false, kUninstallFailed},
                      ModeCase{"BackupOfUninstaller", "unquilbex.exe.bak", {"-JustExec"}, false, kInstallFailed},
                      ModeCase{"UninstallOption", "setup-u.exe", {"-u"}, false, kUninstallFailed},
                      ModeCase{"OptionsAreCaseSensitive", "setup-U.exe", {"-U"}, false, kInstallFailed},
                      ModeCase{"JapaneseInstall", "setup-ja.exe", {"-JustExec"}, true, kInstallFailedJapanese},
                      ModeCase{"JapaneseUninstall", "unquilbex.exe", {"-JustExec"}, true, kUninstallFailedJapanese}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return std::string(info.param.name); });

}  // namespace

// The version check in real runs: a package whose mask leaves out the
// running system is refused before any window exists, in both modes and both
// languages; one whose mask includes it goes on to the splash window. Wine's
// per-program version setting lets the engine run as older systems.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/splash/splash_package.h"

namespace {

const char kRefusal[] = "It can't be installed in this OS.";
const char kRefusalJapanese[] = "このOSへのインストールには対応いたしておりません。";
const char kInstallFailed[] = "It couldn't be installed properly.";
const char kUninstallFailed[] = "It couldn't be uninstalled properly.";
const char kInstallFailedJapanese[] = "正しくインストール出来ませんでした。";
const char kUninstallFailedJapanese[] = "正しくアンインストール出来ませんでした。";

constexpr uint32_t kNinexOnly = 0x0E;       // 95, 98 and Me
constexpr uint32_t kWindows7x64 = 0x10000;  // Wine's default system

bool SawSplashWindow(const RunResult& run)
{
    return std::find(run.otherWindowClasses.begin(), run.otherWindowClasses.end(), L"JovInstLangClass") !=
           run.otherWindowClasses.end();
}

// The refusal, then the run's failure message; both before any window.
void ExpectRefused(const RunResult& run, const std::string& caption, const char* refusal, const char* failure)
{
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), caption);
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), refusal);
    EXPECT_EQ(run.boxes[1].Caption(CP_UTF8), caption);
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), failure);
    for (const ShownBox& box : run.boxes) {
        EXPECT_EQ(box.ButtonIds(), std::vector<int>{IDOK});
        EXPECT_FALSE(box.hasIcon);
        EXPECT_EQ(box.owner, nullptr) << "the check comes before the splash window";
    }
    EXPECT_FALSE(SawSplashWindow(run));
}

// Accepted: the run goes on to the uninstaller's question (answered No, so
// that nothing is touched), and every box belongs to the splash window.
const std::vector<BoxStep> kDeclineUninstall = {{Answer::No}, {Answer::Ok}};

void ExpectAccepted(const RunResult& run)
{
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    EXPECT_FALSE(run.timedOut);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), "Do you want to Uninstall ?");
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), kUninstallFailed);
    for (const ShownBox& box : run.boxes) {
        EXPECT_EQ(box.ownerClass, L"JovInstLangClass");
        EXPECT_EQ(box.ownerCaption, L"The Installer");
    }
}

struct RefusalCase {
    const char* name;
    const char* fileName;
    const char* mode;  // extra argument: "-u" or "-JustDecomp"
    bool japanese;
    const char* refusal;
    const char* failure;
};

void PrintTo(const RefusalCase& c, std::ostream* out)
{
    *out << c.name;
}

class VersionRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(VersionRefusal, RefusalThenFailureMessage)
{
    const RefusalCase& c = GetParam();
    const std::string folder = FreshFolder(std::string("version-") + c.name);
    ProductSpec product;
    product.osMask = kNinexOnly;
    const std::string setup = BuildSetup(folder, product);
    const std::string engine = PlaceEngineCopy(folder, c.fileName);

    RunResult run =
        RunProgram({engine, {c.mode, "-srcInstaller", setup}, c.japanese, {}, {{Answer::Ok}, {Answer::Ok}}});

    ExpectRefused(run, c.fileName, c.refusal, c.failure);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, VersionRefusal,
    ::testing::Values(RefusalCase{"Install", "setup-version.exe", "-JustDecomp", false, kRefusal, kInstallFailed},
                      RefusalCase{"Uninstall", "setup-version-u.exe", "-u", false, kRefusal, kUninstallFailed},
                      RefusalCase{"JapaneseInstall", "setup-version-ja.exe", "-JustDecomp", true, kRefusalJapanese,
                                  kInstallFailedJapanese},
                      RefusalCase{"JapaneseUninstall", "setup-version-ja-u.exe", "-u", true, kRefusalJapanese,
                                  kUninstallFailedJapanese}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST(VersionCheck, MaskWithTheRunningSystemGoesOnToTheSplashWindow)
{
    const std::string folder = FreshFolder("version-accepted");
    ProductSpec product;
    product.osMask = kWindows7x64 | kNinexOnly;
    const std::string setup = BuildSetup(folder, product);
    const std::string engine = PlaceEngineCopy(folder, "setup-version-ok.exe");

    RunResult run = RunProgram({engine, {"-u", "-srcInstaller", setup}, false, {}, kDeclineUninstall});

    ExpectAccepted(run);
}

// The engine under a name of its own, with Wine reporting an older system.
struct SystemCase {
    const char* wineVersion;
    uint32_t packageMask;
    bool accepted;
};

const SystemCase kSystemCases[] = {
    {"win98", 0x4, true},                                            // Windows 98 has the bit 0x4
    {"win98", 0x2 | 0x8, false},                                     // 95 and Me only
    {"winxp", 0x180, true},                                          // XP: the intersection 0x80
    {"winxp", 0x100, false},                                         // Server 2003 only
    {"win2003", 0x100, true},    {"win2003", 0x200 | 0x400, false},  // XP x64 and 2003 R2 only
    {"win8", 0x80000, true},                                         // newer systems match the high bits
    {"win8", kNinexOnly, false},
};

TEST(VersionCheck, OlderSystemsReportedByWine)
{
    for (const SystemCase& c : kSystemCases) {
        const std::string name = std::string("setup-on-") + c.wineVersion + (c.accepted ? "-ok" : "-refused");
        SCOPED_TRACE(name);
        const std::string folder = FreshFolder("version-" + name);
        ProductSpec product;
        product.osMask = c.packageMask;
        const std::string setup = BuildSetup(folder, product);
        const std::string engine = PlaceEngineCopy(folder, name + ".exe");
        WineVersionSetting version(name + ".exe", c.wineVersion);

        const std::vector<BoxStep> script =
            c.accepted ? kDeclineUninstall : std::vector<BoxStep>{{Answer::Ok}, {Answer::Ok}};
        RunResult run = RunProgram({engine, {"-u", "-srcInstaller", setup}, false, {}, script});

        if (c.accepted)
            ExpectAccepted(run);
        else
            ExpectRefused(run, name + ".exe", kRefusal, kUninstallFailed);
    }
}

}  // namespace

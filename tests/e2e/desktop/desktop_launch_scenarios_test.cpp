// Launch commands of a machine-wide installation on newer systems: the
// engine puts a shortcut on the user's desktop and double-clicks its icon, so
// that the desktop shell starts the program. fake-shell is that shell here;
// the user's desktop folder points into the test's own folder for the run.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/harness/test_context.h"
#include "tests/e2e/desktop/fake_shell_bench.h"
#include "tests/e2e/install/install_package.h"

namespace {

using namespace desktop_bench;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kInstalled[] = "Installed properly.";
const char kInstallFailed[] = "It couldn't be installed properly.";
const char kLaunch[] = "bin\\probe.exe launched.txt";
constexpr POINT kCursorBefore = {901, 707};

class DesktopLaunch : public ::testing::Test {
protected:
    void SetUp() override
    {
        work_ = FreshFolder("desktop-" + TestName());
        desktop_ = work_ + "\\Desktop";
        CreateDirectoryA(desktop_.c_str(), nullptr);
        CreateDirectoryA((work_ + "\\user").c_str(), nullptr);
        CreateDirectoryA((work_ + "\\user\\Temp").c_str(), nullptr);
        folder_ = work_ + "\\Product";
        CreateDirectoryA(folder_.c_str(), nullptr);
        desktopFolder_ = std::make_unique<DesktopFolderOverride>(desktop_);
    }
    void TearDown() override
    {
        desktopFolder_.reset();
        for (const std::string& name : products_) {
            SHDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallKey + name).c_str());
            SHDeleteKeyA(HKEY_CURRENT_USER, (kUninstallKey + name).c_str());
        }
    }

    std::string ProductName(const std::string& label)
    {
        products_.push_back("Desk " + label);
        return products_.back();
    }

    ProductSpec Product(const std::string& name)
    {
        ProductSpec product{.englishName = name};
        const std::string probe = ReadFileBytes(BuildTreePath("tests\\e2e\\install\\command-probe.exe"));
        cabwriter::Member member = MemberOf("bin\\probe.exe");
        member.data.assign(probe.begin(), probe.end());
        product.members = {member};
        product.launchCommands = {{kLaunch, 0}};
        return product;
    }

    // The engine, copied under a name of its own so that Wine reports the
    // given Windows version to it alone.
    RunResult Run(const ProductSpec& product, const std::string& version, std::vector<std::string> options,
                  std::vector<BoxStep> script, const std::string& engineSource = EnginePath(), DWORD timeoutMs = 60000)
    {
        const std::string engineName = "desktop-" + version + ".exe";
        const std::string engine = work_ + "\\" + engineName;
        EXPECT_TRUE(CopyFileA(engineSource.c_str(), engine.c_str(), FALSE));
        WineVersionSetting setting(engineName, version);
        const std::string setup = BuildSetup(work_, product);
        options.insert(options.begin(), {"-SetDir", folder_});
        options.push_back("-srcInstaller");
        options.push_back(setup);
        const std::string temp = work_ + "\\user\\Temp";
        SetCursorPos(kCursorBefore.x, kCursorBefore.y);
        RunSpec spec{engine, options, false, {{"TEMP", temp}, {"TMP", temp}}, std::move(script)};
        spec.timeoutMs = timeoutMs;
        return RunProgram(spec);
    }

    std::string Shortcut(const std::string& name) const { return desktop_ + "\\" + name + ".lnk"; }
    std::string ShellLog() const { return work_ + "\\shell.log"; }

    std::string work_, desktop_, folder_;
    std::vector<std::string> products_;
    std::unique_ptr<DesktopFolderOverride> desktopFolder_;
};

void ExpectInstalledBox(const RunResult& run, const std::string& name)
{
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    EXPECT_FALSE(run.timedOut) << "the engine did not end by itself";
    ASSERT_GE(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), name);
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), kInstalled);
}

void ExpectCursorBack()
{
    POINT cursor = {};
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, kCursorBefore.x);
    EXPECT_EQ(cursor.y, kCursorBefore.y);
}

// Where each line stands in the log; -1 when it is not there.
int Position(const std::vector<std::string>& log, const std::string& line)
{
    auto found = std::find(log.begin(), log.end(), line);
    return found == log.end() ? -1 : static_cast<int>(found - log.begin());
}

struct OpenCase {
    const char* label;
    const char* version;
    bool arranging;
};

void PrintTo(const OpenCase& c, std::ostream* out)
{
    *out << c.label;
}

class DesktopOpen : public DesktopLaunch, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(DesktopOpen, ShortcutIsFoundDoubleClickedAndRemoved)
{
    const OpenCase& c = GetParam();
    const std::string name = ProductName(c.label);
    // A shortcut whose name merely contains the product's comes first; the
    // exact name wins over it.
    ASSERT_TRUE(WriteFileBytes(desktop_ + "\\" + name + " (old).lnk", "not a link"));
    FakeShell shell(FakeShellPath(), ShellLog(), c.arranging ? "arrange" : "");
    ASSERT_TRUE(shell.ready());

    RunResult run = Run(Product(name), c.version, {"-ForceAdmin"}, {{Answer::Ok}});

    ExpectInstalledBox(run, name);
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_TRUE(WaitFor(folder_ + "\\launched.txt", 10000)) << "the shell started the program";
    EXPECT_FALSE(FileExists(Shortcut(name))) << "the shortcut goes once it was opened";
    EXPECT_TRUE(FileExists(desktop_ + "\\" + name + " (old).lnk"));
    ExpectCursorBack();

    Sleep(500);  // the shell notices the removal
    const std::vector<std::string> log = shell.Log();
    const int added = Position(log, "add " + name);
    const int opened = Position(log, "open " + name);
    const int removed = Position(log, "remove " + name);
    EXPECT_GE(added, 0);
    EXPECT_GT(opened, added);
    EXPECT_GT(removed, opened);
    EXPECT_EQ(Position(log, "open " + name + " (old)"), -1) << "only the exact name is opened";
    EXPECT_EQ(LinesStartingWith(log, "dblclk ").size(), 1u);
    EXPECT_EQ(LinesStartingWith(log, "key ").size(), 0u) << "an uncovered icon gets no keys";

    // Placed where it was, before and after the click.
    const std::vector<std::string> moves = LinesStartingWith(log, "move " + name + " ");
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0], moves[1]);
    const std::vector<std::string> styles = LinesStartingWith(log, "style ");
    if (c.arranging) {
        ASSERT_EQ(styles.size(), 2u);
        unsigned long before = 0, off = 0, off2 = 0, on = 0;
        ASSERT_EQ(sscanf(styles[0].c_str(), "style %lx %lx", &before, &off), 2);
        ASSERT_EQ(sscanf(styles[1].c_str(), "style %lx %lx", &off2, &on), 2);
        EXPECT_EQ(before & ~0x100ul, off) << "switched off, every other bit kept";
        EXPECT_NE(before & 0x100ul, 0ul);
        EXPECT_EQ(on, before) << "switched on again";
        EXPECT_LT(Position(log, styles[0]), Position(log, moves[0]));
        EXPECT_GT(Position(log, styles[1]), opened);
    } else {
        EXPECT_TRUE(styles.empty()) << "auto-arrange was off and stays untouched";
    }
    const std::string launched = ReadFileBytes(folder_ + "\\launched.txt");
    EXPECT_NE(launched.find("folder=" + folder_ + "\n"), std::string::npos) << launched;
}

INSTANTIATE_TEST_SUITE_P(Versions, DesktopOpen,
                         ::testing::Values(OpenCase{"vista", "vista", false}, OpenCase{"win7", "win7", false},
                                           OpenCase{"vista-arranged", "vista", true},
                                           OpenCase{"win7-arranged", "win7", true}),
                         [](const ::testing::TestParamInfo<OpenCase>& info) {
                             std::string label = info.param.label;
                             std::replace(label.begin(), label.end(), '-', '_');
                             return label;
                         });

TEST_F(DesktopLaunch, CoveredIconGetsShowDesktopBeforeAndAfter)
{
    const std::string name = ProductName("Covered");
    FakeShell shell(FakeShellPath(), ShellLog(), "cover");
    ASSERT_TRUE(shell.ready());

    RunResult run = Run(Product(name), "win7", {"-ForceAdmin"}, {{Answer::Ok}});

    ExpectInstalledBox(run, name);
    EXPECT_TRUE(WaitFor(folder_ + "\\launched.txt", 10000));
    EXPECT_FALSE(FileExists(Shortcut(name)));
    ExpectCursorBack();
    const std::vector<std::string> log = shell.Log();
    const int hidden = Position(log, "showdesktop hidden");
    const int opened = Position(log, "open " + name);
    const int shown = Position(log, "showdesktop shown");
    EXPECT_GE(hidden, 0);
    EXPECT_GT(opened, hidden);
    EXPECT_GT(shown, opened);
    // Windows key down, D down, D up, Windows key up, twice.
    const std::vector<std::string> chord = {"key 91 down", "key 68 down", "key 68 up", "key 91 up"};
    std::vector<std::string> keys = LinesStartingWith(log, "key ");
    std::vector<std::string> twice = chord;
    twice.insert(twice.end(), chord.begin(), chord.end());
    EXPECT_EQ(keys, twice);
}

TEST_F(DesktopLaunch, WithoutShellTheShortcutStaysAndTheLaunchSucceeds)
{
    const std::string name = ProductName("No Shell");

    RunResult run = Run(Product(name), "vista", {"-ForceAdmin"}, {{Answer::Ok}});

    ExpectInstalledBox(run, name);
    EXPECT_EQ(run.boxes.size(), 1u) << "no failure message";
    EXPECT_TRUE(FileExists(Shortcut(name)));
    EXPECT_FALSE(FileExists(folder_ + "\\launched.txt"));
    // The shortcut starts the program with its arguments, in the install folder.
    SHELLEXECUTEINFOA execute = {sizeof execute};
    execute.fMask = SEE_MASK_NOCLOSEPROCESS;
    const std::string link = Shortcut(name);
    execute.lpFile = link.c_str();
    execute.nShow = SW_SHOWNORMAL;
    ASSERT_TRUE(ShellExecuteExA(&execute));
    EXPECT_TRUE(WaitFor(folder_ + "\\launched.txt", 10000));
    if (execute.hProcess != nullptr) {
        WaitForSingleObject(execute.hProcess, 10000);
        CloseHandle(execute.hProcess);
    }
    DeleteFileA(link.c_str());
}

TEST_F(DesktopLaunch, ProductNameThatIsNoFileNameFailsTheLaunch)
{
    const std::string name = ProductName("Maker") + "\\Tool";
    FakeShell shell(FakeShellPath(), ShellLog(), "");
    ASSERT_TRUE(shell.ready());

    RunResult run = Run(Product(name), "win7", {"-ForceAdmin"}, {{Answer::Ok}, {Answer::Ok}});

    ExpectInstalledBox(run, name);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[1].Text(CP_UTF8), kInstallFailed);
    EXPECT_TRUE(ListFolder(desktop_).empty());
    EXPECT_FALSE(FileExists(folder_ + "\\launched.txt"));
}

// The shipped engine is a 32-bit program and the shell of a 64-bit system a
// 64-bit one: the item records the engine writes into the shell's process
// must be laid out for the shell. Slow where 32-bit Wine is emulated.
TEST_F(DesktopLaunch, ShippedThirtyTwoBitEngineOpensTheIconOfASixtyFourBitShell)
{
    const std::string shipped = WindowsPath(ENGINE_SOURCE_DIR "/dist/installer.exe");
    ASSERT_TRUE(FileExists(shipped)) << "the shipped engine dist/installer.exe is missing; make builds it";
    const std::string name = ProductName("Shipped");
    FakeShell shell(FakeShellPath(), ShellLog(), "arrange");
    ASSERT_TRUE(shell.ready());

    RunResult run = Run(Product(name), "win7", {"-ForceAdmin"}, {{Answer::Ok}}, shipped, 600000);

    ExpectInstalledBox(run, name);
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_TRUE(WaitFor(folder_ + "\\launched.txt", 10000)) << "the shell started the program";
    EXPECT_FALSE(FileExists(Shortcut(name)));
    ExpectCursorBack();
    const std::vector<std::string> log = shell.Log();
    EXPECT_GT(Position(log, "open " + name), Position(log, "add " + name));
    EXPECT_EQ(LinesStartingWith(log, "style ").size(), 2u);
    const std::vector<std::string> moves = LinesStartingWith(log, "move " + name + " ");
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0], moves[1]);
}

struct DirectCase {
    const char* label;
    const char* version;
    bool forceAdmin;
};

void PrintTo(const DirectCase& c, std::ostream* out)
{
    *out << c.label;
}

class DirectStart : public DesktopLaunch, public ::testing::WithParamInterface<DirectCase> {};

TEST_P(DirectStart, ProgramStartsWithoutShortcut)
{
    const DirectCase& c = GetParam();
    const std::string name = ProductName(c.label);
    FakeShell shell(FakeShellPath(), ShellLog(), "");
    ASSERT_TRUE(shell.ready());
    std::vector<std::string> options;
    if (c.forceAdmin)
        options.push_back("-ForceAdmin");

    RunResult run = Run(Product(name), c.version, options, {{Answer::Ok}});

    ExpectInstalledBox(run, name);
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_TRUE(WaitFor(folder_ + "\\launched.txt", 10000));
    EXPECT_TRUE(ListFolder(desktop_).empty());
    const std::vector<std::string> log = shell.Log();
    EXPECT_TRUE(LinesStartingWith(log, "add ").empty());
    EXPECT_TRUE(LinesStartingWith(log, "down ").empty()) << "nothing was clicked";
}

INSTANTIATE_TEST_SUITE_P(Systems, DirectStart,
                         ::testing::Values(DirectCase{"winxp_forced", "winxp", true},
                                           DirectCase{"win7_unforced", "win7", false},
                                           DirectCase{"vista_unforced", "vista", false}),
                         [](const ::testing::TestParamInfo<DirectCase>& info) { return info.param.label; });

}  // namespace

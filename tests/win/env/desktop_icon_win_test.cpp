// The desktop icon operations one at a time, against the test's own desktop
// shell (fake-shell) in another process: the list view found through its
// window chain, item texts and positions read through the shell's memory,
// icons moved, the auto-arrange style switched, icons double-clicked and the
// show-desktop chord pressed; and everything without a shell.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "env/desktop_icon.h"
#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/desktop/fake_shell_bench.h"

namespace {

using namespace desktop_bench;

// Icons in this order: the shell adds them sorted by name.
const char* const kIcons[] = {"Alpha", "Beta Tool", "Gamma Tool", "Zeta"};

class DesktopIcons : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        work_ = FreshFolder("desktop-icons-" + name);
        const std::string desktop = work_ + "\\Desktop";
        CreateDirectoryA(desktop.c_str(), nullptr);
        for (const char* icon : kIcons)
            ASSERT_TRUE(WriteFileBytes(desktop + "\\" + icon + ".lnk", "no link"));
        desktopFolder_ = std::make_unique<DesktopFolderOverride>(desktop);
    }

    void StartShell(const std::string& options)
    {
        shell_ = std::make_unique<FakeShell>(FakeShellPath(), work_ + "\\shell.log", options);
        ASSERT_TRUE(shell_->ready());
        ASSERT_NE(FindDesktopListView(), nullptr);
    }

    std::string work_;
    std::unique_ptr<DesktopFolderOverride> desktopFolder_;
    std::unique_ptr<FakeShell> shell_;
};

TEST_F(DesktopIcons, NothingWithoutAShell)
{
    EXPECT_EQ(FindDesktopListView(), nullptr);
    int x = 7, y = 7;
    EXPECT_EQ(FindDesktopIcon("Alpha", &x, &y), 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(SetDesktopIconPosition("Alpha", 10, 10), 0);
    EXPECT_EQ(IsDesktopAutoArrange(), 0);
    SetDesktopAutoArrange(1);
    EXPECT_EQ(OpenDesktopIcon("Alpha"), 0);
}

TEST_F(DesktopIcons, ItemsAreMatchedThroughTheShellsMemory)
{
    StartShell("");
    HWND listView = FindDesktopListView();
    char className[64] = "";
    GetClassNameA(GetParent(listView), className, sizeof className);
    EXPECT_STREQ(className, "SHELLDLL_DefView");
    GetClassNameA(GetParent(GetParent(listView)), className, sizeof className);
    EXPECT_STREQ(className, "Progman");

    // Known places for the icons, set with a message that carries no pointer.
    for (int i = 0; i < 4; ++i)
        SendMessageA(listView, LVM_SETITEMPOSITION, static_cast<WPARAM>(i), MAKELPARAM(100 + 150 * i, 40 + 30 * i));

    const struct {
        const char* name;
        int index;  // -1: not found
    } cases[] = {
        {"alpha", 0},                               // the whole text in another case
        {"ZETA", 3},      {"Tool", 2},              // the last text that contains it
        {"beta", 1},                                // the only text that contains it
        {"Beta Tool", 1}, {"Delta", -1}, {"", -1},  // no icon has an empty text
    };
    for (const auto& c : cases) {
        int index = -5;
        DesktopPoint position = {-1, -1};
        EXPECT_EQ(FindListViewItem(listView, c.name, &index, &position), c.index >= 0) << c.name;
        if (c.index < 0) {
            EXPECT_EQ(index, 0) << c.name;
            continue;
        }
        EXPECT_EQ(index, c.index) << c.name;
        const POINT expected = {100 + 150 * c.index, 40 + 30 * c.index};
        EXPECT_EQ(position.x, expected.x) << c.name;
        EXPECT_EQ(position.y, expected.y) << c.name;
        int x = -1, y = -1;
        EXPECT_EQ(FindDesktopIcon(c.name, &x, &y), 1);
        EXPECT_EQ(x, expected.x);
        EXPECT_EQ(y, expected.y);
    }
}

TEST_F(DesktopIcons, IconsMoveAndStayWhereTheyWere)
{
    StartShell("");
    int x = 0, y = 0;
    ASSERT_EQ(FindDesktopIcon("Zeta", &x, &y), 1);
    EXPECT_EQ(SetDesktopIconPosition("Zeta", x, y), 1);
    int sameX = -1, sameY = -1;
    ASSERT_EQ(FindDesktopIcon("Zeta", &sameX, &sameY), 1);
    EXPECT_EQ(sameX, x);
    EXPECT_EQ(sameY, y);

    EXPECT_EQ(SetDesktopIconPosition("Zeta", 300, 200), 1);
    ASSERT_EQ(FindDesktopIcon("Zeta", &x, &y), 1);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 200);
    EXPECT_EQ(SetDesktopIconPosition("Delta", 300, 200), 0);
    const std::vector<std::string> moves = LinesStartingWith(shell_->Log(), "move ");
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[1], "move Zeta 300 200");
}

TEST_F(DesktopIcons, AutoArrangeSwitchesOnlyItsBit)
{
    StartShell("arrange");
    HWND listView = FindDesktopListView();
    const LONG style = GetWindowLongA(listView, GWL_STYLE);
    ASSERT_NE(style & LVS_AUTOARRANGE, 0);
    EXPECT_EQ(IsDesktopAutoArrange(), 1);
    SetDesktopAutoArrange(1);
    EXPECT_EQ(GetWindowLongA(listView, GWL_STYLE), style);
    SetDesktopAutoArrange(0);
    EXPECT_EQ(GetWindowLongA(listView, GWL_STYLE), style & ~LVS_AUTOARRANGE);
    EXPECT_EQ(IsDesktopAutoArrange(), 0);
    SetDesktopAutoArrange(0);
    EXPECT_EQ(GetWindowLongA(listView, GWL_STYLE), style & ~LVS_AUTOARRANGE);
    SetDesktopAutoArrange(1);
    EXPECT_EQ(GetWindowLongA(listView, GWL_STYLE), style);
}

TEST_F(DesktopIcons, OpenDoubleClicksTheIconAndPutsTheCursorBack)
{
    StartShell("");
    HWND listView = FindDesktopListView();
    int x = 0, y = 0;
    ASSERT_EQ(FindDesktopIcon("Beta", &x, &y), 1);
    EXPECT_FALSE(IsIconCovered(listView, AimPointOf({x, y})));
    SetCursorPos(600, 500);

    EXPECT_EQ(OpenDesktopIcon("Beta"), 1);

    POINT cursor = {};
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 600);
    EXPECT_EQ(cursor.y, 500);
    const std::vector<std::string> log = shell_->Log();
    EXPECT_EQ(LinesStartingWith(log, "open "), std::vector<std::string>{"open Beta Tool"});
    EXPECT_EQ(LinesStartingWith(log, "dblclk ").size(), 1u);
    EXPECT_TRUE(LinesStartingWith(log, "key ").empty());
    EXPECT_EQ(OpenDesktopIcon("Delta"), 0);
}

TEST_F(DesktopIcons, ShowDesktopKeysUncoverTheIcon)
{
    StartShell("cover");
    HWND listView = FindDesktopListView();
    int x = 0, y = 0;
    ASSERT_EQ(FindDesktopIcon("Alpha", &x, &y), 1);
    const DesktopPoint aim = AimPointOf({x, y});
    EXPECT_TRUE(IsIconCovered(listView, aim));

    PressShowDesktopKeys();
    Sleep(500);
    EXPECT_FALSE(IsIconCovered(listView, aim));
    PressShowDesktopKeys();
    Sleep(500);
    EXPECT_TRUE(IsIconCovered(listView, aim));

    const std::vector<std::string> log = shell_->Log();
    EXPECT_EQ(LinesStartingWith(log, "showdesktop "),
              (std::vector<std::string>{"showdesktop hidden", "showdesktop shown"}));
}

}  // namespace

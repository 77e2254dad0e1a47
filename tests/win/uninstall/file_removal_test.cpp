// Removing planted files and folders: attributes, a file held open, folder
// trees that keep what was not recorded, links that are never entered, and
// the current directory stepping out of a folder that goes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/harness/test_context.h"
#include "uninstall/file_removal.h"

namespace {

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class FileRemoval : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveFolderLinks(BuildTreePath("e2e-work\\uninstall-" + TestName()));
        work_ = FreshFolder("uninstall-" + TestName());
        GetCurrentDirectoryA(sizeof saved_, saved_);
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(saved_);
        RemoveFolderLinks(work_);
    }

    std::string Plant(const std::string& relative, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
    {
        const std::string path = work_ + "\\" + relative;
        for (size_t at = relative.find('\\'); at != std::string::npos; at = relative.find('\\', at + 1))
            CreateDirectoryA((work_ + "\\" + relative.substr(0, at)).c_str(), nullptr);
        EXPECT_TRUE(WriteFileBytes(path, "planted " + relative));
        EXPECT_TRUE(SetFileAttributesA(path.c_str(), attributes));
        return path;
    }

    std::string work_;
    char saved_[MAX_PATH] = "";
};

TEST_F(FileRemoval, ReadOnlyAndHiddenFilesAreDeleted)
{
    const std::string plain = Plant("plain.txt");
    const std::string readOnly = Plant("readonly.txt", FILE_ATTRIBUTE_READONLY);
    const std::string hidden = Plant("hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const std::string both = Plant("both.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    for (const std::string& path : {plain, readOnly, hidden, both}) {
        EXPECT_EQ(RemovePath(path.c_str()), 1) << path;
        EXPECT_FALSE(FileExists(path)) << path;
    }
    EXPECT_EQ(RemovePath((work_ + "\\never-there.txt").c_str()), 1) << "a missing file counts as removed";
    EXPECT_EQ(RemovePath((work_ + "\\no-folder\\x.txt").c_str()), 1);
}

TEST_F(FileRemoval, FolderGoesWithEverythingInIt)
{
    Plant("tree\\a.txt");
    Plant("tree\\sub\\b.txt", FILE_ATTRIBUTE_READONLY);
    Plant("tree\\sub\\deeper\\c.txt", FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryA((work_ + "\\tree\\empty").c_str(), nullptr);
    ASSERT_TRUE(SetFileAttributesA((work_ + "\\tree\\sub").c_str(), FILE_ATTRIBUTE_READONLY));
    Plant("beside.txt");

    EXPECT_EQ(RemovePath((work_ + "\\tree").c_str()), 1);

    EXPECT_FALSE(FileExists(work_ + "\\tree"));
    EXPECT_EQ(ListFolder(work_), std::vector<std::string>{"beside.txt"});
}

TEST_F(FileRemoval, FileHeldOpenStaysAndFailsTheFolderButTheRestGoes)
{
    Plant("tree\\a.txt");
    const std::string locked = Plant("tree\\locked.txt");
    Plant("tree\\z.txt");
    HANDLE held = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    const int result = RemovePath((work_ + "\\tree").c_str());
    CloseHandle(held);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(ListFolder(work_ + "\\tree"), std::vector<std::string>{"locked.txt"});
}

TEST_F(FileRemoval, EmptyFolderTreeKeepsEveryFolderAboveAFile)
{
    CreateDirectoryA((work_ + "\\install").c_str(), nullptr);
    CreateDirectoryA((work_ + "\\install\\empty").c_str(), nullptr);
    CreateDirectoryA((work_ + "\\install\\empty\\emptier").c_str(), nullptr);
    ASSERT_TRUE(SetFileAttributesA((work_ + "\\install\\empty\\emptier").c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string kept = Plant("install\\data\\user\\notes.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryA((work_ + "\\install\\data\\cache").c_str(), nullptr);

    EXPECT_EQ(RemoveEmptyFolderTree((work_ + "\\install").c_str()), 0);

    EXPECT_EQ(ListFolder(work_ + "\\install"), std::vector<std::string>{"data"});
    EXPECT_EQ(ListFolder(work_ + "\\install\\data"), std::vector<std::string>{"user"});
    EXPECT_EQ(ReadFileBytes(kept), "planted install\\data\\user\\notes.txt");
    EXPECT_EQ(GetFileAttributesA(kept.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u)
        << "read-only and hidden are cleared on files that stay as well";

    DeleteFileA(kept.c_str());
    EXPECT_EQ(RemoveEmptyFolderTree((work_ + "\\install").c_str()), 1);
    EXPECT_FALSE(FileExists(work_ + "\\install"));
    EXPECT_EQ(RemoveEmptyFolderTree((work_ + "\\install").c_str()), 1) << "a missing folder counts as removed";
    EXPECT_EQ(RemoveEmptyFolderTree(Plant("file.txt").c_str()), 0);
    EXPECT_TRUE(FileExists(work_ + "\\file.txt")) << "no file is deleted";
}

// Wine cannot delete a symbolic link to a folder, so there the link stays and
// the removal reports it; on Windows the link goes. Either way nothing behind
// the link is touched, and the result says whether anything stayed.
TEST_F(FileRemoval, FolderLinksAreNeverEntered)
{
    const std::string outside = Plant("outside\\precious.txt");
    Plant("outside\\deeper\\more.txt");
    Plant("tree\\own.txt");
    ASSERT_TRUE(MakeFolderLink(work_ + "\\tree\\link", work_ + "\\outside"));
    ASSERT_TRUE(MakeFolderLink(work_ + "\\toplink", work_ + "\\outside"));

    const int treeResult = RemovePath((work_ + "\\tree").c_str());
    const int linkResult = RemovePath((work_ + "\\toplink").c_str());
    const int emptyResult = RemoveEmptyFolderTree((work_ + "\\tree").c_str());

    EXPECT_EQ(ReadFileBytes(outside), "planted outside\\precious.txt");
    EXPECT_EQ(ReadFileBytes(work_ + "\\outside\\deeper\\more.txt"), "planted outside\\deeper\\more.txt");
    EXPECT_FALSE(FileExists(work_ + "\\tree\\own.txt"));
    EXPECT_EQ(treeResult, FileExists(work_ + "\\tree") ? 0 : 1);
    EXPECT_EQ(linkResult, FileExists(work_ + "\\toplink") ? 0 : 1);
    EXPECT_EQ(emptyResult, FileExists(work_ + "\\tree") ? 0 : 1);
    if (FileExists(work_ + "\\tree"))
        EXPECT_EQ(ListFolder(work_ + "\\tree"), std::vector<std::string>{"link"});
}

TEST_F(FileRemoval, RemovingTheCurrentFolderStepsOutToItsParent)
{
    const std::string folder = work_ + "\\current";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));

    EXPECT_EQ(RemoveFolder(folder.c_str()), 1);

    EXPECT_FALSE(IsFolder(folder));
    char now[MAX_PATH];
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_STRCASEEQ(now, work_.c_str());
}

TEST_F(FileRemoval, StepOutOfFolderMovesOnlyWhenInsideThatFolder)
{
    const std::string a = work_ + "\\a", b = work_ + "\\b";
    CreateDirectoryA(a.c_str(), nullptr);
    CreateDirectoryA(b.c_str(), nullptr);
    char now[MAX_PATH];

    ASSERT_TRUE(SetCurrentDirectoryA(b.c_str()));
    StepOutOfFolder(a.c_str());
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_STRCASEEQ(now, b.c_str());

    std::string upper = a;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(SetCurrentDirectoryA(a.c_str()));
    StepOutOfFolder(upper.c_str());
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_STRCASEEQ(now, work_.c_str());

    StepOutOfFolder((work_ + "\\missing").c_str());
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_STRCASEEQ(now, work_.c_str());
}

}  // namespace

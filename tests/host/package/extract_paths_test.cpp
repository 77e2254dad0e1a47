#include <gtest/gtest.h>

#include <string>

#include "package/extract_paths.h"
#include "text/text_scan.h"

namespace {

struct SplitCase {
    std::string folder;
    std::string root;
    std::string rest;
};

const SplitCase kInstallFolderCases[] = {
    {"C:\\Apps\\Tool", "C:\\", "Apps\\Tool"},
    {"C:\\Tool", "C:\\", "Tool"},
    {"C:\\", "C:\\", ""},  // a bare drive root: nothing to make
    {"\\\\srv\\share\\Apps\\Tool", "\\\\srv\\share\\", "Apps\\Tool"},
    {"\\\\srv\\share\\", "\\\\srv\\share\\", ""},
    {"\\\\srv\\share", "\\\\srv\\share", ""},
    {"\\\\srv", "\\\\srv", ""},
    {"\\\\srv\\\\x", "\\\\srv\\\\x", ""},  // no share name
    {"\\Apps\\Tool", "\\", "Apps\\Tool"},  // the current drive's root
    {"Apps\\Tool", "", "Apps\\Tool"},      // relative: below the current folder
    {"C:Tool", "", "C:Tool"},
    {"C:\\\x95\x5C\\x", "C:\\", "\x95\x5C\\x"},
    {"\\\\s\x95\x5C\\share\\x", "\\\\s\x95\x5C\\share\\", "x"},  // 0x5C inside the server name
};

TEST(ExtractPaths, InstallFolderSplitsIntoRootAndRest)
{
    UseCodePage(932);
    for (const SplitCase& c : kInstallFolderCases) {
        char root[512] = "?";
        char rest[512] = "?";
        ASSERT_TRUE(SplitInstallFolder(c.folder.c_str(), root, sizeof root, rest, sizeof rest)) << c.folder;
        EXPECT_EQ(root, c.root) << c.folder;
        EXPECT_EQ(rest, c.rest) << c.folder;
    }
}

TEST(ExtractPaths, FilePathSplitsAfterItsLastBackslash)
{
    UseCodePage(932);
    const SplitCase cases[] = {
        {"C:\\t\\IL1.tmp", "C:\\t\\", "IL1.tmp"},
        {"IL1.tmp", "", "IL1.tmp"},
        {"C:\\t\\\x95\x5C.tmp", "C:\\t\\", "\x95\x5C.tmp"},
        {"C:\\\x95\x5C\\c.tmp", "C:\\\x95\x5C\\", "c.tmp"},
    };
    for (const SplitCase& c : cases) {
        char folder[512] = "?";
        char name[512] = "?";
        ASSERT_TRUE(SplitFilePath(c.folder.c_str(), folder, sizeof folder, name, sizeof name));
        EXPECT_EQ(folder, c.root) << c.folder;
        EXPECT_EQ(name, c.rest) << c.folder;
    }
}

TEST(ExtractPaths, PartsThatDoNotFitLeaveBothEmpty)
{
    char root[4] = "?";
    char rest[4] = "?";
    EXPECT_FALSE(SplitInstallFolder("C:\\Apps", root, sizeof root, rest, sizeof rest));
    EXPECT_STREQ(root, "");
    EXPECT_STREQ(rest, "");
    EXPECT_FALSE(SplitFilePath("C:\\long\\x", root, sizeof root, rest, sizeof rest));
    EXPECT_STREQ(root, "");
    EXPECT_STREQ(rest, "");
}

}  // namespace

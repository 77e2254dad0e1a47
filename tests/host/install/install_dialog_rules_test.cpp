#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "install/install_dialog_rules.h"
#include "text/text_scan.h"

namespace {

TEST(InstallDialogRules, ProductFolderNameIsTheLastComponent)
{
    UseCodePage(932);
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Program Files\\Tool", "Tool"},
        {"C:\\Program Files\\Tool\\", ""},  // a trailing backslash: browsing will append nothing
        {"Tool", ""},
        {"C:\\\x95\x5C", "\x95\x5C"},
        {"C:\\a\x95\x5C", "a\x95\x5C"},
    };
    for (const auto& [folder, name] : cases) {
        char out[512] = "?";
        ProductFolderNameOf(folder, out, sizeof out);
        EXPECT_STREQ(out, name) << folder;
    }
}

struct AppendCase {
    std::string folder;
    std::string name;
    std::string result;
    bool changed;
};

const AppendCase kAppendCases[] = {
    {"X:\\Apps", "Tool", "X:\\Apps\\Tool", true},
    {"X:\\Apps\\", "Tool", "X:\\Apps\\Tool", true},
    {"X:\\", "Tool", "X:\\Tool", true},  // a drive root
    {"X:\\Apps\\Tool", "Tool", "X:\\Apps\\Tool", false},
    {"X:\\Apps\\TOOL", "Tool", "X:\\Apps\\TOOL", false},      // letter case ignored
    {"X:\\Apps\\Tool\\", "tool", "X:\\Apps\\Tool\\", false},  // the backslash is put back
    {"X:\\Tools", "Tool", "X:\\Tools\\Tool", true},
    {"Apps", "Tool", "Apps\\Tool", true},
    {"Tool", "tool", "Tool", false},
    {"X:\\Apps", "", "X:\\Apps", false},
    {"", "Tool", "", false},
    // Trail bytes are part of their character: 0x83 0x41 and 0x83 0x61 differ.
    {"X:\\\x83\x41", "\x83\x61", "X:\\\x83\x41\\\x83\x61", true},
    {"X:\\\x83\x41", "\x83\x41", "X:\\\x83\x41", false},
    {"X:\\\x95\x5C", "\x95\x5C", "X:\\\x95\x5C", false},
};

TEST(InstallDialogRules, AppendProductFolderNameUnlessAlreadyThere)
{
    UseCodePage(932);
    for (const AppendCase& c : kAppendCases) {
        char folder[512];
        strcpy(folder, c.folder.c_str());
        EXPECT_EQ(AppendProductFolderName(folder, c.name.c_str()), c.changed) << c.folder << " + " << c.name;
        EXPECT_EQ(folder, c.result) << c.folder << " + " << c.name;
    }
}

TEST(InstallDialogRules, AppendThatWouldNotFitLeavesTheFolder)
{
    std::string longFolder = "X:\\" + std::string(502, 'a');  // 505 bytes
    char folder[512];
    strcpy(folder, longFolder.c_str());
    EXPECT_TRUE(AppendProductFolderName(folder, "Tool1"));  // 505 + 1 + 5 = 511
    strcpy(folder, longFolder.c_str());
    EXPECT_FALSE(AppendProductFolderName(folder, "Tool12"));
    EXPECT_EQ(folder, longFolder);
}

TEST(InstallDialogRules, ProgressPositionRoundsAndClamps)
{
    struct {
        uint32_t installed, total;
        int position;
    } const cases[] = {
        {0, 0, 0},         {5, 0, 0},  // no total: no position
        {0, 100, 0},       {1, 3, 3333},      {2, 3, 6667},           {1, 20000, 1},
        {1, 20001, 0},  // 0.5 rounds up, just below does not
        {100, 100, 10000}, {150, 100, 10000}, {UINT32_MAX, 1, 10000}, {UINT32_MAX, UINT32_MAX, 10000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressPosition(c.installed, c.total), c.position) << c.installed << " of " << c.total;
}

TEST(InstallDialogRules, ProgressPositionOfProductsFromTwoGiBOn)
{
    constexpr uint32_t k2GiB = 0x80000000u;
    struct {
        uint32_t installed, total;
        int position;
    } const cases[] = {
        {k2GiB / 4, k2GiB - 1, 2500},
        {k2GiB / 4, k2GiB, 2500},
        {k2GiB / 2, k2GiB + 1, 5000},
        {k2GiB - 1, k2GiB, 10000},
        {k2GiB / 2 + k2GiB / 4, k2GiB, 7500},
        {1u << 20, k2GiB, 5},     // 4.88 of 10000
        {429496, UINT32_MAX, 1},  // 0.99999
        {214748, UINT32_MAX, 0},  // 0.49999
        {k2GiB, UINT32_MAX, 5000},
        {k2GiB + k2GiB / 2, UINT32_MAX, 7500},
        {UINT32_MAX / 10000 * 9999, UINT32_MAX, 9999},
        {UINT32_MAX - 1, UINT32_MAX, 10000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressPosition(c.installed, c.total), c.position) << c.installed << " of " << c.total;
}

TEST(InstallDialogRules, ProgressGrowsSteadilyUpToFourGiB)
{
    // Every hundredth of the total moves the bar by 100 positions, give or
    // take the rounding, from the start to the end of the largest product.
    for (const uint32_t total : {0x7FFFFFFFu, 0x80000000u, 0xC0000000u, UINT32_MAX}) {
        const uint32_t step = total / 100;
        int previous = ProgressPosition(0, total);
        EXPECT_EQ(previous, 0);
        for (uint32_t installed = step; installed <= total - step; installed += step) {
            const int position = ProgressPosition(installed, total);
            EXPECT_GE(position - previous, 99) << installed << " of " << total;
            EXPECT_LE(position - previous, 101) << installed << " of " << total;
            previous = position;
        }
        EXPECT_GE(previous, 9900) << total;
        EXPECT_EQ(ProgressPosition(total, total), 10000) << total;
    }
}

TEST(InstallDialogRules, InstalledBytesStopAtFourGiBInsteadOfWrapping)
{
    struct {
        uint32_t installed, byteCount, sum;
    } const cases[] = {
        {0, 0, 0},
        {0, 5, 5},
        {0x7FFFFFFFu, 1, 0x80000000u},  // past the signed range
        {0x80000000u, 0x7FFFFFFFu, UINT32_MAX},
        {0x80000000u, 0x80000000u, UINT32_MAX},  // would wrap to 0
        {UINT32_MAX - 5, 6, UINT32_MAX},
        {UINT32_MAX, UINT32_MAX, UINT32_MAX},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddInstalledBytes(c.installed, c.byteCount), c.sum) << c.installed << " + " << c.byteCount;
}

}  // namespace

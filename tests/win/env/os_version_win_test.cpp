// The version query under the Windows versions that Wine can report, set per
// program name (HKCU\Software\Wine\AppDefaults\<name>\Version).
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>

#include "env/os_version.h"
#include "tests/win/env/env_probe_runner.h"

namespace {

struct WineVersionCase {
    const char* setting;  // Wine's name of the version; empty for its default
    // What Wine reports for a 64-bit program, the code that follows from it
    // and the system's bits in a package's mask of versions.
    unsigned platform, major, minor, productType;
    int code;
    unsigned long mask;
};

const WineVersionCase kWineVersionCases[] = {
    {"win95", 1, 4, 0, 0, 17, 0x2},      {"win98", 1, 4, 10, 0, 18, 0x4},  {"winme", 1, 4, 90, 0, 19, 0x8},
    {"nt40", 2, 4, 0, 1, 34, 0x20},      {"win2k", 2, 5, 0, 1, 35, 0x40},  {"winxp", 2, 5, 1, 1, 36, 0x80},
    {"win2003", 2, 5, 2, 3, 37, 0x100},                                     // a server without R2
    {"vista", 2, 6, 0, 1, 41, 0x1000},                                      // workstation on a 64-bit system
    {"win2008", 2, 6, 0, 3, 42, 0x2000}, {"win7", 2, 6, 1, 3, 43, 0x4000},  // Wine reports a server here
    {"win8", 2, 6, 2, 1, 47, 0xFFFF0},   // no known version: every NT bit and the newer ones
    {"win10", 2, 6, 2, 1, 47, 0xFFFF0},  // as Windows does for programs without a manifest
    {"", 2, 6, 1, 1, 45, 0x10000},       // Wine's default: Windows 7, 64-bit
};

TEST(QueryOsVersionCode, UnderEveryWineVersion)
{
    for (const WineVersionCase& c : kWineVersionCases) {
        SCOPED_TRACE(c.setting);
        std::istringstream report(RunEnvProbe(c.setting, "version"));
        unsigned platform = 0, major = 0, minor = 0, productType = 0;
        int extendedOk = 0, is64Bit = 0, code = -1;
        unsigned long mask = 0;
        report >> platform >> major >> minor >> productType >> extendedOk >> is64Bit >> code >> mask;
        ASSERT_FALSE(report.fail()) << "the probe gave no report";
        EXPECT_EQ(platform, c.platform);
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
        if (c.platform == 2)
            EXPECT_EQ(productType, c.productType);
        EXPECT_EQ(is64Bit, extendedOk) << "a 64-bit prefix, whenever the extended query answers";
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(mask, c.mask) << std::hex << mask;
    }
}

TEST(QueryOsVersionCode, ThisProcessAgreesWithTheProbe)
{
    std::istringstream report(RunEnvProbe("", "version"));
    std::string skip;
    int code = -1;
    for (int i = 0; i < 6; ++i)
        report >> skip;
    report >> code;
    EXPECT_EQ(QueryOsVersionCode(), code);
    EXPECT_EQ(IsSystem64Bit(1), 1);
    EXPECT_EQ(IsSystem64Bit(0), 0) << "without the extended query nothing is asked";
}

TEST(RunningOsMask, FollowsTheCode)
{
    // Wine's default, Windows 7 on a 64-bit system.
    ASSERT_EQ(QueryOsVersionCode(), 45);
    EXPECT_EQ(RunningOsMask(), 0x10000u);
}

}  // namespace

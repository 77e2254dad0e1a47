#include <gtest/gtest.h>

#include "tests/host/common/shift_jis.h"

#include <string>

#include "env/os_version_table.h"

namespace {

// What the probes answer in one case, and whether they were asked.
struct ProbeScript {
    bool serverR2;
    bool is64Bit;
    int serverR2Asked = 0;
    int is64BitAsked = 0;
};

bool ScriptedServerR2(void* context)
{
    auto* script = static_cast<ProbeScript*>(context);
    ++script->serverR2Asked;
    return script->serverR2;
}

bool Scripted64Bit(void* context)
{
    auto* script = static_cast<ProbeScript*>(context);
    ++script->is64BitAsked;
    return script->is64Bit;
}

struct VersionCase {
    uint32_t platform, major, minor;
    bool workstation, serverR2, is64Bit;
    int code;
    bool asksR2, asks64;  // which probes the row needs
};

// Every row of the version table, with the neighbours of its bounds.
constexpr VersionCase kVersionCases[] = {
    // 9x family
    {1, 3, 95, true, false, false, 16, false, false},
    {1, 0, 0, true, false, false, 16, false, false},
    {1, 4, 0, true, false, false, 17, false, false},  // Windows 95
    {1, 4, 9, true, false, false, 17, false, false},
    {1, 4, 10, true, false, false, 18, false, false},  // Windows 98
    {1, 4, 89, true, false, false, 18, false, false},
    {1, 4, 90, true, false, false, 19, false, false},  // Windows Me
    {1, 4, 255, true, false, false, 19, false, false},
    {1, 5, 0, true, false, true, 20, false, false},
    // NT family
    {2, 0, 0, true, false, false, 32, false, false},
    {2, 2, 5, true, false, false, 32, false, false},
    {2, 3, 51, true, false, false, 33, false, false},
    {2, 4, 0, true, false, false, 34, false, false},
    {2, 5, 0, true, false, true, 35, false, false},   // 2000 Professional
    {2, 5, 0, false, false, true, 35, false, false},  // 2000 Server
    {2, 5, 1, true, false, true, 36, false, false},   // XP
    {2, 5, 2, false, false, false, 37, true, false},  // Server 2003
    {2, 5, 2, false, false, true, 37, true, false},   // 64-bit server: no workstation, no 64-bit test
    {2, 5, 2, true, false, false, 37, true, true},    // 32-bit workstation 5.2
    {2, 5, 2, false, true, false, 38, true, false},   // Server 2003 R2
    {2, 5, 2, true, true, true, 38, true, false},     // R2 wins over the XP x64 test
    {2, 5, 2, true, false, true, 39, true, true},     // XP x64
    {2, 5, 3, true, false, true, 46, false, false},
    {2, 5, 99, false, false, false, 46, false, false},
    {2, 6, 0, true, false, false, 40, false, true},    // Vista
    {2, 6, 0, true, false, true, 41, false, true},     // Vista 64-bit
    {2, 6, 0, false, false, false, 42, false, false},  // Server 2008
    {2, 6, 0, false, false, true, 42, false, false},   // 64-bit Server 2008: no 64-bit code
    {2, 6, 1, false, false, true, 43, false, false},   // Server 2008 R2
    {2, 6, 1, true, false, false, 44, false, true},    // Windows 7
    {2, 6, 1, true, false, true, 45, false, true},     // Windows 7 64-bit
    {2, 6, 2, true, false, true, 47, false, false},    // Windows 8
    {2, 6, 3, false, false, false, 47, false, false},
    {2, 10, 0, true, false, true, 47, false, false},  // Windows 10
    // neither family
    {0, 4, 0, true, false, false, 0, false, false},  // Win32s
    {3, 6, 1, true, false, false, 0, false, false},
};

TEST(OsVersionCodeOf, EveryRowOfTheTable)
{
    for (const VersionCase& c : kVersionCases) {
        ProbeScript script{c.serverR2, c.is64Bit};
        const OsVersionProbes probes = {ScriptedServerR2, Scripted64Bit, &script};
        const OsVersionReport report = {c.platform, c.major, c.minor, c.workstation};
        SCOPED_TRACE(testing::Message() << c.platform << "/" << c.major << "." << c.minor << " workstation "
                                        << c.workstation << " R2 " << c.serverR2 << " 64-bit " << c.is64Bit);
        EXPECT_EQ(OsVersionCodeOf(report, probes), c.code);
        EXPECT_EQ(script.serverR2Asked, c.asksR2 ? 1 : 0);
        EXPECT_EQ(script.is64BitAsked, c.asks64 ? 1 : 0);
    }
}

// The mask of each identified system is pinned by the Wine tests, per
// version Wine can report (tests/win/env/os_version_win_test.cpp). Here: the
// codes no table row gives, and codes no system has, count as every NT system.
constexpr int kCodesWithoutBits[] = {kUnknownOsVersion, 32, 46, 47, -1, 15, 21, 31, 48};

TEST(RunningOsMaskOf, CodesWithoutBitsMatchEveryNtSystem)
{
    for (int code : kCodesWithoutBits)
        EXPECT_EQ(RunningOsMaskOf(code), kOsMaskNtFamily) << code;
}

TEST(RunningOsMaskOf, IdentifiedSystemsHaveBitsOfTheirFamilyOnly)
{
    for (int code = 16; code <= 20; ++code) {
        EXPECT_NE(RunningOsMaskOf(code), 0u) << code;
        EXPECT_EQ(RunningOsMaskOf(code) & ~kOsMask9xFamily, 0u) << code;
    }
    for (int code = 33; code <= 45; ++code) {
        EXPECT_NE(RunningOsMaskOf(code), 0u) << code;
        EXPECT_EQ(RunningOsMaskOf(code) & ~kOsMaskNtFamily, 0u) << code;
        EXPECT_EQ(RunningOsMaskOf(code) & kOsMaskNewer, 0u) << code << ": the newer bits are for unknown systems";
    }
}

TEST(IsArchitecture64Bit, ArchitectureValues)
{
    // PROCESSOR_ARCHITECTURE_INTEL 0 ... IA32_ON_WIN64 10, ARM64 12, UNKNOWN 0xFFFF.
    const bool expected[] = {false, false, false, false, false, false, true, true, false, true, true, false, false};
    for (uint32_t architecture = 0; architecture < std::size(expected); ++architecture)
        EXPECT_EQ(IsArchitecture64Bit(architecture), expected[architecture]) << architecture;
    EXPECT_FALSE(IsArchitecture64Bit(0xFFFF));
}

TEST(OsRefusalText, BothLanguages)
{
    EXPECT_STREQ(OsRefusalText(false), "It can't be installed in this OS.");
    EXPECT_EQ(OsRefusalText(true), ToShiftJis("このOSへのインストールには対応いたしておりません。"));
}

}  // namespace

// cabtool.exe as Windows runs it: device names are refused and nothing is
// written, and in a Japanese system's code page a Shift-JIS trail byte 0x5C
// stays part of its character.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/bench/scenario.h"
#include "tests/host/cab/cab_builder.h"

namespace {

std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Extracts a one-folder cabinet of these members into the folder's "out".
DWORD Extract(const std::string& folder, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members,
              bool japanese)
{
    EXPECT_TRUE(WriteFileBytes(folder + "\\in.cab", Text(BuildCabinet(StoredCabinet(members)))));
    RunSpec spec;
    spec.program = WindowsPath(CABTOOL_PATH);
    spec.arguments = {"extract", "in.cab", "out"};
    spec.japanese = japanese;
    spec.currentFolder = folder;
    const RunResult run = RunProgram(spec);
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(run.failures.empty());
    return run.exitCode;
}

bool IsEmptyOrMissing(const std::string& folder)
{
    return GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES || ListFolder(folder).empty();
}

TEST(CabtoolWin, DeviceNamesAreErrorsAndNothingIsWritten)
{
    for (const char* name : {"nul.txt", "AUX.txt", "sub\\con", "CONOUT$", "com1.log", "lpt9", "a.txt:stream"}) {
        const std::string folder = FreshFolder("cabtool-devices");
        const DWORD exitCode = Extract(folder, {{"good.txt", Pattern(30, 1)}, {name, Pattern(40, 2)}}, false);
        EXPECT_EQ(1u, exitCode) << name;
        EXPECT_TRUE(IsEmptyOrMissing(folder + "\\out")) << name;
    }
    const std::string folder = FreshFolder("cabtool-devices");
    ASSERT_EQ(0u, Extract(folder, {{"good.txt", Pattern(30, 1)}, {"sub\\console.txt", Pattern(40, 2)}}, false));
    EXPECT_EQ(Text(Pattern(30, 1)), ReadFileBytes(folder + "\\out\\good.txt"));
    EXPECT_EQ(Text(Pattern(40, 2)), ReadFileBytes(folder + "\\out\\sub\\console.txt"));
}

TEST(CabtoolWin, ShiftJisNamesKeepTheirTrailBytesJapanese)
{
    ASSERT_EQ(932u, GetACP());
    const std::string folder = FreshFolder("cabtool-japanese");
    const std::string hyou = "\x95\x5C";  // 表, trail byte 0x5C
    ASSERT_EQ(0u, Extract(folder, {{hyou + ".txt", Pattern(30, 3)}, {hyou + "\\\x8E\xA6.txt", Pattern(40, 4)}}, true));
    EXPECT_EQ(Text(Pattern(30, 3)), ReadFileBytes(folder + "\\out\\" + hyou + ".txt"));
    EXPECT_EQ(Text(Pattern(40, 4)), ReadFileBytes(folder + "\\out\\" + hyou + "\\\x8E\xA6.txt"));
}

}  // namespace

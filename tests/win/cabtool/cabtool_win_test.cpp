// cabtool.exe as Windows runs it: device names are refused and nothing is
// written, in a Japanese system's code page a Shift-JIS trail byte 0x5C
// stays part of its character, and extracted files keep their members'
// times and attributes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
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

// Each file gets its member's read-only, hidden, system and archive bits and
// no others (Wine shows the archive bit on every file), and the member's stamp (local time) as its last-write time; a
// second extraction replaces the read-only and hidden files.
TEST(CabtoolWin, FilesKeepTheirMembersTimesAndAttributes)
{
    struct {
        const char* name;
        uint16_t date, time, attributes;
        DWORD expected;
    } cases[] = {
        {"archive.txt", 21 << 9 | 2 << 5 | 3, 4 << 11 | 5 << 5 | 3, 0x20, FILE_ATTRIBUTE_ARCHIVE},
        {"readonly.txt", 30 << 9 | 12 << 5 | 24, 12 << 11, 0x21, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
        {"hidden.txt", 44 << 9 | 7 << 5 | 31, 23 << 11 | 59 << 5 | 29, 0x02, FILE_ATTRIBUTE_HIDDEN},
        {"system.txt", 10 << 9 | 6 << 5 | 15, 8 << 11, 0x04 | 0x40 | 0x80,
         FILE_ATTRIBUTE_SYSTEM},  // 0x40, 0x80: no file bits
        {"plain.txt", 15 << 9 | 1 << 5 | 1, 0, 0x00, 0},
    };
    const std::string folder = FreshFolder("cabtool-stamps");
    const RawCabinet cabinet = StampedCabinet(cases);
    ASSERT_TRUE(WriteFileBytes(folder + "\\in.cab", Text(BuildCabinet(cabinet))));
    for (int round = 0; round < 2; ++round) {
        RunSpec spec;
        spec.program = WindowsPath(CABTOOL_PATH);
        spec.arguments = {"extract", "in.cab", "out"};
        spec.currentFolder = folder;
        const RunResult run = RunProgram(spec);
        ASSERT_TRUE(run.started);
        ASSERT_EQ(0u, run.exitCode) << "round " << round;
        for (const auto& c : cases) {
            const std::string path = folder + "\\out\\" + c.name;
            WIN32_FILE_ATTRIBUTE_DATA data;
            ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << c.name;
            // Wine marks every file archive, so there only the other bits tell.
            constexpr DWORD kToldBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL;
            EXPECT_EQ(c.expected & kToldBits, data.dwFileAttributes & kToldBits) << c.name;
            if (c.expected & FILE_ATTRIBUTE_ARCHIVE)
                EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE) << c.name;
            FILETIME local;
            WORD date = 0, time = 0;
            ASSERT_TRUE(FileTimeToLocalFileTime(&data.ftLastWriteTime, &local));
            ASSERT_TRUE(FileTimeToDosDateTime(&local, &date, &time));
            EXPECT_EQ(c.date, date) << c.name;
            EXPECT_EQ(c.time, time) << c.name;
        }
    }
    for (const auto& c : cases)
        SetFileAttributesA((folder + "\\out\\" + c.name).c_str(), FILE_ATTRIBUTE_NORMAL);
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

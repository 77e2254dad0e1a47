#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "install/folder_placeholder_rules.h"
#include "setup/arguments.h"

namespace {

// Reads an argument file written with the given bytes; frees the entries.
std::vector<std::string> ReadEntries(const std::string& bytes, int capacity = kMaxArguments)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("args-" + std::to_string(::getpid()) + ".param");
    std::ofstream(path, std::ios::binary) << bytes;
    std::vector<char*> entries(static_cast<size_t>(capacity) + 1, nullptr);
    int count = -1;
    ReadArgumentFile(&count, entries.data(), capacity, path.c_str());
    std::filesystem::remove(path);
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i) {
        result.emplace_back(entries[static_cast<size_t>(i)]);
        free(entries[static_cast<size_t>(i)]);
    }
    return result;
}

using Lines = std::vector<std::string>;

struct FileCase {
    const char* name;
    std::string bytes;
    Lines entries;
};

const FileCase kFileCases[] = {
    {"three lines with CR LF",
     "E:\\Setup\\setup.exe\r\n-SetDir\r\nD:\\Apps\\Temp\\Prod\r\n",
     {"E:\\Setup\\setup.exe", "-SetDir", "D:\\Apps\\Temp\\Prod"}},
    {"a carriage return inside a line", "ab\rcd\n", {"ab"}},
    {"no trailing line feed", "a\nb", {"a", "b"}},
    {"empty lines are entries", "a\n\n\nb\n", {"a", "", "", "b"}},
    {"lines are not trimmed", " -JustExec\n", {" -JustExec"}},
    {"quotes stay", "\"C:\\a b\"\n", {"\"C:\\a b\""}},
    {"a lead byte before a line feed is an ordinary byte", "\x95\nx\n", {"\x95", "x"}},
    {"Ctrl+Z ends the file as in text mode",
     "a\nb\x1A"
     "c\nd\n",
     {"a", "b"}},
    {"empty file", "", {}},
};

TEST(ReadArgumentFile, Cases)
{
    for (const FileCase& c : kFileCases)
        EXPECT_EQ(ReadEntries(c.bytes), c.entries) << c.name;
}

TEST(ReadArgumentFile, LongLinesArriveInPiecesOf1023Bytes)
{
    const std::string line(1500, 'x');
    EXPECT_EQ(ReadEntries(line + "\r\nnext\r\n"), (Lines{std::string(1023, 'x'), std::string(477, 'x'), "next"}));
}

TEST(ReadArgumentFile, LineEndSplitAcrossPiecesReadsAsText)
{
    // 1022 bytes and CR LF: the pair reads as one line feed, so the piece is
    // 1023 bytes long and holds the whole line.
    const std::string line(1022, 'y');
    EXPECT_EQ(ReadEntries(line + "\r\nz\r\n"), (Lines{line, "z"}));
}

TEST(ReadArgumentFile, StopsAtTheCapacity)
{
    std::string bytes;
    for (int i = 0; i < 300; ++i)
        bytes += "line" + std::to_string(i) + "\n";
    const Lines entries = ReadEntries(bytes);
    ASSERT_EQ(entries.size(), 256u);
    EXPECT_EQ(entries.back(), "line255");
}

TEST(ReadArgumentFile, MissingFileGivesNoEntries)
{
    char* entries[4];
    int count = -1;
    ReadArgumentFile(&count, entries, 4, "/nonexistent/folder/x.param");
    EXPECT_EQ(count, 0);
}

std::vector<char*> Vector(std::vector<std::string>& texts)
{
    std::vector<char*> entries;
    for (std::string& text : texts)
        entries.push_back(text.data());
    return entries;
}

TEST(Options, ExactCaseAndNeverEntryZero)
{
    std::vector<std::string> texts = {"-JustExec", "-setdir", "-U", "-ForceAdmin"};
    std::vector<char*> entries = Vector(texts);
    const int count = static_cast<int>(entries.size());
    EXPECT_EQ(HasOption("-JustExec", count, entries.data()), 0);
    EXPECT_EQ(HasOption("-SetDir", count, entries.data()), 0);
    EXPECT_EQ(HasOption("-u", count, entries.data()), 0);
    EXPECT_EQ(HasOption("-ForceAdmin", count, entries.data()), 1);
}

TEST(Options, ValueIsTheNextEntryWhateverItIs)
{
    std::vector<std::string> texts = {"setup.exe", "-SetDir", "-u", "-srcInstaller"};
    std::vector<char*> entries = Vector(texts);
    const int count = static_cast<int>(entries.size());
    char value[kPathSize] = "stale";
    EXPECT_EQ(GetOptionValue("-SetDir", count, entries.data(), value, sizeof value), 1);
    EXPECT_STREQ(value, "-u");
    EXPECT_EQ(HasOption("-u", count, entries.data()), 1);
    EXPECT_EQ(GetOptionValue("-srcInstaller", count, entries.data(), value, sizeof value), 1);
    EXPECT_STREQ(value, "");
    strcpy(value, "stale");
    EXPECT_EQ(GetOptionValue("-ForceUser", count, entries.data(), value, sizeof value), 0);
    EXPECT_STREQ(value, "");
}

TEST(Options, OverlongValueIsRefusedNotCut)
{
    std::vector<std::string> texts = {"setup.exe", "-SetDir", "D:\\" + std::string(600, 'a')};
    std::vector<char*> entries = Vector(texts);
    char value[kPathSize];
    EXPECT_EQ(GetOptionValue("-SetDir", 3, entries.data(), value, sizeof value), 1);
    EXPECT_STREQ(value, "");
}

struct SplitCase {
    std::string argument0;
    const char* folder;
    const char* fileName;
};

const SplitCase kSplitCases[] = {
    {"E:\\Setup\\setup.exe", "E:\\Setup\\", "setup.exe"},
    {"setup.exe", "setup.exe", "setup.exe"},
    {"E:\\\x95\x5C.exe", "E:\\", "\x95\x5C.exe"},  // the pair's 0x5C is no separator
    {"", "", ""},
    {std::string(600, 'a') + "\\x.exe", "", "x.exe"},  // a folder too long for its buffer stays empty
};

TEST(SplitOwnPath, Cases)
{
    for (const SplitCase& c : kSplitCases) {
        char folder[kPathSize] = "stale", fileName[kPathSize] = "stale";
        SplitOwnPath(c.argument0.c_str(), folder, fileName);
        EXPECT_STREQ(folder, c.folder) << c.argument0;
        EXPECT_STREQ(fileName, c.fileName) << c.argument0;
    }
}

struct ModeCase {
    const char* fileName;
    std::vector<std::string> entries;
    int isInstall;
};

TEST(ChooseInstallMode, Cases)
{
    const ModeCase cases[] = {
        {"unquilbex.exe", {"x"}, 0},   {"UNQUILBEX.EXE", {"x"}, 0},
        {"UnQuilBex.Exe", {"x"}, 0},   {"unquilbex.exe.bak", {"x"}, 1},
        {"setup.exe", {"x", "-u"}, 0}, {"setup.exe", {"-u"}, 1},  // entry 0 is never an option
        {"setup.exe", {"x", "-U"}, 1},
    };
    for (ModeCase c : cases) {
        std::vector<char*> entries = Vector(c.entries);
        EXPECT_EQ(ChooseInstallMode(c.fileName, static_cast<int>(entries.size()), entries.data()), c.isInstall)
            << c.fileName;
    }
}

std::vector<std::string> gCreated;
void RecordFolder(const char* path)
{
    gCreated.emplace_back(path);
}

struct RewriteCase {
    std::string path;
    int result;
    std::string rewritten;
    std::vector<std::string> created;
};

TEST(RewriteTempComponents, Cases)
{
    const RewriteCase cases[] = {
        {"D:\\Work\\Temp\\Prod",
         1,
         "D:\\Work\\tteemmppann\\Prod",
         {"D:\\Work\\tteemmppann", "D:\\Work\\tteemmppann\\Prod"}},
        {"D:\\Work\\Prod", 0, "D:\\Work\\Prod", {}},
        {"D:\\Temp", 0, "D:\\Temp", {}},
        {"D:\\Temp\\x", 0, "D:\\Temp\\x", {}},  // the first level is never examined
        {"D:\\", 0, "D:\\", {}},
        {"", 0, "", {}},
        {"\\\\server\\share\\tmp", 1, "\\\\server\\share\\tteemmppann", {"\\\\server\\share\\tteemmppann"}},
        {"D:\\a\\TMP\\b\\temp",
         1,
         "D:\\a\\tteemmppann\\b\\tteemmppann",
         {"D:\\a\\tteemmppann", "D:\\a\\tteemmppann\\b", "D:\\a\\tteemmppann\\b\\tteemmppann"}},
        {"D:\\a\\tmpfiles\\IG1A.tmp", 0, "D:\\a\\tmpfiles\\IG1A.tmp", {}},
        {"D:\\a\\temp\\", 1, "D:\\a\\tteemmppann\\", {"D:\\a\\tteemmppann", "D:\\a\\tteemmppann\\"}},
        {"D:\\\x95\x5Ctemp\\x", 0, "D:\\\x95\x5Ctemp\\x", {}},  // 0x5C inside a pair splits nothing
    };
    for (const RewriteCase& c : cases) {
        gCreated.clear();
        char path[kPathSize];
        strcpy(path, c.path.c_str());
        EXPECT_EQ(RewriteTempComponents(path, sizeof path, "ann", RecordFolder), c.result) << c.path;
        EXPECT_EQ(std::string(path), c.rewritten) << c.path;
        EXPECT_EQ(gCreated, c.created) << c.path;
    }
}

TEST(RewriteTempComponents, ResultTooLongLeavesThePathAndCreatesNothing)
{
    gCreated.clear();
    std::string original = "D:\\" + std::string(490, 'a') + "\\temp\\x";
    char path[kPathSize];
    strcpy(path, original.c_str());
    EXPECT_EQ(RewriteTempComponents(path, sizeof path, "a-rather-long-user-name", RecordFolder), 0);
    EXPECT_EQ(std::string(path), original);
    EXPECT_TRUE(gCreated.empty());
}

TEST(EvaluateOptions, FlagsValuesAndImpliedRunOnly)
{
    std::vector<std::string> texts = {"E:\\setup.exe", "-JustDecomp",   "-SetDir",    "D:\\Apps\\Temp\\Prod",
                                      "-srcInstaller", "E:\\setup.exe", "-ForceUser", "-ForceAdmin"};
    std::vector<char*> entries = Vector(texts);
    RunOptions options{};
    gCreated.clear();
    EvaluateOptions(static_cast<int>(entries.size()), entries.data(), "setup.exe", "ann", RecordFolder, options);
    EXPECT_EQ(options.justDecomp, 1);
    EXPECT_EQ(options.justExec, 1);
    EXPECT_EQ(options.okIfNotAdmin, 0);
    EXPECT_EQ(options.forceAdmin, 1);
    EXPECT_EQ(options.forceUser, 1);
    EXPECT_EQ(options.isInstall, 1);
    EXPECT_STREQ(options.setDir, "D:\\Apps\\tteemmppann\\Prod");
    EXPECT_STREQ(options.srcInstaller, "E:\\setup.exe");
    EXPECT_EQ(gCreated.size(), 2u);
}

struct ValueCase {
    const char* name;
    std::vector<std::string> entries;
    OptionValue log;        // what "-Log" (512-byte buffer) is like
    const char* badOption;  // FindBadOptionValue's answer
};

const std::string kLongPath(kPathSize, 'p');          // one byte more than a path holds
const std::string kLongSource(kSourcePathSize, 's');  // one byte more than the source value holds

const ValueCase kValueCases[] = {
    {"no options", {"E:\\setup.exe"}, OptionValue::Absent, nullptr},
    {"log with a file", {"E:\\setup.exe", "-Log", "D:\\setup.log"}, OptionValue::Given, nullptr},
    {"log as the last entry", {"E:\\setup.exe", "-Silent", "-Log"}, OptionValue::Missing, "-Log"},
    {"log with an empty value", {"E:\\setup.exe", "-Log", "", "-Silent"}, OptionValue::Missing, "-Log"},
    {"log value of 511 bytes fits",
     {"E:\\setup.exe", "-Log", std::string(kPathSize - 1, 'p')},
     OptionValue::Given,
     nullptr},
    {"log value of 512 bytes", {"E:\\setup.exe", "-Log", kLongPath}, OptionValue::TooLong, "-Log"},
    // A value is the next entry whatever it is, as for every option.
    {"log followed by an option", {"E:\\setup.exe", "-Log", "-Silent"}, OptionValue::Given, nullptr},
    {"log in another case is no option", {"E:\\setup.exe", "-log"}, OptionValue::Absent, nullptr},
    {"folder as the last entry", {"E:\\setup.exe", "-SetDir"}, OptionValue::Absent, "-SetDir"},
    {"folder too long", {"E:\\setup.exe", "-SetDir", kLongPath}, OptionValue::Absent, "-SetDir"},
    {"source empty", {"E:\\setup.exe", "-srcInstaller", ""}, OptionValue::Absent, "-srcInstaller"},
    {"source of 1023 bytes fits",
     {"E:\\setup.exe", "-srcInstaller", std::string(kSourcePathSize - 1, 's')},
     OptionValue::Absent,
     nullptr},
    {"source too long", {"E:\\setup.exe", "-srcInstaller", kLongSource}, OptionValue::Absent, "-srcInstaller"},
    {"the log is named first", {"E:\\setup.exe", "-SetDir", "", "-Log"}, OptionValue::Missing, "-Log"},
    {"only the first of two counts", {"E:\\setup.exe", "-Log", "a.log", "-Log"}, OptionValue::Given, nullptr},
};

TEST(OptionValues, MissingAndTooLongValues)
{
    for (const ValueCase& c : kValueCases) {
        std::vector<std::string> texts = c.entries;
        std::vector<char*> entries = Vector(texts);
        const int count = static_cast<int>(entries.size());
        EXPECT_EQ(InspectOptionValue("-Log", count, entries.data(), kPathSize), c.log) << c.name;
        const char* bad = FindBadOptionValue(count, entries.data());
        EXPECT_STREQ(bad != nullptr ? bad : "(none)", c.badOption != nullptr ? c.badOption : "(none)") << c.name;
    }
}

TEST(EvaluateOptions, SilentAndLog)
{
    std::vector<std::string> texts = {"E:\\setup.exe",       "-Silent", "-Log",
                                      "D:\\logs\\setup.log", "-SetDir", "D:\\Apps\\Temp\\Prod"};
    std::vector<char*> entries = Vector(texts);
    RunOptions options{};
    gCreated.clear();
    EvaluateOptions(static_cast<int>(entries.size()), entries.data(), "setup.exe", "ann", RecordFolder, options);
    EXPECT_EQ(options.silent, 1);
    EXPECT_STREQ(options.log, "D:\\logs\\setup.log");
    EXPECT_EQ(options.badOption, nullptr);
    EXPECT_STREQ(options.setDir, "D:\\Apps\\tteemmppann\\Prod");
    EXPECT_EQ(options.isInstall, 1);
}

// A silent run with a bad value goes no further than the log: no folder of
// "-SetDir" is made for a run that ends at once.
TEST(EvaluateOptions, SilentRunWithABadValueStopsBeforeTheFolder)
{
    std::vector<std::string> texts = {"E:\\setup.exe", "-SetDir", "D:\\Apps\\Temp\\Prod", "-Silent",
                                      "-Log",          "x.log",   "-srcInstaller",        ""};
    std::vector<char*> entries = Vector(texts);
    RunOptions options{};
    gCreated.clear();
    EvaluateOptions(static_cast<int>(entries.size()), entries.data(), "setup.exe", "ann", RecordFolder, options);
    EXPECT_EQ(options.silent, 1);
    EXPECT_STREQ(options.badOption, "-srcInstaller");
    EXPECT_STREQ(options.log, "x.log");
    EXPECT_STREQ(options.setDir, "");
    EXPECT_TRUE(gCreated.empty());

    // Without "-Silent" the same values are taken as before.
    texts.erase(texts.begin() + 3);
    entries = Vector(texts);
    RunOptions interactive{};
    EvaluateOptions(static_cast<int>(entries.size()), entries.data(), "setup.exe", "ann", RecordFolder, interactive);
    EXPECT_EQ(interactive.silent, 0);
    EXPECT_STREQ(interactive.badOption, "-srcInstaller");
    EXPECT_STREQ(interactive.setDir, "D:\\Apps\\tteemmppann\\Prod");
    EXPECT_EQ(gCreated.size(), 2u);
}

}  // namespace

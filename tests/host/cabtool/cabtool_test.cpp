// cabtool on Linux, run as a user runs it: what create stores, which member
// names extract writes and how it names them, that it writes nothing before
// the whole cabinet has been checked, and where it looks for the next
// cabinet of a set.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/cab/cab_builder.h"
#include "tests/host/common/scratch_files.h"
#include "tests/host/common/shell_command.h"

namespace {

namespace fs = std::filesystem;

void WriteCabinet(const fs::path& path, const RawCabinet& cabinet)
{
    const std::vector<uint8_t> bytes = BuildCabinet(cabinet);
    WriteAll(path, bytes);
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ToolRun {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

// Runs cabtool in folder; a run that hangs is ended after 30 s (exit 124).
ToolRun Cabtool(const fs::path& folder, const std::vector<std::string>& arguments)
{
    std::string command =
        "cd " + ShellQuoted(folder.string()) + " && timeout 30 " + ENGINE_BINARY_DIR "/tools/cabtool/cabtool";
    for (const std::string& argument : arguments)
        command += " " + ShellQuoted(argument);
    ToolRun run;
    run.exitCode = RunShell(command, run.output);
    return run;
}

bool IsEmptyOrMissing(const fs::path& folder)
{
    return !fs::exists(folder) || fs::is_empty(folder);
}

std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

TEST(CabtoolCreate, InputsThatAreNoReadableFilesAreRefusedByName)
{
    const fs::path folder = EmptyScratchFolder("tests/host/cabtool/scratch", "create");
    fs::create_directories(folder / "folder");
    WriteAll(folder / "folder/inside.txt", "x");
    ASSERT_EQ(0, mkfifo((folder / "pipe").c_str(), 0600));
    fs::create_symlink("/proc/self/mem", folder / "unreadable");  // opens, but reading it fails
    WriteAll(folder / "good.txt", "good");
    struct {
        std::string input;
        const char* message;
    } cases[] = {
        {"folder", "folder: is a folder"},
        {"missing.txt", "missing.txt: cannot be read"},
        {"pipe", "pipe: is no regular file"},
        {"unreadable", "unreadable: cannot be read: Input/output error"},
        {(folder / "good.txt").string(), "the installer would refuse this member name"},
        {"../create/good.txt", "the installer would refuse this member name"},
        {"./good.txt", "the installer would refuse this member name"},
    };
    for (const auto& c : cases) {
        const ToolRun run = Cabtool(folder, {"create", "out.cab", "good.txt", c.input});
        EXPECT_EQ(1, run.exitCode) << c.input << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find(c.message)) << c.input << ": " << run.output;
        EXPECT_FALSE(fs::exists(folder / "out.cab")) << c.input;
    }
    const ToolRun run = Cabtool(folder, {"create", "out.cab", "good.txt", "folder/inside.txt"});
    EXPECT_EQ(0, run.exitCode) << run.output;
    const ToolRun listing = Cabtool(folder, {"list", "out.cab"});
    EXPECT_NE(std::string::npos, listing.output.find("folder\\inside.txt")) << listing.output;
}

// Every name the installer refuses is refused by extract too, and nothing is
// written: not even the good member listed before it.
TEST(CabtoolExtract, NamesTheInstallerRefusesWriteNothing)
{
    struct {
        std::string name;
        const char* shown;  // how the refusal names it
    } cases[] = {
        {"C:\\evil.txt", "C:\\evil.txt"},
        {"C:evil.txt", "C:evil.txt"},
        {"\\rooted.txt", "\\rooted.txt"},
        {"/rooted.txt", "/rooted.txt"},
        {"..\\up.txt", "..\\up.txt"},
        {"sub\\..\\..\\up.txt", "sub\\..\\..\\up.txt"},
        {".. \\x", ".. \\x"},
        {"sub\\\\x", "sub\\\\x"},
        {"sub\\", "sub\\"},
        {"CON", "CON"},
        {"nul.txt", "nul.txt"},
        {"sub\\AUX.txt", "sub\\AUX.txt"},
        {"COM1", "COM1"},
        {"a.txt:stream", "a.txt:stream"},
        {"bell\a.txt", "bell\\x07.txt"},
        {"esc\x1B[31mred.txt", "esc\\x1B[31mred.txt"},
        {"del\x7F.txt", "del\\x7F.txt"},
    };
    const fs::path folder = EmptyScratchFolder("tests/host/cabtool/scratch", "refused");
    for (const auto& c : cases) {
        WriteCabinet(folder / "in.cab", StoredCabinet({{"good.txt", Pattern(50, 1)}, {c.name, Pattern(60, 2)}}));
        fs::remove_all(folder / "out");
        const ToolRun run = Cabtool(folder, {"extract", "in.cab", "out"});
        EXPECT_EQ(1, run.exitCode) << c.shown << ": " << run.output;
        EXPECT_NE(std::string::npos, run.output.find("member '" + std::string(c.shown) + "': the installer refuses"))
            << c.shown << ": " << run.output;
        EXPECT_EQ(std::string::npos, run.output.find('\x1B')) << c.shown;
        EXPECT_TRUE(IsEmptyOrMissing(folder / "out")) << c.shown;
        EXPECT_FALSE(fs::exists(folder / "evil.txt") || fs::exists(folder / "up.txt") || fs::exists("/rooted.txt"))
            << c.shown;
    }
}

TEST(CabtoolExtract, NamesTheInstallerAcceptsAreWrittenBelowTheDestination)
{
    const fs::path folder = EmptyScratchFolder("tests/host/cabtool/scratch", "accepted");
    WriteCabinet(folder / "in.cab", StoredCabinet({{"top.txt", Pattern(10, 1)},
                                                   {"sub\\deeper\\file.txt", Pattern(20, 2)},
                                                   {"sub/slashed.txt", Pattern(30, 3)},
                                                   {"$mask", Pattern(5, 4)},
                                                   {"console\\com10.txt", Pattern(7, 5)}}));  // no device names
    const ToolRun run = Cabtool(folder, {"extract", "in.cab", "out"});
    ASSERT_EQ(0, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("5 members extracted: OK")) << run.output;
    EXPECT_EQ(Text(Pattern(10, 1)), ReadBytes(folder / "out/top.txt"));
    EXPECT_EQ(Text(Pattern(20, 2)), ReadBytes(folder / "out/sub/deeper/file.txt"));
    EXPECT_EQ(Text(Pattern(30, 3)), ReadBytes(folder / "out/sub/slashed.txt"));
    EXPECT_EQ(Text(Pattern(5, 4)), ReadBytes(folder / "out/$mask"));
    EXPECT_EQ(Text(Pattern(7, 5)), ReadBytes(folder / "out/console/com10.txt"));
}

// Each member gets its stamp as modification time (read as local time, here
// under a zone with summer time) and, of its attributes, read-only as the
// absence of write permissions; hidden, system and archive have no place on
// Linux. A stamp that names no day leaves the time of extraction. Extracting
// again replaces the read-only files.
TEST(CabtoolExtract, MembersKeepTheirTimeAndReadOnlyBit)
{
    struct {
        const char* name;
        uint16_t date, time, attributes;
        const char* stamp;  // local time, or nullptr: the time of extraction
        bool readOnly;
    } cases[] = {
        {"plain.txt", 21 << 9 | 2 << 5 | 3, 4 << 11 | 5 << 5 | 3, 0x20, "2001-02-03 04:05:06", false},
        {"summer.txt", 44 << 9 | 7 << 5 | 31, 23 << 11 | 59 << 5 | 29, 0x20, "2024-07-31 23:59:58", false},
        {"readonly.txt", 30 << 9 | 12 << 5 | 24, 12 << 11, 0x21, "2010-12-24 12:00:00", true},
        {"hidden system.txt", 0 << 9 | 1 << 5 | 1, 0, 0x06, "1980-01-01 00:00:00", false},
        {"no day.txt", 0, 0, 0x01, nullptr, true},
        {"month 13.txt", 21 << 9 | 13 << 5 | 1, 0, 0x20, nullptr, false},
    };
    const fs::path folder = EmptyScratchFolder("tests/host/cabtool/scratch", "stamps");
    const RawCabinet cabinet = StampedCabinet(cases);
    WriteCabinet(folder / "in.cab", cabinet);
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    for (int round = 0; round < 2; ++round) {
        const time_t before = time(nullptr);
        const std::string command = "TZ=Europe/Berlin " ENGINE_BINARY_DIR "/tools/cabtool/cabtool extract " +
                                    ShellQuoted((folder / "in.cab").string()) + " " +
                                    ShellQuoted((folder / "out").string()) + " > /dev/null";
        ASSERT_EQ(0, std::system(command.c_str())) << "round " << round;
        for (const auto& c : cases) {
            struct stat status;
            ASSERT_EQ(0, stat((folder / "out" / c.name).c_str(), &status)) << c.name;
            if (c.stamp == nullptr) {
                EXPECT_GE(status.st_mtime, before) << c.name;
            } else {
                char text[32];
                std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&status.st_mtime));
                EXPECT_STREQ(c.stamp, text) << c.name;
            }
            if (c.readOnly)
                EXPECT_EQ(0u, status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) << c.name;
            else
                EXPECT_EQ(unsigned(S_IWUSR), status.st_mode & S_IWUSR) << c.name;
            EXPECT_EQ(unsigned(S_IRUSR), status.st_mode & S_IRUSR) << c.name;
        }
    }
    unsetenv("TZ");
    tzset();
}

// Shift-JIS trail bytes 0x5C are no separators; names become UTF-8.
TEST(CabtoolExtract, NamesAreReadInTheChosenCodePage)
{
    struct {
        std::string name;
        const char* codePage;  // null: the default, 1252
        const char* written;   // null: refused
    } cases[] = {
        {"\x95\x5C.txt", "932", "表.txt"},
        {"\x95\x5C\\\x8E\xA6.txt", "932", "表/示.txt"},
        {"\x83\x5C\x83\x74\x83\x67\\readme.txt", "932", "ソフト/readme.txt"},
        {"caf\xE9.txt", nullptr, "café.txt"},
        {"\x80 10.txt", "1252", "€ 10.txt"},
        {"\x95\x5C.txt", nullptr, "•/.txt"},  // in code page 1252 the 0x5C is a separator
        {"\x81.txt", nullptr, nullptr},       // no character of code page 1252
        {"\x95", "932", nullptr},             // a lead byte without its trail byte
    };
    const fs::path folder = EmptyScratchFolder("tests/host/cabtool/scratch", "code-page");
    for (const auto& c : cases) {
        WriteCabinet(folder / "in.cab", StoredCabinet({{c.name, Pattern(40, 7)}}));
        fs::remove_all(folder / "out");
        std::vector<std::string> arguments = {"extract"};
        if (c.codePage != nullptr)
            arguments.push_back(std::string("--codepage=") + c.codePage);
        arguments.insert(arguments.end(), {"in.cab", "out"});
        const ToolRun run = Cabtool(folder, arguments);
        if (c.written == nullptr) {
            EXPECT_EQ(1, run.exitCode) << c.name << ": " << run.output;
            EXPECT_NE(std::string::npos, run.output.find("is no text of code page")) << run.output;
            EXPECT_TRUE(IsEmptyOrMissing(folder / "out")) << c.name;
            continue;
        }
        EXPECT_EQ(0, run.exitCode) << c.written << ": " << run.output;
        EXPECT_EQ(Text(Pattern(40, 7)), ReadBytes(folder / "out" / c.written)) << c.written;

        arguments[0] = "list";
        arguments.pop_back();
        const ToolRun listing = Cabtool(folder, arguments);
        EXPECT_EQ(0, listing.exitCode) << listing.output;
        std::string shown = c.written;
        for (char& ch : shown)
            ch = ch == '/' ? '\\' : ch;
        EXPECT_NE(std::string::npos, listing.output.find("  " + shown + "\n")) << listing.output;
    }
    // 128 x 'é' are 128 bytes in code page 1252 but 256 in UTF-8: too long for Linux.
    std::string longName;
    for (int i = 0; i < 128; ++i)
        longName += '\xE9';
    WriteCabinet(folder / "in.cab", StoredCabinet({{"a.txt", Pattern(3, 1)}, {longName, Pattern(40, 7)}}));
    fs::remove_all(folder / "out");
    ToolRun run = Cabtool(folder, {"extract", "in.cab", "out"});
    EXPECT_EQ(1, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("the 255 bytes a Linux file name holds")) << run.output;
    EXPECT_TRUE(IsEmptyOrMissing(folder / "out"));
    WriteCabinet(folder / "in.cab", StoredCabinet({{"sub\\" + longName.substr(1), Pattern(40, 7)}}));
    run = Cabtool(folder, {"extract", "in.cab", "out"});
    EXPECT_EQ(0, run.exitCode) << run.output;

    run = Cabtool(folder, {"list", "--codepage=77777", "in.cab"});
    EXPECT_EQ(2, run.exitCode) << run.output;

    // A C1 control character (here from EBCDIC) is escaped like a C0 one.
    WriteCabinet(folder / "in.cab", StoredCabinet({{"\xC1\x20\x4B\xA3\xA7\xA3", Pattern(40, 7)}}));
    for (const char* command : {"list", "test"}) {
        run = Cabtool(folder, {command, "--codepage=37", "in.cab"});
        EXPECT_EQ(0, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos, run.output.find("A\\xC2\\x80.txt\n")) << run.output;
    }
}

TEST(CabtoolExtract, NamedMembersMustBeInTheCabinet)
{
    const fs::path folder = EmptyScratchFolder("tests/host/cabtool/scratch", "named");
    WriteCabinet(folder / "in.cab", StoredCabinet({{"a.txt", Pattern(10, 1)}, {"sub\\b.txt", Pattern(20, 2)}}));
    ToolRun run = Cabtool(folder, {"extract", "in.cab", "out", "a.txt", "no-such"});
    EXPECT_EQ(1, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("no member named 'no-such'")) << run.output;
    EXPECT_TRUE(IsEmptyOrMissing(folder / "out"));

    run = Cabtool(folder, {"extract", "in.cab", "out", "sub/b.txt"});
    EXPECT_EQ(0, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("1 members extracted: OK")) << run.output;
    EXPECT_EQ(Text(Pattern(20, 2)), ReadBytes(folder / "out/sub/b.txt"));
    EXPECT_FALSE(fs::exists(folder / "out/a.txt"));
}

// A damaged cabinet is found out before the first member is written.
TEST(CabtoolExtract, DamageIsFoundBeforeAnythingIsWritten)
{
    const fs::path folder = EmptyScratchFolder("tests/host/cabtool/scratch", "damaged");
    ToolRun run = Cabtool(folder, {"extract", ENGINE_TESTDATA_DIR "/cabs/bad_folderindex.cab", "out"});
    EXPECT_EQ(1, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("CorruptCabinet")) << run.output;
    EXPECT_TRUE(IsEmptyOrMissing(folder / "out"));

    RawCabinet cabinet = StoredCabinet({{"first.txt", Pattern(100, 1)}, {"second.txt", Pattern(100, 2)}}, 100);
    cabinet.folders[0].blocks[1].checksumXor = 1;  // the second member's block is damaged
    WriteCabinet(folder / "in.cab", cabinet);
    run = Cabtool(folder, {"extract", "in.cab", "out"});
    EXPECT_EQ(1, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("at member 'second.txt'")) << run.output;
    EXPECT_TRUE(IsEmptyOrMissing(folder / "out"));
}

// A two-cabinet set whose one member runs on into the second cabinet.
void WriteSet(const fs::path& first, const fs::path& second, const std::string& nextName)
{
    const std::vector<uint8_t> data = Pattern(200, 9);
    for (uint16_t i = 0; i < 2; ++i) {
        RawCabinet c;
        c.index = i;
        c.hasPrevious = i == 1;
        c.previousName = "set1.cab";
        c.hasNext = i == 0;
        c.nextName = nextName;
        RawBlock part;
        part.data.assign(data.begin() + (i == 0 ? 0 : 120), data.begin() + (i == 0 ? 120 : 200));
        part.uncompressedSize = i == 0 ? 0 : 200;
        RawFolder f;
        f.blocks.push_back(part);
        c.folders.push_back(f);
        RawFile member;
        member.name = "spanning.bin";
        member.size = 200;
        member.folderIndex = i == 0 ? 0xFFFE : 0xFFFD;
        c.files.push_back(member);
        WriteCabinet(i == 0 ? first : second, c);
    }
}

// Counts the files opened in a folder while it lives.
class OpenWatch {
public:
    explicit OpenWatch(const fs::path& folder) : fd_(inotify_init1(IN_NONBLOCK))
    {
        EXPECT_GE(inotify_add_watch(fd_, folder.c_str(), IN_OPEN), 0);
    }
    ~OpenWatch() { close(fd_); }
    int Opens() const
    {
        alignas(inotify_event) char buffer[4096];
        int opens = 0;
        for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                opens += (event->mask & IN_OPEN) != 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return opens;
    }

private:
    int fd_;
};

TEST(CabtoolExtract, TheNextCabinetIsLookedUpBesideTheFirstByItsFileName)
{
    const fs::path folder = EmptyScratchFolder("tests/host/cabtool/scratch", "set");
    const fs::path elsewhere = folder / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directories(folder / "set");
    const std::string absolute = (elsewhere / "set2.cab").string();
    for (const std::string& nextName : {absolute, std::string("C:\\cabs\\set2.cab"), std::string("..\\set2.cab"),
                                        std::string("../set2.cab"), std::string("set2.cab")}) {
        // Only a copy elsewhere: the name must not reach it, not even to look.
        WriteSet(folder / "set/set1.cab", elsewhere / "set2.cab", nextName);
        fs::remove_all(folder / "out");
        {
            const OpenWatch watch(elsewhere);
            const ToolRun run = Cabtool(folder, {"extract", "set/set1.cab", "out"});
            EXPECT_EQ(1, run.exitCode) << nextName << ": " << run.output;
            EXPECT_EQ(0, watch.Opens()) << nextName;
        }
        EXPECT_TRUE(IsEmptyOrMissing(folder / "out")) << nextName;

        // Beside the first cabinet it is found.
        WriteSet(folder / "set/set1.cab", folder / "set/set2.cab", nextName);
        const ToolRun run = Cabtool(folder, {"extract", "set/set1.cab", "out"});
        EXPECT_EQ(0, run.exitCode) << nextName << ": " << run.output;
        EXPECT_EQ(Text(Pattern(200, 9)), ReadBytes(folder / "out/spanning.bin")) << nextName;
        fs::remove(folder / "set/set2.cab");
    }
}

}  // namespace

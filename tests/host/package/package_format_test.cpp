// The package format: what the writer of mkpackage lays out, the decoder reads
// back field by field; damaged packages fail cleanly.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "tests/host/package/package_test_support.h"
#include "text/little_endian.h"

namespace {

using mkpackage::CheckRecord;
using mkpackage::CommandRecord;
using mkpackage::PackageContents;
using mkpackage::SettingsBlock;
using mkpackage::ShortcutRecord;

SettingsBlock FullBlock(const std::string& tag)
{
    SettingsBlock block;
    block.productName = tag + " Product";
    block.productVersion = tag + " 2.5";
    block.splashNote = tag + " note";
    block.installFolder = "%ProgramFiles%\\" + tag;
    block.reservedText = tag + " reserved";
    block.osMask = 0x1F0F0;
    block.reservedValue = -7;
    block.justExec = 1;
    block.okIfNotAdmin = 2;
    block.shortcuts = {{tag + " Link", "bin\\app.exe"}, {"", "docs\\readme.txt"}};
    block.checks = {{0, "bin\\app.exe", tag + " missing"}, {1, "AppClass", ""}, {7, "", "inert"}};
    block.installCommands = {{"copy a.ini b.ini", 1}, {"setup.chm", 0}};
    block.uninstallCommands = {{"cleanup.exe /quiet", 1}};
    block.launchCommands = {{"bin\\app.exe --first", 0}, {"", 1}};
    return block;
}

std::vector<uint8_t> Written(const PackageContents& contents)
{
    std::vector<uint8_t> package;
    std::string error;
    EXPECT_TRUE(mkpackage::WritePackage(contents, package, error)) << error;
    return package;
}

PackageContents FullContents()
{
    PackageContents contents;
    contents.japanese = FullBlock("\x93\xFA\x96\x7B");  // 日本 in Shift-JIS
    contents.english = FullBlock("English");
    contents.totalInstallBytes = 0xDEADBEEF;
    contents.cabinet = {'M', 'S', 'C', 'F', 1, 2, 3, 4, 5};
    return contents;
}

bool Decode(const std::vector<uint8_t>& package, PackageSettings& settings, TestHeap& heap)
{
    settings = PackageSettings{};
    return ReadPackageSettings(SourceOf(package), heap.heap(), settings);
}

PackageTrailer TrailerOf(const std::vector<uint8_t>& package)
{
    uint8_t bytes[kTrailerSize];
    memcpy(bytes, package.data() + package.size() - kTrailerSize, kTrailerSize);
    PackageTrailer trailer{};
    DecodeTrailer(bytes, trailer);
    return trailer;
}

TEST(PackageFormat, RoundTripGivesEveryFieldBack)
{
    PackageContents contents = FullContents();
    std::vector<uint8_t> package = Written(contents);
    TestHeap heap;
    PackageSettings settings;
    ASSERT_TRUE(Decode(package, settings, heap));
    ExpectBlockDecoded(contents.japanese, settings.japanese);
    ExpectBlockDecoded(contents.english, settings.english);
    EXPECT_EQ(0xDEADBEEFu, settings.totalInstallBytes);
    EXPECT_EQ(0u, settings.installedBytes);

    EXPECT_EQ(std::string(contents.cabinet.begin(), contents.cabinet.end()), CabinetOf(package));
}

TEST(PackageFormat, EveryListTextIsItsOwnAllocationOfExactSize)
{
    PackageContents contents = FullContents();
    std::vector<uint8_t> package = Written(contents);
    TestHeap heap;
    PackageSettings settings;
    ASSERT_TRUE(Decode(package, settings, heap));
    // Per block: five non-empty arrays, two texts per shortcut and check, one per command.
    size_t perBlock = 5 + 2 * 2 + 2 * 3 + 2 + 1 + 2;
    EXPECT_EQ(2 * perBlock, heap.allocations());
}

// A package laid out by hand, texts before and inside the block, the cabinet
// first: the decoder finds every part through its offset alone.
TEST(PackageFormat, HandAssembledPackageWithPartsInAnyOrder)
{
    std::vector<uint8_t> package(4, 0);  // cabinet "MSCF" scrambled at offset 0
    const uint8_t cabinet[] = {'M', 'S', 'C', 'F'};
    for (int i = 0; i < 4; ++i)
        package[i] = cabinet[i] ^ static_cast<uint8_t>(kCabinetKey >> (8 * i));
    auto addText = [&](const std::string& text) {
        uint32_t offset = static_cast<uint32_t>(package.size());
        for (char c : text)
            package.push_back(static_cast<uint8_t>(c) ^ kTextKey);
        return offset;
    };
    uint32_t name = addText("Tool");
    uint32_t link = addText("Tool Link");
    uint32_t command = addText("tool.exe");

    // Counts 0, 1, 0, 0, 1: the check array starts at 76 and the launch
    // array right behind it, where the empty command arrays would have been.
    std::vector<uint8_t> block(76 + 20 + 12, 0);
    auto ref = [&](size_t at, uint32_t offset, int32_t length) {
        WriteLittleEndian32(&block[at], offset);
        WriteLittleEndian32(&block[at + 4], static_cast<uint32_t>(length));
    };
    ref(0, name, 4);
    ref(8, 0, -3);  // a negative length is an empty text
    WriteLittleEndian32(&block[40], 0x80);
    WriteLittleEndian32(&block[52], 1);
    WriteLittleEndian32(&block[60], 1);
    WriteLittleEndian32(&block[72], 1);
    WriteLittleEndian32(&block[76], 1);  // check kind
    ref(80, link, 9);
    ref(88, link, 4);  // texts may overlap
    ref(96, command, 8);
    WriteLittleEndian32(&block[104], 1);  // wait
    uint32_t blockOffset = static_cast<uint32_t>(package.size());
    package.insert(package.end(), block.begin(), block.end());
    package.resize(package.size() + 5, 0xEE);  // bytes that belong to nothing

    std::vector<uint8_t> trailer(kTrailerSize, 0);
    WriteLittleEndian32(&trailer[0], blockOffset);
    WriteLittleEndian32(&trailer[4], static_cast<uint32_t>(block.size()));
    WriteLittleEndian32(&trailer[8], blockOffset);
    WriteLittleEndian32(&trailer[12], static_cast<uint32_t>(block.size()));
    WriteLittleEndian32(&trailer[16], 1234);
    WriteLittleEndian32(&trailer[20], 0);
    WriteLittleEndian32(&trailer[24], 4);
    memcpy(trailer.data() + 28, "InstBuild\0zzzzzz", 16);  // bytes behind the terminator are ignored
    package.insert(package.end(), trailer.begin(), trailer.end());

    TestHeap heap;
    PackageSettings settings;
    ASSERT_TRUE(Decode(package, settings, heap));
    const SetupInfo& info = settings.english;
    EXPECT_STREQ("Tool", info.productName);
    EXPECT_STREQ("", info.productVersion);
    EXPECT_EQ(0x80, info.osMask);
    EXPECT_EQ(1, info.okIfNotAdmin);
    EXPECT_EQ(0, info.shortcutCount);
    EXPECT_EQ(nullptr, info.shortcuts);
    ASSERT_EQ(1, info.checkCount);
    EXPECT_EQ(1, info.checks[0].kind);
    EXPECT_STREQ("Tool Link", info.checks[0].subject);
    EXPECT_STREQ("Tool", info.checks[0].message);
    EXPECT_EQ(0, info.installCommandCount);
    EXPECT_EQ(nullptr, info.installCommands);
    EXPECT_EQ(nullptr, info.uninstallCommands);
    ASSERT_EQ(1, info.launchCommandCount);
    EXPECT_STREQ("tool.exe", info.launchCommands[0].commandLine);
    EXPECT_EQ(1, info.launchCommands[0].wait);
    EXPECT_EQ(1234u, settings.totalInstallBytes);
}

struct SignatureCase {
    const char bytes[16];
    bool accepted;
};
constexpr SignatureCase kSignatureCases[] = {
    {"InstBuild", true},
    {"INSTBUILD", true},
    {"instbuild", true},
    {"iNsTbUiLd", true},
    {"InstBuild\0junk", true},
    {"InstBuil", false},
    {"InstBuildX", false},
    {"", false},
    {"Inst Build", false},
    {{'I', 'n', 's', 't', 'B', 'u', 'i', 'l', 'd', 'X', 'X', 'X', 'X', 'X', 'X', 'X'}, false},
};

TEST(PackageFormat, SignatureIsComparedAsTextIgnoringCase)
{
    std::vector<uint8_t> base = Written(FullContents());
    for (const SignatureCase& c : kSignatureCases) {
        std::vector<uint8_t> package = base;
        memcpy(package.data() + package.size() - 16, c.bytes, 16);
        TestHeap heap;
        PackageSettings settings;
        EXPECT_EQ(c.accepted, Decode(package, settings, heap)) << c.bytes;
    }
}

TEST(PackageFormat, TextsOfZeroAnd511BytesLoadWhole)
{
    PackageContents contents = FullContents();
    std::string longest(kMaxTextLength, 'x');
    longest[0] = '<';
    longest[kMaxTextLength - 1] = '>';
    contents.english.productName = longest;
    contents.english.productVersion = "";
    contents.english.shortcuts = {{longest, ""}};
    std::vector<uint8_t> package = Written(contents);
    TestHeap heap;
    PackageSettings settings;
    ASSERT_TRUE(Decode(package, settings, heap));
    EXPECT_EQ(longest, std::string(settings.english.productName));
    EXPECT_EQ('\0', settings.english.productName[kTextFieldSize - 1]);
    EXPECT_STREQ("", settings.english.productVersion);
    EXPECT_EQ(longest, std::string(settings.english.shortcuts[0].linkName));
    ASSERT_NE(nullptr, settings.english.shortcuts[0].target);
    EXPECT_STREQ("", settings.english.shortcuts[0].target);
}

TEST(PackageFormat, WriterRefusesTextsLongerThan511Bytes)
{
    PackageContents contents = FullContents();
    contents.japanese.launchCommands[0].commandLine.assign(kMaxTextLength + 1, 'x');
    std::vector<uint8_t> package;
    std::string error;
    EXPECT_FALSE(mkpackage::WritePackage(contents, package, error));
    EXPECT_NE(std::string::npos, error.find("511"));
}

// The package written to a stream, its cabinet read from another a chunk at
// a time, is the package written in memory, for cabinets within and across chunks.
TEST(PackageFormat, StreamedPackageIsThePackageWrittenInMemory)
{
    for (size_t size : {size_t(0), size_t(9), mkpackage::kStreamChunk + 3, 3 * mkpackage::kStreamChunk}) {
        SCOPED_TRACE(size);
        PackageContents contents = FullContents();
        contents.cabinet.resize(size);
        for (size_t i = 0; i < size; ++i)
            contents.cabinet[i] = static_cast<uint8_t>(i * 7 + i / 251);
        std::istringstream cabinet(std::string(contents.cabinet.begin(), contents.cabinet.end()));
        std::ostringstream streamed;
        std::string error;
        ASSERT_TRUE(mkpackage::WritePackage(contents, cabinet, size, streamed, error)) << error;
        std::vector<uint8_t> held = Written(contents);
        EXPECT_TRUE(std::string(held.begin(), held.end()) == streamed.str());
    }
}

TEST(PackageFormat, StreamedPackageRefusesAShortCabinetAndLongTexts)
{
    PackageContents contents = FullContents();
    std::istringstream cabinet(std::string(100, 'c'));
    std::ostringstream streamed;
    std::string error;
    EXPECT_FALSE(mkpackage::WritePackage(contents, cabinet, 101, streamed, error));
    EXPECT_EQ("the cabinet cannot be read back", error);
    contents.english.productName.assign(kMaxTextLength + 1, 'x');
    std::istringstream again(std::string(100, 'c'));
    EXPECT_FALSE(mkpackage::WritePackage(contents, again, 100, streamed, error));
    EXPECT_NE(std::string::npos, error.find("511"));
}

TEST(PackageFormat, EmptyListsGiveCountZeroAndNullArrays)
{
    PackageContents contents = FullContents();
    contents.english = SettingsBlock{};
    contents.english.productName = "Bare";
    std::vector<uint8_t> package = Written(contents);
    TestHeap heap;
    PackageSettings settings;
    ASSERT_TRUE(Decode(package, settings, heap));
    ExpectBlockDecoded(contents.english, settings.english);
    EXPECT_EQ(76u, TrailerOf(package).englishBlockLength);
}

// Offsets inside the Japanese settings block of FullContents' package.
constexpr size_t kProductNameRef = 0;
constexpr size_t kShortcutCount = 56;
constexpr size_t kLaunchCount = 72;
constexpr size_t kFirstShortcut = 76;

struct DamageCase {
    const char* name;
    std::function<void(std::vector<uint8_t>&, const PackageTrailer&)> damage;
};

size_t TrailerAt(const std::vector<uint8_t>& package)
{
    return package.size() - kTrailerSize;
}

const DamageCase kDamageCases[] = {
    {"empty", [](auto& p, auto&) { p.clear(); }},
    {"shorter than a trailer", [](auto& p, auto&) { p.erase(p.begin(), p.end() - 43); }},
    {"trailer cut by one byte", [](auto& p, auto&) { p.pop_back(); }},
    {"signature damaged", [](auto& p, auto&) { p[TrailerAt(p) + 28] = 'X'; }},
    {"block beyond the end", [](auto& p, auto&) { WriteLittleEndian32(&p[TrailerAt(p)], uint32_t(p.size())); }},
    {"block reaches past the end",
     [](auto& p, auto&) { WriteLittleEndian32(&p[TrailerAt(p) + 12], uint32_t(p.size())); }},
    {"block offset and length wrap 32 bits",
     [](auto& p, auto&) {
         WriteLittleEndian32(&p[TrailerAt(p)], 0xFFFFFFF0u);
         WriteLittleEndian32(&p[TrailerAt(p) + 4], 0x100);
     }},
    {"block offset at 2 GiB", [](auto& p, auto&) { WriteLittleEndian32(&p[TrailerAt(p)], 0x80000000u); }},
    {"block length negative", [](auto& p, auto&) { WriteLittleEndian32(&p[TrailerAt(p) + 4], 0xFFFFFFFFu); }},
    {"block shorter than its header", [](auto& p, auto&) { WriteLittleEndian32(&p[TrailerAt(p) + 4], 75); }},
    {"block shorter than its arrays", [](auto& p, auto&) { WriteLittleEndian32(&p[TrailerAt(p) + 4], 76); }},
    {"negative count",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kShortcutCount], 0xFFFFFFFFu);
     }},
    {"huge count",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kLaunchCount], 0x7FFFFFFFu);
     }},
    {"count whose array wraps 32 bits",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kShortcutCount], 0x10000000u);
     }},
    {"text beyond the end",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kProductNameRef], uint32_t(p.size()));
     }},
    {"text longer than 511 bytes",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kProductNameRef + 4], 512);
     }},
    {"text offset and length wrap 32 bits",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kProductNameRef], 0xFFFFFFFFu);
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kProductNameRef + 4], 2);
     }},
    {"text offset at 2 GiB",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kProductNameRef], 0x80000000u);
     }},
    {"list text reaches past the end",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kFirstShortcut], uint32_t(p.size() - 2));
     }},
    {"list text longer than 511 bytes",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.japaneseBlockOffset + kFirstShortcut + 12], 600);
     }},
    {"English block damaged, Japanese intact",
     [](auto& p, const PackageTrailer& t) {
         WriteLittleEndian32(&p[t.englishBlockOffset + kShortcutCount], 0x80000000u);
     }},
    {"English block beyond the end",
     [](auto& p, auto&) { WriteLittleEndian32(&p[TrailerAt(p) + 8], uint32_t(p.size())); }},
};

TEST(PackageFormat, DamagedPackagesFailCleanly)
{
    std::vector<uint8_t> base = Written(FullContents());
    PackageTrailer trailer = TrailerOf(base);
    for (const DamageCase& c : kDamageCases) {
        std::vector<uint8_t> package = base;
        c.damage(package, trailer);
        TestHeap heap;
        PackageSettings settings;
        EXPECT_FALSE(Decode(package, settings, heap)) << c.name;
    }
}

TEST(PackageFormat, CountsStayZeroWhenALaterListFails)
{
    std::vector<uint8_t> package = Written(FullContents());
    PackageTrailer trailer = TrailerOf(package);
    WriteLittleEndian32(&package[trailer.englishBlockOffset + 76 + 16 * 2 + 20 * 3 + 4],
                        0x7FFFFFF0u);  // the install command's text
    TestHeap heap;
    PackageSettings settings;
    ASSERT_FALSE(Decode(package, settings, heap));
    EXPECT_EQ(0, settings.english.shortcutCount);
    EXPECT_EQ(0, settings.english.checkCount);
}

TEST(PackageFormat, ExhaustedHeapFailsEveryLoadCleanly)
{
    std::vector<uint8_t> package = Written(FullContents());
    TestHeap unlimited;
    PackageSettings settings;
    ASSERT_TRUE(Decode(package, settings, unlimited));
    for (size_t allowed = 0; allowed < unlimited.allocations(); ++allowed) {
        TestHeap heap(allowed);
        EXPECT_FALSE(Decode(package, settings, heap)) << allowed;
    }
}

TEST(PackageFormat, CabinetMustLieInsideThePackage)
{
    struct {
        uint32_t offset, length, size;
        bool fits;
    } cases[] = {
        {0, 0, 44, true},
        {0x7FFFFFFF, 0, 44, true},   // an empty stream is never read
        {0, 0x80000000u, 44, true},  // a negative length is an empty stream
        {10, 20, 74, true},
        {10, 21, 30, false},
        {0xFFFFFFF0u, 0x20, 0xFFFFFFFFu, false},
        {0x7FFFFFF0u, 0x20, 0xFFFFFFFFu, false},
    };
    for (const auto& c : cases) {
        PackageTrailer trailer{};
        trailer.cabinetOffset = c.offset;
        trailer.cabinetLength = c.length;
        EXPECT_EQ(c.fits, CabinetFitsPackage(trailer, c.size)) << c.offset << " " << c.length;
    }
}

TEST(PackageFormat, CabinetPiecesOf65536BytesKeepTheKeyPhase)
{
    const uint8_t key[4] = {0xB7, 0x53, 0x1E, 0x6D};
    for (size_t size : {65536u, 65537u}) {
        std::vector<uint8_t> original(size);
        for (size_t i = 0; i < size; ++i)
            original[i] = static_cast<uint8_t>(i * 7 + i / 251);
        std::vector<uint8_t> whole = original;
        ScrambleCabinet(whole.data(), whole.size(), 0);
        for (size_t i = 0; i < size; ++i)
            ASSERT_EQ(original[i] ^ key[i % 4], whole[i]) << i;

        std::vector<uint8_t> pieces = whole;
        for (size_t at = 0; at < size; at += 65536) {
            size_t count = std::min<size_t>(65536, size - at);
            ScrambleCabinet(pieces.data() + at, count, static_cast<uint32_t>(at));
        }
        EXPECT_EQ(original, pieces) << size;
    }
}

TEST(PackageFormat, TextScramblingIsItsOwnInverse)
{
    uint8_t bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<uint8_t>(i);
    ScrambleText(bytes, sizeof bytes);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(i ^ 0xA7, bytes[i]);
    ScrambleText(bytes, sizeof bytes);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(i, bytes[i]);
}

}  // namespace

// The manifest of mkpackage: every setting reaches the package in the code page
// of its block, every limit of the format is an error that names its field,
// and the content folder becomes a cabinet that cabextract unpacks to the
// same bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/host/package/package_test_support.h"
#include "tools/mkpackage/manifest.h"
#include "tools/mkpackage/product_builder.h"
#include "tools/mkpackage/text_conversion.h"
#include "tests/host/common/scratch_files.h"

namespace {

namespace fs = std::filesystem;
using namespace mkpackage;

void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A BMP file: 40-byte header, colour table of (bits <= 8 ? 2^bits : 0) entries.
std::string Bitmap(int32_t width, int32_t height, uint16_t bits)
{
    uint32_t colours = bits <= 8 ? 1u << bits : 0;
    uint32_t rowBytes = (uint32_t(width) * bits + 31) / 32 * 4;
    uint32_t offset = 14 + 40 + 4 * colours;
    uint32_t size = offset + rowBytes * uint32_t(height < 0 ? -height : height);
    std::string bytes(size, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(v >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, size);
    put32(10, offset);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    bytes[26] = 1;
    bytes[28] = static_cast<char>(bits);
    for (size_t i = offset; i < size; ++i)
        bytes[i] = static_cast<char>(i * 13);
    return bytes;
}

// A product folder: manifest, content and splash pictures.
struct Product {
    fs::path folder;
    fs::path manifest;
};

Product MakeProduct(const std::string& name, const std::string& manifestText)
{
    Product product{EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", name), {}};
    product.manifest = product.folder / "manifest.json";
    WriteText(product.manifest, manifestText);
    WriteText(product.folder / "content/bin/app.exe", std::string(70000, 'A') + "end");
    WriteText(product.folder / "content/Readme.txt", "read me\r\n");
    WriteText(product.folder / "content/docs/guide/intro.txt", "");
    WriteText(product.folder / "splash.bmp", Bitmap(40, 20, 8));
    WriteText(product.folder / "mask.bmp", Bitmap(40, 20, 1));
    return product;
}

const char kMinimalProduct[] =
    R"({"content": "content", "english": {"productName": "Tool"}, "japanese": {"productName": "Tool"}})";

const char kFullManifest[] = R"({
    // Comments are allowed.
    "content": "content",
    "splash": {"picture": "splash.bmp", "mask": "mask.bmp"},
    "common": {
        "productVersion": "Version 2.0",
        "osMask": ["win98", "winxp-32", "WIN7"],
        "justExec": false,
        "uninstallCommands": ["cleanup.exe /all"]
    },
    "english": {
        "productName": "Caf\u00e9 Tool",
        "splashNote": "\u20ac 10 \u2013 caf\u00e9",
        "installFolder": "%ProgramFilesOrUser%/Caf\u00e9 Tool",
        "okIfNotAdmin": true,
        "shortcuts": [{"name": "Caf\u00e9 Tool", "target": "bin/app.exe"}],
        "checks": [
            {"requiredFile": "bin\\app.exe", "message": "app.exe is missing"},
            {"runningApplication": "CafeToolClass", "message": ""}
        ],
        "installCommands": [{"command": "copy a.ini b.ini", "wait": true}, "notes.chm"],
        "launchCommands": [{"command": "bin\\app.exe --welcome", "wait": false}]
    },
    "japanese": {
        "productName": "日本語ソフト",
        "productVersion": "バージョン２",
        "installFolder": "C:\\ソフト",
        "osMask": "0x1F0",
        "shortcuts": [{"name": "ソフト", "target": "bin\\app.exe"}],
        "checks": [{"runningApplication": "CafeToolClass", "message": "終了してください～"}],
        "launchCommands": ["bin\\app.exe"]
    }
})";

TEST(Manifest, EverySettingReachesThePackage)
{
    Product product = MakeProduct("full", kFullManifest);
    Diagnostics d;
    Manifest manifest;
    ASSERT_TRUE(ReadManifest(product.manifest, manifest, d)) << d.errors[0];
    std::vector<uint8_t> package;
    BuildSummary summary;
    ASSERT_TRUE(BuildPackage(manifest, package, summary, d)) << d.errors[0];
    EXPECT_TRUE(d.warnings.empty()) << d.warnings[0];

    TestHeap heap;
    PackageSettings settings{};
    ASSERT_TRUE(ReadPackageSettings(SourceOf(package), heap.heap(), settings));
    const SetupInfo& en = settings.english;
    EXPECT_STREQ("Caf\xE9 Tool", en.productName);
    EXPECT_STREQ("Version 2.0", en.productVersion);
    EXPECT_STREQ("\x80 10 \x96 caf\xE9", en.splashNote);
    EXPECT_STREQ("%ProgramFilesOrUser%\\Caf\xE9 Tool", en.installFolder);
    EXPECT_STREQ("", en.reservedText);
    EXPECT_EQ(0x4 | 0x80 | 0x8000 | 0x10000, en.osMask);
    EXPECT_EQ(0, en.justExec);
    EXPECT_EQ(1, en.okIfNotAdmin);
    ASSERT_EQ(1, en.shortcutCount);
    EXPECT_STREQ("Caf\xE9 Tool", en.shortcuts[0].linkName);
    EXPECT_STREQ("bin\\app.exe", en.shortcuts[0].target);
    ASSERT_EQ(2, en.checkCount);
    EXPECT_EQ(0, en.checks[0].kind);
    EXPECT_STREQ("bin\\app.exe", en.checks[0].subject);
    EXPECT_STREQ("app.exe is missing", en.checks[0].message);
    EXPECT_EQ(1, en.checks[1].kind);
    EXPECT_STREQ("CafeToolClass", en.checks[1].subject);
    EXPECT_STREQ("", en.checks[1].message);
    ASSERT_EQ(2, en.installCommandCount);
    EXPECT_STREQ("copy a.ini b.ini", en.installCommands[0].commandLine);
    EXPECT_EQ(1, en.installCommands[0].wait);
    EXPECT_STREQ("notes.chm", en.installCommands[1].commandLine);
    EXPECT_EQ(0, en.installCommands[1].wait);
    ASSERT_EQ(1, en.uninstallCommandCount);
    EXPECT_STREQ("cleanup.exe /all", en.uninstallCommands[0].commandLine);
    ASSERT_EQ(1, en.launchCommandCount);
    EXPECT_STREQ("bin\\app.exe --welcome", en.launchCommands[0].commandLine);

    const SetupInfo& ja = settings.japanese;
    EXPECT_STREQ("\x93\xFA\x96\x7B\x8C\xEA\x83\x5C\x83\x74\x83\x67", ja.productName);     // 日本語ソフト
    EXPECT_STREQ("\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93\x82\x51", ja.productVersion);  // バージョン２
    EXPECT_STREQ("", ja.splashNote);
    EXPECT_STREQ("C:\\\x83\x5C\x83\x74\x83\x67", ja.installFolder);
    EXPECT_EQ(0x1F0, ja.osMask);
    EXPECT_EQ(0, ja.okIfNotAdmin);
    ASSERT_EQ(1, ja.checkCount);
    EXPECT_STREQ("\x8F\x49\x97\xB9\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x60", ja.checks[0].message);
    ASSERT_EQ(1, ja.uninstallCommandCount);  // from "common"
    EXPECT_EQ(0, ja.installCommandCount);

    EXPECT_EQ(70003u + 9u + 0u, settings.totalInstallBytes);
    EXPECT_EQ(3u, summary.files);
    EXPECT_EQ(70012u, summary.bytes);
}

// The cabinet of the package, unscrambled, checked and unpacked by cabextract.
TEST(Manifest, CabinetUnpacksToTheContentWithCabextract)
{
    Product product = MakeProduct("cabinet", kFullManifest);
    Diagnostics d;
    Manifest manifest;
    ASSERT_TRUE(ReadManifest(product.manifest, manifest, d));
    std::vector<uint8_t> package;
    BuildSummary summary;
    ASSERT_TRUE(BuildPackage(manifest, package, summary, d));

    std::string cabinet = CabinetOf(package);
    ASSERT_FALSE(cabinet.empty());
    EXPECT_EQ(summary.cabinetBytes, cabinet.size());
    fs::path cab = product.folder / "product.cab", out = product.folder / "unpacked";
    WriteText(cab, cabinet);
    ASSERT_EQ(0, std::system(("cabextract -q -t " + cab.string() + " > /dev/null").c_str()));
    ASSERT_EQ(0, std::system(("cabextract -q -d " + out.string() + " " + cab.string()).c_str()));

    EXPECT_EQ(ReadText(product.folder / "splash.bmp"), ReadText(out / "$bmp"));
    EXPECT_EQ(ReadText(product.folder / "mask.bmp"), ReadText(out / "$mask"));
    for (const char* file : {"bin/app.exe", "Readme.txt", "docs/guide/intro.txt"})
        EXPECT_EQ(ReadText(product.folder / "content" / file), ReadText(out / file)) << file;
    size_t unpacked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out))
        unpacked += entry.is_regular_file();
    EXPECT_EQ(5u, unpacked);
}

TEST(Manifest, MembersComeInAStableOrderWithTheirDates)
{
    fs::path content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "order") / "content";
    for (const char* name : {"b.txt", "A.txt", "c/z.txt", "c/a.txt", "B2.txt"})
        WriteText(content / name, name);
    Diagnostics d;
    std::vector<ContentFile> files;
    ASSERT_TRUE(ScanContent(content, FileNameEncoding::kAscii, files, d));
    std::vector<std::string> names;
    for (const ContentFile& file : files)
        names.push_back(file.memberName);
    EXPECT_EQ((std::vector<std::string>{"A.txt", "b.txt", "B2.txt", "c\\a.txt", "c\\z.txt"}), names);

    Manifest manifest;
    manifest.content = content;
    manifest.english.productName = manifest.japanese.productName = "Order";
    std::vector<uint8_t> package;
    BuildSummary summary;
    ASSERT_TRUE(BuildPackage(manifest, package, summary, d));
    std::string cabinet = CabinetOf(package);
    ASSERT_FALSE(cabinet.empty());
    fs::path cab = content.parent_path() / "order.cab";
    WriteText(cab, cabinet);
    fs::path listing = content.parent_path() / "listing.txt";
    ASSERT_EQ(0, std::system(("cabextract -l " + cab.string() + " > " + listing.string()).c_str()));
    std::string text = ReadText(listing);
    size_t last = 0;
    for (const char* name : {"A.txt", "b.txt", "B2.txt", "c/a.txt", "c/z.txt"}) {
        size_t at = text.find(" | " + std::string(name) + "\n");
        ASSERT_NE(std::string::npos, at) << name;
        EXPECT_GT(at, last) << name;
        last = at;
    }
    // Dates as cabextract prints them match the files' local modification times.
    struct stat status;
    ASSERT_EQ(0, stat((content / "b.txt").c_str(), &status));
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%d.%m.%Y %H:%M", std::localtime(&status.st_mtime));
    EXPECT_NE(std::string::npos, text.find(stamp)) << text;
}

struct ErrorCase {
    const char* name;
    const char* manifest;  // replaces the marker @ in a minimal manifest
    const char* where;     // expected at the start of an error
    const char* what;      // expected in that error
};

const char kMinimal[] =
    R"({"content": "content", "english": {"productName": "Tool"}, "japanese": {"productName": "Tool"} @})";

const ErrorCase kErrorCases[] = {
    {"invalid JSON", R"({"content": )", "manifest", "no valid JSON"},
    {"number beyond a double", R"({"content": "content", "common": {"osMask": 1e400}})", "manifest", "number overflow"},
    {"unknown key", R"(, "contents": "x")", "contents", "unknown key"},
    {"unknown setting", R"(, "common": {"productname": "x"})", "common.productname", "unknown setting"},
    {"no content", R"({"english": {"productName": "Tool"}})", "content", "must be given"},
    {"name with slash", R"(, "common": {"installFolder": "C:\\x"}, "english": {"productName": "A/B"})",
     "english.productName", "may not contain '/'"},
    {"reserved device name", R"(, "english": {"productName": "Con.txt"})", "english.productName",
     "reserved device name"},
    {"name ending in a dot", R"(, "english": {"productName": "Tool."})", "english.productName", "end with"},
    {"empty name", R"(, "english": {"productName": ""})", "english.productName", "must be given"},
    {"name not in Shift-JIS", R"(, "japanese": {"productName": "Café"})", "japanese.productName",
     "U+00E9 'é' has no form in Shift-JIS"},
    {"name from common not in Shift-JIS", R"(, "common": {"splashNote": "Café"})", "common.splashNote",
     "has no form in Shift-JIS (code page 932) (in the japanese settings)"},
    {"wave dash", R"(, "japanese": {"productName": "A", "splashNote": "1〜2"})", "japanese.splashNote",
     "would read back as U+FF5E"},
    {"yen sign", R"(, "japanese": {"productName": "A", "splashNote": "¥100"})", "japanese.splashNote",
     "would read back as U+005C"},
    {"not in Windows-1252", R"(, "english": {"productName": "A", "splashNote": "日本"})", "english.splashNote",
     "Windows-1252"},
    {"control character", R"(, "english": {"productName": "A", "splashNote": "a\u0001b"})", "english.splashNote",
     "control character U+0001"},
    {"text of 512 bytes", nullptr, "english.productVersion", "512 bytes long in Windows-1252"},
    {"Japanese text of 512 bytes", nullptr, "japanese.productVersion", "512 bytes long in Shift-JIS"},
    {"placeholder in other case", R"(, "common": {"installFolder": "%programfiles%\\X"})", "common.installFolder",
     "no known placeholder"},
    {"relative folder", R"(, "common": {"installFolder": "Tools\\X"})", "common.installFolder",
     "neither a placeholder nor an absolute folder"},
    {"unknown Windows", R"(, "common": {"osMask": ["win98", "win99"]})", "common.osMask[1]",
     "unknown Windows version \"win99\""},
    {"empty mask", R"(, "common": {"osMask": 0})", "common.osMask", "selects no Windows version"},
    {"bad hex mask", R"(, "common": {"osMask": "0x12G"})", "common.osMask", "no 32-bit hexadecimal"},
    {"negative mask", R"(, "common": {"osMask": -1})", "common.osMask", "between 0 and 0xFFFFFFFF"},
    {"flag as text", R"(, "common": {"justExec": "yes"})", "common.justExec", "true or false"},
    {"shortcut without target", R"(, "common": {"shortcuts": [{"name": "A"}]})", "common.shortcuts[0]",
     "needs \"target\""},
    {"absolute shortcut target", R"(, "common": {"shortcuts": [{"name": "A", "target": "C:\\a.exe"}]})",
     "common.shortcuts[0].target", "inside the installation folder"},
    {"shortcut name with ?", R"(, "common": {"shortcuts": [{"name": "A?", "target": "a.exe"}]})",
     "common.shortcuts[0].name", "may not contain '?'"},
    {"check of two kinds", R"(, "common": {"checks": [{"requiredFile": "a", "runningApplication": "b"}]})",
     "common.checks[0]", "exactly one"},
    {"empty command", R"(, "common": {"launchCommands": [""]})", "common.launchCommands[0]", "must not be empty"},
    {"wait as number", R"(, "common": {"launchCommands": [{"command": "a", "wait": 1}]})",
     "common.launchCommands[0].wait", "true or false"},
    {"list as text", R"(, "common": {"installCommands": "a.exe"})", "common.installCommands", "must be a list"},
    {"half a splash", R"(, "splash": {"picture": "splash.bmp"})", "splash.mask", "must be given"},
    {"unknown compression", R"(, "compression": "lzx")", "compression", "must be"},
    {"install folder climbing out", R"(, "common": {"installFolder": "%ProgramFiles%\\..\\..\\Windows"})",
     "common.installFolder", "has a part made of dots"},
    {"install folder with a dot part", R"(, "common": {"installFolder": "C:/Tools/./X"})", "common.installFolder",
     "has a part made of dots"},
    {"install folder with dots and a blank", R"(, "common": {"installFolder": "C:\\Tools\\.. \\X"})",
     "common.installFolder", "has a part made of dots"},
    {"shortcut target climbing out", R"(, "common": {"shortcuts": [{"name": "A", "target": "..\\a.exe"}]})",
     "common.shortcuts[0].target", "has a part made of dots"},
    {"shortcut target climbing inside", R"(, "common": {"shortcuts": [{"name": "A", "target": "bin/../../a.exe"}]})",
     "common.shortcuts[0].target", "has a part made of dots"},
    {"required file climbing out", R"(, "common": {"checks": [{"requiredFile": "..\\a.dll", "message": "m"}]})",
     "common.checks[0].requiredFile", "has a part made of dots"},
    {"absolute required file with dots", R"(, "common": {"checks": [{"requiredFile": "C:\\a\\...\\b"}]})",
     "common.checks[0].requiredFile", "has a part made of dots"},
    {"empty publisher", R"(, "publisher": "")", "publisher", "non-empty text"},
    {"publisher as number", R"(, "publisher": 7)", "publisher", "non-empty text"},
    {"publisher with a line feed", R"(, "publisher": "A\nB")", "publisher", "control characters"},
    {"three-part file version", R"(, "fileVersion": "1.2.3")", "fileVersion", "four numbers"},
    {"five-part file version", R"(, "fileVersion": "1.2.3.4.5")", "fileVersion", "four numbers"},
    {"file version part too large", R"(, "fileVersion": "1.2.3.65536")", "fileVersion", "0 to 65535"},
    {"file version with letters", R"(, "fileVersion": "1.2.b.4")", "fileVersion", "four numbers"},
    {"file version with an empty part", R"(, "fileVersion": "1..3.4")", "fileVersion", "four numbers"},
    {"file version as number", R"(, "fileVersion": 1)", "fileVersion", "four numbers"},
    {"empty icon", R"(, "icon": "")", "icon", "non-empty path"},
    // One language block serves both, so its texts must fit both code pages.
    {"English block for Japanese", R"({"content": "content", "english": {"productName": "Caf\u00e9"}})",
     "english.productName", "(in the japanese settings)"},
    {"Japanese block for English", R"({"content": "content", "japanese": {"productName": "ソフト"}})",
     "japanese.productName", "(in the english settings)"},
};

std::string ManifestOf(const ErrorCase& c)
{
    if (c.manifest == nullptr) {
        bool japanese = std::string(c.where).rfind("japanese", 0) == 0;
        std::string text;
        for (int i = 0; i < 256; ++i)
            text += japanese ? "あ" : "xx";
        std::string block = japanese ? "japanese" : "english";
        return R"({"content": "content", "common": {"productName": "Tool"}, ")" + block + R"(": {"productVersion": ")" +
               text + R"("}})";
    }
    if (c.manifest[0] == '{')
        return c.manifest;
    std::string text = kMinimal;
    text.replace(text.find('@'), 1, c.manifest);
    // A later key replaces an earlier one, so language blocks given by the case win.
    return text;
}

TEST(Manifest, ErrorsNameTheirField)
{
    for (const ErrorCase& c : kErrorCases) {
        Diagnostics d;
        Manifest manifest;
        EXPECT_FALSE(ParseManifest(ManifestOf(c), "/tmp", manifest, d)) << c.name;
        bool found = false;
        for (const std::string& error : d.errors)
            found |= error.rfind(std::string(c.where) + ": ", 0) == 0 && error.find(c.what) != std::string::npos;
        EXPECT_TRUE(found) << c.name << ": " << (d.errors.empty() ? "no error" : d.errors[0]);
    }
}

// A manifest with one language block uses it for both languages and says so;
// with both blocks, or none besides "common", nothing is said.
TEST(Manifest, OneLanguageBlockServesBoth)
{
    struct {
        const char* blocks;
        const char* warning;  // nullptr: none
    } cases[] = {
        {R"("english": {"productName": "Tool", "productVersion": "V 1"})",
         "japanese: is not given; the \"english\" settings serve both languages"},
        {R"("japanese": {"productName": "Tool", "productVersion": "V 1"})",
         "english: is not given; the \"japanese\" settings serve both languages"},
        {R"("english": {"productName": "Tool", "productVersion": "V 1"},
            "japanese": {"productName": "Tool", "productVersion": "V 1"})",
         nullptr},
        {R"("common": {"productName": "Tool", "productVersion": "V 1"})", nullptr},
    };
    for (const auto& c : cases) {
        Diagnostics d;
        Manifest manifest;
        ASSERT_TRUE(ParseManifest(std::string(R"({"content": "content", )") + c.blocks + "}", "/tmp", manifest, d))
            << c.blocks << ": " << d.errors[0];
        EXPECT_EQ("Tool", manifest.english.productName) << c.blocks;
        EXPECT_EQ("Tool", manifest.japanese.productName) << c.blocks;
        EXPECT_EQ("V 1", manifest.japanese.productVersion) << c.blocks;
        EXPECT_EQ("V 1", manifest.setup.englishVersion) << c.blocks;
        if (c.warning == nullptr) {
            EXPECT_TRUE(d.warnings.empty()) << c.blocks << ": " << d.warnings[0];
        } else {
            ASSERT_EQ(1u, d.warnings.size()) << c.blocks;
            EXPECT_EQ(c.warning, d.warnings[0]);
        }
    }
}

// The details setup.exe tells about itself: publisher, numeric file version,
// icon (from the manifest's folder), and both languages' names as written.
TEST(Manifest, SetupDetailsAreRead)
{
    Diagnostics d;
    Manifest manifest;
    ASSERT_TRUE(ParseManifest(R"({"content": "content", "publisher": "Example Co. 株式会社",
        "fileVersion": "1.65535.0.15", "icon": "art/product.ico",
        "english": {"productName": "Caf\u00e9 Tool", "productVersion": "Version 2"},
        "japanese": {"productName": "ソフト", "productVersion": "バージョン２"}})",
                              "/products/a", manifest, d))
        << d.errors[0];
    const SetupDetails& setup = manifest.setup;
    EXPECT_EQ("Example Co. 株式会社", setup.publisher);
    ASSERT_TRUE(setup.fileVersion.has_value());
    EXPECT_EQ((std::array<uint16_t, 4>{1, 65535, 0, 15}), *setup.fileVersion);
    ASSERT_TRUE(setup.icon.has_value());
    EXPECT_EQ(fs::path("/products/a/art/product.ico"), *setup.icon);
    EXPECT_EQ("Caf\u00e9 Tool", setup.englishName);
    EXPECT_EQ("Version 2", setup.englishVersion);
    EXPECT_EQ("ソフト", setup.japaneseName);
    EXPECT_EQ("バージョン２", setup.japaneseVersion);

    Manifest plain;
    ASSERT_TRUE(ParseManifest(kMinimalProduct, "/tmp", plain, d));
    EXPECT_TRUE(plain.setup.publisher.empty());
    EXPECT_FALSE(plain.setup.fileVersion.has_value());
    EXPECT_FALSE(plain.setup.icon.has_value());
}

TEST(Manifest, NamesWithDotsThatClimbNothingAreAccepted)
{
    std::string text = kMinimal;
    text.replace(text.find('@'), 1,
                 R"(, "common": {"installFolder": "%ProgramFiles%\\..App\\v1.0.", "shortcuts": [{"name": "A", )"
                 R"("target": "bin\\..x\\a..exe"}], "checks": [{"requiredFile": "\\\\server\\share\\a.dll"}]})");
    Diagnostics d;
    Manifest manifest;
    EXPECT_TRUE(ParseManifest(text, "/tmp", manifest, d)) << (d.errors.empty() ? "" : d.errors[0]);
    EXPECT_EQ("%ProgramFiles%\\..App\\v1.0.", manifest.english.installFolder);
}

TEST(Manifest, MinimalManifestTakesTheDefaults)
{
    std::string text = kMinimal;
    text.replace(text.find('@'), 1, "");
    Diagnostics d;
    Manifest manifest;
    ASSERT_TRUE(ParseManifest(text, "/base", manifest, d)) << d.errors[0];
    EXPECT_EQ(fs::path("/base/content"), manifest.content);
    EXPECT_FALSE(manifest.splash);
    EXPECT_EQ(1, manifest.compressionType);
    EXPECT_EQ(0xFFFFF, manifest.english.osMask);
    EXPECT_EQ(0, manifest.english.okIfNotAdmin);
    EXPECT_TRUE(manifest.japanese.shortcuts.empty());
}

TEST(Manifest, OsNamesGiveTheirMasks)
{
    for (size_t i = 0; i < kOsNameCount; ++i) {
        std::string text = kMinimal;
        text.replace(text.find('@'), 1, std::string(R"(, "common": {"osMask": [")") + kOsNames[i].name + R"("]})");
        Diagnostics d;
        Manifest manifest;
        ASSERT_TRUE(ParseManifest(text, "/", manifest, d)) << kOsNames[i].name;
        EXPECT_EQ(static_cast<int32_t>(kOsNames[i].mask), manifest.japanese.osMask) << kOsNames[i].name;
    }
}

struct ConversionCase {
    const char* utf8;
    CodePage page;
    const char* bytes;    // expected bytes, or null for a refusal
    const char* problem;  // part of the refusal
};

const ConversionCase kConversionCases[] = {
    {"plain ASCII\t\r\n", CodePage::kShiftJis, "plain ASCII\t\r\n", nullptr},
    {"日本語", CodePage::kShiftJis, "\x93\xFA\x96\x7B\x8C\xEA", nullptr},
    {"ｱｲｳ", CodePage::kShiftJis, "\xB1\xB2\xB3", nullptr},       // half-width katakana
    {"表示", CodePage::kShiftJis, "\x95\x5C\x8E\xA6", nullptr},  // trail byte 0x5C
    {"～", CodePage::kShiftJis, "\x81\x60", nullptr},            // U+FF5E
    {"①髙", CodePage::kShiftJis, "\x87\x40\xFB\xFC", nullptr},   // NEC and IBM extensions
    {"〜", CodePage::kShiftJis, nullptr, "would read back as U+FF5E"},
    {"−", CodePage::kShiftJis, nullptr, "would read back as U+FF0D"},
    {"é", CodePage::kShiftJis, nullptr, "U+00E9 'é' has no form in Shift-JIS"},
    {"€", CodePage::kShiftJis, nullptr, "has no form"},
    {"Café €5 – “x”", CodePage::kWindows1252,
     "Caf\xE9 \x80"
     "5 \x96 \x93x\x94",
     nullptr},
    {"ÿ", CodePage::kWindows1252, "\xFF", nullptr},
    {"あ", CodePage::kWindows1252, nullptr, "has no form in Windows-1252"},
    {"\xC2\x81", CodePage::kWindows1252, nullptr, "control character U+0081"},
    {"\x7F", CodePage::kWindows1252, nullptr, "control character U+007F"},
    {"", CodePage::kShiftJis, "", nullptr},
};

TEST(TextConversion, CharactersConvertOrAreRefusedByName)
{
    for (const ConversionCase& c : kConversionCases) {
        std::string out = "unchanged", problem;
        bool ok = ConvertFromUtf8(c.utf8, c.page, out, problem);
        if (c.bytes != nullptr) {
            EXPECT_TRUE(ok) << c.utf8 << ": " << problem;
            EXPECT_EQ(std::string(c.bytes), out) << c.utf8;
        } else {
            EXPECT_FALSE(ok) << c.utf8;
            EXPECT_EQ("unchanged", out) << c.utf8;
            EXPECT_NE(std::string::npos, problem.find(c.problem)) << c.utf8 << ": " << problem;
        }
    }
}

TEST(Content, NamesWindowsOrTheInstallerCannotTakeAreErrors)
{
    struct {
        const char* file;
        FileNameEncoding encoding;
        const char* what;  // null: accepted
    } cases[] = {
        {"plain/name.txt", FileNameEncoding::kAscii, nullptr},
        {"$BMP", FileNameEncoding::kAscii, "keeps for itself"},
        {"$", FileNameEncoding::kAscii, "keeps for itself"},
        {"sub/$mask", FileNameEncoding::kAscii, nullptr},  // only top-level names are the installer's
        {"a:b.txt", FileNameEncoding::kAscii, "may not contain ':'"},
        {"back\\slash.txt", FileNameEncoding::kAscii, "may not contain '\\'"},
        {"ends with dot.", FileNameEncoding::kAscii, "end with"},
        {"日本.txt", FileNameEncoding::kAscii, "not ASCII"},
        {"日本.txt", FileNameEncoding::kShiftJis, nullptr},
        {"日本.txt", FileNameEncoding::kWindows1252, "Windows-1252"},
    };
    for (const auto& c : cases) {
        fs::path content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "names") / "content";
        WriteText(content / c.file, "x");
        Diagnostics d;
        std::vector<ContentFile> files;
        bool ok = ScanContent(content, c.encoding, files, d);
        if (c.what == nullptr) {
            EXPECT_TRUE(ok) << c.file << ": " << (d.errors.empty() ? "" : d.errors[0]);
        } else {
            EXPECT_FALSE(ok) << c.file;
            ASSERT_FALSE(d.errors.empty()) << c.file;
            EXPECT_NE(std::string::npos, d.errors[0].find(c.what)) << c.file << ": " << d.errors[0];
        }
    }
    fs::path content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "shift-jis") / "content";
    WriteText(content / "表/示.txt", "x");
    Diagnostics d;
    std::vector<ContentFile> files;
    ASSERT_TRUE(ScanContent(content, FileNameEncoding::kShiftJis, files, d));
    EXPECT_EQ("\x95\x5C\\\x8E\xA6.txt", files[0].memberName);
}

// Names stored in a code page install right only on systems of that code
// page: one warning names the first such file and counts the others.
TEST(Content, NonAsciiNamesWarnAboutTheirCodePage)
{
    struct {
        const char* name;
        std::vector<const char*> files;
        FileNameEncoding encoding;
        const char* warning;  // nullptr: none
    } cases[] = {
        {"sjis-one",
         {"a.txt", "表/示.txt"},
         FileNameEncoding::kShiftJis,
         "content file \"表/示.txt\": has a non-ASCII name, stored in Shift-JIS (code page 932); the installer "
         "creates files with these name bytes in the system's code page, so on systems whose code page is not 932 "
         "they install under wrong names"},
        {"sjis-three",
         {"b.txt", "あ.txt", "い.txt", "う/x.txt"},
         FileNameEncoding::kShiftJis,
         "content file \"あ.txt\": and 2 more have non-ASCII names, stored in Shift-JIS (code page 932)"},
        {"latin",
         {"caf\u00e9.txt"},
         FileNameEncoding::kWindows1252,
         "content file \"caf\u00e9.txt\": has a non-ASCII name, stored in Windows-1252 (code page 1252)"},
        {"ascii-in-sjis", {"a.txt", "b/c.txt"}, FileNameEncoding::kShiftJis, nullptr},
    };
    for (const auto& c : cases) {
        fs::path content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", c.name) / "content";
        for (const char* file : c.files)
            WriteText(content / PathFromUtf8(file), "x");
        Diagnostics d;
        std::vector<ContentFile> files;
        ASSERT_TRUE(ScanContent(content, c.encoding, files, d)) << c.name;
        if (c.warning == nullptr) {
            EXPECT_TRUE(d.warnings.empty()) << c.name << ": " << d.warnings[0];
            continue;
        }
        ASSERT_EQ(1u, d.warnings.size()) << c.name;
        EXPECT_EQ(0u, d.warnings[0].find(c.warning)) << c.name << ": " << d.warnings[0];
    }
}

TEST(Content, NamesDifferingOnlyInCaseAndLongNamesAreErrors)
{
    fs::path content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "case") / "content";
    WriteText(content / "Read.me", "1");
    WriteText(content / "READ.ME", "2");
    Diagnostics d;
    std::vector<ContentFile> files;
    EXPECT_FALSE(ScanContent(content, FileNameEncoding::kAscii, files, d));
    ASSERT_EQ(1u, d.errors.size());
    EXPECT_NE(std::string::npos, d.errors[0].find("only in letter case"));

    content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "long") / "content";
    WriteText(content / std::string(200, 'a') / std::string(54, 'b'), "x");  // 255 bytes with the backslash
    d = {};
    EXPECT_TRUE(ScanContent(content, FileNameEncoding::kAscii, files, d));
    WriteText(content / std::string(200, 'a') / std::string(55, 'b'), "x");
    d = {};
    EXPECT_FALSE(ScanContent(content, FileNameEncoding::kAscii, files, d));
    EXPECT_NE(std::string::npos, d.errors[0].find("at most 255"));
}

TEST(Content, FilesAndFoldersDifferingOnlyInCaseAreErrors)
{
    struct {
        const char* first;
        const char* second;
    } cases[] = {
        {"x", "X/y.txt"},
        {"Dir/a.txt", "dir"},
        {"Folder/a.txt", "FOLDER/b.txt"},
        {"sub/Same/a.txt", "sub/same"},
    };
    for (const auto& c : cases) {
        fs::path content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "case-kinds") / "content";
        WriteText(content / c.first, "1");
        WriteText(content / c.second, "2");
        Diagnostics d;
        std::vector<ContentFile> files;
        EXPECT_FALSE(ScanContent(content, FileNameEncoding::kAscii, files, d)) << c.first << " and " << c.second;
        ASSERT_EQ(1u, d.errors.size()) << c.first << " and " << c.second;
        EXPECT_NE(std::string::npos, d.errors[0].find("only in letter case")) << d.errors[0];
    }
}

// Links to files and folders inside the content folder are followed and
// named by the link; every other link is an error that names its target.
TEST(Content, SymbolicLinksAreFollowedOnlyInsideTheContent)
{
    fs::path content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "links") / "content";
    WriteText(content / "real/file.txt", "real");
    fs::create_symlink("real/file.txt", content / "filelink");
    fs::create_symlink("real", content / "dirlink");
    fs::create_directories(content / "deeper");
    fs::create_symlink("../real/file.txt", content / "deeper/up.txt");
    Diagnostics d;
    std::vector<ContentFile> files;
    ASSERT_TRUE(ScanContent(content, FileNameEncoding::kAscii, files, d)) << (d.errors.empty() ? "" : d.errors[0]);
    std::vector<std::string> names;
    for (const ContentFile& file : files) {
        names.push_back(file.memberName);
        EXPECT_EQ(4u, file.size) << file.memberName;
    }
    EXPECT_EQ((std::vector<std::string>{"deeper\\up.txt", "dirlink\\file.txt", "filelink", "real\\file.txt"}), names);

    fs::path outside = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "links-outside");
    WriteText(outside / "secret.txt", "secret");
    struct {
        const char* link;
        std::string target;
        const char* what;
    } cases[] = {
        {"out.txt", (outside / "secret.txt").string(), "outside the content folder"},
        {"out", outside.string(), "outside the content folder"},
        {"climbing.txt", "../../links-outside/secret.txt", "outside the content folder"},
        {"dangling.txt", "nowhere.txt", "which does not exist"},
        {"self", "self", "is a link loop"},
        {"sub/up", "..", "is a link loop"},
        {"sub/here", ".", "is a link loop"},
        {"sub/deep/top", "../..", "is a link loop"},
    };
    for (const auto& c : cases) {
        content = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "links") / "content";
        WriteText(content / "a.txt", "a");
        fs::create_directories((content / c.link).parent_path());
        fs::create_symlink(c.target, content / c.link);
        d = {};
        EXPECT_FALSE(ScanContent(content, FileNameEncoding::kAscii, files, d)) << c.link;
        ASSERT_EQ(1u, d.errors.size()) << c.link;
        EXPECT_NE(std::string::npos, d.errors[0].find(std::string("content file \"") + c.link + "\"")) << d.errors[0];
        EXPECT_NE(std::string::npos, d.errors[0].find(c.what)) << d.errors[0];
        if (std::string(c.what) != "is a link loop")
            EXPECT_NE(std::string::npos, d.errors[0].find("\"" + c.target + "\"")) << d.errors[0];
    }
}

// The cabinet's one folder holds at most 65535 blocks of 32 KiB. The sizes
// come from sparse files, so the check must come before any byte is read.
TEST(Content, ContentBeyondOneCabinetFolderFailsBeforeReading)
{
    constexpr uint64_t kLimit = 65535ull * 32768;
    struct {
        std::vector<uint64_t> sizes;
        bool splash;
    } cases[] = {
        {{kLimit + 1}, false},
        {{kLimit / 2, kLimit / 2 + 1}, false},
        {{kLimit}, true},  // the splash pictures count too
    };
    for (const auto& c : cases) {
        Product product = MakeProduct("too-large", c.splash ? kFullManifest : kMinimalProduct);
        fs::remove_all(product.folder / "content");
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            fs::path file = product.folder / "content" / ("part" + std::to_string(i) + ".bin");
            WriteText(file, "");
            fs::resize_file(file, c.sizes[i]);
        }
        Diagnostics d;
        Manifest manifest;
        ASSERT_TRUE(ReadManifest(product.manifest, manifest, d)) << (d.errors.empty() ? "" : d.errors[0]);
        manifest.compressionType = 0;  // stored
        std::vector<uint8_t> package;
        BuildSummary summary;
        EXPECT_FALSE(BuildPackage(manifest, package, summary, d));
        ASSERT_EQ(1u, d.errors.size());
        EXPECT_EQ(0u, d.errors[0].find("content: holds ")) << d.errors[0];
        EXPECT_NE(std::string::npos, d.errors[0].find("at most 65535 blocks of 32768 bytes, 2147450880 bytes"))
            << d.errors[0];
    }
}

TEST(Splash, OnlyBitmapsTheInstallerCanDrawPass)
{
    auto withOffset = [](std::string bmp, uint32_t offset) {
        for (int i = 0; i < 4; ++i)
            bmp[10 + i] = static_cast<char>(offset >> (8 * i));
        return bmp;
    };
    std::string v5 = Bitmap(4, 4, 24);
    v5[14] = static_cast<char>(124);
    std::string rle = Bitmap(4, 4, 8);
    rle[30] = 1;
    std::string important = Bitmap(4, 4, 8);  // 16 important colours, 256 stored: the pixels would be misread
    important[50] = 16;
    struct {
        const char* name;
        std::string bytes;
        const char* what;
    } cases[] = {
        {"8-bit", Bitmap(400, 300, 8), nullptr},
        {"1-bit", Bitmap(33, 7, 1), nullptr},
        {"4-bit", Bitmap(5, 5, 4), nullptr},
        {"24-bit", Bitmap(3, 2, 24), nullptr},
        {"32-bit", Bitmap(3, 2, 32), nullptr},
        {"not a BMP", "GIF89a" + std::string(100, '\0'), "no BMP"},
        {"short", "BM", "no BMP"},
        {"V5 header", v5, "124-byte bitmap header"},
        {"top-down", Bitmap(4, -4, 24), "positive width and height"},
        {"compressed", rle, "uncompressed"},
        {"gap before the pixels", withOffset(Bitmap(4, 4, 24), 60), "expects them"},
        {"colours-important count", important, "expects them"},
        {"cut pixels", Bitmap(40, 40, 24).substr(0, 3000), "shorter than its pixels"},
    };
    fs::path folder = EmptyScratchFolder("tests/host/mkpackage/manifest_scratch", "splash");
    for (const auto& c : cases) {
        WriteText(folder / "picture.bmp", c.bytes);
        Diagnostics d;
        int32_t width = 0, height = 0;
        bool ok = CheckSplashBitmap(folder / "picture.bmp", "splash.picture", width, height, d);
        EXPECT_EQ(c.what == nullptr, ok) << c.name;
        if (c.what != nullptr) {
            ASSERT_FALSE(d.errors.empty()) << c.name;
            EXPECT_NE(std::string::npos, d.errors[0].find(c.what)) << c.name << ": " << d.errors[0];
        }
    }

    Product product = MakeProduct("splash-size", kFullManifest);
    WriteText(product.folder / "mask.bmp", Bitmap(41, 20, 1));
    Diagnostics d;
    Manifest manifest;
    ASSERT_TRUE(ReadManifest(product.manifest, manifest, d));
    std::vector<uint8_t> package;
    BuildSummary summary;
    EXPECT_FALSE(BuildPackage(manifest, package, summary, d));
    ASSERT_FALSE(d.errors.empty());
    EXPECT_NE(std::string::npos, d.errors[0].find("splash.mask: is 41 x 20 pixels")) << d.errors[0];
}

TEST(Content, ShortcutTargetsOutsideTheContentAreWarnings)
{
    std::string text = kFullManifest;
    const std::string target = "\"target\": \"bin/app.exe\"";
    text.replace(text.find(target), target.size(), "\"target\": \"bin/other.exe\"");
    Product product = MakeProduct("warning", text);
    Diagnostics d;
    Manifest manifest;
    ASSERT_TRUE(ReadManifest(product.manifest, manifest, d));
    std::vector<uint8_t> package;
    BuildSummary summary;
    EXPECT_TRUE(BuildPackage(manifest, package, summary, d));
    ASSERT_EQ(1u, d.warnings.size());
    EXPECT_EQ("english.shortcuts[0].target: names no file of the content folder", d.warnings[0]);
}

// The command line tool itself: nothing is written on errors, and the help
// names every option.
std::string RunTool(const std::string& arguments, int& status)
{
    fs::path output = fs::temp_directory_path() / ("mkpackage_output_" + std::to_string(getpid()));
    status = std::system(
        (std::string(ENGINE_BINARY_DIR "/tools/mkpackage/mkpackage ") + arguments + " > " + output.string() + " 2>&1")
            .c_str());
    std::string text = ReadText(output);
    fs::remove(output);
    return text;
}

TEST(MkpackageTool, WritesNothingWhenTheManifestHasErrors)
{
    std::string text = kFullManifest;
    text.replace(text.find("日本語ソフト"), strlen("日本語ソフト"), "Caf\u00e9");
    Product product = MakeProduct("tool-errors", text);
    fs::path package = product.folder / "out.pkg";
    int status = 0;
    std::string output =
        RunTool("--package-only --package " + package.string() + " " + product.manifest.string(), status);
    EXPECT_NE(0, status);
    EXPECT_NE(std::string::npos, output.find("error: japanese.productName: character U+00E9")) << output;
    EXPECT_FALSE(fs::exists(package));
    for (const auto& entry : fs::directory_iterator(product.folder))
        EXPECT_EQ(std::string::npos, entry.path().filename().string().find("tmp")) << entry.path();
}

TEST(MkpackageTool, WritesThePackageAndASummary)
{
    Product product = MakeProduct("tool-ok", kFullManifest);
    fs::path package = product.folder / "out.pkg";
    int status = 0;
    std::string output = RunTool("--package-only -p " + package.string() + " " + product.manifest.string(), status);
    EXPECT_EQ(0, status) << output;
    EXPECT_NE(std::string::npos, output.find("files       3")) << output;
    EXPECT_NE(std::string::npos, output.find("ratio")) << output;

    std::vector<uint8_t> bytes;
    std::string raw = ReadText(package);
    bytes.assign(raw.begin(), raw.end());
    TestHeap heap;
    PackageSettings settings{};
    ASSERT_TRUE(ReadPackageSettings(SourceOf(bytes), heap.heap(), settings));
    EXPECT_STREQ("Caf\xE9 Tool", settings.english.productName);
}

TEST(MkpackageTool, WrongCommandLinesExitWithTwo)
{
    Product product = MakeProduct("tool-usage", kMinimalProduct);
    const std::string manifest = product.manifest.string();
    struct {
        std::string arguments;
        const char* message;
    } cases[] = {
        {"-c bogus " + manifest, "-c must be none, mszip or quantum"},
        {"--compression lzx " + manifest, "--compression must be none, mszip or quantum"},
        {"--frobnicate " + manifest, "unknown option --frobnicate"},
        {"", "no manifest given"},
        {manifest + " " + manifest, "only one manifest"},
        {"--package-only " + manifest, "--package-only needs --package FILE"},
        {manifest + " -o", "-o needs a value"},
    };
    for (const auto& c : cases) {
        int status = 0;
        std::string output = RunTool(c.arguments, status);
        EXPECT_TRUE(WIFEXITED(status)) << c.arguments;
        EXPECT_EQ(2, WEXITSTATUS(status)) << c.arguments << ": " << output;
        EXPECT_NE(std::string::npos, output.find(c.message)) << c.arguments << ": " << output;
    }
}

TEST(MkpackageTool, AFolderGivenAsTheManifestIsNamedSo)
{
    Product product = MakeProduct("tool-folder", kMinimalProduct);
    int status = 0;
    std::string output =
        RunTool("--package-only -p " + (product.folder / "out.pkg").string() + " " + product.folder.string(), status);
    EXPECT_EQ(1, WEXITSTATUS(status)) << output;
    EXPECT_NE(std::string::npos, output.find(product.folder.string() + ": is a folder")) << output;
    EXPECT_EQ(std::string::npos, output.find("JSON")) << output;
}

// No output may overwrite what the package is made from, nor the other output.
TEST(MkpackageTool, OutputsThatAreInputsAreRefused)
{
    Product product = MakeProduct("tool-outputs", kFullManifest);
    const fs::path stub = product.folder / "stub.exe";
    WriteText(stub, "not read: the run stops before");
    fs::create_symlink("manifest.json", product.folder / "manifest-link.json");
    const std::string manifest = product.manifest.string();
    const std::string folder = product.folder.string();
    struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"-o " + manifest, "--output: \"" + manifest + "\" is the manifest"},
        {"-o " + folder + "/manifest-link.json", "is the manifest"},
        {"-o " + folder + "/content/../manifest.json", "is the manifest"},
        {"-o " + stub.string(), "is the stub"},
        {"-o " + folder + "/content/Readme.txt", "is a content file"},
        {"-o " + folder + "/splash.bmp", "is the splash picture"},
        {"-o " + folder + "/mask.bmp", "is the splash mask"},
        {"-o " + folder + "/out.exe -p " + folder + "/content/bin/app.exe", "--package: \""},
        {"--package-only -p " + manifest, "--package: \"" + manifest + "\" is the manifest"},
        {"-o " + folder + "/same.bin -p " + folder + "/same.bin", "is also the --output file"},
    };
    const std::string before = ReadText(product.manifest);
    for (const auto& c : cases) {
        int status = 0;
        std::string output = RunTool("-s " + stub.string() + " " + c.arguments + " " + manifest, status);
        EXPECT_EQ(1, WEXITSTATUS(status)) << c.arguments << ": " << output;
        EXPECT_NE(std::string::npos, output.find(c.message)) << c.arguments << ": " << output;
        EXPECT_EQ(before, ReadText(product.manifest)) << c.arguments;
        EXPECT_EQ(std::string(70000, 'A') + "end", ReadText(product.folder / "content/bin/app.exe")) << c.arguments;
        EXPECT_FALSE(fs::exists(product.folder / "same.bin")) << c.arguments;
    }
}

TEST(MkpackageTool, HelpNamesEveryOption)
{
    int status = 0;
    std::string help = RunTool("--help", status);
    EXPECT_EQ(0, status);
    for (const char* option : {"--output", "--stub", "--package", "--package-only", "--compression", "--content",
                               "--quiet", "--help", "-o,", "-s,", "-p,", "-c,", "-q,", "-h,"})
        EXPECT_NE(std::string::npos, help.find(option)) << option;
    for (size_t i = 0; i < kOsNameCount; ++i)
        EXPECT_NE(std::string::npos, help.find(kOsNames[i].name)) << kOsNames[i].name;
    RunTool("--frobnicate", status);
    EXPECT_NE(0, status);
}

}  // namespace

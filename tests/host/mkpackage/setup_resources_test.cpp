// What setup.exe tells Windows about itself: the application manifest with
// its execution level, the version resource and the icon, read back from the
// built program by binutils (windres decompiles the resources); signing with
// osslsigncode and a certificate made here by openssl; and the mkpackage
// command line around them. The stubs are the small fixture programs of the
// resource tests.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/mkpackage/icon_file.h"
#include "tests/host/mkpackage/res_file.h"
#include "tools/common/pe_resources.h"
#include "tools/mkpackage/setup_resources.h"
#include "tests/host/common/scratch_files.h"
#include "tests/host/common/shell_command.h"

namespace {

namespace fs = std::filesystem;
using namespace mkpackage;

// The program's resources as windres reads them.
std::vector<ResEntry> ResourcesOf(const fs::path& program, const char* prefix = "i686-w64-mingw32-")
{
    const fs::path res = fs::temp_directory_path() / ("setup_resources_" + std::to_string(getpid()) + ".res");
    std::string output;
    EXPECT_EQ(0, RunShell(std::string(prefix) + "windres -i " + ShellQuoted(program.string()) + " -O res -o " +
                              ShellQuoted(res.string()),
                          output))
        << output;
    std::vector<ResEntry> entries = ParseRes(ReadAll(res));
    fs::remove(res);
    return entries;
}

std::vector<const ResEntry*> OfType(const std::vector<ResEntry>& entries, uint16_t type)
{
    std::vector<const ResEntry*> found;
    for (const ResEntry& entry : entries) {
        if (entry.type == type)
            found.push_back(&entry);
    }
    return found;
}

std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// A UTF-16LE text as bytes, to find in a version resource.
std::string Utf16Bytes(const std::u16string& text)
{
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

SetupIdentity SampleIdentity()
{
    SetupIdentity identity;
    identity.requireAdministrator = false;
    identity.english = {"Sample Tool", "Version 2.1", "Sample Tool Setup", "Example Co."};
    identity.japanese = {"サンプル", "バージョン 2.1", "サンプル セットアップ", "Example Co."};
    identity.fileVersion = std::array<uint16_t, 4>{2, 1, 0, 300};
    return identity;
}

const std::vector<uint8_t> kPackage = {'p', 'a', 'c', 'k', 'a', 'g', 'e'};

// setup.exe laid out around the package and written with the package
// streamed in is the one built in memory; the read-back from the files
// finds any byte of the package changed, a package of another size and a
// beginning too short to hold the resource directory.
TEST(SetupResources, StreamedSetupIsTheOneBuiltInMemoryAndReadsBack)
{
    const fs::path folder = EmptyScratchFolder("tests/host/mkpackage/setup_scratch", "streamed");
    std::vector<uint8_t> package(200001);
    for (size_t i = 0; i < package.size(); ++i)
        package[i] = static_cast<uint8_t>(i * 13 + i / 509);
    for (const char* fixture : {PE_FIXTURE_PE32, PE_FIXTURE_PE32PLUS}) {
        SCOPED_TRACE(fixture);
        std::vector<uint8_t> stub = ReadAll(fixture), held;
        std::string error;
        ASSERT_TRUE(BuildSetup(stub, package, SampleIdentity(), held, error)) << error;
        pe::SplitImage layout;
        ASSERT_TRUE(BuildSetup(stub, static_cast<uint32_t>(package.size()), SampleIdentity(), layout, error)) << error;
        const fs::path packageFile = folder / "package.bin", setupFile = folder / "setup.exe";
        WriteAll(packageFile, package);
        {
            std::ifstream in(packageFile, std::ios::binary);
            std::ofstream out(setupFile, std::ios::binary);
            ASSERT_TRUE(pe::WriteSplitImage(layout, in, out, error)) << error;
        }
        EXPECT_TRUE(ReadAll(setupFile) == held);
        EXPECT_TRUE(CarriesPackage(setupFile, layout.head.size(), packageFile));
        EXPECT_FALSE(CarriesPackage(setupFile, 512, packageFile));

        std::vector<uint8_t> changed = package;
        for (size_t at : {size_t(0), package.size() / 2, package.size() - 1}) {
            changed[at] ^= 0x01;
            WriteAll(packageFile, changed);
            EXPECT_FALSE(CarriesPackage(setupFile, layout.head.size(), packageFile)) << at;
            changed[at] ^= 0x01;
        }
        changed.pop_back();
        WriteAll(packageFile, changed);
        EXPECT_FALSE(CarriesPackage(setupFile, layout.head.size(), packageFile));
        EXPECT_FALSE(CarriesPackage(folder / "missing.exe", layout.head.size(), packageFile));
    }
}

// The execution level follows okIfNotAdmin: only a package that every
// language lets install without rights asks for none.
TEST(SetupResources, ExecutionLevelFollowsTheRightsThePackageNeeds)
{
    struct {
        const char* name;
        int englishOk, japaneseOk;
        const char* level;
    } cases[] = {
        {"both ok", 1, 1, "asInvoker"},
        {"English needs rights", 0, 1, "requireAdministrator"},
        {"Japanese needs rights", 1, 0, "requireAdministrator"},
        {"both need rights", 0, 0, "requireAdministrator"},
    };
    const fs::path folder = EmptyScratchFolder("tests/host/mkpackage/setup_scratch", "level");
    for (const auto& c : cases) {
        Manifest manifest;
        manifest.english.okIfNotAdmin = c.englishOk;
        manifest.japanese.okIfNotAdmin = c.japaneseOk;
        SetupIdentity identity;
        Diagnostics d;
        ASSERT_TRUE(IdentityFromManifest(manifest, identity, d));
        std::vector<uint8_t> setup;
        std::string error;
        ASSERT_TRUE(BuildSetup(ReadAll(PE_FIXTURE_PE32), kPackage, identity, setup, error)) << error;
        WriteAll(folder / "setup.exe", setup);
        std::vector<ResEntry> resources = ResourcesOf(folder / "setup.exe");
        std::vector<const ResEntry*> manifests = OfType(resources, pe::kManifest);
        ASSERT_EQ(1u, manifests.size()) << c.name;
        EXPECT_EQ(1, manifests[0]->name) << c.name;
        std::string xml = Text(manifests[0]->data);
        EXPECT_NE(std::string::npos, xml.find(std::string("<requestedExecutionLevel level=\"") + c.level + "\""))
            << c.name << ": " << xml;
        EXPECT_NE(std::string::npos, xml.find(">true</dpiAware>")) << c.name;
        // Vista, 7, 8, 8.1 and 10 (also 11).
        for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                               "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                               "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
            EXPECT_NE(std::string::npos, xml.find(os)) << c.name << ": " << os;
        std::vector<const ResEntry*> packages = OfType(resources, pe::kRcData);
        bool carried = false;
        for (const ResEntry* entry : packages)
            carried |= entry->name == 104 && entry->data == kPackage;
        EXPECT_TRUE(carried) << c.name;
    }
}

// The version resource replaces the stub's own (the fixture has one of
// 1.2.3.4) and carries both languages' texts and the numeric version.
TEST(SetupResources, VersionResourceReadsBackWithBothLanguages)
{
    const fs::path folder = EmptyScratchFolder("tests/host/mkpackage/setup_scratch", "version");
    std::vector<uint8_t> setup;
    std::string error;
    ASSERT_TRUE(BuildSetup(ReadAll(PE_FIXTURE_PE32PLUS), kPackage, SampleIdentity(), setup, error)) << error;
    WriteAll(folder / "setup.exe", setup);
    std::string rc;
    ASSERT_EQ(0,
              RunShell("x86_64-w64-mingw32-windres -i " + ShellQuoted((folder / "setup.exe").string()) + " -O rc", rc));
    EXPECT_NE(std::string::npos, rc.find("FILEVERSION 2, 1, 0, 300")) << rc;
    EXPECT_NE(std::string::npos, rc.find("PRODUCTVERSION 2, 1, 0, 300")) << rc;
    EXPECT_EQ(std::string::npos, rc.find("1, 2, 3, 4")) << rc;
    for (const char* line :
         {"BLOCK \"040904E4\"", "VALUE \"CompanyName\", \"Example Co.\"",
          "VALUE \"FileDescription\", \"Sample Tool Setup\"", "VALUE \"FileVersion\", \"2.1.0.300\"",
          "VALUE \"ProductName\", \"Sample Tool\"", "VALUE \"ProductVersion\", \"Version 2.1\"", "BLOCK \"041103A4\"",
          "VALUE \"ProductName\", L\"\\x30b5\\x30f3\\x30d7\\x30eb\"", "VALUE \"Translation\", 0x409, 1252, 0x411, 932"})
        EXPECT_NE(std::string::npos, rc.find(line)) << line << "\n" << rc;
    std::vector<ResEntry> resources = ResourcesOf(folder / "setup.exe", "x86_64-w64-mingw32-");
    EXPECT_EQ(1u, OfType(resources, pe::kVersionInfo).size());
}

// Texts left empty are left out, and without a file version the numbers are 0.
TEST(SetupResources, EmptyVersionTextsAreLeftOut)
{
    SetupIdentity identity;
    identity.english = {"", "", "Setup", ""};
    std::vector<uint8_t> resource = VersionResource(identity);
    std::string bytes = Text(resource);
    EXPECT_NE(std::string::npos, bytes.find(Utf16Bytes(u"FileDescription")));
    for (const char16_t* key : {u"CompanyName", u"ProductName", u"ProductVersion", u"FileVersion"})
        EXPECT_EQ(std::string::npos, bytes.find(Utf16Bytes(key))) << Text(resource);
    // VS_FIXEDFILEINFO follows the key "VS_VERSION_INFO" at byte 40: signature, then the versions.
    ASSERT_GE(resource.size(), 64u);
    EXPECT_EQ(0xFEEF04BDu, Get32(resource, 40));
    for (size_t at = 48; at < 64; at += 4)
        EXPECT_EQ(0u, Get32(resource, at)) << at;
    EXPECT_EQ(resource.size(), Get16(resource, 0));
}

// The manifest's icon replaces the stub's: its images become RT_ICON
// resources and their directory the stub's icon group.
TEST(SetupResources, IconReplacesTheStubsOwn)
{
    const fs::path folder = EmptyScratchFolder("tests/host/mkpackage/setup_scratch", "icon");
    // A stub with an icon of its own, made by windres.
    WriteAll(folder / "own.ico", IconFile({32}, 0xFF0000));
    WriteAll(folder / "stub.rc", std::string("7 ICON \"") + (folder / "own.ico").string() + "\"\n");
    std::string output;
    ASSERT_EQ(0, RunShell("i686-w64-mingw32-windres " + ShellQuoted((folder / "stub.rc").string()) + " -O res -o " +
                              ShellQuoted((folder / "stub.res").string()),
                          output))
        << output;
    std::vector<pe::Resource> stubResources;
    std::string error;
    std::vector<uint8_t> fixture = ReadAll(PE_FIXTURE_PE32), stub;
    ASSERT_TRUE(pe::ReadResources(fixture, stubResources, error)) << error;
    for (const ResEntry& entry : ParseRes(ReadAll(folder / "stub.res"))) {
        pe::Resource resource;
        resource.type.id = entry.type;
        resource.name.id = entry.name;
        resource.data = entry.data;
        stubResources.push_back(resource);
    }
    ASSERT_TRUE(pe::WriteResources(fixture, stubResources, stub, error)) << error;

    SetupIdentity identity = SampleIdentity();
    std::string ico = IconFile({16, 48});
    identity.icon.assign(ico.begin(), ico.end());
    std::vector<uint8_t> setup;
    ASSERT_TRUE(BuildSetup(stub, kPackage, identity, setup, error)) << error;
    WriteAll(folder / "setup.exe", setup);
    std::vector<ResEntry> resources = ResourcesOf(folder / "setup.exe");
    std::vector<const ResEntry*> groups = OfType(resources, pe::kIconGroup), images = OfType(resources, pe::kIconImage);
    ASSERT_EQ(1u, groups.size());
    EXPECT_EQ(7, groups[0]->name);
    ASSERT_EQ(2u, images.size());
    const std::vector<uint8_t>& group = groups[0]->data;
    ASSERT_EQ(6u + 2 * 14, group.size());
    EXPECT_EQ(2, Get16(group, 4));
    int sizes[] = {16, 48};
    for (size_t i = 0; i < 2; ++i) {
        size_t entry = 6 + 14 * i;
        EXPECT_EQ(sizes[i], group[entry]) << i;
        EXPECT_EQ(32, Get16(group, entry + 6)) << i;
        uint16_t id = Get16(group, entry + 12);
        std::string expected = IconImage(sizes[i], 0x3366CC);
        EXPECT_EQ(expected.size(), Get32(group, entry + 8)) << i;
        bool found = false;
        for (const ResEntry* image : images)
            found |= image->name == id && Text(image->data) == expected;
        EXPECT_TRUE(found) << "image " << i << " as RT_ICON " << id;
    }
}

TEST(SetupResources, FilesThatAreNoIconsAreRefused)
{
    std::string good = IconFile({16});
    auto with = [&](size_t at, char value) {
        std::string bytes = good;
        bytes[at] = value;
        return bytes;
    };
    struct {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"empty", "", "is no icon (ICO) file"},
        {"a cursor", with(2, 2), "is no icon (ICO) file"},
        {"no images", with(4, 0), "is no icon (ICO) file"},
        {"more entries than bytes", std::string("\0\0\1\0\5\0", 6) + std::string(40, 'x'), "damaged image directory"},
        {"more than 255 images", with(5, 1), "damaged image directory"},
        {"image beyond the end", with(6 + 12, 0x7F), "image 1 lies outside the file"},
        {"image of no known kind", with(good.size() - IconImage(16, 0).size(), 12), "is no bitmap or PNG image"},
        {"a bitmap file", std::string("BM") + good, "is no icon (ICO) file"},
    };
    for (const auto& c : cases) {
        std::vector<pe::Resource> resources;
        std::string error;
        EXPECT_FALSE(ReplaceIcon(resources, std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()), error)) << c.name;
        EXPECT_NE(std::string::npos, error.find(c.message)) << c.name << ": " << error;
        EXPECT_TRUE(resources.empty()) << c.name;
    }
    std::vector<pe::Resource> resources;
    std::string error;
    std::string png = IconFile({16});
    png.replace(png.size() - IconImage(16, 0).size(), 8, "\x89PNG\r\n\x1A\n");
    EXPECT_TRUE(ReplaceIcon(resources, std::vector<uint8_t>(png.begin(), png.end()), error)) << error;
}

// The mkpackage command line: a product whose stub carries an engine (here
// the fixture program itself as RCDATA 201).
struct Product {
    fs::path folder, manifest, stub;
    std::vector<uint8_t> engine;
};

Product MakeProduct(const std::string& name, const std::string& extraKeys = "")
{
    Product product{EmptyScratchFolder("tests/host/mkpackage/setup_scratch", name), {}, {}, ReadAll(PE_FIXTURE_PE32)};
    product.manifest = product.folder / "manifest.json";
    product.stub = product.folder / "stub.exe";
    fs::create_directories(product.folder / "content");
    WriteAll(product.folder / "content/app.txt", "app");
    WriteAll(product.folder / "product.ico", IconFile({32}));
    WriteAll(product.manifest, R"({"content": "content", "publisher": "Example Co.", "fileVersion": "3.0.0.7",
        "icon": "product.ico", "english": {"productName": "Signed Tool", "okIfNotAdmin": true}, )" +
                                   extraKeys + R"("japanese": {"productName": "Signed Tool", "okIfNotAdmin": true}})");
    std::vector<uint8_t> stub;
    std::string error;
    EXPECT_TRUE(pe::SetResource(product.engine, pe::kRcData, 201, product.engine, stub, error)) << error;
    WriteAll(product.stub, stub);
    return product;
}

int Mkpackage(const std::string& arguments, std::string& output)
{
    return RunShell(ENGINE_BINARY_DIR "/tools/mkpackage/mkpackage " + arguments, output);
}

std::vector<uint8_t> Resource(const fs::path& program, uint16_t name)
{
    for (const ResEntry& entry : ResourcesOf(program)) {
        if (entry.type == pe::kRcData && entry.name == name)
            return entry.data;
    }
    return {};
}

// Without a sign command the same inputs give the same bytes, and the stub's
// engine is carried unchanged; the output's folder is made, setup.exe is
// executable, and the summary names the compression and the package file.
TEST(MkpackageTool, UnsignedBuildsAreReproducible)
{
    Product product = MakeProduct("reproducible");
    const fs::path first = product.folder / "out/new/setup.exe", second = product.folder / "again.exe";
    std::string output;
    ASSERT_EQ(0, Mkpackage("-s " + ShellQuoted(product.stub.string()) + " -o " + ShellQuoted(first.string()) + " " +
                               ShellQuoted(product.manifest.string()),
                           output))
        << output;
    EXPECT_NE(std::string::npos, output.find("compression mszip")) << output;
    EXPECT_NE(std::string::npos, output.find("no package file written")) << output;
    ASSERT_EQ(0,
              Mkpackage("-c quantum -s " + ShellQuoted(product.stub.string()) + " -o " + ShellQuoted(second.string()) +
                            " -p " + ShellQuoted((product.folder / "p.pkg").string()) + " " +
                            ShellQuoted(product.manifest.string()),
                        output))
        << output;
    EXPECT_NE(std::string::npos, output.find("compression quantum (2 MiB window, level 4)")) << output;
    EXPECT_NE(std::string::npos, output.find("also written to " + (product.folder / "p.pkg").string())) << output;
    ASSERT_EQ(0, Mkpackage("-q -s " + ShellQuoted(product.stub.string()) + " -o " + ShellQuoted(second.string()) + " " +
                               ShellQuoted(product.manifest.string()),
                           output))
        << output;
    EXPECT_EQ(ReadAll(first), ReadAll(second));
    EXPECT_EQ(product.engine, Resource(first, 201));
    struct stat status;
    ASSERT_EQ(0, stat(first.c_str(), &status));
    EXPECT_EQ(S_IXUSR, status.st_mode & S_IXUSR);
    for (const auto& entry : fs::directory_iterator(first.parent_path()))
        EXPECT_EQ("setup.exe", entry.path().filename().string());
}

// The package is built beside the output; when the build fails, the folders
// made for it go again and no temporary file stays.
TEST(MkpackageTool, AFailedBuildLeavesNoFolderItMade)
{
    Product product = MakeProduct("failed-build");
    const fs::path setup = product.folder / "new/deeper/setup.exe";
    std::string output;
    EXPECT_EQ(1, Mkpackage("--content " + ShellQuoted((product.folder / "missing").string()) + " -s " +
                               ShellQuoted(product.stub.string()) + " -o " + ShellQuoted(setup.string()) + " -p " +
                               ShellQuoted((product.folder / "new/p.pkg").string()) + " " +
                               ShellQuoted(product.manifest.string()),
                           output));
    EXPECT_NE(std::string::npos, output.find("is no folder")) << output;
    EXPECT_FALSE(fs::exists(product.folder / "new")) << output;
}

TEST(MkpackageTool, TheIconIsNoOutput)
{
    Product product = MakeProduct("icon-output");
    const std::string icon = (product.folder / "product.ico").string();
    const std::string before = Text(ReadAll(icon));
    std::string output;
    EXPECT_EQ(1, Mkpackage("-s " + ShellQuoted(product.stub.string()) + " -o " + ShellQuoted(icon) + " " +
                               ShellQuoted(product.manifest.string()),
                           output))
        << output;
    EXPECT_NE(std::string::npos, output.find("--output: \"" + icon + "\" is the icon")) << output;
    EXPECT_EQ(before, Text(ReadAll(icon)));
}

// A file that is no icon is an error that names the manifest's field, told
// before anything is built.
TEST(MkpackageTool, ABadIconIsNamed)
{
    Product product = MakeProduct("bad-icon");
    WriteAll(product.folder / "product.ico", std::string("BM not an icon"));
    const fs::path setup = product.folder / "setup.exe";
    std::string output;
    EXPECT_EQ(1, Mkpackage("-s " + ShellQuoted(product.stub.string()) + " -o " + ShellQuoted(setup.string()) + " " +
                               ShellQuoted(product.manifest.string()),
                           output))
        << output;
    EXPECT_NE(std::string::npos, output.find("error: icon: \"")) << output;
    EXPECT_NE(std::string::npos, output.find("is no icon (ICO) file")) << output;
    EXPECT_FALSE(fs::exists(setup));
}

TEST(MkpackageTool, VersionIsShown)
{
    std::string output;
    EXPECT_EQ(0, Mkpackage("--version", output));
    EXPECT_EQ("mkpackage 1.0.0\n", output);
    EXPECT_EQ(0, Mkpackage("--help", output));
    for (const char* option : {"--sign-command", "--version"})
        EXPECT_NE(std::string::npos, output.find(option)) << option;
}

// A key and a certificate for code signing, made now, and a sign command
// that signs a file in place with osslsigncode and keeps a copy of what it
// signed.
struct Signer {
    fs::path folder, certificate, script;
};

Signer MakeSigner(const fs::path& folder)
{
    Signer signer{folder / "signer", folder / "signer/cert.pem", folder / "signer/sign.sh"};
    fs::create_directories(signer.folder);
    std::string output;
    EXPECT_EQ(0, RunShell("cd " + ShellQuoted(signer.folder.string()) +
                              " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2"
                              " -subj '/CN=Setup Engine Test Signer' -addext extendedKeyUsage=codeSigning",
                          output))
        << output;
    WriteAll(signer.script, "#!/bin/sh\n"
                            "set -e\n"
                            "dir=$(dirname \"$0\")\n"
                            "osslsigncode sign -certs \"$dir/cert.pem\" -key \"$dir/key.pem\" -n 'Signed Tool' "
                            "-in \"$1\" -out \"$1.signed\" >/dev/null\n"
                            "mv \"$1.signed\" \"$1\"\n"
                            "n=$(ls \"$dir\" | grep -c '^signed-' || true)\n"
                            "cp \"$1\" \"$dir/signed-$n.exe\"\n");
    fs::permissions(signer.script, fs::perms::owner_all);
    return signer;
}

bool Verifies(const Signer& signer, const fs::path& file, std::string& output)
{
    return RunShell("osslsigncode verify -CAfile " + ShellQuoted(signer.certificate.string()) + " -in " +
                        ShellQuoted(file.string()),
                    output) == 0 &&
           output.find("Signature verification: ok") != std::string::npos;
}

// Both the engine (before the stub carries it) and setup.exe are signed,
// and both signatures verify; the signed setup.exe still carries the
// package and the manifest.
TEST(MkpackageTool, SignCommandSignsTheEngineAndSetup)
{
    Product product = MakeProduct("signed");
    Signer signer = MakeSigner(product.folder);
    const fs::path setup = product.folder / "out/setup.exe", package = product.folder / "out/p.pkg";
    std::string output;
    ASSERT_EQ(0, Mkpackage("--sign-command " + ShellQuoted(signer.script.string() + " {}") + " -s " +
                               ShellQuoted(product.stub.string()) + " -o " + ShellQuoted(setup.string()) + " -p " +
                               ShellQuoted(package.string()) + " " + ShellQuoted(product.manifest.string()),
                           output))
        << output;
    EXPECT_TRUE(Verifies(signer, setup, output)) << output;
    const fs::path engine = signer.folder / "signed-0.exe";
    ASSERT_TRUE(fs::exists(engine));
    EXPECT_TRUE(Verifies(signer, engine, output)) << output;
    EXPECT_EQ(ReadAll(engine), Resource(setup, 201));
    EXPECT_NE(product.engine, ReadAll(engine));
    EXPECT_EQ(ReadAll(package), Resource(setup, 104));
    EXPECT_EQ(1u, OfType(ResourcesOf(setup), pe::kManifest).size());
    // Unsigned files fail the same check.
    EXPECT_FALSE(Verifies(signer, product.stub, output)) << output;
    for (const auto& entry : fs::directory_iterator(setup.parent_path()))
        EXPECT_TRUE(entry.path() == setup || entry.path() == package) << entry.path();
}

TEST(MkpackageTool, FailingOrMalformedSignCommandsWriteNothing)
{
    Product product = MakeProduct("sign-fails");
    const fs::path setup = product.folder / "out/setup.exe";
    struct {
        std::string command;
        int status;
        const char* message;
    } cases[] = {
        {"false {}", 1, "the sign command \"false '"},
        {"truncate -s 10 {}", 1, "is no longer a program"},
        {"osslsigncode sign", 2, "--sign-command needs {}"},
    };
    for (const auto& c : cases) {
        std::string output;
        EXPECT_EQ(c.status,
                  Mkpackage("--sign-command " + ShellQuoted(c.command) + " -s " + ShellQuoted(product.stub.string()) +
                                " -o " + ShellQuoted(setup.string()) + " " + ShellQuoted(product.manifest.string()),
                            output))
            << c.command << ": " << output;
        EXPECT_NE(std::string::npos, output.find(c.message)) << c.command << ": " << output;
        EXPECT_FALSE(fs::exists(setup)) << c.command;
        if (fs::exists(setup.parent_path()))
            EXPECT_TRUE(fs::is_empty(setup.parent_path())) << c.command;
    }
}

}  // namespace

// setup.exe as Windows sees it, under Wine: the version texts through
// GetFileVersionInfoA and VerQueryValue, the icon through the shell and
// LoadImage, the execution level through the activation context that the
// system makes from the program's manifest. setup.exe is the real stub
// packaged by mkpackage's library.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/host/mkpackage/icon_file.h"
#include "tools/mkpackage/manifest.h"
#include "tools/mkpackage/product_builder.h"
#include "tools/mkpackage/setup_resources.h"

namespace {

// Older headers lack the run-level query of an activation context.
constexpr ULONG kRunLevelInformation = 5;  // RunlevelInformationInActivationContext
struct RunLevelInformation {
    ULONG flags;
    int runLevel;  // 1 as invoker, 2 highest available, 3 administrator
    DWORD uiAccess;
};
constexpr int kAsInvoker = 1, kRequireAdministrator = 3;

constexpr uint32_t kIconColour = 0x3366CC;

// Builds setup.exe in a fresh folder from a manifest; extra top-level keys
// and the okIfNotAdmin setting vary.
std::string BuildSetupExe(const std::string& name, const std::string& extraKeys, bool okIfNotAdmin)
{
    std::string folder = FreshFolder("identity-" + name);
    CreateDirectoryA((folder + "\\content").c_str(), nullptr);
    EXPECT_TRUE(WriteFileBytes(folder + "\\content\\app.txt", "app"));
    EXPECT_TRUE(WriteFileBytes(folder + "\\product.ico", IconFile({16, 48}, kIconColour)));
    std::string ok = okIfNotAdmin ? "true" : "false";
    EXPECT_TRUE(
        WriteFileBytes(folder + "\\manifest.json",
                       "{\"content\": \"content\", " + extraKeys +
                           "\"english\": {\"productName\": \"Identity Tool\", \"productVersion\": \"Version 2.1\","
                           " \"okIfNotAdmin\": " +
                           ok +
                           "},"
                           "\"japanese\": {\"productName\": \"\xE3\x82\xB5\xE3\x83\xB3\xE3\x83\x97\xE3\x83\xAB\","
                           " \"okIfNotAdmin\": " +
                           ok + "}}"));
    mkpackage::Diagnostics d;
    mkpackage::Manifest manifest;
    mkpackage::SetupIdentity identity;
    EXPECT_TRUE(mkpackage::ReadManifest(folder + "\\manifest.json", manifest, d)) << d.errors[0];
    std::vector<uint8_t> package, stub, setup;
    mkpackage::BuildSummary summary;
    EXPECT_TRUE(mkpackage::BuildPackage(manifest, package, summary, d)) << d.errors[0];
    EXPECT_TRUE(mkpackage::IdentityFromManifest(manifest, identity, d)) << d.errors[0];
    EXPECT_TRUE(mkpackage::ReadWholeFile(WindowsPath(SETUP_STUB_PATH), stub));
    std::string error;
    EXPECT_TRUE(mkpackage::BuildSetup(stub, package, identity, setup, error)) << error;
    std::string path = folder + "\\setup.exe";
    EXPECT_TRUE(WriteFileBytes(path, std::string(setup.begin(), setup.end())));
    return path;
}

const char kDetails[] = "\"publisher\": \"Example Co.\", \"fileVersion\": \"2.1.0.300\", \"icon\": \"product.ico\", ";

std::string VersionText(const std::vector<char>& info, const char* key)
{
    char* value = nullptr;
    UINT length = 0;
    std::string query = std::string("\\StringFileInfo\\040904E4\\") + key;
    if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr)
        return "(missing)";
    return value;
}

TEST(SetupIdentity, VersionInfoReadsBackWithGetFileVersionInfo)
{
    std::string setup = BuildSetupExe("version", kDetails, true);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(setup.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(setup.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00020001u, fixed->dwFileVersionMS);
    EXPECT_EQ(300u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00020001u, fixed->dwProductVersionMS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    EXPECT_EQ("Example Co.", VersionText(info, "CompanyName"));
    EXPECT_EQ("Identity Tool", VersionText(info, "ProductName"));
    EXPECT_EQ("Identity Tool Setup", VersionText(info, "FileDescription"));
    EXPECT_EQ("2.1.0.300", VersionText(info, "FileVersion"));
    EXPECT_EQ("Version 2.1", VersionText(info, "ProductVersion"));

    wchar_t* japanese = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041103A4\\ProductName",
                               reinterpret_cast<void**>(&japanese), &length));
    EXPECT_EQ(std::wstring(L"\x30B5\x30F3\x30D7\x30EB"), japanese);
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041103A4\\FileDescription",
                               reinterpret_cast<void**>(&japanese), &length));
    EXPECT_EQ(std::wstring(L"\x30B5\x30F3\x30D7\x30EB \x30BB\x30C3\x30C8\x30A2\x30C3\x30D7"), japanese);

    WORD* translations = nullptr;
    ASSERT_TRUE(
        VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length));
    ASSERT_EQ(8u, length);
    EXPECT_EQ(0x0409, translations[0]);
    EXPECT_EQ(1252, translations[1]);
    EXPECT_EQ(0x0411, translations[2]);
    EXPECT_EQ(932, translations[3]);
}

// The colour of the icon's top-left pixel as the system draws it.
COLORREF IconColour(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return CLR_INVALID;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, info.hbmColor);
    COLORREF colour = GetPixel(dc, 0, 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return colour;
}

// The shell finds one icon in setup.exe: the manifest's, or else the stub's own.
TEST(SetupIdentity, IconIsTheManifestsOrTheStubsOwn)
{
    struct {
        const char* name;
        const char* keys;
        bool manifestIcon;
    } cases[] = {{"with-icon", kDetails, true}, {"without-icon", "", false}};
    for (const auto& c : cases) {
        std::string setup = BuildSetupExe(c.name, c.keys, true);
        EXPECT_EQ(1u, ExtractIconExA(setup.c_str(), -1, nullptr, nullptr, 0)) << c.name;
        HMODULE module = LoadLibraryExA(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module) << c.name;
        HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(1), IMAGE_ICON, 48, 48, 0));
        ASSERT_NE(nullptr, icon) << c.name;
        COLORREF colour = IconColour(icon);
        COLORREF ours = RGB(kIconColour >> 16 & 0xFF, kIconColour >> 8 & 0xFF, kIconColour & 0xFF);
        if (c.manifestIcon)
            EXPECT_EQ(ours, colour) << c.name;
        else
            EXPECT_NE(ours, colour) << c.name;
        DestroyIcon(icon);
        FreeLibrary(module);
    }
}

// The run level of the manifest of a program, as the system reads it.
int RunLevelOf(const std::string& program)
{
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = program.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE handle = CreateActCtxA(&context);
    if (handle == INVALID_HANDLE_VALUE)
        return -static_cast<int>(GetLastError());
    RunLevelInformation info = {};
    SIZE_T written = 0;
    BOOL ok = QueryActCtxW(0, handle, nullptr, kRunLevelInformation, &info, sizeof info, &written);
    ReleaseActCtx(handle);
    return ok ? info.runLevel : -1;
}

TEST(SetupIdentity, ExecutionLevelFollowsTheRightsThePackageNeeds)
{
    EXPECT_EQ(kAsInvoker, RunLevelOf(BuildSetupExe("as-invoker", "", true)));
    EXPECT_EQ(kRequireAdministrator, RunLevelOf(BuildSetupExe("administrator", "", false)));
    // The engine asks for nothing of its own: it runs with setup.exe's rights.
    EXPECT_EQ(kAsInvoker, RunLevelOf(EnginePath()));
}

}  // namespace

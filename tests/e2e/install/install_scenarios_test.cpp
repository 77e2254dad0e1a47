// The install step in real runs: packages built with mkpackage's library, the
// engine started with them, every box answered by the UI robot. The files a
// run leaves behind, and the ones it must not write, are checked afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/harness/test_context.h"
#include "tests/e2e/install/install_package.h"
#include "tests/win/ui/screen_capture.h"

namespace {

const char kInstallFailed[] = "It couldn't be installed properly.";
const char kInstallFailedJapanese[] = "正しくインストール出来ませんでした。";
const char kInstalled[] = "Installed properly.";
const char kInstalledJapanese[] = "正しくインストールしました。";
const char kJapaneseNameUtf8[] = "インストール試験";
constexpr int kBrowseId = 1000, kProgressId = 1001, kFolderId = 1002;

std::string UserName()
{
    char name[256];
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? name : "user";
}

std::string ProgramFilesFolder()
{
    std::string value;
    EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                   "ProgramFilesDir", value));
    return value;
}

std::string AppDataFolder()
{
    std::string value;
    EXPECT_TRUE(ReadRegistryString(
        HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData", value));
    return value;
}

// Read-only files would outlive the next run's fresh folder.
void ClearAttributes(const std::string& folder)
{
    for (const std::string& name : ListFolder(folder)) {
        const std::string path = folder + "\\" + name;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            ClearAttributes(path);
        else
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

std::string Content(const cabwriter::Member& member)
{
    return std::string(member.data.begin(), member.data.end());
}

// What the robot's inspections found; they take no context and report here.
struct DialogSight {
    std::string folderText;  // the text box when the dialog came up
    int fillBeforeOk = -1;
};
DialogSight gSight;

std::string ControlText(HWND dialog, int id)
{
    wchar_t text[1024] = L"";
    DWORD_PTR length = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                        &length);
    return ToCodePage(text, CP_ACP);
}

// How much of the progress bar the screen shows filled, in thousandths of
// its inner width (the bar's border is one pixel on each side).
int BarFill(HWND dialog)
{
    RECT bar;
    if (!GetWindowRect(GetDlgItem(dialog, kProgressId), &bar))
        return -1;
    const int width = bar.right - bar.left;
    HDC screen = GetDC(nullptr);
    HDC row = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, 1);
    HGDIOBJ old = SelectObject(row, bitmap);
    BitBlt(row, 0, 0, width, 1, screen, bar.left, (bar.top + bar.bottom) / 2, SRCCOPY);
    const COLORREF fill = GetSysColor(COLOR_HIGHLIGHT);
    int filled = 0;
    for (int x = 0; x < width; ++x)
        filled += GetPixel(row, x, 0) == fill;
    SelectObject(row, old);
    DeleteObject(bitmap);
    DeleteDC(row);
    ReleaseDC(nullptr, screen);
    return width > 2 ? filled * 1000 / (width - 2) : -1;
}

std::string LookAtDialog(HWND dialog)
{
    gSight.folderText = ControlText(dialog, kFolderId);
    gSight.fillBeforeOk = BarFill(dialog);
    return {};
}

class InstallScenario : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSight = {};
        work_ = FreshFolder("install-" + TestName());
        const std::string user = work_ + "\\user";
        CreateDirectoryA(user.c_str(), nullptr);
        CreateDirectoryA((user + "\\Temp").c_str(), nullptr);
        temp_ = user + "\\Temp";
        engine_ = work_ + "\\setup-engine.exe";
        ASSERT_TRUE(CopyFileA(EnginePath().c_str(), engine_.c_str(), FALSE));
    }
    void TearDown() override { ClearAttributes(work_); }

    // Runs the engine on the product's package with the installer's temporary
    // folder inside the work folder.
    RunResult Run(const ProductSpec& product, std::vector<std::string> arguments, std::vector<BoxStep> script,
                  bool japanese = false)
    {
        const std::string setup = BuildSetup(work_, product);
        arguments.push_back("-srcInstaller");
        arguments.push_back(setup);
        return RunProgram({engine_, arguments, japanese, {{"TEMP", temp_}, {"TMP", temp_}}, std::move(script)});
    }

    std::string InstallerTemp() const { return work_ + "\\user\\vbnxoPmet"; }

    // The IG….tmp folders that run-only runs made in folder.
    static std::vector<std::string> RunOnlyFolders(const std::string& folder)
    {
        std::vector<std::string> found;
        for (const std::string& name : ListFolder(folder))
            if (name.rfind("IG", 0) == 0 &&
                (GetFileAttributesA((folder + "\\" + name).c_str()) & FILE_ATTRIBUTE_DIRECTORY))
                found.push_back(name);
        return found;
    }

    std::string work_, engine_;
    std::string temp_;  // the user's temporary folder of the runs
};

void ExpectCleanRun(const RunResult& run)
{
    EXPECT_TRUE(run.failures.empty()) << run.failures.front();
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << "the engine did not end by itself";
}

void ExpectFailureBox(const ShownBox& box, const std::string& caption, const char* text)
{
    EXPECT_EQ(box.Caption(CP_UTF8), caption);
    EXPECT_EQ(box.Text(CP_UTF8), text);
    EXPECT_EQ(box.ButtonIds(), std::vector<int>{IDOK});
}

bool IsInstallDialog(const ShownBox& box)
{
    return box.HasButton(kBrowseId);
}

const std::vector<cabwriter::Member> kProduct = {
    MemberOf("$bmp"),
    MemberOf("readme.txt", 0x20),
    MemberOf("bin\\tool.exe", 0x21, 70000),   // read-only, over three data blocks
    MemberOf("data\\deep\\table.dat", 0x06),  // hidden and system
    MemberOf("flags.dat", 0xE0),              // run-after and name-is-UTF bits are dropped
    MemberOf("$"),
    MemberOf("$mask"),
};

void ExpectProductInstalled(const std::string& folder)
{
    // Wine shows every file with the archive bit and keeps no bits beyond 0x27.
    const struct {
        size_t member;
        DWORD attributes;
    } expected[] = {{1, 0x20}, {2, 0x21}, {3, 0x26}, {4, 0x20}};
    for (const auto& e : expected) {
        const std::string path = folder + "\\" + kProduct[e.member].name;
        EXPECT_EQ(ReadFileBytes(path), Content(kProduct[e.member])) << path;
        EXPECT_EQ(GetFileAttributesA(path.c_str()) & 0x1FF, e.attributes) << path;
    }
    for (const char* own : {"$", "$bmp", "$mask"})
        EXPECT_FALSE(FileExists(folder + "\\" + own)) << own;
}

TEST_F(InstallScenario, SetDirIntoANewFolderAsksAndInstallsEveryFile)
{
    const std::string folder = work_ + "\\new\\Product";
    const ULONGLONG before = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return (ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }();

    RunResult run = Run({.members = kProduct}, {"-JustDecomp", "-SetDir", folder}, {{Answer::Yes}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    const ShownBox& question = run.boxes[0];
    EXPECT_EQ(question.Caption(CP_UTF8), "Create a folder.");
    EXPECT_EQ(question.Text(CP_UTF8), "There is no \"" + folder + "\".\n\nCreate a new folder ?");
    EXPECT_EQ(question.ButtonIds(), (std::vector<int>{IDYES, IDNO}));
    EXPECT_FALSE(question.hasIcon);
    EXPECT_EQ(question.ownerClass, L"JovInstLangClass");
    ExpectProductInstalled(folder);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA((folder + "\\readme.txt").c_str(), GetFileExInfoStandard, &data));
    const ULONGLONG written =
        (ULONGLONG(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    EXPECT_GE(written + 20000000, before) << "the last write is the time of extraction, not the member's stamp";
}

TEST_F(InstallScenario, SetDirQuestionInJapanese)
{
    const std::string folder = work_ + "\\new\\Product";

    RunResult run = Run({.members = kProduct}, {"-JustDecomp", "-SetDir", folder}, {{Answer::Yes}}, true);

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].Caption(CP_UTF8), "フォルダ作成");
    EXPECT_EQ(run.boxes[0].Text(CP_UTF8), folder + " \nはありませんでした。\n\n指定フォルダを作成しますか？");
    ExpectProductInstalled(folder);
}

TEST_F(InstallScenario, SetDirQuestionAnsweredNoEndsTheRun)
{
    const std::string folder = work_ + "\\new\\Product";

    RunResult run = Run({.members = kProduct}, {"-JustDecomp", "-SetDir", folder}, {{Answer::No}, {Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectFailureBox(run.boxes[1], "Install Test", kInstallFailed);
    EXPECT_EQ(run.boxes[1].ownerClass, L"JovInstLangClass");
    EXPECT_FALSE(FileExists(work_ + "\\new"));
}

TEST_F(InstallScenario, SetDirQuestionAnsweredNoEndsTheRunInJapanese)
{
    const std::string folder = work_ + "\\new\\Product";

    RunResult run = Run({.members = kProduct}, {"-JustDecomp", "-SetDir", folder}, {{Answer::No}, {Answer::Ok}}, true);

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectFailureBox(run.boxes[1], kJapaneseNameUtf8, kInstallFailedJapanese);
}

TEST_F(InstallScenario, ReadOnlyFileAtTheTargetIsReplaced)
{
    const std::string folder = work_ + "\\existing";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(folder + "\\config.ini", "an older, longer configuration than the one installed\n"));
    ASSERT_TRUE(SetFileAttributesA((folder + "\\config.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    const cabwriter::Member config = MemberOf("config.ini", 0x20);

    RunResult run = Run({.members = {config}}, {"-JustDecomp", "-SetDir", folder}, {});

    ExpectCleanRun(run);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFileBytes(folder + "\\config.ini"), Content(config));
    EXPECT_EQ(GetFileAttributesA((folder + "\\config.ini").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

// The success message that ends a finished install; the registration
// scenarios look at what comes with it.
const BoxStep kAfterInstall = {Answer::Ok};

void ExpectInstalledBox(const ShownBox& box, const std::string& caption, const char* text)
{
    EXPECT_EQ(box.Caption(CP_UTF8), caption);
    EXPECT_EQ(box.Text(CP_UTF8), text);
}

TEST_F(InstallScenario, DialogShowsTheFolderAndOkInstallsWhileTheBarRunsToItsEnd)
{
    // The last file is large, so that the bar stands at its end for a while
    // before the dialog closes.
    ProductSpec product{.installFolder = work_ + "\\Shown Folder", .members = kProduct};
    product.members.push_back(MemberOf("zz-last.bin", 0x20, 48 << 20));

    RunResult run = Run(product, {}, {{Answer::Ok, 0, {}, LookAtDialog, BarFill}, {Answer::Yes}, kAfterInstall});

    ExpectCleanRun(run);
    ASSERT_GE(run.boxes.size(), 2u);
    const ShownBox& dialog = run.boxes[0];
    ASSERT_TRUE(IsInstallDialog(dialog));
    EXPECT_EQ(dialog.Caption(CP_UTF8), "Install Test");
    EXPECT_EQ(dialog.ButtonIds(), (std::vector<int>{IDOK, IDCANCEL, kBrowseId}));
    EXPECT_EQ(dialog.ownerClass, L"JovInstLangClass");
    EXPECT_EQ(gSight.folderText, product.installFolder);
    EXPECT_EQ(gSight.fillBeforeOk, 0);
    // The question about the missing folder comes from inside the dialog.
    EXPECT_EQ(run.boxes[1].Caption(CP_UTF8), "Create a folder.");
    EXPECT_EQ(run.boxes[1].owner, dialog.window);
    // While the dialog is still open after OK, the bar fills up and reaches its end.
    ASSERT_FALSE(dialog.samples.empty()) << "the dialog closed before the robot looked";
    EXPECT_TRUE(std::is_sorted(dialog.samples.begin(), dialog.samples.end()));
    EXPECT_GE(dialog.samples.back(), 950);
    ASSERT_EQ(run.boxes.size(), 3u);
    ExpectInstalledBox(run.boxes[2], "Install Test", kInstalled);
    ExpectProductInstalled(product.installFolder);
    EXPECT_EQ(ReadFileBytes(product.installFolder + "\\zz-last.bin").size(), size_t(48) << 20);
    DeleteFileA((product.installFolder + "\\zz-last.bin").c_str());
}

TEST_F(InstallScenario, DialogTakesAFolderTypedIntoTheBox)
{
    const std::string typed = work_ + "\\typed";
    CreateDirectoryA(typed.c_str(), nullptr);
    ProductSpec product{.installFolder = "%ProgramFiles%\\Install Test Typed", .members = kProduct};
    const std::wstring typedWide(typed.begin(), typed.end());

    RunResult run = Run(product, {}, {{Answer::Ok, kFolderId, typedWide, LookAtDialog}, kAfterInstall});

    ExpectCleanRun(run);
    ASSERT_FALSE(run.boxes.empty());
    EXPECT_TRUE(IsInstallDialog(run.boxes[0]));
    EXPECT_EQ(gSight.folderText, ProgramFilesFolder() + "\\Install Test Typed");
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectInstalledBox(run.boxes[1], "Install Test", kInstalled);
    ExpectProductInstalled(typed);
    EXPECT_FALSE(FileExists(ProgramFilesFolder() + "\\Install Test Typed"));
}

class DialogEnding : public InstallScenario, public ::testing::WithParamInterface<Answer> {};

TEST_P(DialogEnding, CancelAndTheCloseBoxFailTheRun)
{
    ProductSpec product{.installFolder = work_ + "\\Untouched", .members = kProduct};

    RunResult run = Run(product, {}, {{GetParam()}, {Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_TRUE(IsInstallDialog(run.boxes[0]));
    ExpectFailureBox(run.boxes[1], "Install Test", kInstallFailed);
    EXPECT_FALSE(FileExists(product.installFolder));
}

INSTANTIATE_TEST_SUITE_P(Answers, DialogEnding, ::testing::Values(Answer::Cancel, Answer::Close),
                         [](const ::testing::TestParamInfo<Answer>& info) {
                             return std::string(info.param == Answer::Cancel ? "Cancel" : "CloseBox");
                         });

TEST_F(InstallScenario, DialogInJapanese)
{
    ProductSpec product{.installFolder = work_ + "\\Japanese", .members = kProduct};
    CreateDirectoryA(product.installFolder.c_str(), nullptr);

    RunResult run = Run(product, {}, {{Answer::Ok, 0, {}, LookAtDialog}, kAfterInstall}, true);

    ExpectCleanRun(run);
    ASSERT_FALSE(run.boxes.empty());
    const ShownBox& dialog = run.boxes[0];
    ASSERT_TRUE(IsInstallDialog(dialog));
    EXPECT_EQ(dialog.Caption(CP_UTF8), kJapaneseNameUtf8);
    std::map<int, std::wstring> buttons;
    for (const ShownButton& button : dialog.buttons)
        buttons[button.id] = button.text;
    EXPECT_EQ(buttons, (std::map<int, std::wstring>{{IDOK, L"OK"}, {IDCANCEL, L"ｷｬﾝｾﾙ"}, {kBrowseId, L"参照"}}));
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectInstalledBox(run.boxes[1], kJapaneseNameUtf8, kInstalledJapanese);
    ExpectProductInstalled(product.installFolder);
}

TEST_F(InstallScenario, RunOnlyInstallsIntoAFreshFolderWithoutDialog)
{
    RunResult run = Run({.installFolder = work_ + "\\NotThisOne", .members = kProduct}, {"-JustExec"}, {});

    ExpectCleanRun(run);
    EXPECT_TRUE(run.boxes.empty()) << "no dialog, and no success message in a run-only run";
    EXPECT_EQ(std::count(run.otherWindowClasses.begin(), run.otherWindowClasses.end(), L"JovInstLangClass"), 0)
        << "the splash window stays hidden";
    const std::vector<std::string> runFolders = RunOnlyFolders(InstallerTemp());
    ASSERT_EQ(runFolders.size(), 1u);
    EXPECT_EQ(runFolders[0].substr(runFolders[0].size() - 4), ".tmp");
    ExpectProductInstalled(InstallerTemp() + "\\" + runFolders[0]);
    EXPECT_FALSE(FileExists(work_ + "\\NotThisOne"));
}

// A per-session temporary folder such as ...\Temp\2 puts the installer's
// folder beside it, below a "temp" component: the run-only folder's path is
// rewritten, and the rewrite makes that folder itself before the install does.
struct SessionTemp {
    const char* label;
    const char* sessionFolder;  // below the user folder
};

void PrintTo(const SessionTemp& c, std::ostream* out)
{
    *out << c.label;
}

class RunOnlyUnderATempComponent : public InstallScenario, public ::testing::WithParamInterface<SessionTemp> {};

TEST_P(RunOnlyUnderATempComponent, InstallsIntoTheRenamedFolder)
{
    const SessionTemp& c = GetParam();
    const std::string user = work_ + "\\user";
    const std::string session = user + "\\" + c.sessionFolder;
    const std::string sessionParent = session.substr(0, session.rfind('\\'));
    CreateDirectoryA(sessionParent.c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryA(session.c_str(), nullptr));
    temp_ = session;

    RunResult run = Run({.members = kProduct}, {"-JustDecomp"}, {});

    ExpectCleanRun(run);
    EXPECT_TRUE(run.boxes.empty()) << run.boxes.front().Text(CP_UTF8);
    const std::string renamed = user + "\\tteemmpp" + UserName() + "\\vbnxoPmet";
    const std::vector<std::string> runFolders = RunOnlyFolders(renamed);
    ASSERT_EQ(runFolders.size(), 1u) << renamed;
    ExpectProductInstalled(renamed + "\\" + runFolders[0]);
    const std::string unrenamed = sessionParent + "\\vbnxoPmet";
    EXPECT_TRUE(RunOnlyFolders(unrenamed).empty()) << unrenamed;
}

INSTANTIATE_TEST_SUITE_P(Sessions, RunOnlyUnderATempComponent,
                         ::testing::Values(SessionTemp{"Temp", "Temp\\2"}, SessionTemp{"LowerCaseTmp", "tmp\\7"}),
                         [](const ::testing::TestParamInfo<SessionTemp>& info) {
                             return std::string(info.param.label);
                         });

struct PlaceholderCase {
    const char* label;
    const char* folder;  // "~" stands for the work folder
    std::vector<std::string> options;
    std::string (*expected)(const std::string& work);
};

void PrintTo(const PlaceholderCase& c, std::ostream* out)
{
    *out << c.label;
}

const PlaceholderCase kPlaceholderCases[] = {
    {"ProgramFiles",
     "%ProgramFiles%\\Maker\\Tool",
     {},
     [](const std::string&) { return ProgramFilesFolder() + "\\Maker\\Tool"; }},
    {"ProgramFilesOrUserForceAdmin",
     "%ProgramFilesOrUser%\\Tool",
     {"-ForceAdmin"},
     [](const std::string&) { return ProgramFilesFolder() + "\\Tool"; }},
    {"ProgramFilesOrUserForceUser",
     "%ProgramFilesOrUser%\\Tool",
     {"-ForceUser"},
     [](const std::string&) { return AppDataFolder() + "\\Tool"; }},
    {"UserTmp", "%UserTmp%\\Tool", {}, [](const std::string& work) { return work + "\\user\\tteemmpp\\Tool"; }},
    {"TempComponent",
     "~\\Temp\\Tool",
     {},
     [](const std::string& work) { return work + "\\tteemmpp" + UserName() + "\\Tool"; }},
};

class Placeholders : public InstallScenario, public ::testing::WithParamInterface<PlaceholderCase> {};

TEST_P(Placeholders, ExpandToTheFoldersWineReports)
{
    const PlaceholderCase& c = GetParam();
    std::string folder = c.folder;
    if (folder[0] == '~')
        folder = work_ + folder.substr(1);

    RunResult run = Run({.installFolder = folder, .members = kProduct}, c.options,
                        {{Answer::Cancel, 0, {}, LookAtDialog}, {Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_FALSE(run.boxes.empty());
    EXPECT_TRUE(IsInstallDialog(run.boxes[0]));
    EXPECT_EQ(gSight.folderText, c.expected(work_));
}

INSTANTIATE_TEST_SUITE_P(Folders, Placeholders, ::testing::ValuesIn(kPlaceholderCases),
                         [](const ::testing::TestParamInfo<PlaceholderCase>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(InstallScenario, TempComponentFolderIsMadeBeforeTheDialog)
{
    RunResult run =
        Run({.installFolder = work_ + "\\Temp\\Tool", .members = kProduct}, {}, {{Answer::Cancel}, {Answer::Ok}});

    ExpectCleanRun(run);
    EXPECT_TRUE(FileExists(work_ + "\\tteemmpp" + UserName() + "\\Tool"));
    EXPECT_FALSE(FileExists(work_ + "\\Temp"));
}

TEST_F(InstallScenario, ExpansionTooLongStaysVisibleAndIsRefused)
{
    const std::string folder = "%ProgramFiles%\\" + std::string(511 - ProgramFilesFolder().size(), 'x');

    RunResult run =
        Run({.installFolder = folder, .members = kProduct}, {}, {{Answer::Ok, 0, {}, LookAtDialog}, {Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 2u) << "no question about a folder that cannot be used";
    EXPECT_EQ(gSight.folderText, folder) << "the dialog shows the folder unexpanded";
    ExpectFailureBox(run.boxes[1], "Install Test", kInstallFailed);
}

struct HostileCabinet {
    const char* label;
    std::string name;
    std::string outside;  // where the file would land: "~" stands for the work folder
};

void PrintTo(const HostileCabinet& c, std::ostream* out)
{
    *out << c.label;
}

class HostileNames : public InstallScenario, public ::testing::WithParamInterface<HostileCabinet> {};

TEST_P(HostileNames, FailTheRunAndWriteNothingOutside)
{
    const HostileCabinet& c = GetParam();
    std::string outside = c.outside[0] == '~' ? work_ + c.outside.substr(1) : c.outside;
    DeleteFileA(outside.c_str());
    const std::string folder = work_ + "\\dest";
    CreateDirectoryA(folder.c_str(), nullptr);
    ProductSpec product;
    product.rawCabinet = RawStoredCabinet({{"first.txt", "first\n"}, {c.name, "escaped\n"}, {"last.txt", "last\n"}});

    RunResult run = Run(product, {"-JustDecomp", "-SetDir", folder}, {{Answer::Ok}});

    ExpectCleanRun(run);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectFailureBox(run.boxes[0], "Install Test", kInstallFailed);
    EXPECT_FALSE(FileExists(outside)) << outside;
    EXPECT_FALSE(FileExists(folder + "\\last.txt"));
    EXPECT_EQ(ListFolder(work_), (std::vector<std::string>{"dest", "setup-engine.exe", "setup.exe", "user"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cabinets, HostileNames,
    ::testing::Values(HostileCabinet{"ParentFolder", "..\\escape.txt", "~\\escape.txt"},
                      HostileCabinet{"AbsolutePath", "C:\\engine-abs.txt", "C:\\engine-abs.txt"},
                      HostileCabinet{"SixHundredBytes", std::string(300, 'a') + "\\" + std::string(299, 'b'),
                                     "~\\dest\\" + std::string(300, 'a')}),
    [](const ::testing::TestParamInfo<HostileCabinet>& info) { return std::string(info.param.label); });

// The splash picture of these runs: one colour no other part of the screen has.
constexpr Rgb kPictureColour = {12, 200, 34};
constexpr int kPictureWidth = 64, kPictureHeight = 48;
int gPicturePixels = -1;
std::vector<std::string> gBitmapFilesLeft;

std::string LookAtSplash(HWND box)
{
    HWND splash = GetWindow(box, GW_OWNER);
    ShowWindow(splash, SW_SHOWNA);  // run-only windows stay hidden; the picture is painted anyway
    const Screenshot shot = CaptureWhen([](const Screenshot& s) {
        return s.CountColour(kPictureColour, 0, 0, s.Width(), s.Height()) >= kPictureWidth * kPictureHeight;
    });
    gPicturePixels = shot.CountColour(kPictureColour, 0, 0, shot.Width(), shot.Height());
    return {};
}

std::string BitmapFile(int width, int height, Rgb colour, const std::string& path)
{
    EXPECT_TRUE(WriteBitmapFile(path, width, height, [colour](int, int) { return colour; }));
    return ReadFileBytes(path);
}

TEST_F(InstallScenario, SplashShowsThePackagesPictureAndLeavesNoBitmapFiles)
{
    const std::string picture = BitmapFile(kPictureWidth, kPictureHeight, kPictureColour, work_ + "\\picture.bmp");
    const std::string mask = BitmapFile(kPictureWidth, kPictureHeight, {0, 0, 0}, work_ + "\\mask.bmp");
    std::vector<cabwriter::Member> members = kProduct;
    members[0].data.assign(picture.begin(), picture.end());
    members[6].data.assign(mask.begin(), mask.end());
    gPicturePixels = -1;
    const std::string missing = work_ + "\\missing";

    RunResult run = Run({.members = members}, {"-JustDecomp", "-SetDir", missing},
                        {{Answer::No, 0, {}, LookAtSplash}, {Answer::Ok}});

    ExpectCleanRun(run);
    EXPECT_EQ(gPicturePixels, kPictureWidth * kPictureHeight);
    const std::vector<std::string> left = ListFolder(InstallerTemp());
    EXPECT_EQ(std::count(left.begin(), left.end(), "$bmp"), 0);
    EXPECT_EQ(std::count(left.begin(), left.end(), "$mask"), 0);
}

}  // namespace

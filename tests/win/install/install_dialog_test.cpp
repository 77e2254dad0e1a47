// The install dialog and its folder work, in this process: the templates as
// the resource holds them, a dialog answered by message hooks that also watch
// every position the progress bar is given, and the folder operations.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "install/install_dialog.h"
#include "package/package_loader.h"
#include "tests/win/install/install_test_support.h"
#include "text/text_scan.h"

namespace {

// One control of a dialog template.
struct TemplateItem {
    int id;
    std::wstring className;
    std::wstring text;
    short x, y, cx, cy;
    DWORD style;
};

struct DialogTemplate {
    DWORD style;
    short x, y, cx, cy;
    std::wstring caption;
    WORD fontSize;
    std::wstring fontName;
    std::vector<TemplateItem> items;
};

// Reads a name-or-ordinal field; ordinals of the predefined classes become names.
std::wstring NameOrOrdinal(const WORD*& p)
{
    if (*p == 0xFFFF) {
        const WORD ordinal = p[1];
        p += 2;
        switch (ordinal) {
        case 0x80: return L"BUTTON";
        case 0x81: return L"EDIT";
        case 0x82: return L"STATIC";
        default: return L"#" + std::to_wstring(ordinal);
        }
    }
    std::wstring text;
    while (*p != 0)
        text += static_cast<wchar_t>(*p++);
    ++p;
    return text;
}

const WORD* AlignToDword(const WORD* p)
{
    return reinterpret_cast<const WORD*>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
}

bool ReadTemplate(const char* name, DialogTemplate& out)
{
    HRSRC resource = FindResourceA(nullptr, name, MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (resource == nullptr)
        return false;
    const auto* header = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, resource)));
    out.style = header->style;
    out.x = header->x, out.y = header->y, out.cx = header->cx, out.cy = header->cy;
    const WORD* p = reinterpret_cast<const WORD*>(header + 1);
    NameOrOrdinal(p);  // menu
    NameOrOrdinal(p);  // class
    out.caption = NameOrOrdinal(p);
    if (header->style & DS_SETFONT) {
        out.fontSize = *p++;
        out.fontName = NameOrOrdinal(p);
    }
    for (int i = 0; i < header->cdit; ++i) {
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(AlignToDword(p));
        TemplateItem read;
        read.style = item->style;
        read.x = item->x, read.y = item->y, read.cx = item->cx, read.cy = item->cy;
        read.id = item->id;
        p = reinterpret_cast<const WORD*>(item + 1);
        read.className = NameOrOrdinal(p);
        read.text = NameOrOrdinal(p);
        p += 1 + (*p + 1) / 2;  // creation data
        out.items.push_back(read);
    }
    return true;
}

std::wstring Upper(std::wstring text)
{
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

constexpr DWORD kDialogStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

struct TemplateTexts {
    const char* name;
    std::wstring caption, font, prompt, browse, cancel;
};

const TemplateTexts kTemplates[] = {
    {"InstallDlgE", L"English Installer", L"MS Sans Serif", L"Specify an installation folder.", L"Inquire", L"Cancel"},
    {"InstallDlgJ", L"日本語インストーラー", L"ＭＳ Ｐゴシック", L"インストール先フォルダを指定してください。", L"参照",
     L"ｷｬﾝｾﾙ"},
};

TEST(InstallDialogTemplates, HoldTheLayoutStylesAndTextsOfBothLanguages)
{
    for (const TemplateTexts& t : kTemplates) {
        SCOPED_TRACE(t.name);
        DialogTemplate read;
        ASSERT_TRUE(ReadTemplate(t.name, read));
        EXPECT_EQ(read.style, kDialogStyle);
        EXPECT_EQ(std::vector<short>({read.x, read.y, read.cx, read.cy}), std::vector<short>({0, 0, 267, 71}));
        EXPECT_EQ(read.caption, t.caption);
        EXPECT_EQ(read.fontSize, 9);
        EXPECT_EQ(read.fontName, t.font);
        const std::vector<TemplateItem> expected = {
            {kPromptTextId, L"STATIC", t.prompt, 7, 6, 243, 14, kChild | WS_GROUP | SS_LEFT},
            {kFolderEditId, L"EDIT", L"", 6, 24, 200, 14, kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
            {kBrowseButtonId, L"BUTTON", t.browse, 211, 24, 50, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON},
            {kProgressBarId, L"MSCTLS_PROGRESS32", L"Progress1", 6, 47, 145, 14, kChild | WS_BORDER},
            {IDOK, L"BUTTON", L"OK", 156, 47, 50, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON},
            {IDCANCEL, L"BUTTON", t.cancel, 211, 47, 50, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON},
        };
        ASSERT_EQ(read.items.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const TemplateItem &e = expected[i], &r = read.items[i];
            EXPECT_EQ(r.id, e.id);
            EXPECT_EQ(Upper(r.className), e.className) << e.id;
            EXPECT_EQ(r.text, e.text) << e.id;
            EXPECT_EQ(std::vector<short>({r.x, r.y, r.cx, r.cy}), std::vector<short>({e.x, e.y, e.cx, e.cy})) << e.id;
            EXPECT_EQ(r.style, e.style) << e.id;
        }
    }
}

// What the hooks saw of one dialog, and how they answer it.
struct DialogWatch {
    WPARAM answer = IDOK;
    HWND dialog = nullptr;
    std::vector<int> positions;  // every PBM_SETPOS, in order
    std::string caption, folderText;
    int rangeHigh = -1;
    bool centred = false;
};

DialogWatch gWatch;

// Sent messages: the bar's positions, and the dialog's start, which is
// answered by a posted button press.
LRESULT CALLBACK WatchSent(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        char className[64] = "";
        GetClassNameA(sent->hwnd, className, sizeof className);
        if (sent->message == PBM_SETPOS && lstrcmpiA(className, PROGRESS_CLASSA) == 0)
            gWatch.positions.push_back(static_cast<int>(sent->wParam));
        if (sent->message == WM_INITDIALOG && gWatch.dialog == nullptr) {
            gWatch.dialog = sent->hwnd;
            PostMessageA(sent->hwnd, WM_COMMAND, gWatch.answer, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Posted messages: when the answer is taken from the queue, the dialog is
// fully set up; what it shows is read then.
LRESULT CALLBACK WatchPosted(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* posted = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && posted->hwnd == gWatch.dialog && posted->message == WM_COMMAND) {
        char text[512];
        GetWindowTextA(gWatch.dialog, text, sizeof text);
        gWatch.caption = text;
        GetDlgItemTextA(gWatch.dialog, kFolderEditId, text, sizeof text);
        gWatch.folderText = text;
        gWatch.rangeHigh = static_cast<int>(SendDlgItemMessageA(gWatch.dialog, kProgressBarId, PBM_GETRANGE, 0, 0));
        RECT frame;
        GetWindowRect(gWatch.dialog, &frame);
        const int dx = (frame.left + frame.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2;
        const int dy = (frame.top + frame.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2;
        gWatch.centred = dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class InstallDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseCodePage(GetACP());
        work_ = FreshFolder("dialog-" + TestName());
        folder_ = work_ + "\\Product Folder";
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
        members_ = {MemberOf("one.txt", 0x20, 1000), MemberOf("$bmp", 0x20, 500), MemberOf("two.txt", 0x20, 3000),
                    MemberOf("sub\\three.txt", 0x20, 6000)};
        WriteCabinet(work_ + "\\IL1.tmp", members_);
        settings_ = {};
        for (SetupInfo* info : {&settings_.english, &settings_.japanese}) {
            strcpy(info->productName, "Test Tool");
            strcpy(info->installFolder, folder_.c_str());
        }
        settings_.totalInstallBytes = 10000;
        workFile_ = work_ + "\\IL1.tmp";
        run_ = {};
        run_.settings = &settings_;
        run_.packageTempFile = workFile_.c_str();
        gWatch = DialogWatch();
    }

    int Run(WPARAM answer)
    {
        gWatch.answer = answer;
        HHOOK sent = SetWindowsHookExA(WH_CALLWNDPROC, WatchSent, nullptr, GetCurrentThreadId());
        HHOOK posted = SetWindowsHookExA(WH_GETMESSAGE, WatchPosted, nullptr, GetCurrentThreadId());
        const int result = RunInstallDialog(run_, GetModuleHandleA(nullptr), "", 0);
        UnhookWindowsHookEx(sent);
        UnhookWindowsHookEx(posted);
        return result;
    }

    std::string work_, folder_, workFile_;
    std::vector<cabwriter::Member> members_;
    PackageSettings settings_;
    RunContext run_;
};

TEST_F(InstallDialog, OkInstallsWhileTheBarRunsToItsEnd)
{
    EXPECT_NE(Run(IDOK), 0);

    EXPECT_EQ(gWatch.caption, "Test Tool");
    EXPECT_EQ(gWatch.folderText, folder_);
    EXPECT_EQ(gWatch.rangeHigh, 10000);
    EXPECT_TRUE(gWatch.centred);
    // Opening sets the position from the counters; then each file counts
    // whole when its extraction starts.
    EXPECT_EQ(gWatch.positions, (std::vector<int>{0, 1000, 4000, 10000}));
    EXPECT_EQ(settings_.installedBytes, 10000u);
    EXPECT_EQ(ListFolder(folder_), (std::vector<std::string>{"one.txt", "sub", "two.txt"}));
    EXPECT_EQ(ReadFileBytes(folder_ + "\\sub\\three.txt"), ContentOf(members_[3]));
}

TEST_F(InstallDialog, CancelInstallsNothing)
{
    EXPECT_EQ(Run(IDCANCEL), 0);

    EXPECT_NE(gWatch.dialog, nullptr);
    EXPECT_TRUE(ListFolder(folder_).empty());
}

TEST_F(InstallDialog, JapaneseDialogShowsTheJapaneseTemplate)
{
    EXPECT_NE(Run(IDOK), 0);

    EXPECT_EQ(gWatch.caption, "Test Tool");
    EXPECT_EQ(gWatch.positions.back(), 10000);
    EXPECT_EQ(ListFolder(folder_), (std::vector<std::string>{"one.txt", "sub", "two.txt"}));
}

TEST_F(InstallDialog, TotalOfZeroLeavesTheBarAtZero)
{
    settings_.totalInstallBytes = 0;

    EXPECT_NE(Run(IDOK), 0);

    EXPECT_EQ(gWatch.positions, (std::vector<int>{0, 0, 0, 0}));
}

TEST(InstallFolders, ExistenceMeansAFolder)
{
    const std::string work = FreshFolder("folders-exist");
    ASSERT_TRUE(WriteFileBytes(work + "\\file", "x"));
    EXPECT_TRUE(FolderExists(work.c_str()));
    EXPECT_FALSE(FolderExists((work + "\\file").c_str()));
    EXPECT_FALSE(FolderExists((work + "\\missing").c_str()));
}

TEST(InstallFolders, TreesAreMadeLevelByLevel)
{
    const std::string work = FreshFolder("folders-tree");
    EXPECT_TRUE(CreateFolderTree((work + "\\a\\b\\c").c_str()));
    EXPECT_TRUE(FolderExists((work + "\\a\\b\\c").c_str()));
    EXPECT_TRUE(CreateFolderTree((work + "\\x\\y\\").c_str())) << "a trailing backslash";
    EXPECT_TRUE(FolderExists((work + "\\x\\y").c_str()));
    ASSERT_TRUE(WriteFileBytes(work + "\\file", "x"));
    EXPECT_FALSE(CreateFolderTree((work + "\\file\\sub").c_str()));
}

TEST(InstallFolders, RunOnlyFoldersAreNewEmptyIgFolders)
{
    char temp[512];
    ASSERT_NE(GetInstallerTempFolder(sizeof temp, temp), 0u);
    char first[512], second[512];
    ASSERT_TRUE(CreateRunOnlyFolder(first));
    ASSERT_TRUE(CreateRunOnlyFolder(second));
    for (const std::string folder : {first, second}) {
        const std::string name = folder.substr(folder.rfind('\\') + 1);
        EXPECT_EQ(folder.substr(0, folder.rfind('\\')), temp);
        EXPECT_EQ(name.substr(0, 2), "IG");
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
        EXPECT_TRUE(FolderExists(folder.c_str()));
        EXPECT_TRUE(ListFolder(folder).empty());
        RemoveDirectoryA(folder.c_str());
    }
    EXPECT_STRNE(first, second);
}

}  // namespace

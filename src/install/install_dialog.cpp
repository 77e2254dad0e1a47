#include "install/install_dialog.h"

#include <commctrl.h>
#include <shlobj.h>

#include "install/folder_placeholder_rules.h"
#include "install/install_dialog_rules.h"
#include "install/install_dialog_texts.h"
#include "install/shell_memory.h"
#include "package/cabinet_extraction.h"
#include "setup/setup_state.h"
#include "text/bounded_text.h"
#include "text/language.h"

namespace {

constexpr size_t kBrowserTextSize = 260;

// One dialog at a time.
struct InstallDialogState {
    HWND installDialog;  // set while the dialog is open
    char productFolderName[kPathSize];
    int installResult;
};

InstallDialogState gDialog;

// The progress bar's class comes from the common controls, which are asked
// for explicitly; both entry points are looked up, so that a system without
// InitCommonControlsEx still starts. The library stays loaded for the class.
void MakeProgressBarAvailable()
{
    HMODULE controls = LoadLibraryA("comctl32.dll");
    if (controls == nullptr)
        return;
    using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    using Init = void(WINAPI*)();
    const auto initEx =
        reinterpret_cast<InitEx>(reinterpret_cast<void (*)()>(GetProcAddress(controls, "InitCommonControlsEx")));
    const INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    if (initEx != nullptr && initEx(&classes))
        return;
    const auto init =
        reinterpret_cast<Init>(reinterpret_cast<void (*)()>(GetProcAddress(controls, "InitCommonControls")));
    if (init != nullptr)
        init();
}

void CentreOnScreen(HWND dialog)
{
    RECT frame;
    if (!GetWindowRect(dialog, &frame))
        return;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    MoveWindow(dialog, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width,
               height, FALSE);
}

void InitInstallDialog(HWND dialog)
{
    gDialog.installDialog = dialog;
    SetupInfo& info = ActiveSetupInfo();
    SetWindowTextA(dialog, info.productName);
    SetDlgItemTextA(dialog, kFolderEditId, info.installFolder);
    ProductFolderNameOf(info.installFolder, gDialog.productFolderName, sizeof gDialog.productFolderName);
    HWND bar = GetDlgItem(dialog, kProgressBarId);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressRange));
    SendMessageA(bar, PBM_SETSTEP, kProgressRange, 0);
    SendMessageA(bar, PBM_DELTAPOS, 1, 0);
    AdvanceInstallProgress(0);
    CentreOnScreen(dialog);
}

void EndInstallDialog(HWND dialog)
{
    EndDialog(dialog, 1);
    gDialog.installDialog = nullptr;
}

// OK: the folder in the text box is taken and the product unpacked into it,
// right here; the dialog closes whatever the result.
void AcceptFolder(HWND dialog)
{
    SetupInfo& info = ActiveSetupInfo();
    if (!GetDlgItemTextA(dialog, kFolderEditId, info.installFolder, sizeof info.installFolder))
        info.installFolder[0] = '\0';
    gDialog.installResult = InstallIntoFolder(dialog, gSetupState.packageSettings);
    EndInstallDialog(dialog);
}

void PickFolder(HWND dialog)
{
    SetupInfo& info = ActiveSetupInfo();
    BrowseForInstallFolder(dialog, info.installFolder);
    if (AppendProductFolderName(info.installFolder, gDialog.productFolderName))
        SetDlgItemTextA(dialog, kFolderEditId, info.installFolder);
}

}  // namespace

int RunInstallDialog(HWND owner, HINSTANCE instance, const char* setDir, int justExec)
{
    SetupInfo& info = ActiveSetupInfo();
    gDialog.installResult = 0;
    if (setDir != nullptr && setDir[0] != '\0') {
        if (CopyText(info.installFolder, setDir))
            gDialog.installResult = InstallIntoFolder(owner, gSetupState.packageSettings);
        return gDialog.installResult;
    }
    if (justExec) {
        if (CreateRunOnlyFolder(info.installFolder))
            gDialog.installResult = InstallIntoFolder(owner, gSetupState.packageSettings);
        return gDialog.installResult;
    }
    MakeProgressBarAvailable();
    DialogBoxParamA(instance, InstallDialogTemplate(IsJapaneseUi()), owner, InstallDialogProc, 0);
    return gDialog.installResult;
}

int InstallIntoFolder(HWND owner, PackageSettings& settings)
{
    const char* folder = (IsJapaneseUi() ? settings.japanese : settings.english).installFolder;
    size_t placeholderLength = 0;
    if (folder[0] == '\0' || MatchFolderPlaceholder(folder, &placeholderLength) != FolderPlaceholder::None)
        return 0;
    if (!FolderExists(folder) && !(AskCreateFolder(owner, folder) && CreateFolderTree(folder)))
        return 0;
    return ExtractProductFiles(settings, gSetupState.packageTempFile, AdvanceInstallProgress);
}

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        InitInstallDialog(dialog);
        return 0;  // the system sets no initial focus
    }
    if (message != WM_COMMAND)
        return 0;
    switch (LOWORD(wParam)) {
    case IDOK: AcceptFolder(dialog); return 1;
    case IDCANCEL: EndInstallDialog(dialog); return 1;
    case kBrowseButtonId: PickFolder(dialog); return 0;
    default: return 0;
    }
}

void BrowseForInstallFolder(HWND dialog, char* folder)
{
    char title[kBrowserTextSize];
    if (!GetDlgItemTextA(dialog, kPromptTextId, title, sizeof title))
        title[0] = '\0';
    LPITEMIDLIST desktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop)))
        desktop = nullptr;
    char displayName[kBrowserTextSize];
    BROWSEINFOA browse = {};
    browse.hwndOwner = dialog;
    browse.pidlRoot = desktop;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST picked = SHBrowseForFolderA(&browse);
    char path[MAX_PATH];
    if (picked != nullptr && SHGetPathFromIDListA(picked, path) && CopyText(folder, kPathSize, path))
        SetDlgItemTextA(dialog, kFolderEditId, folder);
    FreeShellMemory(picked);
    FreeShellMemory(desktop);
}

void AdvanceInstallProgress(int32_t byteCount)
{
    PackageSettings& settings = gSetupState.packageSettings;
    // The extraction hands on a member's unsigned size as a signed count.
    settings.installedBytes = AddInstalledBytes(settings.installedBytes, static_cast<uint32_t>(byteCount));
    const int position = ProgressPosition(settings.installedBytes, settings.totalInstallBytes);
    if (gDialog.installDialog != nullptr)
        SendDlgItemMessageA(gDialog.installDialog, kProgressBarId, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

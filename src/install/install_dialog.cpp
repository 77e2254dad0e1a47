#include "install/install_dialog.h"

#include <commctrl.h>
#include <shlobj.h>

#include "install/folder_placeholder_rules.h"
#include "install/install_dialog_rules.h"
#include "install/install_dialog_texts.h"
#include "install/registration.h"
#include "install/shell_memory.h"
#include "package/cabinet_extraction.h"
#include "text/bounded_text.h"
#include "text/language.h"
#include "text/path_size.h"

namespace {

constexpr size_t kBrowserTextSize = 260;

// What the open dialog works with; the dialog keeps a pointer to it in its
// DWLP_USER slot.
struct InstallDialogState {
    InstallProgress progress;  // progress.dialog is set while the dialog is open
    char productFolderName[kPathSize];
    int installResult;
};

InstallDialogState& StateOf(HWND dialog)
{
    return *reinterpret_cast<InstallDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The extraction's member callback, as each product file is about to be
// written: a line in the log, and the file goes into the list when the run
// keeps one.
void NoteProductFile(void* progress, const char* memberName)
{
    const RunContext& run = *static_cast<const InstallProgress*>(progress)->run;
    LogStep(run.log, "file", memberName);
    if (run.recordInstalledFiles)
        RecordInstalledFile(run, memberName);
}

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

void InitInstallDialog(HWND dialog, InstallDialogState& state)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    state.progress.dialog = dialog;
    SetupInfo& info = ActiveSetupInfo(*state.progress.run->settings);
    SetWindowTextA(dialog, info.productName);
    SetDlgItemTextA(dialog, kFolderEditId, info.installFolder);
    ProductFolderNameOf(info.installFolder, state.productFolderName, sizeof state.productFolderName);
    HWND bar = GetDlgItem(dialog, kProgressBarId);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressRange));
    SendMessageA(bar, PBM_SETSTEP, kProgressRange, 0);
    SendMessageA(bar, PBM_DELTAPOS, 1, 0);
    AdvanceInstallProgress(&state.progress, 0);
    CentreOnScreen(dialog);
}

void EndInstallDialog(HWND dialog)
{
    EndDialog(dialog, 1);
    StateOf(dialog).progress.dialog = nullptr;
}

// OK: the folder in the text box is taken and the product unpacked into it,
// right here; the dialog closes whatever the result.
void AcceptFolder(HWND dialog)
{
    InstallDialogState& state = StateOf(dialog);
    SetupInfo& info = ActiveSetupInfo(*state.progress.run->settings);
    if (!GetDlgItemTextA(dialog, kFolderEditId, info.installFolder, sizeof info.installFolder))
        info.installFolder[0] = '\0';
    state.installResult = InstallIntoFolder(dialog, state.progress);
    EndInstallDialog(dialog);
}

void PickFolder(HWND dialog)
{
    InstallDialogState& state = StateOf(dialog);
    SetupInfo& info = ActiveSetupInfo(*state.progress.run->settings);
    BrowseForInstallFolder(dialog, info.installFolder);
    if (AppendProductFolderName(info.installFolder, state.productFolderName))
        SetDlgItemTextA(dialog, kFolderEditId, info.installFolder);
}

}  // namespace

int RunInstallDialog(const RunContext& run, HINSTANCE instance, const char* setDir, int justExec)
{
    SetupInfo& info = ActiveSetupInfo(*run.settings);
    InstallDialogState state = {{nullptr, &run}, "", 0};
    // No dialog for "-SetDir"'s folder, a new run-only folder, or in a silent
    // run the folder the dialog would propose.
    const bool haveSetDir = setDir != nullptr && setDir[0] != '\0';
    if (haveSetDir || justExec || run.silent) {
        bool ready = true;
        if (haveSetDir) {
            ready = CopyText(info.installFolder, setDir);
        } else if (justExec) {
            ready = CreateRunOnlyFolder(info.installFolder);
            if (!ready)
                LogFailure(run.log, "folder", "a new run-only folder", GetLastError());
        }
        if (ready)
            state.installResult = InstallIntoFolder(run.owner, state.progress);
        return state.installResult;
    }
    MakeProgressBarAvailable();
    DialogBoxParamA(instance, InstallDialogTemplate(IsJapaneseUi()), run.owner, InstallDialogProc,
                    reinterpret_cast<LPARAM>(&state));
    return state.installResult;
}

int InstallIntoFolder(HWND owner, InstallProgress& progress)
{
    const RunContext& run = *progress.run;
    const char* folder = ActiveSetupInfo(*run.settings).installFolder;
    size_t placeholderLength = 0;
    if (folder[0] == '\0' || MatchFolderPlaceholder(folder, &placeholderLength) != FolderPlaceholder::None) {
        LogStep(run.log, "folder", folder, "no folder to install into");
        return 0;
    }
    LogStep(run.log, "folder", folder);
    if (!FolderExists(folder)) {
        if (!run.silent && !AskCreateFolder(owner, folder)) {
            LogStep(run.log, "folder", folder, "not created: the question was not answered Yes");
            return 0;
        }
        if (!CreateFolderTree(folder)) {
            LogFailure(run.log, "folder", folder, GetLastError());
            return 0;
        }
        LogStep(run.log, "folder", folder, "created");
    }
    const ExtractionListener listener = {AdvanceInstallProgress, NoteProductFile, &progress};
    if (ExtractProductFiles(*run.settings, run.packageTempFile, listener))
        return 1;
    LogFailure(run.log, "extract", folder, GetLastError());
    return 0;
}

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        InitInstallDialog(dialog, *reinterpret_cast<InstallDialogState*>(lParam));
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

void AdvanceInstallProgress(void* progress, int32_t byteCount)
{
    const InstallProgress& install = *static_cast<const InstallProgress*>(progress);
    PackageSettings& settings = *install.run->settings;
    // The extraction hands on a member's unsigned size as a signed count.
    settings.installedBytes = AddInstalledBytes(settings.installedBytes, static_cast<uint32_t>(byteCount));
    const int position = ProgressPosition(settings.installedBytes, settings.totalInstallBytes);
    if (install.dialog != nullptr)
        SendDlgItemMessageA(install.dialog, kProgressBarId, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

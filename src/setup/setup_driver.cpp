#include <windows.h>

#include "env/os_version.h"
#include "env/privileges.h"
#include "env/running_apps.h"
#include "install/current_folder.h"
#include "install/folder_placeholders.h"
#include "install/install_dialog.h"
#include "install/launch.h"
#include "install/registration.h"
#include "package/cabinet_extraction.h"
#include "package/file_ops.h"
#include "package/package_loader.h"
#include "setup/run_decisions.h"
#include "setup/setup_state.h"
#include "setup/setup_texts.h"
#include "text/bounded_text.h"
#include "text/language.h"
#include "ui/splash_window.h"
#include "uninstall/uninstaller.h"

// Zeroed at start-up; a run starts as installing (RunSetup).
SetupState gSetupState;

namespace {

// What RunSetup keeps for the length of one run.
struct RunLocals {
    char ownFolder[kPathSize];
    char ownFileName[kPathSize];
    char tempFolder[kPathSize];
    char bitmapPath[kPathSize];
    char maskPath[kPathSize];
    RunOptions options;
    int installed;
};

void CreateFolderIgnoringFailure(const char* path)
{
    CreateDirectoryA(path, nullptr);
}

// The logon name, or "user" when the system cannot tell.
void QueryUserName(char (&name)[kArgumentLineSize])
{
    DWORD size = sizeof name;
    if (!GetUserNameA(name, &size) || name[0] == '\0')
        CopyText(name, "user");
}

void DeleteWorkFile()
{
    if (gSetupState.packageTempFile[0] != '\0')
        DeleteFileA(gSetupState.packageTempFile);
}

void CreateWorkFile(RunLocals& run)
{
    gSetupState.packageTempFile[0] = '\0';
    if (GetInstallerTempFolder(sizeof run.tempFolder, run.tempFolder) == 0 || run.tempFolder[0] == '\0')
        return;
    if (!GetTempFileNameA(run.tempFolder, "IL", 0, gSetupState.packageTempFile))
        gSetupState.packageTempFile[0] = '\0';
}

// An installing run reads the carrier twice (settings, then cabinet) and
// copies it as the uninstaller at the end. It keeps the file open from the
// start, letting others only read it, so that nobody can delete, cut or
// rewrite it while the run waits for the user.
HANDLE HoldCarrier(const RunOptions& options)
{
    if (!options.isInstall || options.srcInstaller[0] == '\0')
        return INVALID_HANDLE_VALUE;
    return CreateFileA(options.srcInstaller, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

void TakeOptions(const RunOptions& options)
{
    gSetupState.justExec = options.justExec;
    gSetupState.okIfNotAdmin = options.okIfNotAdmin;
    gSetupState.justDecomp = options.justDecomp;
    gSetupState.forceAdmin = options.forceAdmin;
    gSetupState.forceUser = options.forceUser;
    gSetupState.isInstall = options.isInstall;
}

// Steps 6 to 8: returns false when the run ends for want of rights.
bool CheckRights(const SetupInfo& info)
{
    if (DecidePerUserInstall(gSetupState.forceAdmin != 0, IsUserAdmin() != 0, info.installFolder))
        gSetupState.perUserInstall = 1;
    if (!gSetupState.justExec)
        gSetupState.justExec = info.justExec;
    if (!gSetupState.okIfNotAdmin)
        gSetupState.okIfNotAdmin = info.okIfNotAdmin;
    if (gSetupState.okIfNotAdmin || IsUserAdmin())
        return true;
    MessageBoxA(gSetupState.mainWindow, AdminRequiredText(gSetupState.isInstall != 0, gSetupState.justExec != 0),
                info.productName, MB_OK);
    return false;
}

void RedrawSplash()
{
    PumpMessages();
    if (gSetupState.mainWindow != nullptr)
        InvalidateRect(gSetupState.mainWindow, nullptr, FALSE);
    PumpMessages();
}

// Step 14: returns false when the run goes to its ending.
bool PrepareInstall(RunLocals& run)
{
    if (!gSetupState.justDecomp) {
        if (!ActiveSetupInfo().justExec)
            SetInstalledFileRecorder(RecordInstalledFile);
        if (!CheckRunningApplications(gSetupState.mainWindow, run.ownFileName))
            return false;
    }
    if (!ExtractPackageCabinet(gSetupState.packageTempFile, run.options.srcInstaller)) {
        ShowFailureMessage(run.ownFileName);
        return false;
    }
    if (ExtractSplashBitmaps(run.bitmapPath, run.maskPath, gSetupState.packageTempFile)) {
        gSetupState.splashBitmap = LoadSplashDib(run.bitmapPath);
        gSetupState.splashMask = LoadSplashDib(run.maskPath);
    }
    gSetupState.bitmapsReady = 1;
    if (gSetupState.mainWindow != nullptr)
        InvalidateRect(gSetupState.mainWindow, nullptr, FALSE);
    PumpMessages();
    if (run.bitmapPath[0] != '\0')
        DeleteFileA(run.bitmapPath);
    if (run.maskPath[0] != '\0')
        DeleteFileA(run.maskPath);
    return true;
}

void Install(RunLocals& run, HINSTANCE instance)
{
    InstallRequest request = {instance, run.options.setDir, gSetupState.justExec, ActiveSetupInfo().justExec, 0};
    if (RunInstallStep(request, run.options.srcInstaller, gSetupState.forceAdmin, gSetupState.forceUser))
        run.installed = 1;
    else
        ShowFailureMessage(ActiveSetupInfo().productName);
    DeleteWorkFile();
}

void Uninstall(RunLocals& run)
{
    DeleteWorkFile();
    EnableProcessPrivileges(1);
    if (!RunUninstall(gSetupState.mainWindow, ActiveSetupInfo(), gSetupState.justExec, run.options.srcInstaller))
        ShowFailureMessage(run.ownFileName);
}

// Steps 16 to 19.
void EndRun(RunLocals& run)
{
    DeleteWorkFile();
    PumpMessages();
    // The window posts the quit request when it is destroyed; a window that is
    // already gone (closed by the user, or never made) posts nothing to wait for.
    if (gSetupState.mainWindow != nullptr && IsWindow(gSetupState.mainWindow)) {
        DestroyWindow(gSetupState.mainWindow);
        while (GetMessageA(&gSetupState.msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&gSetupState.msg);
            DispatchMessageA(&gSetupState.msg);
        }
    }
    FreeSplashDib(gSetupState.splashBitmap);
    FreeSplashDib(gSetupState.splashMask);
    gSetupState.splashBitmap = nullptr;
    gSetupState.splashMask = nullptr;
    if (run.installed && !RunLaunchStep(gSetupState.forceAdmin))
        ShowFailureMessage(ActiveSetupInfo().productName);
}

}  // namespace

SetupInfo& ActiveSetupInfo()
{
    return IsJapaneseUi() ? gSetupState.packageSettings.japanese : gSetupState.packageSettings.english;
}

int RunSetup(HINSTANCE instance, HINSTANCE previousInstance, const char*, int showCommand, int count, char** entries)
{
    static RunLocals run;
    ZeroMemory(&run, sizeof run);
    gSetupState.isInstall = 1;
    ZeroMemory(&gSetupState.packageSettings, sizeof gSetupState.packageSettings);
    gSetupState.mainWindow = nullptr;
    gSetupState.splashBitmap = nullptr;
    gSetupState.splashMask = nullptr;
    SplitOwnPath(count > 0 ? entries[0] : "", run.ownFolder, run.ownFileName);

    char userName[kArgumentLineSize];
    QueryUserName(userName);
    EvaluateOptions(count, entries, run.ownFileName, userName, CreateFolderIgnoringFailure, run.options);
    TakeOptions(run.options);
    const FileHandle carrier(HoldCarrier(run.options));

    CreateWorkFile(run);
    if (!LoadPackageSettings(gSetupState.packageSettings, run.options.srcInstaller)) {
        ShowFailureMessage(run.ownFileName);
        EndRun(run);
        return 0;
    }
    SetupInfo& info = ActiveSetupInfo();
    if (!CheckRights(info)) {
        DeleteWorkFile();
        return 0;
    }
    if (!CheckOsSupported(static_cast<uint32_t>(info.osMask), run.ownFileName)) {
        ShowFailureMessage(run.ownFileName);
        DeleteWorkFile();
        return 0;
    }
    if (previousInstance == nullptr && !RegisterSplashClass(instance)) {
        DeleteWorkFile();
        return 0;
    }
    CreateSplashWindow(instance, showCommand);
    RedrawSplash();
    ExpandInstallFolder(ActiveSetupInfo().installFolder);

    if (!gSetupState.isInstall)
        Uninstall(run);
    else if (PrepareInstall(run))
        Install(run, instance);
    EndRun(run);
    return 0;
}

void PumpMessages()
{
    while (PeekMessageA(&gSetupState.msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&gSetupState.msg);
        DispatchMessageA(&gSetupState.msg);
    }
}

int IsForceAdmin()
{
    return gSetupState.forceAdmin;
}

int IsForceUser()
{
    return gSetupState.forceUser;
}

HKEY ProductRegistryRoot()
{
    return ChooseRegistryRoot(gSetupState.forceAdmin != 0, gSetupState.forceUser != 0,
                              gSetupState.perUserInstall != 0) == RegistryRoot::LocalMachine
               ? HKEY_LOCAL_MACHINE
               : HKEY_CURRENT_USER;
}

int ProductProgramsFolderId()
{
    return ChooseProgramsFolderId(gSetupState.forceAdmin != 0, gSetupState.forceUser != 0,
                                  gSetupState.perUserInstall != 0);
}

void ShowFailureMessage(const char* caption)
{
    // The window handle is kept after the window is gone; a box owned by a
    // destroyed window would not be shown at all.
    HWND owner = IsWindow(gSetupState.mainWindow) ? gSetupState.mainWindow : nullptr;
    MessageBeep(MB_ICONHAND);
    MessageBoxA(owner, FailureText(IsJapaneseUi(), gSetupState.isInstall != 0), caption, MB_OK);
}

int RunInstallStep(InstallRequest& request, const char* sourceFile, int forceAdmin, int forceUser)
{
    request.result = 0;
    request.result = RunInstallDialog(gSetupState.mainWindow, request.instance, request.setDir, request.justExec);
    if (!request.result)
        WithdrawRecordedFiles();
    if (request.result) {
        PumpMessages();
        if (!gSetupState.justDecomp)
            request.result = FinishInstallation(gSetupState.mainWindow, request.justExec, request.packageJustExec,
                                                sourceFile, forceAdmin, forceUser);
    }
    return request.result;
}

int RunLaunchStep(int forceAdmin)
{
    SetupInfo& info = ActiveSetupInfo();
    int result = 1;
    for (int i = 0; i < info.launchCommandCount; ++i) {
        const CommandEntry& entry = info.launchCommands[i];
        if (entry.commandLine == nullptr || entry.commandLine[0] == '\0')
            continue;
        {
            CurrentFolderScope inFolder(info.installFolder);
            EnableWindow(gSetupState.mainWindow, FALSE);
            result = LaunchCommand(entry.commandLine, entry.wait, info, 0, forceAdmin);
            EnableWindow(gSetupState.mainWindow, TRUE);
        }
        if (!result)
            return 0;
    }
    return result;
}

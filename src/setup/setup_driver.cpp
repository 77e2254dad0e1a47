#include "setup/setup_driver.h"

#include "env/os_version.h"
#include "env/privileges.h"
#include "env/running_apps.h"
#include "install/folder_placeholders.h"
#include "install/install_dialog.h"
#include "install/launch.h"
#include "install/registration.h"
#include "install/run_context.h"
#include "package/cabinet_extraction.h"
#include "package/package_loader.h"
#include "setup/arguments.h"
#include "setup/run_decisions.h"
#include "setup/setup_texts.h"
#include "system/file_ops.h"
#include "system/message_pump.h"
#include "system/run_log.h"
#include "text/bounded_text.h"
#include "text/language.h"
#include "ui/splash_window.h"
#include "uninstall/uninstaller.h"

namespace {

// Everything one run keeps, owned by RunSetup. The subsystems get the parts
// they need: the splash window its content, the operations the context.
struct Run {
    RunOptions options;  // justExec and okIfNotAdmin also take the package's settings
    int perUserInstall;
    int installed;
    char ownFolder[kPathSize];
    char ownFileName[kPathSize];
    char tempFolder[kPathSize];
    char bitmapPath[kPathSize];
    char maskPath[kPathSize];
    char packageTempFile[kPathSize];  // the work file, "IL" prefix
    PackageSettings settings;
    SplashContent splash;
    RunContext context;
    RunLog log;
    RunOutcome outcome;
};

// The flags the run took, for the log.
constexpr struct {
    const char* name;
    int RunOptions::*flag;
} kLoggedFlags[] = {
    {kSilentOption, &RunOptions::silent},
    {kJustExecOption, &RunOptions::justExec},
    {kOkIfNotAdminOption, &RunOptions::okIfNotAdmin},
    {kJustDecompOption, &RunOptions::justDecomp},
    {kForceAdminOption, &RunOptions::forceAdmin},
    {kForceUserOption, &RunOptions::forceUser},
};

// Opens "-Log"'s file; the run's context then carries the log to every step.
void OpenLog(Run& run)
{
    run.context.log = run.options.log[0] != '\0' && OpenRunLog(run.log, run.options.log) ? &run.log : nullptr;
    RunLog* log = run.context.log;
    LogStep(log, "start", run.ownFileName);
    for (const auto& option : kLoggedFlags) {
        if (run.options.*option.flag)
            LogStep(log, "option", option.name);
    }
    LogStep(log, "option", kLogOption, run.options.log);
    if (run.options.setDir[0] != '\0')
        LogStep(log, "option", kSetDirOption, run.options.setDir);
    if (run.options.srcInstaller[0] != '\0')
        LogStep(log, "option", kSrcInstallerOption, run.options.srcInstaller);
}

void DeleteWorkFile(const Run& run)
{
    if (run.packageTempFile[0] != '\0')
        DeleteFileA(run.packageTempFile);
}

void CreateWorkFile(Run& run)
{
    run.packageTempFile[0] = '\0';
    if (GetInstallerTempFolder(sizeof run.tempFolder, run.tempFolder) == 0 || run.tempFolder[0] == '\0')
        return;
    if (!GetTempFileNameA(run.tempFolder, "IL", 0, run.packageTempFile))
        run.packageTempFile[0] = '\0';
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

// The failure message after an error beep. The window handle is kept after
// the window is gone; a box owned by a destroyed window would not be shown at all.
void ShowFailureMessage(const Run& run, const char* caption)
{
    HWND owner = IsWindow(run.context.owner) ? run.context.owner : nullptr;
    MessageBeep(MB_ICONHAND);
    MessageBoxA(owner, FailureText(IsJapaneseUi(), run.options.isInstall != 0), caption, MB_OK);
}

// A silent run shows no box: its outcome becomes the exit code.
void Fail(Run& run, const char* caption)
{
    run.outcome = RunOutcome::Failed;
    if (!run.options.silent)
        ShowFailureMessage(run, caption);
}

// Steps 6 to 8: returns false when the run ends for want of rights.
bool CheckRights(Run& run, const SetupInfo& info)
{
    RunOptions& options = run.options;
    if (DecidePerUserInstall(options.forceAdmin != 0, IsUserAdmin() != 0, info.installFolder))
        run.perUserInstall = 1;
    if (!options.justExec)
        options.justExec = info.justExec;
    if (!options.okIfNotAdmin)
        options.okIfNotAdmin = info.okIfNotAdmin;
    if (options.okIfNotAdmin || IsUserAdmin())
        return true;
    run.outcome = RunOutcome::Refused;
    LogStep(run.context.log, "refused", "administrator rights are required");
    if (!options.silent)
        MessageBoxA(run.context.owner, AdminRequiredText(options.isInstall != 0, options.justExec != 0),
                    info.productName, MB_OK);
    return false;
}

// The context the operations get, once the options and the rights are settled.
void FillContext(Run& run)
{
    RunContext& context = run.context;
    const bool forceAdmin = run.options.forceAdmin != 0, forceUser = run.options.forceUser != 0;
    context.settings = &run.settings;
    context.packageTempFile = run.packageTempFile;
    context.forceAdmin = run.options.forceAdmin;
    context.forceUser = run.options.forceUser;
    context.registryRoot =
        ChooseRegistryRoot(forceAdmin, forceUser, run.perUserInstall != 0) == RegistryRoot::LocalMachine
            ? HKEY_LOCAL_MACHINE
            : HKEY_CURRENT_USER;
    context.programsFolderId = ChooseProgramsFolderId(forceAdmin, forceUser, run.perUserInstall != 0);
    context.silent = run.options.silent;
}

void RedrawSplash(const Run& run)
{
    PumpMessages();
    if (run.context.owner != nullptr)
        InvalidateRect(run.context.owner, nullptr, FALSE);
    PumpMessages();
}

// Step 14: returns false when the run goes to its ending.
bool PrepareInstall(Run& run)
{
    if (!run.options.justDecomp) {
        if (!ActiveSetupInfo(run.settings).justExec)
            run.context.recordInstalledFiles = 1;
        if (!CheckRunningApplications(run.context.owner, ActiveSetupInfo(run.settings), run.ownFileName,
                                      run.options.silent, run.context.log)) {
            run.outcome = RunOutcome::Blocked;
            return false;
        }
    }
    if (!ExtractPackageCabinet(run.packageTempFile, run.options.srcInstaller)) {
        LogFailure(run.context.log, "cabinet", run.options.srcInstaller, GetLastError());
        Fail(run, run.ownFileName);
        return false;
    }
    if (ExtractSplashBitmaps(run.bitmapPath, run.maskPath, run.packageTempFile)) {
        run.splash.bitmap = LoadSplashDib(run.bitmapPath);
        run.splash.mask = LoadSplashDib(run.maskPath);
    }
    run.splash.ready = 1;
    if (run.context.owner != nullptr)
        InvalidateRect(run.context.owner, nullptr, FALSE);
    PumpMessages();
    if (run.bitmapPath[0] != '\0')
        DeleteFileA(run.bitmapPath);
    if (run.maskPath[0] != '\0')
        DeleteFileA(run.maskPath);
    return true;
}

// The install dialog (or the given folder), then the required files,
// registration, the success message and the install commands.
int InstallProduct(const Run& run, HINSTANCE instance)
{
    const int packageJustExec = ActiveSetupInfo(*run.context.settings).justExec;
    int result = RunInstallDialog(run.context, instance, run.options.setDir, run.options.justExec);
    if (!result)
        WithdrawRecordedFiles(run.context);
    if (result) {
        PumpMessages();
        if (!run.options.justDecomp)
            result = FinishInstallation(run.context, run.options.justExec, packageJustExec, run.options.srcInstaller);
    }
    return result;
}

void Install(Run& run, HINSTANCE instance)
{
    if (InstallProduct(run, instance))
        run.installed = 1;
    else
        Fail(run, ActiveSetupInfo(run.settings).productName);
    DeleteWorkFile(run);
}

void Uninstall(Run& run)
{
    DeleteWorkFile(run);
    EnableProcessPrivileges(1);
    if (!RunUninstall(run.context, ActiveSetupInfo(run.settings), run.options.justExec || run.options.silent,
                      run.options.srcInstaller))
        Fail(run, run.ownFileName);
}

// A launch command of the run that the list's context holds.
int LaunchListed(const CommandList& list, const CommandEntry& command)
{
    const Run& run = *static_cast<const Run*>(list.context);
    return LaunchCommand(command.commandLine, command.wait, ActiveSetupInfo(*run.context.settings), 0,
                         run.options.forceAdmin);
}

// The launch commands, in the installation folder, the window disabled meanwhile.
int RunLaunchCommands(const Run& run)
{
    const SetupInfo& info = ActiveSetupInfo(*run.context.settings);
    return RunCommandList({info.launchCommands, info.launchCommandCount, info.installFolder, run.context.owner, 0,
                           "launch", run.context.log, LaunchListed, &run});
}

// Steps 16 to 19.
void EndRun(Run& run)
{
    DeleteWorkFile(run);
    PumpMessages();
    // The window posts the quit request when it is destroyed; a window that is
    // already gone (closed by the user, or never made) posts nothing to wait for.
    if (run.context.owner != nullptr && IsWindow(run.context.owner)) {
        DestroyWindow(run.context.owner);
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    FreeSplashDib(run.splash.bitmap);
    FreeSplashDib(run.splash.mask);
    run.splash.bitmap = nullptr;
    run.splash.mask = nullptr;
    if (run.installed && !RunLaunchCommands(run))
        Fail(run, ActiveSetupInfo(run.settings).productName);
}

// The run's last line and its exit code.
int Finish(Run& run)
{
    const int exitCode = ExitCodeOf(run.outcome, run.options.silent != 0);
    char detail[32];
    wsprintfA(detail, "exit code %d", exitCode);
    LogStep(run.context.log, "end", OutcomeText(run.outcome), detail);
    CloseRunLog(run.log);
    return exitCode;
}

}  // namespace

int RunSetup(HINSTANCE instance, HINSTANCE previousInstance, const char*, int showCommand, int count, char** entries)
{
    Run run;
    ZeroMemory(&run, sizeof run);
    run.splash.settings = &run.settings;
    SplitOwnPath(count > 0 ? entries[0] : "", run.ownFolder, run.ownFileName);

    char userName[kUserNameSize];
    QueryUserName(userName);
    EvaluateOptions(count, entries, run.ownFileName, userName, CreateFolderIgnoringFailure, run.options);
    OpenLog(run);
    if (run.options.silent && run.options.badOption != nullptr) {
        LogStep(run.context.log, "refused", run.options.badOption, "its value is missing or too long");
        run.outcome = RunOutcome::BadCommandLine;
        return Finish(run);
    }
    LogStep(run.context.log, "mode", run.options.isInstall ? "install" : "uninstall");
    const FileHandle carrier(HoldCarrier(run.options));

    CreateWorkFile(run);
    if (!LoadPackageSettings(run.settings, run.options.srcInstaller)) {
        LogFailure(run.context.log, "package", run.options.srcInstaller, GetLastError());
        Fail(run, run.ownFileName);
        EndRun(run);
        return Finish(run);
    }
    SetupInfo& info = ActiveSetupInfo(run.settings);
    LogStep(run.context.log, "package", info.productName, info.productVersion);
    if (!CheckRights(run, info)) {
        DeleteWorkFile(run);
        return Finish(run);
    }
    FillContext(run);
    if (!CheckOsSupported(run.context.owner, static_cast<uint32_t>(info.osMask), run.ownFileName, run.options.silent)) {
        LogStep(run.context.log, "refused", "this Windows version is not supported by the package");
        run.outcome = RunOutcome::Refused;
        if (!run.options.silent)
            ShowFailureMessage(run, run.ownFileName);
        DeleteWorkFile(run);
        return Finish(run);
    }
    if (previousInstance == nullptr && !RegisterSplashClass(instance)) {
        DeleteWorkFile(run);
        run.outcome = RunOutcome::Failed;
        return Finish(run);
    }
    run.context.owner =
        CreateSplashWindow(instance, run.options.silent ? SW_HIDE : showCommand, run.options.justExec, run.splash);
    RedrawSplash(run);
    ExpandInstallFolder(ActiveSetupInfo(run.settings).installFolder, run.options.forceAdmin, run.options.forceUser);

    if (!run.options.isInstall)
        Uninstall(run);
    else if (PrepareInstall(run))
        Install(run, instance);
    EndRun(run);
    return Finish(run);
}

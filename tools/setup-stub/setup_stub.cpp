// setup-stub: the front end that a product ships as its setup.exe. It carries
// the package (resource RCDATA 104, added by mkpackage) and the engine
// (resource RCDATA 201). It puts the engine into the installer's temporary
// folder, writes the engine's argument file, starts the engine without
// arguments, waits for it, removes the copy again and ends with the engine's
// exit code. Copied into the
// installation folder as "unquilbex.exe" it is the product's uninstaller and
// asks the engine for removal with "-u".
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "install/registration_rules.h"
#include "package/package_loader.h"
#include "runtime/command_line.h"
#include "setup/arguments.h"
#include "setup/run_decisions.h"
#include "system/file_ops.h"
#include "text/bounded_text.h"
#include "text/language.h"
#include "text/path_size.h"
#include "text/text_scan.h"
#include "tools/setup-stub/stub_resources.h"

namespace {

constexpr WORD kEngineResourceId = STUB_ENGINE_RESOURCE;
constexpr size_t kPathBufferSize = 1024;  // the engine reads "-srcInstaller" values of up to 1023 bytes
constexpr char kLineEnd[] = "\r\n";
constexpr int kEngineNameAttempts = 10;
constexpr int kRemovalAttempts = 50;
constexpr DWORD kRemovalPause = 100;

// The English and Japanese texts of the one message the stub shows.
constexpr char kStartFailedEnglish[] = "The installer could not be started.";
// インストーラーを起動できませんでした。
constexpr char kStartFailedJapanese[] =
    "\x83"
    "C\x83\x93\x83X\x83g\x81[\x83\x89\x81[\x82\xF0\x8BN\x93\xAE\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5"
    "\x82\xB5\x82\xBD\x81"
    "B";

// The engine copy and its argument file, removed on every path out.
class EngineCopy {
public:
    EngineCopy() = default;
    ~EngineCopy()
    {
        if (argumentFile_[0] != '\0')
            DeleteFileA(argumentFile_);
        if (path_[0] == '\0')
            return;
        // The image of a process that has just ended may stay locked a moment.
        for (int i = 0; i < kRemovalAttempts && !DeleteFileA(path_); ++i)
            Sleep(kRemovalPause);
    }
    EngineCopy(const EngineCopy&) = delete;
    EngineCopy& operator=(const EngineCopy&) = delete;

    // Writes the engine resource to "installer.exe" in folder, or, while that
    // name is taken by a running engine, to "installer-2.exe" and so on.
    bool Place(const char* folder)
    {
        HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kEngineResourceId), RT_RCDATA);
        HGLOBAL loaded = resource != nullptr ? LoadResource(nullptr, resource) : nullptr;
        const void* engine = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (engine == nullptr)
            return false;
        DWORD size = SizeofResource(nullptr, resource);
        for (int attempt = 1; attempt <= kEngineNameAttempts; ++attempt) {
            char name[32] = "installer.exe";
            if (attempt > 1)
                wsprintfA(name, "installer-%d.exe", attempt);
            char path[kPathSize];
            if (!JoinPath(path, folder, name))
                return false;
            FileHandle file(CreateForWriting(path));
            if (!file.valid())
                continue;
            CopyText(path_, path);
            DWORD moved = 0;
            return WriteFully(file.get(), engine, size, &moved) == 1;
        }
        return false;
    }

    // The engine's argument file: its own path, "-srcInstaller" with the
    // stub's path, "-u" for the uninstaller, then the stub's own arguments.
    bool WriteArguments(const char* ownPath, bool uninstall, int count, char* const* arguments)
    {
        if (!CopyText(argumentFile_, path_) || !AppendText(argumentFile_, ".param")) {
            argumentFile_[0] = '\0';
            return false;
        }
        FileHandle file(CreateForWriting(argumentFile_));
        if (!file.valid())
            return false;
        bool ok = Line(file, path_) && Line(file, "-srcInstaller") && Line(file, ownPath);
        if (uninstall)
            ok = ok && Line(file, "-u");
        for (int i = 1; ok && i < count; ++i)
            ok = Line(file, arguments[i]);
        return ok;
    }

    const char* path() const { return path_; }

private:
    static bool Line(const FileHandle& file, const char* text)
    {
        DWORD moved = 0;
        return WriteFully(file.get(), text, static_cast<DWORD>(strlen(text)), &moved) &&
               WriteFully(file.get(), kLineEnd, sizeof kLineEnd - 1, &moved);
    }

    char path_[kPathSize] = {};
    char argumentFile_[kPathSize] = {};
};

// Starts the engine without arguments, with the stub's own show state, and
// waits for it; the queue is drained meanwhile so that the stub counts as idle.
// exitCode receives the engine's.
bool RunEngine(const char* enginePath, DWORD* exitCode)
{
    char commandLine[kPathSize + 2];
    wsprintfA(commandLine, "\"%s\"", enginePath);
    STARTUPINFOA own = {};
    own.cb = sizeof own;
    GetStartupInfoA(&own);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (own.dwFlags & STARTF_USESHOWWINDOW) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = own.wShowWindow;
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(enginePath, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    const bool ended = GetExitCodeProcess(process.hProcess, exitCode) != 0;
    CloseHandle(process.hProcess);
    return ended;
}

void ShowStartFailure(const char* caption)
{
    MessageBoxA(nullptr, IsJapaneseUi() ? kStartFailedJapanese : kStartFailedEnglish, caption, MB_OK | MB_ICONHAND);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    UseCodePage(GetACP());
    char ownPath[kPathBufferSize];
    DWORD length = GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);
    if (length == 0 || length >= sizeof ownPath) {
        ShowStartFailure("setup");
        return 0;
    }
    int slash = FindByte(ownPath, static_cast<int>(length), '\\', 0);
    const char* ownFileName = ownPath + slash + 1;
    bool uninstall = EqualsIgnoringAsciiCase(ownFileName, kUninstallerFileName);

    // The engine reads no more entries than it can hold; more are not passed on.
    static char* arguments[kMaxArguments];
    const char* line = GetCommandLineA();
    char* storage = static_cast<char*>(malloc(strlen(line) + 2));
    const int found = storage != nullptr ? SplitCommandLine(line, storage, arguments, kMaxArguments) : 0;
    const int count = found < kMaxArguments ? found : kMaxArguments;

    // A silent run is unattended: no box waits for an answer, the exit code tells.
    const bool silent = HasOption("-Silent", count, arguments) != 0;
    char folder[kPathSize];
    EngineCopy engine;
    DWORD exitCode = 0;
    if (storage == nullptr || GetInstallerTempFolder(sizeof folder, folder) == 0 || folder[0] == '\0' ||
        !engine.Place(folder) || !engine.WriteArguments(ownPath, uninstall, count, arguments) ||
        !RunEngine(engine.path(), &exitCode)) {
        if (!silent)
            ShowStartFailure(ownFileName);
        return ExitCodeOf(RunOutcome::Failed, silent);
    }
    return static_cast<int>(exitCode);
}

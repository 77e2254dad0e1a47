// command-probe MARKER [wait MS] [expect FILE]: a program for the install and
// launch commands of the scenarios. It notes where and when it was started:
// its current folder, whether the splash window of the installer that started
// it existed, and whether FILE existed at its start; after MS milliseconds it
// writes that to MARKER (relative to its current folder), through a temporary
// name, so that a reader never sees half a marker.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

DWORD ParentProcessId()
{
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
}

// The splash window of the installer that started this probe; other
// installers may run at the same time.
bool ParentHasSplashWindow()
{
    struct Search {
        DWORD parent;
        bool found;
    } search = {ParentProcessId(), false};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(context);
            char name[64] = "";
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.parent && GetClassNameA(window, name, sizeof name) && strcmp(name, "JovInstLangClass") == 0)
                s.found = true;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (__argc < 2)
        return 2;
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    const bool splash = ParentHasSplashWindow();
    DWORD waitMs = 0;
    int expected = -1;
    for (int i = 2; i + 1 < __argc; i += 2) {
        if (strcmp(__argv[i], "wait") == 0)
            waitMs = static_cast<DWORD>(atoi(__argv[i + 1]));
        else if (strcmp(__argv[i], "expect") == 0)
            expected = GetFileAttributesA(__argv[i + 1]) != INVALID_FILE_ATTRIBUTES;
    }
    Sleep(waitMs);
    const std::string text = std::string("folder=") + folder + "\nsplash=" + (splash ? "1" : "0") +
                             "\nexpected=" + std::to_string(expected) + "\n";
    const std::string marker = __argv[1];
    const std::string partial = marker + ".part";
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return MoveFileExA(partial.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}

#pragma once
// The desktop shell of the tests (fake-shell) seen from a test: started with
// its options, waited for, read back through its log and ended; and the
// user's desktop folder pointed elsewhere for the time of a test.
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"

namespace desktop_bench {

inline const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline const char kUserShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

inline std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, const std::string& start)
{
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (line.rfind(start, 0) == 0)
            found.push_back(line);
    return found;
}

inline bool WaitFor(const std::string& path, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!FileExists(path) && GetTickCount() - start < ms)
        Sleep(50);
    return FileExists(path);
}

// A registry text value, put back as it was when the scope ends.
class SavedValue {
public:
    SavedValue(const char* key, const char* name, const std::string& value) : key_(key), name_(name)
    {
        char data[1024];
        DWORD size = sizeof data;
        HKEY opened;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) == ERROR_SUCCESS) {
            found_ =
                RegQueryValueExA(opened, name, nullptr, &type_, reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
            if (found_)
                old_.assign(data, size);
            RegCloseKey(opened);
        }
        Set(REG_SZ, std::string(value.c_str(), value.size() + 1));
    }
    ~SavedValue()
    {
        if (found_)
            Set(type_, old_);
        else
            SHDeleteValueA(HKEY_CURRENT_USER, key_.c_str(), name_.c_str());
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    void Set(DWORD type, const std::string& bytes)
    {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        RegSetValueExA(key, name_.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
    std::string key_, name_, old_;
    DWORD type_ = REG_SZ;
    bool found_ = false;
};

// The user's desktop folder, as the registry names it to programs that read
// "Shell Folders" and to the shell's folder query, for the scope's lifetime.
class DesktopFolderOverride {
public:
    explicit DesktopFolderOverride(const std::string& folder)
        : shellFolders_(kShellFolders, "Desktop", folder), userShellFolders_(kUserShellFolders, "Desktop", folder)
    {
    }

private:
    SavedValue shellFolders_, userShellFolders_;
};

// The fake shell, ended with its windows when the scope ends.
class FakeShell {
public:
    FakeShell(const std::string& program, const std::string& log, const std::string& options) : log_(log)
    {
        std::string command = "\"" + program + "\" \"" + log + "\" " + options;
        if (!process_.Start(command))
            return;
        const DWORD start = GetTickCount();
        while (!IsReady() && GetTickCount() - start < 20000)
            Sleep(50);
        ready_ = IsReady();
    }
    FakeShell(const FakeShell&) = delete;
    FakeShell& operator=(const FakeShell&) = delete;
    bool ready() const { return ready_; }
    // Read while the shell may be writing: both sides share the file.
    std::vector<std::string> Log() const { return Lines(ReadFileBytes(log_, FILE_SHARE_READ | FILE_SHARE_WRITE)); }

private:
    bool IsReady() const
    {
        for (const std::string& line : Log())
            if (line.rfind("ready ", 0) == 0)
                return true;
        return false;
    }

    std::string log_;
    HelperProcess process_;
    bool ready_ = false;
};

inline std::string FakeShellPath()
{
    return WindowsPath(FAKE_SHELL_PATH);
}

}  // namespace desktop_bench

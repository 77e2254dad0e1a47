#include "tests/win/env/env_probe_runner.h"

#include <windows.h>

#include <algorithm>

#include "tests/e2e/bench/scenario.h"

namespace {

// Wine's per-program version for one program name, removed again at the end.
class AppVersionSetting {
public:
    AppVersionSetting(const std::string& programName, const std::string& setting)
        : key_("Software\\Wine\\AppDefaults\\" + programName)
    {
        HKEY key;
        if (!setting.empty() && RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(setting.c_str()),
                           static_cast<DWORD>(setting.size() + 1));
            RegCloseKey(key);
        }
    }
    ~AppVersionSetting() { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }

private:
    std::string key_;
};

}  // namespace

std::string RunEnvProbe(const std::string& setting, const std::string& arguments)
{
    const std::string folder = WindowsPath(ENGINE_BINARY_DIR) + "\\env-probes";
    CreateDirectoryA(folder.c_str(), nullptr);
    // One name per setting and command, so that tests running side by side
    // never share a program or an output file.
    std::string name = "env-probe-" + (setting.empty() ? std::string("default") : setting) + "-" + arguments;
    for (char& c : name)
        c = c == ' ' ? '-' : c;
    const std::string program = folder + "\\" + name + ".exe";
    const std::string output = folder + "\\" + name + ".txt";
    DeleteFileA(output.c_str());
    if (!CopyFileA(WindowsPath(ENV_PROBE_PATH).c_str(), program.c_str(), FALSE))
        return {};
    AppVersionSetting version(name + ".exe", setting);

    std::string commandLine = "\"" + program + "\" \"" + output + "\" " + arguments;
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return {};
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return ReadFileBytes(output);
}

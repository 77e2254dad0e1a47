#include "tests/win/env/env_probe_runner.h"

#include <windows.h>

#include <algorithm>

#include "tests/e2e/harness/scenario.h"

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
    WineVersionSetting version(name + ".exe", setting);

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

#pragma once
// Scenario helpers for end-to-end tests under Wine: start a program with
// arguments or an argument file, in English or Japanese, answer its boxes
// with the UI robot, kill it when it hangs, and read back what it left.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/ui_robot.h"

constexpr UINT kJapaneseCodePage = 932;
constexpr UINT kEnglishCodePage = 1252;

struct RunSpec {
    std::string program;                 // Windows path of the program to start
    std::vector<std::string> arguments;  // command-line arguments (argument 0 is the program)
    bool japanese = false;               // a Japanese run: only in tests named "Japanese" (see cmake/Engine.cmake)
    std::vector<std::pair<std::string, std::string>> environment;  // extra variables
    std::vector<BoxStep> script;                                   // answers, in the order the boxes appear
    DWORD timeoutMs = 60000;
    std::string currentFolder;  // empty: the test's own
    std::string commandLine;    // when set, started as it is instead of program and arguments
};

struct RunResult {
    bool started = false;
    bool timedOut = false;  // the program was killed after timeoutMs
    DWORD exitCode = 0;
    std::vector<ShownBox> boxes;
    std::vector<std::string> failures;  // robot failures (unexpected boxes, inspections)
    std::vector<std::wstring> otherWindowClasses;
};

// Runs the program to its end (or kills it and the programs it started at the
// time-out), answering the boxes of the program and of every program it starts.
RunResult RunProgram(const RunSpec& spec);

// A process and all its descendants, parents before children.
std::vector<DWORD> ProcessTree(DWORD root);

// A helper program a test starts beside the engine (a window, a file holder,
// a desktop shell); it is ended, and waited for, when its owner goes.
class HelperProcess {
public:
    HelperProcess() = default;
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    // Starts the command line with the creation flags; false when it could not.
    bool Start(std::string commandLine, DWORD creationFlags = 0);
    DWORD Id() const { return process_.dwProcessId; }
    bool EndsWithin(DWORD ms) const { return WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0; }

private:
    PROCESS_INFORMATION process_ = {};
};

// Paths: tests see the Unix build tree through drive Z:.
std::string WindowsPath(const std::string& unixPath);
std::string BuildTreePath(const std::string& relative);  // inside this test tree's build folder
std::string EnginePath();                                // the engine built in this tree

// A fresh, empty folder for one test (Windows path), under the build tree.
std::string FreshFolder(const std::string& name);

// Files.
bool FileExists(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Another program may hold the file open; share says what it may do meanwhile.
std::string ReadFileBytes(const std::string& path, DWORD share = FILE_SHARE_READ);
std::vector<std::string> ListFolder(const std::string& folder);  // names, without . and ..

// A folder link: Wine can neither make nor delete one itself, so the host's
// ln makes a symbolic link, which Wine shows as a folder with the
// reparse-point bit (0x400). Both paths are Windows paths on drive Z:.
bool MakeFolderLink(const std::string& link, const std::string& target);

// Deletes every symbolic link below the folder (not what they point to).
// Call it before a folder with links is removed by Windows means: Wine's
// "rmdir /s" walks into links and loses its way there.
void RemoveFolderLinks(const std::string& folder);

// Wine's Windows version for one program name
// (HKCU\Software\Wine\AppDefaults\<name>\Version), removed again at the end.
// An empty version sets nothing: the program sees Wine's default.
class WineVersionSetting {
public:
    WineVersionSetting(const std::string& programName, const std::string& version);
    ~WineVersionSetting();
    WineVersionSetting(const WineVersionSetting&) = delete;
    WineVersionSetting& operator=(const WineVersionSetting&) = delete;

private:
    std::string key_;
};

// One value of a product's installed-file list ("installFiles" below its
// Uninstall entry), in the registry's order: the value's name and type, its
// text, and whether its data ended in a counted terminating zero.
struct ListedFile {
    std::string name;
    DWORD type;
    std::string text;
    bool terminated;
};
std::vector<ListedFile> InstalledFileList(HKEY root, const std::string& product);

// Registry: a string value, or nullopt-like empty with found == false.
bool ReadRegistryString(HKEY root, const std::string& key, const std::string& name, std::string& value);
bool RegistryKeyExists(HKEY root, const std::string& key);

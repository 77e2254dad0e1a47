// signed_install_check SETUP SIGNED_ENGINE FOLDER
// Under Wine: setup.exe carries the signed engine byte for byte (RCDATA 201)
// and installs its product into FOLDER, ending with "Installed properly.".
// Exit code 0 when all of it holds; every failure is printed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/e2e/harness/scenario.h"
#include "tools/setup-stub/stub_resources.h"

namespace {

int failures = 0;

void Expect(bool condition, const std::string& what)
{
    if (!condition) {
        printf("FAILED: %s\n", what.c_str());
        ++failures;
    }
}

std::string CarriedEngine(const std::string& setup)
{
    HMODULE module = LoadLibraryExA(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return {};
    std::string bytes;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(STUB_ENGINE_RESOURCE), MAKEINTRESOURCEA(10));
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const char* data = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (data != nullptr)
        bytes.assign(data, SizeofResource(module, found));
    FreeLibrary(module);
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        printf("usage: signed_install_check SETUP SIGNED_ENGINE FOLDER\n");
        return 2;
    }
    const std::string setup = argv[1], signedEngine = argv[2], folder = argv[3];
    const std::string engine = ReadFileBytes(signedEngine);
    Expect(!engine.empty() && CarriedEngine(setup) == engine, "setup.exe carries the signed engine");

    RunSpec spec;
    spec.program = setup;
    spec.arguments = {"-SetDir", folder};
    spec.script = {{Answer::Ok}};
    const RunResult run = RunProgram(spec);
    Expect(run.started && !run.timedOut, "setup.exe ran to its end");
    Expect(run.failures.empty(), "the robot saw only the expected boxes");
    for (const std::string& failure : run.failures)
        printf("  robot: %s\n", failure.c_str());
    for (const ShownBox& box : run.boxes)
        printf("  box: %s: %s\n", box.Caption(CP_ACP).c_str(), box.Text(CP_ACP).c_str());
    Expect(run.boxes.size() == 1 && run.boxes[0].Text(CP_ACP) == "Installed properly.",
           "the one box says \"Installed properly.\"");
    Expect(ReadFileBytes(folder + "\\app.txt") == "signed app\r\n", "the product file is installed");
    Expect(FileExists(folder + "\\unquilbex.exe"), "the uninstaller is in place");
    if (failures == 0)
        printf("the signed setup.exe carries the signed engine and installs\n");
    return failures == 0 ? 0 : 1;
}

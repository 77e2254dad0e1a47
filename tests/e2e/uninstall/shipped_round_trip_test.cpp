// The shipped 32-bit setup stub and engine from dist/: a product packaged
// into dist/setup-stub.exe is installed for the user and removed again by
// the command line of its uninstall entry.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tests/e2e/install/install_package.h"

namespace {

const std::string kEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Shipped Round Trip";

std::string UserProgramsFolder()
{
    char path[MAX_PATH] = "";
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROGRAMS, FALSE));
    return path;
}

TEST(ShippedRoundTrip, ThirtyTwoBitPairInstallsAndUninstallsThroughTheEntry)
{
    const std::string stub = WindowsPath(ENGINE_SOURCE_DIR "/dist/setup-stub.exe");
    ASSERT_TRUE(FileExists(stub)) << "dist/setup-stub.exe is missing: `make` builds the shipped files";
    const std::string work = FreshFolder("shipped-round-trip");
    const std::string temp = work + "\\Temp";
    const std::string folder = work + "\\Product";
    CreateDirectoryA(temp.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    SHDeleteKeyA(HKEY_CURRENT_USER, kEntry.c_str());
    const std::string menu = UserProgramsFolder() + "\\Shipped Round Trip";
    ProductSpec product{.englishName = "Shipped Round Trip",
                        .japaneseName = "Shipped Round Trip",
                        .members = {MemberOf("readme.txt"), MemberOf("bin\\tool.exe", 0x21)}};

    RunSpec install;
    install.program = BuildSetup(work, product, stub);
    install.arguments = {"-SetDir", folder, "-ForceUser"};
    install.environment = {{"TEMP", temp}, {"TMP", temp}};
    install.script = {{Answer::Ok}};
    install.timeoutMs = 600000;
    const RunResult installed = RunProgram(install);
    ASSERT_FALSE(installed.timedOut);
    ASSERT_EQ(installed.boxes.size(), 1u);
    EXPECT_EQ(installed.boxes[0].Text(CP_UTF8), "Installed properly.");
    EXPECT_TRUE(FileExists(folder + "\\bin\\tool.exe"));
    EXPECT_TRUE(FileExists(menu));
    std::string command;
    ASSERT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, kEntry, "UninstallString", command));
    EXPECT_EQ(command, "\"" + folder + "\\unquilbex.exe\" -u \"-ForceUser\"");

    RunSpec uninstall;
    uninstall.commandLine = command;
    uninstall.environment = install.environment;
    uninstall.script = {{Answer::Yes}, {Answer::Ok}};
    uninstall.timeoutMs = 600000;
    const RunResult removed = RunProgram(uninstall);

    EXPECT_FALSE(removed.timedOut);
    EXPECT_TRUE(removed.failures.empty());
    ASSERT_EQ(removed.boxes.size(), 2u);
    EXPECT_EQ(removed.boxes[0].Text(CP_UTF8), "Do you want to Uninstall ?");
    EXPECT_EQ(removed.boxes[1].Text(CP_UTF8), "Uninstalled properly.");
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kEntry));
    EXPECT_FALSE(FileExists(menu));
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"unquilbex.exe"});
    EXPECT_TRUE(ListFolder(temp + "\\..\\vbnxoPmet").empty()) << "the stub removed its engine copy";
}

}  // namespace

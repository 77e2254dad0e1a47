#pragma once
// The process-wide state of a run.
#include <windows.h>

#include "package/package_settings.h"
#include "setup/arguments.h"

struct SetupState {
    int isInstall;
    MSG msg;          // shared by every queue drain and the final message loop
    HWND mainWindow;  // the splash window; kept after the window is destroyed
    int bitmapsReady;
    int justExec;
    int justDecomp;
    int okIfNotAdmin;
    int perUserInstall;
    int forceAdmin;
    int forceUser;
    void* splashMask;
    void* splashBitmap;
    char packageTempFile[kPathSize];  // the work file, "IL" prefix
    PackageSettings packageSettings;
};

extern SetupState gSetupState;

// The settings of the interface language, chosen afresh at every call.
SetupInfo& ActiveSetupInfo();

// The record handed to the install step.
struct InstallRequest {
    HINSTANCE instance;
    const char* setDir;
    int justExec;
    int packageJustExec;
    int result;
};

int RunSetup(HINSTANCE instance, HINSTANCE previousInstance, const char* commandLine, int showCommand, int count,
             char** entries);
void PumpMessages();
int IsForceAdmin();
int IsForceUser();
HKEY ProductRegistryRoot();
int ProductProgramsFolderId();
void ShowFailureMessage(const char* caption);
int RunInstallStep(InstallRequest& request, const char* sourceFile, int forceAdmin, int forceUser);
int RunLaunchStep(int forceAdmin);

#pragma once
// The install dialog: takes or asks for the folder and unpacks the product there.
#include <windows.h>

#include <cstdint>

#include "install/run_context.h"
#include "res/resource.h"

// Control ids of the dialog templates "InstallDlgJ" and "InstallDlgE".
constexpr int kBrowseButtonId = IDC_INSTALL_BROWSE;
constexpr int kProgressBarId = IDC_INSTALL_PROGRESS;
constexpr int kFolderEditId = IDC_INSTALL_FOLDER;
constexpr int kPromptTextId = IDC_INSTALL_PROMPT;

// Non-zero when the folder was ready and the extraction succeeded. The
// dialog and the questions are owned by the run's window. A silent run shows
// no dialog: it takes setDir, the run-only folder or the package's expanded
// default folder.
int RunInstallDialog(const RunContext& run, HINSTANCE instance, const char* setDir, int justExec);

// The progress of one installation: the dialog whose bar moves (null without
// one) and the run whose byte counters grow.
struct InstallProgress {
    HWND dialog;
    const RunContext* run;
};

// Makes sure installFolder of the interface language exists, asking before
// it is created (a silent run creates it without asking), and unpacks the
// product there from the run's work file. Non-zero on success. A folder that
// is empty or still begins with a placeholder is refused.
int InstallIntoFolder(HWND owner, InstallProgress& progress);

// True when path names a folder.
bool FolderExists(const char* path);

// Creates the folder and any missing parents; a drive root is never created.
bool CreateFolderTree(const char* path);

// Asks whether to create the folder; true for Yes. A folder too long for the
// question is not asked about and counts as No.
bool AskCreateFolder(HWND owner, const char* path);

// Makes a new, empty "IG" folder in the installer's temporary folder; out
// (512 bytes) receives its path. False, out empty, on failure.
bool CreateRunOnlyFolder(char* out);

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Lets the user pick a folder; folder (512 bytes) and the text box receive it.
void BrowseForInstallFolder(HWND dialog, char* folder);

// The extraction's file-start callback (progress: an InstallProgress):
// counts the bytes and moves the bar.
void AdvanceInstallProgress(void* progress, int32_t byteCount);

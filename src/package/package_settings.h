#pragma once
// The decoded package: the product's settings in a Japanese and an English
// variant, and the progress counters of the installation.
#include <cstddef>
#include <cstdint>

constexpr size_t kTextFieldSize = 512;  // 511 bytes of text and a terminator

struct ShortcutEntry {
    char* linkName;  // file name without ".lnk" in the product's program-menu folder
    char* target;    // path relative to the installation folder
};

struct CheckEntry {
    int32_t kind;   // 0: file that must exist after installing, 1: application that must not run
    char* subject;  // relative file path, or window class name
    char* message;
};

struct CommandEntry {
    char* commandLine;
    int32_t wait;  // non-zero: wait for the started process to end
};

struct SetupInfo {
    char productName[kTextFieldSize];
    char productVersion[kTextFieldSize];
    char splashNote[kTextFieldSize];
    char installFolder[kTextFieldSize];
    char reservedText[kTextFieldSize];
    int32_t osMask;
    int32_t reservedValue;
    int32_t justExec;
    int32_t okIfNotAdmin;
    int32_t shortcutCount;
    ShortcutEntry* shortcuts;
    int32_t checkCount;
    CheckEntry* checks;
    int32_t installCommandCount;
    CommandEntry* installCommands;
    int32_t uninstallCommandCount;
    CommandEntry* uninstallCommands;
    int32_t launchCommandCount;
    CommandEntry* launchCommands;
};

struct PackageSettings {
    SetupInfo japanese;
    SetupInfo english;
    uint32_t totalInstallBytes;  // the 100 % mark of the progress bar
    uint32_t installedBytes;     // running sum kept by the extraction
};

// The settings of the interface language, chosen afresh at every call.
SetupInfo& ActiveSetupInfo(PackageSettings& settings);

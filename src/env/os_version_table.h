#pragma once
// The running Windows version as a small code, and the mask of supported
// versions that a package compares with it. Decided from the values the
// version query reports; the system is asked in os_version.cpp.
#include <cstdint>

// 9x family 16..20, NT family 32..47, 0 when no version was identified. The
// codes are ordered: 40 and above is Vista or later (and 46).
constexpr int kUnknownOsVersion = 0;
constexpr int kFirstVistaOsVersion = 40;

constexpr uint32_t kPlatformWindows = 1;  // VER_PLATFORM_WIN32_WINDOWS, the 9x family
constexpr uint32_t kPlatformNt = 2;       // VER_PLATFORM_WIN32_NT

// What a successful version query reported.
struct OsVersionReport {
    uint32_t platformId;
    uint32_t majorVersion;
    uint32_t minorVersion;
    bool workstation;  // product type VER_NT_WORKSTATION
};

// The facts only a few rows need. Each is asked at most once, and only when
// the cheaper conditions of a row have held.
struct OsVersionProbes {
    bool (*isServerR2)(void* context);
    bool (*is64Bit)(void* context);
    void* context;
};

int OsVersionCodeOf(const OsVersionReport& report, const OsVersionProbes& probes);

// Mask of the running system; unknown and newer codes give kUnknownSystemMask.
constexpr uint32_t kUnknownSystemMask = 0xFFFF0;
uint32_t RunningOsMaskOf(int osVersionCode);

// True for the native processor architectures of 64-bit systems: IA64,
// ALPHA64, AMD64 and IA32_ON_WIN64 (but not MSIL).
bool IsArchitecture64Bit(uint32_t architecture);

// "It can't be installed in this OS." and its Japanese form (Shift-JIS).
const char* OsRefusalText(bool japanese);

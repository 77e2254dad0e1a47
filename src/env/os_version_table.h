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

// The bits of a mask of Windows versions: a package's supported versions, and
// the running system's own bits.
constexpr uint32_t kOsMask9xLater = 0x1;  // the 9x family after 4.x
constexpr uint32_t kOsMaskWin95 = 0x2;
constexpr uint32_t kOsMaskWin98 = 0x4;
constexpr uint32_t kOsMaskWinMe = 0x8;
constexpr uint32_t kOsMaskNt3 = 0x10;
constexpr uint32_t kOsMaskNt4 = 0x20;
constexpr uint32_t kOsMaskWin2000 = 0x40;
constexpr uint32_t kOsMaskWinXp32 = 0x80;
constexpr uint32_t kOsMaskWin2003 = 0x100;  // without R2
constexpr uint32_t kOsMaskWinXpX64 = 0x200;
constexpr uint32_t kOsMaskWin2003R2 = 0x400;
constexpr uint32_t kOsMaskVista32 = 0x800;
constexpr uint32_t kOsMaskVistaX64 = 0x1000;
constexpr uint32_t kOsMaskWin2008 = 0x2000;
constexpr uint32_t kOsMaskWin2008R2 = 0x4000;
constexpr uint32_t kOsMaskWin7_32 = 0x8000;
constexpr uint32_t kOsMaskWin7X64 = 0x10000;
constexpr uint32_t kOsMaskNewer = 0xE0000;  // no known version: Windows 8 and later, unidentified systems
constexpr uint32_t kOsMask9xFamily = 0xF;
constexpr uint32_t kOsMaskNtFamily = 0xFFFF0;
constexpr uint32_t kOsMaskAll = 0xFFFFF;

// Mask of the running system; unknown and newer codes give kUnknownSystemMask,
// so that a package made for any NT version installs there.
constexpr uint32_t kUnknownSystemMask = kOsMaskNtFamily;
uint32_t RunningOsMaskOf(int osVersionCode);

// True for the native processor architectures of 64-bit systems: IA64,
// ALPHA64, AMD64 and IA32_ON_WIN64 (but not MSIL).
bool IsArchitecture64Bit(uint32_t architecture);

// "It can't be installed in this OS." and its Japanese form (Shift-JIS).
const char* OsRefusalText(bool japanese);

#pragma once
// Types that the cabinet decoder shares with its callers and its codecs: the
// error record and the caller's memory and file operations.
#include <cstddef>
#include <cstdint>

enum class CabError : int {
    None = 0,
    CabinetNotFound = 1,
    NotACabinet = 2,
    UnsupportedVersion = 3,
    CorruptCabinet = 4,
    AllocFail = 5,
    BadCompressionType = 6,
    DecompressFail = 7,
    TargetFile = 8,
    ReserveMismatch = 9,
    WrongCabinet = 10,
    UserAbort = 11,
};

// The printable name of a code ("CorruptCabinet"), "Unknown" for others.
const char* CabErrorName(int code);

struct CabErrorRecord {
    int code;    // a CabError value
    int detail;  // the cabinet's version (minor | major << 8) for UnsupportedVersion, else 0
    int failed;  // 1 once any code has been stored
};

// Caller-supplied operations. Handles are integers wide enough for a pointer;
// -1 is "no handle". Counts are at most 65535 + 12 bytes per call.
using CabAllocate = void* (*)(size_t size);
using CabFree = void (*)(void* memory);
using CabOpen = intptr_t (*)(const char* name, int openFlags, int permissionMode);
using CabRead = int (*)(intptr_t handle, void* buffer, unsigned int count);  // -1 on error
using CabWrite = int (*)(intptr_t handle, const void* buffer, unsigned int count);
using CabClose = int (*)(intptr_t handle);                                 // 0 on success
using CabSeek = int32_t (*)(intptr_t handle, int32_t offset, int origin);  // -1 on error

struct CabFileOperations {
    CabOpen open;
    CabRead read;
    CabWrite write;
    CabClose close;
    CabSeek seek;
};

// Open flags and permission modes as the Windows runtime's low-level open
// takes them; an open operation on another system translates them.
constexpr int kCabOpenReadOnly = 0x0000;
constexpr int kCabOpenWriteOnly = 0x0001;
constexpr int kCabOpenReadWrite = 0x0002;
constexpr int kCabOpenSequential = 0x0020;
constexpr int kCabOpenCreate = 0x0100;
constexpr int kCabOpenTruncate = 0x0200;
constexpr int kCabOpenBinary = 0x8000;
constexpr int kCabPermissionRead = 0x0100;
constexpr int kCabPermissionWrite = 0x0080;

constexpr int kCabSeekStart = 0;
constexpr int kCabSeekCurrent = 1;
constexpr int kCabSeekEnd = 2;

#pragma once
// CabDecoder reads Microsoft Cabinet files (version 1.3) and hands their
// members to a caller's notification handler, which decides where each goes.
// All memory and file work is done through the caller's operations.
#include <cstdint>

#include "package/cab/cab_types.h"

struct CabDecoder;

// CopyMember: a member is about to be written. A scoped enum with names that
// windows.h does not define as macros, so that Win32 code can use them too.
enum class CabNotificationType : int {
    CabinetInfo = 0,
    PartialFile = 1,
    CopyMember = 2,
    CloseFileInfo = 3,
    NextCabinet = 4,
};

// One record, reused for every notification; fields a notification does not
// name keep their older values.
struct CabNotification {
    int32_t size;
    char* text1;
    char* text2;
    char* text3;  // for NextCabinet the cabinet folder: 256 bytes the handler may change
    void* userContext;
    intptr_t fileHandle;
    uint16_t date;
    uint16_t time;
    uint16_t attributes;
    uint16_t setId;
    uint16_t cabinetIndex;
    int32_t lastError;
};

using CabNotify = intptr_t (*)(CabNotificationType type, CabNotification* notification);

enum CabDecryptKind : int {
    DecryptCabinetOpened = 0,  // reserve: header reserve; setId, cabinetIndex
    DecryptFolderEntry = 1,    // reserve: folder reserve; folderIndex
    DecryptDataBlock = 2,      // reserve: data reserve; data, dataSize (may be changed in place)
};

struct CabDecryptRecord {
    CabDecryptKind kind;
    void* userContext;
    uint8_t* reserve;
    uint32_t reserveSize;
    uint16_t setId;
    uint16_t cabinetIndex;
    uint16_t folderIndex;
    uint8_t* data;
    uint32_t dataSize;
    uint32_t uncompressedSize;
    int split;  // 1 for the first part of a block that continues in the next cabinet
};

using CabDecrypt = intptr_t (*)(CabDecryptRecord* record);  // -1 aborts

struct CabinetSummary {
    int32_t cabinetSize;
    uint16_t folderCount;
    uint16_t fileCount;
    uint16_t setId;
    uint16_t cabinetIndex;
    int hasReserve;   // 1 or 0
    int hasPrevious;  // 1 or 0
    int hasNext;      // 2 or 0
};

constexpr int kCabProcessor386 = 1;

// Null with AllocFail in errors when the decoder can't be allocated. The
// processor type is taken for the callers' sake; no codec needs it.
CabDecoder* CreateCabDecoder(CabAllocate allocate, CabFree free, CabOpen open, CabRead read, CabWrite write,
                             CabClose close, CabSeek seek, int processorType, CabErrorRecord* errors);

// Reads the 36-byte header at the handle's position. 1 for a cabinet of
// version 1.3; 0 otherwise (UnsupportedVersion stored for other versions).
// The handle stays open and its position is left behind the header.
int IsCabinetFile(CabDecoder* decoder, intptr_t handle, CabinetSummary* summary);

// Hands every member of folder + name to handler. folder must be empty or end
// with a separator. flags are not used. 1 when every member was handled.
int CopyCabinet(CabDecoder* decoder, const char* name, const char* folder, int flags, CabNotify handler,
                CabDecrypt decrypt, void* userContext);

// Frees the decoder and everything it holds. 1 on success.
int DestroyCabDecoder(CabDecoder* decoder);

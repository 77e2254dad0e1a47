#pragma once
// Unpacking cabinet members into folders: the splash pictures next to the
// cabinet, the product's files into the installation folder.
#include <cstdint>

#include "package/package_settings.h"

// The decoder's notifications (package/cab/cab_decoder.h).
enum class CabNotificationType : int;
struct CabNotification;

// Decides for each member whether it is written; 0 skips it.
using MemberFilter = int (*)(const char* memberName, int32_t memberSize);

// Who hears of the members an extraction writes; each callback may be null.
struct ExtractionListener {
    // Told the size of every accepted member just before its file is created.
    void (*fileStart)(void* context, int32_t memberSize);
    // Told the name of every accepted member, before its file is created.
    void (*memberAccepted)(void* context, const char* memberName);
    void* context;
};

// Writes the members that filter accepts below destinationFolder (filter and
// listener may be null). 1 when the whole cabinet was processed. A member
// whose name could reach outside the folder ends the extraction with 0.
int ExtractCabinet(const char* cabinetPath, const char* destinationFolder, MemberFilter filter,
                   const ExtractionListener* listener);

// Unpacks the product's files into installFolder of the settings block of the
// interface language, which must exist; the listener is told of each file
// (memberAccepted: the product files to record as installed). 1 on success.
int ExtractProductFiles(PackageSettings& settings, const char* cabinetPath, const ExtractionListener& listener);

// Unpacks "$bmp" and "$mask" beside the cabinet; the outputs (512 bytes each)
// receive their paths, or are emptied on failure. 1 when both were unpacked.
int ExtractSplashBitmaps(char* bitmapPath, char* maskPath, const char* cabinetPath);

// The member filters: every product file, and the splash pictures.
int ProductMemberFilter(const char* memberName, int32_t memberSize);
int SplashMemberFilter(const char* memberName, int32_t memberSize);

// Makes the folders of the member's folder part below destinationFolder.
void CreateMemberFolders(const char* destinationFolder, const char* memberName);

// Makes each level of relativePath below baseFolder ("" for the current
// folder), one after another.
void CreateFolderChain(const char* baseFolder, const char* relativePath);

// 1 when something exists at path or a folder could be made there.
int EnsureFolder(const char* path);

// The decoder's notification handler: opens each accepted member's file and
// gives the finished file its times and attributes. The notification's
// userContext is the extraction under way.
intptr_t HandleCabinetNotification(CabNotificationType type, CabNotification* notification);

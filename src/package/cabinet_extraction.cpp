#include "package/cabinet_extraction.h"

#include "package/cab/cab_decoder.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "package/extract_member_names.h"
#include "package/extract_paths.h"
#include "package/package_format.h"
#include "text/bounded_text.h"
#include "text/path_size.h"
#include "text/text_scan.h"

namespace {

// Of the member's attributes only read-only, hidden, system and archive are kept.
constexpr WORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

constexpr int kCabinetOpenFlags = _O_RDONLY | _O_BINARY | _O_SEQUENTIAL;
// An existing target is deleted before it is opened again; truncating as well
// means that a file that could not be deleted never keeps a tail of its old
// bytes.
constexpr int kMemberOpenFlags = _O_WRONLY | _O_BINARY | _O_SEQUENTIAL | _O_CREAT | _O_TRUNC;
constexpr int kNewMemberOpenFlags = kMemberOpenFlags | _O_EXCL;
constexpr int kMemberPermissions = _S_IREAD | _S_IWRITE;

// One extraction, handed to the notification handler as the decoder's context.
struct ExtractionState {
    char destinationFolder[kPathSize];
    MemberFilter memberFilter;
    ExtractionListener listener;
};

// The decoder's memory and file operations: the process heap and the
// system's files, behind the runtime-style interface the decoder is written
// for (open flags and modes of <fcntl.h>, -1 for failures).
void* Allocate(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void Free(void* memory)
{
    HeapFree(GetProcessHeap(), 0, memory);
}

HANDLE SystemHandle(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// A file opened for writing is created as the flags say; one opened for
// reading must exist. Others may read and write it meanwhile, as with the
// runtime's files.
DWORD CreationDisposition(int openFlags)
{
    if (openFlags & _O_EXCL)
        return CREATE_NEW;
    if (openFlags & _O_TRUNC)
        return (openFlags & _O_CREAT) ? CREATE_ALWAYS : TRUNCATE_EXISTING;
    return (openFlags & _O_CREAT) ? OPEN_ALWAYS : OPEN_EXISTING;
}

intptr_t Open(const char* name, int openFlags, int permissionMode)
{
    const bool writing = (openFlags & (_O_WRONLY | _O_RDWR)) != 0;
    const DWORD access = (openFlags & _O_RDWR) ? GENERIC_READ | GENERIC_WRITE : writing ? GENERIC_WRITE : GENERIC_READ;
    const DWORD attributes =
        (openFlags & _O_CREAT) && !(permissionMode & _S_IWRITE) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    const DWORD hints = (openFlags & _O_SEQUENTIAL) ? FILE_FLAG_SEQUENTIAL_SCAN : 0;
    HANDLE file = CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CreationDisposition(openFlags),
                              attributes | hints, nullptr);
    return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(file);
}

int Read(intptr_t handle, void* buffer, unsigned int count)
{
    DWORD got = 0;
    return ReadFile(SystemHandle(handle), buffer, count, &got, nullptr) ? static_cast<int>(got) : -1;
}

int Write(intptr_t handle, const void* buffer, unsigned int count)
{
    DWORD written = 0;
    return WriteFile(SystemHandle(handle), buffer, count, &written, nullptr) ? static_cast<int>(written) : -1;
}

int Close(intptr_t handle)
{
    return CloseHandle(SystemHandle(handle)) ? 0 : -1;
}

// The origins of the runtime's seek are the system's: start, current, end.
int32_t Seek(intptr_t handle, int32_t offset, int origin)
{
    const DWORD position = SetFilePointer(SystemHandle(handle), offset, nullptr, static_cast<DWORD>(origin));
    return position == INVALID_SET_FILE_POINTER ? -1 : static_cast<int32_t>(position);
}

// Owns a decoder; Destroy reports whether it was destroyed cleanly.
class DecoderOwner {
public:
    explicit DecoderOwner(CabErrorRecord& errors)
        : decoder_(CreateCabDecoder(Allocate, Free, Open, Read, Write, Close, Seek, kCabProcessor386, &errors))
    {
    }
    ~DecoderOwner() { Destroy(); }
    DecoderOwner(const DecoderOwner&) = delete;
    DecoderOwner& operator=(const DecoderOwner&) = delete;
    CabDecoder* get() const { return decoder_; }
    bool Destroy()
    {
        CabDecoder* decoder = decoder_;
        decoder_ = nullptr;
        return decoder == nullptr || DestroyCabDecoder(decoder) == 1;
    }

private:
    CabDecoder* decoder_;
};

bool IsCabinet(CabDecoder* decoder, const char* cabinetPath)
{
    const intptr_t handle = Open(cabinetPath, kCabinetOpenFlags, 0);
    if (handle == -1)
        return false;
    CabinetSummary summary;
    const bool isCabinet = IsCabinetFile(decoder, handle, &summary) == 1;
    Close(handle);
    return isCabinet;
}

bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// Deletes a file at path, read-only or not; failures show up when the new
// file is opened.
void RemoveExisting(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    DeleteFileA(path);
}

// A member is about to be written: -1 refuses its name and ends the
// extraction, 0 skips it, anything else is the handle its bytes go to.
intptr_t OpenMemberFile(const ExtractionState& extraction, const CabNotification& member)
{
    char target[kPathSize];
    // Names are checked before the filter, so that no refused name is ever
    // recorded as installed.
    if (!MemberTargetPath(target, sizeof target, extraction.destinationFolder, member.text1))
        return -1;
    if (extraction.memberFilter != nullptr && !extraction.memberFilter(member.text1, member.size))
        return 0;
    const ExtractionListener& listener = extraction.listener;
    if (listener.memberAccepted != nullptr)
        listener.memberAccepted(listener.context, member.text1);
    CreateMemberFolders(extraction.destinationFolder, member.text1);
    if (listener.fileStart != nullptr)
        listener.fileStart(listener.context, member.size);
    // Most targets are new: the file is made where none exists, and only when
    // that fails is an existing one (read-only or not) replaced. Asking first
    // would cost a look into the folder for every member.
    const intptr_t handle = Open(target, kNewMemberOpenFlags, kMemberPermissions);
    if (handle != -1)
        return handle;
    RemoveExisting(target);
    return Open(target, kMemberOpenFlags, kMemberPermissions);
}

// Creation time: the member's stamp, read as local time; last write: now. The
// times go through the handle the member was written with, just before it is
// closed: no later write can move them, and the file need not be opened again.
void StampMemberFile(intptr_t handle, const CabNotification& member)
{
    const HANDLE file = SystemHandle(handle);
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME written, localStamp, stamp;
    if (file != INVALID_HANDLE_VALUE && SystemTimeToFileTime(&now, &written) &&
        DosDateTimeToFileTime(member.date, member.time, &localStamp) && LocalFileTimeToFileTime(&localStamp, &stamp))
        SetFileTime(file, &stamp, nullptr, &written);
}

// A member has been written: give it its times, close it, give it its
// attributes. A handle that does not close cleanly may have lost data and
// fails the copy.
intptr_t CloseMemberFile(const ExtractionState& extraction, const CabNotification& member)
{
    StampMemberFile(member.fileHandle, member);
    const bool closed = Close(member.fileHandle) == 0;
    char target[kPathSize];
    if (!MemberTargetPath(target, sizeof target, extraction.destinationFolder, member.text1))
        return 0;
    SetFileAttributesA(target, member.attributes & kKeptAttributes);
    return closed ? 1 : 0;
}

}  // namespace

int ExtractCabinet(const char* cabinetPath, const char* destinationFolder, MemberFilter filter,
                   const ExtractionListener* listener)
{
    ExtractionState extraction = {};
    if (!CopyText(extraction.destinationFolder, destinationFolder))
        return 0;
    extraction.memberFilter = filter;
    if (listener != nullptr)
        extraction.listener = *listener;

    CabErrorRecord errors = {};
    DecoderOwner decoder(errors);
    if (decoder.get() == nullptr || !IsCabinet(decoder.get(), cabinetPath))
        return 0;
    char folder[kPathSize];
    char name[kPathSize];
    if (!SplitFilePath(cabinetPath, folder, sizeof folder, name, sizeof name))
        return 0;
    const bool copied =
        CopyCabinet(decoder.get(), name, folder, 0, HandleCabinetNotification, nullptr, &extraction) == 1;
    return decoder.Destroy() && copied ? 1 : 0;
}

int ExtractProductFiles(PackageSettings& settings, const char* cabinetPath, const ExtractionListener& listener)
{
    const SetupInfo& info = ActiveSetupInfo(settings);
    char root[kPathSize];
    char rest[kPathSize];
    if (SplitInstallFolder(info.installFolder, root, sizeof root, rest, sizeof rest) && rest[0] != '\0')
        CreateFolderChain(root, rest);
    return ExtractCabinet(cabinetPath, info.installFolder, ProductMemberFilter, &listener);
}

int ExtractSplashBitmaps(char* bitmapPath, char* maskPath, const char* cabinetPath)
{
    char folder[kPathSize];
    char name[kPathSize];
    const bool named = SplitFilePath(cabinetPath, folder, sizeof folder, name, sizeof name) &&
                       JoinPath(bitmapPath, kPathSize, folder, kSplashPictureMember) &&
                       JoinPath(maskPath, kPathSize, folder, kSplashMaskMember);
    if (named) {
        // The temporary folder outlives runs: pictures of an earlier run that
        // ended early must not pass for this cabinet's.
        RemoveExisting(bitmapPath);
        RemoveExisting(maskPath);
        if (ExtractCabinet(cabinetPath, folder, SplashMemberFilter, nullptr) && Exists(bitmapPath) && Exists(maskPath))
            return 1;
        DeleteFileA(bitmapPath);
        DeleteFileA(maskPath);
    }
    bitmapPath[0] = '\0';
    maskPath[0] = '\0';
    return 0;
}

int ProductMemberFilter(const char* memberName, int32_t)
{
    return IsInstallerMember(memberName) ? 0 : 1;
}

int SplashMemberFilter(const char* memberName, int32_t)
{
    return IsSplashMember(memberName) ? 1 : 0;
}

void CreateMemberFolders(const char* destinationFolder, const char* memberName)
{
    const int end = MemberFolderEnd(memberName);
    if (end < 0)
        return;
    char folderPart[kPathSize];
    char joined[kPathSize];
    if (static_cast<size_t>(end) >= sizeof folderPart)
        return;
    memcpy(folderPart, memberName, static_cast<size_t>(end));
    folderPart[end] = '\0';
    if (JoinPath(joined, destinationFolder, folderPart) && !Exists(joined))
        CreateFolderChain(destinationFolder, folderPart);
}

void CreateFolderChain(const char* baseFolder, const char* relativePath)
{
    // Each level is made as the base joined with the path so far, which is
    // what making the base the current folder would give, without touching
    // the process's current folder.
    char accumulated[kPathSize] = "";
    char component[kPathSize];
    char deeper[kPathSize];
    char level[kPathSize];
    const char* rest = relativePath;
    while (*rest != '\0') {
        if (*rest == '\\')
            ++rest;
        if (*rest == '\0')
            break;
        const int length = static_cast<int>(strlen(rest));
        const int next = FindByte(rest, length, '\\', 1);
        const int componentLength = next > 0 ? next : length;
        if (static_cast<size_t>(componentLength) >= sizeof component)
            return;
        memcpy(component, rest, static_cast<size_t>(componentLength));
        component[componentLength] = '\0';
        rest += next > 0 ? next + 1 : length;
        if (!JoinPath(deeper, accumulated, component) || !CopyText(accumulated, deeper) ||
            !JoinPath(level, baseFolder, accumulated))
            return;
        EnsureFolder(level);
    }
}

int EnsureFolder(const char* path)
{
    if (Exists(path))
        return 1;
    return CreateDirectoryA(path, nullptr) ? 1 : 0;
}

intptr_t HandleCabinetNotification(CabNotificationType type, CabNotification* notification)
{
    const ExtractionState& extraction = *static_cast<const ExtractionState*>(notification->userContext);
    switch (type) {
    case CabNotificationType::CopyMember: return OpenMemberFile(extraction, *notification);
    case CabNotificationType::CloseFileInfo: return CloseMemberFile(extraction, *notification);
    default: return 0;
    }
}

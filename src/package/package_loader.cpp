#include "package/package_loader.h"

#include <windows.h>

#include <cstring>

#include "package/package_format.h"
#include "system/file_ops.h"
#include "system/owned_handle.h"
#include "text/bounded_text.h"
#include "text/path_size.h"
#include "text/text_scan.h"

namespace {

constexpr DWORD kSystemTempPathSize = 1024;
constexpr char kTempFolderName[] = "vbnxoPmet";

// A block of the process heap, freed on every path out.
class HeapBlock {
public:
    explicit HeapBlock(SIZE_T size) : data_(HeapAlloc(GetProcessHeap(), 0, size)) {}
    ~HeapBlock()
    {
        if (data_ != nullptr)
            HeapFree(GetProcessHeap(), 0, data_);
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    BYTE* get() const { return static_cast<BYTE*>(data_); }

private:
    void* data_;
};

// The temporary copy ("It") of the package that one loader call works on. It
// is deleted on every path out, also when the copying failed half-way.
class PackageCopy {
public:
    PackageCopy() = default;
    ~PackageCopy()
    {
        if (path_[0] != '\0')
            DeleteFileA(path_);
    }
    PackageCopy(const PackageCopy&) = delete;
    PackageCopy& operator=(const PackageCopy&) = delete;

    bool Make(const char* modulePath)
    {
        return CreatePackageTempFile(path_) == 1 && CopyPackageResource(path_, modulePath) == 1;
    }
    const char* path() const { return path_; }

private:
    char path_[kPathSize] = {};
};

int ReadFileAt(void* context, uint32_t offset, void* buffer, uint32_t count)
{
    HANDLE file = static_cast<HANDLE>(context);
    DWORD moved = 0;
    return SeekTo(file, offset) && ReadFully(file, buffer, count, &moved);
}

// The package as the decoder sees it: the open temporary copy.
bool OpenPackageSource(const FileHandle& file, PackageSource& source)
{
    if (!file.valid())
        return false;
    DWORD high = 0;
    DWORD size = GetFileSize(file.get(), &high);
    if ((size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0)
        return false;
    source = {ReadFileAt, file.get(), size};
    return true;
}

void* AllocateZeroed(void*, size_t size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

// The settings' lists live in the process heap until the process ends.
constexpr PackageHeap kProcessHeap = {AllocateZeroed, nullptr};

// Unscrambles the cabinet stream into destination in pieces of 64 KiB.
bool CopyCabinet(HANDLE package, const PackageTrailer& trailer, const char* destination)
{
    FileHandle out(CreateForWriting(destination));
    HeapBlock piece(kFilePieceSize);
    if (!out.valid() || piece.get() == nullptr)
        return false;
    int32_t length = static_cast<int32_t>(trailer.cabinetLength);
    if (length > 0 && !SeekTo(package, trailer.cabinetOffset))
        return false;
    for (uint32_t position = 0; static_cast<int32_t>(position) < length;) {
        DWORD count = static_cast<DWORD>(length) - position;
        if (count > kFilePieceSize)
            count = kFilePieceSize;
        DWORD moved = 0;
        if (!ReadFully(package, piece.get(), count, &moved))
            return false;
        ScrambleCabinet(piece.get(), count, position);
        if (!WriteFully(out.get(), piece.get(), count, &moved))
            return false;
        position += count;
    }
    return true;
}

}  // namespace

size_t GetInstallerTempFolder(size_t maxLength, char* folder)
{
    if (maxLength > 0)
        folder[0] = '\0';
    char path[kSystemTempPathSize + sizeof kTempFolderName + 1];
    DWORD length = GetTempPathA(kSystemTempPathSize, path);
    if (length == 0 || length >= kSystemTempPathSize)
        return 0;
    // The parent of the temporary folder. The search is double-byte aware: the
    // second byte of a Shift-JIS character may be 0x5C and is no separator.
    int last = FindByte(path, static_cast<int>(length), '\\', 0);
    if (last >= 0 && static_cast<DWORD>(last) == length - 1)
        path[last] = '\0';
    last = FindByte(path, static_cast<int>(strlen(path)), '\\', 0);
    if (last >= 0)
        path[last] = '\0';
    AppendText(path, "\\");
    AppendText(path, kTempFolderName);

    size_t resultLength = strlen(path);
    if (resultLength >= maxLength)
        return resultLength;
    memcpy(folder, path, resultLength + 1);
    if (GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES)
        return resultLength;
    if (!CreateDirectoryA(folder, nullptr)) {
        folder[0] = '\0';
        return 0;
    }
    return resultLength;
}

int CreatePackageTempFile(char* path)
{
    path[0] = '\0';
    char folder[kPathSize];
    if (GetInstallerTempFolder(sizeof folder, folder) == 0 || folder[0] == '\0')
        return 0;
    if (!GetTempFileNameA(folder, "It", 0, path)) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}

int CopyPackageResource(const char* destination, const char* modulePath)
{
    LoadedModule module(LoadLibraryExA(modulePath, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (module.get() == nullptr)
        return 0;
    HRSRC resource = FindResourceA(module.get(), MAKEINTRESOURCEA(kPackageResourceId), RT_RCDATA);
    HGLOBAL loaded = resource != nullptr ? LoadResource(module.get(), resource) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        return 0;
    DWORD size = SizeofResource(module.get(), resource);
    FileHandle out(CreateForWriting(destination));
    DWORD moved = 0;
    return out.valid() && WriteFully(out.get(), data, size, &moved) ? 1 : 0;
}

int LoadPackageSettings(PackageSettings& settings, const char* modulePath)
{
    PackageCopy copy;
    if (!copy.Make(modulePath))
        return 0;
    ZeroMemory(&settings, sizeof settings);
    FileHandle file(OpenForReading(copy.path()));
    PackageSource source;
    return OpenPackageSource(file, source) && ReadPackageSettings(source, kProcessHeap, settings) ? 1 : 0;
}

int ExtractPackageCabinet(const char* destination, const char* modulePath)
{
    PackageCopy copy;
    if (!copy.Make(modulePath))
        return 0;
    FileHandle file(OpenForReading(copy.path()));
    PackageSource source;
    PackageTrailer trailer;
    return OpenPackageSource(file, source) && ReadPackageTrailer(source, trailer) &&
                   CabinetFitsPackage(trailer, source.size) && CopyCabinet(file.get(), trailer, destination)
               ? 1
               : 0;
}

// Loading and releasing the splash picture and mask.
#include <windows.h>

#include "system/file_ops.h"
#include "ui/splash_dib_format.h"
#include "ui/splash_window.h"

namespace {

constexpr UINT kSplashMemoryFlags = GMEM_MOVEABLE | GMEM_NODISCARD;  // 0x22

// A locked block of movable global memory, released unless taken over.
class LockedGlobalBlock {
public:
    explicit LockedGlobalBlock(SIZE_T size) : handle_(GlobalAlloc(kSplashMemoryFlags, size))
    {
        data_ = handle_ != nullptr ? GlobalLock(handle_) : nullptr;
    }
    ~LockedGlobalBlock()
    {
        if (data_ != nullptr)
            GlobalUnlock(handle_);
        if (handle_ != nullptr)
            GlobalFree(handle_);
    }
    LockedGlobalBlock(const LockedGlobalBlock&) = delete;
    LockedGlobalBlock& operator=(const LockedGlobalBlock&) = delete;
    void* data() const { return data_; }
    // The caller keeps the block locked and frees it with FreeSplashDib.
    void* Release()
    {
        void* data = data_;
        data_ = nullptr;
        handle_ = nullptr;
        return data;
    }

private:
    HGLOBAL handle_;
    void* data_;
};

// Size of an existing file (its low 32 bits); false when there is none.
bool FindFileSize(const char* path, DWORD& size)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    size = found.nFileSizeLow;
    return true;
}

}  // namespace

void* LoadSplashDib(const char* path)
{
    DWORD fileSize = 0;
    if (!FindFileSize(path, fileSize) || fileSize <= kBitmapFileHeaderSize)
        return nullptr;
    const DWORD dibSize = fileSize - static_cast<DWORD>(kBitmapFileHeaderSize);
    LockedGlobalBlock block(dibSize);
    if (block.data() == nullptr)
        return nullptr;
    FileHandle file(OpenForReading(path));
    DWORD read = 0;
    // The packed DIB is the bitmap file without its file header.
    if (!file.valid() || !SeekTo(file.get(), kBitmapFileHeaderSize) ||
        !ReadFully(file.get(), block.data(), dibSize, &read))
        return nullptr;
    // A picture that cannot be drawn safely counts as missing: the texts are shown.
    if (!IsDrawableDib(block.data(), dibSize))
        return nullptr;
    return block.Release();
}

void FreeSplashDib(void* dib)
{
    if (dib == nullptr)
        return;
    HGLOBAL handle = GlobalHandle(dib);
    if (handle == nullptr)
        return;
    GlobalUnlock(handle);
    GlobalFree(handle);
}

#include "tools/cabtool/cab_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int SystemFlags(int flags)
{
    return flags;
}
int SystemMode(int mode)
{
    return mode;
}
int OpenTemporary()
{
    char* name = _tempnam(nullptr, "cab");
    if (name == nullptr) {
        return -1;
    }
    const int fd = _open(name, _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY | _O_TEMPORARY, _S_IREAD | _S_IWRITE);
    free(name);
    return fd;
}
#else
int SystemFlags(int flags)
{
    constexpr int kAccess[4] = {O_RDONLY, O_WRONLY, O_RDWR, O_RDWR};
    int result = kAccess[flags & 3];
    if (flags & kCabOpenCreate) {
        result |= O_CREAT;
    }
    if (flags & kCabOpenTruncate) {
        result |= O_TRUNC;
    }
    return result;
}
int SystemMode(int mode)
{
    return ((mode & kCabPermissionRead) ? 0444 : 0) | ((mode & kCabPermissionWrite) ? 0222 : 0);
}
int OpenTemporary()
{
    std::string name = (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + std::string("/cabXXXXXX");
    const int fd = mkstemp(name.data());
    if (fd >= 0) {
        unlink(name.c_str());
    }
    return fd;
}
#endif

}  // namespace

void* CabToolAllocate(size_t size)
{
    return malloc(size);
}
void CabToolFree(void* memory)
{
    free(memory);
}

intptr_t CabToolOpen(const char* name, int openFlags, int permissionMode)
{
    const int fd =
        std::string(name) == "*" ? OpenTemporary() : open(name, SystemFlags(openFlags), SystemMode(permissionMode));
    return fd < 0 ? -1 : fd;
}

int CabToolRead(intptr_t handle, void* buffer, unsigned int count)
{
    return int(read(int(handle), buffer, count));
}

int CabToolWrite(intptr_t handle, const void* buffer, unsigned int count)
{
    if (handle == kDiscardHandle) {
        return int(count);
    }
    return int(write(int(handle), buffer, count));
}

int CabToolClose(intptr_t handle)
{
    return handle == kDiscardHandle ? 0 : close(int(handle));
}

int32_t CabToolSeek(intptr_t handle, int32_t offset, int origin)
{
    return int32_t(lseek(int(handle), offset, origin));
}
